// When the applet takes the server's reply as a confirmation, and how long its wait lasts
// on a millisecond clock that wraps.
#include "app/delivery_rules.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct AcceptCase {
  const char* why;
  std::vector<const char*> lines;
  bool accepted;
};

TEST(ReplyAccepted, OnlyAFinalExactOk) {
  const AcceptCase cases[] = {
      {"status, headers, empty line, OK",
       {"HTTP/1.1 200 OK", "Content-Type: text/plain", "Content-Length: 4", "", "OK"},
       true},
      {"OK alone", {"OK"}, true},
      {"no lines", {}, false},
      {"lower case", {"HTTP/1.1 200 OK", "", "ok"}, false},
      {"trailing space", {"HTTP/1.1 200 OK", "", "OK "}, false},
      {"leading space", {"HTTP/1.1 200 OK", "", " OK"}, false},
      {"OK before the last line", {"HTTP/1.1 200 OK", "", "OK", ""}, false},
      {"header only, body still coming", {"HTTP/1.1 200 OK", "Content-Length: 4", ""}, false},
      {"stopped at Connection: close", {"HTTP/1.1 200 OK", "Connection: close"}, false},
      {"status line alone says OK at its end", {"HTTP/1.1 200 OK"}, false},
  };
  for (const AcceptCase& c : cases) {
    StringList* lines = CreateStringList();
    for (const char* line : c.lines) lines->Add(line);
    EXPECT_EQ(c.accepted, ReplyAccepted(lines)) << c.why;
    FreeObject(lines);
  }
  EXPECT_FALSE(ReplyAccepted(nullptr)) << "no client lines at all";
}

struct WaitCase {
  const char* why;
  uint32_t start, now, left;
};

TEST(WaitTimeLeft, CountsModuloTheTickWrap) {
  const WaitCase cases[] = {
      {"just started", 1000, 1000, 3000},
      {"halfway", 1000, 2500, 1500},
      {"one left", 1000, 3999, 1},
      {"exactly over", 1000, 4000, 0},
      {"long over", 1000, 900000, 0},
      {"start before the wrap, now after it", 0xFFFFFF00u, 0x00000100u, 3000 - 0x200},
      {"start 1 ms before the wrap, still 3000 ms in all", 0xFFFFFFFFu, 2998, 1},
      {"over across the wrap", 0xFFFFFFFFu, 2999, 0},
      {"start at the wrap itself", 0xFFFFFFFFu, 0xFFFFFFFFu, 3000},
  };
  for (const WaitCase& c : cases)
    EXPECT_EQ(c.left, WaitTimeLeft(c.start, c.now, kReportWaitMs)) << c.why;
}

}  // namespace
