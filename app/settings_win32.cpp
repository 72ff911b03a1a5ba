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
  // A cut path could name another program's file: then the built-in values.
  bool known = length > 0 && length < sizeof(exePath);
  ByteString path =
      known ? SettingsPathOf(ByteString(exePath, static_cast<int>(length))) : ByteString();
  DWORD attributes = known ? GetFileAttributesA(path.Data()) : INVALID_FILE_ATTRIBUTES;
  // Without a file the profile functions are not called at all.
  bool present = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  ResolveSettings(settings, present ? &ReadProfileValue : nullptr, const_cast<char*>(path.Data()));
}
