// The rule of the `Url` setting and the report URL sent to it.
#include "app/report_address.h"

#include <string.h>

namespace {

// Printable ASCII but for the space and the bytes that URLs may not carry as they are.
bool IsUrlSafe(char c) {
  return c > ' ' && c < 0x7F && !strchr("\"#<>[\\]^`{|}", c);
}

bool Begins(const char* text, const char* prefix) {
  while (*prefix)
    if (*text++ != *prefix++) return false;
  return true;
}

// The Url rule with a limit of `maxLength` bytes.
bool IsAddressWithin(const char* value, size_t maxLength) {
  if (strlen(value) > maxLength || !Begins(value, "http")) return false;
  const char* host = value + 4 + (value[4] == 's');
  if (!Begins(host, "://")) return false;
  host += 3;
  const char* path = strchr(host, '/');
  if (!path || !IsHostName(ByteString(host, int(path - host)))) return false;
  while (IsUrlSafe(*path)) ++path;
  return *path == 0;
}

}  // namespace

bool IsReportAddress(const char* value) {
  return IsAddressWithin(value, kSettingMaxLength);
}

ByteString RedirectTarget(const char* from, const char* location, int maxLength) {
  ByteString target(location);
  if (location[0] == '/' && location[1] != '/') {
    // `from` keeps the rule: a scheme, "://", the host and then the path.
    const char* path = strchr(strchr(from, ':') + 3, '/');
    target = ByteString(from, int(path - from)) + location;
  }
  if (!IsAddressWithin(target.Data(), maxLength) || !MayFollowRedirect(from, target.Data()))
    return ByteString();
  return target;
}

ByteString ReadReportAddress(SettingReader read, void* context, const char* key) {
  // One byte more than a value may have, to tell a value of the longest length from a longer
  // one that the reader cut.
  char buffer[kSettingMaxLength + 2];
  buffer[0] = 0;
  if (read) read(context, "report", key, buffer, sizeof(buffer));
  buffer[sizeof(buffer) - 1] = 0;
  return IsReportAddress(buffer) ? ByteString(buffer) : ByteString();
}

ByteString AddressedReportUrl(const ByteString& address, const ByteString& reportUrl) {
  ByteString url = address;
  url += address.Find('?') < 0 ? '?' : '&';
  url += strchr(reportUrl.Data(), '?') + 1;
  return url;
}

bool IsSecureAddress(const ByteString& address) {
  return Begins(address.Data(), "https:");
}

bool MayFollowRedirect(const char* from, const char* to) {
  return Begins(to, "https://") || (Begins(to, "http://") && Begins(from, "http://"));
}

bool LastLineIsOk(const char* text, int length) {
  if (length > 0 && text[length - 1] == '\n') --length;
  if (length > 0 && text[length - 1] == '\r') --length;
  return length >= 2 && text[length - 2] == 'O' && text[length - 1] == 'K' &&
         (length == 2 || text[length - 3] == '\n');
}
