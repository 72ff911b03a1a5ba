// Loads a delay-imported DLL at the first call into it (see cmake/DelayLoad.cmake): the
// program's start then waits only for the DLLs its window needs.
#include <windows.h>

#include "rt/fatal.h"

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

}  // namespace

// Called by the stub of a function whose address `slot` does not hold yet: fills the slot
// (so later calls go straight to the function) and returns the address for this call. A
// second thread racing here loads the same module and stores the same address: harmless.
// Every delay-loaded DLL is part of every Windows the program runs on; one that cannot be
// found, like a missing import before, ends the program.
extern "C" FARPROC WINAPI __delayLoadHelper2(const DelayImportDescriptor* dll, FARPROC* slot) {
  char* base = reinterpret_cast<char*>(GetModuleHandleA(nullptr));
  HMODULE* module = reinterpret_cast<HMODULE*>(base + dll->ModuleHandle);
  if (!*module) *module = LoadLibraryA(base + dll->DllName);
  FARPROC address = nullptr;
  if (*module) {
    int index = static_cast<int>(slot - reinterpret_cast<FARPROC*>(base + dll->AddressTable));
    DWORD name = reinterpret_cast<DWORD*>(base + dll->NameTable)[index];
    // A name entry is a hint and the name; with the high bit set, an ordinal instead.
    address = GetProcAddress(
        *module, (name & IMAGE_ORDINAL_FLAG32) ? MAKEINTRESOURCEA(name & 0xFFFF) : base + name + 2);
  }
  if (!address) FatalError("A system DLL or function is missing");
  *slot = address;
  return address;
}
