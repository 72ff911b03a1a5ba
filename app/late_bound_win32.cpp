// Finds system functions at run time for the opt-in parts that older Windows lacks.
#include "app/late_bound.h"

#include <windows.h>

void* LateBound(const char* library, const char* function) {
  HMODULE module = LoadLibraryA(library);
  return module ? reinterpret_cast<void*>(GetProcAddress(module, function)) : nullptr;
}
