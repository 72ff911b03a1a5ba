// The group box: a framed, captioned container.
#pragma once

#include "gui/widget.h"

Widget* CreateGroupBox(Widget* parent, const ByteString& text);
