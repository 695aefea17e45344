#include "keys/working_config.h"

#include <new>

namespace kv {

ConfigAndSnapshotLock lockConfigAndSnapshot(WorkingConfig& config, ApplySnapshot& snapshot) {
  ConfigAndSnapshotLock l;
  l.config = std::unique_lock<TrackedMutex>(config.lock);
  l.snapshot = std::unique_lock<TrackedMutex>(snapshot.lock);
  return l;
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
