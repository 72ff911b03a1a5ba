// The program's resources, compiled into this test exactly as into exitpoll.exe: the icon
// group loads at both sizes and the version record names the program.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "exitpoll_version.h"  // the numbers of VERSION, as the build hands them to the record

namespace {

TEST(Resources, IconGroupLoadsAtBothSizes) {
  for (int size : {16, 32}) {
    HICON icon = static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), "MAINICON", IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP mask = {};
    GetObjectA(info.hbmMask, sizeof mask, &mask);
    EXPECT_EQ(mask.bmWidth, size);
    DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DestroyIcon(icon);
  }
  EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), "MAINICON"), nullptr);
}

std::string VersionString(const std::vector<char>& block, const char* name) {
  char* value = nullptr;
  UINT length = 0;
  std::string key = std::string("\\StringFileInfo\\040904E4\\") + name;
  if (!VerQueryValueA(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
    return "<missing>";
  return std::string(value);
}

TEST(Resources, VersionRecordNamesTheProgram) {
  char path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof path), 0u);
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));

  EXPECT_EQ(VersionString(block, "ProductName"), "exitpoll");
  EXPECT_EQ(VersionString(block, "FileDescription"), "Uninstall survey");
  EXPECT_EQ(VersionString(block, "OriginalFilename"), "exitpoll.exe");
  EXPECT_EQ(VersionString(block, "LegalCopyright"), "Copyright (c) 2026 the exitpoll authors");
  EXPECT_EQ(VersionString(block, "FileVersion"), EXITPOLL_VERSION_TEXT);
  EXPECT_EQ(VersionString(block, "ProductVersion"), EXITPOLL_VERSION_TEXT);

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  // The fixed numbers that Windows compares say the same as the texts that it shows.
  unsigned major = 0, minor = 0, patch = 0;
  ASSERT_EQ(std::sscanf(EXITPOLL_VERSION_TEXT, "%u.%u.%u", &major, &minor, &patch), 3);
  EXPECT_EQ(fixed->dwFileVersionMS, major << 16 | minor);
  EXPECT_EQ(fixed->dwFileVersionLS, patch << 16);
  EXPECT_EQ(fixed->dwProductVersionMS, major << 16 | minor);
  EXPECT_EQ(fixed->dwProductVersionLS, patch << 16);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

}  // namespace
