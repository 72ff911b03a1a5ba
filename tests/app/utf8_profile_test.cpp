// The program's own reader of settings files saved as UTF-8: what it finds, and the
// sections it passes over because a text cannot be shown.
#include "app/utf8_profile.h"

#include <gtest/gtest.h>

#include <string>

#include "app/text_code.h"
#include "support/byte_strings.h"

namespace {

// A stand-in for the ANSI code page: Latin-1, which shows U+0000 to U+00FF and nothing else.
bool Latin1(const ByteString& utf8, ByteString& ansi) {
  ByteString utf16;
  if (!Utf16OfUtf8(utf8, utf16)) return false;
  std::string bytes;
  for (int i = 0; i < utf16.Length(); i += 2) {
    uint16_t unit;
    memcpy(&unit, utf16.Data() + i, 2);
    if (unit > 0xFF) return false;
    bytes += char(unit);
  }
  ansi = Bytes(bytes);
  return true;
}

std::string Read(const std::string& file, const char* section, const char* key, int size = 257) {
  Utf8Profile profile = {Bytes(file), &Latin1};
  std::string buffer(size, '#');
  int length = ReadUtf8Profile(&profile, section, key, &buffer[0], size);
  EXPECT_EQ(0, buffer[length]) << "terminated";
  return buffer.substr(0, length);
}

const std::string kMark = "\xEF\xBB\xBF";

TEST(ReadUtf8Profile, FindsConvertsAndPassesOver) {
  const struct {
    const char* why;
    std::string file;
    const char* section;
    const char* key;
    std::string value;
  } cases[] = {
      {"converted",
       kMark + "[texts]\r\nReason4=Oberfl\xC3\xA4"
               "che\r\n",
       "texts", "Reason4",
       "Oberfl\xE4"
       "che"},
      {"names without regard to case, spaces dropped", kMark + " [ Texts.DE ] \n  button  = Weg \n",
       "texts.de", "Button", "Weg"},
      {"LF, CR LF and CR line ends", kMark + "[a]\rx=1\r\n[b]\ny=2\rz=3", "b", "z", "3"},
      {"the first value counts", kMark + "[a]\nx=1\nx=2\n", "a", "x", "1"},
      {"a later section of the same name", kMark + "[a]\n[b]\nx=1\n[a]\nx=2\n", "a", "x", "2"},
      {"another section's key", kMark + "[a]\nx=1\n[b]\n", "b", "x", ""},
      {"a comment", kMark + "[a]\n;x=1\n", "a", "x", ""},
      {"'=' in the value", kMark + "[a]\nx = a=b \n", "a", "x", "a=b"},
      {"a key before any section", kMark + "x=1\n[a]\n", "a", "x", ""},
      {"a section header without its bracket", kMark + "[a\nx=1\n", "a", "x", ""},
      {"a longer section name", kMark + "[ab]\nx=1\n", "a", "x", ""},
      {"no mark: the same rules", "[a]\nx=1\n", "a", "x", "1"},
      {"a text the code page lacks passes over the whole section",
       kMark + "[texts.ja]\nCaption=Uninstall\nTitle=\xE8\xB3\xAA\xE5\x95\x8F\n", "texts.ja",
       "Caption", ""},
      {"so does a text that is not UTF-8", kMark + "[a]\nx=1\ny=\xE4\n", "a", "x", ""},
      {"other sections are read", kMark + "[a]\nx=1\n[b]\ny=\xE8\xB3\xAA\n", "a", "x", "1"},
      {"a comment is not a text", kMark + "[a]\n; \xE8\xB3\xAA\nx=1\n", "a", "x", "1"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value, Read(c.file, c.section, c.key)) << c.why;
  EXPECT_EQ("abc", Read(kMark + "[a]\nx=abcdef\n", "a", "x", 4)) << "cut to the buffer";
}

TEST(HasUtf8Mark, OnlyTheWholeMark) {
  EXPECT_TRUE(HasUtf8Mark(Bytes(kMark)));
  EXPECT_FALSE(HasUtf8Mark(Bytes("\xEF\xBB")));
  EXPECT_FALSE(HasUtf8Mark(Bytes(" " + kMark)));
}

}  // namespace
