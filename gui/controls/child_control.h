// What every child control shares: its set-up, its handler, auto-size and click.
#pragma once

#include <windows.h>

#include "gui/toolkit_state.h"
#include "gui/widget_window.h"

// The notifications of the system BUTTON class, shared by every control made of it.
// Click, enter, leave, change, width extra, height extra.
inline constexpr ClassActionRecord kButtonActions = {BN_CLICKED, BN_SETFOCUS, BN_KILLFOCUS,
                                                     0,          14,          0};

// Every child control is a visible child that clips its siblings and children.
constexpr DWORD kControlStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

// A child widget of the system class `className` with its style and notifications;
// `made` as for CreateWidget.
Widget* CreateChild(Widget* parent, const char* className, DWORD style,
                    const ClassActionRecord& actions, bool look3D, Widget* made = nullptr);
// A control's own size, designed at 96 DPI, at the DPI the program lays out for.
inline int Scaled(int designed) {
  return ScaledToDpi(designed, gToolkit.Dpi);
}

// The size a constructor gives, at the position the widget already has. Out of line: each
// constructor calls it, and inlined it would repeat its body in every one.
void SetDefaultBounds(Widget* w, int width, int height);
// Attached handler of every child control.
bool ChildControlHandler(Widget* w, WidgetMessage& m, LRESULT& result);
// Fits the widget to its text now and after every later text or font change.
Widget* SetAutoSize(Widget* w, bool on);
void Click(Widget* w);
