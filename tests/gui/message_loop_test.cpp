// The message loop and the dispatch chain, recorded by logging handlers and compared
// with expected sequences: closing, refusing, nested pumping, the end of a pass,
// handlers after the loop ended, and a widget freed inside its own handler.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <thread>

#include "support/gui_test.h"

namespace {

using Lines = std::vector<std::string>;

constexpr UINT kNested = WM_APP + 1;
constexpr UINT kFreeSelf = WM_APP + 2;
constexpr UINT kMarkA = WM_APP + 3;
constexpr UINT kMarkB = WM_APP + 4;

struct Recorder {
  int Closes = 0;
  bool Refuse = false;
  void FormClose(Widget*, bool* accept) {
    ++Closes;
    MessageLog::Add("OnClose");
    if (Refuse) *accept = false;
  }
  void ButtonClick(Widget*) { MessageLog::Add("OnClick"); }
};

class Loop : public ::testing::Test {
protected:
  void SetUp() override {
    ResetToolkitState();
    MessageLog::Clear();
    MessageLog::Watched() = {WM_CLOSE, WM_NCDESTROY, kMarkA, kMarkB, WM_NULL};
    form_ = CreateFormWidget(nullptr, "Loop");
    SetPosition(form_, 40, 40);
    SetSize(form_, 300, 200);
    form_->OnClose = Bind<&Recorder::FormClose>(&recorder_);
    gToolkit.MainWidget = form_;
    WatchWidget(form_, "form");
  }
  void TearDown() override {
    if (gToolkit.MainWidget) EndMainLoop(&gToolkit.MainWidget);
    ResetToolkitState();
  }

  // Whether a WM_QUIT waits in the queue (it is taken out).
  static bool QuitPosted() {
    MSG msg;
    return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
  }

