// Base64: the RFC 4648 test vectors, padding, every byte value and long inputs.
#include "http/base64.h"

#include <gtest/gtest.h>

#include <string>

#include "support/byte_strings.h"

namespace {

TEST(Base64Encode, Rfc4648Vectors) {
  const struct {
    const char* input;
    const char* output;
  } cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.output, Str(Base64Encode(c.input))) << c.input;
}

TEST(Base64Encode, RawBytes) {
  const struct {
    const char* why;
    std::string input;
    const char* output;
  } cases[] = {
      {"credentials", "user:pass", "dXNlcjpwYXNz"},
      {"user without password", "user:", "dXNlcjo="},
      {"zero byte", std::string(1, '\0'), "AA=="},
      {"zero bytes inside", std::string("a\0\0b", 4), "YQAAYg=="},
      {"high bytes", "\xFF\xFE\xFD", "//79"},
      {"last alphabet entries", "\xFB\xEF\xBE", "++++"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.output, Str(Base64Encode(Bytes(c.input)))) << c.why;
}

TEST(Base64Encode, LongInputIsOneLine) {
  std::string input;
  for (int i = 0; i < 1000; ++i) input += static_cast<char>(i * 7);
  std::string output = Str(Base64Encode(Bytes(input)));
  EXPECT_EQ(1336u, output.size());
  EXPECT_EQ(std::string::npos, output.find_first_of("\r\n"));
  EXPECT_EQ("==", output.substr(output.size() - 2));
}

}  // namespace
