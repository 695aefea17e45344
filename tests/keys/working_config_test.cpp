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


// Filling what a failed read left as defaults from a later read: what the
// keyboard holds comes in, the user's edits stay, and a region the user
// already changed where the keyboard's part would go stays unread.
TEST(WorkingConfig, FillUnreadRegionsKeepsEdits) {
  const int kEdited = entryIndex(0, 0x1E), kUntouched = entryIndex(0, 0x1F), kText = entryIndex(2, 0x20);
  struct Case {
    const char* name;
    RegionSource sourceBefore;  // of every region
    bool userMacro;             // a macro recorded before the read came
    RegionSource macrosAfter, keysAfter;
    bool keyboardEntryTaken;
  };
  const Case cases[] = {
      {"unread, no macro of the user", RegionSource::kUnread, false, RegionSource::kKeyboard,
       RegionSource::kKeyboard, true},
      {"unread, a macro of the user", RegionSource::kUnread, true, RegionSource::kUnread, RegionSource::kUnread,
       false},
      {"read from a file", RegionSource::kFile, false, RegionSource::kFile, RegionSource::kFile, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WorkingConfig config;
    config.table = newKeyActionTable();
    config.sources.setAll(c.sourceBefore);
    config.table->entries[kEdited] = {ActionType::SingleKey, 0, 0x30, 0, 0};
    if (c.userMacro) config.macros.resize(1);

    auto read = newKeyActionTable();
    read->entries[kEdited] = {ActionType::Disabled, 0, 0, 0, 0};
    read->entries[kUntouched] = {ActionType::PlayMacro, 1, 7, 0, 0};
    read->entries[kText] = {ActionType::TextBlock, 0, 0, 0, 0};
    KeyStringStore readStrings;
    ASSERT_TRUE(attachString(readStrings, kText, u"hello"));
    MacroList readMacros(2);
    readMacros[1].id = 7;

    fillUnreadRegions(config, *read, readMacros, readStrings);
    EXPECT_EQ(config.sources.macros, c.macrosAfter);
    EXPECT_EQ(config.sources.keys, (std::array{c.keysAfter, c.keysAfter, c.keysAfter}));
    EXPECT_EQ(config.table->entries[kEdited].type, ActionType::SingleKey);  // the edit always stays
    EXPECT_EQ(config.table->entries[kUntouched].type,
              c.keyboardEntryTaken ? ActionType::PlayMacro : ActionType::Default);
    EXPECT_EQ(config.strings.text(kText), c.keyboardEntryTaken ? u"hello" : u"");
    EXPECT_EQ(config.macros.size(), c.userMacro ? 1u : c.keyboardEntryTaken ? 2u : 0u);
    EXPECT_EQ(config.sources.anyUnread(), c.macrosAfter == RegionSource::kUnread);
    releaseAllStrings(config.strings);
    releaseAllStrings(readStrings);
  }
}

TEST(WorkingConfig, UnreadAmongLooksAtTheProfilesWrittenAndTheMacros) {
  RegionSources s;
  s.setAll(RegionSource::kKeyboard);
  const int active[] = {1};
  EXPECT_FALSE(s.unreadAmong(active));
  s.keys[0] = RegionSource::kUnread;
  EXPECT_FALSE(s.unreadAmong(active));  // another profile's table is not written
  EXPECT_TRUE(s.anyUnread());
  s.keys[0] = RegionSource::kKeyboard;
  s.macros = RegionSource::kUnread;  // every write replaces the whole macro memory
  EXPECT_TRUE(s.unreadAmong(active));
  EXPECT_TRUE(s.unreadAmong({}));
}

}  // namespace
}  // namespace kv
