// Start-up and finalisation of exitpoll.exe without the C run-time: the static
// constructors the linker gathered, and the exit functions they registered.
#include "rt/startup.h"

#include "rt/fatal.h"

// The linker's table of static constructors: -1, the entries, 0.
extern "C" void (*__CTOR_LIST__[])();

namespace {

// Registered by static constructors (the destructors of globals); a handful at most.
constexpr int kMaxExitFunctions = 32;
void (*gExitFunctions[kMaxExitFunctions])();
int gExitFunctionCount;

}  // namespace

// The compiler registers each global's destructor here from its constructor.
extern "C" int atexit(void (*function)()) {
  if (gExitFunctionCount == kMaxExitFunctions) FatalError("Too many exit functions");
  gExitFunctions[gExitFunctionCount++] = function;
  return 0;
}

void RunStaticConstructors() {
  int count = 0;
  while (__CTOR_LIST__[count + 1]) ++count;
  // The last entry first, the order the compiler's own start-up code keeps.
  for (int i = count; i >= 1; --i) __CTOR_LIST__[i]();
}

void RunExitFunctions() {
  while (gExitFunctionCount > 0) gExitFunctions[--gExitFunctionCount]();
}
