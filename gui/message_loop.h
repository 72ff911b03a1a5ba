// The thread's message loop and the dispatch of window messages to widgets.
#pragma once

#include <windows.h>

#include "gui/widget.h"

// The application's main window widget: set by the program before the loop, and by
// RunMainLoop; cleared by EndMainLoop.
extern Widget* MainWidget;
// Nonzero while RunMainLoop runs.
extern BYTE LoopActive;
// Set once, when WM_QUIT is seen or the session ends; never cleared.
extern bool LoopTerminated;
// The widget whose CreateWindowExA call is in progress.
extern Widget* gCreatingWidget;

// Process-wide hooks, empty until transparency installs them: a look at every message
// before anything else, an extension of Invalidate, and a step after window creation.
extern MessageHandler gPreMessageHook;
extern void (*gInvalidateHook)(Widget* w);
extern void (*gCreationHook)(Widget* w);

// The window procedure of every toolkit window class.
LRESULT CALLBACK WidgetWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
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
bool PumpOne(Widget* w);
// PumpOne until it returns false.
void PumpAll(Widget* w);
// Creates (or shows) the tree of *mainWidget and runs until LoopTerminated, then ends.
void RunMainLoop(Widget** mainWidget);
// Ends the loop: frees the main widget (closing it first when the loop did not end).
void EndMainLoop(Widget** mainWidget);
