#include "keys/device_records.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "keys/working_config.h"

namespace kv {
namespace {

using Rec = DeviceActionRecord;

int templateSlotOf(KeyCode key) {
  const auto& t = builtInKeySlotTemplate();
  for (int s = 0; s < kDeviceKeySlots; ++s)
    if (DeviceEntryToKey(t.records[s]) == key) return s;
  return -1;
}

TEST(KeySlotTemplate, BuiltInTableNamesKeyButtonsOnce) {
  std::map<KeyCode, std::vector<int>> slots;
  const auto& t = builtInKeySlotTemplate();
  for (int s = 0; s < kDeviceKeySlots; ++s)
    if (KeyCode k = DeviceEntryToKey(t.records[s])) slots[k].push_back(s);
  std::set<KeyCode> buttons;
  for (const auto& b : KeyButtonTable) buttons.insert(b.keyCode);
  // The built-in table has no numeric pad, Backspace, Enter, PageDown or
  // right Win; the keyboard's own factory table brings those.
  const std::set<KeyCode> absent = {0x00E, 0x01C, 0x037, 0x047, 0x048, 0x049, 0x04A, 0x04B, 0x04C, 0x04D, 0x04E,
                                    0x04F, 0x050, 0x051, 0x052, 0x053, 0x11C, 0x135, 0x145, 0x151, 0x15C};
  std::set<KeyCode> expected;
  for (KeyCode k : buttons)
    if (!absent.count(k)) expected.insert(k);
  std::set<KeyCode> templateKeys;
  for (const auto& [k, v] : slots) templateKeys.insert(k);
  EXPECT_EQ(templateKeys, expected);
  EXPECT_EQ(slots[0x00D], (std::vector<int>{54, 105}));
  for (const auto& [k, v] : slots) {
    if (k != 0x00D) {
      EXPECT_EQ(v.size(), 1u) << std::hex << k;
    }
  }
  EXPECT_EQ(t.records[0], (Rec{5, 0, 0}));
  EXPECT_EQ(t.records[53], (Rec{5, 2, 2}));
  EXPECT_EQ(t.records[100], (Rec{2, 1, 0x20}));
  EXPECT_EQ(t.records[107], (Rec{2, 2, 0x31}));
}

TEST(KeySlotTemplate, FromBytesAndTheCurrentOne) {
  std::vector<uint8_t> bytes(kDeviceProfileBytes, 0);
  bytes[0] = 2, bytes[1] = 2, bytes[2] = 0x04;
  KeySlotTemplate t{};
  EXPECT_FALSE(keySlotTemplateFromBytes(std::span(bytes).first(323), t));
  ASSERT_TRUE(keySlotTemplateFromBytes(bytes, t));
  EXPECT_EQ(t.records[0], (Rec{2, 2, 4}));
  setCurrentKeySlotTemplate(t);
  EXPECT_EQ(currentKeySlotTemplate().records[0], (Rec{2, 2, 4}));
  resetCurrentKeySlotTemplate();
  EXPECT_EQ(currentKeySlotTemplate().records, builtInKeySlotTemplate().records);
}

class EncodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table = newKeyActionTable();
    macros.resize(3);
    macros[0].id = 7;
    macros[1].id = 3;
    macros[2].id = 12;
  }
  DeviceProfileRecords encode(int profile = 1) {
    DeviceProfileRecords out{};
    EXPECT_TRUE(encodeProfile(*table, profile, macros, builtInKeySlotTemplate(), out));
    return out;
  }
  std::unique_ptr<KeyActionTable> table;
  MacroList macros;
};

