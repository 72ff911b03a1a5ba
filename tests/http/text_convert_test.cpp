// Decimal text to number: sign, leading digits only, and 32-bit wrap-around.
#include "http/text_convert.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(DecimalValue, ReadsTheLeadingNumber) {
  const struct {
    const char* why;
    const char* text;
    int value;
  } cases[] = {
      {"digits", "8080", 8080},
      {"digits then path", "81/stat/x", 81},
      {"minus sign", "-42", -42},
      {"plus sign", "+42", 42},
      {"leading zeros", "0081", 81},
      {"leading space", " 81", 0},
      {"leading letter", "x81", 0},
      {"empty", "", 0},
      {"sign alone", "-", 0},
      {"two signs", "--5", 0},
      {"largest value", "2147483647", INT_MAX},
      {"smallest value", "-2147483648", INT_MIN},
      {"wraps past 31 bits", "2147483648", INT_MIN},
      {"wraps modulo 2^32", "4294967297", 1},
      {"many digits wrap", "99999999999999999999", 1661992959},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value, DecimalValue(c.text)) << c.why;
}

}  // namespace
