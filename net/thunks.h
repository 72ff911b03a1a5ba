// Method thunks: tiny pieces of generated i686 code that turn a Win32 window procedure
// call into a call of a bound method, and the hidden UtilityWindow built on them.
#pragma once

#include <windows.h>

#include "rt/object.h"

// What a thunked window procedure hands to its bound method. Result starts at 0 and
// becomes the window procedure's return value.
struct WindowMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

using WindowMethod = BoundMethod<WindowMessage*>;

// Thunk blocks: 4096 bytes each, executable and read-only except while one is written;
// 101 thunks of 13 bytes.
constexpr int kThunkBlockSize = 4096;
constexpr int kThunkSlotsPerBlock = 101;
constexpr int kThunkSlotSize = 13;
constexpr int kFirstThunkSlot = 10;

// Returns a window procedure that calls code(object, &message) for every message; null
// when no executable memory can be had.
WNDPROC AllocateMethodThunk(void (*code)(void*, WindowMessage*), void* object);
// Puts a thunk back on the free list; when none is left in use, every block is released.
// Null, and anything that is not a thunk in use, is ignored.
void ReleaseMethodThunk(WNDPROC thunk);

// The allocator's state, for tests and the benchmark: the newest block (each block's first
// four bytes link to the one made before it), the first free thunk, and the thunks in use.
void* ThunkBlockList();
void* ThunkFreeList();
int LiveThunkCount();

// A hidden popup window of the class "SockUtilWindow" whose messages go to `method`.
// Messages sent while the window is created go to DefWindowProcA; an unassigned method
// leaves the window with DefWindowProcA for good. Null when the window or, for an assigned
// method, its thunk cannot be made.
HWND CreateUtilityWindowHandle(WindowMethod method);
// Destroys the window (its destruction messages still reach the method) and releases
// its thunk.
void DestroyUtilityWindowHandle(HWND window);

// Owns one utility window for as long as the object lives.
class UtilityWindow : public RefObject {
public:
  void Dispose() override;

  HWND Handle;
};

UtilityWindow* CreateUtilityWindow(WindowMethod method);
