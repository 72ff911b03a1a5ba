// Reads the running system's version record and the kernel library's product version, and
// where asked the true version record of the NT versions after XP.
#include <windows.h>

#include "app/late_bound.h"
#include "app/windows_version.h"
#include "rt/memory.h"

unsigned PlatformId;
unsigned MajorVersion;
unsigned MinorVersion;
ByteString ServicePackText;
bool IsNtPlatform;
unsigned KernelProductVersion;

static_assert(sizeof(VS_FIXEDFILEINFO) == 52, "the fixed file-version record is 52 bytes");
static_assert(sizeof(OSVERSIONINFOA) == 148, "the OS version record is 148 bytes");

bool ReadFixedFileInfo(const ByteString& path, VS_FIXEDFILEINFO& info) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path.Data(), &handle);
  if (size == 0) return false;
  void* block = MemAlloc(size);
  bool ok = false;
  void* root = nullptr;
  UINT rootLength = 0;
  if (GetFileVersionInfoA(path.Data(), 0, size, block) &&
      VerQueryValueA(block, "\\", &root, &rootLength) && rootLength == sizeof(info)) {
    info = *static_cast<VS_FIXEDFILEINFO*>(root);
    ok = true;
  }
  MemFree(block);
  return ok;
}

void ReadVersionInfo() {
  OSVERSIONINFOA record = {};
  record.dwOSVersionInfoSize = sizeof(record);
  if (GetVersionExA(&record)) {
    PlatformId = record.dwPlatformId;
    MajorVersion = record.dwMajorVersion;
    MinorVersion = record.dwMinorVersion;
    int length = 0;
    while (length < static_cast<int>(sizeof(record.szCSDVersion)) &&
           record.szCSDVersion[length] != 0)
      ++length;
    ServicePackText = ByteString(record.szCSDVersion, length);
  }
  IsNtPlatform = PlatformId == VER_PLATFORM_WIN32_NT;

  char path[MAX_PATH + 1];
  DWORD pathLength = GetModuleFileNameA(GetModuleHandleA("kernel32.dll"), path, sizeof(path));
  // A full buffer means a cut-off path, which would name some other file.
  bool havePath = pathLength > 0 && pathLength < sizeof(path);
  VS_FIXEDFILEINFO info;
  if (!IsNtPlatform && havePath && ReadFixedFileInfo(ByteString(path, pathLength), info))
    KernelProductVersion = info.dwProductVersionMS;
  else
    KernelProductVersion = 0;
}

WindowsVersion DetectWindowsVersion() {
  ReadVersionInfo();
  return ClassifyWindowsVersion(PlatformId, MajorVersion, MinorVersion, ServicePackText,
                                KernelProductVersion);
}

ByteString WindowsVersionName(bool named) {
  WindowsVersion version = DetectWindowsVersion();
  if (named && version == WindowsUnknown) {
    // GetVersionExA reports 6.2 on every later Windows to a program without a manifest;
    // ntdll's own record tells the truth. Windows 95 to ME have no RtlGetVersion.
    typedef LONG(WINAPI * RtlGetVersionFunction)(OSVERSIONINFOEXW*);
    RtlGetVersionFunction rtlGetVersion =
        reinterpret_cast<RtlGetVersionFunction>(LateBound("ntdll.dll", "RtlGetVersion"));
    OSVERSIONINFOEXW record;
    record.dwOSVersionInfoSize = sizeof(record);
    if (rtlGetVersion && rtlGetVersion(&record) == 0)
      return LaterWindowsName(record.dwPlatformId, record.dwMajorVersion, record.dwMinorVersion,
                              record.dwBuildNumber, record.wProductType);
  }
  return WindowsVersionNames[version];
}
