// The Windows version decision over the values the version queries report.
#include "app/windows_version.h"

const char* const WindowsVersionNames[kWindowsVersionCount] = {
    "Unknown",      "Windows 95",   "Windows 95 OSR 2", "Windows 98",  "Windows 98SE", "Windows ME",
    "Windows NT31", "Windows NT35", "Windows NT351",    "Windows NT4", "Windows 2000", "Windows XP",
};

namespace {

constexpr unsigned kPlatformWindows = 1;  // the Windows 95 family
constexpr unsigned kPlatformNt = 2;
constexpr unsigned kKernelVersionME = 0x0004005A;  // 4.90

// True when `text` without its leading and trailing bytes of 32 or below is exactly `letter`.
bool TrimmedIs(const ByteString& text, char letter) {
  const unsigned char* data = reinterpret_cast<const unsigned char*>(text.Data());
  int start = 0;
  int end = text.Length();
  while (start < end && data[start] <= 32) ++start;
  while (end > start && data[end - 1] <= 32) --end;
  return end - start == 1 && data[start] == static_cast<unsigned char>(letter);
}

WindowsVersion ClassifyWindows9x(unsigned minor, const ByteString& servicePackText,
                                 unsigned kernelProductVersion) {
  if (minor < 10) return TrimmedIs(servicePackText, 'B') ? Windows95Osr2 : Windows95;
  if (minor < 90) {
    if (kernelProductVersion == kKernelVersionME) return WindowsME;
    return TrimmedIs(servicePackText, 'A') ? Windows98SE : Windows98;
  }
  return minor == 90 ? WindowsME : WindowsUnknown;
}

WindowsVersion ClassifyNt(unsigned major, unsigned minor) {
  switch (major) {
    case 3:
      switch (minor) {
        case 1:
          return WindowsNT31;
        case 5:
          return WindowsNT35;
        case 51:
          return WindowsNT351;
      }
      return WindowsUnknown;
    case 4:
      return WindowsNT4;
    case 5:
      switch (minor) {
        case 0:
          return Windows2000;
        case 1:
          return WindowsXP;
      }
      return WindowsUnknown;
  }
  return WindowsUnknown;
}

}  // namespace

WindowsVersion ClassifyWindowsVersion(unsigned platformId, unsigned major, unsigned minor,
                                      const ByteString& servicePackText,
                                      unsigned kernelProductVersion) {
  if (platformId == kPlatformWindows)
    return ClassifyWindows9x(minor, servicePackText, kernelProductVersion);
  if (platformId == kPlatformNt) return ClassifyNt(major, minor);
  return WindowsUnknown;
}
