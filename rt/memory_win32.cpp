// The heap on Windows: the process heap, so that no C run-time allocator is linked in.
#include <windows.h>

#include "rt/fatal.h"
#include "rt/memory.h"

void* MemAlloc(size_t size) {
  void* block = HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
  if (!block) FatalError("Out of memory");
  return block;
}

void* MemRealloc(void* block, size_t size) {
  if (!block) return MemAlloc(size);
  void* grown = HeapReAlloc(GetProcessHeap(), 0, block, size ? size : 1);
  if (!grown) FatalError("Out of memory");
  return grown;
}

void MemFree(void* block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}
