// The run-time's heap. Allocation failure is fatal: no caller checks for null.
#pragma once
#include <stddef.h>

void* MemAlloc(size_t size);
// Keeps the first min(old, new) bytes; a null block behaves like MemAlloc.
void* MemRealloc(void* block, size_t size);
void MemFree(void* block);  // null is ignored
