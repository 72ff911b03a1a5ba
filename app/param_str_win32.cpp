// Command-line parameters of the running process.
#include <windows.h>

#include "app/param_str.h"

ByteString ParamStr(int index) {
  if (index == 0) {
    char path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    if (length > MAX_PATH) length = MAX_PATH;
    return ByteString(path, static_cast<int>(length));
  }
  return ParamStrOf(GetCommandLineA(), index);
}
