// UTF-8 to UTF-16 and back, by the rules of RFC 3629.
#include "app/text_code.h"

bool Utf16OfUtf8(const ByteString& utf8, ByteString& utf16) {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(utf8.Data());
  int length = utf8.Length();
  // Never more units than bytes.
  ByteString result = ByteString::OfLength(length * 2);
  uint16_t* out = reinterpret_cast<uint16_t*>(result.MutableData());
  int units = 0;
  for (int i = 0; i < length;) {
    uint32_t c = in[i++];
    int more = c < 0x80 ? 0 : c < 0xC2 ? -1 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : c < 0xF5 ? 3 : -1;
    if (more < 0 || i + more > length) return false;
    c &= 0x7F >> (more ? more + 1 : 0);  // the bits after the leading ones
    for (int k = 0; k < more; ++k, ++i) {
      if ((in[i] & 0xC0) != 0x80) return false;
      c = c << 6 | (in[i] & 0x3F);
    }
    // The shortest form only, and no surrogate or value past the last plane.
    static const uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (c < kLeast[more] || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) return false;
    if (c >= 0x10000) {
      c -= 0x10000;
      out[units++] = static_cast<uint16_t>(0xD800 | c >> 10);
      c = 0xDC00 | (c & 0x3FF);
    }
    out[units++] = static_cast<uint16_t>(c);
  }
  result.Truncate(units * 2);
  utf16 = result;
  return true;
}

ByteString Utf8OfUtf16(const uint16_t* units, int count) {
  ByteString result = ByteString::OfLength(count * 3);
  unsigned char* out = reinterpret_cast<unsigned char*>(result.MutableData());
  int length = 0;
  for (int i = 0; i < count; ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out[length++] = static_cast<unsigned char>(c);
      continue;
    }
    // A pair of surrogates took six bytes of room and needs four.
    static const unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    int more = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out[length++] = static_cast<unsigned char>(kLead[more] | c >> (6 * more));
    while (more--) out[length++] = static_cast<unsigned char>(0x80 | ((c >> (6 * more)) & 0x3F));
  }
  result.Truncate(length);
  return result;
}
