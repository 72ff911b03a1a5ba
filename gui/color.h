// Colour values of the toolkit: 0x00BBGGRR for an explicit colour, 0x80000000 + n for the
// system colour n. The arithmetic here is pure; ToColorRef asks the system.
#pragma once

#include <stdint.h>

using ColorValue = uint32_t;

constexpr ColorValue kSystemColorFlag = 0x80000000;
constexpr ColorValue kColorWindow = 0x80000005;
constexpr ColorValue kColorWindowText = 0x80000008;
constexpr ColorValue kColorButtonFace = 0x8000000F;
constexpr ColorValue kColorButtonShadow = 0x80000010;
constexpr ColorValue kColorGrayText = 0x80000011;
constexpr ColorValue kColorButtonHighlight = 0x80000014;
// An explicit colour.
constexpr ColorValue kColorWhite = 0x00FFFFFF;

inline bool IsSystemColor(ColorValue c) {
  return (c & kSystemColorFlag) != 0;
}

// 0x00BBGGRR <-> 0x00RRGGBB: a COLORREF and the byte order of a 32-bit DIB pixel.
inline uint32_t SwapRedBlue(uint32_t rgb) {
  return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

// Step i of an n-step gradient between two COLORREFs: each byte is
// from + (to - from) * i / n, truncated toward zero, so the last step (i = n - 1) stops
// one step short of `to`.
inline uint32_t GradientColor(uint32_t from, uint32_t to, int i, int n) {
  uint32_t result = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    int a = static_cast<int>((from >> shift) & 0xFF);
    int b = static_cast<int>((to >> shift) & 0xFF);
    int value = a + (b - a) * i / n;
    result |= (static_cast<uint32_t>(value) & 0xFF) << shift;
  }
  return result;
}

// GetSysColor(c & 0xFF) for a system colour, c itself otherwise (Windows only).
uint32_t ToColorRef(ColorValue c);
// ToColorRef with red and blue exchanged (Windows only).
inline uint32_t ToRgbQuad(ColorValue c) {
  return SwapRedBlue(ToColorRef(c));
}
