// Program paths and text blocks of keys: one string slot per table entry,
// packed into one pool in profile files and apply snapshots.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "keys/key_action.h"

namespace kv {

struct KeyStringSlot {
  std::unique_ptr<char16_t[]> text;  // zero-terminated
  uint32_t byteLength = 0;           // 2 x characters + 2; 0 = empty slot
};

// Slot i belongs to entry i. Only LaunchProgram and TextBlock entries use theirs.
struct KeyStringStore {
  std::array<KeyStringSlot, kEntryCount> slots;
  size_t total = 0;  // running total of byteLength: the size of the packed pool

  std::u16string_view text(int index) const;
};

// The packed strings; its size is the store's running total.
using StringPool = std::vector<uint8_t>;

constexpr bool usesString(ActionType t) { return t == ActionType::LaunchProgram || t == ActionType::TextBlock; }

// Stores a copy of text (cut at an embedded zero) in the slot, replacing what
// it held. False, the slot empty, when the index is out of range or memory runs out.
[[nodiscard]] bool attachString(KeyStringStore& store, int index, std::u16string_view text);
// Frees one slot and takes its length off the total.
void releaseString(KeyStringStore& store, int index);
void releaseAllStrings(KeyStringStore& store);

// Releases the entry's string, then sets type, aux and value. False (nothing
// changed) when the profile is not 0-3 or the slot is not a key or G-key slot.
[[nodiscard]] bool writeAssignment(KeyActionTable& table, KeyStringStore& store, int profile, int slot, ActionType type,
                     uint16_t aux, uint32_t value);

// Packs the strings of LaunchProgram and TextBlock entries in entry order into
// pool, setting each packed entry's value to its offset. Such an entry with no
// string packed gets value = pool size, which reads back as no string.
void packStrings(KeyActionTable& table, const KeyStringStore& store, std::span<uint8_t> pool);
// Allocates a pool of store.total bytes and packs into it; false when memory runs out.
[[nodiscard]] bool packStrings(KeyActionTable& table, const KeyStringStore& store, StringPool& pool);

// The byte total unpackStrings would attach from pool, or nothing when it
// would exceed the pool's size. Packed strings never share bytes, so they add
// up to at most the pool; more means entries point into each other's strings,
// and a small file could demand any multiple of itself. Reads each pool byte
// about once, however many entries point at it.
std::optional<size_t> unpackedStringTotal(const KeyActionTable& table, std::span<const uint8_t> pool);

// Attaches, for every LaunchProgram and TextBlock entry, the zero-terminated
// string at pool offset value (bit 0 cleared). An offset outside the pool or a
// string without a terminator inside it leaves the slot empty. False, nothing
// attached, when the strings would add up to more than the pool
// (unpackedStringTotal); false when memory runs out, the strings attached
// until then staying.
[[nodiscard]] bool unpackStrings(const KeyActionTable& table, KeyStringStore& store, std::span<const uint8_t> pool);

}  // namespace kv
