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
constexpr unsigned kFirstWindows11Build = 22000;

// The NT versions after XP, each to follow "Windows ", in the order LaterWindowsName
// counts them: 5.2 server, then workstation (XP Professional x64 Edition, which keeps the
// designed name); 6.0 to 6.3, workstation then server; 10.0 before and from build 22000;
// the servers of 10.0 by build.
const char kLaterNames[] =
    "Server 2003\0XP\0"
    "Vista\0Server 2008\0"
    "7\0Server 2008 R2\0"
    "8\0Server 2012\0"
    "8.1\0Server 2012 R2\0"
    "10\0"
    "11\0"
    "Server 2016\0Server 2019\0Server 2022\0Server 2025";
// The first build of each server of 10.0 after 2016 (14393).
const unsigned kServerBuilds[] = {17763, 20348, 26100};

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

ByteString LaterWindowsName(unsigned platformId, unsigned major, unsigned minor, unsigned build,
                            unsigned productType) {
  int server = productType > 1;  // a domain controller is a server too
  int index = -1;
  if (platformId == kPlatformNt) {
    if (major == 5 && minor == 2) index = !server;
    if (major == 6 && minor <= 3) index = 2 + 2 * minor + server;
    if (major == 10 && minor == 0) {
      index = build < kFirstWindows11Build ? 10 : 11;
      if (server) {
        index = 12;
        for (unsigned first : kServerBuilds) index += build >= first;
      }
    }
  }
  if (index < 0) return WindowsVersionNames[WindowsUnknown];
  const char* name = kLaterNames;
  while (index--)
    while (*name++) {
    }
  return ByteString("Windows ") + name;
}
