// ClassifyWindows: the family of the running system.
#include <windows.h>

#include "gui/os_family.h"

OsFamily ClassifyWindows() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);  // the 148-byte record
  if (!GetVersionExA(&info)) return kOsOther;
  return ClassifyVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}
