// The thread's message loop and the dispatch of window messages to widgets.
#pragma once

#include <windows.h>

#include "gui/toolkit_state.h"
#include "gui/widget.h"

// The system class procedure, or DefWindowProcA.
LRESULT DefaultMessage(Widget* w, WidgetMessage& m);
// Adds a message handler (once); handlers run from the last attached to the first.
void AttachHandler(Widget* w, MessageHandler handler);

// Handlers the constructors attach.
bool ChildControlHandler(Widget* w, WidgetMessage& m, LRESULT& result);
bool FormHandler(Widget* w, WidgetMessage& m, LRESULT& result);
// The Return/Escape filter installed as the main widget's OnMessage (object: that widget).
void DialogKeyFilter(void* mainWidget, WidgetMessage* m, LRESULT* result, bool* handled);

// Dispatches one message if there is one; returns false when the queue was empty or the
// message taken was numbered 0. WM_QUIT is not dispatched but sets LoopTerminated.
bool PumpOne();
// PumpOne until it returns false.
void PumpAll();
// Creates (or shows) the tree of *mainWidget and runs until LoopTerminated, then ends.
void RunMainLoop(Widget** mainWidget);
// Ends the loop: frees the main widget (closing it first when the loop did not end).
void EndMainLoop(Widget** mainWidget);
