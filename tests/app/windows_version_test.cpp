// The version reader on the emulated systems: a probe program, copied under one name per
// Windows version, is given that version through Wine's per-program settings and run.
#include <windows.h>

#include "app/windows_version.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>

#include "support/child_process.h"

namespace {

// Sets or removes HKCU\Software\Wine\AppDefaults\<program>\Version.
bool SetProgramVersion(const std::string& program, const char* version) {
  std::string key = "Software\\Wine\\AppDefaults\\" + program;
  if (!version) return RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str()) == ERROR_SUCCESS;
  HKEY handle;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &handle, nullptr) != ERROR_SUCCESS)
    return false;
  LONG status = RegSetValueExA(handle, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                               DWORD(strlen(version) + 1));
  RegCloseKey(handle);
  return status == ERROR_SUCCESS;
}

TEST(WindowsVersionName, OnEachEmulatedVersion) {
  const struct {
    const char* mode;
    const char* name;
  } cases[] = {
      {"win95", "Windows 95"},    {"win98", "Windows 98SE"}, {"winme", "Windows ME"},
      {"nt351", "Windows NT351"}, {"nt40", "Windows NT4"},   {"win2k", "Windows 2000"},
      {"winxp", "Windows XP"},    {"win2003", "Unknown"},    {"vista", "Unknown"},
      {"win10", "Unknown"},
  };
  std::string folder = ProgramFolder();
  std::string probe = folder + "version_probe.exe";
  printf("Windows version mode -> name sent (platform major.minor \"service pack\" kernel)\n");
  for (const auto& c : cases) {
    std::string program = "exitpoll_version_" + std::string(c.mode) + ".exe";
    std::string copy = folder + program;
    ASSERT_TRUE(CopyFileA(probe.c_str(), copy.c_str(), FALSE)) << copy;
    ASSERT_TRUE(SetProgramVersion(program, c.mode));
    std::string output;
    {
      ChildProcess child;
      ASSERT_TRUE(child.Start("\"" + copy + "\"", true)) << copy;
      output = child.ReadOutput();
      EXPECT_EQ(0u, child.Wait(30000)) << c.mode;
    }
    SetProgramVersion(program, nullptr);
    DeleteFileA(copy.c_str());

    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    printf("  %-8s -> %s\n", c.mode, output.c_str());
    EXPECT_EQ(c.name, output.substr(0, output.find('\t'))) << c.mode;
  }
}

TEST(ReadVersionInfo, MatchesTheSystemRecord) {
  OSVERSIONINFOA record = {};
  record.dwOSVersionInfoSize = sizeof(record);
  ASSERT_TRUE(GetVersionExA(&record));
  DetectWindowsVersion();
  EXPECT_EQ(record.dwPlatformId, PlatformId);
  EXPECT_EQ(record.dwMajorVersion, MajorVersion);
  EXPECT_EQ(record.dwMinorVersion, MinorVersion);
  EXPECT_STREQ(record.szCSDVersion, ServicePackText.Data());
  EXPECT_EQ(record.dwPlatformId == VER_PLATFORM_WIN32_NT, IsNtPlatform);
  if (IsNtPlatform) {
    EXPECT_EQ(0u, KernelProductVersion);
  }
}

TEST(ReadFixedFileInfo, ReadsOnlyARealRootBlock) {
  char system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryA(system, sizeof(system)), 0u);
  VS_FIXEDFILEINFO info = {};
  ASSERT_TRUE(ReadFixedFileInfo(std::string(system).append("\\kernel32.dll").c_str(), info));
  EXPECT_EQ(0xFEEF04BDu, info.dwSignature);
  EXPECT_NE(0u, info.dwProductVersionMS);

  const char* unreadable[] = {"Z:\\no\\such\\file.dll", ""};
  for (const char* path : unreadable) {
    VS_FIXEDFILEINFO untouched;
    memset(&untouched, 0xAB, sizeof(untouched));
    EXPECT_FALSE(ReadFixedFileInfo(path, untouched)) << path;
    EXPECT_EQ(0xABABABABu, untouched.dwSignature) << path;
  }
  char self[MAX_PATH + 1];
  DWORD length = GetModuleFileNameA(nullptr, self, sizeof(self));
  VS_FIXEDFILEINFO untouched = {};
  EXPECT_FALSE(ReadFixedFileInfo(ByteString(self, int(length)), untouched))
      << "a program without a version resource";
}

}  // namespace
