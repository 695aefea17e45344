// Runs of outline pixels found in a 32-bit bottom-up mask.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "skin/mask_outline.h"

namespace kv {
namespace {

// A picture given top row first as text: '.' white (cut away), '#' black,
// 'a' RGB(254,255,255), 'b' RGB(255,255,254), 'r' pure red. Stored bottom-up
// as blue, green, red, unused.
std::vector<uint8_t> picture(const std::vector<std::string>& rows) {
  const size_t w = rows[0].size(), h = rows.size();
  std::vector<uint8_t> px(w * h * 4);
  for (size_t y = 0; y < h; ++y) {
    for (size_t x = 0; x < w; ++x) {
      uint8_t r = 255, g = 255, b = 255;
      switch (rows[y][x]) {
        case '#': r = g = b = 0; break;
        case 'a': r = 254; break;
        case 'b': b = 254; break;
        case 'r': g = b = 0; break;
        default: break;
      }
      uint8_t* p = px.data() + ((h - 1 - y) * w + x) * 4;
      p[0] = b;
      p[1] = g;
      p[2] = r;
      p[3] = 0;
    }
  }
  return px;
}

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kExact{0, 0, 0};

TEST(MaskOutline, RunsOfEveryRowFromTheTop) {
  auto px = picture({"##..#", "....."});
  px.push_back(0);  // extra bytes do not matter
  auto runs = outlineRuns(px, 5, 2, kWhite, kExact);
  EXPECT_EQ(runs, (std::vector<OutlineRect>{{0, 0, 2, 1}, {4, 0, 5, 1}}));
  auto low = outlineRuns(picture({".....", ".###."}), 5, 2, kWhite, kExact);
  EXPECT_EQ(low, (std::vector<OutlineRect>{{1, 1, 4, 1 + 1}}));
}

TEST(MaskOutline, OnlyTheKeyRangeIsCut) {
  auto px = picture({".ab.r"});
  EXPECT_EQ(outlineRuns(px, 5, 1, kWhite, kExact), (std::vector<OutlineRect>{{1, 0, 3, 1}, {4, 0, 5, 1}}));
  // A tolerance widens the key range per channel; it is capped at 255.
  EXPECT_EQ(outlineRuns(px, 5, 1, Rgb{254, 255, 254}, Rgb{1, 10, 1}), (std::vector<OutlineRect>{{4, 0, 5, 1}}));
  // Each byte is compared with its own channel: red key keeps white, cuts red.
  EXPECT_EQ(outlineRuns(px, 5, 1, Rgb{255, 0, 0}, kExact), (std::vector<OutlineRect>{{0, 0, 4, 1}}));
}

TEST(MaskOutline, AllWhiteGivesNothing) {
  EXPECT_TRUE(outlineRuns(picture({"...", "..."}), 3, 2, kWhite, kExact).empty());
}

TEST(MaskOutline, BadSizesGiveNothing) {
  auto px = picture({"###"});
  EXPECT_TRUE(outlineRuns(px, 3, 2, kWhite, kExact).empty());  // buffer too small
  EXPECT_TRUE(outlineRuns(px, 0, 1, kWhite, kExact).empty());
  EXPECT_TRUE(outlineRuns(px, 3, -1, kWhite, kExact).empty());
  EXPECT_TRUE(outlineRuns({}, 3, 1, kWhite, kExact).empty());
}

TEST(MaskOutline, ManyRunsAreAllFound) {
  std::string row;
  for (int i = 0; i < 300; ++i) row += "#.";
  std::vector<std::string> rows(10, row);
  auto runs = outlineRuns(picture(rows), 600, 10, kWhite, kExact);
  ASSERT_EQ(runs.size(), 3000u);
  EXPECT_GT(runs.size(), kOutlineBatchRects);
  EXPECT_EQ(runs.back(), (OutlineRect{598, 9, 599, 10}));
}

}  // namespace
}  // namespace kv
