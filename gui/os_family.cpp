// The Windows family decision, kept free of Win32 so it is tested on the host as well.
#include "gui/os_family.h"

OsFamily ClassifyVersion(unsigned platform, unsigned major, unsigned minor) {
  if (platform == 2) {  // VER_PLATFORM_WIN32_NT
    if (major < 5) return kOsNt4;
    return minor >= 1 ? kOsWinXp : kOsWin2000;
  }
  if (platform == 1) {  // VER_PLATFORM_WIN32_WINDOWS
    return major > 4 || (major == 4 && minor >= 10) ? kOsWin98 : kOsWin95;
  }
  return kOsOther;
}
