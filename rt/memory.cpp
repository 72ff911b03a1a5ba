// The heap on the host build: the C library's, so that the sanitizers see every block.
#include "rt/memory.h"

#include <stdlib.h>

#include "rt/fatal.h"

void* MemAlloc(size_t size) {
  void* block = malloc(size ? size : 1);
  if (!block) FatalError("Out of memory");
  return block;
}

void* MemRealloc(void* block, size_t size) {
  void* grown = realloc(block, size ? size : 1);
  if (!grown) FatalError("Out of memory");
  return grown;
}

void MemFree(void* block) {
  free(block);
}
