// Declares DPI awareness through the functions of newer systems, found at run time.
#include "app/dpi_awareness.h"

#include <windows.h>

#include "app/late_bound.h"
#include "gui/dpi_scale.h"

namespace {

// System-aware is enough for a window that lives a few seconds on one display.
const HANDLE kSystemAwareContext = reinterpret_cast<HANDLE>(-2);  // Windows 10 1703
const int kProcessSystemDpiAware = 1;                             // Windows 8.1

using ContextFunction = BOOL(WINAPI*)(HANDLE);
using AwarenessFunction = HRESULT(WINAPI*)(int);
using AwareFunction = BOOL(WINAPI*)();

}  // namespace

int DeclareDpiAware() {
  auto context =
      reinterpret_cast<ContextFunction>(LateBound("user32.dll", "SetProcessDpiAwarenessContext"));
  if (!context || !context(kSystemAwareContext)) {
    auto awareness =
        reinterpret_cast<AwarenessFunction>(LateBound("shcore.dll", "SetProcessDpiAwareness"));
    if (!awareness || awareness(kProcessSystemDpiAware) < 0) {
      auto aware = reinterpret_cast<AwareFunction>(LateBound("user32.dll", "SetProcessDPIAware"));
      if (aware) aware();
    }
  }
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kDesignDpi;
}
