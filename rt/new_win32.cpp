// Linked into exitpoll.exe only: C++ allocation over the run-time's heap, and the
// pure-virtual trap, so that the C++ library's own versions (and what they drag in)
// stay out of the program.
#include <stddef.h>

#include "rt/fatal.h"
#include "rt/memory.h"

void* operator new(size_t size) {
  return MemAlloc(size);
}
void* operator new[](size_t size) {
  return MemAlloc(size);
}
void operator delete(void* block) noexcept {
  MemFree(block);
}
void operator delete[](void* block) noexcept {
  MemFree(block);
}
void operator delete(void* block, size_t) noexcept {
  MemFree(block);
}
void operator delete[](void* block, size_t) noexcept {
  MemFree(block);
}

extern "C" void __cxa_pure_virtual() {
  FatalError("Pure virtual function called");
}
