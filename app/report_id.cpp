// The report id's text and the stirring of the values a run does not share with another.
#include "app/report_id.h"

ByteString ReportIdText(uint64_t bits) {
  ByteString text = ByteString::OfLength(16);
  char* out = text.MutableData();
  for (int i = 15; i >= 0; --i, bits >>= 4) out[i] = "0123456789abcdef"[bits & 15];
  return text;
}

uint64_t MixReportBits(const uint32_t* words, int count) {
  uint64_t state = 0;
  for (int i = 0; i < count; ++i) {
    // Each step is invertible for a given word: an odd multiplier and an xor-shift.
    state = (state ^ words[i]) * 0x9E3779B97F4A7C15ull;
    state ^= state >> 31;
  }
  return state;
}
