// Constructors of the concrete controls and their particular behaviour.
#include "gui/controls.h"

#include "gui/message_loop.h"
#include "gui/painters.h"

namespace {

// Click, enter, leave, change, width extra, height extra.
constexpr ClassActionRecord kButtonActions = {BN_CLICKED, BN_SETFOCUS, BN_KILLFOCUS, 0, 14, 0};
constexpr ClassActionRecord kStaticActions = {0, 0, 0, 0, 1, 1};
constexpr ClassActionRecord kEditActions = {0, EN_SETFOCUS, EN_KILLFOCUS, EN_CHANGE, 0, 6};

// Every child control is a visible child that clips its siblings and children.
constexpr DWORD kControlStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

// The control's own sizes, designed at 96 DPI, at the DPI the program lays out for.
int Scaled(int designed) {
  return ScaledToDpi(designed, gToolkit.Dpi);
}

void SetDefaultBounds(Widget* w, int width, int height) {
  RECT r = w->Bounds;
  w->Bounds = {r.left, r.top, r.left + Scaled(width), r.top + Scaled(height)};
}

// The set-up that every child control shares.
void SetUpChildControl(Widget* w, DWORD style, const ClassActionRecord& actions) {
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
}

Widget* CreateChild(Widget* parent, const char* className, DWORD style,
                    const ClassActionRecord& actions, bool look3D) {
  Widget* w = CreateWidget(parent, className, look3D);
  SetUpChildControl(w, style, actions);
  return w;
}

void CheckRadio(Widget* w) {
  Widget* parent = w->Parent;
  if (!parent) return;
  CheckRadioButton(GetHandle(parent), parent->FirstRadioId, parent->LastRadioId, w->ControlId);
}

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

Widget* CreateFormWidget(Widget* parent, const ByteString& text) {
  Widget* w = CreateWidget(parent, "Form", true);
  w->IsForm = true;
  w->ClassStyle |= CS_DBLCLKS;
  if (!parent) w->Bounds = {0, 0, 0, 0};
  AttachHandler(w, &BackgroundPainter);
  AttachHandler(w, &FormHandler);
  SetText(w, text);
  return w;
}

Widget* CreateLabel(Widget* parent, const ByteString& text) {
  Widget* w =
      CreateChild(parent, "STATIC", kControlStyle | SS_NOTIFY | SS_NOPREFIX | SS_LEFTNOWORDWRAP,
                  kStaticActions, false);
  w->IsLabel = true;
  SetDefaultBounds(w, 64, 22);
  SetText(w, text);
  return w;
}

Widget* CreateGradientPanel(Widget* parent, ColorValue from, ColorValue to) {
  Widget* w = CreateLabel(parent, "");
  SetDefaultBounds(w, 40, 40);
  w->GradientFrom = from;
  w->GradientTo = to;
  AttachHandler(w, &GradientPainter);
  return w;
}

Widget* CreateGroupBox(Widget* parent, const ByteString& text) {
  Widget* w = CreateChild(parent, "BUTTON", kControlStyle | WS_GROUP | WS_TABSTOP | BS_GROUPBOX,
                          kButtonActions, false);
  int t = parent ? UnscaledFromDpi(parent->ClientInsets.Top, gToolkit.Dpi) : 0;
  SetDefaultBounds(w, 100, 142 - t);
  w->TabStop = false;
  w->ClientInsets = {Scaled(22), Scaled(2), Scaled(2), Scaled(2)};
  AttachHandler(w, &BackgroundPainter);
  SetText(w, text);
  return w;
}

Widget* CreateEditBox(Widget* parent, unsigned options) {
  static const DWORD kOptionStyles[12] = {0,
                                          0,
                                          ES_LOWERCASE,
                                          ES_MULTILINE,
                                          ES_NOHIDESEL,
                                          ES_OEMCONVERT,
                                          ES_PASSWORD,
                                          ES_READONLY,
                                          ES_UPPERCASE,
                                          ES_WANTRETURN,
                                          0,
                                          ES_NUMBER};
  DWORD style = 0;
  for (int i = 0; i < 12; ++i)
    if (options & (1u << i)) style |= kOptionStyles[i];
  if (!(options & kEditNoHScroll)) style |= WS_HSCROLL | ES_AUTOHSCROLL;
  if (!(options & kEditNoVScroll)) style |= WS_VSCROLL | ES_AUTOVSCROLL;
  if (!(options & kEditMultiLine)) style &= ~(WS_HSCROLL | WS_VSCROLL);
  style |= WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP;

  Widget* w = CreateChild(parent, "EDIT", style, kEditActions, true);
  if (options & kEditMultiLine) {
    SetDefaultBounds(w, 200, 200);
    w->HandlesReturn = true;
  } else {
    SetDefaultBounds(w, 100, 22);
  }
  w->Cursor = LoadCursorA(nullptr, IDC_IBEAM);
  return w;
}

Widget* CreatePushButton(Widget* parent, const ByteString& text) {
  Widget* w = CreateChild(parent, "BUTTON", kControlStyle | WS_TABSTOP | BS_PUSHLIKE,
                          kButtonActions, false);
  SetDefaultBounds(w, 64, 22);
  w->HandlesReturn = true;
  w->TextAlign = 2;
  SetText(w, text);
  return w;
}

Widget* CreateCheckBox(Widget* parent, const ByteString& text) {
  Widget* w = CreatePushButton(parent, "");
  w->Style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;  // the whole style: no clip bits
  w->ClassActions.WidthExtra = 24;
  SetDefaultBounds(w, 72, 22);
  SetText(w, text);
  return w;
}

Widget* CreateRadioBox(Widget* parent, const ByteString& text) {
  Widget* w = CreateCheckBox(parent, "");
  w->Style = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_NOTIFY | BS_RADIOBUTTON;
  w->ClickAction = &CheckRadio;
  SetText(w, text);
  if (parent) {
    parent->LastRadioId = w->ControlId;
    if (parent->FirstRadioId == 0) {
      parent->FirstRadioId = w->ControlId;
      Click(w);  // the first radio box of a parent starts checked
    }
  }
  return w;
}

Widget* CreateOwnerDrawButton(Widget* parent, const ByteString& text, unsigned options, int layout,
                              HBITMAP glyph, int glyphCount) {
  Widget* w = CreateChild(parent, "BUTTON", kControlStyle | WS_TABSTOP | BS_OWNERDRAW,
                          kButtonActions, false);
  SetDefaultBounds(w, 64, 22);
  w->HandlesReturn = true;
  w->TextAlign = 2;
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

void SetColor(Widget* w, ColorValue color) {
  if (color == w->Color) return;
  w->Color = color;
  if (w->BackBrush) DeleteObject(w->BackBrush);
  w->BackBrush = nullptr;
  Invalidate(w);
}

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

void SetGradientDirection(Widget* w, int direction) {
  w->GradientDirection = static_cast<BYTE>(direction);
  Invalidate(w);
}

Widget* SetAutoSize(Widget* w, bool on) {
  w->AutoSizeHook = on ? &AutoSizeNow : nullptr;
  if (on) AutoSizeNow(w);
  return w;
}

void SetDefaultKey(Widget* w, int key, bool on) {
  if (key == VK_RETURN) w->IsCancel = false;
  if (key == VK_ESCAPE) w->IsCancel = on;
  Widget* form = ParentForm(w);
  Widget* main = gToolkit.MainWidget;
  if (!main || !form) return;
  if (on) {
    if (main->OnMessage.Code != &DialogKeyFilter) {
      main->ChainedOnMessage = main->OnMessage;
      main->OnMessage = {&DialogKeyFilter, main};
    }
    if (key == VK_RETURN) form->DefaultButton = w;
    if (key == VK_ESCAPE) form->CancelButton = w;
  } else if (main->OnMessage.Code == &DialogKeyFilter) {
    // Only the filter's own installation is undone; another OnMessage stays.
    main->OnMessage = main->ChainedOnMessage;
    main->ChainedOnMessage = {};
  }
}

bool IsChecked(Widget* w) {
  return Perform(w, BM_GETCHECK, 0, 0) != 0;
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
