// The system's push button, check box and radio box.
#pragma once

#include "gui/widget.h"

Widget* CreatePushButton(Widget* parent, const ByteString& text);
Widget* CreateCheckBox(Widget* parent, const ByteString& text);
Widget* CreateRadioBox(Widget* parent, const ByteString& text);
bool IsChecked(Widget* w);
