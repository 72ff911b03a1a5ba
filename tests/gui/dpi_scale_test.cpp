// Designed sizes at other DPIs (pure: runs on the host as well): a table of the layout's
// own numbers, and properties against plain floating-point arithmetic.
#include <gtest/gtest.h>

#include <cmath>

#include "gui/dpi_scale.h"

namespace {

TEST(ScaledToDpi, TheLayoutsNumbers) {
  struct Row {
    const char* why;
    int value, dpi, expected;
  } rows[] = {
      {"96 DPI changes nothing", 430, 96, 430},
      {"125%", 430, 120, 538},  // 537.5 rounds up
      {"150%", 328, 144, 492},
      {"200%", 199, 192, 398},
      {"the font height rounds away from zero", -11, 144, -17},  // -16.5
      {"the font height at 125%", -11, 120, -14},                // -13.75
      {"a half pixel at 125% rounds up", 2, 120, 3},             // 2.5
      {"one pixel at 150%", 1, 144, 2},                          // 1.5
      {"zero stays zero", 0, 192, 0},
      {"a negative left edge", -3, 120, -4},  // -3.75
  };
  for (const Row& row : rows) EXPECT_EQ(ScaledToDpi(row.value, row.dpi), row.expected) << row.why;
}

TEST(ScaledToDpi, RoundsLikeFloatingPointAndInvertsAtOrAboveDesign) {
  for (int dpi : {72, 96, 108, 120, 144, 168, 192, 240, 288, 480}) {
    for (int value = -600; value <= 2000; ++value) {
      double exact = value * dpi / 96.0;
      int rounded =
          static_cast<int>(exact < 0 ? -std::floor(-exact + 0.5) : std::floor(exact + 0.5));
      ASSERT_EQ(ScaledToDpi(value, dpi), rounded) << value << " at " << dpi;
      if (dpi >= 96) {
        ASSERT_EQ(UnscaledFromDpi(ScaledToDpi(value, dpi), dpi), value) << value << " at " << dpi;
      }
    }
  }
}

}  // namespace
