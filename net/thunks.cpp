// Method thunks in executable blocks, and the hidden utility window whose window
// procedure is such a thunk.
#include "net/thunks.h"

#include <string.h>

// Layout of a block:   0  link to the block made before it
//                      4  pop ecx; jmp ThunkEntry      (the stub every thunk calls)
//                     10  101 thunks of 13 bytes
// Layout of a thunk:   0  call <block stub>
//                      5  while in use: the method's code; while free: the next free thunk
//                      9  the method's object
// The call pushes the address of the thunk's offset 5 and the stub pops it into ECX, so
// ThunkEntry finds the window procedure's own arguments untouched on the stack.

namespace {

constexpr int kStubOffset = 4;
constexpr int kStubSize = 6;
constexpr int kCallSize = 5;
constexpr unsigned char kPopEcx = 0x59;
constexpr unsigned char kJmpRel32 = 0xE9;
constexpr unsigned char kCallRel32 = 0xE8;

unsigned char* gThunkBlockList;
unsigned char* gThunkFreeList;
int gLiveThunkCount;

const char kUtilityClassName[] = "SockUtilWindow";
// The window procedure and instance are filled in before each use: a static initializer
// would take the address of the import stub, not of DefWindowProcA itself.
WNDCLASSA gUtilityWindowClass = {0,       nullptr, 0,       0,       nullptr,
                                 nullptr, nullptr, nullptr, nullptr, kUtilityClassName};

void PutInt(unsigned char* at, LONG_PTR value) {
  memcpy(at, &value, 4);
}

void* GetPointer(const unsigned char* at) {
  void* value;
  memcpy(&value, at, 4);
  return value;
}

// A standard window procedure of the thunk's code: builds a WindowMessage record on its
// own stack, calls code(object, &record) (cdecl) and returns record.Result, removing the
// four arguments. On entry ECX points at the thunk's code and object.
extern "C" __attribute__((naked, used)) void ThunkEntry() {
  asm volatile(
      "pushl %ebp\n\t"
      "movl %esp, %ebp\n\t"
      "pushl $0\n\t"        // Result
      "pushl 20(%ebp)\n\t"  // LParam
      "pushl 16(%ebp)\n\t"  // WParam
      "pushl 12(%ebp)\n\t"  // Msg
      "movl %esp, %eax\n\t"
      "pushl %eax\n\t"     // &record
      "pushl 4(%ecx)\n\t"  // object
      "call *(%ecx)\n\t"   // code
      "movl -4(%ebp), %eax\n\t"
      "leave\n\t"
      "ret $16\n\t");
}

// Thunk memory is never writable and executable at once (Arbitrary Code Guard refuses
// such memory, and endpoint protection flags it): a block is read-write only while it is
// being written, executable and read-only otherwise. False when the change is refused.
bool MakeWritable(unsigned char* block) {
  DWORD was;
  return VirtualProtect(block, kThunkBlockSize, PAGE_READWRITE, &was);
}

bool MakeExecutable(unsigned char* block) {
  DWORD was;
  if (!VirtualProtect(block, kThunkBlockSize, PAGE_EXECUTE_READ, &was)) return false;
  FlushInstructionCache(GetCurrentProcess(), block, kThunkBlockSize);
  return true;
}

// Blocks come from VirtualAlloc, which aligns them far beyond their size.
unsigned char* BlockOf(unsigned char* slot) {
  return reinterpret_cast<unsigned char*>(reinterpret_cast<LONG_PTR>(slot) & -kThunkBlockSize);
}

// False when no memory is given or it cannot be made executable: then there is no thunk.
bool AddThunkBlock() {
  auto* block = static_cast<unsigned char*>(
      VirtualAlloc(nullptr, kThunkBlockSize, MEM_COMMIT, PAGE_READWRITE));
  if (!block) return false;
  PutInt(block, reinterpret_cast<LONG_PTR>(gThunkBlockList));
  block[kStubOffset] = kPopEcx;
  block[kStubOffset + 1] = kJmpRel32;
  PutInt(block + kStubOffset + 2, reinterpret_cast<LONG_PTR>(&ThunkEntry) -
                                      reinterpret_cast<LONG_PTR>(block + kStubOffset + kStubSize));
  unsigned char* freeList = gThunkFreeList;
  for (int i = 0; i < kThunkSlotsPerBlock; ++i) {
    unsigned char* slot = block + kFirstThunkSlot + i * kThunkSlotSize;
    slot[0] = kCallRel32;
    PutInt(slot + 1, reinterpret_cast<LONG_PTR>(block + kStubOffset) -
                         reinterpret_cast<LONG_PTR>(slot + kCallSize));
    PutInt(slot + 5, reinterpret_cast<LONG_PTR>(freeList));
    freeList = slot;
  }
  if (!MakeExecutable(block)) {
    VirtualFree(block, 0, MEM_RELEASE);
    return false;
  }
  gThunkFreeList = freeList;
  gThunkBlockList = block;
  return true;
}

// True when `p` is the start of a thunk inside one of the live blocks.
bool IsThunk(const unsigned char* p) {
  for (unsigned char* block = gThunkBlockList; block;
       block = static_cast<unsigned char*>(GetPointer(block))) {
    LONG_PTR offset = p - block;
    if (offset >= kFirstThunkSlot &&
        offset < kFirstThunkSlot + kThunkSlotsPerBlock * kThunkSlotSize)
      return (offset - kFirstThunkSlot) % kThunkSlotSize == 0;
  }
  return false;
}

// True when `slot` is on the free list: released already, so not to be released again.
bool IsFreeThunk(const unsigned char* slot) {
  for (unsigned char* entry = gThunkFreeList; entry;
       entry = static_cast<unsigned char*>(GetPointer(entry + 5)))
    if (entry == slot) return true;
  return false;
}

}  // namespace

