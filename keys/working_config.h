// The shared working configuration and the snapshot written to the keyboard,
// each behind its own lock. When both are needed, WorkingConfig's is taken first.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

#include "keys/key_action.h"
#include "keys/key_strings.h"
#include "macro/macro_record.h"

namespace kv {

// A mutex that knows whether the calling thread holds it. A message box runs
// a message loop, and a handler run inside it may take the same lock on the
// same thread; code that is about to show one asks first.
class TrackedMutex {
 public:
  void lock() {
    mutex_.lock();
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }
  [[nodiscard]] bool try_lock() {
    if (!mutex_.try_lock()) return false;
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    return true;
  }
  void unlock() {
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }
  // Only the owner ever stores its own id, so a relaxed load is enough.
  [[nodiscard]] bool heldByThisThread() const {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
  }

 private:
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
};

// Where a part of the working configuration came from. Only what was read
// from the keyboard, loaded from a file or chosen by the user may go over
// the keyboard's own: the defaults shown after a failed read are none of them.
enum class RegionSource : uint8_t { kUnread, kKeyboard, kFile, kChosen };

// The parts the keyboard stores apart: each profile's key table and the one
// macro memory that every profile's keys play from.
struct RegionSources {
  std::array<RegionSource, kKeyboardProfiles> keys{RegionSource::kUnread, RegionSource::kUnread,
                                                   RegionSource::kUnread};
  RegionSource macros = RegionSource::kUnread;

  void setAll(RegionSource source) {
    keys.fill(source);
    macros = source;
  }
  // Whether writing these profiles (and with them the whole macro memory)
  // would replace something that was never read.
  [[nodiscard]] bool unreadAmong(std::span<const int> profiles) const;
  [[nodiscard]] bool anyUnread() const;
};

struct WorkingConfig {
  TrackedMutex lock;  // guards the table, the strings, the macro list and the sources
  std::unique_ptr<KeyActionTable> table;
  MacroList macros;
  KeyStringStore strings;
  RegionSources sources;

  // 1 while the macro page records. The hooks themselves are the
  // user-interface thread's and the hook thread's (keys/key_hooks_win32).
  int recording = 0;
};

struct ApplySnapshot {
  TrackedMutex lock;  // guards everything below
  std::unique_ptr<KeyActionTable> table;
  MacroList macros;
  StringPool pool;
};

// Both locks in the one allowed order; released in reverse.
struct ConfigAndSnapshotLock {
  std::unique_lock<TrackedMutex> config;
  std::unique_lock<TrackedMutex> snapshot;
};
[[nodiscard]] ConfigAndSnapshotLock lockConfigAndSnapshot(WorkingConfig& config, ApplySnapshot& snapshot);

// Fills the regions of config that were never read with what was read now,
// keeping every edit: a key entry still at its default takes the keyboard's,
// and an empty macro list takes the keyboard's macros. A region stays unread
// when the user already changed it where the keyboard's part would go (a
// macro recorded while the macros were unread). The caller holds config.lock.
void fillUnreadRegions(WorkingConfig& config, const KeyActionTable& readTable, const MacroList& readMacros,
                       const KeyStringStore& readStrings);

// Frees table, strings and macros. The caller holds config.lock.
void clearWorkingConfig(WorkingConfig& config);
// Frees the snapshot's copies. The caller holds snapshot.lock.
void clearSnapshot(ApplySnapshot& snapshot);

// A fresh table, all entries reset, header zero; null when memory runs out.
std::unique_ptr<KeyActionTable> newKeyActionTable();

// Replaces the snapshot with copies of the table and macros and the packed
// strings (packing sets the string offsets in the copy only). The caller
// holds both locks. False, the snapshot left empty, when config has no table
// or memory runs out.
[[nodiscard]] bool copyToSnapshot(const WorkingConfig& config, ApplySnapshot& snapshot);

}  // namespace kv
