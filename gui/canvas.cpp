// DeviceCanvas: obtaining, preparing and giving back device contexts.
#include "gui/canvas.h"

DeviceCanvas* CreateCanvas(const CanvasSource& source) {
  DeviceCanvas* canvas = CreateObject<DeviceCanvas>();
  canvas->Source = source;
  canvas->CopyMode = SRCCOPY;
  canvas->Font = CreateFontTool();
  canvas->Brush = CreateBrushTool();
  return canvas;
}

void DeviceCanvas::Dispose() {
  ReleaseCanvasDC(this);
  FreeObject(Font);
  FreeObject(Brush);
  RefObject::Dispose();
}

HDC CanvasDC(DeviceCanvas* canvas) {
  if (!(canvas->State & kCanvasDcValid)) {
    bool mustRelease = false;
    HDC dc = canvas->Source.Acquire ? canvas->Source.Acquire(canvas->Source.Context, &mustRelease)
                                    : nullptr;
    if (!dc) {
      // Without a source a memory DC still measures text.
      dc = CreateCompatibleDC(nullptr);
      canvas->Source.Release = nullptr;
      mustRelease = true;
    }
    canvas->DC = dc;
    canvas->GiveBackDC = mustRelease;
    canvas->State = kCanvasDcValid;
  }
  if (!(canvas->State & kCanvasFontSelected)) {
    SelectObject(canvas->DC, GetToolHandle(canvas->Font));
    SetTextColor(canvas->DC, ToColorRef(canvas->Font->ToolData.ToolColor));
    canvas->State |= kCanvasFontSelected;
  }
  return canvas->DC;
}

void ReleaseCanvasDC(DeviceCanvas* canvas) {
  if (!(canvas->State & kCanvasDcValid)) return;
  HDC dc = canvas->DC;
  // Nothing of ours may stay selected into a DC we give away or delete.
  SelectObject(dc, GetStockObject(BLACK_PEN));
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  SelectObject(dc, GetStockObject(SYSTEM_FONT));
  if (canvas->GiveBackDC) {
    if (canvas->Source.Release)
      canvas->Source.Release(canvas->Source.Context, dc);
    else
      DeleteDC(dc);
  }
  canvas->DC = nullptr;
  canvas->State = 0;
}

SIZE TextExtent(DeviceCanvas* canvas, const ByteString& text) {
  SIZE size = {0, 0};
  HDC dc = CanvasDC(canvas);
  GetTextExtentPoint32A(dc, text.Data(), text.Length(), &size);
  // A window DC comes from the system's small cache: do not keep it between calls.
  if (canvas->GiveBackDC && !canvas->KeepsDC) ReleaseCanvasDC(canvas);
  return size;
}
