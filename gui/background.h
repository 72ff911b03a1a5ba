// The painted background of forms and group boxes, and the colour of any widget.
#pragma once

#include <windows.h>

#include "gui/widget.h"

// The brush a widget's background is painted with: the parent's while the colours agree,
// else the widget's own cached solid brush.
HBRUSH WidgetBackgroundBrush(Widget* w);
// Attached handler: fills the client area on WM_ERASEBKGND (unless transparent).
bool BackgroundPainter(Widget* w, WidgetMessage& m, LRESULT& result);
void SetColor(Widget* w, ColorValue color);
