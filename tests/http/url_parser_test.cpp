// URL splitting: the fields the HTTP client needs, with "@" and ":" honoured only before
// the path, so that a reason text in the query cannot redirect the report.
#include "http/url_parser.h"

#include <gtest/gtest.h>

#include <string>

#include "support/byte_strings.h"

namespace {

struct UrlCase {
  const char* why;
  const char* url;
  const char* host;
  int port;
  const char* path;
  const char* user;
  const char* password;
};

// Parses the case's URL into `parts` (the fields as the client presets them) and compares.
void ExpectParsed(const UrlCase& c, UrlParts parts) {
  ParseUrl(c.url, parts);
  EXPECT_EQ(c.host, Str(parts.Host)) << c.why;
  EXPECT_EQ(c.port, parts.Port) << c.why;
  EXPECT_EQ(c.path, Str(parts.Path)) << c.why;
  EXPECT_EQ(c.user, Str(parts.UserName)) << c.why;
  EXPECT_EQ(c.password, Str(parts.Password)) << c.why;
}

TEST(ParseUrl, SplitsHostPortPathAndUser) {
  const UrlCase cases[] = {
      {"report URL", "http://stats.example/stat/uninstall.php?prj=A&reason=B&os=C", "stats.example",
       80, "/stat/uninstall.php?prj=A&reason=B&os=C", "", ""},
      {"scheme in capitals", "HTTP://h/p", "h", 80, "/p", "", ""},
      {"scheme in mixed case", "hTtP://h/p", "h", 80, "/p", "", ""},
      {"no scheme", "h/p", "h", 80, "/p", "", ""},
      {"host only", "http://h", "h", 80, "/", "", ""},
      {"host and slash", "http://h/", "h", 80, "/", "", ""},
      {"everything", "http://u:pw@h:81/p", "h", 81, "/p", "u", "pw"},
      {"port without path", "http://h:8080", "h", 8080, "/", "", ""},
      {"user without password", "http://u@h/p", "h", 80, "/p", "u", ""},
      {"password keeps its part before a colon", "http://u:p:q@h/p", "h", 80, "/p", "u", "p"},
      {"query without path is part of the host", "http://h?x=1", "h?x=1", 80, "/", "", ""},
      {"letters as port", "http://h:abc/p", "h", 0, "/p", "", ""},
      {"port followed by letters", "http://h:81x/p", "h", 81, "/p", "", ""},
      {"empty port is no port", "http://h:/p", "h:", 80, "/p", "", ""},
      {"other scheme is not removed", "ftp://h/p", "ftp:", 80, "//h/p", "", ""},
      {"empty text", "", "", 80, "/", "", ""},
      {"empty authority: host from the path", "http:///x", "x", 80, "/x", "", ""},
      {"slashes only", "http:///", "/", 80, "/", "", ""},
  };
  for (const UrlCase& c : cases) ExpectParsed(c, {"preset", 80, "preset", "", ""});
}

// Before, the whole URL was searched for "@" and ":": an e-mail address in the reason sent
// the report to another host, and a ":" in the query became a port.
TEST(ParseUrl, AtSignAndColonAfterTheHostBelongToThePath) {
  const UrlCase cases[] = {
      {"at sign and colon in query", "http://h/p?x=a@b:c", "h", 80, "/p?x=a@b:c", "", ""},
      {"e-mail address in reason", "http://h/stat/u.php?reason=Other%3a+me@mail.example/x", "h", 80,
       "/stat/u.php?reason=Other%3a+me@mail.example/x", "", ""},
      {"colon in path", "http://h/a:b/c", "h", 80, "/a:b/c", "", ""},
      {"port and a colon in path", "http://h:81/a:99", "h", 81, "/a:99", "", ""},
      {"user and an at sign in path", "http://u:pw@h/a@b", "h", 80, "/a@b", "u", "pw"},
  };
  for (const UrlCase& c : cases) ExpectParsed(c, {"", 80, "", "", ""});
}

TEST(ParseUrl, WritesPortAndUserOnlyWhenGiven) {
  UrlParts parts = {"", 1234, "", "olduser", "oldpw"};
  ParseUrl("http://h/p", parts);
  EXPECT_EQ(1234, parts.Port);
  EXPECT_EQ("olduser", Str(parts.UserName));
  EXPECT_EQ("oldpw", Str(parts.Password));

  ParseUrl("http://u@h/p", parts);
  EXPECT_EQ("u", Str(parts.UserName));
  EXPECT_EQ("", Str(parts.Password)) << "user information without a colon clears it";
}

}  // namespace
