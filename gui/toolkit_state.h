// The toolkit's process-wide state in one record, gToolkit, owned by the toolkit: its units
// read and write it here, a program sets MainWidget before the loop, and tests start each
// case with ResetToolkitState.
#pragma once

#include <windows.h>

#include "gui/dpi_scale.h"
#include "gui/widget.h"

struct ToolkitState {
  // The application's main window widget: set by the program before the loop, and by
  // RunMainLoop; cleared by EndMainLoop.
  Widget* MainWidget = nullptr;
  // Nonzero while RunMainLoop runs.
  BYTE LoopActive = 0;
  // Set once, when WM_QUIT is seen or the session ends; never cleared.
  bool LoopTerminated = false;
  // The widget whose CreateWindowExA call is in progress.
  Widget* CreatingWidget = nullptr;
  // The next child control's ID: a 16-bit counter shared by every child widget.
  WORD NextControlId = 0x8000;
  // Empty until transparency installs them: a look at every message before anything
  // else, an extension of Invalidate, and a step after window creation.
  MessageHandler PreMessageHook = nullptr;
  void (*InvalidateHook)(Widget* w) = nullptr;
  void (*CreationHook)(Widget* w) = nullptr;
  // The DPI the program lays its windows out for: 96 unless it declared itself DPI aware.
  // The controls' own sizes (defaults, auto-size extras, insets) follow it.
  int Dpi = kDesignDpi;
};

extern ToolkitState gToolkit;

// Puts the state back as it is at program start (for tests that run many loops and
// windows in one process).
void ResetToolkitState();
