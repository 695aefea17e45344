#include "model/key_navigation.h"

#include <cstdlib>
#include <limits>

namespace kv {
namespace {

// Centres doubled, so that halves stay whole numbers.
int centreX2(const NavButton& b) { return b.left + b.right; }
int centreY2(const NavButton& b) { return b.top + b.bottom; }
bool inRowOf(const NavButton& from, const NavButton& b) {
  int y2 = centreY2(b);
  return y2 >= 2 * from.top && y2 < 2 * from.bottom;
}

}  // namespace

int neighbourButton(std::span<const NavButton> buttons, int fromId, NavMove move) {
  const NavButton* from = nullptr;
  for (const NavButton& b : buttons)
    if (b.id == fromId) from = &b;
  if (!from) return 0;
  const int fx = centreX2(*from), fy = centreY2(*from);
  const NavButton* best = nullptr;
  long long bestScore = std::numeric_limits<long long>::max();
  auto consider = [&](const NavButton& b, long long score) {
    if (score < bestScore) {
      bestScore = score;
      best = &b;
    }
  };
  switch (move) {
    case NavMove::kLeft:
    case NavMove::kRight:
    case NavMove::kRowStart:
    case NavMove::kRowEnd:
      for (const NavButton& b : buttons) {
        if (&b == from || !inRowOf(*from, b)) continue;
        int dx = centreX2(b) - fx;
        bool left = move == NavMove::kLeft || move == NavMove::kRowStart;
        if (left ? dx >= 0 : dx <= 0) continue;
        // The nearest for a step, the farthest for the row's end.
        bool step = move == NavMove::kLeft || move == NavMove::kRight;
        consider(b, step ? std::abs(dx) : -static_cast<long long>(std::abs(dx)));
      }
      break;
    case NavMove::kUp:
    case NavMove::kDown: {
      // The nearest row that way: the smallest vertical distance of a
      // button's centre, then every button whose centre lies within that
      // button's height.
      const NavButton* nearest = nullptr;
      for (const NavButton& b : buttons) {
        int dy = centreY2(b) - fy;
        if (move == NavMove::kUp ? dy >= 0 : dy <= 0) continue;
        if (inRowOf(*from, b)) continue;
        if (!nearest || std::abs(dy) < std::abs(centreY2(*nearest) - fy)) nearest = &b;
      }
      if (!nearest) break;
      for (const NavButton& b : buttons)
        if (inRowOf(*nearest, b)) consider(b, std::abs(centreX2(b) - fx));
      break;
    }
  }
  return best ? best->id : 0;
}

}  // namespace kv
