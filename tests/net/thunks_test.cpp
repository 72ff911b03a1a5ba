// Thunk blocks and the utility window: the block layout, block reuse and release, the
// call path of a thunked window procedure, and the class "SockUtilWindow".
#include "net/thunks.h"

#include <gtest/gtest.h>

#include <string.h>

#include <vector>

namespace {

struct Recorder {
  std::vector<WindowMessage> Seen;
  LRESULT Answer = 0;
  void Handle(WindowMessage* message) {
    Seen.push_back(*message);
    message->Result = Answer;
  }
  bool SawMessage(UINT msg) const {
    for (const WindowMessage& m : Seen)
      if (m.Msg == msg) return true;
    return false;
  }
};

WindowMethod RecorderMethod(Recorder* recorder) {
  return Bind<&Recorder::Handle>(recorder);
}

int FreeListLength() {
  int length = 0;
  for (auto* slot = static_cast<unsigned char*>(ThunkFreeList()); slot;) {
    ++length;
    void* next;
    memcpy(&next, slot + 5, 4);
    slot = static_cast<unsigned char*>(next);
  }
  return length;
}

LONG_PTR ReadInt(const void* at) {
  LONG_PTR value;
  memcpy(&value, at, 4);
  return value;
}

TEST(Thunks, FirstThunkMakesOneBlockLaidOutForTheStub) {
  ASSERT_EQ(0, LiveThunkCount());
  Recorder recorder;
  WNDPROC thunk = AllocateMethodThunk(RecorderMethod(&recorder).Code, &recorder);
  auto* block = static_cast<unsigned char*>(ThunkBlockList());
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(1, LiveThunkCount());
  EXPECT_EQ(100, FreeListLength());
  EXPECT_EQ(0, ReadInt(block));  // no earlier block
  EXPECT_EQ(0x59, block[4]);
  EXPECT_EQ(0xE9, block[5]);
  // The last slot of a new block is handed out first.
  auto* slot = reinterpret_cast<unsigned char*>(thunk);
  EXPECT_EQ(block + 1310, slot);
  EXPECT_EQ(0xE8, slot[0]);
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(block + 4) - reinterpret_cast<LONG_PTR>(slot + 5),
            ReadInt(slot + 1));
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(&recorder), ReadInt(slot + 9));
  ReleaseMethodThunk(thunk);
  EXPECT_EQ(0, LiveThunkCount());
  EXPECT_EQ(nullptr, ThunkBlockList());
  EXPECT_EQ(nullptr, ThunkFreeList());
}

TEST(Thunks, ThunkCallsTheBoundMethodAsAWindowProcedure) {
  Recorder recorder;
  recorder.Answer = 0x12345678;
  WNDPROC thunk = AllocateMethodThunk(RecorderMethod(&recorder).Code, &recorder);
  // Called twice in a row: a wrong stack adjustment would show on the second call.
  for (int i = 0; i < 2; ++i) {
    LRESULT result = CallWindowProcA(thunk, nullptr, WM_USER + i, 0xAABBCCDD, -7);
    EXPECT_EQ(0x12345678, result);
  }
  ASSERT_EQ(2u, recorder.Seen.size());
  EXPECT_EQ(UINT(WM_USER + 1), recorder.Seen[1].Msg);
  EXPECT_EQ(WPARAM(0xAABBCCDD), recorder.Seen[1].WParam);
  EXPECT_EQ(LPARAM(-7), recorder.Seen[1].LParam);
  EXPECT_EQ(0, recorder.Seen[1].Result);  // the method finds Result at 0
  ReleaseMethodThunk(thunk);
}

