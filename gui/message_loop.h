// The thread's message loop. Including it brings the message chain and the controls'
// handlers the loop's users install.
#pragma once

#include <windows.h>

#include "gui/controls/child_control.h"
#include "gui/controls/form.h"
#include "gui/toolkit_state.h"
#include "gui/window_proc.h"

// Dispatches one message if there is one; returns false when the queue was empty or the
// message taken was numbered 0. WM_QUIT is not dispatched but sets LoopTerminated.
bool PumpOne();
// PumpOne until it returns false.
void PumpAll();
// Creates (or shows) the tree of *mainWidget and runs until LoopTerminated, then ends.
void RunMainLoop(Widget** mainWidget);
// Ends the loop: frees the main widget (closing it first when the loop did not end).
void EndMainLoop(Widget** mainWidget);
