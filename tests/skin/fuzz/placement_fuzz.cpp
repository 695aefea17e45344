// Placement entries come from skin files anyone can edit.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/placement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string entry;
  for (size_t i = 0; i + 1 < size; i += 2) entry.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  kv::Placement p = kv::parsePlacement(entry);
  (void)kv::placementMissing(p);
  // Whatever the entry, what is placed lies within the window.
  kv::Placement placed = kv::placementInWindow(p, 1160, 620);
  if (!kv::placementWithin(placed, 1160, 620)) __builtin_trap();
  (void)kv::parseLeadingInt(entry);
  // Byte-wide too: ANSI skin files.
  std::u16string narrow(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size);
  (void)kv::parsePlacement(narrow);
  return 0;
}
