// Test helper: byte strings to and from std::string, every byte kept (NUL bytes too), so
// that test expectations compare and print whole values.
#pragma once

#include <string>

#include "rt/byte_string.h"

inline std::string Str(const ByteString& s) {
  return std::string(s.Data(), s.Length());
}

inline ByteString Bytes(const std::string& s) {
  return ByteString(s.data(), int(s.size()));
}
