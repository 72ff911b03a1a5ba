// Byte strings: one heap block per distinct value, shared between copies until written.
#include "rt/byte_string.h"

#include <string.h>

#include "rt/memory.h"

struct ByteString::Rep {
  int refs;
  int length;
  int capacity;  // bytes available for text, not counting the terminating zero
  char text[1];
};

ByteString::Rep* ByteString::NewRep(int capacity) {
  auto* rep = static_cast<Rep*>(MemAlloc(sizeof(Rep) + capacity));
  rep->refs = 1;
  rep->length = 0;
  rep->capacity = capacity;
  rep->text[0] = 0;
  return rep;
}

void ByteString::Release(Rep* rep) {
  if (rep && --rep->refs == 0) MemFree(rep);
}

ByteString::ByteString(const char* text) : rep_(nullptr) {
  if (text) Append(text, static_cast<int>(strlen(text)));
}

ByteString::ByteString(const char* data, int length) : rep_(nullptr) {
  Append(data, length);
}

ByteString::ByteString(const ByteString& other) : rep_(other.rep_) {
  if (rep_) ++rep_->refs;
}

ByteString::~ByteString() {
  Release(rep_);
}

ByteString& ByteString::operator=(const ByteString& other) {
  if (other.rep_) ++other.rep_->refs;
  Release(rep_);
  rep_ = other.rep_;
  return *this;
}

ByteString& ByteString::operator=(ByteString&& other) noexcept {
  if (this != &other) {
    Release(rep_);
    rep_ = other.rep_;
    other.rep_ = nullptr;
  }
  return *this;
}

ByteString ByteString::OfLength(int length) {
  if (length <= 0) return ByteString();
  Rep* rep = NewRep(length);
  memset(rep->text, 0, length + 1);
  rep->length = length;
  return ByteString(rep);
}

int ByteString::Length() const {
  return rep_ ? rep_->length : 0;
}

const char* ByteString::Data() const {
  return rep_ ? rep_->text : "";
}

char* ByteString::MutableData() {
  if (!rep_) return const_cast<char*>("");  // nothing to write into an empty string
  Reserve(rep_->length);
  return rep_->text;
}

// Makes rep_ unshared with room for `capacity` bytes of text.
void ByteString::Reserve(int capacity) {
  if (rep_ && rep_->refs == 1 && rep_->capacity >= capacity) return;
  int length = Length();
  if (capacity < length) capacity = length;
  Rep* grown = NewRep(capacity);
  memcpy(grown->text, Data(), length + 1);
  grown->length = length;
  Release(rep_);
  rep_ = grown;
}

ByteString ByteString::Mid(int start, int count) const {
  int length = Length();
  if (start < 0) {
    count += start;
    start = 0;
  }
  if (start >= length || count <= 0) return ByteString();
  if (count > length - start) count = length - start;
  if (start == 0 && count == length) return *this;
  return ByteString(Data() + start, count);
}

int ByteString::Find(char c, int from) const {
  int length = Length();
  const char* text = Data();
  for (int i = from < 0 ? 0 : from; i < length; ++i)
    if (text[i] == c) return i;
  return -1;
}

bool ByteString::StartsWith(const char* prefix) const {
  int n = static_cast<int>(strlen(prefix));
  return n <= Length() && memcmp(Data(), prefix, n) == 0;
}

void ByteString::Append(const char* data, int length) {
  if (length <= 0) return;
  int old = Length();
  if (!rep_ || rep_->refs > 1 || rep_->capacity < old + length) {
    // Grow geometrically so that appending byte by byte stays linear.
    int wanted = old + length;
    int capacity = rep_ ? rep_->capacity + rep_->capacity / 2 : 0;
    if (rep_ && rep_->refs > 1) capacity = 0;
    // `data` may point into our own text: copy before the old block can go.
    Rep* grown = NewRep(capacity > wanted ? capacity : wanted);
    memcpy(grown->text, Data(), old);
    memcpy(grown->text + old, data, length);
    grown->length = old + length;
    grown->text[grown->length] = 0;
    Release(rep_);
    rep_ = grown;
    return;
  }
  memmove(rep_->text + old, data, length);
  rep_->length = old + length;
  rep_->text[rep_->length] = 0;
}

ByteString& ByteString::operator+=(const ByteString& other) {
  if (!rep_ && other.rep_) return *this = other;
  ByteString keep(other);  // other may be *this
  Append(keep.Data(), keep.Length());
  return *this;
}

ByteString& ByteString::operator+=(const char* text) {
  if (text) Append(text, static_cast<int>(strlen(text)));
  return *this;
}

ByteString& ByteString::operator+=(char c) {
  Append(&c, 1);
  return *this;
}

void ByteString::Truncate(int length) {
  if (length < 0) length = 0;
  if (length >= Length()) return;
  if (length == 0) {
    Clear();
    return;
  }
  Reserve(rep_->capacity);
  rep_->length = length;
  rep_->text[length] = 0;
}

void ByteString::Clear() {
  Release(rep_);
  rep_ = nullptr;
}

bool ByteString::operator==(const ByteString& other) const {
  return Length() == other.Length() && memcmp(Data(), other.Data(), Length()) == 0;
}

bool ByteString::operator==(const char* text) const {
  int n = text ? static_cast<int>(strlen(text)) : 0;
  return Length() == n && memcmp(Data(), text ? text : "", n) == 0;
}

ByteString operator+(const ByteString& a, const ByteString& b) {
  ByteString result(a);
  result += b;
  return result;
}

ByteString operator+(const ByteString& a, const char* b) {
  ByteString result(a);
  result += b;
  return result;
}

ByteString operator+(const char* a, const ByteString& b) {
  ByteString result(a);
  result += b;
  return result;
}
