// The whole-configuration moves against what the simulated keyboard's round
// trips and the mandated pauses alone cost (goal: at most 1.05), a keyboard
// backup and its restore with a full macro memory, file included, against
// the same (goal: at most 1.02), and the time to save and load a profile
// file with 100 macros (goal: under 10 ms each).
// Build with the native-release preset for meaningful numbers:
//   cmake --preset native-release && cmake --build build/native-release --target kv_profile_bench
//   build/native-release/bin/kv_profile_bench
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "device/device_link.h"
#include "device/protocol.h"
#include "device/transport.h"
#include "macro/macro_image.h"
#include "profile/file_io.h"
#include "profile/keyboard_backup.h"
#include "profile/profile_store.h"
#include "tessaro/sim/sim_transport.h"

namespace {

using Clock = std::chrono::steady_clock;

class QuietUi : public kv::SilentDeviceUi {
 public:
  void ShowMessage(std::u16string_view) override { ++messages; }
  bool ApplyEnabled() const override { return true; }
  int messages = 0;
};

kv::MacroRecord macroOf(uint16_t id, int actions) {
  auto m = std::make_unique<kv::MacroRecord>();
  *m = kv::MacroRecord{};
  kv::setMacroName(*m, u"Bench macro");
  m->id = id;
  m->cycles = 1;
  m->actionCount = static_cast<uint16_t>(actions);
  for (int i = 0; i < actions; ++i)
    m->actions[i] = kv::MacroAction{10, static_cast<uint16_t>(0x1E + i % 26), static_cast<uint16_t>(i & 1)};
  return *m;
}

uint64_t reports() { return kv::sim::CurrentKeyboard()->status().reportsReceived; }

// Reads the lighting regions the way the lighting model loads them: one
// bracket, the three settings records, the per-key region in pieces of 54.
int readLightingRegions(int* pauses) {
  std::array<uint8_t, 56> piece{};
  int ok = kv::BeginConfig() == kv::kResultSuccess;
  for (int a : {0, 42, 84}) ok &= kv::ReadSettings(piece, 56, a) == kv::kResultSuccess;
  for (int off = 0; off < 256; off += 54) ok &= kv::ReadColours(piece, 54, off, kv::SelectedProfile()) == kv::kResultSuccess;
  ok &= kv::EndConfig() == kv::kResultSuccess;
  ++*pauses;
  return ok;
}

struct Run {
  double seconds;
  uint64_t transactions;
  int pauses;
};

void report(const char* what, const Run& r, std::chrono::microseconds roundTrip) {
  double ideal = static_cast<double>(r.transactions) * roundTrip.count() / 1e6 + r.pauses * 0.010;
  std::printf("%-40s %4llu transactions %2d pauses  %7.1f ms  ideal %7.1f ms  ratio %.3f\n", what,
              static_cast<unsigned long long>(r.transactions), r.pauses, r.seconds * 1e3, ideal * 1e3,
              r.seconds / ideal);
}

}  // namespace

