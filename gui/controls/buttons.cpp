// The system's buttons: push button, check box and radio box (radio boxes of
// one parent form one group, the first starting checked).
#include "gui/controls/buttons.h"

#include "gui/controls/child_control.h"

namespace {

void CheckRadio(Widget* w) {
  Widget* parent = w->Parent;
  if (!parent) return;
  CheckRadioButton(GetHandle(parent), parent->FirstRadioId, parent->LastRadioId, w->ControlId);
}

}  // namespace

Widget* CreatePushButton(Widget* parent, const ByteString& text) {
  Widget* w = CreateChild(parent, "BUTTON", kControlStyle | WS_TABSTOP | BS_PUSHLIKE,
                          kButtonActions, false);
  SetDefaultBounds(w, 64, 22);
  w->HandlesReturn = true;
  w->TextAlign = kAlignCenter;
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

bool IsChecked(Widget* w) {
  return Perform(w, BM_GETCHECK, 0, 0) != 0;
}
