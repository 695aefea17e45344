#include "base/placement.h"

#include <climits>

namespace kv {
namespace {

bool isSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// One "%d": true when a number was read.
bool scanInt(std::u16string_view s, size_t& i, int& out) {
  while (i < s.size() && isSpace(s[i])) ++i;
  size_t j = i;
  bool negative = false;
  if (j < s.size() && (s[j] == u'+' || s[j] == u'-')) {
    negative = s[j] == u'-';
    ++j;
  }
  if (j >= s.size() || s[j] < u'0' || s[j] > u'9') return false;
  long long v = 0;
  for (; j < s.size() && s[j] >= u'0' && s[j] <= u'9'; ++j) {
    if (v <= static_cast<long long>(INT_MAX) + 1) v = v * 10 + (s[j] - u'0');
  }
  if (negative) v = -v;
  out = v > INT_MAX ? INT_MAX : (v < INT_MIN ? INT_MIN : static_cast<int>(v));
  i = j;
  return true;
}

}  // namespace

std::optional<int> parseLeadingInt(std::u16string_view text) {
  size_t i = 0;
  int v = 0;
  if (!scanInt(text, i, v)) return std::nullopt;
  return v;
}

Placement parsePlacement(std::u16string_view entry) {
  Placement p;
  int* fields[] = {&p.x, &p.y, &p.w, &p.h};
  size_t i = 0;
  for (int f = 0; f < 4; ++f) {
    if (f > 0) {
      if (i >= entry.size() || entry[i] != u',') break;
      ++i;
    }
    if (!scanInt(entry, i, *fields[f])) break;
  }
  return p;
}

}  // namespace kv
