// The `Url` setting: which addresses are taken, that a cut one is not, where the report's
// query goes, the own client's target as parts, and the system stack's reply rule.
#include "app/report_address.h"

#include <gtest/gtest.h>

#include <string>

#include "app/report.h"

namespace {

std::string Str(const ByteString& s) {
  return std::string(s.Data(), s.Length());
}

int ReadOne(void* value, const char* section, const char* key, char* buffer, int size) {
  if (std::string(section) + "/" + key != "report/Url") return 0;
  std::string raw = static_cast<const char*>(value);
  raw = raw.substr(0, size - 1);  // as the profile functions cut
  raw.copy(buffer, raw.size());
  buffer[raw.size()] = 0;
  return int(raw.size());
}

std::string Read(const std::string& raw) {
  return Str(ReadReportAddress(&ReadOne, const_cast<char*>(raw.c_str()), "Url"));
}

TEST(IsReportAddress, SchemeHostPortPathAndQuery) {
  const std::string longest = "https://h/" + std::string(255 - 10, 'p');
  const struct {
    std::string value;
    bool taken;
  } cases[] = {
      {"https://stats.example.com/stat/uninstall.php", true},
      {"http://example.com:8080/feedback/exit.php?k=v", true},
      {"http://127.0.0.1:65535/", true},
      {"https://h/a-b._~!$&'()*+,;=:@/?%41", true},
      {longest, true},
      {longest + "p", false},
      {"https://h", false},
      {"https://h?x=1", false},
      {"https:///x", false},
      {"https://h:0/x", false},
      {"https://h:65536/x", false},
      {"https://user@host/", false},
      {"https://user:pw@host/", false},
      {"https://[::1]/x", false},
      {"HTTPS://h/x", false},
      {"ftp://h/x", false},
      {"javascript:alert(1)//h/x", false},
      {"httpx://h/x", false},
      {"//h/x", false},
      {"https://h/a b", false},
      {"https://h/a#frag", false},
      {"https://h/a\"b", false},
      {"https://h/a\\b", false},
      {"https://h/a<b>", false},
      {"https://h/\xE4", false},
      {"https://h/a\tb", false},
      {"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.taken, IsReportAddress(c.value.c_str())) << c.value;
    EXPECT_EQ(c.taken ? c.value : "", Read(c.value)) << c.value;
  }
}

TEST(ReadReportAddress, ALongerValueIsIgnoredNotCut) {
  // 300 bytes whose first 255 would pass the rule by themselves.
  EXPECT_EQ("", Read("https://h/" + std::string(290, 'p')));
  EXPECT_EQ("", Read("https://h/" + std::string(246, 'p')));
  EXPECT_EQ("", Str(ReadReportAddress(nullptr, nullptr, "Url")));
  Settings settings;
  ResolveSettings(settings, &ReadOne, const_cast<char*>("http://h:81/x"));
  EXPECT_EQ("http://h:81/x", Str(settings.Url));
  EXPECT_EQ(EXITPOLL_STATS_HOST, Str(settings.Host)) << "Host keeps its own value";
  ResolveSettings(settings, nullptr, nullptr);
  EXPECT_EQ("", Str(settings.Url)) << "no file: the built-in delivery";
}

TEST(AddressedReportUrl, TheReportQueryFollowsTheAddress) {
  const ByteString report = "http://built.in/stat/uninstall.php?prj=A&reason=B%3f&os=C";
  const struct {
    const char* address;
    const char* url;
  } cases[] = {
      {"https://h/s.php", "https://h/s.php?prj=A&reason=B%3f&os=C"},
      {"https://h:8443/s.php?k=v", "https://h:8443/s.php?k=v&prj=A&reason=B%3f&os=C"},
      {"http://h/?", "http://h/?&prj=A&reason=B%3f&os=C"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.url, Str(AddressedReportUrl(c.address, report)));
  EXPECT_TRUE(IsSecureAddress("https://h/x"));
  EXPECT_FALSE(IsSecureAddress("http://h/x"));
}

TEST(ReportTarget, GivesTheOwnClientWhatTheWholeUrlParsedWould) {
  // The model: the report's whole URL, glued and parsed as the client once took it. The
  // reason's "@", ":" and "/" must stay in the query.
  const char kReason[] = "Other: me@x.org:8/?";
  const ByteString query = ReportQuery("P d", kReason, "Windows 7", "1", "ab", 3, false);
  const struct {
    const char* host;
    const char* address;
  } cases[] = {
      {"stats.example", ""},                // the built-in path on port 80
      {"127.0.0.1:8080", ""},               // a named port
      {"h", "http://u.example:81/x"},       // the address replaces host and path
      {"h", "http://u.example/s.php?k=v"},  // with a query of its own
      {"h:82", "http://u.example/?"},
  };
  for (const auto& c : cases) {
    const ByteString address = c.address;
    const ByteString report = ReportUrl("P d", kReason, "Windows 7", c.host, "1", "ab", 3);
    UrlParts model;
    model.Port = kDefaultHttpPort;
    ParseUrl(address.IsEmpty() ? report : AddressedReportUrl(address, report), model);
    UrlParts target = ReportTarget(c.host, address, query);
    EXPECT_EQ(Str(model.Host), Str(target.Host)) << c.host << " " << c.address;
    EXPECT_EQ(model.Port, target.Port) << c.host << " " << c.address;
    EXPECT_EQ(Str(model.Path), Str(target.Path)) << c.host << " " << c.address;
    EXPECT_EQ("", Str(target.UserName)) << c.host << " " << c.address;
  }
}

TEST(MayFollowRedirect, UpToHttpsNeverDown) {
  const struct {
    const char* from;
    const char* to;
    bool followed;
  } cases[] = {
      {"http://h/a", "https://h/a", true},
      {"https://h/a", "https://w.h/a", true},
      {"http://h/a", "http://w.h/a", true},
      {"https://h/a", "http://h/a", false},
      {"http://h/a", "/a", false},
      {"https://h/a", "//h/a", false},
      {"http://h/a", "ftp://h/a", false},
      {"http://h/a", "HTTP://h/a", false},
      {"http://h/a", "", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.followed, MayFollowRedirect(c.from, c.to)) << c.from << " -> " << c.to;
}

// Every Location keeps the Url rule; a path alone stays on the current server.
TEST(RedirectTarget, TheUrlRuleForEveryLocation) {
  const std::string longPath = "https://h/" + std::string(300, 'p');
  const struct {
    const char* from;
    std::string location;
    int maxLength;
    const char* target;  // "" when not followed
  } cases[] = {
      {"http://h:8080/a?x=1", "https://h/b?y=2", 255, "https://h/b?y=2"},
      {"https://h:8443/a/b?x", "/stat/uninstall.php?q", 255, "https://h:8443/stat/uninstall.php?q"},
      {"http://h/a", "/", 255, "http://h/"},
      {"https://h/a", "//other/a", 255, ""},  // no host without a scheme
      {"https://h/a", "https://user@h/a", 255, ""},
      {"https://h/a", "https://user:pw@h/a", 255, ""},
      {"https://h/a", "https://h/a b", 255, ""},
      {"https://h/a", "https://h/\xE4", 255, ""},
      {"https://h/a", "https://h/a#frag", 255, ""},
      {"https://h/a", "https://h", 255, ""},  // no path
      {"https://h/a", "", 255, ""},
      {"https://h/a", "a/b", 255, ""},  // relative to the folder: not taken
      {"https://h/a", "/a b", 255, ""},
      {"https://h:8443/a", "/b", 12, ""},  // resolved, then too long
      {"https://h/a", longPath, 310, longPath.c_str()},
      {"https://h/a", longPath, 309, ""},
      {"https://h/a", "http://h/a", 255, ""},  // never down to HTTP
      {"http://h/a", "/b", 255, "http://h/b"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.target, Str(RedirectTarget(c.from, c.location.c_str(), c.maxLength)))
        << c.from << " -> " << c.location.substr(0, 40) << " within " << c.maxLength;
}

TEST(LastLineIsOk, OnlyAnExactLastLine) {
  const struct {
    std::string body;
    bool ok;
  } cases[] = {
      {"OK", true},      {"OK\n", true}, {"OK\r\n", true},    {"stored\nOK\n", true},
      {"x\r\nOK", true}, {"", false},    {"ok\n", false},     {"OK \n", false},
      {" OK", false},    {"XOK", false}, {"OK\n\n", false},   {"OK\nmore", false},
      {"K", false},      {"\n", false},  {"OK\r\r\n", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.ok, LastLineIsOk(c.body.data(), int(c.body.size()))) << c.body;
}

}  // namespace
