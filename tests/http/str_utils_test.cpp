// ASCII upper-casing leaves everything but a to z alone.
#include "http/str_utils.h"

#include <gtest/gtest.h>

#include <string>

#include "support/byte_strings.h"

namespace {

TEST(UpperCase, ChangesOnlyAsciiLetters) {
  const struct {
    const char* why;
    std::string text;
    std::string upper;
  } cases[] = {
      {"scheme", "http://", "HTTP://"},
      {"mixed case", "hTtP://x", "HTTP://X"},
      {"digits and punctuation stay", "a1-_~[`{z", "A1-_~[`{Z"},
      {"accented bytes stay", "\xE9t\xE9", "\xE9T\xE9"},
      {"empty", "", ""},
      {"NUL kept, length kept", std::string("a\0b", 3), std::string("A\0B", 3)},
  };
  for (const auto& c : cases) {
    ByteString result = UpperCase(Bytes(c.text));
    EXPECT_EQ(c.upper, Str(result)) << c.why;
  }
}

TEST(UpperCase, LeavesTheArgumentUnchanged) {
  ByteString text("abc");
  ByteString shared = text;
  EXPECT_EQ("ABC", Str(UpperCase(text)));
  EXPECT_EQ("abc", Str(text));
  EXPECT_EQ("abc", Str(shared));
}

}  // namespace
