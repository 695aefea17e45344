// The profile file byte for byte, and moving configurations between files,
// the working configuration and the simulated keyboard.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <thread>

#include <unistd.h>

#include "base/text_table.h"
#include "device_events/apply.h"
#include "device_events/events.h"
#include "macro/macro_image.h"
#include "profile/file_io.h"
#include "tests/profile/store_fixture.h"

namespace kvtest {
namespace {

using kv::ActionType;

std::vector<uint8_t> HexBytes(std::initializer_list<int> v) { return std::vector<uint8_t>(v.begin(), v.end()); }

std::u16string FormatError(const std::filesystem::path& p) {
  return kv::formatText(kv::text(kv::TextId::PROFILE_FORMAT_ERROR), {std::u16string_view(p.u16string())});
}

// Commands of the OUT reports in the trace, in order.
std::vector<int> Commands(const std::vector<std::string>& out) {
  std::vector<int> c;
  for (const auto& l : out) c.push_back(std::stoi(l.substr(6, 2), nullptr, 16));
  return c;
}

TEST_F(StoreTest, DefaultProfileFileByteForByte) {
  auto path = Docs("default.kvp");
  ASSERT_TRUE(store_->createDefaultProfile(path));
  auto bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 32832u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 16),
            HexBytes({0x46, 0x44, 0x20, 0x00, 0x03, 0x00, 0x01, 0x00, 0x40, 0x80, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00}));
  for (int i = 16; i < 31; ++i) EXPECT_EQ(bytes[i], 0) << i;
  EXPECT_EQ(bytes[31], 0x76);
  EXPECT_TRUE(std::equal(kv::kProfileConstantBlock.begin(), kv::kProfileConstantBlock.end(), bytes.begin() + 32));
  kv::KeyActionTable reset{};
  kv::resetTable(reset);
  EXPECT_EQ(0, std::memcmp(bytes.data() + 64, &reset.entries, sizeof reset.entries));
  EXPECT_EQ(store_->checkProfileFile(path), kv::kProfileFileValid);
}

TEST_F(StoreTest, FileSizeFieldCountsMacrosAndPool) {
  kv::KeyActionTable t{};
  kv::writeProfileHeader(t, 1, 10, 0);
  kv::ProfileHeader h = kv::readProfileHeader(std::span<const uint8_t, 32>(t.header, 32));
  EXPECT_EQ(h.fileSize, 49354u);
  EXPECT_EQ(h.macroCount, 1);
  EXPECT_EQ(h.poolSize, 10u);
  EXPECT_EQ(t.header[31], kv::profileHeaderChecksum(std::span<const uint8_t, 32>(t.header, 32)));
}

TEST_F(StoreTest, CheckRejectsBadFilesNamingThePath) {
  auto good = Docs("good.kvp");
  ASSERT_TRUE(store_->createDefaultProfile(good));
  const auto base = ReadAll(good);
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
    int result;
    bool message;
  };
  auto fixSum = [](std::vector<uint8_t>& b) {
    b[31] = kv::profileHeaderChecksum(std::span<const uint8_t, 32>(b.data(), 32));
  };
  const Case cases[] = {
      {"intact", [](auto&) {}, 1, false},
      {"checksum off by one", [](auto& b) { b[31] += 1; }, 0, true},
      {"101 macros", [&](auto& b) {
         b[14] = 101; uint32_t size = 32832 + 16512 * 101; std::memcpy(&b[8], &size, 4); fixSum(b); }, 0, true},
      {"flag 2", [&](auto& b) { b[30] = 2; fixSum(b); }, 0, true},
      {"flag 1 accepted", [&](auto& b) { b[30] = 1; fixSum(b); }, 1, false},
      {"format id 4", [&](auto& b) { b[4] = 4; fixSum(b); }, 0, true},
      {"file size field off", [&](auto& b) { b[8] += 1; fixSum(b); }, 0, true},
      {"too short", [](auto& b) { b.resize(32831); }, 0, false},
      {"empty", [](auto& b) { b.clear(); }, 0, false},
  };
  for (const auto& c : cases) {
    auto bytes = base;
    c.damage(bytes);
    auto path = Docs(std::string(c.name) + ".kvp");
    WriteAll(path, bytes);
    size_t before = ui_.messages().size();
    EXPECT_EQ(store_->checkProfileFile(path), c.result) << c.name;
    if (c.message) {
      ASSERT_EQ(ui_.messages().size(), before + 1) << c.name;
      EXPECT_EQ(ui_.messages().back(), FormatError(path)) << c.name;
    } else {
      EXPECT_EQ(ui_.messages().size(), before) << c.name;
    }
  }
  EXPECT_EQ(store_->checkProfileFile(Docs("missing.kvp")), kv::kProfileFileInvalid);
}

