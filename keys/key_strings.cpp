#include "keys/key_strings.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kv {
namespace {

bool validIndex(int index) { return index >= 0 && index < kEntryCount; }

// units little-endian UTF-16 units at bytes; the terminator is added.
bool attachUnits(KeyStringStore& store, int index, const uint8_t* bytes, size_t units) {
  releaseString(store, index);
  std::unique_ptr<char16_t[]> copy(new (std::nothrow) char16_t[units + 1]);
  if (!copy) return false;
  if (units > 0) std::memcpy(copy.get(), bytes, 2 * units);
  copy[units] = 0;
  KeyStringSlot& slot = store.slots[static_cast<size_t>(index)];
  slot.text = std::move(copy);
  slot.byteLength = static_cast<uint32_t>(2 * units + 2);
  store.total += slot.byteLength;
  return true;
}

}  // namespace

std::u16string_view KeyStringStore::text(int index) const {
  if (!validIndex(index)) return {};
  const KeyStringSlot& slot = slots[static_cast<size_t>(index)];
  if (slot.byteLength == 0 || !slot.text) return {};
  return {slot.text.get(), slot.byteLength / 2 - 1};
}

bool attachString(KeyStringStore& store, int index, std::u16string_view text) {
  if (!validIndex(index)) return false;
  text = text.substr(0, text.find(u'\0'));
  // Lengths are 32-bit in the slot and in profile files.
  if (text.size() > (UINT32_MAX - 2) / 2) {
    releaseString(store, index);
    return false;
  }
  return attachUnits(store, index, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void releaseString(KeyStringStore& store, int index) {
  if (!validIndex(index)) return;
  KeyStringSlot& slot = store.slots[static_cast<size_t>(index)];
  store.total -= std::min<size_t>(store.total, slot.byteLength);
  slot.text.reset();
  slot.byteLength = 0;
}

void releaseAllStrings(KeyStringStore& store) {
  for (auto& slot : store.slots) {
    slot.text.reset();
    slot.byteLength = 0;
  }
  store.total = 0;
}

bool writeAssignment(KeyActionTable& table, KeyStringStore& store, int profile, int slot, ActionType type,
                     uint16_t aux, uint32_t value) {
  if (profile < 0 || profile >= kBlockCount || slot < 0 || slot >= kUsedSlotsPerBlock) return false;
  int index = entryIndex(profile, slot);
  releaseString(store, index);
  KeyActionEntry& e = table.entries[static_cast<size_t>(index)];
  e.type = type;
  e.aux = aux;
  e.value = value;
  return true;
}

void packStrings(KeyActionTable& table, const KeyStringStore& store, std::span<uint8_t> pool) {
  size_t offset = 0;
  for (int i = 0; i < kEntryCount; ++i) {
    KeyActionEntry& e = table.entries[static_cast<size_t>(i)];
    if (!usesString(e.type)) continue;
    const KeyStringSlot& slot = store.slots[static_cast<size_t>(i)];
    if (slot.byteLength == 0 || !slot.text || offset + slot.byteLength > pool.size()) {
      // A stale offset would hand this entry another entry's string on reading.
      e.value = static_cast<uint32_t>(pool.size());
      continue;
    }
    size_t at = offset & ~size_t{1};
    std::memcpy(pool.data() + at, slot.text.get(), slot.byteLength);
    e.value = static_cast<uint32_t>(at);
    offset += slot.byteLength;
  }
}

bool packStrings(KeyActionTable& table, const KeyStringStore& store, StringPool& pool) {
  try {
    StringPool fresh(store.total, 0);
    packStrings(table, store, std::span<uint8_t>(fresh));
    pool.swap(fresh);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}

namespace {

// Where the string at an even offset ends: the end of the pool's last
// zero unit at an even offset bounds every terminated string.
size_t lastTerminatorEnd(std::span<const uint8_t> pool) {
  size_t p = pool.size() & ~size_t{1};
  while (p >= 2) {
    p -= 2;
    if (pool[p] == 0 && pool[p + 1] == 0) return p + 2;
  }
  return 0;
}

// The string's UTF-16 units at at (even), or nothing when it has no
// terminator in the pool or its bytes (terminator included) exceed limit.
// Reads at most limit bytes.
struct StringSpan {
  bool terminated = false;
  size_t units = 0;
};
StringSpan findString(std::span<const uint8_t> pool, size_t at, size_t terminatorEnd, size_t limit) {
  if (at >= terminatorEnd) return {};
  size_t end = std::min(terminatorEnd, at + std::min(limit, terminatorEnd - at));
  for (size_t p = at; p + 1 < end; p += 2)
    if (pool[p] == 0 && pool[p + 1] == 0) return {true, (p - at) / 2};
  // Terminated further on, past the limit.
  return {true, SIZE_MAX};
}

}  // namespace

std::optional<size_t> unpackedStringTotal(const KeyActionTable& table, std::span<const uint8_t> pool) {
  size_t terminatorEnd = lastTerminatorEnd(pool);
  size_t total = 0;
  for (int i = 0; i < kEntryCount; ++i) {
    const KeyActionEntry& e = table.entries[static_cast<size_t>(i)];
    if (!usesString(e.type)) continue;
    size_t at = e.value & ~uint32_t{1};
    StringSpan s = findString(pool, at, terminatorEnd, pool.size() - total);
    if (!s.terminated) continue;
    if (s.units == SIZE_MAX) return std::nullopt;
    total += 2 * s.units + 2;
  }
  return total;
}

bool unpackStrings(const KeyActionTable& table, KeyStringStore& store, std::span<const uint8_t> pool) {
  if (!unpackedStringTotal(table, pool)) return false;
  size_t terminatorEnd = lastTerminatorEnd(pool);
  for (int i = 0; i < kEntryCount; ++i) {
    const KeyActionEntry& e = table.entries[static_cast<size_t>(i)];
    if (!usesString(e.type)) continue;
    size_t at = e.value & ~uint32_t{1};
    StringSpan s = findString(pool, at, terminatorEnd, pool.size());
    if (!s.terminated || s.units > (UINT32_MAX - 2) / 2) {
      releaseString(store, i);
      continue;
    }
    if (!attachUnits(store, i, pool.data() + at, s.units)) return false;
  }
  return true;
}

}  // namespace kv
