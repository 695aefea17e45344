#include "keys/key_action.h"

#include <algorithm>

namespace kv {

std::u16string_view functionKeyName(size_t index) {
  return index < FunctionKeyList.size() ? std::u16string_view(text(FunctionKeyList[index])) : std::u16string_view();
}

std::span<KeyActionEntry, kSlotsPerBlock> blockEntries(KeyActionTable& table, int block) {
  return std::span<KeyActionEntry, kSlotsPerBlock>(table.entries.data() + entryIndex(block, 0), kSlotsPerBlock);
}

std::span<const KeyActionEntry, kSlotsPerBlock> blockEntries(const KeyActionTable& table, int block) {
  return std::span<const KeyActionEntry, kSlotsPerBlock>(table.entries.data() + entryIndex(block, 0),
                                                         kSlotsPerBlock);
}

KeyActionEntry readEntry(const KeyActionTable& table, int profile, int slot) {
  if (profile < 0 || profile >= kBlockCount || slot < 0 || slot >= kSlotsPerBlock) return {};
  return table.entries[entryIndex(profile, slot)];
}

void resetTable(KeyActionTable& table) {
  table.entries.fill(KeyActionEntry{});
  for (int s = kGKeySlotBase; s < kGKeySlotBase + kGKeySlotCount; ++s) table.entries[entryIndex(0, s)].aux = gKeyCode(s);
}

bool macroUsedByKeys(const KeyActionTable& table, uint16_t id) {
  return std::any_of(table.entries.begin(), table.entries.end(),
                     [id](const KeyActionEntry& e) { return e.type == ActionType::PlayMacro && e.value == id; });
}

int removeStaleMacroReferences(KeyActionTable& table, std::span<const MacroRecord> macros,
                               const std::function<void(int)>& onChanged) {
  int changed = 0;
  for (int i = 0; i < kEntryCount; ++i) {
    KeyActionEntry& e = table.entries[i];
    if (e.type != ActionType::PlayMacro) continue;
    if (e.value == 0) {
      if (macros.empty()) continue;
      e.value = macros.front().id;
    } else {
      auto it = std::find_if(macros.begin(), macros.end(), [&](const MacroRecord& m) { return m.id == e.value; });
      if (it != macros.end() && it->isNew == 0) continue;
      e.type = ActionType::Default;
    }
    ++changed;
    if (onChanged) onChanged(i);
  }
  return changed;
}

}  // namespace kv
