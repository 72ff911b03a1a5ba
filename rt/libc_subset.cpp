// The few C library functions that exitpoll.exe's code and the compiler's own calls need.
// The program links no C run-time DLL (Windows 95 has none); these take their place. Kept
// small rather than fast: the program moves a few kilobytes in its whole life.
#include <stddef.h>

// A test builds this file under other names and checks it against the platform's library.
#ifndef LIBC_SUBSET_NAME
#define LIBC_SUBSET_NAME(name) name
#endif

extern "C" {

void* LIBC_SUBSET_NAME(memcpy)(void* to, const void* from, size_t count) {
  unsigned char* out = static_cast<unsigned char*>(to);
  const unsigned char* in = static_cast<const unsigned char*>(from);
  while (count--) *out++ = *in++;
  return to;
}

void* LIBC_SUBSET_NAME(memmove)(void* to, const void* from, size_t count) {
  unsigned char* out = static_cast<unsigned char*>(to);
  const unsigned char* in = static_cast<const unsigned char*>(from);
  if (out <= in || out >= in + count) {
    while (count--) *out++ = *in++;
  } else {  // the target overlaps the source's tail: copy from the end
    while (count--) out[count] = in[count];
  }
  return to;
}

void* LIBC_SUBSET_NAME(memset)(void* to, int value, size_t count) {
  unsigned char* out = static_cast<unsigned char*>(to);
  while (count--) *out++ = static_cast<unsigned char>(value);
  return to;
}

int LIBC_SUBSET_NAME(memcmp)(const void* a, const void* b, size_t count) {
  const unsigned char* x = static_cast<const unsigned char*>(a);
  const unsigned char* y = static_cast<const unsigned char*>(b);
  for (; count; --count, ++x, ++y)
    if (*x != *y) return *x < *y ? -1 : 1;
  return 0;
}

void* LIBC_SUBSET_NAME(memchr)(const void* block, int value, size_t count) {
  const unsigned char* p = static_cast<const unsigned char*>(block);
  for (; count; --count, ++p)
    if (*p == static_cast<unsigned char>(value)) return const_cast<unsigned char*>(p);
  return nullptr;
}

size_t LIBC_SUBSET_NAME(strlen)(const char* text) {
  const char* end = text;
  while (*end) ++end;
  return size_t(end - text);
}

char* LIBC_SUBSET_NAME(strchr)(const char* text, int value) {
  // The terminator counts as part of the text: looking for 0 finds it.
  for (;; ++text) {
    if (*text == static_cast<char>(value)) return const_cast<char*>(text);
    if (!*text) return nullptr;
  }
}

char* LIBC_SUBSET_NAME(strcpy)(char* to, const char* from) {
  char* out = to;
  while ((*out++ = *from++)) {
  }
  return to;
}

// Pads with zeros to `count`; a source of `count` bytes or more leaves no terminator.
char* LIBC_SUBSET_NAME(strncpy)(char* to, const char* from, size_t count) {
  size_t i = 0;
  for (; i < count && from[i]; ++i) to[i] = from[i];
  for (; i < count; ++i) to[i] = 0;
  return to;
}

int LIBC_SUBSET_NAME(strncmp)(const char* a, const char* b, size_t count) {
  for (; count; --count, ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
  return 0;
}

}  // extern "C"
