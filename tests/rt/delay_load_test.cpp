// The loading of delay-imported DLLs, linked as the program links it: each function comes
// from its own DLL and is looked up once, the caller's last-error value survives the first
// call, and a missing DLL or function fails that call softly and with the stack intact.
#include <windows.h>
#include <winsock.h>

#include <gtest/gtest.h>

// connect and ShellExecuteA are delay-imported from DLLs that lack them (nosuch.dll and
// version.dll, tests/rt/CMakeLists.txt): the program's own names, so their stand-ins apply.

namespace {

// The address-table entries the calls go through: the loading stub until the first call.
extern "C" FARPROC gGetsockoptSlot asm("__imp__getsockopt@20");
extern "C" FARPROC gHtonsSlot asm("__imp__htons@4");
extern "C" FARPROC gVersionSizeSlot asm("__imp__GetFileVersionInfoSizeA@8");

// Calls `call` and records the stack pointer right before and right after: a stand-in that
// removed the wrong number of bytes of arguments shows as a difference.
#define MEASURED_CALL(result, change, call)                  \
  do {                                                       \
    int before, after;                                       \
    asm volatile("movl %%esp, %0" : "=r"(before)::"memory"); \
    result = (call);                                         \
    asm volatile("movl %%esp, %0" : "=r"(after)::"memory");  \
    change = after - before;                                 \
  } while (0)

TEST(DelayLoad, EachFunctionComesFromItsOwnDllOnce) {
  const struct {
    const char* dll;
    const char* name;
    FARPROC* slot;
    void (*call)();
  } cases[] = {
      // wsock32's own getsockopt, not the ws2_32 one its other names lead to.
      {"wsock32.dll", "getsockopt", &gGetsockoptSlot,
       [] { getsockopt(INVALID_SOCKET, SOL_SOCKET, SO_TYPE, nullptr, nullptr); }},
      {"wsock32.dll", "htons", &gHtonsSlot, [] { EXPECT_EQ(0x3412, htons(0x1234)); }},
      {"version.dll", "GetFileVersionInfoSizeA", &gVersionSizeSlot,
       [] { EXPECT_EQ(0u, GetFileVersionInfoSizeA("C:\\no such file.dll", nullptr)); }},
  };
  for (const auto& c : cases) {
    FARPROC stub = *c.slot;
    c.call();
    FARPROC resolved = *c.slot;
    EXPECT_NE(stub, resolved) << c.name << ": not kept for the next call";
    HMODULE own = GetModuleHandleA(c.dll);
    ASSERT_NE(nullptr, own) << c.dll;
    EXPECT_EQ(GetProcAddress(own, c.name), resolved) << c.name;
    c.call();
    EXPECT_EQ(resolved, *c.slot) << c.name;
  }
}

TEST(DelayLoad, TheCallersLastErrorSurvivesTheFirstCall) {
  SetLastError(WSAECONNREFUSED);
  EXPECT_EQ(WSAECONNREFUSED, WSAGetLastError());  // its first call
}

TEST(DelayLoad, AMissingDllOrFunctionFailsTheCallSoftly) {
  for (int round = 0; round < 2; ++round) {  // the stand-in is kept as well
    int change = -1;
    int result = 0;
    SetLastError(1234);
    MEASURED_CALL(result, change, connect(INVALID_SOCKET, nullptr, 16));
    EXPECT_EQ(SOCKET_ERROR, result) << "no such DLL: Winsock's failure";
    EXPECT_EQ(0, change) << "connect";
    EXPECT_EQ(1234u, GetLastError()) << "connect";

    HINSTANCE shown = reinterpret_cast<HINSTANCE>(1);
    MEASURED_CALL(shown, change,
                  ShellExecuteA(nullptr, "open", "x", nullptr, nullptr, SW_SHOWNORMAL));
    EXPECT_EQ(nullptr, shown) << "no such function in the DLL: 0";
    EXPECT_EQ(0, change) << "ShellExecuteA";
    EXPECT_EQ(1234u, GetLastError()) << "ShellExecuteA";
  }
}

}  // namespace
