// The label: static text.
#pragma once

#include "gui/widget.h"

// `made` as for CreateWidget: a control built on a label hands in its own object.
Widget* CreateLabel(Widget* parent, const ByteString& text, Widget* made = nullptr);
