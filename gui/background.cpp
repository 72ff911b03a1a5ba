// The background of forms and group boxes: the brush they and their children's colour
// replies share while the colours agree, and the eraser that fills with it.
#include "gui/background.h"

HBRUSH WidgetBackgroundBrush(Widget* w) {
  while (w->Parent && w->Parent->Color == w->Color) w = w->Parent;
  COLORREF color = ToColorRef(w->Color);
  if (!w->BackBrush || w->BackBrushColor != color) {
    if (w->BackBrush) DeleteObject(w->BackBrush);
    w->BackBrush = CreateSolidBrush(color);
    w->BackBrushColor = color;
  }
  return w->BackBrush;
}

bool BackgroundPainter(Widget* w, WidgetMessage& m, LRESULT& result) {
  if (LOWORD(m.Msg) != WM_ERASEBKGND) return false;
  for (int i = 0; i < ChildCount(w); ++i) {
    Widget* child = ChildAt(w, i);
    if (!child->Handle) child->CreateWindowHandle();
  }
  if (!w->Transparent) {
    HDC dc = reinterpret_cast<HDC>(m.WParam);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, ToColorRef(w->Color));
    SetBrushOrgEx(dc, 0, 0, nullptr);
    RECT r;
    GetClientRect(w->Handle, &r);
    FillRect(dc, &r, WidgetBackgroundBrush(w));
    result = 1;
  }
  return false;  // default processing follows
}

void SetColor(Widget* w, ColorValue color) {
  if (color == w->Color) return;
  w->Color = color;
  if (w->BackBrush) DeleteObject(w->BackBrush);
  w->BackBrush = nullptr;
  Invalidate(w);
}
