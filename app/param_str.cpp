// The command-line splitting rule. The text ends at its first NUL byte, as a command line
// handed over by the system does.
#include "app/param_str.h"

namespace {

bool IsSeparator(char c) {
  return c != 0 && static_cast<unsigned char>(c) <= 32;
}

}  // namespace

ByteString ParamStrOf(const ByteString& commandLine, int index) {
  if (index < 0) return ByteString();
  const char* text = commandLine.Data();
  int length = commandLine.Find('\0');
  if (length < 0) length = commandLine.Length();

  int pos = 0;
  for (int found = 0;; ++found) {
    // Skip separators and empty quoted parameters.
    for (;;) {
      while (pos < length && IsSeparator(text[pos])) ++pos;
      if (pos + 1 < length && text[pos] == '"' && text[pos + 1] == '"') {
        pos += 2;
      } else {
        break;
      }
    }
    if (pos >= length) return ByteString();

    int start = pos;
    bool quoted = false;
    while (pos < length && (quoted || !IsSeparator(text[pos]))) {
      if (text[pos] == '"') quoted = !quoted;
      ++pos;
    }
    if (found < index) continue;

    int count = pos - start;
    if (count >= 2 && text[start] == '"' && text[pos - 1] == '"') {
      ++start;
      count -= 2;
    }
    return commandLine.Mid(start, count);
  }
}
