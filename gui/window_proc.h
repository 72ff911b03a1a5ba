// The message chain every widget's messages run through, and the attaching of handlers.
#pragma once

#include <windows.h>

#include "gui/widget_window.h"

// The system class procedure, or DefWindowProcA.
LRESULT DefaultMessage(Widget* w, WidgetMessage& m);
// Adds a message handler (once); handlers run from the last attached to the first.
void AttachHandler(Widget* w, MessageHandler handler);
