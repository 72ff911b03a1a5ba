// The gradient panel: a colour strip that may hold other controls.
#pragma once

#include "gui/widget.h"

// Directions of the gradient (SetGradientDirection).
enum : int { kGradientTopToBottom = 0, kGradientLeftToRight = 1 };

Widget* CreateGradientPanel(Widget* parent, ColorValue from, ColorValue to);
void SetGradientDirection(Widget* w, int direction);
