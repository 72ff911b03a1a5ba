// The form: the top-level (or nested) container with its background, its focus memory,
// its end of the session, and the Return/Escape keys that press its default and cancel
// buttons.
#include "gui/controls/form.h"

#include "gui/background.h"
#include "gui/toolkit_state.h"
#include "gui/window_proc.h"

namespace {

// Visible, or created hidden only because a handle was needed early.
bool IsShown(Widget* w) {
  for (; w; w = w->Parent)
    if (!IsVisible(w) && !w->CreatedHidden) return false;
  return true;
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
