// Placement entries of the skin description files: four decimal integers
// x, y, w, h separated by commas ("%d,%d,%d,%d"), anything after the fourth
// ignored. Portable: the Win32 side reads the entry, this scans it.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace kv {

struct Placement {
  int x = 1, y = 1, w = 1, h = 1;
  bool operator==(const Placement&) const = default;
};

// The entry read when the skin file has none: a 1×1 control at (1, 1).
inline constexpr std::u16string_view kPlacementDefault = u"1,1,1,1,x";
inline constexpr size_t kPlacementBufferChars = 260;

// Scans an entry as "%d,%d,%d,%d" does: each number may have leading white
// space and a sign; scanning stops at the first mismatch, and the numbers
// not reached keep 1 (the value of the default entry). Numbers beyond the
// range of int are clamped.
Placement parsePlacement(std::u16string_view entry);

// One "%d" at the start of a text (leading white space and a sign allowed,
// clamped to the range of int); none when the text does not start with a number.
std::optional<int> parseLeadingInt(std::u16string_view text);

// A control whose entry has x and y both 1 is not in the skin.
constexpr bool placementMissing(const Placement& p) { return p.x == 1 && p.y == 1; }

// Whether the entry's rectangle lies within a window (its skin picture) of
// width x height pixels, with a width and height of at least 1.
constexpr bool placementWithin(const Placement& p, int width, int height) {
  return p.x >= 0 && p.y >= 0 && p.w > 0 && p.h > 0 && static_cast<long long>(p.x) + p.w <= width &&
         static_cast<long long>(p.y) + p.h <= height;
}

// The entry as a window of width x height places it: one whose rectangle is
// not within the window counts as missing (the default entry), so a control
// placed off the window or over all of it cannot make the window unusable.
constexpr Placement placementInWindow(const Placement& p, int width, int height) {
  return placementWithin(p, width, height) ? p : Placement{};
}

// The same for a control of which only the top visibleHeight pixels show in
// the window: a drop-down list's entry is as high as its opened list, which
// opens as a window of its own and may reach below the skin picture, so only
// its selection field has to lie within the window.
constexpr Placement placementInWindow(const Placement& p, int width, int height, int visibleHeight) {
  Placement seen = p;
  if (visibleHeight > 0 && visibleHeight < seen.h) seen.h = visibleHeight;
  return placementWithin(seen, width, height) ? p : Placement{};
}

}  // namespace kv
