// A second unit with a global of its own: units are constructed in the reverse of their
// order in the link, as with the compiler's own start-up code.
#include "startup_probe.h"

Tracer gThird("b");
