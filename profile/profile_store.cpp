#include "profile/profile_store.h"

#include <cstring>
#include <fstream>
#include <new>

#include "base/text_table.h"
#include "device/protocol.h"
#include "keys/device_records.h"
#include "macro/macro_image.h"
#include "profile/file_io.h"

namespace kv {
namespace {

std::span<const uint8_t> bytesOf(const KeyActionTable& t) {
  return {reinterpret_cast<const uint8_t*>(&t), sizeof t};
}
std::span<const uint8_t> bytesOf(const MacroList& m) {
  return {reinterpret_cast<const uint8_t*>(m.data()), m.size() * sizeof(MacroRecord)};
}

// The header's sizes checked against what the file really holds.
bool claimedSize(std::span<const uint8_t> header, uint64_t actualSize, uint64_t* claimed) {
  if (header.size() < kProfileHeaderSize) return false;
  ProfileHeader h = readProfileHeader(header.first<kProfileHeaderSize>());
  if (h.macroCount > kProfileMaxMacros) return false;
  *claimed = profileFileSize(h.macroCount, h.poolSize);
  return *claimed <= actualSize;
}

// A regular file that opens for reading. Reading asks for no more: a file
// another program holds for reading (a virus scanner, the indexer), a
// read-only file or a folder we may not write to still loads.
bool openableForReading(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream probe(path, std::ios::binary);
  return static_cast<bool>(probe);
}

}  // namespace

void writeProfileHeader(KeyActionTable& table, uint16_t macroCount, uint32_t poolSize, uint8_t flag) {
  writeProfileHeaderBytes(std::span<uint8_t, 64>(table.header, 64), macroCount, poolSize, flag);
}

ProfileReadResult parseProfileBytes(std::span<const uint8_t> bytes, LoadedProfile& out) {
  uint64_t claimed = 0;
  if (bytes.size() < kProfileFixedSize || !claimedSize(bytes, bytes.size(), &claimed))
    return ProfileReadResult::BadFormat;
  ProfileHeader h = readProfileHeader(bytes.first<kProfileHeaderSize>());
  LoadedProfile loaded;
  loaded.table.reset(new (std::nothrow) KeyActionTable);
  if (!loaded.table) return ProfileReadResult::NoMemory;
  std::memcpy(loaded.table.get(), bytes.data(), sizeof(KeyActionTable));
  try {
    loaded.macros.resize(h.macroCount);
    loaded.pool.assign(bytes.begin() + static_cast<ptrdiff_t>(kProfileFixedSize + kMacroRecordBytes * h.macroCount),
                       bytes.begin() + static_cast<ptrdiff_t>(claimed));
  } catch (const std::bad_alloc&) {
    return ProfileReadResult::NoMemory;
  }
  if (h.macroCount > 0)
    std::memcpy(loaded.macros.data(), bytes.data() + kProfileFixedSize, kMacroRecordBytes * h.macroCount);
  // Entries sharing one string would multiply the pool in memory.
  if (!unpackedStringTotal(*loaded.table, loaded.pool)) return ProfileReadResult::BadFormat;
  out = std::move(loaded);
  return ProfileReadResult::Ok;
}

std::string profileFileProblem(const std::filesystem::path& path) {
  std::error_code ec;
  uint64_t size = std::filesystem::file_size(path, ec);
  if (ec) return "cannot be read";
  if (size < kProfileFixedSize)
    return "too short (" + std::to_string(size) + " bytes, a profile file has at least " +
           std::to_string(kProfileFixedSize) + ")";
  if (size >= (uint64_t{1} << 32)) return "too large (" + std::to_string(size) + " bytes, at most 4 GiB)";
  auto header = readFilePrefix(path, kProfileHeaderSize);
  if (!header || header->size() < kProfileHeaderSize) return "cannot be read";
  std::span<const uint8_t, kProfileHeaderSize> h(header->data(), kProfileHeaderSize);
  if (std::string problem = profileHeaderProblem(h); !problem.empty()) return problem;
  uint64_t claimed = 0;
  if (!claimedSize(*header, size, &claimed))
    return "shorter than its header says (" + std::to_string(size) + " bytes, header field file size " +
           std::to_string(readProfileHeader(h).fileSize) + ")";
  auto bytes = readFilePrefix(path, claimed);
  if (!bytes) return "cannot be read";
  LoadedProfile loaded;
  if (parseProfileBytes(*bytes, loaded) == ProfileReadResult::BadFormat)
    return "its key strings add up to more than its " + std::to_string(readProfileHeader(h).poolSize) +
           "-byte string pool (entries point into each other's strings)";
  return {};
}

ProfileStore::ProfileStore(WorkingConfig& config, ApplySnapshot& snapshot, DeviceUi& ui,
                           std::filesystem::path documentsFolder, std::function<int()> macroCapacity)
    : config_(config),
      snapshot_(snapshot),
      ui_(ui),
      documents_(std::move(documentsFolder)),
      macroCapacity_(std::move(macroCapacity)) {}

std::filesystem::path ProfileStore::profileFolder() const { return documents_ / "Korvalin"; }

bool ProfileStore::ensureProfileFolder() const {
  std::error_code ec;
  std::filesystem::create_directories(profileFolder(), ec);
  return std::filesystem::is_directory(profileFolder(), ec);
}

std::filesystem::path ProfileStore::profileCachePath(int) const { return profileFolder() / "$Profile0"; }

StoreConfigLock::StoreConfigLock(ProfileStore& store) : store_(store), lock_(store.config().lock) {}

StoreConfigLock::~StoreConfigLock() {
  lock_.unlock();
  store_.showPendingMessages();
}

void ProfileStore::showMessage(std::u16string message) {
  {
    std::lock_guard lock(pendingMutex_);
    pending_.push_back(std::move(message));
  }
  showPendingMessages();
}

void ProfileStore::showPendingMessages() {
  if (config_.lock.heldByThisThread() || snapshot_.lock.heldByThisThread()) return;
  std::vector<std::u16string> messages;
  {
    std::lock_guard lock(pendingMutex_);
    messages.swap(pending_);
  }
  for (const std::u16string& m : messages) ui_.ShowMessage(m);
}

void ProfileStore::showFormatError(const std::filesystem::path& path) {
  showMessage(formatText(text(TextId::PROFILE_FORMAT_ERROR), {std::u16string_view(path.u16string())}));
}

bool ProfileStore::createDefaultProfile() {
  std::unique_ptr<KeyActionTable> table = newKeyActionTable();
  if (!table) return false;
  writeProfileHeader(*table, 0, 0, 0);
  clearWorkingConfig(config_);
  config_.table = std::move(table);
  config_.sources.setAll(RegionSource::kUnread);
  return true;
}

bool ProfileStore::createDefaultProfile(const std::filesystem::path& path) {
  std::unique_ptr<KeyActionTable> table = newKeyActionTable();
  if (!table) return false;
  writeProfileHeader(*table, 0, 0, 0);
  return writeFileAtomically(path, {bytesOf(*table)});
}

int ProfileStore::checkProfileFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return kProfileFileInvalid;
  if (!openableForReading(path)) return kProfileFileNotOpenable;
  uint64_t size = std::filesystem::file_size(path, ec);
  if (ec || size >= (uint64_t{1} << 32) || size < kProfileFixedSize) return kProfileFileInvalid;
  auto header = readFilePrefix(path, kProfileHeaderSize);
  if (!header) return kProfileFileNotOpenable;
  if (header->size() < kProfileHeaderSize || !profileHeaderValid(std::span<const uint8_t, kProfileHeaderSize>(
                                                 header->data(), kProfileHeaderSize))) {
    showFormatError(path);
    return kProfileFileInvalid;
  }
  return kProfileFileValid;
}