TEST(Thunks, The102ndLiveThunkOpensASecondBlockAndTheLastReleaseFreesAll) {
  Recorder recorder;
  std::vector<WNDPROC> thunks;
  for (int i = 0; i < 101; ++i)
    thunks.push_back(AllocateMethodThunk(RecorderMethod(&recorder).Code, &recorder));
  void* first = ThunkBlockList();
  EXPECT_EQ(nullptr, ThunkFreeList());
  thunks.push_back(AllocateMethodThunk(RecorderMethod(&recorder).Code, &recorder));
  void* second = ThunkBlockList();
  EXPECT_NE(first, second);
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(first), ReadInt(second));
  EXPECT_EQ(102, LiveThunkCount());
  EXPECT_EQ(100, FreeListLength());

  // Every thunk still reaches its method.
  CallWindowProcA(thunks[0], nullptr, WM_USER, 0, 0);
  CallWindowProcA(thunks[101], nullptr, WM_USER, 0, 0);
  EXPECT_EQ(2u, recorder.Seen.size());

  for (size_t i = 1; i < thunks.size(); ++i) ReleaseMethodThunk(thunks[i]);
  EXPECT_EQ(1, LiveThunkCount());
  EXPECT_EQ(second, ThunkBlockList());  // blocks stay while a thunk lives
  ReleaseMethodThunk(thunks[0]);
  EXPECT_EQ(0, LiveThunkCount());
  EXPECT_EQ(nullptr, ThunkBlockList());

  // A fresh start works as the first one did.
  WNDPROC again = AllocateMethodThunk(RecorderMethod(&recorder).Code, &recorder);
  EXPECT_EQ(1, LiveThunkCount());
  CallWindowProcA(again, nullptr, WM_USER, 0, 0);
  EXPECT_EQ(3u, recorder.Seen.size());
  ReleaseMethodThunk(again);
}

DWORD Protection(const void* at) {
  MEMORY_BASIC_INFORMATION info = {};
  VirtualQuery(at, &info, sizeof(info));
  return info.Protect;
}

// Never writable and executable at once: a live thunk's block is execute-read after each
// step that writes into it, in the first block and in a second one.
TEST(Thunks, BlocksAreExecuteReadWhileThunksLive) {
  Recorder recorder;
  std::vector<WNDPROC> thunks;
  for (int i = 0; i < 103; ++i)
    thunks.push_back(AllocateMethodThunk(RecorderMethod(&recorder).Code, &recorder));
  const struct {
    const char* why;
    int release;   // index released before the look, or -1
    int allocate;  // allocations after it
  } steps[] = {{"allocated", -1, 0},
               {"one released", 5, 0},
               {"its slot taken again", -1, 1},
               {"second block's thunk released", 102, 0}};
  for (const auto& step : steps) {
    if (step.release >= 0) ReleaseMethodThunk(thunks[step.release]);
    for (int i = 0; i < step.allocate; ++i)
      thunks[5] = AllocateMethodThunk(RecorderMethod(&recorder).Code, &recorder);
    for (int i : {0, 5, 100, 101})
      EXPECT_EQ(DWORD(PAGE_EXECUTE_READ), Protection(reinterpret_cast<const void*>(thunks[i])))
          << step.why << ", thunk " << i;
    CallWindowProcA(thunks[0], nullptr, WM_USER, 0, 0);  // still runs
  }
  EXPECT_EQ(4u, recorder.Seen.size());
  for (int i = 0; i < 102; ++i) ReleaseMethodThunk(thunks[i]);
  EXPECT_EQ(0, LiveThunkCount());
}

TEST(Thunks, ReleasingWhatIsNoLiveThunkChangesNothing) {
  ReleaseMethodThunk(nullptr);  // with nothing live
  EXPECT_EQ(0, LiveThunkCount());
  Recorder recorder;
  WNDPROC thunk = AllocateMethodThunk(RecorderMethod(&recorder).Code, &recorder);
  WNDPROC released = AllocateMethodThunk(RecorderMethod(&recorder).Code, &recorder);
  ReleaseMethodThunk(released);
  void* freeList = ThunkFreeList();
  struct Case {
    const char* why;
    WNDPROC pointer;
  } cases[] = {
      {"null", nullptr},
      {"a function that is no thunk", DefWindowProcA},
      {"inside a thunk", reinterpret_cast<WNDPROC>(reinterpret_cast<char*>(thunk) + 5)},
      {"the block's stub", reinterpret_cast<WNDPROC>(static_cast<char*>(ThunkBlockList()) + 4)},
      // A second release would drop the count to 0 and free the block under `thunk`.
      {"a thunk released already", released},
  };
  for (const Case& c : cases) {
    ReleaseMethodThunk(c.pointer);
    EXPECT_EQ(1, LiveThunkCount()) << c.why;
    EXPECT_EQ(freeList, ThunkFreeList()) << c.why;
  }
  ReleaseMethodThunk(thunk);
  EXPECT_EQ(0, LiveThunkCount());
}

