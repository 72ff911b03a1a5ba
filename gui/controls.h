// Every control of the toolkit and the styles any widget takes: include this to build a
// window.
#pragma once

#include "gui/background.h"
#include "gui/controls/buttons.h"
#include "gui/controls/child_control.h"
#include "gui/controls/edit_box.h"
#include "gui/controls/form.h"
#include "gui/controls/gradient_panel.h"
#include "gui/controls/group_box.h"
#include "gui/controls/label.h"
#include "gui/controls/owner_draw_button.h"
#include "gui/frame_style.h"
#include "gui/transparency.h"
#include "gui/widget_window.h"

// Shorthands for the widget's font.
inline void SetFontStyle(Widget* w, unsigned style) {
  SetFontStyle(GetFont(w), style);
}
inline void SetToolColor(Widget* w, ColorValue color) {
  SetToolColor(GetFont(w), color);
}