bool ProfileStore::loadProfileFile(const std::filesystem::path& path) {
  if (!openableForReading(path)) return false;
  std::error_code ec;
  uint64_t size = std::filesystem::file_size(path, ec);
  if (ec) return false;
  // Only the header's sizes decide how much to read, and only once the file
  // is known to hold that much.
  auto header = readFilePrefix(path, kProfileHeaderSize);
  uint64_t claimed = 0;
  if (!header || size < kProfileFixedSize || !claimedSize(*header, size, &claimed)) {
    showFormatError(path);
    return false;
  }
  auto bytes = readFilePrefix(path, claimed);
  if (!bytes || bytes->size() != claimed) return false;
  return loadProfileBytes(*bytes, path);
}

bool ProfileStore::loadProfileBytes(std::span<const uint8_t> bytes, const std::filesystem::path& path) {
  LoadedProfile loaded;
  ProfileReadResult r = parseProfileBytes(bytes, loaded);
  if (r == ProfileReadResult::BadFormat) showFormatError(path);
  if (r != ProfileReadResult::Ok) return false;
  std::unique_ptr<KeyStringStore> strings(new (std::nothrow) KeyStringStore);
  if (!strings || !unpackStrings(*loaded.table, *strings, loaded.pool)) return false;
  // Everything read: only now does the working configuration change.
  releaseAllStrings(config_.strings);
  std::swap(config_.strings, *strings);
  config_.table = std::move(loaded.table);
  config_.macros.swap(loaded.macros);
  return true;
}

