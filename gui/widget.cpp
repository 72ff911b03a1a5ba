// Widgets: defaults, set-up under a parent, and the common operations on text,
// styles, state, font and the tree that need no window of their own
// (widget_window.cpp makes the windows).
#include "gui/widget.h"

#include <string.h>

#include "gui/toolkit_state.h"

namespace {

// WM_SETFONT's redraw flag: any nonzero value redraws.
constexpr LPARAM kSetFontRedraw = 0xFFFF;

HCURSOR gArrowCursor;

char* CopyText(const char* text) {
  int length = static_cast<int>(strlen(text));
  char* copy = static_cast<char*>(MemAlloc(length + 1));
  memcpy(copy, text, length + 1);
  return copy;
}

// Children whose windows were given w's font handle while sharing it: that
// handle was just deleted, so they take one made from their own (unchanged)
// description.
void RefreshSharedFonts(Widget* w) {
  for (int i = 0; i < w->Children->Count; ++i) {
    Widget* child = static_cast<Widget*>(w->Children->Items[i]);
    if (!child->Font || child->Font->ParentTool != w->Font || child->Font->ToolHandle) continue;
    if (child->Handle) {
      ApplyFont(child);
      Invalidate(child);
    }
    RefreshSharedFonts(child);
  }
}

void FontChanged(void* object, GdiTool* font) {
  Widget* w = static_cast<Widget*>(object);
  w->TextColor = font->ToolData.ToolColor;
  ApplyFont(w);
  Invalidate(w);
  RefreshSharedFonts(w);
}

}  // namespace

// The standard arrow, shared by the system, loaded once: under Wine every
// LoadCursorA asks the window server whether the display has changed (three
// round trips), and each widget wanted the arrow two or three times before its
// window was shown.
HCURSOR ArrowCursor() {
  if (!gArrowCursor) gArrowCursor = LoadCursorA(nullptr, IDC_ARROW);
  return gArrowCursor;
}

void Widget::Initialize() {
  ClassStyle = CS_OWNDC;
  Style = WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_OVERLAPPEDWINDOW;
  ExStyle = WS_EX_CONTROLPARENT;
  Cursor = ArrowCursor();
  Enabled = true;
  Visible = true;
  Children = CreateObjectList();
  ChildLook3D = true;
  Look3D = true;
  TextColor = kColorWindowText;
  Color = kColorButtonFace;
  Margin = 2;
}

void Widget::InitWithParent(Widget* parent) {
  if (parent) Color = parent->Color;
  if (Parent) Parent->Children->Remove(this);
  if (parent) parent->Children->Add(this);
  Parent = parent;
  Cursor = ArrowCursor();
}

Widget* CreateWidget(Widget* parent, const char* className, bool look3D, Widget* made) {
  Widget* w = made ? made : CreateObject<Widget>();
  w->InitWithParent(parent);
  w->ClassName = className;
  if (parent) {
    w->ChildLook3D = parent->ChildLook3D;
    w->Look3D = look3D && parent->ChildLook3D;
    w->TextColor = parent->TextColor;
    GdiTool* parentFont = GetFont(parent);
    w->Font = AssignTool(nullptr, parentFont);
    w->Font->ParentTool = parentFont;
    w->Font->OnToolChange = {&FontChanged, w};
    w->Color = parent->Color;
    w->Margin = parent->Margin;
    int m = parent->Margin;
    int t = parent->ClientInsets.Top;
    w->Bounds = {m, m + t, m + 64, m + 64};
  }
  return w;
}

// Text

void SetText(Widget* w, const ByteString& text) {
  char* old = w->Text;
  w->Text = CopyText(text.Data());
  MemFree(old);
  if (w->Handle) {
    SetWindowTextA(w->Handle, w->Text);
    Invalidate(w);
  }
  if (w->AutoSizeHook) w->AutoSizeHook(w);
}

ByteString GetText(Widget* w) {
  if (!w->Handle) return ByteString(w->Text);
  int length = GetWindowTextLengthA(w->Handle);
  ByteString text = ByteString::OfLength(length);
  if (length > 0) {
    int got = GetWindowTextA(w->Handle, text.MutableData(), length + 1);
    text.Truncate(got);
  }
  return text;
}

// Styles and state

void SetStyle(Widget* w, DWORD style) {
  if (style == w->Style) return;
  w->Style = style;
  if (w->Handle) {
    SetWindowLongA(w->Handle, GWL_STYLE, static_cast<LONG>(style));
    SetWindowPos(w->Handle, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    Invalidate(w);
  }
}

void SetExStyle(Widget* w, DWORD exStyle) {
  if (exStyle == w->ExStyle) return;
  w->ExStyle = exStyle;
  if (w->Handle) {
    SetWindowLongA(w->Handle, GWL_EXSTYLE, static_cast<LONG>(exStyle));
    SetWindowPos(w->Handle, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    Invalidate(w);
  }
}

bool IsEnabled(Widget* w) {
  if (w->Handle) return IsWindowEnabled(w->Handle) != 0;
  return !(w->Style & WS_DISABLED);
}

void SetEnabled(Widget* w, bool on) {
  if (w->Enabled == on) return;
  w->Enabled = on;
  if (on)
    w->Style &= ~WS_DISABLED;
  else
    w->Style |= WS_DISABLED;
  if (w->Handle) EnableWindow(w->Handle, on);
}

bool IsVisible(Widget* w) {
  if (!w->IsChild && w->Handle) w->Visible = IsWindowVisible(w->Handle) != 0;
  return w->Visible;
}

void SetVisible(Widget* w, bool on) {
  if (IsVisible(w) == on) return;
  if (on)
    w->Style |= WS_VISIBLE;
  else
    w->Style &= ~WS_VISIBLE;
  w->Visible = on;
  if (w->Handle) {
    ShowWindow(w->Handle, on ? SW_SHOW : SW_HIDE);
    if (!on) w->CreatedHidden = false;
  }
}

void Hide(Widget* w) {
  w->VisibilitySet = true;
  SetVisible(w, false);
}

// Font

GdiTool* GetFont(Widget* w) {
  if (!w->Font) {
    w->Font = CreateFontTool();
    w->Font->OnToolChange = {&FontChanged, w};
  }
  return w->Font;
}

void ApplyFont(Widget* w) {
  if (!w->Font || !w->Handle) return;
  w->TextColor = w->Font->ToolData.ToolColor;
  SendMessageA(w->Handle, WM_SETFONT, reinterpret_cast<WPARAM>(GetToolHandle(w->Font)),
               kSetFontRedraw);
  FreeObject(w->Canvas);
  w->Canvas = nullptr;
  if (w->AutoSizeHook) w->AutoSizeHook(w);
}

// Tree

int ChildCount(Widget* w) {
  return w->Children->Count;
}

Widget* ChildAt(Widget* w, int index) {
  return static_cast<Widget*>(w->Children->Items[index]);
}

void PostClose(Widget* w) {
  // Without a window the message would become a thread message that closes
  // nothing.
  if (w->Handle) PostMessageA(w->Handle, WM_CLOSE, 0, 0);
}

void Invalidate(Widget* w) {
  if (gToolkit.LoopTerminated || !w->Handle) return;
  // A window not on screen is painted whole when it is shown.
  if (IsWindowVisible(w->Handle)) InvalidateRect(w->Handle, nullptr, TRUE);
  if (gToolkit.InvalidateHook) gToolkit.InvalidateHook(w);
}

Widget* ParentForm(Widget* w) {
  while (w && w->IsChild) w = w->Parent;
  return w;
}
