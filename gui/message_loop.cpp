// The message chain of HandleMessage with its built-in rules, attached handlers, the form
// and child-control handlers, the dialog-key filter and the loop.
#include "gui/message_loop.h"

#include "gui/painters.h"

namespace {

// A widget with no parent, or the first child of a widget that has none.
bool IsMainWindow(Widget* w) {
  if (!w->Parent) return true;
  return !w->Parent->Parent && w->Parent->Children->Count > 0 && w->Parent->Children->Items[0] == w;
}

bool KeyIsDown(int key) {
  return (GetKeyState(key) & 0x8000) != 0;
}

// Visible, or created hidden only because a handle was needed early.
bool IsShown(Widget* w) {
  for (; w; w = w->Parent)
    if (!IsVisible(w) && !w->CreatedHidden) return false;
  return true;
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
    // Held like a handler's dispatch: OnClose may free the form (or pump while another
    // message does), and the form must outlive the call.
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
    // A free posted to the window now would never arrive: the system drops the messages
    // of a destroyed window. The widget goes once the default processing is done.
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
      // A control without border or scroll bars has nothing outside its client area to
      // draw, and the default handling would still fetch a window DC for it.
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
  if (msg >= WM_KEYDOWN && msg <= 0x108) return HandleKey(w, m);
  return DefaultMessage(w, m);
}

}  // namespace

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

bool FormHandler(Widget* w, WidgetMessage& m, LRESULT& result) {
  UINT msg = LOWORD(m.Msg);
  if (msg == WM_ENDSESSION && m.WParam) {
    ReleaseRef(w);  // the dispatcher's hold: nothing returns to it
    gToolkit.LoopActive = 0;
    Widget* main = gToolkit.MainWidget;
    gToolkit.MainWidget = nullptr;
    gToolkit.LoopTerminated = true;
    FreeObject(main);
    ExitProcess(0);
  }
  if (msg == WM_SETFOCUS) {
    bool handled = false;
    if (w->FocusedChild) {
      SetFocus(GetHandle(w->FocusedChild));
      handled = true;
    }
    Widget* main = gToolkit.MainWidget;
    if (main && main != w) main->FocusedChild = w;
    result = 0;
    return handled;
  }
  return false;
}

void DialogKeyFilter(void* object, WidgetMessage* m, LRESULT* result, bool* handled) {
  Widget* main = static_cast<Widget*>(object);
  if (main->ChainedOnMessage.Assigned()) {
    main->ChainedOnMessage(m, result, handled);
    if (*handled) return;
  }
  if (gToolkit.LoopTerminated) return;
  Widget* form = main->IsForm ? main : main->FocusedChild;
  if (!form) return;
  UINT msg = LOWORD(m->Msg);
  if ((msg != WM_KEYDOWN && msg != WM_KEYUP) || (m->WParam != VK_RETURN && m->WParam != VK_ESCAPE))
    return;
  Widget* target = nullptr;
  Widget* focused = form->FocusedChild;
  Widget* button = form->DefaultButton;
  if (m->WParam == VK_RETURN && button && IsShown(button) && IsEnabled(button) &&
      !(focused && focused != button && (focused->IsCancel || focused->HandlesReturn)))
    target = button;
  if (!target && m->WParam == VK_ESCAPE) {
    button = form->CancelButton;
    if (button && IsShown(button) && IsEnabled(button)) target = button;
  }
  if (!target) return;
  Perform(target, msg == WM_KEYDOWN ? WM_LBUTTONDOWN : WM_LBUTTONUP, MK_LBUTTON, 0);
  m->WParam = 0;
  *result = 0;
  *handled = true;
}

bool PumpOne() {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (LOWORD(msg.message) == WM_QUIT) {
    gToolkit.LoopTerminated = true;
  } else {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return LOWORD(msg.message) != 0;
}

void PumpAll() {
  while (PumpOne()) {
  }
}

void RunMainLoop(Widget** mainWidget) {
  ++gToolkit.LoopActive;
  gToolkit.MainWidget = *mainWidget;
  if (gToolkit.MainWidget && gToolkit.MainWidget->CreateWindowHandle())
    UpdateWindow(gToolkit.MainWidget->Handle);
  while (!gToolkit.LoopTerminated) {
    // PumpAll also stops at a WM_NULL; what is queued behind it was seen already, and
    // WaitMessage waits only for news: look again before blocking.
    MSG next;
    if (!PeekMessageA(&next, nullptr, 0, 0, PM_NOREMOVE)) WaitMessage();
    PumpAll();
  }
  EndMainLoop(mainWidget);
}

void EndMainLoop(Widget** mainWidget) {
  bool wasTerminated = gToolkit.LoopTerminated;
  gToolkit.LoopTerminated = true;
  gToolkit.LoopActive = 0;
  Widget* main = gToolkit.MainWidget;
  gToolkit.MainWidget = nullptr;
  if (!main) return;
  AddRef(main);
  if (!wasTerminated) {
    PumpAll();
    Perform(main, WM_CLOSE, 0, 0);
  }
  *mainWidget = nullptr;
  FreeObject(main);
  ReleaseRef(main);
}
