// Frame styles of any widget: the sunken 3D edge, the border, and a size the user cannot
// change.
#include "gui/frame_style.h"

#include "gui/window_proc.h"

namespace {

bool SizeLockHandler(Widget* w, WidgetMessage& m, LRESULT& result) {
  if (!w->FixedSize) return false;
  switch (LOWORD(m.Msg)) {
    case WM_GETMINMAXINFO: {
      result = DefaultMessage(w, m);
      MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(m.LParam);
      info->ptMinTrackSize = {w->LockedWidth, w->LockedHeight};
      info->ptMaxTrackSize = {w->LockedWidth, w->LockedHeight};
      return true;
    }
    case WM_NCHITTEST:
      result = DefaultMessage(w, m);
      if (result >= HTLEFT && result <= HTBOTTOMRIGHT) result = HTBORDER;
      return true;
    default:
      return false;
  }
}

// Reloads the styles from the window before a frame change.
void ReloadStyles(Widget* w) {
  if (!w->Handle) return;
  w->Style = static_cast<DWORD>(GetWindowLongA(w->Handle, GWL_STYLE));
  w->ExStyle = static_cast<DWORD>(GetWindowLongA(w->Handle, GWL_EXSTYLE));
  w->ClassStyle = static_cast<UINT>(GetClassLongA(w->Handle, GCL_STYLE));
}

}  // namespace

void SetLook3D(Widget* w, bool on) {
  ReloadStyles(w);
  w->ChildLook3D = on;
  if (w->Look3D == on) return;
  w->Look3D = on;
  DWORD style = w->Style;
  DWORD exStyle = w->ExStyle;
  if (on) {
    style &= ~WS_BORDER;
    exStyle |= WS_EX_CLIENTEDGE;
  } else {
    style |= WS_BORDER;
    exStyle &= ~WS_EX_CLIENTEDGE;
  }
  SetStyle(w, style);
  SetExStyle(w, exStyle);
}

void SetHasBorder(Widget* w, bool on) {
  ReloadStyles(w);
  bool current = (w->Style & (WS_CAPTION | WS_THICKFRAME)) || (w->ExStyle & WS_EX_CLIENTEDGE);
  if (current == on) return;
  DWORD style = w->Style;
  if (on) {
    style |= WS_THICKFRAME;
    if (!w->IsChild) style |= WS_OVERLAPPEDWINDOW;
  } else {
    style &= ~WS_OVERLAPPEDWINDOW;
    if (!w->IsChild) style |= WS_POPUP;
    // Only the edges go: WS_EX_CONTROLPARENT stays, or Tab would no longer reach the
    // controls nested inside the widget.
    SetExStyle(w, w->ExStyle & ~(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE |
                                 WS_EX_STATICEDGE));
  }
  SetStyle(w, style);
}

void SetResizable(Widget* w, bool on) {
  if (w->FixedSize == !on) return;
  ReloadStyles(w);
  w->FixedSize = !on;
  // Either way the window has a sizing frame: a fixed one keeps it and the lock below
  // refuses the resizing; a resizable one needs it to be resized.
  SetStyle(w, w->Style | WS_THICKFRAME);
  GetHandle(w);
  w->LockedWidth = GetWidth(w);
  w->LockedHeight = GetHeight(w);
  AttachHandler(w, &SizeLockHandler);
}
