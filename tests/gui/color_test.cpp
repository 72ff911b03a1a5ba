// Colour arithmetic and the Windows family decision (pure: runs on the host as well).
#include <gtest/gtest.h>

#include "gui/color.h"
#include "gui/os_family.h"

namespace {

TEST(GradientColor, StepsPerByteTruncatingTowardZero) {
  struct Row {
    const char* why;
    uint32_t from, to;
    int i, n;
    uint32_t expected;
  } rows[] = {
      {"first step is the start colour", 0x00A0A0A0, 0x00FFFFFF, 0, 412, 0x00A0A0A0},
      {"last of 412 stops short of the end", 0x00A0A0A0, 0x00FFFFFF, 411, 412, 0x00FEFEFE},
      {"falling bytes truncate toward zero", 0x00FFFFFF, 0x00000000, 411, 412, 0x00010101},
      {"falling byte mid-way", 0x000000FF, 0x00000000, 1, 2, 0x00000080},
      {"bytes move independently", 0x00102030, 0x00302010, 1, 2, 0x00202020},
      {"shadow to highlight, last column", 0x00808080, 0x00FFFFFF, 411, 412, 0x00FEFEFE},
      {"rising by less than one per step", 0x00000000, 0x00000001, 411, 412, 0x00000000},
  };
  for (const Row& row : rows)
    EXPECT_EQ(GradientColor(row.from, row.to, row.i, row.n), row.expected) << row.why;
}

TEST(GradientColor, FallingByteIsNotRoundedDown) {
  // (0 - 255) * 1 / 412 is -0.6: toward zero it stays 255, flooring would give 254.
  EXPECT_EQ(GradientColor(0x000000FF, 0, 1, 412), 0x000000FFu);
}

TEST(SwapRedBlue, ExchangesTheOuterBytes) {
  EXPECT_EQ(SwapRedBlue(0x00112233), 0x00332211u);
  EXPECT_EQ(SwapRedBlue(0xFF112233), 0x00332211u);  // the fourth byte is not part of it
}

TEST(ClassifyVersion, FamiliesOfTheKnownVersions) {
  struct Row {
    const char* why;
    unsigned platform, major, minor;
    OsFamily expected;
  } rows[] = {
      {"Win32s", 0, 3, 10, kOsOther},
      {"Windows 95", 1, 4, 0, kOsWin95},
      {"Windows 98", 1, 4, 10, kOsWin98},
      {"Windows ME", 1, 4, 90, kOsWin98},
      {"9x major 5", 1, 5, 0, kOsWin98},
      {"NT 3.51", 2, 3, 51, kOsNt4},
      {"NT 4.0", 2, 4, 0, kOsNt4},
      {"Windows 2000", 2, 5, 0, kOsWin2000},
      {"Windows XP", 2, 5, 1, kOsWinXp},
      {"Server 2003", 2, 5, 2, kOsWinXp},
      {"Vista is later than XP", 2, 6, 0, kOsWinXp},
      {"Windows 8 and later", 2, 6, 2, kOsWinXp},
      {"unknown platform", 3, 10, 0, kOsOther},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ClassifyVersion(row.platform, row.major, row.minor), row.expected) << row.why;
}

}  // namespace
