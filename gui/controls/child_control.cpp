// What every child control shares: its set-up under a parent, its handler (colours and
// command notifications reflected back from the parent, focus kept for the form), the
// fit of its size to its text, and the programmatic click.
#include "gui/controls/child_control.h"

#include "gui/background.h"
#include "gui/toolkit_state.h"
#include "gui/window_proc.h"

namespace {

// The extent of `text` in w's font, measured on a memory DC: the same display device as
// the window's DC, but it needs no trip to the window server for a visible region.
SIZE MeasureText(Widget* w, const ByteString& text) {
  SIZE size = {0, 0};
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, GetToolHandle(GetFont(w)));
  GetTextExtentPoint32A(dc, text.Data(), text.Length(), &size);
  SelectObject(dc, old);
  DeleteDC(dc);
  return size;
}

void AutoSizeNow(Widget* w) {
  ByteString text = GetText(w);
  SIZE size = {0, 0};
  if (!text.IsEmpty()) {
    if (GetFontStyle(GetFont(w)) & kFontItalic) text += " ";
    size = MeasureText(w, text);
  }
  int widthExtra = Scaled(w->ClassActions.WidthExtra);
  int heightExtra = Scaled(w->ClassActions.HeightExtra);
  if (widthExtra > 0) SetWidth(w, size.cx + widthExtra);
  if (heightExtra > 0) SetHeight(w, size.cy + heightExtra);
  // Sized first, the window is made at its final size; making it applies the font, which
  // comes back through this hook and finds the size right.
  if (!text.IsEmpty() && !w->Handle) GetHandle(w);
}

}  // namespace

bool ChildControlHandler(Widget* w, WidgetMessage& m, LRESULT& result) {
  UINT msg = LOWORD(m.Msg);
  if (msg >= kReflectBase + WM_CTLCOLORMSGBOX && msg <= kReflectBase + WM_CTLCOLORSTATIC) {
    HDC dc = reinterpret_cast<HDC>(m.WParam);
    SetTextColor(dc, ToColorRef(w->TextColor));
    if (w->Transparent) {
      SetBkMode(dc, TRANSPARENT);
      result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    } else {
      SetBkMode(dc, OPAQUE);
      SetBkColor(dc, ToColorRef(w->Color));
      result = reinterpret_cast<LRESULT>(WidgetBackgroundBrush(w));
    }
    return true;
  }
  if (msg == kReflectedCommand) {
    WORD code = HIWORD(m.WParam);
    const ClassActionRecord& actions = w->ClassActions;
    if (code == actions.Click) {
      if (w->Focusing == 0) {
        if (w->ClickAction) w->ClickAction(w);
        w->OnClick(w);
      }
    } else if (code == actions.Enter) {
      w->OnEnter(w);
    } else if (code == actions.Leave) {
      w->OnLeave(w);
    } else if (code == actions.Change) {
      w->OnChange(w);
    }
    result = DefaultMessage(w, m);
    return true;
  }
  if (msg == WM_SETFOCUS) {
    Widget* form = ParentForm(w);
    if (form) form->FocusedChild = w;
  }
  return false;
}

Widget* CreateChild(Widget* parent, const char* className, DWORD style,
                    const ClassActionRecord& actions, bool look3D, Widget* made) {
  Widget* w = CreateWidget(parent, className, look3D, made);
  w->IsChild = true;
  w->ClassActions = actions;
  w->Style = style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  if (w->Look3D) {
    w->Style &= ~WS_BORDER;
    w->ExStyle |= WS_EX_CLIENTEDGE;
  }
  w->Visible = (w->Style & WS_VISIBLE) != 0;
  if (w->Parent) w->Cursor = w->Parent->Cursor;
  if (w->Style & WS_TABSTOP) {
    w->TabStop = true;
    Widget* form = ParentForm(w);
    if (form && !form->FocusedChild) form->FocusedChild = w;
  }
  w->ControlId = gToolkit.NextControlId++;
  AttachHandler(w, &ChildControlHandler);
  return w;
}

void SetDefaultBounds(Widget* w, int width, int height) {
  RECT r = w->Bounds;
  w->Bounds = {r.left, r.top, r.left + Scaled(width), r.top + Scaled(height)};
}

Widget* SetAutoSize(Widget* w, bool on) {
  w->AutoSizeHook = on ? &AutoSizeNow : nullptr;
  if (on) AutoSizeNow(w);
  return w;
}

void Click(Widget* w) {
  WORD code = w->ClassActions.Click;
  HWND window = GetHandle(w);
  if (code != 0 || w->ClassActions.Enter == BN_SETFOCUS) {
    // Reflected back to w as its own click notification.
    Perform(w, WM_COMMAND, MAKEWPARAM(w->ControlId, code), reinterpret_cast<LPARAM>(window));
  } else {
    Perform(w, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    Perform(w, WM_LBUTTONUP, MK_LBUTTON, 0);
  }
}
