// Case folding of byte strings for the HTTP client's scheme test.
#pragma once

#include "rt/byte_string.h"

// A copy of `text` with the ASCII letters a to z made capital; every other byte, those
// above 127 included, is copied unchanged.
ByteString UpperCase(const ByteString& text);
