// The gradient panel: a colour strip that may hold other controls.
#pragma once

#include "gui/widget.h"

// Directions of the gradient (SetGradientDirection).
enum : int { kGradientTopToBottom = 0, kGradientLeftToRight = 1 };

// A label with empty text, painted by its own painter.
class GradientPanel : public Widget {
public:
  ColorValue GradientFrom;
  ColorValue GradientTo;
  BYTE GradientDirection;  // kGradientTopToBottom, kGradientLeftToRight
};

GradientPanel* CreateGradientPanel(Widget* parent, ColorValue from, ColorValue to);
void SetGradientDirection(GradientPanel* w, int direction);
