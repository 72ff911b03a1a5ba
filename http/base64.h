// Base64 with the standard alphabet and padding, for the Authorization request line.
#pragma once

#include "rt/byte_string.h"

// Four characters for every three bytes or part of three, "=" padded, no line breaks.
ByteString Base64Encode(const ByteString& input);
