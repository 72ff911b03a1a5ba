// The window procedure of every toolkit class and the message chain behind it:
// hooks, filters, attached handlers, then the built-in rules every widget
// follows.
#include "gui/window_proc.h"

#include "gui/toolkit_state.h"

namespace {

// The last key message as the range ended before WM_UNICHAR (0x109) joined it.
constexpr UINT kKeyLastBeforeUnichar = 0x108;

// A widget with no parent, or the first child of a widget that has none.
bool IsMainWindow(Widget* w) {
  if (!w->Parent) return true;
  return !w->Parent->Parent && w->Parent->Children->Count > 0 && w->Parent->Children->Items[0] == w;
}

bool KeyIsDown(int key) {
  return (GetKeyState(key) & 0x8000) != 0;
}

bool HasNonClientArea(HWND window) {
  RECT outer, inner;
  GetWindowRect(window, &outer);
  GetClientRect(window, &inner);
  return outer.right - outer.left != inner.right || outer.bottom - outer.top != inner.bottom;
}

bool RunAttachedHandlers(Widget* w, WidgetMessage& m, LRESULT& result) {
  if (w->Destroying) return false;  // its window is being taken down
  AddRef(w);
  ObjectList* list = w->AttachedHandlers;
  for (int i = list->Count - 2; i >= 0; i -= 2) {
    if (i >= list->Count) continue;  // a handler detached others
    bool always = list->Items[i + 1] != nullptr;
    if (!always && gToolkit.LoopTerminated) continue;
    auto handler = reinterpret_cast<MessageHandler>(list->Items[i]);
    if (handler(w, m, result)) {
      ReleaseRef(w);
      return true;
    }
  }
  if (w->UseCount == 1) {
    // Freed by one of the handlers: only this hold keeps it; it goes now.
    ReleaseRef(w);
    return true;
  }
  ReleaseRef(w);
  return false;
}

LRESULT HandleClose(Widget* w, WidgetMessage& m) {
  if (w->OnClose.Assigned()) {
    bool accept = true;
    // Held like a handler's dispatch: OnClose may free the form (or pump while
    // another message does), and the form must outlive the call.
    AddRef(w);
    w->OnClose(w, &accept);
    bool freed = (w->UseCount & 1) != 0;
    ReleaseRef(w);
    if (freed) return 0;  // gone, or going with the last hold: nothing is left to close
    if (!accept && gToolkit.LoopActive) return 0;
    w->OnClose = {};  // once per accepted close
  }
  Widget* main = gToolkit.MainWidget;
  if (!IsMainWindow(w) && w != main) return DefaultMessage(w, m);
  if (main && main != w) Perform(main, WM_CLOSE, 0, 0);
  PostQuitMessage(0);
  return 0;
}

LRESULT HandleNcDestroy(Widget* w, WidgetMessage& m) {
  Widget* main = gToolkit.MainWidget;
  if (main && w->Handle == main->Handle) return DefaultMessage(w, m);
  if (IsMainWindow(w)) {
    // A free posted to the window now would never arrive: the system drops the
    // messages of a destroyed window. The widget goes once the default
    // processing is done.
    w->WindowGone = true;
    LRESULT result = DefaultMessage(w, m);
    FreeObject(w);
    return result;
  }
  if (w->Parent && w->Parent == main) {
    w->WindowGone = true;
    FreeObject(w);
    return 0;
  }
  return DefaultMessage(w, m);
}

LRESULT HandleShowWindow(Widget* w, WidgetMessage& m) {
  if (m.LParam == SW_PARENTCLOSING) {
    w->ShowState = IsIconic(w->Handle)   ? SW_SHOWMINNOACTIVE
                   : IsZoomed(w->Handle) ? SW_SHOWMAXIMIZED
                                         : SW_SHOWNOACTIVATE;
    return DefaultMessage(w, m);
  }
  if (m.LParam == SW_PARENTOPENING) {
    if (w->ShowState != 0) {
      ShowWindow(w->Handle, w->ShowState);
      w->ShowState = 0;
    }
    return 0;
  }
  return DefaultMessage(w, m);
}

LRESULT HandleSetFocus(Widget* w, WidgetMessage& m) {
  if (!IsEnabled(w) || !w->TabStop) return 0;
  ++w->Focusing;
  SetFocus(w->Handle);
  --w->Focusing;
  ++w->Focusing;
  LRESULT result = DefaultMessage(w, m);
  --w->Focusing;
  return result;
}

LRESULT HandleKey(Widget* w, WidgetMessage& m) {
  HWND focus = GetFocus();
  if (focus && focus != w->Handle) return 0;  // not for this window: dropped
  if (KeyIsDown(VK_CONTROL) || KeyIsDown(VK_MENU)) return DefaultMessage(w, m);
  if (LOWORD(m.Msg) == WM_CHAR && m.WParam == '\t') {
    // Tab characters never reach a control, and Tab moves no focus.
    m.WParam = 0;
    return 0;
  }
  return DefaultMessage(w, m);
}

// The built-in rules, after the hooks and handlers passed the message on.
LRESULT BuiltInRules(Widget* w, WidgetMessage& m) {
  UINT msg = LOWORD(m.Msg);
  switch (msg) {
    case WM_CLOSE:
      return HandleClose(w, m);
    case WM_NCDESTROY:
      return HandleNcDestroy(w, m);
    case WM_SHOWWINDOW:
      return HandleShowWindow(w, m);
    case WM_SYSCOMMAND:
      if ((m.WParam & 0xFFF0) == SC_MINIMIZE && IsMainWindow(w) && gToolkit.MainWidget &&
          w != gToolkit.MainWidget) {
        PostMessageA(gToolkit.MainWidget->Handle, WM_SYSCOMMAND, m.WParam, m.LParam);
        return 0;
      }
      return DefaultMessage(w, m);
    case WM_SETFOCUS:
      return HandleSetFocus(w, m);
    case WM_NCPAINT:
      // A control without border or scroll bars has nothing outside its client
      // area to draw, and the default handling would still fetch a window DC for
      // it.
      if (w->IsChild && !HasNonClientArea(w->Handle)) return 0;
      return DefaultMessage(w, m);
    case WM_SETCURSOR:
      if (!GetCapture() && LOWORD(m.LParam) == HTCLIENT) {
        SetCursor(w->Cursor);
        return 1;
      }
      return DefaultMessage(w, m);
    case WM_COMMAND:
      if (m.LParam && WidgetFromHandle(reinterpret_cast<HWND>(m.LParam)))
        return SendMessageA(reinterpret_cast<HWND>(m.LParam), kReflectedCommand, m.WParam,
                            m.LParam);
      return DefaultMessage(w, m);
    default:
      break;
  }
  if (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC)
    return SendMessageA(reinterpret_cast<HWND>(m.LParam), msg + kReflectBase, m.WParam, m.LParam);
  if (msg >= WM_KEYDOWN && msg <= kKeyLastBeforeUnichar) return HandleKey(w, m);
  return DefaultMessage(w, m);
}

}  // namespace

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

