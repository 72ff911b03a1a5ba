// Which Windows family runs the program; the painters pick their drawing path by it.
#pragma once

enum OsFamily : unsigned char {
  kOsOther = 0,  // Win32s
  kOsWin95 = 1,
  kOsWin98 = 2,  // 98 and ME
  kOsNt4 = 3,    // NT up to 4.x
  kOsWin2000 = 4,
  kOsWinXp = 5,  // XP and later
};

// The decision from GetVersionExA's platform id and version numbers (pure).
OsFamily ClassifyVersion(unsigned platform, unsigned major, unsigned minor);
// ClassifyVersion of the running system (Windows only).
OsFamily ClassifyWindows();
