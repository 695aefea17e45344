// Whole-keyboard backups: the file byte for byte, every way a file can be
// damaged, fitting the macro memory onto another keyboard, and the moves to
// and from the simulated keyboard, including one that lies about its writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "macro/macro_image.h"
#include "profile/keyboard_backup.h"
#include "tessaro/sim/sim_keyboard.h"
#include "tests/device/link_fixture.h"
#include "tests/profile/store_fixture.h"

namespace kvtest {
namespace {

using kv::BackupError;
using kv::KeyboardContents;
using Bytes = std::vector<uint8_t>;

// One unit of macro memory and a pattern in every region; its file was
// worked out independently of this code (CRC-32 of zlib).
KeyboardContents SmallContents() {
  KeyboardContents c;
  for (size_t i = 0; i < c.settings.size(); ++i) c.settings[i] = static_cast<uint8_t>(i);
  for (size_t i = 0; i < c.colours.size(); ++i) c.colours[i] = static_cast<uint8_t>(i * 3);
  for (size_t i = 0; i < c.keyTables.size(); ++i) c.keyTables[i] = static_cast<uint8_t>(i * 5);
  c.macro.resize(128);
  for (size_t i = 0; i < c.macro.size(); ++i) c.macro[i] = static_cast<uint8_t>(0xFF - i);
  c.activeProfile = 2;
  return c;
}

Bytes Encode(const KeyboardContents& c) {
  auto file = kv::encodeBackup(c);
  EXPECT_TRUE(file.has_value());
  return file.value_or(Bytes{});
}

// Rewrites the checksum after a deliberate change, so only that change is wrong.
void Reseal(Bytes& file) {
  uint32_t crc = kv::crc32(std::span(file).first(28));
  crc = kv::crc32(std::span(file).subspan(32), crc);
  std::memcpy(file.data() + 28, &crc, 4);
}

TEST(BackupFormat, Crc32IsTheStandardOne) {
  const std::string check = "123456789";
  const auto bytes = std::span(reinterpret_cast<const uint8_t*>(check.data()), check.size());
  EXPECT_EQ(kv::crc32(bytes), 0xCBF43926u);
  EXPECT_EQ(kv::crc32({}), 0u);
  EXPECT_EQ(kv::crc32(bytes.subspan(4), kv::crc32(bytes.first(4))), 0xCBF43926u);
}

TEST(BackupFormat, FileByteForByte) {
  const Bytes file = Encode(SmallContents());
  ASSERT_EQ(file.size(), 2026u);
  const Bytes header = {0x4B, 0x56, 0x42, 0x41, 0x43, 0x4B, 0x55, 0x50,  // KVBACKUP
                        0x01, 0x00, 0x20, 0x00, 0xEA, 0x07, 0x00, 0x00,  // version 1, header 32, 2026 bytes
                        0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 1 unit, profile 2, reserved
                        0x00, 0x00, 0x00, 0x00, 0x41, 0x85, 0x86, 0x80}; // CRC-32 0x80868541
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 32), header);
  // The regions follow in order: settings, per-key regions, key tables, macro memory.
  EXPECT_EQ(file[32], 0x00);
  EXPECT_EQ(file[32 + 125], 125);
  EXPECT_EQ(file[158], 0x00);
  EXPECT_EQ(file[158 + 767], static_cast<uint8_t>(767 * 3));
  EXPECT_EQ(file[926 + 1], 5);
  EXPECT_EQ(file[926 + 971], static_cast<uint8_t>(971 * 5));
  EXPECT_EQ(file[1898], 0xFF);
  EXPECT_EQ(file[2025], 0x80);
}

TEST(BackupFormat, DecodesWhatItEncodes) {
  KeyboardContents big = SmallContents();
  big.macro.assign(255 * 128, 0x5A);
  big.activeProfile = 0;
  for (const KeyboardContents& c : {SmallContents(), big}) {
    const Bytes file = Encode(c);
    EXPECT_EQ(file.size(), kv::backupFileSize(c.macro.size() / 128));
    KeyboardContents back;
    ASSERT_EQ(kv::decodeBackup(file, back), BackupError::None);
    EXPECT_EQ(back, c);
  }
}

