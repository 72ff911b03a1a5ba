// Widget: the toolkit's object for one Win32 window, top-level form or child
// control. The object keeps every property and mirrors changes to the window
// once it exists; windows are created on demand, so a whole tree can be built
// before any window exists. A control with data of its own (the gradient panel,
// the owner-drawn button) derives its class from Widget and keeps that data there.
#pragma once

#include <windows.h>

#include "gui/canvas.h"
#include "gui/color.h"
#include "gui/gdi_tool.h"
#include "rt/byte_string.h"
#include "rt/object.h"

class Widget;

// The message handed to HandleMessage, handlers and filters. The result travels
// beside it, by reference, starting at 0.
struct WidgetMessage {
  HWND Window;
  UINT Msg;  // compared by its low 16 bits
  WPARAM WParam;
  LPARAM LParam;
};

// An attached message handler: returns true when it handled the message.
using MessageHandler = bool (*)(Widget* w, WidgetMessage& m, LRESULT& result);

// Per-class mapping of control notifications to events, copied into each
// widget.
struct ClassActionRecord {
  WORD Click;  // notification codes
  WORD Enter;
  WORD Leave;
  WORD Change;
  short WidthExtra;  // added to the measured text by auto-size (0: keep that side)
  short HeightExtra;
};

struct Insets {
  int Top, Bottom, Left, Right;
};

// Toolkit message numbers: Win32 messages reflected to the child control they
// concern.
constexpr UINT kReflectBase = 0xBC00;
constexpr UINT kReflectedDrawItem = kReflectBase + WM_DRAWITEM;  // 0xBC2B
// The command reflection has a number of its own, outside the reflected range.
constexpr UINT kToolkitMessageBase = 0xB000;
constexpr UINT kReflectedCommand = kToolkitMessageBase + 5;

// Text alignment (Widget::TextAlign).
enum : BYTE { kAlignLeft = 0, kAlignRight = 1, kAlignCenter = 2 };

class Widget : public RefObject {
public:
  void Initialize() override;
  void Dispose() override;
  // Copies the parent's background colour, attaches to the parent, arrow
  // cursor.
  virtual void InitWithParent(Widget* parent);
  // Creates the window and its children's, or shows a window created hidden.
  virtual bool CreateWindowHandle();
  // The message chain: hooks, filters, attached handlers, built-in rules.
  virtual LRESULT HandleMessage(WidgetMessage& m);

  HWND Handle;
  UINT ClassStyle;
  DWORD Style;
  DWORD ExStyle;
  HCURSOR Cursor;
  HICON Icon;  // kNoIcon: none
  bool IconShared;
  char* Text;  // heap copy, null until set
  int ShowState;
  DeviceCanvas* Canvas;
  WNDPROC SystemProc;
  bool WindowGone;
  Widget* Parent;
  bool Enabled;
  bool Visible;
  bool TabStop;
  BYTE TextAlign;  // kAlignLeft, kAlignRight, kAlignCenter
  bool FixedSize;
  ObjectList* Children;
  HBRUSH BackBrush;
  COLORREF BackBrushColor;
  bool Destroying;
  UINT ControlId;
  bool IsForm;
  bool IsChild;
  bool IsLabel;
  BYTE PositionSet;  // bit 0 left, bit 1 top
  HDC PaintDC;
  ObjectList* AttachedHandlers;  // pairs (handler, flag)
  BoundMethod<Widget*> OnLeave;
  bool (*HandlerDispatch)(Widget* w, WidgetMessage& m, LRESULT& result);
  void (*ClickAction)(Widget* w);
  const char* ClassName;
  bool ChildLook3D;
  bool Look3D;
  ColorValue TextColor;
  GdiTool* Font;
  ColorValue Color;
  int Margin;
  RECT Bounds;
  Insets ClientInsets;
  bool HasTransparentChild;
  bool Transparent;
  // (message, result, handled): sees messages before the attached handlers.
  BoundMethod<WidgetMessage*, LRESULT*, bool*> OnMessage;
  BoundMethod<WidgetMessage*, LRESULT*, bool*> ChainedOnMessage;
  BoundMethod<Widget*> OnClick;  // (sender)
  Widget* FocusedChild;
  bool VisibilitySet;
  bool CreatedHidden;
  UINT FirstRadioId;
  UINT LastRadioId;
  BYTE Focusing;
  bool IsCancel;
  Widget* DefaultButton;
  Widget* CancelButton;
  bool HandlesReturn;
  BoundMethod<Widget*> OnChange;
  BoundMethod<Widget*> OnEnter;
  ClassActionRecord ClassActions;
  int LockedWidth;
  int LockedHeight;
  // (sender, accept): accept starts true; setting it false refuses the close.
  BoundMethod<Widget*, bool*> OnClose;
  void (*AutoSizeHook)(Widget* w);
  // Transparent composition (root widgets only).
  bool Composing;
  HBITMAP ComposeBitmap;
  SIZE ComposeSize;
  bool ComposeCleanupAttached;
};

const HICON kNoIcon = reinterpret_cast<HICON>(-1);

// The common set-up of every constructor: a widget of class `className` under
// `parent` with the parent's look; `look3D` is the constructor's request for a
// sunken edge. A control of a class of its own hands in its object as `made`, fresh
// from CreateObject; without it the widget is a plain Widget.
Widget* CreateWidget(Widget* parent, const char* className, bool look3D, Widget* made = nullptr);

// The standard arrow cursor, loaded once.
HCURSOR ArrowCursor();
void SetText(Widget* w, const ByteString& text);
ByteString GetText(Widget* w);
void SetStyle(Widget* w, DWORD style);
void SetExStyle(Widget* w, DWORD exStyle);
bool IsEnabled(Widget* w);
void SetEnabled(Widget* w, bool on);
bool IsVisible(Widget* w);
void SetVisible(Widget* w, bool on);
void Hide(Widget* w);
GdiTool* GetFont(Widget* w);
// Sends the font to the window, drops the canvas and refits an auto-sized
// widget.
void ApplyFont(Widget* w);
int ChildCount(Widget* w);
Widget* ChildAt(Widget* w, int index);
void PostClose(Widget* w);
void Invalidate(Widget* w);
Widget* ParentForm(Widget* w);
