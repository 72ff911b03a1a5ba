// Finds system functions at run time for the opt-in parts that older Windows lacks.
#include "app/late_bound.h"

#include "rt/system_library.h"

void* LateBound(const char* library, const char* function) {
  HMODULE module = LoadSystemLibrary(library);
  return module ? reinterpret_cast<void*>(GetProcAddress(module, function)) : nullptr;
}
