// Ends through the run-time's fatal error report, for the test that watches it.
#include "rt/fatal.h"

int main() {
  FatalError("some text");
}
