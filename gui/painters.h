// The toolkit's own painting: backgrounds of forms and group boxes, the gradient strip
// and the owner-drawn push button.
#pragma once

#include <windows.h>

#include "gui/widget.h"

// The brush a widget's background is painted with: the parent's while the colours agree,
// else the widget's own cached solid brush.
HBRUSH WidgetBackgroundBrush(Widget* w);

// Attached message handlers.
bool BackgroundPainter(Widget* w, WidgetMessage& m, LRESULT& result);
bool GradientPainter(Widget* w, WidgetMessage& m, LRESULT& result);
bool OwnerDrawButtonPainter(Widget* w, WidgetMessage& m, LRESULT& result);
bool DrawItemForwarder(Widget* w, WidgetMessage& m, LRESULT& result);
