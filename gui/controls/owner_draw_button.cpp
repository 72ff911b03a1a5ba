// The owner-drawn push button: its constructor, the painter of its face and
// text, and the parent's forwarding of its draw requests.
#include "gui/controls/owner_draw_button.h"

#include "gui/controls/buttons.h"
#include "gui/controls/child_control.h"
#include "gui/dc_scope.h"
#include "gui/window_proc.h"

namespace {

void PaintOwnerDrawButton(OwnerDrawButton* w, const DRAWITEMSTRUCT& item) {
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
  if (!w->Transparent && w->GlyphLayout != kGlyphLayoutBare) {
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
  int x = w->TextAlign == kAlignLeft     ? r.left
          : w->TextAlign == kAlignCenter ? r.left + (r.right - r.left - size.cx) / 2
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

bool OwnerDrawButtonPainter(Widget* w, WidgetMessage& m, LRESULT& result) {
  switch (LOWORD(m.Msg)) {
    case kReflectedDrawItem:
      // Attached to owner-drawn buttons only.
      PaintOwnerDrawButton(static_cast<OwnerDrawButton*>(w),
                           *reinterpret_cast<const DRAWITEMSTRUCT*>(m.LParam));
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

}  // namespace

OwnerDrawButton* CreateOwnerDrawButton(Widget* parent, const ByteString& text, unsigned options,
                                       int layout, HBITMAP glyph, int glyphCount) {
  OwnerDrawButton* w = CreateObject<OwnerDrawButton>();
  CreateChild(parent, "BUTTON", kControlStyle | WS_TABSTOP | BS_OWNERDRAW, kButtonActions, false,
              w);
  SetDefaultBounds(w, 64, 22);
  w->HandlesReturn = true;
  w->TextAlign = kAlignCenter;
  w->ClassActions.WidthExtra = 8;
  w->ClassActions.HeightExtra = 8;
  w->ButtonOptions = static_cast<BYTE>(options);
  w->GlyphLayout = static_cast<BYTE>(layout);
  w->GlyphBitmap = glyph;
  w->GlyphCount = glyphCount;
  if (parent) AttachHandler(parent, &DrawItemForwarder);
  AttachHandler(w, &OwnerDrawButtonPainter);
  SetText(w, text);
  return w;
}
