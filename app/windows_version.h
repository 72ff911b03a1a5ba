// Which Windows the applet runs on, by name, for the report's "os" value. The decision
// over the five version values is pure; the rest reads them from the running system.
#pragma once

#include "rt/byte_string.h"

enum WindowsVersion {
  WindowsUnknown = 0,
  Windows95 = 1,
  Windows95Osr2 = 2,
  Windows98 = 3,
  Windows98SE = 4,
  WindowsME = 5,
  WindowsNT31 = 6,
  WindowsNT35 = 7,
  WindowsNT351 = 8,
  WindowsNT4 = 9,
  Windows2000 = 10,
  WindowsXP = 11,
};

constexpr int kWindowsVersionCount = 12;

// The names sent in the report, indexed by WindowsVersion.
extern const char* const WindowsVersionNames[kWindowsVersionCount];

// Classifies the OS version record's platform, major and minor version and service-pack
// text, and the kernel library's product version (major << 16 | minor; 0 when unknown).
WindowsVersion ClassifyWindowsVersion(unsigned platformId, unsigned major, unsigned minor,
                                      const ByteString& servicePackText,
                                      unsigned kernelProductVersion);

// The name of a version that ClassifyWindowsVersion calls "Unknown", from the true version
// record (not the one GetVersionExA makes up for a program without a manifest): platform,
// major, minor, build and product type (1 workstation, 2 domain controller, 3 server).
// "Unknown" where it knows none.
ByteString LaterWindowsName(unsigned platformId, unsigned major, unsigned minor, unsigned build,
                            unsigned productType);

// The running system (Win32 only). ReadVersionInfo refreshes the version globals; a failed
// version query keeps their previous values (0 and empty at start).
extern unsigned PlatformId;
extern unsigned MajorVersion;
extern unsigned MinorVersion;
extern ByteString ServicePackText;
extern bool IsNtPlatform;
extern unsigned KernelProductVersion;

struct tagVS_FIXEDFILEINFO;  // VS_FIXEDFILEINFO of <windows.h>

void ReadVersionInfo();
// Fills `info` from the root block of the file's version resource; false, leaving `info`
// alone, when the file has none or its root block is not exactly a VS_FIXEDFILEINFO.
bool ReadFixedFileInfo(const ByteString& path, tagVS_FIXEDFILEINFO& info);
WindowsVersion DetectWindowsVersion();
// `named`: a version past the designed names is named from RtlGetVersion's record
// (LaterWindowsName); otherwise it stays "Unknown".
ByteString WindowsVersionName(bool named = false);
