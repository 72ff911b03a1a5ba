// Finds a value in a UTF-8 settings file and converts it for the window.
#include "app/utf8_profile.h"

#include <string.h>

namespace {

struct Span {
  const char* Data;
  int Length;
};

Span Trimmed(const char* data, int length) {
  while (length > 0 && static_cast<unsigned char>(*data) <= ' ') ++data, --length;
  while (length > 0 && static_cast<unsigned char>(data[length - 1]) <= ' ') --length;
  return {data, length};
}

bool IsName(Span span, const char* name) {
  for (int i = 0; i < span.Length; ++i) {
    char a = span.Data[i], b = name[i];
    if (a >= 'A' && a <= 'Z') a += 'a' - 'A';
    if (b >= 'A' && b <= 'Z') b += 'a' - 'A';
    if (a != b || b == 0) return false;
  }
  return name[span.Length] == 0;
}

}  // namespace

bool HasUtf8Mark(const ByteString& bytes) {
  return bytes.StartsWith("\xEF\xBB\xBF");
}

int ReadUtf8Profile(void* context, const char* section, const char* key, char* buffer, int size) {
  const Utf8Profile& profile = *static_cast<const Utf8Profile*>(context);
  buffer[0] = 0;
  const char* text = profile.Text.Data();
  int length = profile.Text.Length();
  bool inSection = false, found = false;
  ByteString value;
  for (int start = HasUtf8Mark(profile.Text) ? 3 : 0; start < length;) {
    int end = start;
    while (end < length && text[end] != '\n' && text[end] != '\r') ++end;
    Span line = Trimmed(text + start, end - start);
    start = end + 1;
    if (line.Length == 0 || line.Data[0] == ';') continue;
    if (line.Data[0] == '[') {
      const char* close = static_cast<const char*>(memchr(line.Data, ']', line.Length));
      inSection = close && IsName(Trimmed(line.Data + 1, int(close - line.Data) - 1), section);
      continue;
    }
    const char* equals = static_cast<const char*>(memchr(line.Data, '=', line.Length));
    if (!inSection || !equals) continue;
    Span raw = Trimmed(equals + 1, int(line.Data + line.Length - equals) - 1);
    ByteString shown;
    if (!profile.ToAnsi(ByteString(raw.Data, raw.Length), shown)) return 0;
    if (!found && IsName(Trimmed(line.Data, int(equals - line.Data)), key)) {
      value = shown;
      found = true;
    }
  }
  int copied = value.Length() < size - 1 ? value.Length() : size - 1;
  memcpy(buffer, value.Data(), copied);
  buffer[copied] = 0;
  return copied;
}