TEST(BackupFormat, ContentsNoKeyboardHoldsAreNotEncoded) {
  KeyboardContents c = SmallContents();
  c.macro.resize(100);  // not whole units
  EXPECT_FALSE(kv::encodeBackup(c));
  c.macro.clear();
  EXPECT_FALSE(kv::encodeBackup(c));
  c.macro.assign(256 * 128, 0);  // more than the information block can name
  EXPECT_FALSE(kv::encodeBackup(c));
  c = SmallContents();
  c.activeProfile = 3;
  EXPECT_FALSE(kv::encodeBackup(c));
}

TEST(BackupFormat, DamagedFilesAreRefusedAndNothingIsDecoded) {
  const Bytes good = Encode(SmallContents());
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
    BackupError expected;
  };
  auto flip = [](size_t at, uint8_t bit) { return [=](Bytes& f) { f[at] ^= bit; }; };
  const Case cases[] = {
      {"empty", [](Bytes& f) { f.clear(); }, BackupError::TooShort},
      {"five bytes of the magic", [](Bytes& f) { f.resize(5); }, BackupError::TooShort},
      {"header cut", [](Bytes& f) { f.resize(31); }, BackupError::TooShort},
      {"last byte missing", [](Bytes& f) { f.pop_back(); }, BackupError::WrongSize},
      {"macro memory missing", [](Bytes& f) { f.resize(1898); }, BackupError::WrongSize},
      {"a byte more", [](Bytes& f) { f.push_back(0); }, BackupError::WrongSize},
      {"magic", flip(3, 0x20), BackupError::NotABackup},
      {"a profile file", [](Bytes& f) { f[0] = 0x46; f[1] = 0x44; }, BackupError::NotABackup},
      {"version 2", [](Bytes& f) { f[8] = 2; Reseal(f); }, BackupError::UnknownVersion},
      {"version 0x0101", flip(9, 0x01), BackupError::UnknownVersion},
      {"file size field", flip(13, 0x01), BackupError::WrongSize},
      {"settings bit", flip(32 + 15, 0x04), BackupError::BadChecksum},
      {"per-key bit", flip(158 + 300, 0x80), BackupError::BadChecksum},
      {"key table bit", flip(926 + 500, 0x01), BackupError::BadChecksum},
      {"macro bit", flip(2025, 0x10), BackupError::BadChecksum},
      {"checksum bit", flip(30, 0x02), BackupError::BadChecksum},
      {"active profile bit", flip(17, 0x01), BackupError::BadChecksum},
      {"header size 33, resealed", [](Bytes& f) { f[10] = 33; Reseal(f); }, BackupError::BadHeader},
      {"reserved byte, resealed", [](Bytes& f) { f[20] = 1; Reseal(f); }, BackupError::BadHeader},
      {"active profile 3, resealed", [](Bytes& f) { f[17] = 3; Reseal(f); }, BackupError::BadHeader},
      {"no macro memory, resealed", [](Bytes& f) { f[16] = 0; Reseal(f); }, BackupError::BadHeader},
      {"two units in one unit's file, resealed", [](Bytes& f) { f[16] = 2; Reseal(f); }, BackupError::BadHeader},
  };
  const KeyboardContents sentinel = [] {
    KeyboardContents s;
    s.macro.assign(128, 0xEE);
    s.settings.fill(0xEE);
    return s;
  }();
  for (const Case& k : cases) {
    Bytes file = good;
    k.damage(file);
    KeyboardContents out = sentinel;
    EXPECT_EQ(kv::decodeBackup(file, out), k.expected) << k.what;
    EXPECT_EQ(out, sentinel) << k.what;
    EXPECT_FALSE(kv::describeBackupError(k.expected, file).empty());
  }
}

TEST(BackupFormat, EverySingleBitFlipIsRefused) {
  const Bytes good = Encode(SmallContents());
  for (size_t i = 0; i < good.size(); ++i) {
    Bytes file = good;
    file[i] ^= static_cast<uint8_t>(1u << (i % 8));
    KeyboardContents out;
    ASSERT_NE(kv::decodeBackup(file, out), BackupError::None) << "byte " << i;
  }
}

