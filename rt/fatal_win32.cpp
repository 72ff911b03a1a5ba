// The fatal error report on Windows: a message box, then the process ends.
#include <windows.h>

#include "rt/fatal.h"

void FatalError(const char* message) {
  MessageBoxA(nullptr, message, "Fatal error", MB_OK | MB_ICONERROR | MB_TASKMODAL);
  ExitProcess(kFatalExitCode);
}
