// The `Url` setting: which addresses are taken, that a cut one is not, where the report's
// query goes, and the system stack's reply rule.
#include "app/report_address.h"

#include <gtest/gtest.h>

#include <string>

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
