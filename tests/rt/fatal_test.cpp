// The fatal error report: a child that calls FatalError shows a box captioned "Fatal error"
// with the message, and once the box is dismissed it ends with the fatal exit code.
#include <windows.h>

#include "rt/fatal.h"

#include <gtest/gtest.h>

#include <string>

#include "support/child_process.h"

namespace {

struct Search {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindFatalBox(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char caption[64];
  if (owner == search->processId && IsWindowVisible(window) &&
      GetWindowTextA(window, caption, sizeof(caption)) > 0 && strcmp(caption, "Fatal error") == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForFatalBox(DWORD processId, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  Search search = {processId, nullptr};
  while (GetTickCount() - start < timeoutMs) {
    EnumWindows(FindFatalBox, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    Sleep(50);
  }
  return nullptr;
}

TEST(FatalError, ShowsTheMessageThenEndsWithTheFatalCode) {
  ChildProcess child;
  ASSERT_TRUE(child.Start("\"" + ProgramFolder() + "fatal_child.exe\"", false));

  HWND box = WaitForFatalBox(child.Id(), 30000);
  ASSERT_NE(nullptr, box) << "no \"Fatal error\" box appeared";
  char text[256] = "";
  GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
  EXPECT_STREQ("some text", text);
  EXPECT_EQ(STILL_ACTIVE, child.Wait(0)) << "the process must wait for the box";

  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  EXPECT_EQ(DWORD(kFatalExitCode), child.Wait(30000));
}

}  // namespace