std::optional<std::vector<uint8_t>> ProfileStore::profileImage() {
  if (!config_.table) return std::nullopt;
  // The header's sizes are 32-bit: a total past them would save a file whose
  // header disagrees with its pool.
  if (profileFileSize(config_.macros.size(), config_.strings.total) > UINT32_MAX) return std::nullopt;
  uint32_t total = static_cast<uint32_t>(config_.strings.total);
  writeProfileHeader(*config_.table, static_cast<uint16_t>(config_.macros.size()), total, 0);
  StringPool pool;
  if (!packStrings(*config_.table, config_.strings, pool)) return std::nullopt;
  std::vector<uint8_t> bytes;
  for (std::span<const uint8_t> part : {bytesOf(*config_.table), bytesOf(config_.macros), std::span<const uint8_t>(pool)})
    bytes.insert(bytes.end(), part.begin(), part.end());
  return bytes;
}

bool ProfileStore::saveProfileFile(const std::filesystem::path& path) {
  auto image = profileImage();
  return image && writeFileAtomically(path, {*image});
}

bool ProfileStore::saveProfileCache() {
  std::error_code ec;
  bool kept;
  {
    std::lock_guard lock(cacheMutex_);
    kept = keptCache_.has_value();
  }
  if (!kept && !std::filesystem::is_regular_file(profileCachePath(0), ec)) return false;
  auto image = profileImage();
  if (!image) return false;
  storeCache(std::move(*image));
  return true;
}