WNDPROC AllocateMethodThunk(void (*code)(void*, WindowMessage*), void* object) {
  if (!gThunkFreeList && !AddThunkBlock()) return nullptr;
  unsigned char* slot = gThunkFreeList;
  unsigned char* block = BlockOf(slot);
  if (!MakeWritable(block)) return nullptr;
  gThunkFreeList = static_cast<unsigned char*>(GetPointer(slot + 5));
  PutInt(slot + 5, reinterpret_cast<LONG_PTR>(code));
  PutInt(slot + 9, reinterpret_cast<LONG_PTR>(object));
  ++gLiveThunkCount;
  // Refused, the block's thunks could not run; the slot is counted as live, so that the
  // block is never released under the others.
  if (!MakeExecutable(block)) return nullptr;
  return reinterpret_cast<WNDPROC>(slot);
}

void ReleaseMethodThunk(WNDPROC thunk) {
  auto* slot = reinterpret_cast<unsigned char*>(thunk);
  // Only a thunk in use goes back on the list: a stray pointer would corrupt it, and a
  // second release would count another live thunk as gone and could free its block.
  if (!slot || gLiveThunkCount <= 0 || !IsThunk(slot) || IsFreeThunk(slot)) return;
  if (--gLiveThunkCount == 0) {
    while (gThunkBlockList) {
      unsigned char* block = gThunkBlockList;
      gThunkBlockList = static_cast<unsigned char*>(GetPointer(block));
      VirtualFree(block, 0, MEM_RELEASE);
    }
    gThunkFreeList = nullptr;
    return;
  }
  // A slot that cannot be written again stays out of use.
  unsigned char* block = BlockOf(slot);
  if (!MakeWritable(block)) return;
  PutInt(slot + 5, reinterpret_cast<LONG_PTR>(gThunkFreeList));
  gThunkFreeList = slot;
  MakeExecutable(block);
}

void* ThunkBlockList() {
  return gThunkBlockList;
}

void* ThunkFreeList() {
  return gThunkFreeList;
}

int LiveThunkCount() {
  return gLiveThunkCount;
}

HWND CreateUtilityWindowHandle(WindowMethod method) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  gUtilityWindowClass.lpfnWndProc = DefWindowProcA;
  gUtilityWindowClass.hInstance = instance;
  WNDCLASSA registered;
  bool reuse = false;
  if (GetClassInfoA(instance, kUtilityClassName, &registered)) {
    reuse = registered.lpfnWndProc == DefWindowProcA;
    if (!reuse) UnregisterClassA(kUtilityClassName, instance);
  }
  if (!reuse) RegisterClassA(&gUtilityWindowClass);

  HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, kUtilityClassName, "", WS_POPUP, 0, 0, 0, 0,
                                nullptr, nullptr, instance, nullptr);
  // No window, no thunk: it could never be released through the window. No thunk, no
  // window: its messages would never reach the method (the socket then fails softly).
  if (window && method.Assigned()) {
    WNDPROC thunk = AllocateMethodThunk(method.Code, method.Object);
    if (!thunk) {
      DestroyWindow(window);
      return nullptr;
    }
    SetWindowLongA(window, GWL_WNDPROC, reinterpret_cast<LONG>(thunk));
  }
  return window;
}

void DestroyUtilityWindowHandle(HWND window) {
  auto procedure = reinterpret_cast<WNDPROC>(GetWindowLongA(window, GWL_WNDPROC));
  DestroyWindow(window);
  if (procedure != DefWindowProcA) ReleaseMethodThunk(procedure);
}

UtilityWindow* CreateUtilityWindow(WindowMethod method) {
  UtilityWindow* window = CreateObject<UtilityWindow>();
  window->Handle = CreateUtilityWindowHandle(method);
  return window;
}

void UtilityWindow::Dispose() {
  if (Handle) DestroyUtilityWindowHandle(Handle);
  Handle = nullptr;
  RefObject::Dispose();
}
