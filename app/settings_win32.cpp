// Reads the settings file beside the program: read once at start-up, never written.
#include <windows.h>

#include "app/settings.h"

namespace {

int ReadProfileValue(void* path, const char* section, const char* key, char* buffer, int size) {
  return static_cast<int>(
      GetPrivateProfileStringA(section, key, "", buffer, size, static_cast<const char*>(path)));
}

}  // namespace

void LoadSettings(Settings& settings) {
  char exePath[MAX_PATH + 1];
  DWORD length = GetModuleFileNameA(nullptr, exePath, sizeof(exePath));
  // A cut path could name another program's file: then the built-in values. A missing
  // file reads as a file without keys.
  if (length == 0 || length >= sizeof(exePath)) {
    ResolveSettings(settings, nullptr, nullptr);
    return;
  }
  ByteString path = SettingsPathOf(ByteString(exePath, static_cast<int>(length)));
  // Without a file every key reads empty: the built-in values, found without asking the
  // system for each key in turn (under Wine every key asks the registry for a mapping).
  if (GetFileAttributesA(path.Data()) == INVALID_FILE_ATTRIBUTES) {
    ResolveSettings(settings, nullptr, nullptr);
    return;
  }
  ResolveSettings(settings, &ReadProfileValue, const_cast<char*>(path.Data()));
}
