// Transparent widgets: the topmost ancestor with a transparent child (the composition
// root) paints itself and everything inside it into one off-screen image.
#pragma once

#include "gui/widget_window.h"

// Lets the parent's painting show through w; installs the transparency hooks for good.
void SetTransparent(Widget* w, bool on);
// The topmost ancestor (or w) with a transparent child, or null.
Widget* CompositionRoot(Widget* w);
