// Widgets: defaults, set-up under a parent, window creation on demand, the window procedure
// that finds the widget behind a window, and the common operations on bounds, text, styles,
// state and icons.
#include "gui/widget.h"

#include <string.h>

#include "gui/toolkit_state.h"

namespace {

const char kSelfProp[] = "TK_SELF";

HCURSOR gArrowCursor;

// The standard arrow, shared by the system, loaded once: under Wine every LoadCursorA asks
// the window server whether the display has changed (three round trips), and each widget
// wanted the arrow two or three times before its window was shown.
HCURSOR ArrowCursor() {
  if (!gArrowCursor) gArrowCursor = LoadCursorA(nullptr, IDC_ARROW);
  return gArrowCursor;
}

char* CopyText(const char* text) {
  int length = static_cast<int>(strlen(text));
  char* copy = static_cast<char*>(MemAlloc(length + 1));
  memcpy(copy, text, length + 1);
  return copy;
}

// Children whose windows were given w's font handle while sharing it: that handle was
// just deleted, so they take one made from their own (unchanged) description.
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

HDC AcquireWidgetDC(void* context, bool* mustRelease) {
  Widget* w = static_cast<Widget*>(context);
  if (w->PaintDC) {
    *mustRelease = false;
    return w->PaintDC;
  }
  HWND window = GetHandle(w);
  *mustRelease = window != nullptr;
  return window ? GetDC(window) : nullptr;
}

void ReleaseWidgetDC(void* context, HDC dc) {
  ReleaseDC(static_cast<Widget*>(context)->Handle, dc);
}

void ApplyIconAtCreation(Widget* w) {
  Widget* main = gToolkit.MainWidget;
  HICON icon = nullptr;
  if (w->Icon == kNoIcon) {
    icon = nullptr;
  } else if (w->Icon) {
    icon = w->Icon;
  } else if (main && main != w) {
    HICON mainIcon = main->Icon == kNoIcon ? nullptr : main->Icon;
    if (mainIcon) {
      w->Icon = static_cast<HICON>(CopyImage(mainIcon, IMAGE_ICON, 0, 0, 0));
      icon = w->Icon;
    }
  } else if (main == w) {
    w->Icon = LoadIconA(GetModuleHandleA(nullptr), "MAINICON");
    w->IconShared = true;  // a resource icon is shared and never destroyed
    icon = w->Icon;
  }
  SendMessageA(w->Handle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
}

// Every window of the toolkit's procedure carries its widget twice: in the "TK_SELF"
// property, the mark that anyone may look for, and in its user data, which the procedure
// reads for each message: under Wine a property costs a round trip to the window server
// (about 30 us, and some hundred messages come before the first paint), user data does not.
void MarkWindow(HWND window, Widget* w) {
  SetPropA(window, kSelfProp, w);
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w));
}

void CreateChildWindows(Widget* w) {
  for (int i = 0; i < w->Children->Count; ++i)
    static_cast<Widget*>(w->Children->Items[i])->CreateWindowHandle();
}

}  // namespace

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

