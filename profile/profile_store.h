// Profile files and the profile cache: moving the whole configuration
// between the keyboard, files and the working configuration.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "device/device_ui.h"
#include "device/protocol.h"
#include "keys/working_config.h"
#include "profile/profile_format.h"

namespace kv {

// Fills bytes 0-63 of the table (header with its checksum, constant block).
void writeProfileHeader(KeyActionTable& table, uint16_t macroCount, uint32_t poolSize, uint8_t flag);

// Results of checkProfileFile.
inline constexpr int kProfileFileValid = 1;
inline constexpr int kProfileFileInvalid = 0;     // missing, wrong size or a bad header
inline constexpr int kProfileFileNotOpenable = -2;
inline constexpr int kProfileFileNoMemory = -3;

// A profile file read whole and checked against its own header and its real
// size: everything a load would take, nothing the file did not supply.
struct LoadedProfile {
  std::unique_ptr<KeyActionTable> table;
  MacroList macros;
  StringPool pool;
};
enum class ProfileReadResult { Ok, Unreadable, BadFormat, NoMemory };
[[nodiscard]] ProfileReadResult parseProfileBytes(std::span<const uint8_t> bytes, LoadedProfile& out);

// What keeps a file from loading as a profile file, in words for a command
// line (its size, the header field that is wrong, strings that outgrow the
// pool); empty when nothing is known to be wrong with it.
std::string profileFileProblem(const std::filesystem::path& path);

// What the last writeConfigToKeyboard sent, for reading it back: the macro
// image from offset 0 and the encoded key table of each profile written.
struct KeyboardWrite {
  std::vector<uint8_t> macroImage;
  std::vector<int> profiles;
  std::vector<std::array<uint8_t, kKeyTableSize>> keyTables;
};

// Why the last writeConfigToKeyboard did not write everything, for the
// window to say so.
enum class WriteFailure {
  kNone,           // written
  kNoAnswer,       // no keyboard, or it did not answer
  kMacrosRefused,  // the keyboard refused the macro memory
  kKeysRefused,    // the keyboard refused a key table
  kNotWritten,     // nothing sent (no memory, macros too long) or the bracket refused
};

// What an import did: nothing (the file is not a profile file, messages
// shown), nothing (the user kept the edits that wait), loaded but not on the
// keyboard (Apply stays enabled), or written.
enum class ImportResult { kNotLoaded, kDeclined, kNotWritten, kWritten };

class ProfileStore;

// Whether the parts of the configuration a write would replace were read.
enum class WriteCheck { kReady, kUnread };

// The WorkingConfig lock taken around store operations. The messages those
// operations have for the user are shown when it is released, not while it
// is held.
class StoreConfigLock {
 public:
  explicit StoreConfigLock(ProfileStore& store);
  ~StoreConfigLock();
  StoreConfigLock(const StoreConfigLock&) = delete;
  StoreConfigLock& operator=(const StoreConfigLock&) = delete;

 private:
  ProfileStore& store_;
  std::unique_lock<TrackedMutex> lock_;
};

class ProfileStore {
 public:
  // documentsFolder: the user's documents folder; the store keeps its files
  // in its "Korvalin" folder. macroCapacity: the keyboard's macro memory in
  // bytes, asked at every write.
  ProfileStore(WorkingConfig& config, ApplySnapshot& snapshot, DeviceUi& ui, std::filesystem::path documentsFolder,
               std::function<int()> macroCapacity);

  std::filesystem::path profileFolder() const;
  // Creates the profile folder when it is missing.
  bool ensureProfileFolder() const;
  // One cache file serves every on-board profile: "$Profile0".
  std::filesystem::path profileCachePath(int profile) const;

  // Without a path the default table becomes the working table (the caller
  // holds the lock and has freed the old configuration).
  [[nodiscard]] bool createDefaultProfile();
  [[nodiscard]] bool createDefaultProfile(const std::filesystem::path& path);

  // 1 valid, 0 invalid (a bad header shows PROFILE_FORMAT_ERROR with the
  // path), -2 not openable for reading and writing, -3 out of memory.
  [[nodiscard]] int checkProfileFile(const std::filesystem::path& path);
  // Replaces the working configuration with the file's, all or nothing: on
  // any failure the working configuration is as it was. A file shorter than
  // its header claims shows PROFILE_FORMAT_ERROR. The caller holds the lock.
  [[nodiscard]] bool loadProfileFile(const std::filesystem::path& path);
  // The caller holds the lock.
  [[nodiscard]] bool saveProfileFile(const std::filesystem::path& path);
  // saveProfileFile to the cache, only when the cache exists (its file, or
  // the copy kept in memory when the file could not be written).
  [[nodiscard]] bool saveProfileCache();

