// Text to number, for the port of a URL and the status code of a reply line.
#pragma once

#include "rt/byte_string.h"

// The number at the start of `text`: an optional "-" or "+", then decimal digits up to the
// first other byte. No white space is skipped; no digits give 0. Values beyond 32 bits wrap
// modulo 2^32.
int DecimalValue(const ByteString& text);