bool ProfileStore::readKeyboardConfig(LoadedProfile& out, const std::filesystem::path& keepGKeysFrom) {
  int active = GetActiveProfile();
  if (active < 0 || active > 3) return false;
  std::array<std::array<uint8_t, kKeyTableSize>, kKeyboardProfiles> tables{};
  for (int p = 0; p < kKeyboardProfiles; ++p)
    if (ReadKeyTable(tables[p], p) != kResultSuccess) return false;
  MacroList macros;
  int r = readKeyboardMacros(
      [](uint8_t* dest, size_t count) { return ReadMacroMemory(std::span<uint8_t>(dest, count), static_cast<int>(count)); },
      macros);
  if (r != kResultSuccess) return false;
  std::unique_ptr<KeyActionTable> table(new (std::nothrow) KeyActionTable{});
  std::unique_ptr<KeyStringStore> strings(new (std::nothrow) KeyStringStore);
  if (!table || !strings) return false;
  KeySlotTemplate tmpl = currentKeySlotTemplate();
  for (int p = 0; p < kKeyboardProfiles; ++p)
    if (!decodeProfile(tables[p], tmpl, blockEntries(*table, p))) return false;
  keepGKeyAssignments(keepGKeysFrom, *table, *strings);
  StringPool pool;
  bool packed = packStrings(*table, *strings, pool);
  releaseAllStrings(*strings);
  if (!packed) return false;
  writeProfileHeader(*table, static_cast<uint16_t>(macros.size()), static_cast<uint32_t>(pool.size()), 0);
  out.table = std::move(table);
  out.macros.swap(macros);
  out.pool.swap(pool);
  return true;
}

void ProfileStore::keepGKeyAssignments(const std::filesystem::path& from, KeyActionTable& table,
                                       KeyStringStore& strings) {
  // The keyboard has no G-key slots: what they do lives in our files only,
  // and a configuration rebuilt from the keyboard takes it from there (or
  // from the cache kept in memory when its file could not be written).
  if (from.empty()) return;
  std::optional<std::vector<uint8_t>> keptBytes;
  if (from == profileCachePath(0)) {
    std::lock_guard lock(cacheMutex_);
    keptBytes = keptCache_;
  }
  LoadedProfile kept;
  std::unique_ptr<KeyStringStore> keptStrings(new (std::nothrow) KeyStringStore);
  ProfileReadResult read = keptBytes ? parseProfileBytes(*keptBytes, kept) : readProfileBytes(from, kept);
  if (!keptStrings || read != ProfileReadResult::Ok || !unpackStrings(*kept.table, *keptStrings, kept.pool)) return;
  for (int p = 0; p < kKeyboardProfiles; ++p)
    for (int slot = kGKeySlotBase; slot < kGKeySlotBase + kGKeySlotCount; ++slot) {
      int i = entryIndex(p, slot);
      table.entries[static_cast<size_t>(i)] = kept.table->entries[static_cast<size_t>(i)];
      if (usesString(table.entries[static_cast<size_t>(i)].type))
        (void)attachString(strings, i, keptStrings->text(i));  // out of memory: no string, as packing reads it
    }
  releaseAllStrings(*keptStrings);
}

ProfileReadResult ProfileStore::readProfileBytes(const std::filesystem::path& path, LoadedProfile& out) {
  std::error_code ec;
  uint64_t size = std::filesystem::file_size(path, ec);
  if (ec || size >= (uint64_t{1} << 32)) return ProfileReadResult::Unreadable;
  auto bytes = readFilePrefix(path, size);
  if (!bytes) return ProfileReadResult::Unreadable;
  return parseProfileBytes(*bytes, out);
}

std::optional<std::vector<uint8_t>> ProfileStore::readKeyboardImage(const std::filesystem::path& keepGKeysFrom) {
  LoadedProfile read;
  if (!readKeyboardConfig(read, keepGKeysFrom)) return std::nullopt;
  std::vector<uint8_t> bytes;
  for (std::span<const uint8_t> part : {bytesOf(*read.table), bytesOf(read.macros), std::span<const uint8_t>(read.pool)})
    bytes.insert(bytes.end(), part.begin(), part.end());
  return bytes;
}

bool ProfileStore::readKeyboardToFile(const std::filesystem::path& path, const std::filesystem::path& keepGKeysFrom) {
  auto image = readKeyboardImage(keepGKeysFrom);
  return image && writeFileAtomically(path, {*image});
}

