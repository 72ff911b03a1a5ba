// UTF-8 to UTF-16 and back, against the definitions of both encodings written out here.
#include "app/text_code.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/byte_strings.h"

namespace {

// The code point as UTF-8 and as UTF-16, by the definitions.
std::string Utf8Model(uint32_t c) {
  if (c < 0x80) return std::string(1, char(c));
  if (c < 0x800) return {char(0xC0 | c >> 6), char(0x80 | (c & 63))};
  if (c < 0x10000) return {char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 63)), char(0x80 | (c & 63))};
  return {char(0xF0 | c >> 18), char(0x80 | (c >> 12 & 63)), char(0x80 | (c >> 6 & 63)),
          char(0x80 | (c & 63))};
}

std::vector<uint16_t> Utf16Model(uint32_t c) {
  if (c < 0x10000) return {uint16_t(c)};
  return {uint16_t(0xD800 + ((c - 0x10000) >> 10)), uint16_t(0xDC00 + ((c - 0x10000) & 1023))};
}

std::vector<uint16_t> Units(const ByteString& utf16) {
  std::vector<uint16_t> units(utf16.Length() / 2);
  memcpy(units.data(), utf16.Data(), units.size() * 2);
  return units;
}

TEST(TextCode, EveryCodePointBothWays) {
  for (uint32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c < 0xE000) continue;
    std::string utf8 = "a" + Utf8Model(c) + "z";
    std::vector<uint16_t> utf16 = Utf16Model(c);
    utf16.insert(utf16.begin(), 'a');
    utf16.push_back('z');
    ByteString decoded;
    ASSERT_TRUE(Utf16OfUtf8(Bytes(utf8), decoded)) << std::hex << c;
    ASSERT_EQ(utf16, Units(decoded)) << std::hex << c;
    ASSERT_EQ(utf8, Str(Utf8OfUtf16(utf16.data(), int(utf16.size())))) << std::hex << c;
  }
}

TEST(TextCode, NotUtf8) {
  const struct {
    const char* why;
    std::string bytes;
  } cases[] = {
      {"a continuation byte alone", "a\x80"},
      {"a lead byte at the end", "a\xC3"},
      {"a three-byte form cut", "\xE3\x81"},
      {"a lead byte before ASCII", "\xC3z"},
      {"overlong two bytes", "\xC0\xAF"},
      {"overlong two bytes, C1", "\xC1\xBF"},
      {"overlong three bytes", "\xE0\x9F\xBF"},
      {"overlong four bytes", "\xF0\x8F\xBF\xBF"},
      {"a surrogate", "\xED\xA0\x80"},
      {"the last surrogate", "\xED\xBF\xBF"},
      {"past U+10FFFF", "\xF4\x90\x80\x80"},
      {"lead byte F5", "\xF5\x80\x80\x80"},
      {"lead byte FF", "\xFF"},
      {"Windows-1252 text",
       "Oberfl\xE4"
       "che"},
  };
  for (const auto& c : cases) {
    ByteString out;
    EXPECT_FALSE(Utf16OfUtf8(Bytes(c.bytes), out)) << c.why;
  }
  ByteString empty;
  EXPECT_TRUE(Utf16OfUtf8("", empty));
  EXPECT_EQ(0, empty.Length());
}

TEST(TextCode, UnpairedSurrogatesBecomeReplacementCharacters) {
  const uint16_t units[] = {0xDC00, 'a', 0xD800, 0xD800, 0xDC00, 0xD800};
  EXPECT_EQ(
      "\xEF\xBF\xBD"
      "a"
      "\xEF\xBF\xBD"
      "\xF0\x90\x80\x80"
      "\xEF\xBF\xBD",
      Str(Utf8OfUtf16(units, 6)));
}

}  // namespace
