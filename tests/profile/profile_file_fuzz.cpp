// Any bytes as a profile file: the check and the load must neither crash nor
// use bytes the file did not supply, and a refused load changes nothing.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "profile/profile_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path folder = [] {
    auto p = std::filesystem::temp_directory_path() / ("kv_profile_fuzz_" + std::to_string(::getpid()));
    std::filesystem::create_directories(p);
    return p;
  }();
  auto path = folder / "input.kvp";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  kv::SilentDeviceUi ui;
  kv::WorkingConfig config;
  kv::ApplySnapshot snapshot;
  kv::ProfileStore store(config, snapshot, ui, folder, [] { return 8192; });
  std::lock_guard lock(config.lock);
  (void)store.createDefaultProfile();
  kv::KeyActionTable before = *config.table;
  (void)store.checkProfileFile(path);
  if (!store.loadProfileFile(path)) {
    if (std::memcmp(&before, config.table.get(), sizeof before) != 0 || !config.macros.empty()) __builtin_trap();
  } else {
    // The strings cannot add up to more than the file's pool.
    uint32_t poolSize = 0;
    std::memcpy(&poolSize, data + 16, 4);
    if (config.strings.total > poolSize) __builtin_trap();
    // Whatever loaded must save and load again.
    (void)store.saveProfileFile(folder / "again.kvp");
  }
  return 0;
}