void ProfileStore::storeCache(std::vector<uint8_t> bytes) {
  (void)ensureProfileFolder();  // a folder that cannot be made fails the write below
  std::filesystem::path cache = profileCachePath(0);
  bool written = writeFileAtomically(cache, {bytes});
  bool tell = false;
  {
    std::lock_guard lock(cacheMutex_);
    if (written) {
      keptCache_.reset();
    } else {
      keptCache_ = std::move(bytes);
      tell = !cacheProblemTold_;
      cacheProblemTold_ = true;
    }
  }
  if (tell) showMessage(formatText(text(TextId::EXTRA_CACHE_NOT_WRITTEN), {std::u16string_view(cache.u16string())}));
}

bool ProfileStore::loadCache() {
  std::optional<std::vector<uint8_t>> kept;
  {
    std::lock_guard lock(cacheMutex_);
    kept = keptCache_;
  }
  if (kept) return loadProfileBytes(*kept, profileCachePath(0));
  return loadProfileFile(profileCachePath(0));
}

void ProfileStore::reloadFromKeyboard() { reloadFromCache(readKeyboardToCache()); }

bool ProfileStore::readKeyboardToCache() {
  if (GetActiveProfile() == -1) return false;
  auto image = readKeyboardImage(profileCachePath(0));
  if (!image) return false;
  storeCache(std::move(*image));
  return true;
}

void ProfileStore::reloadFromCache(bool readFromKeyboard) {
  {
    StoreConfigLock lock(*this);
    // Out of memory for the default table leaves no table, which every
    // reader of the working configuration checks for.
    if (readFromKeyboard && loadCache())
      config_.sources.setAll(RegionSource::kKeyboard);
    else
      (void)createDefaultProfile();
    ui_.RefreshKeyButtons();
  }
  ui_.SetApplyEnabled(false);
}

bool ProfileStore::revertToCache() {
  bool reverted = true;  // nothing was read: nothing to go back to
  if (GetActiveProfile() != -1) {
    StoreConfigLock lock(*this);
    reverted = loadCache();
  }
  // Edits that could not be dropped stay with Apply lit: never stranded.
  if (reverted) ui_.SetApplyEnabled(false);
  return reverted;
}

bool ProfileStore::writeConfigToKeyboard(bool allProfiles) {
  bool written = writeSnapshotToKeyboard(allProfiles);
  showPendingMessages();  // nothing while the caller still holds the WorkingConfig lock
  return written;
}

bool ProfileStore::writeSnapshotToKeyboard(bool allProfiles) {
  std::lock_guard lock(snapshot_.lock);
  lastWriteFailure_ = WriteFailure::kNotWritten;  // until a step says more
  if (!copyToSnapshot(config_, snapshot_)) return false;
  writeProfileHeader(*snapshot_.table, static_cast<uint16_t>(snapshot_.macros.size()),
                     static_cast<uint32_t>(snapshot_.pool.size()), 0);
  int capacity = macroCapacity_ ? macroCapacity_() : 0;
  FittedMacroImage image = fitMacroImage(snapshot_.macros, capacity > 0 ? static_cast<size_t>(capacity) : 0);
  if (image.fit == MacroFit::TooLong) {
    showMessage(text(TextId::EXTRA_MACRO_TOO_LONG));
    return false;
  }
  if (image.fit == MacroFit::NoMemory) return false;

  std::vector<int> profiles = profilesToWrite(allProfiles);
  if (profiles.empty()) {
    lastWriteFailure_ = WriteFailure::kNoAnswer;
    return false;
  }
  KeySlotTemplate tmpl = currentKeySlotTemplate();
  std::vector<std::array<uint8_t, kKeyTableSize>> encoded(profiles.size());
  for (size_t i = 0; i < profiles.size(); ++i) {
    DeviceProfileRecords records;
    if (!encodeProfile(*snapshot_.table, profiles[i], snapshot_.macros, tmpl, records)) return false;
    recordsToBytes(records, encoded[i]);
  }

  // One bracket: the macro image first, then the key tables the records
  // point into. A failed step ends the writing, but the bracket is closed.
  lastWrite_ = KeyboardWrite{image.bytes, profiles, encoded};
  WriteFailure refused = WriteFailure::kNotWritten;  // the bracket itself, unless a step failed
  int result = InConfigBracket([&] {
    int r = WriteMacroMemory(image.bytes, static_cast<int>(image.bytes.size()));
    if (r != kResultSuccess) refused = WriteFailure::kMacrosRefused;
    for (size_t i = 0; r == kResultSuccess && i < profiles.size(); ++i) {
      r = WriteKeyTable(encoded[i], profiles[i]);
      if (r != kResultSuccess) refused = WriteFailure::kKeysRefused;
    }
    return r;
  });
  bool ok = result == kResultSuccess;
  if (ok) {
    lastWriteFailure_ = WriteFailure::kNone;
    // The keyboard now holds what was written: nothing of it is unread.
    config_.sources.macros = RegionSource::kKeyboard;
    for (int p : profiles) config_.sources.keys[static_cast<size_t>(p)] = RegionSource::kKeyboard;
  } else if (result == kResultStatusError || result == kResultStatusNotConfiguring) {
    lastWriteFailure_ = refused;
  } else {
    lastWriteFailure_ = WriteFailure::kNoAnswer;  // no keyboard, a refused send or no answer
  }
  if (image.fit == MacroFit::WithoutNames) showMessage(text(TextId::EXTRA_PROFILE_SPACE_TIGHT));
  return ok;
}

