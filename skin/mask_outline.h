// The outline of a skinned window from its mask picture: every pixel whose
// colour lies outside the key range belongs to the window. Portable, so the
// run finding is tested natively; the Win32 side turns runs into a region.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kv {

struct OutlineRect {
  int32_t left, top, right, bottom;
  bool operator==(const OutlineRect&) const = default;
};

struct Rgb {
  uint8_t r, g, b;
};

// Regions are built from this many rectangles at a time and united.
inline constexpr size_t kOutlineBatchRects = 2000;

// pixels: a 32-bit bottom-up device-independent bitmap, width × height
// pixels of 4 bytes (blue, green, red, unused), rows without padding. The
// key range per channel is [key, min(255, key + tolerance)]. Rows are walked
// from the top of the picture (y = 0); each maximal run [x0, x1) of pixels
// outside the range gives the rectangle (x0, y, x1, y + 1). A buffer smaller
// than the picture, or a non-positive size, gives no rectangles.
std::vector<OutlineRect> outlineRuns(std::span<const uint8_t> pixels, int width, int height, Rgb key,
                                     Rgb tolerance);

}  // namespace kv
