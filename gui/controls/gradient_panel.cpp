// The gradient panel: a label painted as a strip from one colour to another, in
// bands on Windows 9x and as one stretched row of pixels on NT.
#include "gui/controls/gradient_panel.h"

#include "gui/controls/child_control.h"
#include "gui/controls/label.h"
#include "gui/dc_scope.h"
#include "gui/dib_bitmap.h"
#include "gui/os_family.h"
#include "gui/window_proc.h"

namespace {

void PaintGradient(GradientPanel* w, HDC dc) {
  RECT r = ClientRect(w);
  int n = w->GradientDirection == kGradientTopToBottom ? r.bottom : r.right;
  if (n <= 0) return;
  COLORREF from = ToColorRef(w->GradientFrom);
  COLORREF to = ToColorRef(w->GradientTo);
  if (ClassifyWindows() < kOsNt4) {
    // Windows 9x: one solid band per step.
    for (int i = 0; i < n; ++i) {
      RECT band = r;
      if (w->GradientDirection == kGradientTopToBottom) {
        band.top = i;
        band.bottom = i + 1;
      } else {
        band.left = i;
        band.right = i + 1;
      }
      HBRUSH brush = CreateSolidBrush(GradientColor(from, to, i, n));
      FillRect(dc, &band, brush);
      DeleteObject(brush);
    }
    return;
  }
  // NT family: one row of pixels, stretched over the rectangle.
  bool vertical = w->GradientDirection == kGradientTopToBottom;
  DibBitmap* strip = CreateDibBitmap(vertical ? 1 : n, vertical ? n : 1, kDib32);
  for (int i = 0; i < n; ++i)
    SetDibPixel(strip, vertical ? 0 : i, vertical ? i : 0, GradientColor(from, to, i, n));
  HDC source = CanvasDC(BitmapCanvas(strip));
  SetStretchBltMode(dc, HALFTONE);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  StretchBlt(dc, 0, 0, r.right, r.bottom, source, 0, 0, strip->Width, strip->Height, SRCCOPY);
  FreeObject(strip);
}

bool GradientPainter(Widget* w, WidgetMessage& m, LRESULT& result) {
  UINT msg = LOWORD(m.Msg);
  if (msg != WM_PAINT && msg != WM_PRINTCLIENT) return false;
  PaintScope paint(w->Handle, m.WParam);
  HDC oldPaintDC = w->PaintDC;
  w->PaintDC = paint.DC();
  PaintGradient(static_cast<GradientPanel*>(w), paint.DC());  // attached to panels only
  w->PaintDC = oldPaintDC;
  result = 0;
  return true;
}

}  // namespace

GradientPanel* CreateGradientPanel(Widget* parent, ColorValue from, ColorValue to) {
  GradientPanel* w = CreateObject<GradientPanel>();
  CreateLabel(parent, "", w);
  SetDefaultBounds(w, 40, 40);
  w->GradientFrom = from;
  w->GradientTo = to;
  AttachHandler(w, &GradientPainter);
  return w;
}

void SetGradientDirection(GradientPanel* w, int direction) {
  w->GradientDirection = static_cast<BYTE>(direction);
  Invalidate(w);
}
