// The rule of the `Url` setting and the report URL sent to it.
#include "app/report_address.h"

#include <string.h>

namespace {

bool Begins(const char* text, const char* prefix) {
  while (*prefix)
    if (*text++ != *prefix++) return false;
  return true;
}

}  // namespace

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
