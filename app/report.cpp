// Composes the two URLs by which the applet reports the user's answer.
#include "app/report.h"

namespace {

const char kHexDigits[] = "0123456789abcdef";

bool IsUnreserved(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '!':
    case '$':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '-':
    case '.':
    case '@':
    case '_':
      return true;
  }
  return false;
}

// Bytes that would end or split the mail URL, be decoded by the mail program, or break the
// quoted "%1" of the shell's command line for the mailto class.
bool NeedsMailEscape(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == '%' || c == '&' || c == '#' || c == '?' || c == '"';
}

char* PutEscape(char* out, unsigned char c) {
  *out++ = '%';
  *out++ = kHexDigits[c >> 4];
  *out++ = kHexDigits[c & 15];
  return out;
}

ByteString MailBody(const ByteString& reason) {
  int length = reason.Length();
  ByteString body = ByteString::OfLength(length * 3);
  const unsigned char* in = reinterpret_cast<const unsigned char*>(reason.Data());
  char* start = body.MutableData();
  char* out = start;
  for (int i = 0; i < length; ++i) {
    unsigned char c = in[i];
    if (c == ' ' || NeedsMailEscape(c)) {
      out = PutEscape(out, c);
    } else {
      *out++ = static_cast<char>(c);
    }
  }
  body.Truncate(static_cast<int>(out - start));
  return body;
}

}  // namespace

ByteString UrlEncode(const ByteString& text) {
  int length = text.Length();
  ByteString result = ByteString::OfLength(length * 3);
  const unsigned char* in = reinterpret_cast<const unsigned char*>(text.Data());
  char* start = result.MutableData();
  char* out = start;
  for (int i = 0; i < length && in[i] != 0; ++i) {
    unsigned char c = in[i];
    if (IsUnreserved(c)) {
      *out++ = static_cast<char>(c);
    } else if (c == ' ') {
      *out++ = '+';
    } else {
      out = PutEscape(out, c);
    }
  }
  result.Truncate(static_cast<int>(out - start));
  return result;
}

ByteString ReportUrl(const ByteString& product, const ByteString& reason,
                     const ByteString& versionName) {
  ByteString url = "http://" EXITPOLL_STATS_HOST "/stat/uninstall.php?prj=";
  url += UrlEncode(product);
  url += "&reason=";
  url += UrlEncode(reason);
  url += "&os=";
  url += UrlEncode(versionName);
  return url;
}

ByteString MailUrl(const ByteString& product, const ByteString& reason) {
  ByteString url = "mailto:" EXITPOLL_FEEDBACK_EMAIL "?subject=";
  url += UrlEncode("uninstall " + product);
  url += "&body=";
  url += MailBody(reason);
  return url;
}
