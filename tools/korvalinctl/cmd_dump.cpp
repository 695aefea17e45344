// dump: the keyboard's memory regions in hex, 16 bytes a line.
#include <array>
#include <vector>

#include "device/protocol.h"
#include "model/lighting.h"
#include "tools/korvalinctl/session.h"

namespace kvctl {

namespace {

int readInfo(int, std::vector<uint8_t>& bytes) {
  std::array<uint8_t, kv::kInfoBlockSize> info{};
  int result = kv::ReadInfoBlock(info);
  bytes.assign(info.begin(), info.end());
  return result;
}

int readSettings(int, std::vector<uint8_t>& bytes) {
  std::array<kv::ProfileSettingsRecord, 3> records{};
  int result = kv::ReadInConfigBracket([&] { return kv::readSettingsRecords(records); });
  for (const auto& rec : records) {
    auto b = kv::settingsRecordBytes(rec);
    bytes.insert(bytes.end(), b.begin(), b.end());
  }
  return result;
}

int readColours(int profile, std::vector<uint8_t>& bytes) {
  kv::PerKeyRegion region{};
  int result = kv::ReadInConfigBracket([&] { return kv::readPerKeyRegion(profile, region); });
  bytes.assign(region.begin(), region.end());
  return result;
}

int readKeys(int profile, std::vector<uint8_t>& bytes) {
  std::array<uint8_t, kv::kKeyTableSize> table{};
  int result = kv::ReadKeyTable(table, profile);
  bytes.assign(table.begin(), table.end());
  return result;
}

int readDefaultKeys(int, std::vector<uint8_t>& bytes) {
  std::array<uint8_t, kv::kKeyTableSize> table{};
  int result = kv::ReadDefaultKeyTable(table);
  bytes.assign(table.begin(), table.end());
  return result;
}

int readMacros(int, std::vector<uint8_t>& bytes) {
  std::array<uint8_t, kv::kInfoBlockSize> info{};
  int result = kv::ReadInfoBlock(info);
  if (result != kv::kResultSuccess) return result;
  bytes.assign(static_cast<size_t>(kv::MacroMemoryBytes(info)), 0);
  return kv::ReadMacroMemory(bytes, static_cast<int>(bytes.size()));
}

// A region with one argument takes the profile P.
template <int (*read)(int, std::vector<uint8_t>&)>
int dumpRegion(Session& s) {
  long profile = 0;
  if (s.words().size() > 2)
    if (int r = s.argumentNumber(2, "P", 0, 2, &profile)) return r;
  if (int r = s.connect()) return r;
  std::vector<uint8_t> bytes;
  int result = read(static_cast<int>(profile), bytes);
  if (result != kv::kResultSuccess) return s.deviceError("could not read the keyboard", result);
  hexDump(s.out, bytes);
  return kExitOk;
}

constexpr Subcommand kRegions[] = {
    {"info", 0, dumpRegion<readInfo>},         {"settings", 0, dumpRegion<readSettings>},
    {"colours", 1, dumpRegion<readColours>},   {"keys", 1, dumpRegion<readKeys>},
    {"default-keys", 0, dumpRegion<readDefaultKeys>}, {"macros", 0, dumpRegion<readMacros>},
};

}  // namespace

std::span<const Subcommand> dumpRegions() { return kRegions; }

int cmdDump(Session& s) { return runSubcommand(s, kRegions, "region", {}); }

}  // namespace kvctl