Widget* CreateWidget(Widget* parent, const char* className, bool look3D) {
  Widget* w = CreateObject<Widget>();
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

bool Widget::CreateWindowHandle() {
  HWND parentWindow = nullptr;
  if (Parent) {
    parentWindow = GetHandle(Parent);
    if (!parentWindow) return false;
  }
  if (Handle) {
    CreateChildWindows(this);
    if (CreatedHidden) {
      SetVisible(this, true);
      CreatedHidden = false;
    }
    return true;
  }

  HINSTANCE module = GetModuleHandleA(nullptr);
  WNDCLASSA record = {};
  record.style = ClassStyle;
  record.lpfnWndProc = SystemProc;
  record.hInstance = module;
  record.hCursor = ArrowCursor();
  char className[64];
  lstrcpynA(className, "tk_", sizeof(className));
  if (ClassName) lstrcpynA(className + 3, ClassName, sizeof(className) - 3);
  if (ClassName) GetClassInfoA(nullptr, ClassName, &record);
  record.hInstance = module;
  record.style &= ~(CS_OWNDC | CS_CLASSDC | CS_PARENTDC | CS_GLOBALCLASS);
  if (!SystemProc) SystemProc = record.lpfnWndProc;
  if ((Style & WS_CHILD) && !parentWindow) return false;
  WNDCLASSA existing;
  if (!GetClassInfoA(module, className, &existing)) {
    record.lpszClassName = className;
    record.lpfnWndProc = &WidgetWindowProc;
    if (!RegisterClassA(&record)) return false;
  }

  int x = Bounds.left;
  int y = Bounds.top;
  int width = Bounds.right - Bounds.left;
  int height = Bounds.bottom - Bounds.top;
  if (width == 0) width = CW_USEDEFAULT;
  if (height == 0) height = CW_USEDEFAULT;
  if (!IsChild && PositionSet == 0) x = y = CW_USEDEFAULT;

  gToolkit.CreatingWidget = this;
  HWND window = CreateWindowExA(
      ExStyle, className, Text ? Text : "", Style, x, y, width, height, parentWindow,
      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(ControlId)), module, nullptr);
  if (gToolkit.CreatingWidget == this) gToolkit.CreatingWidget = nullptr;
  if (!window) return false;
  Handle = window;
  SendMessageA(window, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
  if (!GetWindowLongPtrA(window, GWLP_USERDATA)) MarkWindow(window, this);
  if (!IsChild) ApplyIconAtCreation(this);
  if (gToolkit.CreationHook) gToolkit.CreationHook(this);
  ApplyFont(this);
  CreateChildWindows(this);
  return true;
}

HWND GetHandle(Widget* w) {
  if (w->Handle) return w->Handle;
  if (!w->VisibilitySet) {
    // A window needed before the loop shows the tree is created hidden.
    w->VisibilitySet = true;
    SetVisible(w, false);
    w->CreateWindowHandle();
    if (w->Handle) w->CreatedHidden = true;
  } else {
    w->CreateWindowHandle();
  }
  return w->Handle;
}

Widget* WidgetFromHandle(HWND window) {
  return window ? static_cast<Widget*>(GetPropA(window, kSelfProp)) : nullptr;
}

LRESULT CALLBACK WidgetWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  WidgetMessage m = {window, msg, wParam, lParam};
  Widget* w = nullptr;
  if (!window) {
    w = gToolkit.MainWidget;
  } else if (gToolkit.CreatingWidget) {
    // The first message of a window whose CreateWindowExA has not returned yet.
    w = gToolkit.CreatingWidget;
    w->Handle = window;
    MarkWindow(window, w);
    gToolkit.CreatingWidget = nullptr;
  } else {
    w = reinterpret_cast<Widget*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!w) w = WidgetFromHandle(window);
    if (!w) w = gToolkit.MainWidget;
  }
  if (!w) return DefWindowProcA(window, msg, wParam, lParam);
  return w->HandleMessage(m);
}

// Bounds

RECT GetBounds(Widget* w) {
  if (w->Handle) {
    RECT r;
    GetWindowRect(w->Handle, &r);
    if (w->IsChild && w->Parent && w->Parent->Handle)
      MapWindowPoints(nullptr, w->Parent->Handle, reinterpret_cast<POINT*>(&r), 2);
    w->Bounds = r;
  }
  return w->Bounds;
}

