// Command-line parameters by index, split the way the applet's callers quote them.
#pragma once

#include "rt/byte_string.h"

// Parameter `index` of `commandLine`: 0 is the program as written there, 1 the first
// parameter; empty when the line holds fewer. Bytes of 32 or below outside double quotes
// separate parameters, an empty "" counts as a separator, and quotes around a whole
// parameter are removed.
ByteString ParamStrOf(const ByteString& commandLine, int index);

// Win32 only: 0 gives the full path of the running program (at most 260 characters),
// 1 and above ParamStrOf(GetCommandLineA(), index).
ByteString ParamStr(int index);
