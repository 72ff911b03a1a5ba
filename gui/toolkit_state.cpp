// The one record of the toolkit's process-wide state.
#include "gui/toolkit_state.h"

// Constant-initialised: it holds its start values before any code runs.
ToolkitState gToolkit;

void ResetToolkitState() {
  gToolkit = ToolkitState();
}
