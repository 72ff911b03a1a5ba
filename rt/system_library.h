// System DLLs by full path: the program may run elevated from a folder that others can
// write (an uninstaller's temporary copy), where a DLL of a system DLL's name would
// otherwise be found before the system's own.
#pragma once

#include <windows.h>

// Loads `name` ("wsock32.dll") from the system folder; null when it is not there.
HMODULE LoadSystemLibrary(const char* name);

// Where kernel32 offers it (Windows 8 on, and 7 and Vista with the update that added it),
// has every later load search the system folder only, also the loads that system DLLs
// make for themselves. Elsewhere nothing changes.
void RestrictDllSearch();
