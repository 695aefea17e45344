// The key action table: what every key and G key of every on-board profile does.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <type_traits>

#include "base/text_table.h"
#include "macro/macro_record.h"
#include "model/key_codes.h"

namespace kv {

static_assert(std::endian::native == std::endian::little, "records are stored little-endian, copied whole");

enum class ActionType : uint16_t {
  Default = 0,        // the key's factory action
  Disabled = 1,       // the key sends nothing
  SingleKey = 2,      // value = target key code
  LaunchProgram = 3,  // path in the string store; the keyboard keeps the factory action
  PlayMacro = 4,      // value = macro id, aux = cycles
  StopMacro = 5,
  TextBlock = 6,      // text in the string store; the keyboard key sends nothing
  Media = 7,          // value = MediaFunctionList index
  FunctionKey = 8,    // value = FunctionKeyList index
};
inline constexpr uint16_t kActionTypeCount = 9;

struct KeyActionEntry {
  ActionType type;  // any 16-bit value may arrive from a file
  uint16_t aux;
  uint32_t value;
  uint32_t mark;   // carried, not interpreted
  uint32_t spare;  // carried, not interpreted
  friend bool operator==(const KeyActionEntry&, const KeyActionEntry&) = default;
};
static_assert(sizeof(KeyActionEntry) == 16);
static_assert(offsetof(KeyActionEntry, type) == 0 && offsetof(KeyActionEntry, aux) == 2 &&
              offsetof(KeyActionEntry, value) == 4 && offsetof(KeyActionEntry, mark) == 8 &&
              offsetof(KeyActionEntry, spare) == 12);

inline constexpr int kBlockCount = 4;  // blocks 0-2 are the keyboard's profiles
inline constexpr int kKeyboardProfiles = 3;
inline constexpr int kSlotsPerBlock = 512;
inline constexpr int kEntryCount = kBlockCount * kSlotsPerBlock;
inline constexpr int kGKeySlotBase = 256;
inline constexpr int kGKeySlotCount = 18;  // two banks of nine
inline constexpr int kUsedSlotsPerBlock = kGKeySlotBase + kGKeySlotCount;  // 274-511 stay zero
inline constexpr size_t kTableHeaderSize = 64;

// Header (the first 64 bytes of a profile file) and the 2048 entries.
struct KeyActionTable {
  uint8_t header[kTableHeaderSize];
  std::array<KeyActionEntry, kEntryCount> entries;
};
static_assert(sizeof(KeyActionTable) == 32832);
static_assert(offsetof(KeyActionTable, header) == 0 && offsetof(KeyActionTable, entries) == 64);
static_assert(std::is_trivially_copyable_v<KeyActionTable> && std::is_standard_layout_v<KeyActionTable>);

constexpr int entryIndex(int block, int slot) { return block * kSlotsPerBlock + slot; }
// bank 0 or 1, n = 0-8 for G1-G9.
constexpr int slotOfGKey(int bank, int n) { return kGKeySlotBase + 9 * bank + n; }
constexpr bool isGKeySlot(int slot) { return slot >= kGKeySlotBase && slot < kGKeySlotBase + kGKeySlotCount; }
// 0x0301-0x0309 for bank 1, 0x1301-0x1309 for bank 2; 0 for other slots.
constexpr uint16_t gKeyCode(int slot) {
  if (!isGKeySlot(slot)) return 0;
  int i = slot - kGKeySlotBase;
  return static_cast<uint16_t>(i < 9 ? 0x0301 + i : 0x1301 + (i - 9));
}

inline constexpr std::array<TextId, 11> FunctionKeyList = {
    TextId::FUNC_KEY_DESC1, TextId::FUNC_KEY_DESC2, TextId::FUNC_KEY_DESC3, TextId::FUNC_KEY_DESC4,
    TextId::FUNC_KEY_DESC5, TextId::FUNC_KEY_DESC6, TextId::FUNC_KEY_DESC7, TextId::FUNC_KEY_DESC8,
    TextId::FUNC_KEY_DESC9, TextId::FUNC_KEY_DESC10, TextId::FUNC_KEY_DESC11};
// The function's name; empty outside the list.
std::u16string_view functionKeyName(size_t index);

// The 512 entries of one block; block must be 0-3.
std::span<KeyActionEntry, kSlotsPerBlock> blockEntries(KeyActionTable& table, int block);
std::span<const KeyActionEntry, kSlotsPerBlock> blockEntries(const KeyActionTable& table, int block);

// The entry of a profile's slot; an empty entry when the profile is not
// 0-3 (-1: no keyboard answers) or the slot is outside the block.
KeyActionEntry readEntry(const KeyActionTable& table, int profile, int slot);

// All entries zero; the G-key slots of block 0 get their GKeyCode in aux.
// The header is left alone.
void resetTable(KeyActionTable& table);

// Whether any of the 2048 entries (every profile) plays the macro with that id.
bool macroUsedByKeys(const KeyActionTable& table, uint16_t id);

// After the editor commits its macro copies: a PlayMacro entry whose id no
// macro has, or a macro created since the editor opened (isNew), falls back
// to Default (aux and value kept); id 0 takes the first macro's id while the
// list is not empty. onChanged gets each changed entry index. Returns the count.
[[nodiscard]] int removeStaleMacroReferences(KeyActionTable& table, std::span<const MacroRecord> macros,
                               const std::function<void(int entryIndex)>& onChanged = {});

}  // namespace kv
