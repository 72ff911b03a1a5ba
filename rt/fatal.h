// The run-time's fatal error report: allocation failure and programming errors end here.
#pragma once

// Shows `message` (a box captioned "Fatal error" on Windows, standard error on the host)
// and ends the process with exit code 3.
[[noreturn]] void FatalError(const char* message);

constexpr int kFatalExitCode = 3;