TEST(BackupFormat, ErrorLinesSayWhatIsWrong) {
  Bytes file = Encode(SmallContents());
  Bytes truncated(file.begin(), file.end() - 28);
  EXPECT_EQ(kv::describeBackupError(BackupError::WrongSize, truncated),
            "damaged keyboard backup: 1998 bytes where its header says 2026");
  Bytes v7 = file;
  v7[8] = 7;
  EXPECT_EQ(kv::describeBackupError(BackupError::UnknownVersion, v7),
            "keyboard backup of format version 7; this program reads version 1");
  Bytes flipped = file;
  flipped[100] ^= 1;
  const std::string line = kv::describeBackupError(BackupError::BadChecksum, flipped);
  EXPECT_NE(line.find("checksum 0x"), std::string::npos) << line;
  EXPECT_NE(line.find("header says 0x80868541"), std::string::npos) << line;
  EXPECT_EQ(kv::describeBackupError(BackupError::TooShort, Bytes(3)),
            "not a keyboard backup (3 bytes, shorter than a backup's header)");
}

// ---- the macro memory on another keyboard ---------------------------------------

Bytes ImageMemory(size_t memoryBytes, std::vector<kv::MacroRecord> macros) {
  Bytes memory(memoryBytes, 0xC3);  // what lies past the image is not the keyboard's concern
  const size_t size = kv::macroImageSizes(macros).withNames;
  EXPECT_LE(size, memoryBytes);
  EXPECT_TRUE(kv::buildMacroImage(macros, memory, static_cast<uint16_t>(size), true));
  return memory;
}

