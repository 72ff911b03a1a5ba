// Keeps the Wine desktop in use for a whole test run. Wine ends the desktop process a second
// after the last thread using the desktop has gone, and the next window starts it again from
// whatever test process made that window: it inherits that test's standard error, and ctest then
// waits for it as long as the desktop stays in use. wine_env_start runs this once with no
// standard handles of its own; wineserver -k ends it.
#include <windows.h>

int main() {
  GetDesktopWindow();  // attaches this thread to the desktop, starting its process if needed
  for (;;) Sleep(INFINITE);
}
