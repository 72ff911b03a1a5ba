// The ANSI code page's side of the conversions: the system's own tables, present on every
// Windows this program runs on.
#include <windows.h>

#include "app/text_code.h"

namespace {

ByteString WideOfAnsi(const ByteString& ansi) {
  int units =
      ansi.IsEmpty() ? 0 : MultiByteToWideChar(CP_ACP, 0, ansi.Data(), ansi.Length(), nullptr, 0);
  ByteString wide = ByteString::OfLength(units * 2);
  if (units > 0)
    MultiByteToWideChar(CP_ACP, 0, ansi.Data(), ansi.Length(),
                        reinterpret_cast<WCHAR*>(wide.MutableData()), units);
  return wide;
}

}  // namespace

bool AnsiOfUtf8(const ByteString& utf8, ByteString& ansi) {
  ByteString wide;
  if (!Utf16OfUtf8(utf8, wide)) return false;
  const WCHAR* units = reinterpret_cast<const WCHAR*>(wide.Data());
  int count = wide.Length() / 2;
  int length =
      count ? WideCharToMultiByte(CP_ACP, 0, units, count, nullptr, 0, nullptr, nullptr) : 0;
  ansi = ByteString::OfLength(length);
  if (length > 0)
    WideCharToMultiByte(CP_ACP, 0, units, count, ansi.MutableData(), length, nullptr, nullptr);
  // A character the code page lacks becomes "?" or a look-alike ("a" for "ä" on some
  // systems, without saying so): only a text that converts back unchanged can be shown.
  return WideOfAnsi(ansi) == wide;
}

ByteString Utf8OfAnsi(const ByteString& ansi) {
  ByteString wide = WideOfAnsi(ansi);
  return Utf8OfUtf16(reinterpret_cast<const uint16_t*>(wide.Data()), wide.Length() / 2);
}
