// The windows behind widgets: made on demand (a widget tree can be built before
// any window exists), found again from a window, and the operations that need
// one.
#pragma once

#include <windows.h>

#include "gui/widget.h"

// Bounds: read from the window while there is one (relative to the parent
// window).
RECT GetBounds(Widget* w);
void SetBounds(Widget* w, const RECT& bounds);
Widget* SetPosition(Widget* w, int x, int y);
Widget* SetSize(Widget* w, int width, int height);
void SetLeft(Widget* w, int x);
void SetTop(Widget* w, int y);
void SetWidth(Widget* w, int width);
void SetHeight(Widget* w, int height);
int GetWidth(Widget* w);
int GetHeight(Widget* w);
// The widget's window, made now (hidden, before the loop shows the tree) if
// there is none.
HWND GetHandle(Widget* w);
RECT ClientRect(Widget* w);
int ClientWidth(Widget* w);
int ClientHeight(Widget* w);
void SetIcon(Widget* w, HICON icon);
void SetIconFromResource(Widget* w, HINSTANCE module, const char* name);
DeviceCanvas* WidgetCanvas(Widget* w);
LRESULT Perform(Widget* w, UINT msg, WPARAM wParam, LPARAM lParam);
// Marks `window` as w's, where WidgetFromHandle and the window procedure find
// it.
void MarkWindow(HWND window, Widget* w);
// Widget behind a toolkit window, or null.
Widget* WidgetFromHandle(HWND window);
// Defined with the message chain. The window procedure of every toolkit window
// class: finds the widget behind the window (the one being created, for the
// first messages) and hands it the message.
LRESULT CALLBACK WidgetWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