TEST_F(EncodeTest, EachActionTypeOnKeyA) {
  const int slotA = templateSlotOf(0x01E);
  ASSERT_EQ(slotA, 19);
  const Rec factory{2, 2, 0x04};
  struct Case {
    KeyActionEntry entry;
    Rec record;
  } cases[] = {
      {{ActionType::Default, 0, 0, 0, 0}, factory},
      {{ActionType::LaunchProgram, 0, 0, 0, 0}, factory},  // the keyboard keeps the factory action
      {{ActionType::Disabled, 0, 0, 0, 0}, {0, 0, 0}},
      {{ActionType::TextBlock, 0, 0, 0, 0}, {0, 0, 0}},
      {{ActionType::SingleKey, 0, 0x036, 0, 0}, {2, 1, 0x20}},  // right Shift as a modifier
      {{ActionType::SingleKey, 0, 0x15B, 0, 0}, {2, 1, 0x08}},
      {{ActionType::SingleKey, 0, 0x136, 0, 0}, {2, 2, 0xE5}},
      {{ActionType::SingleKey, 0, 0x030, 0, 0}, {2, 2, 0x05}},
      {{ActionType::SingleKey, 0, 0x130, 0, 0}, {2, 2, 0x00}},  // not a keyboard-page key
      {{ActionType::SingleKey, 0, 0x1001E, 0, 0}, {2, 2, 0x00}},
      {{ActionType::PlayMacro, 5, 3, 0, 0}, {5, 1, 1}},
      {{ActionType::PlayMacro, 5, 12, 0, 0}, {5, 1, 2}},
      {{ActionType::PlayMacro, 5, 99, 0, 0}, {5, 1, 0}},  // absent: the first macro
      {{ActionType::StopMacro, 0, 0, 0, 0}, {5, 2, 0}},
      {{ActionType::Media, 0, 6, 0, 0}, {3, 0xE9, 0x00}},
      {{ActionType::Media, 0, 8, 0, 0}, {3, 0x23, 0x02}},
      {{ActionType::Media, 0, 18, 0, 0}, factory},  // no such function
      {{ActionType::FunctionKey, 0, 4, 0, 0}, {5, 5, 4}},
      {{ActionType::FunctionKey, 0, 11, 0, 0}, factory},
      {{static_cast<ActionType>(77), 0, 1, 0, 0}, factory},
  };
  for (const auto& c : cases) {
    table->entries[entryIndex(1, 0x1E)] = c.entry;
    DeviceProfileRecords out = encode();
    EXPECT_EQ(out[slotA], c.record) << "type " << static_cast<int>(c.entry.type) << " value " << c.entry.value;
    for (int s = 0; s < kDeviceKeySlots; ++s) {
      if (s != slotA) {
        ASSERT_EQ(out[s], builtInKeySlotTemplate().records[s]) << s;
      }
    }
  }
}

TEST_F(EncodeTest, OnlyTheProfilesOwnBlockAndKeySlotsCount) {
  for (auto& e : table->entries) e = {ActionType::Disabled, 0, 0, 0, 0};
  for (int s = 0; s < kSlotsPerBlock; ++s) table->entries[entryIndex(2, s)] = {};
  for (int s = 256; s < 512; ++s) table->entries[entryIndex(2, s)] = {ActionType::Disabled, 0, 0, 0, 0};
  EXPECT_EQ(encode(2), builtInKeySlotTemplate().records);
  DeviceProfileRecords out{};
  EXPECT_FALSE(encodeProfile(*table, 3, macros, builtInKeySlotTemplate(), out));
  EXPECT_FALSE(encodeProfile(*table, -1, macros, builtInKeySlotTemplate(), out));
}

TEST_F(EncodeTest, BothSlotsOfTheSharedKeyFollowIt) {
  table->entries[entryIndex(0, 0x00D)] = {ActionType::Disabled, 0, 0, 0, 0};
  DeviceProfileRecords out = encode(0);
  EXPECT_EQ(out[54], (Rec{0, 0, 0}));
  EXPECT_EQ(out[105], (Rec{0, 0, 0}));
}

std::vector<uint8_t> bytesOf(const DeviceProfileRecords& r) {
  std::vector<uint8_t> b(kDeviceProfileBytes);
  recordsToBytes(r, std::span<uint8_t, kDeviceProfileBytes>(b.data(), kDeviceProfileBytes));
  return b;
}

TEST(DecodeProfile, RecordsBackToEntries) {
  const int slotA = templateSlotOf(0x01E);
  struct Case {
    Rec record;
    ActionType type;
    uint32_t value;
  } cases[] = {
      {{2, 2, 0x04}, ActionType::Default, 0},  // equal to the template
      {{0, 0, 0}, ActionType::Disabled, 0},
      {{2, 1, 0x06}, ActionType::SingleKey, 0x02A},  // lowest bit wins
      {{2, 1, 0x20}, ActionType::SingleKey, 0x036},
      {{2, 2, 0x29}, ActionType::SingleKey, 0x001},
      {{2, 2, 0x48}, ActionType::SingleKey, 0x045},
      {{2, 2, 0x00}, ActionType::Disabled, 0},
      {{2, 2, 0xF0}, ActionType::Disabled, 0},  // usage of no key
      {{2, 2, 0x83}, ActionType::Disabled, 0},  // not the Wake function of device code 0x83
      {{2, 1, 0x00}, ActionType::Disabled, 0},
      {{2, 3, 0x01}, ActionType::Disabled, 0},
      {{5, 1, 2}, ActionType::PlayMacro, 3},  // position + 1
      {{5, 2, 7}, ActionType::StopMacro, 0},
      {{5, 5, 3}, ActionType::FunctionKey, 3},
      {{5, 0, 0}, ActionType::Disabled, 0},
      {{5, 9, 9}, ActionType::Disabled, 0},
      {{3, 0xE9, 0x00}, ActionType::Media, 6},
      {{3, 0x34, 0x12}, ActionType::Disabled, 0},
      {{4, 0x81, 0x00}, ActionType::Disabled, 0},
      {{7, 1, 1}, ActionType::Disabled, 0},
  };
  for (const auto& c : cases) {
    DeviceProfileRecords records = builtInKeySlotTemplate().records;
    records[slotA] = c.record;
    std::array<KeyActionEntry, kSlotsPerBlock> block;
    block.fill({ActionType::TextBlock, 9, 9, 9, 9});
    ASSERT_TRUE(decodeProfile(bytesOf(records), builtInKeySlotTemplate(), block));
    EXPECT_EQ(block[0x1E].type, c.type) << int(c.record.kind) << " " << int(c.record.sub) << " " << int(c.record.data);
    EXPECT_EQ(block[0x1E].value, c.value);
    for (int s = 0; s < kSlotsPerBlock; ++s) {
      if (s == 0x1E) continue;
      KeyActionEntry expected{};
      expected.aux = gKeyCode(s);
      ASSERT_EQ(block[s], expected) << s;
    }
  }
}

