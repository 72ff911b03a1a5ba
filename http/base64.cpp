// Base64 encoding in one output buffer sized from the input length.
#include "http/base64.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

ByteString Base64Encode(const ByteString& input) {
  int length = input.Length();
  if (length == 0) return ByteString();
  ByteString output = ByteString::OfLength((length + 2) / 3 * 4);
  const unsigned char* in = reinterpret_cast<const unsigned char*>(input.Data());
  char* out = output.MutableData();
  int i = 0;
  for (; i + 3 <= length; i += 3) {
    unsigned group = (in[i] << 16) | (in[i + 1] << 8) | in[i + 2];
    *out++ = kAlphabet[(group >> 18) & 63];
    *out++ = kAlphabet[(group >> 12) & 63];
    *out++ = kAlphabet[(group >> 6) & 63];
    *out++ = kAlphabet[group & 63];
  }
  int rest = length - i;
  if (rest > 0) {
    unsigned group = in[i] << 16;
    if (rest == 2) group |= in[i + 1] << 8;
    *out++ = kAlphabet[(group >> 18) & 63];
    *out++ = kAlphabet[(group >> 12) & 63];
    *out++ = rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
    *out++ = '=';
  }
  return output;
}
