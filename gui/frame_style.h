// Frame styles of any widget: 3D edge, border, fixed size.
#pragma once

#include "gui/widget.h"

void SetLook3D(Widget* w, bool on);
void SetHasBorder(Widget* w, bool on);
void SetResizable(Widget* w, bool on);