TEST(BackupMacroFit, ImageExtentCoversAllTheKeyboardCanRead) {
  const Bytes twoMacros = ImageMemory(1024, {MakeMacro(1, u"Ab", 3), MakeMacro(2, u"Name", 10)});
  const size_t image = 16 + 4 + (4 + 12 + 4) + (4 + 40 + 8);
  struct Case {
    const char* what;
    Bytes memory;
    std::optional<size_t> extent;
  };
  Bytes nameBeyondLength = twoMacros;
  nameBeyondLength[2] = 16 + 4;  // total length says less than the macros reach
  Bytes offsetOut = twoMacros;
  offsetOut[18] = 0xFE;  // second macro at 0x03FE: its 4-byte head leaves the memory
  offsetOut[19] = 0x03;
  Bytes actionsOut = twoMacros;
  actionsOut[twoMacros[18] | twoMacros[19] << 8] = 0xFF;  // 255 actions of the second macro
  Bytes countOut(64, 0);
  countOut[0] = 0xAA;
  countOut[1] = 0x55;
  countOut[4] = 30;  // an offset table of 60 bytes after the 16-byte header
  Bytes headerOnly = {0xAA, 0x55, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Bytes lengthOut = headerOnly;
  lengthOut[2] = 17;
  const Case cases[] = {
      {"no magic", Bytes(128, 0), 0},
      {"one byte", Bytes(1, 0xAA), 0},
      {"magic, header cut", Bytes{0xAA, 0x55, 16, 0}, std::nullopt},
      {"empty image", headerOnly, 16},
      {"total length past the memory", lengthOut, std::nullopt},
      {"two macros", twoMacros, image},
      {"names past the total length", nameBeyondLength, image},
      {"offset past the memory", offsetOut, std::nullopt},
      {"actions past the memory", actionsOut, std::nullopt},
      {"offset table past the memory", countOut, std::nullopt},
  };
  for (const Case& k : cases) EXPECT_EQ(kv::macroImageExtent(k.memory), k.extent) << k.what;
}

TEST(BackupMacroFit, CutOnlyWhenTheImageFits) {
  const Bytes memory = ImageMemory(8192, {MakeMacro(1, u"Ab", 100)});  // image of 16 + 2 + 404 + 4 bytes
  struct Case {
    const char* what;
    size_t keyboardBytes;
    kv::MacroPlacement expected;
  };
  const Case cases[] = {
      {"same size", 8192, {true, 8192, 8192}},
      {"larger keyboard", 32640, {true, 8192, 8192}},
      {"smaller keyboard, image fits", 512, {true, 512, 426}},
      {"image exactly fills it", 426, {true, 426, 426}},
      {"one byte short", 425, {false, 0, 426}},
  };
  for (const Case& k : cases) {
    kv::MacroPlacement p = kv::placeMacroMemory(memory, k.keyboardBytes);
    EXPECT_EQ(p.fits, k.expected.fits) << k.what;
    EXPECT_EQ(p.writeBytes, k.expected.writeBytes) << k.what;
    EXPECT_EQ(p.neededBytes, k.expected.neededBytes) << k.what;
  }
  // An image naming bytes past its own memory cannot be cut safely.
  Bytes broken = memory;
  broken[2] = 0xFF;
  broken[3] = 0xFF;
  kv::MacroPlacement p = kv::placeMacroMemory(broken, 4096);
  EXPECT_FALSE(p.fits);
  EXPECT_EQ(p.neededBytes, 8192u);
  EXPECT_TRUE(kv::placeMacroMemory(broken, 8192).fits);  // whole, as it was
}

TEST(BackupCompare, FirstDifferenceNamesTheRegionAsDumpDoes) {
  KeyboardContents a = SmallContents(), b = a;
  EXPECT_FALSE(kv::firstDifference(a, b, a.macro.size()));
  b.colours[256 + 40] ^= 1;
  b.settings[2 * 42 + 15] = 9;
  auto d = kv::firstDifference(a, b, a.macro.size());
  ASSERT_TRUE(d);
  EXPECT_EQ(kv::describeDifference(*d), "settings differs at offset 0x0063: expected 0x63, found 0x09");
  b.keyTables[324 + 57] = 0;
  d = kv::firstDifference(a, b, a.macro.size());
  ASSERT_TRUE(d);
  EXPECT_EQ(kv::describeDifference(*d), "keys 1 differs at offset 0x0039: expected 0x71, found 0x00");
  b.macro[100] = 0;
  EXPECT_EQ(kv::firstDifference(a, b, a.macro.size())->region, "macros");
  EXPECT_EQ(kv::firstDifference(a, b, 100)->region, "keys 1");  // only the bytes written are compared
  b = a;
  b.activeProfile = 0;
  d = kv::firstDifference(a, b, a.macro.size());
  ASSERT_TRUE(d);
  EXPECT_EQ(kv::describeDifference(*d), "info differs at offset 0x000A: expected 0x02, found 0x00");
  b = a;
  b.colours[767] ^= 0xFF;
  EXPECT_EQ(kv::describeDifference(*kv::firstDifference(a, b, 128)),
            "colours 2 differs at offset 0x00FF: expected 0xFD, found 0x02");
}

// ---- with the simulated keyboard -------------------------------------------------

class BackupDeviceTest : public LinkTest {
 protected:
  // Every region of the keyboard changed from factory contents, so any
  // byte a restore loses shows.
  KeyboardContents Customise(uint8_t activeProfile = 1) {
    auto kb = Keyboard();
    auto changed = [&](kv::sim::Region r, uint8_t salt) {
      Bytes bytes = kb->read(r, 0, 1 << 20);
      for (size_t i = 0; i < bytes.size(); ++i) bytes[i] ^= static_cast<uint8_t>(salt + i * 7) | 1;
      EXPECT_TRUE(kb->write(r, 0, bytes));
      return bytes;
    };
    KeyboardContents c;
    Bytes s = changed(kv::sim::Region::Settings, 0x10);
    Bytes col = changed(kv::sim::Region::Colours, 0x20);
    Bytes keys = changed(kv::sim::Region::KeyTables, 0x30);
    c.macro = changed(kv::sim::Region::Macro, 0x40);
    std::copy(s.begin(), s.end(), c.settings.begin());
    std::copy(col.begin(), col.end(), c.colours.begin());
    std::copy(keys.begin(), keys.end(), c.keyTables.begin());
    EXPECT_TRUE(kb->write(kv::sim::Region::Info, 10, Bytes{activeProfile}));
    c.activeProfile = activeProfile;
    kv::ResetActiveProfileCache();
    return c;
  }
  // A factory-new keyboard in place of the current one.
  void FactoryNew(int macroUnits) {
    kv::sim::SimConfig c = ZeroRoundTrip();
    c.macroUnits = macroUnits;
    Start(c, FastTiming());
  }
  kv::sim::SimMemory Memory() {
    kv::sim::SimMemory m;
    auto kb = Keyboard();
    for (auto r : {kv::sim::Region::Info, kv::sim::Region::Settings, kv::sim::Region::Colours,
                   kv::sim::Region::KeyTables, kv::sim::Region::DefaultKeyTable}) {
      Bytes b = kb->read(r, 0, 1 << 20);
      std::copy(b.begin(), b.end(), m.region(r).begin());
    }
    m.macro = kb->read(kv::sim::Region::Macro, 0, 1 << 20);
    return m;
  }
};

TEST_F(BackupDeviceTest, BackupThenRestoreOntoAFactoryNewKeyboardIsByteIdentical) {
  const KeyboardContents original = Customise(2);
  const kv::sim::SimMemory before = Memory();
  KeyboardContents read;
  ASSERT_EQ(kv::readKeyboardContents(read), kv::kResultSuccess);
  EXPECT_EQ(read, original);
  const Bytes file = Encode(read);

  FactoryNew(kv::sim::kDefaultMacroUnits);
  kv::SetSelectedProfile(1);
  KeyboardContents decoded;
  ASSERT_EQ(kv::decodeBackup(file, decoded), BackupError::None);
  ASSERT_EQ(kv::writeKeyboardContents(decoded, decoded.macro.size()), kv::kResultSuccess);
  const kv::sim::SimMemory after = Memory();
  for (auto r : {kv::sim::Region::Info, kv::sim::Region::Settings, kv::sim::Region::Colours,
                 kv::sim::Region::KeyTables, kv::sim::Region::DefaultKeyTable, kv::sim::Region::Macro}) {
    auto x = const_cast<kv::sim::SimMemory&>(before).region(r), y = const_cast<kv::sim::SimMemory&>(after).region(r);
    EXPECT_TRUE(std::equal(x.begin(), x.end(), y.begin(), y.end())) << static_cast<int>(r);
  }
  EXPECT_EQ(kv::SelectedProfile(), 1);  // the lighting model's selection is kept

  // Every write inside one bracket; the active profile after it.
  std::vector<int> commands;
  for (const std::string& l : Out()) commands.push_back(ByteOf(l, 3));
  const auto begin = std::find(commands.begin(), commands.end(), 0x01);
  const auto end = std::find(commands.begin(), commands.end(), 0x02);
  ASSERT_LT(begin, end);
  for (auto it = commands.begin(); it != commands.end(); ++it) {
    if (kv::sim::IsWriteCommand(static_cast<uint8_t>(*it)) && *it != 0x04) {
      EXPECT_TRUE(it > begin && it < end) << "report " << (it - commands.begin());
    }
  }
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands[commands.size() - 2], 0x03);
  EXPECT_EQ(commands.back(), 0x04);
  EXPECT_EQ(std::count(commands.begin(), commands.end(), 0x01), 1);
}