void SetBounds(Widget* w, const RECT& r) {
  RECT old = GetBounds(w);
  if (EqualRect(&old, &r)) return;
  if (r.left != old.left) w->PositionSet |= 1;
  if (r.top != old.top) w->PositionSet |= 2;
  w->Bounds = r;
  if (w->Handle) {
    SetWindowPos(w->Handle, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    Invalidate(w);
  }
}

Widget* SetPosition(Widget* w, int x, int y) {
  SetLeft(w, x);
  SetTop(w, y);
  return w;
}

Widget* SetSize(Widget* w, int width, int height) {
  if (width > 0) SetWidth(w, width);
  if (height > 0) SetHeight(w, height);
  return w;
}

void SetLeft(Widget* w, int x) {
  RECT r = GetBounds(w);
  SetBounds(w, {x, r.top, x + (r.right - r.left), r.bottom});
}

void SetTop(Widget* w, int y) {
  RECT r = GetBounds(w);
  SetBounds(w, {r.left, y, r.right, y + (r.bottom - r.top)});
}

void SetWidth(Widget* w, int width) {
  RECT r = GetBounds(w);
  SetBounds(w, {r.left, r.top, r.left + width, r.bottom});
}

void SetHeight(Widget* w, int height) {
  RECT r = GetBounds(w);
  SetBounds(w, {r.left, r.top, r.right, r.top + height});
}

int GetWidth(Widget* w) {
  RECT r = GetBounds(w);
  return r.right - r.left;
}

int GetHeight(Widget* w) {
  RECT r = GetBounds(w);
  return r.bottom - r.top;
}

RECT ClientRect(Widget* w) {
  RECT r = w->Bounds;
  if (GetHandle(w)) GetClientRect(w->Handle, &r);
  r.top += w->ClientInsets.Top;
  r.bottom -= w->ClientInsets.Bottom;
  r.left += w->ClientInsets.Left;
  r.right -= w->ClientInsets.Right;
  return r;
}

int ClientWidth(Widget* w) {
  RECT r = ClientRect(w);
  return r.right - r.left;
}

int ClientHeight(Widget* w) {
  RECT r = ClientRect(w);
  return r.bottom - r.top;
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

// Icons

void SetIcon(Widget* w, HICON icon) {
  if (icon == w->Icon) return;
  w->Icon = icon;
  // A form's window made just now had no icon and was given this one at its creation.
  bool hadWindow = w->Handle != nullptr;
  if (GetHandle(w) && !hadWindow && !w->IsChild) return;
  HICON sent = icon == kNoIcon ? nullptr : icon;
  HICON replaced =
      reinterpret_cast<HICON>(Perform(w, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(sent)));
  if (replaced && replaced != sent) DestroyIcon(replaced);
}

void SetIconFromResource(Widget* w, HINSTANCE module, const char* name) {
  HICON icon = LoadIconA(module, name);
  // Set before SetIcon: the icon the window gives back may be this shared one.
  w->IconShared = true;
  SetIcon(w, icon);
}

// Font and canvas

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
  SendMessageA(w->Handle, WM_SETFONT, reinterpret_cast<WPARAM>(GetToolHandle(w->Font)), 0xFFFF);
  FreeObject(w->Canvas);
  w->Canvas = nullptr;
  if (w->AutoSizeHook) w->AutoSizeHook(w);
}

DeviceCanvas* WidgetCanvas(Widget* w) {
  if (!w->Canvas) {
    w->Canvas = CreateCanvas({&AcquireWidgetDC, &ReleaseWidgetDC, w});
    GdiTool* font = GetFont(w);
    AssignTool(w->Canvas->Font, font);
    w->Canvas->Font->ParentTool = font;  // same description: same handle
    SetToolColor(w->Canvas->Brush, w->Color);
  }
  return w->Canvas;
}

// Tree and messages

int ChildCount(Widget* w) {
  return w->Children->Count;
}

Widget* ChildAt(Widget* w, int index) {
  return static_cast<Widget*>(w->Children->Items[index]);
}

void PostClose(Widget* w) {
  // Without a window the message would become a thread message that closes nothing.
  if (w->Handle) PostMessageA(w->Handle, WM_CLOSE, 0, 0);
}

LRESULT Perform(Widget* w, UINT msg, WPARAM wParam, LPARAM lParam) {
  return SendMessageA(GetHandle(w), msg, wParam, lParam);
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

void Widget::Dispose() {
  Widget* form = ParentForm(this);
  if (form && form->FocusedChild == this) form->FocusedChild = nullptr;
  // Return and Escape must not press a button that is gone.
  if (form && form->DefaultButton == this) form->DefaultButton = nullptr;
  if (form && form->CancelButton == this) form->CancelButton = nullptr;

  // The owner's notifications and attached objects go first, while the tree is whole.
  RunDestroyNotifications();

  while (Children->Count > 0) {
    Widget* child = static_cast<Widget*>(Children->Items[Children->Count - 1]);
    FreeObject(child);
    if (Children->IndexOf(child) >= 0) {
      // Held by a dispatch in progress: it is destroyed when released, and must not
      // reach back to this parent by then, nor share the parent's font, freed below.
      Children->Remove(child);
      child->Parent = nullptr;
      if (child->Font) child->Font->ParentTool = nullptr;
    }
  }
  Destroying = true;

  FreeObject(Font);
  Font = nullptr;
  FreeObject(Canvas);
  Canvas = nullptr;
  if (Handle && IsWindow(Handle)) {
    if (!IsChild) {
      HICON old = reinterpret_cast<HICON>(SendMessageA(Handle, WM_SETICON, ICON_BIG, 0));
      if (old && !IconShared) DestroyIcon(old);
    }
    RemovePropA(Handle, kSelfProp);
    SetWindowLongPtrA(Handle, GWLP_USERDATA, 0);
    // A system control gets its own destruction messages, so that it frees what it
    // keeps per window; nothing of the widget is left to handle them.
    if (SystemProc && !WindowGone)
      SetWindowLongA(Handle, GWL_WNDPROC, reinterpret_cast<LONG>(SystemProc));
    if (!WindowGone) DestroyWindow(Handle);
  }
  Handle = nullptr;
  MemFree(Text);
  Text = nullptr;
  if (Parent) {
    if (Parent->FocusedChild == this) Parent->FocusedChild = nullptr;
    Parent->Children->Remove(this);
  }
  if (BackBrush) DeleteObject(BackBrush);
  FreeObject(AttachedHandlers);
  FreeObject(Children);
  RefObject::Dispose();  // nothing is left to notify: releases the instance
}
