// The Windows version decision over the five values the system reports, and the names sent.
#include "app/windows_version.h"

#include <gtest/gtest.h>

#include <string>

#include "support/byte_strings.h"

namespace {

struct VersionCase {
  const char* why;
  unsigned platform;
  unsigned major;
  unsigned minor;
  const char* servicePack;
  unsigned kernel;
  WindowsVersion version;
};

TEST(ClassifyWindowsVersion, DecisionTable) {
  const VersionCase cases[] = {
      {"95", 1, 4, 0, "", 0, Windows95},
      {"95 OSR 2, padded B", 1, 4, 0, " B ", 0, Windows95Osr2},
      {"95 OSR 2, B with control bytes", 1, 4, 0, "\tB\r\n", 0, Windows95Osr2},
      {"95, C", 1, 4, 0, "C", 0, Windows95},
      {"95, lower-case b", 1, 4, 0, "b", 0, Windows95},
      {"95, BB", 1, 4, 0, "BB", 0, Windows95},
      {"95, B inside text", 1, 4, 0, "B x", 0, Windows95},
      {"95, minor 9", 1, 4, 9, " B ", 0, Windows95Osr2},
      {"95 family ignores major", 1, 7, 0, "", 0, Windows95},
      {"98", 1, 4, 10, "", 0, Windows98},
      {"98SE", 1, 4, 10, " A ", 0, Windows98SE},
      {"98, B is no OSR here", 1, 4, 10, "B", 0, Windows98},
      {"98, lower-case a", 1, 4, 10, "a", 0, Windows98},
      {"98 minor 89", 1, 4, 89, "", 0, Windows98},
      {"ME from kernel version", 1, 4, 10, " A ", 0x0004005A, WindowsME},
      {"kernel 4.10 changes nothing", 1, 4, 10, "", 0x0004000A, Windows98},
      {"kernel 4.90 ignored below minor 10", 1, 4, 0, "", 0x0004005A, Windows95},
      {"ME", 1, 4, 90, " ", 0, WindowsME},
      {"ME whatever the kernel says", 1, 4, 90, "", 0x0004000A, WindowsME},
      {"95 family above 90", 1, 4, 91, "", 0, WindowsUnknown},
      {"95 family huge minor", 1, 4, 0xFFFFFFFF, "", 0, WindowsUnknown},
      {"NT 3.1", 2, 3, 1, "", 0, WindowsNT31},
      {"NT 3.5", 2, 3, 5, "", 0, WindowsNT35},
      {"NT 3.51", 2, 3, 51, "Service Pack 5", 0, WindowsNT351},
      {"NT 3.50 is minor 50", 2, 3, 50, "", 0, WindowsUnknown},
      {"NT 3.0", 2, 3, 0, "", 0, WindowsUnknown},
      {"NT 4.0", 2, 4, 0, "Service Pack 6a", 0, WindowsNT4},
      {"NT 4.10", 2, 4, 10, "", 0, WindowsNT4},
      {"2000", 2, 5, 0, "Service Pack 4", 0, Windows2000},
      {"XP", 2, 5, 1, "Service Pack 3", 0, WindowsXP},
      {"2003", 2, 5, 2, "Service Pack 2", 0, WindowsUnknown},
      {"Vista", 2, 6, 0, "", 0, WindowsUnknown},
      {"10 as Wine reports it", 2, 6, 2, "", 0, WindowsUnknown},
      {"NT 10.0", 2, 10, 0, "", 0, WindowsUnknown},
      {"NT major 2", 2, 2, 0, "", 0, WindowsUnknown},
      {"NT ignores kernel version", 2, 4, 10, "", 0x0004005A, WindowsNT4},
      {"Win32s", 0, 3, 1, "", 0, WindowsUnknown},
      {"Windows CE", 3, 4, 0, "", 0, WindowsUnknown},
      {"nothing read yet", 0, 0, 0, "", 0, WindowsUnknown},
  };
  for (const VersionCase& c : cases)
    EXPECT_EQ(c.version,
              ClassifyWindowsVersion(c.platform, c.major, c.minor, c.servicePack, c.kernel))
        << c.why;
}

// The names of the versions past XP, from the true version record, as Windows=named sends
// them; product type 1 is a workstation, 2 a domain controller, 3 a server.
TEST(LaterWindowsName, DecisionTable) {
  const struct {
    unsigned platform, major, minor, build, productType;
    const char* name;
  } cases[] = {
      {2, 5, 2, 3790, 3, "Windows Server 2003"},
      {2, 5, 2, 3790, 1, "Windows XP"},  // XP Professional x64 Edition shares the version
      {2, 5, 2, 3790, 2, "Windows Server 2003"},
      {2, 6, 0, 6002, 1, "Windows Vista"},
      {2, 6, 0, 6002, 3, "Windows Server 2008"},
      {2, 6, 1, 7601, 1, "Windows 7"},
      {2, 6, 1, 7601, 2, "Windows Server 2008 R2"},
      {2, 6, 2, 9200, 1, "Windows 8"},
      {2, 6, 2, 9200, 3, "Windows Server 2012"},
      {2, 6, 3, 9600, 1, "Windows 8.1"},
      {2, 6, 3, 9600, 3, "Windows Server 2012 R2"},
      {2, 10, 0, 10240, 1, "Windows 10"},
      {2, 10, 0, 21999, 1, "Windows 10"},
      {2, 10, 0, 22000, 1, "Windows 11"},
      {2, 10, 0, 26100, 1, "Windows 11"},
      {2, 10, 0, 10240, 3, "Windows Server 2016"},  // its previews
      {2, 10, 0, 14393, 3, "Windows Server 2016"},
      {2, 10, 0, 17134, 3, "Windows Server 2016"},  // a semi-annual release before 2019
      {2, 10, 0, 17763, 3, "Windows Server 2019"},
      {2, 10, 0, 20347, 2, "Windows Server 2019"},
      {2, 10, 0, 20348, 3, "Windows Server 2022"},
      {2, 10, 0, 26100, 2, "Windows Server 2025"},
      {2, 10, 0, 26200, 3, "Windows Server 2025"},
      {2, 10, 0, 19045, 0, "Windows 10"},  // no product type: a workstation
      {2, 6, 4, 9800, 1, "Unknown"},
      {2, 10, 1, 22000, 1, "Unknown"},
      {2, 11, 0, 30000, 1, "Unknown"},
      {2, 5, 3, 0, 1, "Unknown"},
      {2, 0x100 + 6, 1, 7601, 1, "Unknown"},  // no wrap to a byte
      {1, 6, 1, 7601, 1, "Unknown"},
      {0, 10, 0, 22000, 1, "Unknown"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.name, Str(LaterWindowsName(c.platform, c.major, c.minor, c.build, c.productType)))
        << c.platform << " " << c.major << "." << c.minor << "." << c.build << " type "
        << c.productType;
}

TEST(WindowsVersionNames, ExactNamesSent) {
  const char* const expected[kWindowsVersionCount] = {
      "Unknown",       "Windows 95",  "Windows 95 OSR 2", "Windows 98",
      "Windows 98SE",  "Windows ME",  "Windows NT31",     "Windows NT35",
      "Windows NT351", "Windows NT4", "Windows 2000",     "Windows XP",
  };
  for (int i = 0; i < kWindowsVersionCount; ++i)
    EXPECT_STREQ(expected[i], WindowsVersionNames[i]) << i;
  EXPECT_EQ(11, WindowsXP);
}

}  // namespace