std::vector<int> ProfileStore::profilesToWrite(bool allProfiles) {
  if (allProfiles) return {0, 1, 2};
  int active = GetActiveProfile();
  if (!IsKeyboardProfile(active)) return {};
  return {active};
}

WriteCheck ProfileStore::readUnreadRegions(bool allProfiles) {
  std::vector<int> profiles = profilesToWrite(allProfiles);
  {
    StoreConfigLock lock(*this);
    if (!config_.sources.unreadAmong(profiles)) return WriteCheck::kReady;
  }
  // Read again, without the lock: the window keeps working while the
  // keyboard answers. What was read fills only what is still unread.
  LoadedProfile read;
  std::unique_ptr<KeyStringStore> strings(new (std::nothrow) KeyStringStore);
  bool ok = strings && readKeyboardConfig(read, profileCachePath(0)) && unpackStrings(*read.table, *strings, read.pool);
  StoreConfigLock lock(*this);
  if (ok) {
    fillUnreadRegions(config_, *read.table, read.macros, *strings);
    ui_.RefreshKeyButtons();
  }
  if (strings) releaseAllStrings(*strings);
  return config_.sources.unreadAmong(profiles) ? WriteCheck::kUnread : WriteCheck::kReady;
}

ImportResult ProfileStore::importProfile(const std::filesystem::path& path, const std::function<bool()>& mayReplace) {
  if (checkProfileFile(path) != kProfileFileValid) {
    showMessage(text(TextId::MAIN_PROMPT_INPORT));
    return ImportResult::kNotLoaded;
  }
  if (mayReplace && !mayReplace()) return ImportResult::kDeclined;
  bool written = false;
  {
    StoreConfigLock lock(*this);
    if (!loadProfileFile(path)) {
      showMessage(text(TextId::MAIN_PROMPT_INPORT));
      return ImportResult::kNotLoaded;
    }
    config_.sources.setAll(RegionSource::kFile);
    (void)saveProfileCache();  // no cache file yet: nothing to keep in step
    written = writeConfigToKeyboard(true);
    ui_.RefreshKeyButtons();
  }
  // What did not reach the keyboard stays to be applied.
  ui_.SetApplyEnabled(!written);
  return written ? ImportResult::kWritten : ImportResult::kNotWritten;
}

bool ProfileStore::exportProfile(const std::filesystem::path& path) {
  StoreConfigLock lock(*this);
  return saveProfileFile(path);
}

}  // namespace kv
