// Loads a delay-imported DLL at the first call into it (see cmake/DelayLoad.cmake): the
// program's start then waits only for the DLLs its window needs.
#include <windows.h>

#include <string.h>

#include "rt/fatal.h"
#include "rt/system_library.h"

// Made by cmake/DelayLoad.cmake: for each function, its bytes of arguments (plus 1 where a
// failure reads -1) and its name.
extern const char kDelayLoadStandIns[];
extern const int kDelayLoadStandInsSize;

namespace {

// What dlltool's delay-import stubs describe each DLL with; the addresses are offsets from
// the program's base (Attributes bit 0 set).
struct DelayImportDescriptor {
  DWORD Attributes;
  DWORD DllName;
  DWORD ModuleHandle;
  DWORD AddressTable;
  DWORD NameTable;
  DWORD BoundAddressTable;
  DWORD UnloadTable;
  DWORD TimeStamp;
};

constexpr int kStandInSize = 8;

}  // namespace

// Stand-ins for a function that is missing: each returns a failure and removes its caller's
// arguments as the function would have. For n bytes of arguments, the one returning 0 lies
// at 4 * n and the one returning -1 eight bytes further on.
extern "C" __attribute__((naked, used)) void DelayStandInsBlock() {
  asm volatile(
      ".balign 8\n"
      "_gDelayStandIns:\n"
      ".irp n,0,4,8,12,16,20,24\n"
      "xorl %eax, %eax\n"
      "ret $\\n\n"
      ".balign 8\n"
      "orl $-1, %eax\n"
      "ret $\\n\n"
      ".balign 8\n"
      ".endr\n");
}
extern "C" char gDelayStandIns[];

namespace {

FARPROC StandIn(const char* name) {
  size_t length = strlen(name) + 1;
  const char* entry = kDelayLoadStandIns;
  const char* end = entry + kDelayLoadStandInsSize;
  while (entry < end) {
    unsigned shape = static_cast<unsigned char>(*entry++);
    if (memcmp(entry, name, length) == 0)
      return reinterpret_cast<FARPROC>(gDelayStandIns + (shape & ~3u) * 4 +
                                       (shape & 1) * kStandInSize);
    entry += strlen(entry) + 1;
  }
  return nullptr;
}

}  // namespace

// Called by the stub of a function whose address `slot` does not hold yet: fills the slot
// (so later calls go straight to the function) and returns the address for this call. A
// second thread racing here loads the same module and stores the same address: harmless.
// The DLL comes from the system folder only. One that is missing (or lacks the function)
// does not end the program: its functions fail, and every caller already copes with a
// failing network, shell or version query. The caller's last-error value is kept, since
// a Winsock error is read right after the call that set it.
extern "C" FARPROC WINAPI __delayLoadHelper2(const DelayImportDescriptor* dll, FARPROC* slot) {
  DWORD lastError = GetLastError();
  char* base = reinterpret_cast<char*>(GetModuleHandleA(nullptr));
  HMODULE* module = reinterpret_cast<HMODULE*>(base + dll->ModuleHandle);
  if (!*module) *module = LoadSystemLibrary(base + dll->DllName);
  int index = static_cast<int>(slot - reinterpret_cast<FARPROC*>(base + dll->AddressTable));
  DWORD name = reinterpret_cast<DWORD*>(base + dll->NameTable)[index];
  // A name entry is a hint and the name; with the high bit set, an ordinal instead.
  bool byOrdinal = name & IMAGE_ORDINAL_FLAG32;
  const char* function = byOrdinal ? MAKEINTRESOURCEA(name & 0xFFFF) : base + name + 2;
  FARPROC address = *module ? GetProcAddress(*module, function) : nullptr;
  if (!address && !byOrdinal) address = StandIn(function);
  // Only a build fault gets here: a function the stand-ins' list does not name.
  if (!address) FatalError("A system function is missing");
  *slot = address;
  SetLastError(lastError);
  return address;
}
