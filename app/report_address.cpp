// The report's target as parts, the report URL sent to the `Url` setting's address, and
// the rules of redirects and replies.
#include "app/report_address.h"

#include <string.h>

#include "app/report.h"

namespace {

bool Begins(const char* text, const char* prefix) {
  while (*prefix)
    if (*text++ != *prefix++) return false;
  return true;
}

}  // namespace

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

ByteString WithQuery(const ByteString& address, const ByteString& query) {
  ByteString url = address;
  url += address.Find('?') < 0 ? '?' : '&';
  url += query;
  return url;
}

UrlParts ReportTarget(const ByteString& host, const ByteString& address, const ByteString& query) {
  UrlParts target;
  target.Port = kDefaultHttpPort;
  // A host by its rule is an authority alone: no scheme, no user information, no path.
  bool builtIn = address.IsEmpty();
  ParseUrl(builtIn ? host : address, target);
  target.Path = WithQuery(builtIn ? ByteString(kReportPath) : target.Path, query);
  return target;
}

ByteString AddressedReportUrl(const ByteString& address, const ByteString& reportUrl) {
  return WithQuery(address, strchr(reportUrl.Data(), '?') + 1);
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
