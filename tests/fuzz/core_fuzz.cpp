// Fuzzes the pure text functions of the report path: no crash, no sanitizer report, and
// the properties the HTTP client and the statistics server rely on.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "app/report.h"
#include "http/base64.h"
#include "http/url_parser.h"
#include "http/word_utils.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "property violated: %s\n", what);
    abort();
  }
}

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         strchr("!$'()*-.@_", c) != nullptr;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // upper-case digits are not what the server is promised
}

void CheckUrlEncode(const ByteString& text) {
  ByteString encoded = UrlEncode(text);
  Check(encoded.Length() <= 3 * text.Length(), "UrlEncode grows at most threefold");
  // Decoding gives back the text up to its first NUL.
  std::string decoded;
  const char* out = encoded.Data();
  for (int i = 0; i < encoded.Length(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (c == '%') {
      Check(i + 2 < encoded.Length(), "escape has two digits");
      int high = HexValue(out[i + 1]);
      int low = high < 0 ? -1 : HexValue(out[i + 2]);
      Check(high >= 0 && low >= 0, "escape digits are lower-case hex");
      decoded += static_cast<char>(high * 16 + low);
      i += 2;
    } else if (c == '+') {
      decoded += ' ';
    } else {
      Check(IsUnreserved(c), "only unreserved bytes pass unescaped");
      decoded += static_cast<char>(c);
    }
  }
  Check(decoded == std::string(text.Data()), "UrlEncode round-trips up to the first NUL");
}

void CheckBase64(const ByteString& input) {
  ByteString encoded = Base64Encode(input);
  Check(encoded.Length() == (input.Length() + 2) / 3 * 4, "Base64 length is 4 * ceil(n / 3)");
}

void CheckWords(const ByteString& text, char separator) {
  int count = WordCount(text, separator);
  std::string joined;
  for (int n = 1; n <= count + 1; ++n) {
    ByteString word = ExtractWord(text, separator, n);
    Check((n <= count) != word.IsEmpty(), "words 1..count exist, the next does not");
    Check(word.Find(separator) < 0, "a word holds no separator");
    joined.append(word.Data(), word.Length());
  }
  std::string rest;
  for (int i = 0; i < text.Length(); ++i)
    if (text[i] != separator) rest += text[i];
  Check(joined == rest, "the words are the text without its separators");
}

// Any host of letters, digits, "." and "-" followed by any path keeps both intact.
void CheckParseUrl(const ByteString& input) {
  static const char kHostBytes[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-";
  int split = input.Length() > 0 ? static_cast<unsigned char>(input[0]) % 32 : 0;
  ByteString host;
  for (int i = 1; i <= split && i < input.Length(); ++i)
    host += kHostBytes[static_cast<unsigned char>(input[i]) % 64];
  if (host.IsEmpty()) host = "h";
  ByteString path = "/" + input.From(split + 1);

  UrlParts parts = {"", 80, "", "", ""};
  ParseUrl("http://" + host + path, parts);
  Check(parts.Host == host, "ParseUrl keeps the host");
  Check(parts.Port == 80, "ParseUrl finds no port in the path");
  Check(parts.Path == path, "ParseUrl keeps the path");
  Check(parts.UserName.IsEmpty() && parts.Password.IsEmpty(), "no user in the path");

  UrlParts any = {"", 80, "", "", ""};
  ParseUrl(input, any);  // arbitrary text: only must not fail
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteString input(reinterpret_cast<const char*>(data), static_cast<int>(size));
  CheckUrlEncode(input);
  CheckBase64(input);
  CheckWords(input.From(1), size > 0 ? static_cast<char>(data[0]) : '/');
  CheckWords(input, '/');
  CheckParseUrl(input);
  return 0;
}
