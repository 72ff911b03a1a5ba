// Decimal text to a 32-bit number, wrapping like the 32-bit arithmetic it stands for.
#include "http/text_convert.h"

int DecimalValue(const ByteString& text) {
  const char* data = text.Data();
  int length = text.Length();
  int i = 0;
  bool negative = false;
  if (i < length && (data[i] == '-' || data[i] == '+')) {
    negative = data[i] == '-';
    ++i;
  }
  // Unsigned arithmetic wraps by definition; signed overflow would be undefined.
  unsigned value = 0;
  for (; i < length && data[i] >= '0' && data[i] <= '9'; ++i)
    value = value * 10u + static_cast<unsigned>(data[i] - '0');
  if (negative) value = 0u - value;
  return static_cast<int>(value);
}
