// A profile store over a fresh simulated keyboard and a temporary Documents folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

#include "keys/device_records.h"
#include "profile/profile_store.h"
#include "tests/device/link_fixture.h"
#include "tests/device_events/recording_ui.h"

namespace kvtest {

inline std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
inline void WriteAll(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline kv::MacroRecord MakeMacro(uint16_t id, std::u16string_view name, int actions) {
  auto m = std::make_unique<kv::MacroRecord>();
  *m = kv::MacroRecord{};
  kv::setMacroName(*m, name);
  m->id = id;
  m->cycles = 1;
  m->actionCount = static_cast<uint16_t>(actions);
  for (int i = 0; i < actions; ++i)
    m->actions[i] = kv::MacroAction{static_cast<uint32_t>(10 * i), static_cast<uint16_t>(0x1E + i % 20),
                                    static_cast<uint16_t>(i % 2)};
  return *m;
}

class StoreTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    docs_ = std::filesystem::temp_directory_path() /
            ("kv_store_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(docs_);
    std::filesystem::create_directories(docs_);
    ui_.WatchLocks(config_, snapshot_);
    store_ = std::make_unique<kv::ProfileStore>(config_, snapshot_, ui_, docs_,
                                                [this] { return capacity_ >= 0 ? capacity_ : Keyboard()->status().macroBytes; });
    std::lock_guard lock(config_.lock);
    ASSERT_TRUE(store_->createDefaultProfile());
  }
  void TearDown() override {
    std::filesystem::remove_all(docs_);
    kv::resetCurrentKeySlotTemplate();
    LinkTest::TearDown();
  }

  std::filesystem::path Docs(const std::string& name) const { return docs_ / name; }
  std::filesystem::path Cache() const { return store_->profileCachePath(0); }

  // A copy of the working table's entries, for comparisons.
  std::vector<kv::KeyActionEntry> Entries() {
    std::lock_guard lock(config_.lock);
    return std::vector<kv::KeyActionEntry>(config_.table->entries.begin(), config_.table->entries.end());
  }
  void Assign(int profile, kv::KeyCode key, kv::ActionType type, uint32_t value, uint16_t aux = 0) {
    std::lock_guard lock(config_.lock);
    ASSERT_TRUE(kv::writeAssignment(*config_.table, config_.strings, profile, kv::slotOfKey(key), type, aux, value));
  }

  kv::WorkingConfig config_;
  kv::ApplySnapshot snapshot_;
  RecordingUi ui_;
  std::unique_ptr<kv::ProfileStore> store_;
  std::filesystem::path docs_;
  int capacity_ = -1;  // -1: what the keyboard has
};

}  // namespace kvtest