TEST(DecodeProfile, TemplateEqualZeroRecordIsDefault) {
  // A keyboard whose factory table has 00 00 00 for key A's slot and a key
  // record equal to it: nothing was assigned there.
  KeySlotTemplate t = builtInKeySlotTemplate();
  const int slotA = templateSlotOf(0x01E);
  DeviceProfileRecords records = t.records;
  records[slotA] = {0, 0, 0};
  std::array<KeyActionEntry, kSlotsPerBlock> block{};
  ASSERT_TRUE(decodeProfile(bytesOf(records), t, block));
  EXPECT_EQ(block[0x1E].type, ActionType::Disabled);
  t.records[slotA] = {0, 0, 0};
  ASSERT_TRUE(decodeProfile(bytesOf(records), t, block));
  EXPECT_EQ(block[0x1E].type, ActionType::Default);
}

TEST(DecodeProfile, WrongSizeLeavesTheBlockAlone) {
  std::array<KeyActionEntry, kSlotsPerBlock> block;
  block.fill({ActionType::SingleKey, 1, 2, 3, 4});
  std::vector<uint8_t> bytes(323);
  EXPECT_FALSE(decodeProfile(bytes, builtInKeySlotTemplate(), block));
  bytes.resize(325);
  EXPECT_FALSE(decodeProfile(bytes, builtInKeySlotTemplate(), block));
  EXPECT_EQ(block[0], (KeyActionEntry{ActionType::SingleKey, 1, 2, 3, 4}));
}

// A random entry the keyboard can hold.
KeyActionEntry randomEntry(std::mt19937& rng, size_t macroCount) {
  // Keyboard-page targets: others encode as 02 02 00, which reads back as
  // Disabled; 0x136 reads back as 0x036, the modifier.
  static const KeyCode targets[] = {0x01E, 0x036, 0x01D, 0x15C, 0x137, 0x045, 0x152, 0x146, 0x056, 0x11C};
  switch (rng() % 9) {
    case 0: return {ActionType::Default, 0, 0, 0, 0};
    case 1: return {ActionType::Disabled, 0, 0, 0, 0};
    case 2: return {ActionType::SingleKey, 0, targets[rng() % std::size(targets)], 0, 0};
    case 3: return {ActionType::LaunchProgram, 0, 0, 0, 0};
    case 4: return {ActionType::PlayMacro, 1, static_cast<uint32_t>(rng() % (macroCount + 2)), 0, 0};
    case 5: return {ActionType::StopMacro, 0, 0, 0, 0};
    case 6: return {ActionType::TextBlock, 0, 0, 0, 0};
    case 7: return {ActionType::Media, 0, static_cast<uint32_t>(rng() % 18), 0, 0};
    default: return {ActionType::FunctionKey, 0, static_cast<uint32_t>(rng() % 11), 0, 0};
  }
}

TEST(DeviceRoundTrip, EncodeDecodeEncodeOverRandomTables) {
  std::mt19937 rng(4242);
  for (int round = 0; round < 30; ++round) {
    MacroList macros(rng() % 5);
    for (size_t i = 0; i < macros.size(); ++i) macros[i].id = static_cast<uint16_t>(i + 1);
    auto table = newKeyActionTable();
    for (auto& e : table->entries) e = randomEntry(rng, macros.size());
    int profile = static_cast<int>(rng() % 3);

    KeySlotTemplate tmpl = builtInKeySlotTemplate();
    DeviceProfileRecords first{};
    ASSERT_TRUE(encodeProfile(*table, profile, macros, tmpl, first));
    auto decoded = newKeyActionTable();
    ASSERT_TRUE(decodeProfile(bytesOf(first), tmpl, blockEntries(*decoded, profile)));
    DeviceProfileRecords second{};
    ASSERT_TRUE(encodeProfile(*decoded, profile, macros, tmpl, second));
    for (int s = 0; s < kDeviceKeySlots; ++s) {
      ASSERT_EQ(first[s], second[s]) << "round " << round << " slot " << s << " key " << std::hex
                                     << DeviceEntryToKey(tmpl.records[s]);
    }
  }
}

}  // namespace
}  // namespace kv