TEST_F(StoreTest, FileShorterThanItsHeaderPassesTheCheckButNotTheLoad) {
  auto path = Docs("short.kvp");
  ASSERT_TRUE(store_->createDefaultProfile(path));
  auto bytes = ReadAll(path);
  bytes[14] = 1;  // one macro the file does not hold
  uint32_t size = 32832 + 16512;
  std::memcpy(&bytes[8], &size, 4);
  bytes[31] = kv::profileHeaderChecksum(std::span<const uint8_t, 32>(bytes.data(), 32));
  WriteAll(path, bytes);
  EXPECT_EQ(store_->checkProfileFile(path), kv::kProfileFileValid);

  Assign(0, 0x1E, ActionType::SingleKey, 0x30);
  auto before = Entries();
  {
    auto lock = store_->lockConfig();
    EXPECT_FALSE(store_->loadProfileFile(path));
    EXPECT_TRUE(config_.macros.empty());
  }
  EXPECT_EQ(Entries(), before);
  ASSERT_FALSE(ui_.messages().empty());
  EXPECT_EQ(ui_.messages().back(), FormatError(path));

  // Through import: the format error, then the import message, nothing else.
  ui_.applyEnabled = false;
  Keyboard()->clearTrace();
  EXPECT_EQ(store_->importProfile(path), kv::ImportResult::kNotLoaded);
  EXPECT_EQ(ui_.messages().back(), kv::text(kv::TextId::MAIN_PROMPT_INPORT));
  EXPECT_EQ(Entries(), before);
  EXPECT_TRUE(Out().empty());
}

