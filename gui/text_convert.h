// The toolkit's text-to-number conversion.
#pragma once

#include "rt/byte_string.h"

// The number at the start of `text`: an optional "-" or "+", then decimal digits up to the
// first other byte. No white space is skipped; no digits give 0. Values beyond 32 bits wrap
// modulo 2^32.
int DecimalValue(const ByteString& text);
