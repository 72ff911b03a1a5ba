// The form: a top-level window or a nested container of controls.
#pragma once

#include "gui/widget_window.h"

Widget* CreateFormWidget(Widget* parent, const ByteString& text);
// Attached handler of every form: end of session and focus.
bool FormHandler(Widget* w, WidgetMessage& m, LRESULT& result);
// The Return/Escape filter installed as the main widget's OnMessage (object: that widget).
void DialogKeyFilter(void* mainWidget, WidgetMessage* m, LRESULT* result, bool* handled);
// key VK_RETURN: w becomes its form's default button; VK_ESCAPE: the cancel button.
void SetDefaultKey(Widget* w, int key, bool on);
