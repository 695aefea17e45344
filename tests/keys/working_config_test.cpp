#include "keys/working_config.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "keys/device_records.h"

namespace kv {
namespace {

TEST(ApplySnapshot, CopiesTablesMacrosAndPackedStrings) {
  WorkingConfig config;
  ApplySnapshot snapshot;
  config.table = newKeyActionTable();
  config.table->entries[entryIndex(0, 0x1E)] = {ActionType::LaunchProgram, 0, 1234, 0, 0};
  ASSERT_TRUE(attachString(config.strings, entryIndex(0, 0x1E), u"run.exe"));
  config.macros.resize(2);
  config.macros[1].id = 9;
  {
    auto locks = lockConfigAndSnapshot(config, snapshot);
    ASSERT_TRUE(copyToSnapshot(config, snapshot));
  }
  ASSERT_TRUE(snapshot.table);
  EXPECT_NE(snapshot.table.get(), config.table.get());
  EXPECT_EQ(snapshot.macros.size(), 2u);
  EXPECT_EQ(snapshot.macros[1].id, 9);
  EXPECT_EQ(snapshot.pool.size(), 16u);
  EXPECT_EQ(snapshot.table->entries[0x1E].value, 0u);
  EXPECT_EQ(config.table->entries[0x1E].value, 1234u) << "the live table is not touched";

  // A config without a table leaves an empty snapshot.
  config.table.reset();
  EXPECT_FALSE(copyToSnapshot(config, snapshot));
  EXPECT_FALSE(snapshot.table);
  EXPECT_TRUE(snapshot.macros.empty());
  EXPECT_TRUE(snapshot.pool.empty());
}

TEST(WorkingConfig, ClearFreesEverything) {
  WorkingConfig config;
  config.table = newKeyActionTable();
  config.macros.resize(3);
  (void)attachString(config.strings, 1, u"abc");
  clearWorkingConfig(config);
  EXPECT_FALSE(config.table);
  EXPECT_TRUE(config.macros.empty());
  EXPECT_EQ(config.strings.total, 0u);
}

// Editors change the live table under its lock while a writer copies and
// encodes under both locks, taken in the one order.
TEST(WorkingConfig, EditorsAndWriterShareTheLocks) {
  WorkingConfig config;
  ApplySnapshot snapshot;
  config.table = newKeyActionTable();
  std::atomic<bool> stop{false};

  std::thread editor([&] {
    for (uint32_t n = 0; !stop; ++n) {
      std::lock_guard g(config.lock);
      (void)writeAssignment(*config.table, config.strings, 0, 0x1E, ActionType::TextBlock, 0, 0);
      (void)attachString(config.strings, 0x1E, n % 2 ? u"odd" : u"even");
      config.macros.resize(n % 3);
      for (size_t i = 0; i < config.macros.size(); ++i) config.macros[i].id = static_cast<uint16_t>(i + 1);
    }
  });
  std::thread templateReader([&] {
    KeySlotTemplate t = builtInKeySlotTemplate();
    while (!stop) {
      t.records[0].data ^= 1;
      setCurrentKeySlotTemplate(t);
    }
  });

  for (int i = 0; i < 200; ++i) {
    auto locks = lockConfigAndSnapshot(config, snapshot);
    ASSERT_TRUE(copyToSnapshot(config, snapshot));
    DeviceProfileRecords out{};
    ASSERT_TRUE(encodeProfile(*snapshot.table, 0, snapshot.macros, currentKeySlotTemplate(), out));
    size_t pool = snapshot.pool.size();
    ASSERT_TRUE(pool == 0 || pool == 8 || pool == 10) << pool;
  }
  stop = true;
  editor.join();
  templateReader.join();
  resetCurrentKeySlotTemplate();
}

}  // namespace
}  // namespace kv
