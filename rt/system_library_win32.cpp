// Loading system DLLs from the system folder only.
#include "rt/system_library.h"

#include <string.h>

HMODULE LoadSystemLibrary(const char* name) {
  char path[MAX_PATH + 1];
  UINT folder = GetSystemDirectoryA(path, MAX_PATH);
  size_t length = strlen(name);
  // A folder that did not fit would be a cut-off path: some other folder.
  if (folder == 0 || folder + 1 + length >= sizeof(path)) return nullptr;
  path[folder] = '\\';
  memcpy(path + folder + 1, name, length + 1);
  return LoadLibraryA(path);
}

void RestrictDllSearch() {
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
  auto restrict = reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  const DWORD kSearchSystem32 = 0x800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  if (restrict) restrict(kSearchSystem32);
}