TEST_F(BackupDeviceTest, ReadClosesTheBracketWhenARegionFails) {
  Customise();
  // Info, 18 key-table and 147 macro reports, BeginConfig, then the settings fail.
  kv::sim::SimFaults f;
  f.after = 1 + 18 + 147 + 1;
  f.errorStatus = 3;
  f.statusByte = 0xFF;
  Fault(f);
  KeyboardContents out;
  out.activeProfile = 2;
  EXPECT_EQ(kv::readKeyboardContents(out), kv::kResultStatusError);
  EXPECT_EQ(out.activeProfile, 2);
  EXPECT_TRUE(out.macro.empty());
  Keyboard()->drain();
  EXPECT_FALSE(Keyboard()->status().inBracket);
}

TEST_F(BackupDeviceTest, AKeyboardNamingNoProfileIsNotBackedUp) {
  ASSERT_TRUE(Keyboard()->write(kv::sim::Region::Info, 10, Bytes{3}));
  KeyboardContents out;
  EXPECT_EQ(kv::readKeyboardContents(out), kv::kResultBadInfoBlock);
  EXPECT_EQ(Out().size(), 1u);  // the information block only
}

TEST_F(BackupDeviceTest, ASmallerKeyboardTakesTheImageCutToItsSize) {
  // A 64-unit keyboard whose macros use 426 bytes, onto an 8-unit one.
  Bytes memory = ImageMemory(64 * 128, {MakeMacro(1, u"Ab", 100)});
  ASSERT_TRUE(Keyboard()->write(kv::sim::Region::Macro, 0, memory));
  KeyboardContents read;
  ASSERT_EQ(kv::readKeyboardContents(read), kv::kResultSuccess);

  FactoryNew(8);
  const kv::MacroPlacement place = kv::placeMacroMemory(read.macro, 8 * 128);
  ASSERT_TRUE(place.fits);
  ASSERT_EQ(kv::writeKeyboardContents(read, place.writeBytes), kv::kResultSuccess);
  EXPECT_EQ(Keyboard()->read(kv::sim::Region::Macro, 0, 1 << 20), Bytes(memory.begin(), memory.begin() + 1024));
  kv::MacroList before, after;
  ASSERT_TRUE(kv::parseMacroImage(memory, before));
  ASSERT_TRUE(kv::parseMacroImage(Keyboard()->read(kv::sim::Region::Macro, 0, 1 << 20), after));
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(0, std::memcmp(&before[0], &after[0], sizeof(kv::MacroRecord)));
}

