// Reading one settings value, and the rules by which it is taken.
#include "app/setting_rules.h"

#include <string.h>

namespace {

bool IsLetterOrDigit(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Printable ASCII but for the space and the bytes that URLs may not carry as they are.
bool IsUrlSafe(char c) {
  return c > ' ' && c < 0x7F && !strchr("\"#<>[\\]^`{|}", c);
}

}  // namespace

void ReadRawSetting(RawSetting& raw, SettingReader read, void* context, const char* section,
                    const char* key) {
  raw.Text[0] = 0;
  raw.Length = read ? read(context, section, key, raw.Text, sizeof(raw.Text)) : 0;
  raw.Text[sizeof(raw.Text) - 1] = 0;  // whatever the reader wrote
}

ByteString SettingValue(const char* raw) {
  int end = 0;
  while (end < kSettingMaxLength && raw[end] != 0) ++end;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(raw);
  int start = 0;
  while (start < end && bytes[start] <= ' ') ++start;
  while (end > start && bytes[end - 1] <= ' ') --end;
  return ByteString(raw + start, end - start);
}

bool IsMailAddress(const ByteString& value) {
  int at = -1;
  for (int i = 0; i < value.Length(); ++i) {
    char c = value[i];
    if (c == '@') {
      if (at >= 0) return false;
      at = i;
    } else if (!IsLetterOrDigit(c) && !strchr("._+-", c)) {
      return false;
    }
  }
  return at > 0 && at < value.Length() - 1;
}

bool IsHostName(const ByteString& value) {
  int colon = value.Find(':');
  int nameEnd = colon < 0 ? value.Length() : colon;
  if (nameEnd == 0) return false;
  for (int i = 0; i < nameEnd; ++i) {
    char c = value[i];
    if (!IsLetterOrDigit(c) && !strchr("._-", c)) return false;
  }
  if (colon < 0) return true;
  int digits = value.Length() - colon - 1;
  if (digits < 1 || digits > 5) return false;
  long port = 0;
  for (int i = colon + 1; i < value.Length(); ++i) {
    char c = value[i];
    if (c < '0' || c > '9') return false;
    port = port * 10 + (c - '0');
  }
  return port >= 1 && port <= 65535;
}

bool IsProductVersion(const ByteString& value) {
  if (value.Length() > kProductVersionMaxLength) return false;
  for (int i = 0; i < value.Length(); ++i)
    if (!IsLetterOrDigit(value[i]) && !strchr(".-_+", value[i])) return false;
  return true;
}

bool IsReportAddress(const char* value) {
  if (strlen(value) > kSettingMaxLength || strncmp(value, "http", 4) != 0) return false;
  const char* host = value + 4 + (value[4] == 's');
  if (strncmp(host, "://", 3) != 0) return false;
  host += 3;
  const char* path = strchr(host, '/');
  if (!path || !IsHostName(ByteString(host, int(path - host)))) return false;
  while (IsUrlSafe(*path)) ++path;
  return *path == 0;
}

ByteString ReadReportAddress(SettingReader read, void* context, const char* key) {
  RawSetting raw;
  ReadRawSetting(raw, read, context, "report", key);
  return IsReportAddress(raw.Text) ? ByteString(raw.Text) : ByteString();
}
