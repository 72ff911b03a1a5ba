// Keeps the Wine desktop in use for a whole test run. Wine ends the desktop process a second
// after the last thread using the desktop has gone, and the next window starts it again from
// whatever test process made that window: it inherits that test's standard error, and ctest then
// waits for it as long as the desktop stays in use. wine_env_start runs this once with no
// standard handles of its own but a file for its standard output, where it says "ready" once
// the desktop is up; wineserver -k ends it.
#include <windows.h>

int main() {
  // Attaches this thread to the desktop, starting its process if needed. Until the desktop
  // window exists, a window made elsewhere starts a second desktop process of its own, which
  // keeps that program's standard error (a test's output pipe) open for the whole run.
  while (!GetDesktopWindow()) Sleep(100);
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "ready\n", 6, &written, nullptr);
  for (;;) Sleep(INFINITE);
}
