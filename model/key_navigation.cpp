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
      for (const NavButton& b : buttons) {
        if (&b == from || !inRowOf(*from, b)) continue;
        int dx = centreX2(b) - fx;
        if (move == NavMove::kLeft ? dx >= 0 : dx <= 0) continue;
        consider(b, std::abs(dx));
      }
      break;
    case NavMove::kRowStart:
    case NavMove::kRowEnd: {
      // Step by step while the buttons touch (a gap of a quarter of a key at
      // most): the end of the block of keys, not a G key or the keypad
      // across a gap.
      const NavMove step = move == NavMove::kRowStart ? NavMove::kLeft : NavMove::kRight;
      const int maxGap = (from->bottom - from->top) / 4;
      const NavButton* at = from;
      for (size_t guard = 0; guard < buttons.size(); ++guard) {
        int nextId = neighbourButton(buttons, at->id, step);
        const NavButton* next = nullptr;
        for (const NavButton& b : buttons)
          if (b.id == nextId) next = &b;
        if (!next) break;
        int gap = step == NavMove::kLeft ? at->left - next->right : next->left - at->right;
        if (gap > maxGap) break;
        at = next;
      }
      if (at != from) best = at;
      break;
    }
    case NavMove::kUp:
    case NavMove::kDown: {
      // The nearest row that way among the buttons above or below this one
      // (overlapping it across), the nearest centre in it; with none
      // overlapping (a G key at the side), the nearest anywhere that way.
      for (bool across : {true, false}) {
        for (const NavButton& b : buttons) {
          int dy = centreY2(b) - fy;
          if (move == NavMove::kUp ? dy >= 0 : dy <= 0) continue;
          if (inRowOf(*from, b)) continue;
          if (across && !(b.left < from->right && b.right > from->left)) continue;
          consider(b, static_cast<long long>(std::abs(dy)) * 0x10000 + std::abs(centreX2(b) - fx));
        }
        if (best) break;
      }
      break;
    }
  }
  return best ? best->id : 0;
}

}  // namespace kv
