// String pools come from profile files. Input: a count byte, then per entry
// index (u16), type (u8) and value (u32), then the pool. Unpacking never reads
// past the pool nor attaches more than the pool holds, and packing what was
// unpacked reads back the same strings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <span>

#include "keys/key_strings.h"
#include "keys/working_config.h"

using namespace kv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t count = data[0] % 32;
  size_t at = 1;
  auto table = std::make_unique<KeyActionTable>();
  for (size_t i = 0; i < count && at + 7 <= size; ++i, at += 7) {
    uint16_t index;
    uint32_t value;
    std::memcpy(&index, data + at, 2);
    std::memcpy(&value, data + at + 3, 4);
    KeyActionEntry& e = table->entries[index % kEntryCount];
    e.type = static_cast<ActionType>(data[at + 2] % 10);
    e.value = value;
  }
  std::span<const uint8_t> pool(data + std::min(at, size), size - std::min(at, size));

  auto store = std::make_unique<KeyStringStore>();
  // Unpacking is refused exactly when the strings would outgrow the pool.
  std::optional<size_t> expected = unpackedStringTotal(*table, pool);
  if (!unpackStrings(*table, *store, pool)) {
    if (expected || store->total != 0) std::abort();
    return 0;
  }
  if (!expected || *expected != store->total || store->total > pool.size()) std::abort();
  size_t total = 0;
  for (int i = 0; i < kEntryCount; ++i) {
    const KeyStringSlot& slot = store->slots[i];
    if (slot.byteLength == 0) continue;
    if (!usesString(table->entries[i].type) || slot.byteLength > pool.size()) std::abort();
    if (std::memcmp(slot.text.get(), pool.data() + (table->entries[i].value & ~1u), slot.byteLength) != 0) std::abort();
    total += slot.byteLength;
  }
  if (total != store->total) std::abort();

  StringPool packed;
  if (!packStrings(*table, *store, packed)) return 0;
  auto back = std::make_unique<KeyStringStore>();
  if (!unpackStrings(*table, *back, packed)) return 0;
  for (int i = 0; i < kEntryCount; ++i)
    if (back->text(i) != store->text(i)) std::abort();
  return 0;
}
