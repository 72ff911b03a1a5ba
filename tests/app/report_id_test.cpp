// The report id: its text against printf's, and the stirring of a run's own values for
// systems without a random generator.
#include "app/report_id.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <random>
#include <set>

#include "support/byte_strings.h"

namespace {

TEST(ReportIdText, SixteenLowerCaseHexDigits) {
  std::mt19937_64 random(18);
  const uint64_t fixed[] = {0, 1, 0xFEDCBA9876543210ull, ~0ull, 1ull << 63};
  for (int i = 0; i < 1000; ++i) {
    uint64_t bits = i < 5 ? fixed[i] : random();
    char expected[17];
    snprintf(expected, sizeof(expected), "%016llx", static_cast<unsigned long long>(bits));
    EXPECT_EQ(expected, Str(ReportIdText(bits)));
  }
}

// Runs that differ in any one input (the clock, a counter, the process id) get different
// ids; among many close inputs, no two ids agree even in their upper half.
TEST(MixReportBits, EveryInputCounts) {
  std::mt19937 random(18);
  for (int round = 0; round < 200; ++round) {
    uint32_t words[7];
    for (uint32_t& w : words) w = random();
    uint64_t mixed = MixReportBits(words, 7);
    for (int i = 0; i < 7; ++i) {
      uint32_t kept = words[i];
      words[i] ^= 1u << (random() % 32);
      EXPECT_NE(mixed, MixReportBits(words, 7)) << "word " << i;
      words[i] = kept;
    }
  }
  std::set<uint64_t> upperHalves;
  uint32_t words[7] = {0x01DC0000, 0x01DC1234, 1000, 0, 5000, 4, 0x0022FF00};
  for (uint32_t pid = 0; pid < 4096; pid += 4) {
    words[5] = pid;
    upperHalves.insert(MixReportBits(words, 7) >> 32);
  }
  EXPECT_EQ(1024u, upperHalves.size());
}

}  // namespace
