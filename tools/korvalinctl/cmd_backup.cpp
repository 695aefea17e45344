// backup and restore: the whole keyboard to and from one file; and reading
// back what a command wrote (--verify).
#include <array>
#include <optional>
#include <vector>

#include "device/protocol.h"
#include "model/lighting.h"
#include "model/settings.h"
#include "profile/file_io.h"
#include "profile/keyboard_backup.h"
#include "tools/korvalinctl/session.h"

namespace kvctl {

namespace {

int reportDifference(Session& s, const std::optional<kv::RegionDifference>& difference) {
  if (!difference) return kExitOk;
  return s.fail(kExitFailed, "verify failed: " + kv::describeDifference(*difference));
}

int readBackError(Session& s, int result) { return s.deviceError("could not read back what was written", result); }

std::array<uint8_t, kv::kBackupSettingsBytes> settingsBytes(
    const std::array<kv::ProfileSettingsRecord, kv::kProfileCount>& records) {
  std::array<uint8_t, kv::kBackupSettingsBytes> bytes{};
  for (int p = 0; p < kv::kProfileCount; ++p) {
    auto b = kv::settingsRecordBytes(records[p]);
    std::copy(b.begin(), b.end(), bytes.begin() + static_cast<std::ptrdiff_t>(p * kv::kSettingsRecordSize));
  }
  return bytes;
}

// The three settings records and, when asked, one per-key region, read in
// one bracket as a lighting load reads them.
int readLightingBack(int profile, bool perKey, std::array<uint8_t, kv::kBackupSettingsBytes>& settings,
                     kv::PerKeyRegion& region) {
  std::array<kv::ProfileSettingsRecord, kv::kProfileCount> records{};
  int result = kv::InConfigBracket([&] {
    int r = kv::readSettingsRecords(records);
    if (r == kv::kResultSuccess && perKey) r = kv::readPerKeyRegion(profile, region);
    return r;
  });
  if (result == kv::kResultSuccess) settings = settingsBytes(records);
  return result;
}

}  // namespace

int verifyKeyboardWrite(Session& s, const kv::KeyboardWrite& written) {
  std::vector<uint8_t> macro(written.macroImage.size());
  int result = kv::ReadMacroMemory(macro, static_cast<int>(macro.size()));
  if (result != kv::kResultSuccess) return readBackError(s, result);
  if (int r = reportDifference(s, kv::firstDifference("macros", written.macroImage, macro))) return r;
  for (size_t i = 0; i < written.profiles.size(); ++i) {
    std::array<uint8_t, kv::kKeyTableSize> table{};
    result = kv::ReadKeyTable(table, written.profiles[i]);
    if (result != kv::kResultSuccess) return readBackError(s, result);
    const std::string region = "keys " + std::to_string(written.profiles[i]);
    if (int r = reportDifference(s, kv::firstDifference(region, written.keyTables[i], table))) return r;
  }
  return kExitOk;
}

int verifyLighting(Session& s, const kv::LightingModel& model) {
  const int profile = model.selectedProfile();
  const bool perKey = model.hasPerKeyEffect();
  std::array<uint8_t, kv::kBackupSettingsBytes> settings{};
  kv::PerKeyRegion region{};
  int result = readLightingBack(profile, perKey, settings, region);
  if (result != kv::kResultSuccess) return readBackError(s, result);
  const size_t at = static_cast<size_t>(profile) * kv::kSettingsRecordSize;
  const auto expected = kv::settingsRecordBytes(model.record(profile));
  if (int r = reportDifference(
          s, kv::firstDifference("settings", expected, std::span(settings).subspan(at, kv::kSettingsRecordSize), at)))
    return r;
  if (!perKey) return kExitOk;
  return reportDifference(s, kv::firstDifference("colours " + std::to_string(profile), model.perKeyRegion(profile),
                                                 region));
}

int verifySettings(Session& s, int profile, size_t field, std::span<const uint8_t> bytes) {
  std::array<uint8_t, kv::kBackupSettingsBytes> settings{};
  kv::PerKeyRegion unused{};
  int result = readLightingBack(profile, false, settings, unused);
  if (result != kv::kResultSuccess) return readBackError(s, result);
  const size_t at = static_cast<size_t>(kv::settingsAddress(profile, field));
  return reportDifference(s, kv::firstDifference("settings", bytes, std::span(settings).subspan(at, bytes.size()), at));
}

int cmdBackup(Session& s) {
  if (int r = s.expectOptions({})) return r;
  if (int r = s.expectArguments(1, 1)) return r;
  const std::string& file = s.words()[1];
  if (int r = s.checkOutputPath(file)) return r;
  if (int r = s.connect()) return r;
  kv::KeyboardContents contents;
  int result = kv::readKeyboardContents(contents);
  if (result == kv::kResultBadInfoBlock)
    return s.fail(kExitFailed, "the keyboard's information block names no active profile 0-2 or no macro memory");
  if (result != kv::kResultSuccess) return s.deviceError("could not read the keyboard", result);
  std::optional<std::vector<uint8_t>> bytes = kv::encodeBackup(contents);
  if (!bytes || !kv::writeFileAtomically(pathOf(file), {*bytes}))
    return s.fail(kExitFailed, file + ": could not be written");
  return kExitOk;
}

int cmdRestore(Session& s) {
  if (int r = s.expectOptions({"--verify"})) return r;
  if (int r = s.expectArguments(1, 1)) return r;
  const std::string& file = s.words()[1];
  const fs::path path = pathOf(file);

  // The whole file is checked before the keyboard is reached.
  std::error_code ec;
  if (file.empty() || !fs::exists(path, ec)) return s.fail(kExitBadInput, file + ": no such file");
  if (!fs::is_regular_file(path, ec)) return s.fail(kExitBadInput, file + ": not a file");
  const uintmax_t size = fs::file_size(path, ec);
  if (ec) return s.fail(kExitBadInput, file + ": cannot be read");
  if (size > kv::kMaxBackupFileSize)
    return s.fail(kExitBadInput, file + ": not a keyboard backup (" + std::to_string(size) +
                                     " bytes, more than any backup holds)");
  std::optional<std::vector<uint8_t>> bytes = kv::readFilePrefix(path, kv::kMaxBackupFileSize);
  if (!bytes) return s.fail(kExitBadInput, file + ": cannot be read");
  kv::KeyboardContents contents;
  kv::BackupError error = kv::decodeBackup(*bytes, contents);
  if (error != kv::BackupError::None) return s.fail(kExitBadInput, file + ": " + kv::describeBackupError(error, *bytes));

  if (int r = s.connect()) return r;
  std::array<uint8_t, kv::kInfoBlockSize> info{};
  int result = kv::ReadInfoBlock(info);
  if (result != kv::kResultSuccess) return s.deviceError("could not read the information block", result);
  const size_t keyboardBytes = info[kv::kInfoMacroUnits] * kv::kMacroUnitBytes;
  const kv::MacroPlacement place = kv::placeMacroMemory(contents.macro, keyboardBytes);
  if (!place.fits)
    return s.fail(kExitBadInput, file + ": its macros need " + std::to_string(place.neededBytes) +
                                     " bytes of macro memory; the keyboard has " + std::to_string(keyboardBytes));

  result = kv::writeKeyboardContents(contents, place.writeBytes);
  if (result != kv::kResultSuccess) return s.deviceError("writing the keyboard failed", result);
  if (place.writeBytes < contents.macro.size()) {
    s.err << "korvalinctl: " << s.context() << ": the backup's " << contents.macro.size()
          << " bytes of macro memory cut to the keyboard's " << keyboardBytes;
    if (place.neededBytes) {
      s.err << " (its macros use " << place.neededBytes << ")\n";
    } else {
      s.err << " (it holds no macros)\n";
    }
  }
  if (!s.flag("--verify")) return kExitOk;

  kv::KeyboardContents found;
  result = kv::readKeyboardContents(found);
  if (result != kv::kResultSuccess) return readBackError(s, result);
  return reportDifference(s, kv::firstDifference(contents, found, place.writeBytes));
}

}  // namespace kvctl
