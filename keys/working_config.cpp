#include "keys/working_config.h"

#include <new>

namespace kv {

ConfigAndSnapshotLock lockConfigAndSnapshot(WorkingConfig& config, ApplySnapshot& snapshot) {
  ConfigAndSnapshotLock l;
  l.config = std::unique_lock<TrackedMutex>(config.lock);
  l.snapshot = std::unique_lock<TrackedMutex>(snapshot.lock);
  return l;
}

bool RegionSources::unreadAmong(std::span<const int> profiles) const {
  if (macros == RegionSource::kUnread) return true;
  for (int p : profiles)
    if (p >= 0 && p < kKeyboardProfiles && keys[static_cast<size_t>(p)] == RegionSource::kUnread) return true;
  return false;
}

bool RegionSources::anyUnread() const {
  static constexpr int kAll[] = {0, 1, 2};
  return unreadAmong(kAll);
}

void fillUnreadRegions(WorkingConfig& config, const KeyActionTable& readTable, const MacroList& readMacros,
                       const KeyStringStore& readStrings) {
  RegionSources& sources = config.sources;
  if (!config.table) return;
  if (sources.macros == RegionSource::kUnread && config.macros.empty()) {
    MacroList copy;
    if (!copyMacroList(readMacros, copy)) return;
    config.macros.swap(copy);
    sources.macros = RegionSource::kKeyboard;
  }
  // The keyboard's keys play its macros by id: its key entries only make
  // sense beside its macros.
  if (sources.macros == RegionSource::kUnread) return;
  std::unique_ptr<KeyActionTable> defaults = newKeyActionTable();
  if (!defaults) return;
  for (int p = 0; p < kKeyboardProfiles; ++p) {
    if (sources.keys[static_cast<size_t>(p)] != RegionSource::kUnread) continue;
    for (int slot = 0; slot < kSlotsPerBlock; ++slot) {
      int i = entryIndex(p, slot);
      KeyActionEntry& entry = config.table->entries[static_cast<size_t>(i)];
      if (entry != defaults->entries[static_cast<size_t>(i)]) continue;  // the user's edit stays
      entry = readTable.entries[static_cast<size_t>(i)];
      // Out of memory leaves the slot empty, which reads as no string.
      if (usesString(entry.type)) (void)attachString(config.strings, i, readStrings.text(i));
    }
    sources.keys[static_cast<size_t>(p)] = RegionSource::kKeyboard;
  }
}

void clearWorkingConfig(WorkingConfig& config) {
  releaseAllStrings(config.strings);
  MacroList().swap(config.macros);
  config.table.reset();
}

void clearSnapshot(ApplySnapshot& snapshot) {
  snapshot.table.reset();
  MacroList().swap(snapshot.macros);
  StringPool().swap(snapshot.pool);
}

std::unique_ptr<KeyActionTable> newKeyActionTable() {
  std::unique_ptr<KeyActionTable> t(new (std::nothrow) KeyActionTable{});
  if (t) resetTable(*t);
  return t;
}

bool copyToSnapshot(const WorkingConfig& config, ApplySnapshot& snapshot) {
  clearSnapshot(snapshot);
  if (!config.table) return false;
  std::unique_ptr<KeyActionTable> table(new (std::nothrow) KeyActionTable(*config.table));
  MacroList macros;
  StringPool pool;
  if (!table || !copyMacroList(config.macros, macros) || !packStrings(*table, config.strings, pool)) return false;
  snapshot.table = std::move(table);
  snapshot.macros.swap(macros);
  snapshot.pool.swap(pool);
  return true;
}

}  // namespace kv
