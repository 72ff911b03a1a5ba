// Byte strings: value semantics over shared blocks, and the edges of slicing.
#include "rt/byte_string.h"

#include <gtest/gtest.h>

#include <string>

#include "support/byte_strings.h"

namespace {

TEST(ByteString, EmptyValuesAreUsableEverywhere) {
  ByteString empty;
  EXPECT_EQ(0, empty.Length());
  EXPECT_STREQ("", empty.Data());
  EXPECT_TRUE(empty == "");
  EXPECT_TRUE(ByteString(static_cast<const char*>(nullptr)) == empty);
  EXPECT_TRUE(ByteString("x", 0).IsEmpty());
  EXPECT_TRUE(empty.Mid(0, 5).IsEmpty());
  EXPECT_EQ(-1, empty.Find('a'));
}

TEST(ByteString, CopiesAreIndependentValues) {
  ByteString a("abc");
  ByteString b = a;
  b += "def";
  b.MutableData()[0] = 'X';
  EXPECT_EQ("abc", Str(a));
  EXPECT_EQ("Xbcdef", Str(b));
  ByteString c = a;
  c.Truncate(1);
  EXPECT_EQ("abc", Str(a));
  EXPECT_EQ("a", Str(c));
}

TEST(ByteString, KeepsEmbeddedZeroBytes) {
  ByteString s("a\0b", 3);
  EXPECT_EQ(3, s.Length());
  EXPECT_EQ('b', s[2]);
  EXPECT_FALSE(s == "a");
  EXPECT_EQ(0, s.Data()[3]);
}

TEST(ByteString, AppendingToItselfDoublesTheText) {
  ByteString s("ab");
  s += s;
  s += s;
  EXPECT_EQ("abababab", Str(s));
  ByteString t("xyz");
  t.Append(t.Data() + 1, 2);
  EXPECT_EQ("xyzyz", Str(t));
}

TEST(ByteString, ManySmallAppendsKeepEveryByte) {
  ByteString s;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    char c = static_cast<char>('a' + i % 26);
    s += c;
    expected += c;
  }
  EXPECT_EQ(expected, Str(s));
}

TEST(ByteString, MidClampsToTheText) {
  ByteString s("hello");
  EXPECT_EQ("ell", Str(s.Mid(1, 3)));
  EXPECT_EQ("llo", Str(s.Mid(2, 100)));
  EXPECT_EQ("he", Str(s.Mid(-3, 5)));
  EXPECT_TRUE(s.Mid(5, 1).IsEmpty());
  EXPECT_TRUE(s.Mid(1, -1).IsEmpty());
  EXPECT_EQ("lo", Str(s.From(3)));
  EXPECT_EQ(2, s.Find('l'));
  EXPECT_EQ(3, s.Find('l', 3));
  EXPECT_TRUE(s.StartsWith("he"));
  EXPECT_FALSE(s.StartsWith("hello!"));
}

TEST(ByteString, OfLengthGivesAWritableZeroedBuffer) {
  ByteString s = ByteString::OfLength(4);
  ByteString shared = s;
  s.MutableData()[1] = 'q';
  EXPECT_EQ(std::string("\0q\0\0", 4), Str(s));
  EXPECT_EQ(std::string(4, '\0'), Str(shared));
}

TEST(ByteString, ConcatenationAndComparison) {
  ByteString a("ab");
  EXPECT_TRUE(a + "cd" == "abcd");
  EXPECT_TRUE("x" + a == "xab");
  EXPECT_TRUE(a + a == ByteString("abab"));
  EXPECT_TRUE(a != "abc");
  ByteString moved = static_cast<ByteString&&>(a);
  EXPECT_TRUE(moved == "ab");
}

}  // namespace
