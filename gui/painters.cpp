// Backgrounds, the gradient strip and the owner-drawn button.
#include "gui/painters.h"

#include "gui/dc_scope.h"
#include "gui/dib_bitmap.h"
#include "gui/os_family.h"

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

namespace {

void PaintGradient(Widget* w, HDC dc) {
  RECT r = ClientRect(w);
  int n = w->GradientDirection == 0 ? r.bottom : r.right;
  if (n <= 0) return;
  COLORREF from = ToColorRef(w->GradientFrom);
  COLORREF to = ToColorRef(w->GradientTo);
  if (ClassifyWindows() < kOsNt4) {
    // Windows 9x: one solid band per step.
    for (int i = 0; i < n; ++i) {
      RECT band = r;
      if (w->GradientDirection == 0) {
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
  bool vertical = w->GradientDirection == 0;
  DibBitmap* strip = CreateDibBitmap(vertical ? 1 : n, vertical ? n : 1, kDib32);
  for (int i = 0; i < n; ++i)
    SetDibPixel(strip, vertical ? 0 : i, vertical ? i : 0, GradientColor(from, to, i, n));
  HDC source = CanvasDC(BitmapCanvas(strip));
  SetStretchBltMode(dc, HALFTONE);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  StretchBlt(dc, 0, 0, r.right, r.bottom, source, 0, 0, strip->Width, strip->Height, SRCCOPY);
  FreeObject(strip);
}

}  // namespace

bool GradientPainter(Widget* w, WidgetMessage& m, LRESULT& result) {
  UINT msg = LOWORD(m.Msg);
  if (msg != WM_PAINT && msg != WM_PRINTCLIENT) return false;
  PaintScope paint(w->Handle, m.WParam);
  HDC oldPaintDC = w->PaintDC;
  w->PaintDC = paint.DC();
  PaintGradient(w, paint.DC());
  w->PaintDC = oldPaintDC;
  result = 0;
  return true;
}

namespace {

void PaintOwnerDrawButton(Widget* w, const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT r = item.rcItem;
  bool pressed = (item.itemState & ODS_SELECTED) != 0;
  if (item.itemState & ODS_FOCUS) {
    FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    InflateRect(&r, -1, -1);
  }
  DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_ADJUST);
  InflateRect(&r, -1, -1);
  if (IsRectEmpty(&r)) return;

  ByteString text = GetText(w);
  UINT options = ETO_CLIPPED;
  int oldMode = GetBkMode(dc);
  COLORREF oldBack = GetBkColor(dc);
  if (!w->Transparent && w->GlyphLayout != 4) {
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, ToColorRef(w->Color));
    options |= ETO_OPAQUE;
  } else {
    SetBkMode(dc, TRANSPARENT);
  }
  SelectedObject font(dc, GetToolHandle(GetFont(w)));
  COLORREF oldText = SetTextColor(dc, ToColorRef(w->TextColor));
  SIZE size = {0, 0};
  GetTextExtentPoint32A(dc, text.Data(), text.Length(), &size);
  int y = r.top + (r.bottom - r.top - size.cy) / 2;
  int x = w->TextAlign == 0   ? r.left
          : w->TextAlign == 2 ? r.left + (r.right - r.left - size.cx) / 2
                              : r.right - size.cx;
  if (pressed) {
    x += w->TextShiftX;
    y += w->TextShiftY;
  }
  if (y < 0) y = 0;
  if (x < r.left) x = r.left;
  ExtTextOutA(dc, x, y, options, &r, text.Data(), text.Length(), nullptr);
  SetTextColor(dc, oldText);
  SetBkColor(dc, oldBack);
  SetBkMode(dc, oldMode);
}

}  // namespace

bool OwnerDrawButtonPainter(Widget* w, WidgetMessage& m, LRESULT& result) {
  switch (LOWORD(m.Msg)) {
    case kReflectedDrawItem:
      PaintOwnerDrawButton(w, *reinterpret_cast<const DRAWITEMSTRUCT*>(m.LParam));
      result = 1;
      return true;
    case WM_LBUTTONDBLCLK:
      // The system button reports a double click instead of a second click.
      m.Msg = WM_LBUTTONDOWN;
      return false;
    case WM_KILLFOCUS:
      Invalidate(w);
      return false;
    default:
      return false;
  }
}

bool DrawItemForwarder(Widget*, WidgetMessage& m, LRESULT& result) {
  if (LOWORD(m.Msg) != WM_DRAWITEM || !m.LParam) return false;
  HWND item = reinterpret_cast<const DRAWITEMSTRUCT*>(m.LParam)->hwndItem;
  if (!WidgetFromHandle(item)) return false;
  SendMessageA(item, kReflectedDrawItem, m.WParam, m.LParam);
  result = 0;
  return true;
}
