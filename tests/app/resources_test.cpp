// The program's resources, compiled into this test exactly as into exitpoll.exe: the icon
// groups hold their images at the designed sizes and load at them, and the version record
// names the program.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/exitpoll_icons.h"
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

const void* Resource(const char* name, const char* type) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, name, type);
  return found ? LockResource(LoadResource(module, found)) : nullptr;
}

// The width an icon image records for itself: a PNG's in its header, a bitmap's in its
// BITMAPINFOHEADER.
int ImageWidth(const unsigned char* image) {
  if (std::memcmp(image, "\x89PNG", 4) == 0)
    return image[16] << 24 | image[17] << 16 | image[18] << 8 | image[19];
  return reinterpret_cast<const BITMAPINFOHEADER*>(image)->biWidth;
}

BOOL CALLBACK KeepFirstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR first) {
  *reinterpret_cast<std::string*>(first) = IS_INTRESOURCE(name) ? "#" : name;
  return FALSE;
}

// Each group holds an image of its own at each designed size and no other, which loads and
// draws the tile's blue where it lies, and the transparent corner as nothing.
TEST(Resources, IconGroupsHoldTheirSizes) {
  const struct {
    const char* name;
    std::vector<int> sizes;
  } groups[] = {
      {"MAINICON", {16, 32}},  // what Explorer and every Windows show for the program
      {MAKEINTRESOURCEA(EXITPOLL_SCALED_ICON), {48, 64}},  // the scaled window's big icon
  };
  for (const auto& group : groups) {
    SCOPED_TRACE(IS_INTRESOURCE(group.name) ? "scaled" : group.name);
    auto* directory = static_cast<const unsigned char*>(Resource(group.name, RT_GROUP_ICON));
    ASSERT_NE(directory, nullptr);
    EXPECT_EQ(directory[4] | directory[5] << 8, static_cast<int>(group.sizes.size()));
    for (int size : group.sizes) {
      int id = LookupIconIdFromDirectoryEx(const_cast<PBYTE>(directory), TRUE, size, size, 0);
      auto* image = static_cast<const unsigned char*>(Resource(MAKEINTRESOURCEA(id), RT_ICON));
      ASSERT_NE(image, nullptr) << size;
      EXPECT_EQ(ImageWidth(image), size) << "a native image, not a stretch";

      HICON icon = static_cast<HICON>(
          LoadImageA(GetModuleHandleA(nullptr), group.name, IMAGE_ICON, size, size, 0));
      ASSERT_NE(icon, nullptr) << size;
      HDC dc = CreateCompatibleDC(nullptr);
      HBITMAP canvas = CreateBitmap(size, size, 1, 32, nullptr);
      HGDIOBJ old = SelectObject(dc, canvas);
      RECT all = {0, 0, size, size};
      FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      EXPECT_TRUE(DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL));
      EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0xFF, 0xFF, 0xFF)) << size;
      EXPECT_EQ(GetPixel(dc, size / 4, size * 13 / 16), RGB(0x2A, 0x62, 0xB0)) << size;
      SelectObject(dc, old);
      DeleteObject(canvas);
      DeleteDC(dc);
      DestroyIcon(icon);
    }
  }
  // Named groups sort before numbered ones: the first, the one Explorer shows, is MAINICON.
  std::string first;
  EnumResourceNamesA(nullptr, RT_GROUP_ICON, &KeepFirstName, reinterpret_cast<LONG_PTR>(&first));
  EXPECT_EQ(first, "MAINICON");
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
