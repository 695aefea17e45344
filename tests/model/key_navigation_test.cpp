#include "model/key_navigation.h"

#include <gtest/gtest.h>

#include <vector>

namespace kv {
namespace {

// Three staggered rows of a keyboard (a key is 40 px wide) and a tall key
// beside them, as the picture draws them:
//        Tab  Q  W  E          Plus (two rows high)
//   G    Caps  A  S  Enter     Plus
//        Shift  Z  X
// G and G2 above it are small keys apart at the side (a gap of half a key).
enum Id { Tab = 1, Q, W, E, Caps, A, S, Enter, Shift, Z, X, Plus, G, G2 };
const std::vector<NavButton> kPicture = {
    {Tab, 0, 0, 60, 40},     {Q, 60, 0, 100, 40},     {W, 100, 0, 140, 40},   {E, 140, 0, 180, 40},
    {Caps, 0, 40, 70, 80},   {A, 70, 40, 110, 80},    {S, 110, 40, 150, 80},  {Enter, 150, 40, 230, 80},
    {Shift, 0, 80, 90, 120}, {Z, 90, 80, 130, 120},   {X, 130, 80, 170, 120}, {Plus, 300, 0, 340, 80},
    {G, -40, 45, -20, 75},   {G2, -40, 5, -20, 35},
};

TEST(KeyNavigation, MovesToTheNeighbourByPosition) {
  struct Case {
    const char* what;
    int from;
    NavMove move;
    int expected;
  } cases[] = {
      {"right in the row", A, NavMove::kRight, S},
      {"left in the row", A, NavMove::kLeft, Caps},
      {"up: the nearest centre of the row above", A, NavMove::kUp, Q},
      {"down: the nearest centre of the row below", A, NavMove::kDown, Z},
      {"up from a wide key", Enter, NavMove::kUp, E},
      {"row start", S, NavMove::kRowStart, Caps},
      {"row end: the block's end, not the key across the gap", A, NavMove::kRowEnd, Enter},
      {"row start: not the side key across the gap", A, NavMove::kRowStart, Caps},
      {"row end of the bottom row", Z, NavMove::kRowEnd, X},
      {"a key apart has no row ends", Plus, NavMove::kRowStart, 0},
      {"right still crosses a gap", Enter, NavMove::kRight, Plus},
      {"left still crosses a gap", Caps, NavMove::kLeft, G},
      {"up from a side key: the side key above, not the nearer row beside", G, NavMove::kUp, G2},
      {"down past the side key", Caps, NavMove::kDown, Shift},
      {"nothing above the top row", Q, NavMove::kUp, 0},
      {"nothing below the bottom row", X, NavMove::kDown, 0},
      {"nothing left of the row's start", G, NavMove::kLeft, 0},
      {"row start from the start", Caps, NavMove::kRowStart, 0},
      {"a button not in the picture", 99, NavMove::kRight, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(neighbourButton(kPicture, c.from, c.move), c.expected) << c.what;
  EXPECT_EQ(neighbourButton({}, A, NavMove::kRight), 0) << "an empty picture";
}

}  // namespace
}  // namespace kv