  // The keyboard's configuration; the G-key assignments, which the keyboard
  // does not hold, are taken from the profile file keepGKeysFrom when it
  // loads (none without it).
  [[nodiscard]] bool readKeyboardConfig(LoadedProfile& out, const std::filesystem::path& keepGKeysFrom = {});
  [[nodiscard]] bool readKeyboardToFile(const std::filesystem::path& path,
                                        const std::filesystem::path& keepGKeysFrom = {});
  void reloadFromKeyboard();
  // reloadFromKeyboard in two steps, so that the keyboard's reads can run on
  // another thread than the window's: the read into the cache file (no lock
  // taken; false when no keyboard configuration was read), then the working
  // configuration taken from the cache, or the default one after a failed read.
  // A cache file that cannot be written (Documents protected, the file held
  // by another program) is said once, and the cache is kept in memory: the
  // window goes on with the keyboard's contents, never the defaults.
  [[nodiscard]] bool readKeyboardToCache();
  void reloadFromCache(bool readFromKeyboard);
  // A profile switch that drops unapplied edits: Apply disabled and, when
  // the keyboard's active profile is known, the working configuration loaded
  // again from the cache file (the last read or applied configuration).
  // False when that load failed; the working configuration and Apply are
  // then as they were.
  [[nodiscard]] bool revertToCache();
  // Before a write of the active profile (or all): reads the keyboard again
  // when a part to be written was never read (a failed read left defaults),
  // filling it without touching the user's edits. kUnread when something to
  // be written is still unread: writing now would replace it unseen. Takes
  // the WorkingConfig lock itself; the caller holds neither lock.
  [[nodiscard]] WriteCheck readUnreadRegions(bool allProfiles);
  // The caller holds the WorkingConfig lock. The parts written count as read.
  [[nodiscard]] bool writeConfigToKeyboard(bool allProfiles);
  // Set, under the snapshot lock, once a write has its image and key tables
  // ready to send; empty before the first.
  const KeyboardWrite& lastWrite() const { return lastWrite_; }
  // Why the last writeConfigToKeyboard failed; kNone after a success.
  WriteFailure lastWriteFailure() const { return lastWriteFailure_; }
  // mayReplace runs once the file was found valid and before anything is
  // replaced, with no lock held (it may ask the user): false changes nothing.
  [[nodiscard]] ImportResult importProfile(const std::filesystem::path& path,
                                           const std::function<bool()>& mayReplace = {});
  [[nodiscard]] bool exportProfile(const std::filesystem::path& path);

  WorkingConfig& config() { return config_; }
  // Takes the WorkingConfig lock for operations whose caller holds it
  // (loadProfileFile, saveProfileFile, writeConfigToKeyboard).
  [[nodiscard]] StoreConfigLock lockConfig() { return StoreConfigLock(*this); }

  // A message box runs a message loop, and the window's handlers that run in
  // it (a G-bank refresh, a reload) take the WorkingConfig lock on the same
  // thread: messages are kept while this thread holds the WorkingConfig or
  // the ApplySnapshot lock, and shown here once it holds neither. The store's
  // own operations and StoreConfigLock call this; a caller that took the
  // lock itself calls it after releasing.
  void showPendingMessages();

 private:
  [[nodiscard]] bool writeSnapshotToKeyboard(bool allProfiles);
  // The active profile, or all three; empty when no keyboard answers.
  [[nodiscard]] static std::vector<int> profilesToWrite(bool allProfiles);
  void keepGKeyAssignments(const std::filesystem::path& from, KeyActionTable& table, KeyStringStore& strings);
  [[nodiscard]] static ProfileReadResult readProfileBytes(const std::filesystem::path& path, LoadedProfile& out);
  void showMessage(std::u16string text);
  void showFormatError(const std::filesystem::path& path);
  // The keyboard's configuration as a profile file's bytes, G keys from
  // keepGKeysFrom; none on failure.
  [[nodiscard]] std::optional<std::vector<uint8_t>> readKeyboardImage(const std::filesystem::path& keepGKeysFrom);
  // The working configuration as a profile file's bytes. The caller holds the lock.
  [[nodiscard]] std::optional<std::vector<uint8_t>> profileImage();
  // Writes the cache file, or keeps the bytes in memory when it cannot be
  // written (said once).
  void storeCache(std::vector<uint8_t> bytes);
  // From the cache file, or the copy kept in memory. The caller holds the lock.
  [[nodiscard]] bool loadCache();
  [[nodiscard]] bool loadProfileBytes(std::span<const uint8_t> bytes, const std::filesystem::path& shownPath);

  WorkingConfig& config_;
  ApplySnapshot& snapshot_;
  DeviceUi& ui_;
  std::filesystem::path documents_;
  std::function<int()> macroCapacity_;
  KeyboardWrite lastWrite_;
  WriteFailure lastWriteFailure_ = WriteFailure::kNone;
  std::mutex pendingMutex_;
  std::vector<std::u16string> pending_;
  std::mutex cacheMutex_;  // guards the two below
  std::optional<std::vector<uint8_t>> keptCache_;
  bool cacheProblemTold_ = false;
};

}  // namespace kv
