// Parameter 0 of the running process is the program's own full path, not the command line's.
#include <windows.h>

#include "app/param_str.h"

#include <gtest/gtest.h>

#include <string>

#include "support/byte_strings.h"

namespace {

TEST(ParamStr, ZeroIsTheModulePath) {
  char path[MAX_PATH + 1];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
  ASSERT_GT(length, 0u);
  EXPECT_EQ(std::string(path, length), Str(ParamStr(0)));
}

}  // namespace