// An import asks before it replaces edits that wait, and only for a file it
// will load: a refusal leaves the working configuration and the keyboard as
// they were; a file that is no profile file is refused without the question.
TEST_F(StoreTest, ImportAsksBeforeReplacingAndARefusalChangesNothing) {
  Assign(0, 0x1E, ActionType::SingleKey, 0x30);  // A -> B, in the file
  auto valid = Docs("valid.kvp");
  ASSERT_TRUE(store_->exportProfile(valid));
  auto invalid = Docs("invalid.kvp");
  {
    std::ofstream f(invalid, std::ios::binary);
    f << "not a profile file";
  }
  struct Case {
    const char* name;
    std::filesystem::path file;
    bool answer;
    int questions;
    kv::ImportResult result;
  };
  const Case cases[] = {
      {"valid file, edits kept", valid, false, 1, kv::ImportResult::kDeclined},
      {"not a profile file", invalid, true, 0, kv::ImportResult::kNotLoaded},
      {"valid file, edits given up", valid, true, 1, kv::ImportResult::kWritten},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Assign(0, 0x1E, ActionType::SingleKey, 0x31);  // the edit that waits: A -> N
    ui_.applyEnabled = true;
    auto before = Entries();
    Keyboard()->clearTrace();
    int questions = 0;
    kv::ImportResult result = store_->importProfile(c.file, [&] {
      ++questions;
      bool unlocked = config_.lock.try_lock();
      if (unlocked) config_.lock.unlock();
      EXPECT_TRUE(unlocked) << "asked with the configuration locked";
      return c.answer;
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(questions, c.questions);
    if (result == kv::ImportResult::kWritten) {
      EXPECT_FALSE(ui_.applyEnabled);
      EXPECT_NE(Entries(), before);
    } else {
      EXPECT_EQ(Entries(), before) << "the edit was replaced";
      EXPECT_TRUE(ui_.applyEnabled) << "the edit no longer waits";
      EXPECT_TRUE(Out().empty()) << "the keyboard was written";
    }
  }
}

// Exit while the start-up read runs on a slow keyboard. The main window
// holds the store and then the device events, so the events go first: their
// destruction waits for the presence worker inside the read, and the store
// that read fills is freed only after it. Under ThreadSanitizer too.
TEST_F(StoreTest, ExitDuringASlowStartUpReadWaitsForTheRead) {
  kv::sim::SimConfig slow = kvtest::ZeroRoundTrip();
  slow.roundTrip = std::chrono::milliseconds(2);
  Start(slow, kvtest::FastTiming());
  struct Program {  // in the main window's order of members
    std::unique_ptr<kv::ProfileStore> store;
    std::unique_ptr<kv::DeviceEvents> events;
  };
  auto program = std::make_unique<Program>();
  program->store = std::make_unique<kv::ProfileStore>(config_, snapshot_, ui_, docs_,
                                                      [this] { return Keyboard()->status().macroBytes; });
  std::atomic<int> reads{0};
  std::atomic<bool> readEnded{false};
  ui_.onReload = [&, store = program->store.get()] {
    ++reads;
    (void)store->readKeyboardToCache();  // the start-up read-ahead
    readEnded = true;
  };
  program->events = std::make_unique<kv::DeviceEvents>(ui_);
  kv::InstallDeviceEvents(program->events.get());
  program->events->StartPresenceWorker(1);
  for (int i = 0; i < 2000 && reads.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(reads.load(), 1) << "the read did not start";
  kv::InstallDeviceEvents(nullptr);
  program.reset();
  EXPECT_TRUE(readEnded) << "the program's parts went while the read still ran";
}

TEST_F(StoreTest, FileWhoseEntriesShareOneStringIsAFormatError) {
  // Every launch entry on one 64 KB string: 128 MB of strings from a 100 KB file.
  auto path = Docs("shared.kvp");
  const size_t poolSize = 64 * 1024;
  kv::KeyActionTable t{};
  for (auto& e : t.entries) e = {ActionType::LaunchProgram, 0, 0, 0, 0};
  kv::writeProfileHeader(t, 0, poolSize, 0);
  std::vector<uint8_t> bytes(sizeof t + poolSize, 'p');
  std::memcpy(bytes.data(), &t, sizeof t);
  bytes[bytes.size() - 2] = bytes[bytes.size() - 1] = 0;
  WriteAll(path, bytes);
  EXPECT_EQ(store_->checkProfileFile(path), kv::kProfileFileValid) << "the header alone is sound";

  Assign(0, 0x1E, ActionType::SingleKey, 0x30);
  auto before = Entries();
  {
    auto lock = store_->lockConfig();
    ASSERT_TRUE(kv::attachString(config_.strings, 7, u"mine"));
    EXPECT_FALSE(store_->loadProfileFile(path));
    EXPECT_EQ(config_.strings.total, 10u);
    EXPECT_EQ(config_.strings.text(7), u"mine");
  }
  EXPECT_EQ(Entries(), before);
  ASSERT_FALSE(ui_.messages().empty());
  EXPECT_EQ(ui_.messages().back(), FormatError(path));

  kv::LoadedProfile loaded;
  EXPECT_EQ(kv::parseProfileBytes(bytes, loaded), kv::ProfileReadResult::BadFormat);
}

TEST_F(StoreTest, SaveAndLoadKeepWhatOnlyTheProgramKeeps) {
  Assign(0, 0x1E, ActionType::SingleKey, 0x30);
  Assign(1, 0x3B, ActionType::Media, 5);
  Assign(2, 0x02, ActionType::FunctionKey, 3);
  Assign(0, 0x03, ActionType::LaunchProgram, 0);
  Assign(1, 0x04, ActionType::TextBlock, 0);
  {
    std::lock_guard lock(config_.lock);
    ASSERT_TRUE(kv::attachString(config_.strings, kv::entryIndex(0, 0x03), u"C:\\Games\\launch.exe"));
    ASSERT_TRUE(kv::attachString(config_.strings, kv::entryIndex(1, 0x04), u"gg \u4e2d"));
    config_.macros.push_back(MakeMacro(7, u"Combo", 30));
    config_.macros.back().playMode = 2;
    config_.table->entries[kv::entryIndex(3, 0x10)].mark = 0xDEADBEEF;  // block 3 and marks travel too
  }
  auto path = Docs("full.kvp");
  ASSERT_TRUE(store_->exportProfile(path));
  auto bytes = ReadAll(path);
  size_t pool = (19 + 1) * 2 + (4 + 1) * 2;
  EXPECT_EQ(bytes.size(), 32832 + 16512 + pool);
  EXPECT_EQ(store_->checkProfileFile(path), 1);

  kv::WorkingConfig other;
  kv::ApplySnapshot otherSnap;
  kv::ProfileStore second(other, otherSnap, ui_, docs_, [] { return 8192; });
  std::lock_guard lock(other.lock);
  ASSERT_TRUE(second.loadProfileFile(path));
  std::lock_guard lock2(config_.lock);
  EXPECT_EQ(0, std::memcmp(other.table.get(), config_.table.get(), sizeof(kv::KeyActionTable)));
  ASSERT_EQ(other.macros.size(), 1u);
  EXPECT_EQ(0, std::memcmp(&other.macros[0], &config_.macros[0], sizeof(kv::MacroRecord)));
  EXPECT_EQ(other.strings.text(kv::entryIndex(0, 0x03)), u"C:\\Games\\launch.exe");
  EXPECT_EQ(other.strings.text(kv::entryIndex(1, 0x04)), u"gg \u4e2d");
  EXPECT_EQ(other.strings.total, pool);
}

TEST_F(StoreTest, KeyboardWithoutMacroImageGivesTheBareFile) {
  auto path = Docs("kb.kvp");
  ASSERT_TRUE(store_->readKeyboardToFile(path));
  auto bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 32832u);
  EXPECT_EQ(store_->checkProfileFile(path), 1);
  // A factory keyboard: every key at its default.
  kv::KeyActionTable reset{};
  kv::resetTable(reset);
  for (int b = 0; b < 3; ++b)
    for (int s = 0; s < 256; ++s)
      EXPECT_EQ(bytes[64 + 16 * kv::entryIndex(b, s)], 0) << b << ":" << s;
}

TEST_F(StoreTest, NoKeyboardMeansNoFileAndTheDefaultConfiguration) {
  Keyboard()->unplug();
  Keyboard()->drain();
  kv::ResetActiveProfileCache();
  EXPECT_FALSE(store_->readKeyboardToFile(Docs("none.kvp")));
  EXPECT_FALSE(std::filesystem::exists(Docs("none.kvp")));
  Assign(0, 0x1E, ActionType::SingleKey, 0x30);
  ui_.applyEnabled = true;
  store_->reloadFromKeyboard();
  kv::KeyActionTable reset{};
  kv::resetTable(reset);
  auto e = Entries();
  EXPECT_TRUE(std::equal(e.begin(), e.end(), reset.entries.begin()));
  EXPECT_FALSE(ui_.applyEnabled);
  EXPECT_EQ(ui_.refreshes(), 1);
}

TEST_F(StoreTest, ImportWritesTheKeyboardAndReadsBackTheSameKeyRecords) {
  Assign(0, 0x1E, ActionType::SingleKey, 0x30);   // A -> B
  Assign(0, 0x2A, ActionType::SingleKey, 0x36);   // left Shift -> right Shift
  Assign(1, 0x3B, ActionType::Media, 5);
  Assign(2, 0x02, ActionType::FunctionKey, 3);
  Assign(1, 0x10, ActionType::PlayMacro, 9, 1);
  {
    std::lock_guard lock(config_.lock);
    config_.macros.push_back(MakeMacro(9, u"Nine", 4));
  }
  auto path = Docs("import.kvp");
  ASSERT_TRUE(store_->exportProfile(path));
  std::vector<uint8_t> expected[3];
  {
    std::lock_guard lock(config_.lock);
    for (int p = 0; p < 3; ++p) {
      kv::DeviceProfileRecords r;
      ASSERT_TRUE(kv::encodeProfile(*config_.table, p, config_.macros, kv::currentKeySlotTemplate(), r));
      expected[p].resize(324);
      kv::recordsToBytes(r, std::span<uint8_t, 324>(expected[p].data(), 324));
    }
    clearWorkingConfig(config_);
    ASSERT_TRUE(store_->createDefaultProfile());
  }
  Keyboard()->clearTrace();
  ui_.applyEnabled = true;
  EXPECT_EQ(store_->importProfile(path), kv::ImportResult::kWritten);
  EXPECT_FALSE(ui_.applyEnabled);
  for (int p = 0; p < 3; ++p) EXPECT_EQ(Keyboard()->read(kv::sim::Region::KeyTables, 324 * p, 324), expected[p]) << p;
  // One bracket: begin, the macro image, the three tables, end.
  auto cmds = Commands(Out());
  ASSERT_FALSE(cmds.empty());
  EXPECT_EQ(cmds.front(), 0x01);
  EXPECT_EQ(cmds.back(), 0x02);
  auto firstTable = std::find(cmds.begin(), cmds.end(), 0x08);
  EXPECT_TRUE(std::find(cmds.begin(), firstTable, 0x0A) != firstTable);
  EXPECT_EQ(std::count(cmds.begin(), cmds.end(), 0x08), 18);

  // Read back through the cache: the key records and the macro come back.
  auto before = Entries();
  store_->reloadFromKeyboard();
  auto after = Entries();
  for (int b = 0; b < 3; ++b)
    for (int s = 0; s < 256; ++s) {
      const auto& x = before[kv::entryIndex(b, s)];
      const auto& y = after[kv::entryIndex(b, s)];
      EXPECT_EQ(x.type, y.type) << b << ":" << s;
      if (x.type != ActionType::PlayMacro) {
        EXPECT_EQ(x.value, y.value) << b << ":" << s;
      }
    }
  std::lock_guard lock(config_.lock);
  ASSERT_EQ(config_.macros.size(), 1u);
  EXPECT_EQ(kv::macroName(config_.macros[0]), u"Nine");
  EXPECT_EQ(config_.table->entries[kv::entryIndex(1, 0x10)].value, 1u);  // ids read back as position + 1
}

class ApplyTest : public StoreTest {
 protected:
  bool Apply() { return kv::ApplyCommand(*store_, ui_).Apply().ok(); }
};

TEST_F(ApplyTest, WithoutCacheFileWritesTheKeyboardButStaysEnabled) {
  Assign(0, 0x1E, ActionType::SingleKey, 0x30);
  ui_.applyEnabled = true;
  EXPECT_FALSE(Apply());
  EXPECT_TRUE(ui_.applyEnabled);
  EXPECT_FALSE(std::filesystem::exists(Cache()));
  auto cmds = Commands(Out());
  EXPECT_EQ(std::count(cmds.begin(), cmds.end(), 0x08), 6);  // the active profile only
  EXPECT_EQ(ui_.progress(), (std::vector<bool>{true, false}));
  EXPECT_TRUE(ui_.tasks().empty());
}

TEST_F(ApplyTest, WithCacheSavesWritesAndDisables) {
  store_->reloadFromKeyboard();
  ASSERT_TRUE(std::filesystem::exists(Cache()));
  Assign(0, 0x1E, ActionType::SingleKey, 0x30);
  ui_.applyEnabled = true;
  EXPECT_TRUE(Apply());
  EXPECT_FALSE(ui_.applyEnabled);
  kv::WorkingConfig other;
  kv::ApplySnapshot otherSnap;
  kv::ProfileStore second(other, otherSnap, ui_, docs_, [] { return 8192; });
  std::lock_guard lock(other.lock);
  ASSERT_TRUE(second.loadProfileFile(Cache()));
  EXPECT_EQ(other.table->entries[kv::entryIndex(0, 0x1E)].type, ActionType::SingleKey);
  auto active = Keyboard()->status().activeProfile;
  auto records = Keyboard()->read(kv::sim::Region::KeyTables, 324 * active, 324);
  // A is at keyboard key slot 25 of the template (02 02 04).
  bool found = false;
  for (int s = 0; s < 108; ++s)
    if (records[3 * s] == 2 && records[3 * s + 1] == 2 && records[3 * s + 2] == 0x05) found = true;  // usage of B
  EXPECT_TRUE(found);
}

// Documents not writable (a protected folder, or the cache file held by
// another program): said once, and the window goes on with the keyboard's
// contents through reloads, Apply and reverts, never the defaults.
TEST_F(ApplyTest, CacheThatCannotBeWrittenIsKeptInMemoryAndSaidOnce) {
  store_->reloadFromKeyboard();
  Assign(0, 0x1E, ActionType::SingleKey, 0x30);
  ui_.applyEnabled = true;
  ASSERT_TRUE(Apply());  // the keyboard now holds A = B
  // A file where the profile folder would be: nothing can be written there.
  std::filesystem::path blocked = docs_ / "blocked";
  std::filesystem::create_directories(blocked);
  WriteAll(blocked / "Korvalin", {1, 2, 3});
  kv::WorkingConfig other;
  kv::ApplySnapshot otherSnap;
  kv::ProfileStore second(other, otherSnap, ui_, blocked, [] { return 8192; });
  ui_.ClearMessages();
  second.reloadFromKeyboard();
  auto typeOfA = [&] {
    std::lock_guard lock(other.lock);
    return other.table ? other.table->entries[kv::entryIndex(0, 0x1E)].type : ActionType{};
  };
  EXPECT_EQ(typeOfA(), ActionType::SingleKey) << "the defaults were shown";
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_NE(ui_.messages()[0].find(u"cannot be saved"), std::u16string::npos);
  second.reloadFromKeyboard();
  EXPECT_EQ(ui_.messages().size(), 1u) << "said again";

  // An edit applied, then one dropped: the revert goes back to the applied one.
  {
    std::lock_guard lock(other.lock);
    ASSERT_TRUE(kv::writeAssignment(*other.table, other.strings, 0, kv::slotOfKey(0x1E), ActionType::Default, 0, 0));
  }
  ui_.applyEnabled = true;
  EXPECT_TRUE(kv::ApplyCommand(second, ui_).Apply().ok());
  {
    std::lock_guard lock(other.lock);
    ASSERT_TRUE(kv::writeAssignment(*other.table, other.strings, 0, kv::slotOfKey(0x1E), ActionType::SingleKey, 0, 0x30));
  }
  EXPECT_TRUE(second.revertToCache());
  EXPECT_EQ(typeOfA(), ActionType::Default);
  EXPECT_EQ(ui_.messages().size(), 1u);
}

TEST_F(ApplyTest, NothingToApplyWritesNothing) {
  ui_.applyEnabled = false;
  Keyboard()->clearTrace();
  EXPECT_TRUE(Apply());
  EXPECT_TRUE(Out().empty());
}

TEST_F(ApplyTest, MacroMemoryTooSmallWritesNothingAtAll) {
  store_->reloadFromKeyboard();
  {
    std::lock_guard lock(config_.lock);
    config_.macros.push_back(MakeMacro(1, u"Long", 500));
  }
  capacity_ = 128;
  ui_.applyEnabled = true;
  auto cache = ReadAll(Cache());
  Keyboard()->clearTrace();
  EXPECT_FALSE(Apply());
  EXPECT_TRUE(Out().empty());
  ASSERT_FALSE(ui_.messages().empty());
  EXPECT_EQ(ui_.messages().back(), kv::text(kv::TextId::EXTRA_MACRO_TOO_LONG));
  EXPECT_TRUE(ui_.applyEnabled);
}

TEST_F(ApplyTest, NamesDroppedBetweenTheTwoSizes) {
  store_->reloadFromKeyboard();
  {
    std::lock_guard lock(config_.lock);
    config_.macros.push_back(MakeMacro(1, std::u16string(100, u'n'), 10));
    auto sizes = kv::macroImageSizes(config_.macros);
    capacity_ = static_cast<int>(sizes.withoutNames + 10);
    ASSERT_LT(static_cast<size_t>(capacity_), sizes.withNames);
  }
  ui_.applyEnabled = true;
  EXPECT_TRUE(Apply());
  ASSERT_FALSE(ui_.messages().empty());
  EXPECT_EQ(ui_.messages().back(), kv::text(kv::TextId::EXTRA_PROFILE_SPACE_TIGHT));
  auto image = Keyboard()->read(kv::sim::Region::Macro, 0, 16);
  EXPECT_EQ(image[0], 0xAA);
  EXPECT_EQ(image[1], 0x55);
  EXPECT_EQ(image[6], 0);  // names flag
  // The names stay in the program.
  std::lock_guard lock(config_.lock);
  EXPECT_EQ(kv::macroName(config_.macros[0]), std::u16string(100, u'n'));
}

TEST_F(ApplyTest, UnplugDuringApplyReportsFailureAndKeepsEverything) {
  store_->reloadFromKeyboard();
  Assign(0, 0x1E, ActionType::SingleKey, 0x30);
  auto entries = Entries();
  ui_.applyEnabled = true;
  kv::sim::SimFaults f;
  f.unplugAfter = 3;
  Fault(f);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Apply());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_TRUE(ui_.applyEnabled);
  EXPECT_EQ(Entries(), entries);
  // The cache holds the configuration whole.
  EXPECT_EQ(store_->checkProfileFile(Cache()), 1);
  kv::WorkingConfig other;
  kv::ApplySnapshot otherSnap;
  kv::ProfileStore second(other, otherSnap, ui_, docs_, [] { return 8192; });
  std::lock_guard lock(other.lock);
  ASSERT_TRUE(second.loadProfileFile(Cache()));
  EXPECT_EQ(std::vector<kv::KeyActionEntry>(other.table->entries.begin(), other.table->entries.end()), entries);
}

// A failed write says what failed, so that the window can say it: the
// keyboard not answering, or which region it refused; a later good write
// clears it.
TEST_F(ApplyTest, FailedWriteSaysWhatFailed) {
  store_->reloadFromKeyboard();
  Assign(0, 0x1E, ActionType::SingleKey, 0x30);
  struct Case {
    const char* name;
    kv::sim::SimFaults faults;
    kv::WriteFailure expected;
  };
  kv::sim::SimFaults drop;
  drop.dropResponses = 1000;
  // A refused report is sent three times.
  kv::sim::SimFaults macros;  // the bracket opens, the first macro chunk is refused
  macros.after = 1;
  macros.errorStatus = 3;
  kv::sim::SimFaults keys;  // the bracket and the one-chunk macro image pass, a key table chunk is refused
  keys.after = 2;
  keys.errorStatus = 3;
  const Case cases[] = {{"no answer", drop, kv::WriteFailure::kNoAnswer},
                        {"macros refused", macros, kv::WriteFailure::kMacrosRefused},
                        {"key table refused", keys, kv::WriteFailure::kKeysRefused}};
  for (const Case& c : cases) {
    ui_.applyEnabled = true;
    Fault(c.faults);
    EXPECT_FALSE(Apply()) << c.name;
    Fault(kv::sim::SimFaults{});
    EXPECT_EQ(store_->lastWriteFailure(), c.expected) << c.name;
    EXPECT_TRUE(ui_.applyEnabled) << c.name;
    EXPECT_TRUE(Apply()) << c.name;
    EXPECT_EQ(store_->lastWriteFailure(), kv::WriteFailure::kNone) << c.name;
  }
}

// Every message the store and Apply have for the user, each shown only once
// the locks are released (the recording window fails the test otherwise),
// complete and in order.
TEST_F(ApplyTest, MessagesAreShownOnlyOutsideTheLocks) {
  store_->reloadFromKeyboard();
  auto longMacros = Docs("long.kvp");
  auto namedMacros = Docs("named.kvp");
  auto shortFile = Docs("short.kvp");
  auto badHeader = Docs("bad.kvp");
  size_t withoutNames = 0;
  {
    std::lock_guard lock(config_.lock);
    config_.macros.push_back(MakeMacro(1, std::u16string(100, u'n'), 500));
    withoutNames = kv::macroImageSizes(config_.macros).withoutNames;
  }
  ASSERT_TRUE(store_->exportProfile(longMacros));
  ASSERT_TRUE(store_->exportProfile(namedMacros));
  auto bytes = ReadAll(namedMacros);
  bytes[14] = 2;  // a macro the file does not hold
  uint32_t size = 32832 + 2 * 16512;
  std::memcpy(&bytes[8], &size, 4);
  bytes[31] = kv::profileHeaderChecksum(std::span<const uint8_t, 32>(bytes.data(), 32));
  WriteAll(shortFile, bytes);
  bytes[31] += 1;
  WriteAll(badHeader, bytes);

  const auto tooLong = kv::text(kv::TextId::EXTRA_MACRO_TOO_LONG);
  const auto tight = kv::text(kv::TextId::EXTRA_PROFILE_SPACE_TIGHT);
  const auto importFailed = kv::text(kv::TextId::MAIN_PROMPT_INPORT);
  struct Case {
    const char* name;
    int capacity;
    std::function<void()> run;
    std::vector<std::u16string> messages;
  };
  const Case cases[] = {
      {"Apply, macros too long", 128, [&] { ui_.applyEnabled = true; (void)Apply(); }, {tooLong}},
      {"Apply, names dropped", static_cast<int>(withoutNames + 10),
       [&] { ui_.applyEnabled = true; (void)Apply(); }, {tight}},
      {"import, macros too long", 128, [&] { (void)store_->importProfile(longMacros); }, {tooLong}},
      {"import, names dropped", static_cast<int>(withoutNames + 10),
       [&] { (void)store_->importProfile(namedMacros); }, {tight}},
      {"import, file shorter than its header", 8192, [&] { (void)store_->importProfile(shortFile); },
       {FormatError(shortFile), importFailed}},
      {"import, bad header", 8192, [&] { (void)store_->importProfile(badHeader); }, {FormatError(badHeader), importFailed}},
      {"load under the caller's lock", 8192,
       [&] {
         auto lock = store_->lockConfig();
         EXPECT_FALSE(store_->loadProfileFile(shortFile));
         EXPECT_TRUE(ui_.messages().empty()) << "shown while the lock is held";
       },
       {FormatError(shortFile)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    capacity_ = c.capacity;
    ui_.ClearMessages();
    c.run();
    EXPECT_EQ(ui_.messages(), c.messages);
  }
}

TEST_F(StoreTest, SaveLeavesNoTemporaryFileAndReplacesWhole) {
  auto path = Docs("replace.kvp");
  WriteAll(path, std::vector<uint8_t>(100000, 0xEE));
  ASSERT_TRUE(store_->exportProfile(path));
  EXPECT_EQ(ReadAll(path).size(), 32832u);
  for (const auto& e : std::filesystem::directory_iterator(docs_))
    EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
  // A save that cannot happen leaves the old file as it was.
  auto folderAsFile = Docs("sub");
  std::filesystem::create_directories(folderAsFile / "x.kvp");
  EXPECT_FALSE(store_->exportProfile(folderAsFile / "x.kvp"));
  EXPECT_TRUE(std::filesystem::is_directory(folderAsFile / "x.kvp"));
}

TEST_F(StoreTest, SaveRemovesTemporaryFilesOfKilledSaves) {
  // No process ever has the id pid_max: a save by it was killed.
  uint64_t gone = 4194304;
  std::ifstream("/proc/sys/kernel/pid_max") >> gone;
  ASSERT_FALSE(kv::processRunning(gone));
  auto path = Docs("out.kvp");
  auto dead = kv::temporaryPathFor(path, gone);
  auto running = kv::temporaryPathFor(path, static_cast<uint64_t>(::getppid()));  // a save in progress
  auto otherFile = kv::temporaryPathFor(Docs("other.kvp"), gone);
  const std::filesystem::path kept[] = {running, otherFile, Docs("out.kvp.tmp-12ab"), Docs("out.kvp.tmp-"),
                                        Docs("out.kvp.tmp-123456789012")};
  WriteAll(dead, std::vector<uint8_t>(1000, 0xAB));
  for (const auto& p : kept) WriteAll(p, {1});

  ASSERT_TRUE(store_->exportProfile(path));
  EXPECT_FALSE(std::filesystem::exists(dead));
  for (const auto& p : kept) EXPECT_TRUE(std::filesystem::exists(p)) << p;
  EXPECT_EQ(store_->checkProfileFile(path), kv::kProfileFileValid);
}


// ---- nothing lost -------------------------------------------------------------------------

// A keyboard holding a macro that key 0x1E of every profile plays, read once
// into the cache; then a read that fails, leaving the defaults shown.
class UnreadTest : public ApplyTest {
 protected:
  void SetUp() override {
    ApplyTest::SetUp();
    for (int p = 0; p < 3; ++p) Assign(p, 0x1E, ActionType::PlayMacro, 1, 1);
    {
      auto lock = store_->lockConfig();
      config_.macros.push_back(MakeMacro(1, u"Nine", 3));
      ASSERT_TRUE(store_->writeConfigToKeyboard(true));
    }
    store_->reloadFromKeyboard();
    keyboardMacros_ = MacroMemory();
    ASSERT_EQ(keyboardMacros_[0], 0xAA);
    active_ = kv::GetActiveProfile();
    ASSERT_GE(active_, 0);

    kv::sim::SimFaults f;
    f.errorStatus = 1000;
    Fault(f);
    store_->reloadFromKeyboard();
    Fault({});
    std::lock_guard lock(config_.lock);
    ASSERT_TRUE(config_.macros.empty()) << "the failed read shows the defaults";
    ASSERT_TRUE(config_.sources.anyUnread());
  }
  std::vector<uint8_t> MacroMemory() { return Keyboard()->read(kv::sim::Region::Macro, 0, 64); }
  int Writes() {
    int n = 0;
    for (int c : Commands(Out())) n += kv::sim::IsWriteCommand(static_cast<uint8_t>(c)) ? 1 : 0;
    return n;
  }

  std::vector<uint8_t> keyboardMacros_;
  int active_ = -1;
};

TEST_F(UnreadTest, ApplyReadsAgainFirstAndKeepsTheKeyboardsMacros) {
  Assign(active_, 0x20, ActionType::SingleKey, 0x31);
  ui_.applyEnabled = true;
  EXPECT_TRUE(Apply());
  EXPECT_EQ(ui_.overwriteQuestions(), 0);
  EXPECT_EQ(MacroMemory(), keyboardMacros_);
  std::lock_guard lock(config_.lock);
  EXPECT_FALSE(config_.sources.anyUnread());
  ASSERT_EQ(config_.macros.size(), 1u);
  EXPECT_EQ(config_.table->entries[kv::entryIndex(active_, 0x1E)].type, ActionType::PlayMacro);  // the keyboard's
  EXPECT_EQ(config_.table->entries[kv::entryIndex(active_, 0x20)].type, ActionType::SingleKey);  // the edit
}

// The read fails again: the user decides, and nothing is written unless the
// answer is to write anyway.
TEST_F(UnreadTest, ApplyAsksWhenTheReadFailsAgain) {
  // How many reports a read again takes to fail: only those fail below, so
  // that a write the user chose is answered.
  Keyboard()->clearTrace();
  kv::sim::SimFaults failing;
  failing.errorStatus = 1000;
  Fault(failing);
  ASSERT_EQ(store_->readUnreadRegions(false), kv::WriteCheck::kUnread);
  Fault({});
  const int failedReports = static_cast<int>(Out().size());
  for (bool writeAnyway : {false, true}) {
    SCOPED_TRACE(writeAnyway ? "write anyway" : "cancel");
    Assign(active_, 0x20, ActionType::SingleKey, 0x31);
    ui_.applyEnabled = true;
    ui_.writeOverUnread = writeAnyway;
    int asked = ui_.overwriteQuestions();
    Keyboard()->clearTrace();
    kv::sim::SimFaults f;
    f.errorStatus = failedReports;
    Fault(f);
    EXPECT_EQ(Apply(), writeAnyway);
    Fault({});
    EXPECT_EQ(ui_.overwriteQuestions(), asked + 1);
    EXPECT_EQ(ui_.applyEnabled, !writeAnyway);
    if (writeAnyway) {
      EXPECT_NE(MacroMemory(), keyboardMacros_);  // what the user chose
    } else {
      EXPECT_EQ(Writes(), 0);
      EXPECT_EQ(MacroMemory(), keyboardMacros_);
    }
  }
}

TEST_F(UnreadTest, NothingToApplyAsksNothing) {
  ui_.applyEnabled = false;
  kv::sim::SimFaults f;
  f.errorStatus = 1000;
  Fault(f);
  EXPECT_TRUE(Apply());
  Fault({});
  EXPECT_EQ(ui_.overwriteQuestions(), 0);
}

// The keyboard has no G-key slots: what G keys do survives every rebuild of
// the configuration from the keyboard, program paths included.
TEST_F(StoreTest, GKeyAssignmentsSurviveAReloadFromTheKeyboard) {
  store_->reloadFromKeyboard();
  const int g1 = kv::entryIndex(0, kv::slotOfGKey(0, 0)), g9b = kv::entryIndex(2, kv::slotOfGKey(1, 8));
  {
    auto lock = store_->lockConfig();
    ASSERT_TRUE(kv::writeAssignment(*config_.table, config_.strings, 0, kv::slotOfGKey(0, 0), ActionType::SingleKey, 0, 0x31));
    ASSERT_TRUE(kv::writeAssignment(*config_.table, config_.strings, 2, kv::slotOfGKey(1, 8), ActionType::LaunchProgram, 0, 0));
    ASSERT_TRUE(kv::attachString(config_.strings, g9b, u"C:\\Games\\run.exe"));
    ASSERT_TRUE(store_->saveProfileCache());
  }
  store_->reloadFromKeyboard();
  std::lock_guard lock(config_.lock);
  EXPECT_EQ(config_.table->entries[g1].type, ActionType::SingleKey);
  EXPECT_EQ(config_.table->entries[g1].value, 0x31u);
  EXPECT_EQ(config_.table->entries[g9b].type, ActionType::LaunchProgram);
  EXPECT_EQ(config_.strings.text(g9b), u"C:\\Games\\run.exe");
  EXPECT_FALSE(config_.sources.anyUnread());
}

// The keyboard got the edits but the cache file did not: the edits are not
// stranded, so a profile switch may go on; Apply itself stays lit.
TEST_F(ApplyTest, WrittenButNotSavedIsToldApart) {
  store_->reloadFromKeyboard();
  std::filesystem::remove(Cache());
  Assign(0, 0x1E, ActionType::SingleKey, 0x30);
  ui_.applyEnabled = true;
  kv::ApplyResult r = kv::ApplyCommand(*store_, ui_).Apply();
  EXPECT_TRUE(r.written);
  EXPECT_FALSE(r.saved);
  EXPECT_TRUE(ui_.applyEnabled);
}

}  // namespace
}  // namespace kvtest
