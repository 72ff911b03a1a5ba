// The Windows family decision, kept free of Win32 so it is tested on the host as well.
#include "gui/os_family.h"

OsFamily ClassifyVersion(unsigned platform, unsigned major, unsigned minor) {
  if (platform == 2) {  // VER_PLATFORM_WIN32_NT
    if (major < 5) return kOsNt4;
    // 5.0 is Windows 2000; 5.1 and every later version (6.0 included) is XP or later.
    return major == 5 && minor == 0 ? kOsWin2000 : kOsWinXp;
  }
  if (platform == 1) {  // VER_PLATFORM_WIN32_WINDOWS
    return major > 4 || (major == 4 && minor >= 10) ? kOsWin98 : kOsWin95;
  }
  return kOsOther;
}