TEST(UtilityWindow, SentPostedAndDestructionMessagesReachTheMethod) {
  Recorder recorder;
  recorder.Answer = 42;
  UtilityWindow* window = CreateUtilityWindow(RecorderMethod(&recorder));
  ASSERT_NE(nullptr, window->Handle);
  EXPECT_EQ(1, LiveThunkCount());
  char className[32] = {};
  GetClassNameA(window->Handle, className, sizeof className);
  EXPECT_STREQ("SockUtilWindow", className);
  EXPECT_FALSE(IsWindowVisible(window->Handle));
  EXPECT_EQ(WS_EX_TOOLWINDOW, GetWindowLongA(window->Handle, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_FALSE(recorder.SawMessage(WM_CREATE));  // creation goes to DefWindowProcA

  EXPECT_EQ(42, SendMessageA(window->Handle, WM_USER + 5, 1, 2));
  PostMessageA(window->Handle, WM_USER + 6, 3, 4);
  MSG msg;
  while (PeekMessageA(&msg, window->Handle, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  EXPECT_TRUE(recorder.SawMessage(WM_USER + 5));
  EXPECT_TRUE(recorder.SawMessage(WM_USER + 6));

  FreeObject(window);
  EXPECT_TRUE(recorder.SawMessage(WM_DESTROY));
  EXPECT_TRUE(recorder.SawMessage(WM_NCDESTROY));
  EXPECT_EQ(0, LiveThunkCount());
}

TEST(UtilityWindow, AnUnassignedMethodKeepsDefWindowProc) {
  Recorder recorder;
  WNDPROC other = AllocateMethodThunk(RecorderMethod(&recorder).Code, &recorder);
  HWND window = CreateUtilityWindowHandle(WindowMethod{});
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(1, LiveThunkCount());
  EXPECT_EQ(reinterpret_cast<LONG>(DefWindowProcA), GetWindowLongA(window, GWL_WNDPROC));
  DestroyUtilityWindowHandle(window);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(1, LiveThunkCount());  // the other thunk was not touched
  ReleaseMethodThunk(other);
}

LRESULT CALLBACK ForeignProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, msg, wParam, lParam);
}

TEST(UtilityWindow, AForeignRegistrationOfTheClassIsReplaced) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  UnregisterClassA("SockUtilWindow", instance);  // an earlier test may have registered it
  WNDCLASSA foreign = {};
  foreign.lpfnWndProc = ForeignProcedure;
  foreign.hInstance = instance;
  foreign.lpszClassName = "SockUtilWindow";
  ASSERT_NE(0, RegisterClassA(&foreign));

  HWND window = CreateUtilityWindowHandle(WindowMethod{});
  ASSERT_NE(nullptr, window);
  WNDCLASSA now = {};
  ASSERT_TRUE(GetClassInfoA(instance, "SockUtilWindow", &now));
  EXPECT_EQ(reinterpret_cast<void*>(DefWindowProcA), reinterpret_cast<void*>(now.lpfnWndProc));

  // A second window reuses that registration.
  HWND second = CreateUtilityWindowHandle(WindowMethod{});
  EXPECT_NE(nullptr, second);
  DestroyUtilityWindowHandle(second);
  DestroyUtilityWindowHandle(window);
}

}  // namespace
