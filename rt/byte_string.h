// Reference-counted, length-prefixed 8-bit strings with value semantics.
// All text in exitpoll is ANSI bytes; nothing here knows about character sets.
#pragma once

class ByteString {
public:
  ByteString() : rep_(nullptr) {}
  ByteString(const char* text);  // up to the first NUL; null gives the empty string
  ByteString(const char* data, int length);
  ByteString(const ByteString& other);
  ByteString(ByteString&& other) noexcept : rep_(other.rep_) { other.rep_ = nullptr; }
  ~ByteString();

  ByteString& operator=(const ByteString& other);
  ByteString& operator=(ByteString&& other) noexcept;

  // A string of `length` bytes, unshared and ready to be written through MutableData.
  static ByteString OfLength(int length);

  int Length() const;
  bool IsEmpty() const { return Length() == 0; }
  // Never null; always followed by a terminating zero byte.
  const char* Data() const;
  char operator[](int index) const { return Data()[index]; }
  // Makes the bytes private to this value first (copy on write).
  char* MutableData();

  // Bytes [start, start + count), clamped to the string.
  ByteString Mid(int start, int count) const;
  ByteString Left(int count) const { return Mid(0, count); }
  ByteString From(int start) const { return Mid(start, Length()); }
  // Index of the first `c` at or after `from`, or -1.
  int Find(char c, int from = 0) const;
  bool StartsWith(const char* prefix) const;

  void Append(const char* data, int length);
  ByteString& operator+=(const ByteString& other);
  ByteString& operator+=(const char* text);
  ByteString& operator+=(char c);
  // Shortens the string to `length` bytes (no effect when already shorter).
  void Truncate(int length);
  void Clear();

  bool operator==(const ByteString& other) const;
  bool operator==(const char* text) const;
  bool operator!=(const ByteString& other) const { return !(*this == other); }
  bool operator!=(const char* text) const { return !(*this == text); }

private:
  struct Rep;
  static Rep* NewRep(int capacity);
  static void Release(Rep* rep);
  explicit ByteString(Rep* rep) : rep_(rep) {}
  void Reserve(int capacity);

  Rep* rep_;  // null for the empty string
};

ByteString operator+(const ByteString& a, const ByteString& b);
ByteString operator+(const ByteString& a, const char* b);
ByteString operator+(const char* a, const ByteString& b);