int main() {
  const auto roundTrip = std::chrono::microseconds(2000);
  auto docs = std::filesystem::temp_directory_path() / "kv_profile_bench";
  std::filesystem::remove_all(docs);
  std::filesystem::create_directories(docs);

  kv::ResetDeviceLink();
  kv::sim::SimConfig config;
  config.roundTrip = roundTrip;
  config.macroUnits = 255;  // the largest macro memory the information block can name
  config.traceLines = 16;
  kv::sim::ResetKeyboard(config);
  kv::TransportApi api;
  kv::sim::BindSimulator(api);
  int count = 0;
  if (kv::StartTransport(api, kv::DefaultTransportCallback, &count) != 0 || count != 1) {
    std::fprintf(stderr, "the simulated keyboard did not start\n");
    return 1;
  }
  QuietUi ui;
  kv::WorkingConfig wc;
  kv::ApplySnapshot snap;
  const int capacity = 255 * 128;
  kv::ProfileStore store(wc, snap, ui, docs, [] { return 255 * 128; });

  // A full macro memory: macros of 500 actions until the image fills it.
  {
    std::lock_guard lock(wc.lock);
    (void)store.createDefaultProfile();
    for (uint16_t id = 1; id <= 100; ++id) {
      wc.macros.push_back(macroOf(id, 500));
      if (kv::macroImageSizes(wc.macros).withNames > static_cast<size_t>(capacity)) {
        wc.macros.pop_back();
        break;
      }
    }
  }

  const int rounds = 3;
  std::vector<double> writeRatios, reloadRatios;
  for (int i = 0; i < rounds; ++i) {
    uint64_t before = reports();
    auto t0 = Clock::now();
    bool ok;
    {
      std::lock_guard lock(wc.lock);
      ok = store.writeConfigToKeyboard(true);
    }
    Run w{std::chrono::duration<double>(Clock::now() - t0).count(), reports() - before, 1};
    if (!ok) {
      std::fprintf(stderr, "writeConfigToKeyboard failed\n");
      return 1;
    }
    report("writeConfigToKeyboard (full macro memory)", w, roundTrip);

    before = reports();
    int pauses = 0;
    t0 = Clock::now();
    store.reloadFromKeyboard();
    readLightingRegions(&pauses);
    Run r{std::chrono::duration<double>(Clock::now() - t0).count(), reports() - before, pauses};
    report("reloadFromKeyboard + lighting regions", r, roundTrip);
  }

  // Backup and restore of the whole keyboard, its macro memory full of the
  // image written above; each with its one bracket's pause. Each round
  // first times as many bare transactions (information-block reads): on a
  // busy machine the link's own overhead grows, and the backup's ratio is
  // to be read against it. The best of the rounds is shown as well.
  const auto backupPath = docs / "keyboard.kvb";
  double bestBackup = 1e9, bestRestore = 1e9, bestBare = 1e9;
  auto ratioOf = [&](const Run& r) {
    return r.seconds / (static_cast<double>(r.transactions) * roundTrip.count() / 1e6 + r.pauses * 0.010);
  };
  for (int i = 0; i < 5; ++i) {
    uint64_t before = reports();
    auto t0 = Clock::now();
    std::array<uint8_t, kv::kInfoBlockSize> bareInfo{};
    for (int t = 0; t < 622; ++t)
      if (kv::ReadInfoBlock(bareInfo) != kv::kResultSuccess) return 1;
    Run bare{std::chrono::duration<double>(Clock::now() - t0).count(), reports() - before, 0};
    report("bare transactions (the link's floor)", bare, roundTrip);
    bestBare = std::min(bestBare, ratioOf(bare));

    before = reports();
    t0 = Clock::now();
    kv::KeyboardContents contents;
    bool ok = kv::readKeyboardContents(contents) == kv::kResultSuccess;
    auto file = ok ? kv::encodeBackup(contents) : std::nullopt;
    ok = file && kv::writeFileAtomically(backupPath, {*file});
    Run b{std::chrono::duration<double>(Clock::now() - t0).count(), reports() - before, 1};
    if (!ok) {
      std::fprintf(stderr, "backup failed\n");
      return 1;
    }
    report("backup (full macro memory)", b, roundTrip);
    bestBackup = std::min(bestBackup, ratioOf(b));

    before = reports();
    t0 = Clock::now();
    auto bytes = kv::readFilePrefix(backupPath, kv::kMaxBackupFileSize + 1);
    kv::KeyboardContents restored;
    std::array<uint8_t, kv::kInfoBlockSize> info{};
    ok = bytes && kv::decodeBackup(*bytes, restored) == kv::BackupError::None &&
         kv::ReadInfoBlock(info) == kv::kResultSuccess;
    kv::MacroPlacement place{};
    if (ok) place = kv::placeMacroMemory(restored.macro, info[kv::kInfoMacroUnits] * kv::kMacroUnitBytes);
    ok = ok && place.fits && kv::writeKeyboardContents(restored, place.writeBytes) == kv::kResultSuccess;
    Run w{std::chrono::duration<double>(Clock::now() - t0).count(), reports() - before, 1};
    if (!ok) {
      std::fprintf(stderr, "restore failed\n");
      return 1;
    }
    report("restore (full macro memory)", w, roundTrip);
    bestRestore = std::min(bestRestore, ratioOf(w));
  }
  std::printf("best ratios: backup %.3f, restore %.3f (goal <= 1.02); bare transactions %.3f\n", bestBackup,
              bestRestore, bestBare);

  // Native file speed: 100 macros of 1000 actions (about 1.6 MB).
  {
    std::lock_guard lock(wc.lock);
    wc.macros.clear();
    for (uint16_t id = 1; id <= 100; ++id) wc.macros.push_back(macroOf(id, 1000));
  }
  auto path = docs / "hundred.kvp";
  double bestSave = 1e9, bestLoad = 1e9;
  for (int i = 0; i < 10; ++i) {
    std::lock_guard lock(wc.lock);
    auto t0 = Clock::now();
    if (!store.saveProfileFile(path)) return 1;
    bestSave = std::min(bestSave, std::chrono::duration<double>(Clock::now() - t0).count());
    t0 = Clock::now();
    if (!store.loadProfileFile(path)) return 1;
    bestLoad = std::min(bestLoad, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  std::printf("save 100 macros (%zu bytes): %.2f ms (goal < 10)\n",
              static_cast<size_t>(std::filesystem::file_size(path)), bestSave * 1e3);
  std::printf("load 100 macros: %.2f ms (goal < 10)\n", bestLoad * 1e3);
  std::filesystem::remove_all(docs);
  return 0;
}
