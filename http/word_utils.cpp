// Word counting and extraction over byte strings (bytes compared by exact value).
#include "http/word_utils.h"

int WordCount(const ByteString& text, char separator) {
  const char* data = text.Data();
  int length = text.Length();
  int count = 0;
  bool inside = false;
  for (int i = 0; i < length; ++i) {
    if (data[i] == separator) {
      inside = false;
    } else if (!inside) {
      inside = true;
      ++count;
    }
  }
  return count;
}

ByteString ExtractWord(const ByteString& text, char separator, int number) {
  const char* data = text.Data();
  int length = text.Length();
  int start = 0;
  if (number > 0) {
    // Find the first byte of the number-th word; running out of text means no such word.
    int count = 0;
    bool inside = false;
    start = -1;
    for (int i = 0; i < length; ++i) {
      if (data[i] == separator) {
        inside = false;
      } else if (!inside) {
        inside = true;
        if (++count == number) {
          start = i;
          break;
        }
      }
    }
    if (start < 0) return ByteString();
  }
  int end = text.Find(separator, start);
  if (end < 0) end = length;
  return text.Mid(start, end - start);
}
