// Scanning placement entries ("%d,%d,%d,%d" with 1 for what is missing).
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "base/placement.h"
#include "base/text_table.h"

namespace kv {
namespace {

TEST(Placement, EntriesScanLikeTheFormat) {
  struct Case {
    std::u16string entry;
    Placement expected;
  };
  const Case cases[] = {
      {u"10,20,30,40", {10, 20, 30, 40}},
      {u"10,20,30,40,junk", {10, 20, 30, 40}},  // anything after the fourth is ignored
      {u"10,20,30,40junk", {10, 20, 30, 40}},
      {u"1,1,1,1,x", {1, 1, 1, 1}},             // the default entry
      {u"5,6", {5, 6, 1, 1}},                   // fewer than four: 1 for the rest
      {u"5", {5, 1, 1, 1}},
      {u"", {1, 1, 1, 1}},
      {u"junk", {1, 1, 1, 1}},
      {u"  7,\t8, 9,10", {7, 8, 9, 10}},        // blanks before a number
      {u"7 ,8,9,10", {7, 1, 1, 1}},             // but not before a comma
      {u"-4,+3,20,-2", {-4, 3, 20, -2}},
      {u"3,,4,5", {3, 1, 1, 1}},
      {u"3,-,4,5", {3, 1, 1, 1}},
      {u"99999999999999999999,-99999999999999999999,0,0", {INT_MAX, INT_MIN, 0, 0}},
      {u"2147483647,-2147483648,1,2", {INT_MAX, INT_MIN, 1, 2}},
  };
  for (const Case& c : cases) EXPECT_EQ(parsePlacement(c.entry), c.expected) << toUtf8(c.entry);
}

TEST(Placement, MissingMeansXAndYBothOne) {
  EXPECT_TRUE(placementMissing(parsePlacement(kPlacementDefault)));
  EXPECT_TRUE(placementMissing({1, 1, 50, 50}));
  EXPECT_FALSE(placementMissing({1, 2, 1, 1}));
  EXPECT_FALSE(placementMissing({0, 1, 1, 1}));
}

// A skinned window is its picture: an entry must lie inside it, or the
// control is treated as not in the skin.
TEST(Placement, EntriesOutsideTheWindowCountAsMissing) {
  constexpr int kWidth = 1160, kHeight = 620;
  struct Case {
    Placement entry;
    bool within;
  };
  const Case cases[] = {
      {{1120, 14, 32, 28}, true},
      {{0, 0, kWidth, kHeight}, true},          // the whole picture, exactly
      {{1, 1, 1, 1}, true},                     // the default entry
      {{1130, 14, 32, 28}, false},              // past the right edge
      {{10, 600, 20, 21}, false},               // past the bottom
      {{-4, 3, 20, 20}, false},
      {{5, -1, 20, 20}, false},
      {{10, 10, 0, 20}, false},                 // no width
      {{10, 10, 20, -2}, false},
      {{0, 0, 100000, 100000}, false},          // over everything and more
      {{50000, 50000, 20, 20}, false},          // off the window
      {{INT_MAX, INT_MAX, INT_MAX, INT_MAX}, false},  // must not wrap into range
      {{10, 10, INT_MAX, INT_MAX}, false},
  };
  for (const Case& c : cases) {
    const Placement& e = c.entry;
    SCOPED_TRACE(std::to_string(e.x) + "," + std::to_string(e.y) + "," + std::to_string(e.w) + "," +
                 std::to_string(e.h));
    EXPECT_EQ(placementWithin(e, kWidth, kHeight), c.within);
    Placement placed = placementInWindow(e, kWidth, kHeight);
    EXPECT_EQ(placed, c.within ? e : Placement{});
    if (!c.within) {
      EXPECT_TRUE(placementMissing(placed));
    }
  }
  EXPECT_FALSE(placementWithin({1, 1, 1, 1}, 0, 0)) << "nothing fits a window without area";
}

// A drop-down list's entry is as high as its opened list, which may reach
// below the picture (the shipped effect list: 124,470,196,320 in a window
// 640 high); only its selection field has to lie within the window.
TEST(Placement, DropDownListsNeedOnlyTheirFieldInsideTheWindow) {
  constexpr int kWidth = 1180, kHeight = 640;
  const Placement effectList{124, 470, 196, 320};
  EXPECT_FALSE(placementWithin(effectList, kWidth, kHeight));
  EXPECT_EQ(placementInWindow(effectList, kWidth, kHeight, 24), effectList) << "placed with its list height";
  EXPECT_EQ(placementInWindow({124, 630, 196, 320}, kWidth, kHeight, 24), Placement{}) << "field below the bottom";
  EXPECT_EQ(placementInWindow({1170, 470, 196, 320}, kWidth, kHeight, 24), Placement{}) << "field past the edge";
  EXPECT_EQ(placementInWindow({124, 470, 196, 20}, kWidth, kHeight, 24), (Placement{124, 470, 196, 20}));
  EXPECT_EQ(placementInWindow(effectList, kWidth, kHeight, 0), Placement{}) << "0: all of it must fit";
}

TEST(Placement, LeadingInteger) {
  EXPECT_EQ(parseLeadingInt(u"0"), 0);
  EXPECT_EQ(parseLeadingInt(u" 12abc"), 12);
  EXPECT_EQ(parseLeadingInt(u"-3"), -3);
  EXPECT_FALSE(parseLeadingInt(u""));
  EXPECT_FALSE(parseLeadingInt(u"x1"));
  EXPECT_FALSE(parseLeadingInt(u"-"));
}

}  // namespace
}  // namespace kv