  Widget* form_;
  Recorder recorder_;
};

TEST_F(Loop, ClosingTheMainWindowRunsOnCloseOncePostsQuitAndEndsTheLoop) {
  Widget* label = CreateLabel(form_, "child");
  HWND labelWindow = GetHandle(label);  // created hidden, shown by the loop
  PostMessageA(form_->Handle, WM_CLOSE, 0, 0);
  HWND window = form_->Handle;
  RunMainLoop(&gToolkit.MainWidget);

  EXPECT_EQ(recorder_.Closes, 1);
  EXPECT_EQ(MessageLog::Lines(), (Lines{"form:WM_CLOSE", "OnClose"}))
      << "the window is destroyed by the free, after the handlers stopped";
  EXPECT_TRUE(gToolkit.LoopTerminated);
  EXPECT_EQ(gToolkit.LoopActive, 0);
  EXPECT_EQ(gToolkit.MainWidget, nullptr);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(IsWindow(labelWindow));
}

TEST_F(Loop, TheLoopShowsTheTreeIncludingWindowsCreatedHidden) {
  Widget* early = CreateLabel(form_, "early");
  GetHandle(early);
  Widget* late = CreateLabel(form_, "late");
  Widget* hidden = CreateLabel(form_, "hidden");
  Hide(hidden);
  ASSERT_FALSE(IsWindowVisible(early->Handle));
  bool earlyShown = false, lateShown = false, hiddenShown = true, formShown = false;
  form_->OnClose = {[](void* results, Widget* w, bool*) {
                      auto* r = static_cast<bool**>(results);
                      Widget* early = ChildAt(w, 0);
                      *r[0] = IsWindowVisible(early->Handle);
                      *r[1] = IsWindowVisible(ChildAt(w, 1)->Handle);
                      *r[2] = IsWindowVisible(ChildAt(w, 2)->Handle);
                      *r[3] = IsWindowVisible(w->Handle);
                    },
                    nullptr};
  bool* results[] = {&earlyShown, &lateShown, &hiddenShown, &formShown};
  form_->OnClose.Object = results;
  PostMessageA(form_->Handle, WM_CLOSE, 0, 0);
  RunMainLoop(&gToolkit.MainWidget);
  EXPECT_TRUE(formShown);
  EXPECT_TRUE(earlyShown);
  EXPECT_TRUE(lateShown);
  EXPECT_FALSE(hiddenShown) << "a widget hidden on purpose stays hidden";
  (void)late;
}

TEST_F(Loop, RefusedCloseChangesNothing) {
  recorder_.Refuse = true;
  gToolkit.LoopActive = 1;
  HWND window = GetHandle(form_);
  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(recorder_.Closes, 1);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(form_->OnClose.Assigned()) << "still set for the next close";
  EXPECT_FALSE(QuitPosted());
  EXPECT_FALSE(gToolkit.LoopTerminated);

  recorder_.Refuse = false;
  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(recorder_.Closes, 2);
  EXPECT_TRUE(QuitPosted());
  EXPECT_FALSE(form_->OnClose.Assigned()) << "an accepted close fires once";
  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(recorder_.Closes, 2) << "a second close goes straight to the quit step";
  EXPECT_TRUE(QuitPosted());
  EXPECT_TRUE(IsWindow(window)) << "the main window stays until the loop frees it";
}

TEST_F(Loop, ACloseQueuedBehindAWmNullEndsTheLoopWithoutNewInput) {
  // PumpAll stops at the WM_NULL; a loop that then blocks in WaitMessage leaves the close
  // queued until some new message comes. The loop runs on a thread whose only window is
  // message-only, so that nothing from the display can bring one; a watchdog does after
  // 10 s at the latest.
  FreeObject(form_);
  gToolkit.MainWidget = nullptr;
  HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE ended = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD loopThread = 0;
  std::thread loop([&] {
    loopThread = GetCurrentThreadId();
    Widget* quiet = CreateFormWidget(nullptr, "Quiet");
    quiet->OnClose = Bind<&Recorder::FormClose>(&recorder_);
    HWND window = GetHandle(quiet);
    SetParent(window, HWND_MESSAGE);
    gToolkit.MainWidget = quiet;
    PostMessageA(window, WM_NULL, 0, 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
    SetEvent(started);
    RunMainLoop(&gToolkit.MainWidget);
    SetEvent(ended);
  });
  WaitForSingleObject(started, INFINITE);
  bool stalled = WaitForSingleObject(ended, 10000) == WAIT_TIMEOUT;
  if (stalled) PostThreadMessageA(loopThread, WM_APP + 9, 0, 0);
  loop.join();
  CloseHandle(started);
  CloseHandle(ended);
  EXPECT_FALSE(stalled) << "the close waited for new input";
  EXPECT_EQ(recorder_.Closes, 1);
  EXPECT_EQ(gToolkit.MainWidget, nullptr);
}

bool NestedPumpHandler(Widget*, WidgetMessage& m, LRESULT&) {
  if (LOWORD(m.Msg) != kNested) return false;
  PostQuitMessage(0);
  PumpAll();
  MessageLog::Add(gToolkit.LoopTerminated ? "nested: terminated" : "nested: running");
  return true;
}

TEST_F(Loop, QuitTakenByANestedPumpEndsTheMainLoop) {
  AttachHandler(form_, &NestedPumpHandler);
  PostMessageA(GetHandle(form_), kNested, 0, 0);
  RunMainLoop(&gToolkit.MainWidget);
  EXPECT_EQ(MessageLog::Lines(), (Lines{"nested: terminated"}));
  EXPECT_EQ(recorder_.Closes, 0) << "the loop ended without a close";
  EXPECT_EQ(gToolkit.MainWidget, nullptr);
}

TEST_F(Loop, PostedMessageZeroEndsAPumpPass) {
  HWND window = GetHandle(form_);
  PostMessageA(window, kMarkA, 0, 0);
  PostMessageA(window, WM_NULL, 0, 0);
  PostMessageA(window, kMarkB, 0, 0);
  PumpAll();
  EXPECT_EQ(MessageLog::Lines(), (Lines{"form:0x8003", "form:WM_NULL"}));
  PumpAll();
  EXPECT_EQ(MessageLog::Lines(), (Lines{"form:0x8003", "form:WM_NULL", "form:0x8004"}));
}

TEST_F(Loop, PumpOneSaysWhetherItFoundAMessage) {
  PumpAll();
  EXPECT_FALSE(PumpOne());
  PostMessageA(GetHandle(form_), kMarkA, 0, 0);
  EXPECT_TRUE(PumpOne());
  EXPECT_FALSE(PumpOne());
}

TEST_F(Loop, AttachedHandlersStopOnceTheLoopIsTerminated) {
  HWND window = GetHandle(form_);
  SendMessageA(window, kMarkA, 0, 0);
  gToolkit.LoopTerminated = true;
  SendMessageA(window, kMarkB, 0, 0);
  EXPECT_EQ(MessageLog::Lines(), (Lines{"form:0x8003"}));
}

struct FreedInside {
  bool AliveAfterFree = false;
  int Destroyed = 0;
};
FreedInside gFreed;

bool FreeSelfHandler(Widget* w, WidgetMessage& m, LRESULT& result) {
  if (LOWORD(m.Msg) != kFreeSelf) return false;
  FreeObject(w);
  // Still whole: the dispatch holds it until the handler returns.
  gFreed.AliveAfterFree = gFreed.Destroyed == 0 && IsWindow(w->Handle) && ChildCount(w) == 1;
  result = 42;
  return true;
}

TEST_F(Loop, WidgetFreedInsideItsOwnHandlerLivesUntilTheDispatchReleasesIt) {
  gFreed = {};
  Widget* panel = CreateFormWidget(nullptr, "panel");
  CreateLabel(panel, "child");
  HWND window = GetHandle(panel);
  AttachHandler(panel, &FreeSelfHandler);
  panel->DestroyNotify = {[](void*, RefObject*) { ++gFreed.Destroyed; }, nullptr};
  LRESULT result = SendMessageA(window, kFreeSelf, 0, 0);
  EXPECT_EQ(result, 42);
  EXPECT_TRUE(gFreed.AliveAfterFree);
  EXPECT_EQ(gFreed.Destroyed, 1) << "destroyed when the dispatch let go";
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(Loop, FormFreedInsideItsOnCloseLivesUntilTheCloseReturns) {
  struct Probe {
    Widget* Dialog;
    int Destroyed = 0;
    int DestroyedInsideOnClose = -1;
    void Close(Widget* sender, bool*) {
      FreeObject(sender);
      DestroyedInsideOnClose = Destroyed;
    }
  } probe;
  probe.Dialog = CreateFormWidget(nullptr, "dialog");
  HWND window = GetHandle(probe.Dialog);
  probe.Dialog->DestroyNotify = {[](void* p, RefObject*) { ++static_cast<Probe*>(p)->Destroyed; },
                                 &probe};
  probe.Dialog->OnClose = Bind<&Probe::Close>(&probe);
  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(probe.DestroyedInsideOnClose, 0) << "still alive while its close is handled";
  EXPECT_EQ(probe.Destroyed, 1) << "destroyed when the close returned";
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(Loop, ChildControlClickRunsTheClickActionThenOnClick) {
  Widget* group = CreateGroupBox(form_, "");
  CreateRadioBox(group, "one");
  Widget* two = CreateRadioBox(group, "two");
  two->OnClick = {[](void*, Widget* sender) {
                    MessageLog::Add(IsChecked(sender) ? "OnClick: checked" : "OnClick: unchecked");
                  },
                  nullptr};
  // The button's own notification, as a mouse click produces it.
  SendMessageA(group->Handle, WM_COMMAND, MAKEWPARAM(two->ControlId, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetHandle(two)));
  EXPECT_EQ(MessageLog::Lines(), (Lines{"OnClick: checked"}));
}

TEST_F(Loop, TopLevelWindowDestroyedByTheSystemFreesItsWidget) {
  Widget* other = CreateFormWidget(nullptr, "other");
  HWND window = GetHandle(other);
  int destroyed = 0;
  other->DestroyNotify = {[](void* n, RefObject*) { ++*static_cast<int*>(n); }, &destroyed};
  DestroyWindow(window);
  EXPECT_EQ(destroyed, 1) << "the widget goes with its window";
}

// Runs in a child process (below): the session ends while the loop runs.
TEST_F(Loop, DISABLED_SessionEndProbe) {
  const char* marker = getenv("SESSION_END_MARKER");
  ASSERT_NE(marker, nullptr);
  static std::string path = marker;
  form_->DestroyNotify = {[](void*, RefObject*) {
                            HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                      CREATE_ALWAYS, 0, nullptr);
                            DWORD written;
                            WriteFile(file, "freed", 5, &written, nullptr);
                            CloseHandle(file);
                          },
                          nullptr};
  PostMessageA(GetHandle(form_), WM_ENDSESSION, TRUE, 0);
  RunMainLoop(&gToolkit.MainWidget);
  ADD_FAILURE() << "the process should have ended inside the loop";
}

TEST(SessionEnd, FreesTheWindowTreeAndEndsTheProcess) {
  char self[MAX_PATH], dir[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  GetTempPathA(MAX_PATH, dir);
  std::string marker = std::string(dir) + "exitpoll_session_end.txt";
  DeleteFileA(marker.c_str());
  SetEnvironmentVariableA("SESSION_END_MARKER", marker.c_str());
  std::string line =
      std::string("\"") + self +
      "\" --gtest_also_run_disabled_tests --gtest_filter=Loop.DISABLED_SessionEndProbe";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessA(self, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process));
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(code, 0u);

  char text[16] = {};
  DWORD read = 0;
  HANDLE file = CreateFileA(marker.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "the form was not freed";
  ReadFile(file, text, sizeof(text) - 1, &read, nullptr);
  CloseHandle(file);
  DeleteFileA(marker.c_str());
  EXPECT_STREQ(text, "freed");
}

}  // namespace
