// Composes the report's query, the statistics URL and the mail URL by which the applet
// reports the user's answer.
#include "app/report.h"

#include <string.h>

namespace {

const char kHexDigits[] = "0123456789abcdef";

// Which bytes of a text pass an escaper unchanged and what becomes of a space; every other
// byte becomes "%" and two lower-case hex digits.
struct EscapeRule {
  bool (*Passes)(unsigned char c);
  char Space;      // written for a space; 0: the space is escaped
  bool StopAtNul;  // a NUL byte ends the text
};

bool IsUnreserved(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  return c != 0 && strchr("!$'()*-.@_", c) != nullptr;
}

// The mail body escapes the bytes that would end or split the mail URL, be decoded by the
// mail program, or break the quoted "%1" of the shell's command line for the mailto class,
// and the space.
bool PassesMailBody(unsigned char c) {
  return !(c <= 0x20 || c == 0x7F || c == '%' || c == '&' || c == '#' || c == '?' || c == '"');
}

// RFC 6068's characters of a header field that need no escape, less "+", which some mail
// programs read as a space.
bool IsMailChar(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         (c != 0 && strchr("-._~!$'()*,;:@", c) != nullptr);
}

constexpr EscapeRule kQueryRule = {&IsUnreserved, '+', true};
constexpr EscapeRule kMailBodyRule = {&PassesMailBody, 0, false};
constexpr EscapeRule kMailUtf8Rule = {&IsMailChar, 0, false};

ByteString Escape(const ByteString& text, const EscapeRule& rule) {
  int length = text.Length();
  ByteString result = ByteString::OfLength(length * 3);
  const unsigned char* in = reinterpret_cast<const unsigned char*>(text.Data());
  char* start = result.MutableData();
  char* out = start;
  for (int i = 0; i < length; ++i) {
    unsigned char c = in[i];
    if (c == 0 && rule.StopAtNul) break;
    if (c == ' ' && rule.Space) {
      *out++ = rule.Space;
    } else if (rule.Passes(c)) {
      *out++ = static_cast<char>(c);
    } else {
      *out++ = '%';
      *out++ = kHexDigits[c >> 4];
      *out++ = kHexDigits[c & 15];
    }
  }
  result.Truncate(static_cast<int>(out - start));
  return result;
}

}  // namespace

ByteString UrlEncode(const ByteString& text) {
  return Escape(text, kQueryRule);
}

ByteString ReportQuery(const ByteString& product, const ByteString& reason,
                       const ByteString& versionName, const ByteString& productVersion,
                       const ByteString& reportId, int reasonNumber, bool utf8) {
  ByteString query = "prj=";
  query += UrlEncode(product);
  query += "&reason=";
  query += UrlEncode(reason);
  query += "&os=";
  query += UrlEncode(versionName);
  if (!productVersion.IsEmpty()) {
    query += "&ver=";
    query += UrlEncode(productVersion);
  }
  if (!reportId.IsEmpty()) {
    query += "&id=";
    query += reportId;  // hexadecimal digits only
  }
  if (reasonNumber > 0) {
    query += "&n=";
    query += static_cast<char>('0' + reasonNumber);  // 1 to 7
  }
  if (utf8) query += "&cs=utf-8";
  return query;
}

ByteString ReportUrl(const ByteString& product, const ByteString& reason,
                     const ByteString& versionName, const ByteString& host,
                     const ByteString& productVersion, const ByteString& reportId, int reasonNumber,
                     bool utf8) {
  return "http://" + host + kReportPath + "?" +
         ReportQuery(product, reason, versionName, productVersion, reportId, reasonNumber, utf8);
}

ByteString MailUrl(const ByteString& product, const ByteString& reason, const ByteString& address,
                   const ByteString& reportId, bool utf8) {
  ByteString url = "mailto:" + address + "?subject=";
  ByteString subject = "uninstall " + product;
  url += utf8 ? Escape(subject, kMailUtf8Rule) : UrlEncode(subject);
  url += "&body=";
  url += Escape(reason, utf8 ? kMailUtf8Rule : kMailBodyRule);
  if (!reportId.IsEmpty()) {
    url += "%0d%0aReport%20id:%20";  // a line of its own, escaped as the body is
    url += reportId;
  }
  return url;
}
