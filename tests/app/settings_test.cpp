// The settings a maker may change without building: which values from the file are taken,
// how they are cut and trimmed, the product placeholder, and where the file is looked for.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace {

std::string Str(const ByteString& s) {
  return std::string(s.Data(), s.Length());
}

ByteString Bytes(const std::string& s) {
  return ByteString(s.data(), int(s.size()));
}

// A settings file as a map from "section/key" to the raw value, read like the profile
// functions read one: at most size - 1 bytes and a zero.
using FakeFile = std::map<std::string, std::string>;

int ReadFake(void* context, const char* section, const char* key, char* buffer, int size) {
  const FakeFile& file = *static_cast<const FakeFile*>(context);
  auto found = file.find(std::string(section) + "/" + key);
  if (found == file.end()) return 0;
  std::string value = found->second.substr(0, size - 1);
  memcpy(buffer, value.c_str(), value.size() + 1);
  return int(value.size());
}

Settings Resolve(const FakeFile& file) {
  Settings settings;
  ResolveSettings(settings, &ReadFake, const_cast<FakeFile*>(&file));
  return settings;
}

// Every field with its file key, in one list for comparisons.
std::map<std::string, std::string> Fields(const Settings& s) {
  std::map<std::string, std::string> fields = {
      {"report/Host", Str(s.Host)},        {"report/Email", Str(s.Email)},
      {"texts/Caption", Str(s.Caption)},   {"texts/Title", Str(s.Title)},
      {"texts/Question", Str(s.Question)}, {"texts/Other", Str(s.Reasons[6])},
      {"texts/Button", Str(s.Button)},     {"texts/Skip", Str(s.Skip)},
      {"texts/Notice", Str(s.Notice)},     {"report/Page", Str(s.Page)},
  };
  for (int i = 0; i < 6; ++i) fields["texts/Reason" + std::to_string(i + 1)] = Str(s.Reasons[i]);
  return fields;
}

const std::map<std::string, std::string> kBuiltIn = {
    {"report/Host", EXITPOLL_STATS_HOST},
    {"report/Email", EXITPOLL_FEEDBACK_EMAIL},
    {"texts/Caption", "Uninstall"},
    {"texts/Title", "Question:"},
    {"texts/Question", "Why have you made up your mind to remove %PRODUCT%?"},
    {"texts/Reason1", "Unstable"},
    {"texts/Reason2", "Lacks some functions"},
    {"texts/Reason3", "Resource hungry"},
    {"texts/Reason4", "Unfriendly interface"},
    {"texts/Reason5", "Too expensive"},
    {"texts/Reason6", "Upgrade version"},
    {"texts/Other", "Other"},
    {"texts/Button", "Uninstall"},
    {"texts/Skip", ""},
    {"texts/Notice", ""},
    {"report/Page", ""},
};

TEST(ResolveSettings, EachKeyReplacesItsOwnFieldOnly) {
  Settings none;
  ResolveSettings(none, nullptr, nullptr);
  EXPECT_EQ(kBuiltIn, Fields(none)) << "no file";
  EXPECT_EQ(kBuiltIn, Fields(Resolve({}))) << "empty file";
  for (const auto& [key, builtIn] : kBuiltIn) {
    std::string value = key == "report/Host"    ? "stats.example.org:81"
                        : key == "report/Email" ? "x.y+z@example.org"
                        : key == "report/Page"  ? "https://example.org/stat/thanks.php"
                                                : "\xC4nderung \xE9";
    auto expected = kBuiltIn;
    expected[key] = value;
    EXPECT_EQ(expected, Fields(Resolve({{key, value}}))) << key;
    EXPECT_EQ(kBuiltIn, Fields(Resolve({{key, " \t "}}))) << key << " blank counts as missing";
  }
  EXPECT_EQ(kBuiltIn, Fields(Resolve({{"texts/Host", "a.b"},
                                      {"report/Caption", "x"},
                                      {"texts/Reason7", "x"},
                                      {"texts/Reason0", "x"}})))
      << "keys in the wrong section or out of range";
  EXPECT_EQ(
      kBuiltIn,
      Fields(Resolve({{"report/Page", "mailto:a@b.c"}, {"texts/Page", "https://example.org/x"}})))
      << "a Page by another rule than Url's, or in the wrong section";
}

