#include "skin/mask_outline.h"

#include <algorithm>

namespace kv {
namespace {

struct Range {
  uint8_t lo, hi;
  bool contains(uint8_t v) const { return v >= lo && v <= hi; }
};

Range rangeOf(uint8_t key, uint8_t tolerance) {
  return {key, static_cast<uint8_t>(std::min(255, key + tolerance))};
}

}  // namespace

std::vector<OutlineRect> outlineRuns(std::span<const uint8_t> pixels, int width, int height, Rgb key,
                                     Rgb tolerance) {
  std::vector<OutlineRect> out;
  if (width <= 0 || height <= 0) return out;
  const size_t rowBytes = static_cast<size_t>(width) * 4;
  if (pixels.size() / rowBytes < static_cast<size_t>(height)) return out;
  // A DIB pixel is stored blue, green, red: each byte is compared with its
  // own channel of the key.
  const Range b = rangeOf(key.b, tolerance.b), g = rangeOf(key.g, tolerance.g), r = rangeOf(key.r, tolerance.r);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = pixels.data() + static_cast<size_t>(height - 1 - y) * rowBytes;
    int x = 0;
    while (x < width) {
      auto inKey = [&](int px) {
        const uint8_t* p = row + static_cast<size_t>(px) * 4;
        return b.contains(p[0]) && g.contains(p[1]) && r.contains(p[2]);
      };
      while (x < width && inKey(x)) ++x;
      if (x >= width) break;
      int x0 = x;
      while (x < width && !inKey(x)) ++x;
      out.push_back({x0, y, x, y + 1});
    }
  }
  return out;
}

}  // namespace kv
