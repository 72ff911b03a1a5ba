// New report ids on the running system, with its generator and without it: a fallback
// that gave one id for every run would let the collector keep one report per product.
#include "app/report_id.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/byte_strings.h"

namespace {

TEST(NewReportId, EveryIdIsNewWithAndWithoutTheSystemsGenerator) {
  for (bool withoutGenerator : {false, true}) {
    std::set<std::string> ids;
    for (int i = 0; i < 50; ++i) {
      std::string id = Str(NewReportId(withoutGenerator));
      EXPECT_EQ(16u, id.size());
      EXPECT_EQ(std::string::npos, id.find_first_not_of("0123456789abcdef")) << id;
      ids.insert(id);
    }
    EXPECT_EQ(50u, ids.size()) << (withoutGenerator ? "without" : "with") << " the generator";
  }
}

}  // namespace
