// DeviceCanvas: a device context with the font and brush tools selected into it, obtained
// from a source (a widget's window, a bitmap's memory DC) and given back when done.
#pragma once

#include <windows.h>

#include "gui/gdi_tool.h"
#include "rt/byte_string.h"
#include "rt/object.h"

class DeviceCanvas;

// Where a canvas gets its DC: Acquire returns it and says whether Release must give it
// back afterwards.
struct CanvasSource {
  HDC (*Acquire)(void* context, bool* mustRelease);
  void (*Release)(void* context, HDC dc);
  void* Context;
};

enum : BYTE {
  kCanvasDcValid = 1,
  kCanvasFontSelected = 2,
  kCanvasPenSelected = 4,
  kCanvasBrushSelected = 8,
};

class DeviceCanvas : public RefObject {
public:
  void Dispose() override;

  HDC DC;
  GdiTool* Brush;  // owned
  GdiTool* Font;   // owned
  BYTE State;      // kCanvas... flags
  DWORD CopyMode;
  CanvasSource Source;
  bool GiveBackDC;  // the DC goes back to the source when the canvas lets it go
  bool KeepsDC;     // a DC of its own (a bitmap's): kept until the canvas is freed
};

DeviceCanvas* CreateCanvas(const CanvasSource& source);
// The DC with the canvas font selected and its colour set; null when there is none.
HDC CanvasDC(DeviceCanvas* canvas);
// Selects the stock objects back and gives the DC back to its source.
void ReleaseCanvasDC(DeviceCanvas* canvas);
// Width and height of `text` in the canvas font; the DC is given back afterwards.
SIZE TextExtent(DeviceCanvas* canvas, const ByteString& text);
