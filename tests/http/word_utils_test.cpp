// Word counting and extraction, including the edges the URL parser and reply reader meet.
#include "http/word_utils.h"

#include <gtest/gtest.h>

#include <string>

#include "support/byte_strings.h"

namespace {

struct CountCase {
  const char* why;
  std::string text;
  char separator;
  int count;
};

TEST(WordCount, CountsMaximalRunsOnly) {
  const CountCase cases[] = {
      {"empty text", "", '/', 0},
      {"separators only", "///", '/', 0},
      {"no separator", "abc", '/', 1},
      {"doubled separator makes no empty word", "a//b", '/', 2},
      {"leading and trailing separators", "/a/b/", '/', 2},
      {"case-sensitive bytes", "aAa", 'A', 2},
      {"NUL is an ordinary byte", std::string("a\0b", 3), 'x', 1},
      {"NUL as separator", std::string("a\0b", 3), '\0', 2},
      {"high bytes as separator",
       "a\xE9\xE9"
       "b",
       '\xE9', 2},
  };
  for (const CountCase& c : cases)
    EXPECT_EQ(c.count, WordCount(Bytes(c.text), c.separator)) << c.why;
}

struct ExtractCase {
  const char* why;
  const char* text;
  char separator;
  int number;
  const char* word;
};

TEST(ExtractWord, PicksTheNumberedWord) {
  const ExtractCase cases[] = {
      {"second of two after doubled separator", "a//b", '/', 2, "b"},
      {"beyond the last word", "a//b", '/', 3, ""},
      {"leading separator is skipped", "/a", '/', 1, "a"},
      {"no separator, first", "abc", '/', 1, "abc"},
      {"no separator, second", "abc", '/', 2, ""},
      {"line without its CR", "HTTP/1.1 200 OK\r", '\r', 1, "HTTP/1.1 200 OK"},
      {"CR only", "\r", '\r', 1, ""},
      {"empty text", "", '/', 1, ""},
      {"middle word of several", "u:p:q", ':', 2, "p"},
      {"word runs to the next separator only", "h/p/q", '/', 1, "h"},
      {"zero gives text before first separator", "ab/cd", '/', 0, "ab"},
      {"zero with leading separator is empty", "/ab", '/', 0, ""},
      {"zero without separator is everything", "abc", '/', 0, "abc"},
      {"negative behaves like zero", "ab/cd", '/', -5, "ab"},
      {"zero of empty text", "", '/', 0, ""},
  };
  for (const ExtractCase& c : cases)
    EXPECT_EQ(c.word, Str(ExtractWord(c.text, c.separator, c.number))) << c.why;
}

}  // namespace