LRESULT Widget::HandleMessage(WidgetMessage& m) {
  LRESULT result = 0;
  if (gToolkit.PreMessageHook && gToolkit.PreMessageHook(this, m, result)) return result;
  bool handled = false;
  Widget* main = gToolkit.MainWidget;
  if (gToolkit.LoopActive && main && main != this && main->OnMessage.Assigned()) {
    main->OnMessage(&m, &result, &handled);
    if (handled) return result;
  }
  if (OnMessage.Assigned()) {
    OnMessage(&m, &result, &handled);
    if (handled) return result;
  }
  if (HandlerDispatch && HandlerDispatch(this, m, result)) return result;
  return BuiltInRules(this, m);
}

LRESULT DefaultMessage(Widget* w, WidgetMessage& m) {
  if (w->SystemProc) return CallWindowProcA(w->SystemProc, w->Handle, m.Msg, m.WParam, m.LParam);
  return DefWindowProcA(m.Window, m.Msg, m.WParam, m.LParam);
}

void AttachHandler(Widget* w, MessageHandler handler) {
  w->HandlerDispatch = &RunAttachedHandlers;
  if (!w->AttachedHandlers) w->AttachedHandlers = CreateObjectList();
  void* code = reinterpret_cast<void*>(handler);
  for (int i = 0; i < w->AttachedHandlers->Count; i += 2)
    if (w->AttachedHandlers->Items[i] == code) return;
  w->AttachedHandlers->Add(code);
  w->AttachedHandlers->Add(nullptr);  // flag 0: stops once the loop is terminated
}
