// DibBitmap: an off-screen pixel buffer that becomes a DIB section when a handle is
// needed. Only the 32-bit pixel writer is used by the toolkit.
#pragma once

#include <windows.h>

#include "gui/canvas.h"
#include "gui/color.h"
#include "rt/object.h"

// Pixel formats: index -> bits per pixel.
enum DibFormat : BYTE {
  kDibDevice = 0,
  kDib1 = 1,
  kDib4 = 2,
  kDib8 = 3,
  kDib15 = 4,
  kDib16 = 5,
  kDib24 = 6,
  kDib32 = 7,
};

// Bytes of one scan line: rows are padded to 32 bits.
inline int ScanLineSize(int bitsPerPixel, int width) {
  return (bitsPerPixel * width + 31) / 32 * 4;
}

struct DibHeader {
  BITMAPINFOHEADER Header;
  RGBQUAD Colors[256];  // room for a palette; bit-field masks for the 5-6-5 format
};

class DibBitmap : public RefObject {
public:
  void Dispose() override;

  int Width;
  int Height;
  HBITMAP Handle;  // the DIB section, made on first need
  DeviceCanvas* Canvas;
  int ScanLine;
  ColorValue BackColor;
  HGDIOBJ OldBitmap;  // selected back into the canvas DC when the canvas lets go
  DibHeader* Info;
  BYTE* Bits;
  int BitsSize;
  DibFormat Format;
  void (*WritePixel)(BYTE* pixel, uint32_t rgbQuad);
  BYTE* Row0;   // scan line 0 (the top row)
  int RowStep;  // signed distance from scan line y to y + 1
  int PixelBytes;
  bool BitsInSection;
};

DibBitmap* CreateDibBitmap(int width, int height, DibFormat format);
// The DIB section; a failure to make it is fatal.
HBITMAP DibHandle(DibBitmap* bitmap);
// A canvas on a memory DC holding the bitmap; null for an empty bitmap.
DeviceCanvas* BitmapCanvas(DibBitmap* bitmap);
void SetDibPixel(DibBitmap* bitmap, int x, int y, ColorValue color);
