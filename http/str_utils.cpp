// ASCII-only upper-casing: no locale or code page takes part.
#include "http/str_utils.h"

ByteString UpperCase(const ByteString& text) {
  ByteString result = text;
  int length = result.Length();
  const char* source = text.Data();
  int i = 0;
  while (i < length && !(source[i] >= 'a' && source[i] <= 'z')) ++i;
  if (i == length) return result;  // nothing to change: keep sharing the bytes
  char* data = result.MutableData();
  for (; i < length; ++i)
    if (data[i] >= 'a' && data[i] <= 'z') data[i] = static_cast<char>(data[i] - ('a' - 'A'));
  return result;
}
