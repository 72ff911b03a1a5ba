// Designed sizes at the system's DPI: the window is laid out in pixels at 96 DPI, and a
// program that declared itself DPI aware draws them at dpi / 96, rounded. Pure code.
#pragma once

constexpr int kDesignDpi = 96;

// `value` pixels at 96 DPI as pixels at `dpi`, rounded half away from zero, so that a
// negative value (a font's character height) scales like its positive twin.
constexpr int ScaledToDpi(int value, int dpi) {
  return (value * dpi + (value < 0 ? -kDesignDpi / 2 : kDesignDpi / 2)) / kDesignDpi;
}

// The inverse: `pixels` at `dpi` as pixels at 96 DPI, rounded the same way.
constexpr int UnscaledFromDpi(int pixels, int dpi) {
  return (pixels * kDesignDpi + (pixels < 0 ? -dpi / 2 : dpi / 2)) / dpi;
}