TEST(ResolveSettings, ValuesAreCutThenTrimmed) {
  const struct {
    const char* why;
    std::string raw;
    std::string taken;
  } cases[] = {
      {"spaces and tabs around", "  \tHallo Welt \t", "Hallo Welt"},
      {"control bytes around", "\x01x\x1f", "x"},
      {"inner spaces stay", "a  b", "a  b"},
      {"exactly 255 bytes", std::string(255, 'a'), std::string(255, 'a')},
      {"cut to 255 bytes", std::string(300, 'b'), std::string(255, 'b')},
      {"cut first, trimmed after", std::string(254, 'c') + "   d", std::string(254, 'c')},
      {"a 1 MB value", std::string(1 << 20, 'e'), std::string(255, 'e')},
      {"bytes above 127 stay", "\xE4\xF6\xFC\xDF", "\xE4\xF6\xFC\xDF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.taken, Str(SettingValue(c.raw.c_str()))) << c.why;
    EXPECT_EQ(c.taken, Str(Resolve({{"texts/Caption", c.raw}}).Caption)) << c.why;
  }
}

TEST(ResolveSettings, AHostOrEmailLongerThanTheCutIsIgnored) {
  // Cut to 255 bytes, each overlong value here would still pass its rule as another value.
  const struct {
    const char* why;
    std::string key, raw;
    bool taken;
  } cases[] = {
      {"host of 255 bytes", "report/Host", std::string(249, 'h') + ":18471", true},
      {"host cut to another port", "report/Host", std::string(252, 'h') + ":18471", false},
      {"address of 255 bytes", "report/Email", std::string(243, 'a') + "@example.org", true},
      {"address cut to another domain", "report/Email", std::string(250, 'a') + "@example.org",
       false},
  };
  for (const auto& c : cases) {
    auto expected = kBuiltIn;
    if (c.taken) expected[c.key] = c.raw;
    EXPECT_EQ(expected, Fields(Resolve({{c.key, c.raw}}))) << c.why;
  }
}

TEST(IsMailAddress, OnlyPlainAddresses) {
  const struct {
    const char* value;
    bool accepted;
  } cases[] = {
      {"feedback@example.com", true},
      {"first.last+tag_1-x@mail.example.org", true},
      {"a@b", true},
      {"a@b.com?cc=c@d.com", false},
      {"a@b.com&body=x", false},
      {"a b@c.com", false},
      {"\"a\"@b.com", false},
      {"a@b@c.com", false},
      {"example.com", false},
      {"@example.com", false},
      {"a@", false},
      {"a%40b@c.com", false},
      {"a@b.com\t", false},
      {"j\xF6rg@b.com", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.accepted, IsMailAddress(c.value)) << c.value;

  // Any one byte put into a good address keeps it good exactly when it is a letter, a
  // digit or one of . _ + -.
  const std::string allowed = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._+-";
  for (int b = 1; b < 256; ++b) {
    std::string address = "ab" + std::string(1, char(b)) + "c@example.com";
    EXPECT_EQ(allowed.find(char(b)) != std::string::npos, IsMailAddress(Bytes(address)))
        << "byte " << b;
  }
}

TEST(IsHostName, NameOrNameAndPort) {
  const struct {
    const char* value;
    bool accepted;
  } cases[] = {
      {"stats.example.com", true},
      {"127.0.0.1:8081", true},
      {"my-host_1:1", true},
      {"h:65535", true},
      {"h:65536", false},
      {"h:0", false},
      {"h:", false},
      {"h:123456", false},
      {"h:80a", false},
      {":80", false},
      {"h:80:81", false},
      {"evil.example/x?", false},
      {"user@host", false},
      {"host#frag", false},
      {"host name", false},
      {"[::1]:80", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.accepted, IsHostName(c.value)) << c.value;
  EXPECT_EQ(kBuiltIn.at("report/Host"), Str(Resolve({{"report/Host", "a.b/x"}}).Host));
  EXPECT_EQ(kBuiltIn.at("report/Email"),
            Str(Resolve({{"report/Email", "a@b.com?cc=c@d.com"}}).Email));
}

// The report's opt-in keys: each is off unless its value is exactly what turns it on, and
// the version must be one the collector takes as it is.
TEST(ResolveSettings, ReportKeys) {
  const struct {
    const char* why;
    FakeFile file;
    bool named;
    bool makeId;
    std::string version;
  } cases[] = {
      {"no keys: the designed report", {}, false, false, ""},
      {"all three",
       {{"report/Windows", "named"},
        {"report/ReportId", "yes"},
        {"report/Version", " 2.0.1-beta+7_x "}},
       true,
       true,
       "2.0.1-beta+7_x"},
      {"words in lower case only",
       {{"report/Windows", "Named"}, {"report/ReportId", "YES"}},
       false,
       false,
       ""},
      {"other words",
       {{"report/Windows", "name"}, {"report/ReportId", "yes please"}},
       false,
       false,
       ""},
      {"other words, longer",
       {{"report/Windows", "namedx"}, {"report/ReportId", "1"}},
       false,
       false,
       ""},
      {"wrong section", {{"texts/Windows", "named"}, {"texts/Version", "1"}}, false, false, ""},
      {"version of 32 bytes",
       {{"report/Version", std::string(32, '9')}},
       false,
       false,
       std::string(32, '9')},
      {"version of 33 bytes", {{"report/Version", std::string(33, '9')}}, false, false, ""},
      {"version with a space", {{"report/Version", "2.0 beta"}}, false, false, ""},
      {"version with a query", {{"report/Version", "2&id=1"}}, false, false, ""},
      {"version in ANSI", {{"report/Version", "2.0\xE9"}}, false, false, ""},
  };
  for (const auto& c : cases) {
    Settings s = Resolve(c.file);
    EXPECT_EQ(c.named, s.Keys.NamedWindows) << c.why;
    EXPECT_EQ(c.makeId, s.Keys.MakeId) << c.why;
    EXPECT_EQ(c.version, Str(s.Keys.Version)) << c.why;
    EXPECT_EQ(kBuiltIn, Fields(s)) << c.why;
  }
  Settings none;
  ResolveSettings(none, nullptr, nullptr);
  EXPECT_FALSE(none.Keys.NamedWindows || none.Keys.MakeId || !none.Keys.Version.IsEmpty());

  const std::string allowed = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789.-_+";
  for (int b = 1; b < 256; ++b)
    EXPECT_EQ(allowed.find(char(b)) != std::string::npos,
              IsProductVersion(Bytes("1" + std::string(1, char(b)) + "0")))
        << "byte " << b;
}

TEST(ResolveSettings, CharsetAndReasonNumber) {
  const struct {
    const char* why;
    FakeFile file;
    bool utf8;
    bool number;
  } cases[] = {
      {"neither: the designed report", {}, false, false},
      {"both", {{"report/Charset", " utf-8 "}, {"report/ReasonNumber", "yes"}}, true, true},
      {"in lower case only, as every word", {{"report/Charset", "UTF-8"}}, false, false},
      {"other charsets", {{"report/Charset", "utf8"}, {"report/ReasonNumber", "no"}}, false, false},
      {"another code page", {{"report/Charset", "windows-1251"}}, false, false},
      {"wrong section", {{"texts/Charset", "utf-8"}, {"texts/ReasonNumber", "yes"}}, false, false},
  };
  for (const auto& c : cases) {
    Settings s = Resolve(c.file);
    EXPECT_EQ(c.utf8, s.Keys.Utf8) << c.why;
    EXPECT_EQ(c.number, s.Keys.ReasonNumber) << c.why;
  }
  Settings none;
  ResolveSettings(none, nullptr, nullptr, 0x0419);
  EXPECT_FALSE(none.Keys.Utf8 || none.Keys.ReasonNumber);
}

// Key by key: the language with its region, the language alone, [texts], the built-in text.
TEST(ResolveSettings, TextsInTheUsersLanguage) {
  const FakeFile file = {
      {"texts.pt-BR/Caption", "Desinstalar"},
      {"texts.pt/Caption", "pt"},
      {"texts.pt/Title", "Pergunta:"},
      {"texts/Title", "Q"},
      {"texts/Button", "Remove"},
      {"texts.pt-BR/Reason1", " "},
      {"texts.pt/Reason1", "Inst\xE1vel"},
      {"report.pt/Host", "elsewhere"},
      {"texts.ru/Caption", "\xD3\xE4\xE0\xEB\xE8\xF2\xFC"},
  };
  const struct {
    const char* why;
    unsigned language;
    std::map<std::string, std::string> changed;
  } cases[] = {
      {"Brazil",
       0x0416,
       {{"texts/Caption", "Desinstalar"},
        {"texts/Title", "Pergunta:"},
        {"texts/Button", "Remove"},
        {"texts/Reason1", "Inst\xE1vel"}}},
      {"Portugal: the language alone",
       0x0816,
       {{"texts/Caption", "pt"},
        {"texts/Title", "Pergunta:"},
        {"texts/Button", "Remove"},
        {"texts/Reason1", "Inst\xE1vel"}}},
      {"Russian",
       0x0419,
       {{"texts/Caption", "\xD3\xE4\xE0\xEB\xE8\xF2\xFC"},
        {"texts/Title", "Q"},
        {"texts/Button", "Remove"}}},
      {"a language without a section", 0x0411, {{"texts/Title", "Q"}, {"texts/Button", "Remove"}}},
      {"no language", 0, {{"texts/Title", "Q"}, {"texts/Button", "Remove"}}},
  };
  for (const auto& c : cases) {
    Settings s;
    ResolveSettings(s, &ReadFake, const_cast<FakeFile*>(&file), c.language);
    auto expected = kBuiltIn;
    for (const auto& [key, value] : c.changed) expected[key] = value;
    EXPECT_EQ(expected, Fields(s)) << c.why;
  }
}

TEST(ResolveSettings, DpiAwareOnlyByItsWord) {
  const struct {
    FakeFile file;
    bool aware;
  } cases[] = {
      {{}, false},
      {{{"window/Dpi", "aware"}}, true},
      {{{"window/Dpi", " aware "}}, true},
      {{{"window/Dpi", "Aware"}}, false},
      {{{"window/Dpi", "yes"}}, false},
      {{{"window/Dpi", "unaware"}}, false},
      {{{"texts/Dpi", "aware"}}, false},
  };
  for (const auto& c : cases) {
    Settings s = Resolve(c.file);
    EXPECT_EQ(c.aware, s.DpiAware) << (c.file.empty() ? "" : c.file.begin()->second);
    EXPECT_EQ(kBuiltIn, Fields(s));
  }
}

TEST(WithProduct, ReplacesEveryPlaceholder) {
  const struct {
    const char* why;
    const char* text;
    const char* product;
    const char* result;
  } cases[] = {
      {"built-in question", "Why have you made up your mind to remove %PRODUCT%?", "My Tool",
       "Why have you made up your mind to remove My Tool?"},
      {"empty product", "Remove %PRODUCT%?", "", "Remove ?"},
      {"at both ends, twice", "%PRODUCT% or %PRODUCT%", "X", "X or X"},
      {"no placeholder", "Why?", "X", "Why?"},
      {"the product's own placeholder stays", "[%PRODUCT%]", "%PRODUCT%", "[%PRODUCT%]"},
      {"half a placeholder", "%PRODUCT %PRODUC", "X", "%PRODUCT %PRODUC"},
      {"overlapping percent signs", "%%PRODUCT%%", "X", "%X%"},
      {"lower case is text", "%product%", "X", "%product%"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, Str(WithProduct(c.text, c.product))) << c.why;
}

TEST(SettingsPathOf, SameFolderAndBaseName) {
  const struct {
    const char* exe;
    const char* ini;
  } cases[] = {
      {"C:\\Program Files\\Tool\\exitpoll.exe", "C:\\Program Files\\Tool\\exitpoll.ini"},
      {"C:\\Tool\\survey.EXE", "C:\\Tool\\survey.ini"},
      {"C:\\Tool\\my.survey.exe", "C:\\Tool\\my.survey.ini"},
      {"C:\\v1.2\\exitpoll", "C:\\v1.2\\exitpoll.ini"},
      {"Z:/tmp/x.exe", "Z:/tmp/x.ini"},
      {"C:exitpoll.exe", "C:exitpoll.ini"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.ini, Str(SettingsPathOf(c.exe))) << c.exe;
}

}  // namespace
