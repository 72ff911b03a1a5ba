// The fatal error report on the host build.
#include "rt/fatal.h"

#include <stdio.h>
#include <stdlib.h>

void FatalError(const char* message) {
  fprintf(stderr, "Fatal error: %s\n", message);
  fflush(stderr);
  _Exit(kFatalExitCode);
}
