// The rules by which a value from the settings file is taken or ignored: the reader that
// fetches it, the buffer that tells a cut value from a whole one, the value as taken, and the
// rule of each kind of value. Pure code.
#pragma once

#include "rt/byte_string.h"

// Longest value taken from the file, in bytes; longer texts are cut, and a longer Host or
// Email is ignored.
constexpr int kSettingMaxLength = 255;

// Copies the value of `key` in `section` into `buffer` (at most size - 1 bytes and a
// terminating zero) and returns its length; 0 when there is none.
typedef int (*SettingReader)(void* context, const char* section, const char* key, char* buffer,
                             int size);

// A value as the reader gave it, before any rule. The buffer holds one byte more than a value
// may have, to tell a value of the longest length from a longer one that the reader cut.
struct RawSetting {
  char Text[kSettingMaxLength + 2];  // always ends in a zero
  int Length;                        // what the reader returned; 0 without a reader
  bool Cut() const { return Length > kSettingMaxLength; }
};

// The value of `key` in `section` through `read`; a null `read` gives an empty value.
void ReadRawSetting(RawSetting& raw, SettingReader read, void* context, const char* section,
                    const char* key);

// The value as taken: cut to kSettingMaxLength bytes, then without the bytes of 32 or
// below at either end; empty means the key counts as missing.
ByteString SettingValue(const char* raw);

// Letters, digits and . _ + - with exactly one @ between two non-empty parts: nothing
// that could add a header or another recipient to the mail URL.
bool IsMailAddress(const ByteString& value);
// Letters, digits and . _ -, then optionally ':' and a port from 1 to 65535: nothing that
// could add a path, user information or a query to the report URL.
bool IsHostName(const ByteString& value);
// Letters, digits and . - _ +, at most kProductVersionMaxLength bytes: a version as
// installers write one, and a value the collector takes.
constexpr int kProductVersionMaxLength = 32;
bool IsProductVersion(const ByteString& value);

// "http://" or "https://" in lower case, a host by the rule IsHostName has (a name and
// optionally ":" and a port from 1 to 65535), then "/" and a path, optionally with a query,
// of URL-safe characters only: letters, digits and - . _ ~ ! $ & ' ( ) * + , ; = : @ / ? %.
// Nothing that could end the URL early (a space, "#", a quote), add user information or
// carry bytes beyond ASCII. At most kSettingMaxLength bytes.
bool IsReportAddress(const char* value);
// The `key` (Url or Page) of the [report] section as read through `read`, or empty when it
// is missing or breaks the rule. A value longer than kSettingMaxLength is ignored rather than
// cut: a cut address would name another place.
ByteString ReadReportAddress(SettingReader read, void* context, const char* key);