// The keyboard acknowledges one write without storing it: reading back
// finds the region and the first byte it lost.
TEST_F(BackupDeviceTest, ReadingBackCatchesALyingKeyboard) {
  const KeyboardContents wanted = Customise(1);
  // Reports of a restore: BeginConfig, 147 macro chunks, 18 key-table
  // chunks, 3 settings records, 15 per-key pieces, EndConfig, then the
  // information block read and write.
  struct Case {
    const char* what;
    int reportsBefore;
    std::string expected;
  };
  const Case cases[] = {
      {"third macro chunk", 1 + 2, "macros differs at offset 0x0070"},
      {"second chunk of key table 1", 1 + 147 + 6 + 1, "keys 1 differs at offset 0x0038"},
      {"settings record of profile 2", 1 + 147 + 18 + 2, "settings differs at offset 0x0054"},
      {"fourth piece of per-key region 1", 1 + 147 + 18 + 3 + 5 + 3, "colours 1 differs at offset 0x009C"},
      {"the active profile", 1 + 147 + 18 + 3 + 15 + 1 + 1, "info differs at offset 0x000A: expected 0x01, found 0x00"},
  };
  for (const Case& k : cases) {
    FactoryNew(kv::sim::kDefaultMacroUnits);
    kv::sim::SimFaults f;
    f.after = k.reportsBefore;
    f.lyingWrites = 1;
    Fault(f);
    EXPECT_EQ(kv::writeKeyboardContents(wanted, wanted.macro.size()), kv::kResultSuccess) << k.what;
    kv::ResetActiveProfileCache();
    KeyboardContents found;
    ASSERT_EQ(kv::readKeyboardContents(found), kv::kResultSuccess) << k.what;
    auto d = kv::firstDifference(wanted, found, wanted.macro.size());
    ASSERT_TRUE(d) << k.what;
    EXPECT_EQ(kv::describeDifference(*d).substr(0, k.expected.size()), k.expected) << k.what;
  }
  // An honest keyboard reads back the same.
  FactoryNew(kv::sim::kDefaultMacroUnits);
  ASSERT_EQ(kv::writeKeyboardContents(wanted, wanted.macro.size()), kv::kResultSuccess);
  KeyboardContents found;
  ASSERT_EQ(kv::readKeyboardContents(found), kv::kResultSuccess);
  EXPECT_FALSE(kv::firstDifference(wanted, found, wanted.macro.size()));
}

}  // namespace
}  // namespace kvtest
