// The label: static text.
#pragma once

#include "gui/widget.h"

Widget* CreateLabel(Widget* parent, const ByteString& text);
