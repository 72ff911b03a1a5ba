// The report format: query encoding, the statistics URL and the fallback mail URL.
#include "app/report.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "support/byte_strings.h"

namespace {

const std::string kReportPrefix = "http://" EXITPOLL_STATS_HOST "/stat/uninstall.php?prj=";
const std::string kMailPrefix = "mailto:" EXITPOLL_FEEDBACK_EMAIL "?subject=";

TEST(UrlEncode, Examples) {
  const struct {
    const char* why;
    std::string text;
    const char* encoded;
  } cases[] = {
      {"space becomes plus", "Too expensive", "Too+expensive"},
      {"colon and slash", "Other: x/y", "Other%3a+x%2fy"},
      {"reserved characters", "a&b=c+d~", "a%26b%3dc%2bd%7e"},
      {"unreserved punctuation", "!$'()*-.@_", "!$'()*-.@_"},
      {"percent sign", "100%", "100%25"},
      {"ANSI byte", "\xE9", "%e9"},
      {"highest byte", "\xFF", "%ff"},
      {"control bytes", "\t\r\n\x7F", "%09%0d%0a%7f"},
      {"empty", "", ""},
      {"NUL ends the text", std::string("ab\0cd", 5), "ab"},
      {"NUL first", std::string("\0x", 2), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.encoded, Str(UrlEncode(Bytes(c.text)))) << c.why;
}

TEST(UrlEncode, EveryByteValue) {
  const std::string unreserved =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!$'()*-.@_";
  for (int b = 1; b < 256; ++b) {
    char c = static_cast<char>(b);
    std::string expected;
    if (unreserved.find(c) != std::string::npos) {
      expected = std::string(1, c);
    } else if (c == ' ') {
      expected = "+";
    } else {
      char hex[4];
      snprintf(hex, sizeof(hex), "%%%.2x", b);
      expected = hex;
    }
    EXPECT_EQ(expected, Str(UrlEncode(Bytes(std::string(1, c))))) << "byte " << b;
  }
}

TEST(ReportUrl, KeysInOrderWithEncodedValues) {
  const struct {
    const char* why;
    const char* product;
    const char* reason;
    const char* version;
    std::string query;
  } cases[] = {
      {"example", "Net Tool", "Too expensive", "Windows XP",
       "Net+Tool&reason=Too+expensive&os=Windows+XP"},
      {"empty values keep their keys", "", "", "", "&reason=&os="},
      {"Other with empty free text", "P", "Other: ", "Unknown", "P&reason=Other%3a+&os=Unknown"},
      {"at sign passes unencoded", "P", "Other: me@mail.example", "Windows 95 OSR 2",
       "P&reason=Other%3a+me@mail.example&os=Windows+95+OSR+2"},
      {"reason cannot add keys", "P", "x&os=fake", "Windows 98SE",
       "P&reason=x%26os%3dfake&os=Windows+98SE"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(kReportPrefix + c.query, Str(ReportUrl(c.product, c.reason, c.version))) << c.why;
}

// The opt-in keys follow "os" in a fixed order, each only when set; a report without them
// is the designed one (above).
TEST(ReportUrl, OptInKeysAfterOs) {
  const struct {
    const char* why;
    const char* productVersion;
    const char* id;
    std::string tail;
  } cases[] = {
      {"neither", "", "", ""},
      {"version", "2.0.1-beta+7", "", "&ver=2.0.1-beta%2b7"},
      {"id", "", "0123456789abcdef", "&id=0123456789abcdef"},
      {"both, version first", "1.0", "fedcba9876543210", "&ver=1.0&id=fedcba9876543210"},
  };
  for (const auto& c : cases)
    EXPECT_EQ("http://h/stat/uninstall.php?prj=P&reason=R&os=Windows+7" + c.tail,
              Str(ReportUrl("P", "R", "Windows 7", "h", c.productVersion, c.id)))
        << c.why;
  const struct {
    const char* why;
    int number;
    bool utf8;
    std::string tail;
  } more[] = {
      {"reason number", 7, false, "&ver=1&id=ab&n=7"},
      {"charset", 0, true, "&ver=1&id=ab&cs=utf-8"},
      {"all four, in this order", 1, true, "&ver=1&id=ab&n=1&cs=utf-8"},
  };
  for (const auto& c : more)
    EXPECT_EQ("http://h/stat/uninstall.php?prj=P&reason=R&os=Windows+7" + c.tail,
              Str(ReportUrl("P", "R", "Windows 7", "h", "1", "ab", c.number, c.utf8)))
        << c.why;
}

TEST(MailUrl, SubjectAndBody) {
  const struct {
    const char* why;
    const char* product;
    std::string reason;
    std::string rest;
  } cases[] = {
      {"example", "Net Tool", "Other: too slow, sorry",
       "uninstall+Net+Tool&body=Other:%20too%20slow,%20sorry"},
      {"empty product", "", "Unstable", "uninstall+&body=Unstable"},
      {"subject is encoded", "A&B", "x", "uninstall+A%26B&body=x"},
      {"other characters as typed", "P", "Other: a/b=c+d@e~!",
       "uninstall+P&body=Other:%20a/b=c+d@e~!"},
      {"ANSI bytes as typed", "P", "caf\xE9", "uninstall+P&body=caf\xE9"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(kMailPrefix + c.rest, Str(MailUrl(c.product, Bytes(c.reason)))) << c.why;
  EXPECT_EQ(kMailPrefix + "uninstall+P&body=Other:%20a%26b%0d%0aReport%20id:%200123456789abcdef",
            Str(MailUrl("P", "Other: a&b", EXITPOLL_FEEDBACK_EMAIL, "0123456789abcdef")))
      << "the report id as the body's last line";
}

// Before, the free text went into the body as typed apart from its spaces: "&" began a new
// header field, "#" ended the URL, "%41" was decoded and a double quote broke the quoted
// "%1" of the mail program's command line.
TEST(MailUrl, FreeTextCannotBreakTheUrl) {
  const struct {
    const char* why;
    std::string reason;
    const char* body;
  } cases[] = {
      {"ampersand", "Other: a&b", "Other:%20a%26b"},
      {"new header field", "x&to=someone@else", "x%26to=someone@else"},
      {"number sign", "a#b", "a%23b"},
      {"question mark", "why?", "why%3f"},
      {"percent sign", "%41", "%2541"},
      {"double quote", "say \"no\"", "say%20%22no%22"},
      {"control bytes", "a\r\nb\tc\x7F", "a%0d%0ab%09c%7f"},
      {"NUL byte", std::string("a\0b", 3), "a%00b"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(kMailPrefix + "uninstall+P&body=" + c.body, Str(MailUrl("P", Bytes(c.reason))))
        << c.why;
}

// In UTF-8 the subject and the body follow RFC 6068: only its unescaped characters of a
// header field pass, "+" (read as a space by some mail programs) and every byte beyond
// ASCII are escaped, and a space is "%20".
TEST(MailUrl, Utf8SubjectAndBodyAsRfc6068) {
  EXPECT_EQ(kMailPrefix + "uninstall%20My%20Tool&body=Other:%20%d0%bc%20a%26b%2bc%3d",
            Str(MailUrl("My Tool", "Other: \xD0\xBC a&b+c=", EXITPOLL_FEEDBACK_EMAIL, "", true)));
  for (int b = 0; b < 256; ++b) {
    char c = static_cast<char>(b);
    bool passes = isalnum(b) || (b > 0 && strchr("-._~!$'()*,;:@", b));
    char hex[4];
    snprintf(hex, sizeof(hex), "%%%.2x", b);
    std::string expected = passes ? std::string(1, c) : hex;
    EXPECT_EQ(kMailPrefix + "uninstall%20" + expected + "&body=" + expected,
              Str(MailUrl(Bytes(std::string(1, c)), Bytes(std::string(1, c)),
                          EXITPOLL_FEEDBACK_EMAIL, "", true)))
        << "byte " << b;
  }
}

TEST(MailUrl, EveryByteValueOfTheBody) {
  const std::string escaped = " %&#?\"\x7F";
  for (int b = 0; b < 256; ++b) {
    char c = static_cast<char>(b);
    std::string expected(1, c);
    if (b < 0x20 || escaped.find(c) != std::string::npos) {
      char hex[4];
      snprintf(hex, sizeof(hex), "%%%.2x", b);
      expected = hex;
    }
    EXPECT_EQ(kMailPrefix + "uninstall+P&body=" + expected,
              Str(MailUrl("P", Bytes(std::string(1, c)))))
        << "byte " << b;
  }
}

}  // namespace
