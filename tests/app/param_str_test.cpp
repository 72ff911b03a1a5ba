// The command-line splitting rule that turns the uninstaller's call into the product name.
#include "app/param_str.h"

#include <gtest/gtest.h>

#include <string>

#include "support/byte_strings.h"

namespace {

struct ParamCase {
  const char* why;
  std::string commandLine;
  int index;
  const char* param;
};

TEST(ParamStrOf, SplitsLikeTheUninstallerQuotes) {
  const ParamCase cases[] = {
      {"underscores stay for the caller", "C:\\exitpoll.exe My_Product", 1, "My_Product"},
      {"quoted with spaces", "exitpoll.exe \"My Product\"", 1, "My Product"},
      {"unquoted spaces split", "exitpoll.exe My Product", 1, "My"},
      {"second parameter", "exitpoll.exe My Product", 2, "Product"},
      {"empty quoted pair is skipped", "exitpoll.exe \"\" Tool", 1, "Tool"},
      {"inner quotes stay", "exitpoll.exe ab\"c d\"e", 1, "ab\"c d\"e"},
      {"quoted program path", "\"C:\\Program Files\\x\\exitpoll.exe\" Tool", 1, "Tool"},
      {"program as written", "\"C:\\Program Files\\x.exe\" Tool", 0, "C:\\Program Files\\x.exe"},
      {"no parameter", "exitpoll.exe", 1, ""},
      {"trailing separators only", "exitpoll.exe  \t ", 1, ""},
      {"empty command line", "", 1, ""},
      {"tabs and control bytes separate", "x.exe\t\x01\x1FTool", 1, "Tool"},
      {"bytes above 127 are not separators", "x.exe \xA0\xE9t\xE9", 1, "\xA0\xE9t\xE9"},
      {"unclosed quote runs to the end", "x.exe \"a b", 1, "\"a b"},
      {"quote pair glued to a word", "x.exe \"\"Tool", 1, "Tool"},
      {"lone quote parameter", "x.exe \" y", 1, "\" y"},
      {"quotes around and inside", "x.exe \"a\"b\"c\"", 1, "a\"b\"c"},
      {"quotes not enclosing stay", "x.exe \"a\"b", 1, "\"a\"b"},
      {"two quote pairs", "x.exe \"\"\"\" Tool", 1, "Tool"},
      {"NUL ends the line", std::string("x.exe a\0b", 9), 2, ""},
      {"negative index", "x.exe a", -1, ""},
  };
  for (const ParamCase& c : cases) {
    ByteString line(c.commandLine.data(), int(c.commandLine.size()));
    EXPECT_EQ(c.param, Str(ParamStrOf(line, c.index))) << c.why;
  }
}

}  // namespace
