// Reads the settings file beside the program: read once at start-up, never written.
#include <windows.h>

#include "app/late_bound.h"
#include "app/settings.h"
#include "app/text_code.h"
#include "app/utf8_profile.h"

namespace {

// More than any settings file needs; a longer file in UTF-8 is read this far.
const int kMaxUtf8File = 1 << 20;

int ReadProfileValue(void* path, const char* section, const char* key, char* buffer, int size) {
  return static_cast<int>(
      GetPrivateProfileStringA(section, key, "", buffer, size, static_cast<const char*>(path)));
}

// The user's interface language where Windows has one apart from the locale (2000 on),
// else the locale's language.
unsigned UserLanguage() {
  typedef LANGID(WINAPI * LanguageFunction)();
  LanguageFunction ui =
      reinterpret_cast<LanguageFunction>(LateBound("kernel32.dll", "GetUserDefaultUILanguage"));
  return ui ? ui() : GetUserDefaultLangID();
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
  HANDLE file = CreateFileA(path.Data(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ResolveSettings(settings, nullptr, nullptr);
    return;
  }
  Utf8Profile profile = {ByteString::OfLength(kMaxUtf8File), &AnsiOfUtf8};
  DWORD got = 0;
  if (!ReadFile(file, profile.Text.MutableData(), kMaxUtf8File, &got, nullptr)) got = 0;
  CloseHandle(file);
  profile.Text.Truncate(static_cast<int>(got));
  // A file without the mark is left to the profile functions, bytes as they always were.
  if (HasUtf8Mark(profile.Text))
    ResolveSettings(settings, &ReadUtf8Profile, &profile, UserLanguage());
  else
    ResolveSettings(settings, &ReadProfileValue, const_cast<char*>(path.Data()), UserLanguage());
}
