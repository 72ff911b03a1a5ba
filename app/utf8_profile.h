// A settings file saved as UTF-8 with its byte order mark, read by the program itself:
// Windows' profile functions treat the mark differently from one version to the next
// (Windows 95's know none), so they would give different texts on different systems.
#pragma once

#include "app/settings.h"

// True when `bytes` begins with UTF-8's byte order mark.
bool HasUtf8Mark(const ByteString& bytes);

struct Utf8Profile {
  ByteString Text;  // the file as read, mark included
  // The value as the window shows it, false when it cannot be shown (AnsiOfUtf8).
  bool (*ToAnsi)(const ByteString& utf8, ByteString& ansi);
};

// A SettingReader over a Utf8Profile. Lines are "[section]" and "key=value" (names without
// regard to case, spaces around names and values dropped) and ";" comments; the first value
// of a key counts. A section that holds one value that ToAnsi cannot convert counts as
// missing as a whole, so that a language section never shows some texts as "?" or mixes
// with another language's texts.
int ReadUtf8Profile(void* profile, const char* section, const char* key, char* buffer, int size);
