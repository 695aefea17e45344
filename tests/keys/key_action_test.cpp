#include "keys/key_action.h"

#include <gtest/gtest.h>

#include <memory>

#include "keys/key_strings.h"
#include "keys/working_config.h"

namespace kv {
namespace {

TEST(KeySlotsOfBlocks, GKeySlotsAndCodes) {
  struct Case {
    int bank, n, slot;
    uint16_t code;
  } cases[] = {{0, 0, 256, 0x0301}, {0, 8, 264, 0x0309}, {1, 0, 265, 0x1301}, {1, 8, 273, 0x1309}};
  for (const auto& c : cases) {
    EXPECT_EQ(slotOfGKey(c.bank, c.n), c.slot);
    EXPECT_EQ(gKeyCode(c.slot), c.code);
  }
  EXPECT_EQ(gKeyCode(255), 0);
  EXPECT_EQ(gKeyCode(274), 0);
  EXPECT_EQ(entryIndex(0, 0), 0);
  EXPECT_EQ(entryIndex(2, 0xB7), 2 * 512 + 0xB7);
  EXPECT_EQ(entryIndex(3, 511), 2047);
}

TEST(ResetTable, OnlyBlockZeroCarriesGKeyCodes) {
  auto t = std::make_unique<KeyActionTable>();
  std::fill(std::begin(t->header), std::end(t->header), uint8_t{0x5A});
  for (auto& e : t->entries) e = {ActionType::SingleKey, 7, 0x1E, 1, 2};
  resetTable(*t);
  for (int b = 0; b < kBlockCount; ++b) {
    for (int s = 0; s < kSlotsPerBlock; ++s) {
      KeyActionEntry expected{};
      if (b == 0 && isGKeySlot(s)) expected.aux = gKeyCode(s);
      ASSERT_EQ(t->entries[entryIndex(b, s)], expected) << b << "/" << s;
    }
  }
  EXPECT_EQ(t->header[63], 0x5A) << "the header is not the reset's business";
}

TEST(ReadEntry, NoKeyboardOrBadSlotGivesAnEmptyEntry) {
  auto t = newKeyActionTable();
  ASSERT_TRUE(t);
  t->entries[entryIndex(1, 0x1E)] = {ActionType::SingleKey, 0, 0x30, 9, 9};
  EXPECT_EQ(readEntry(*t, 1, 0x1E).value, 0x30u);
  EXPECT_EQ(readEntry(*t, -1, 0x1E), KeyActionEntry{});
  EXPECT_EQ(readEntry(*t, 4, 0x1E), KeyActionEntry{});
  EXPECT_EQ(readEntry(*t, 1, 512), KeyActionEntry{});
  EXPECT_EQ(readEntry(*t, 1, -1), KeyActionEntry{});
  EXPECT_EQ(readEntry(*t, 0, 256).aux, 0x0301);
}

TEST(WriteAssignment, ReleasesTheStringAndKeepsMarkAndSpare) {
  auto t = newKeyActionTable();
  KeyStringStore store;
  int i = entryIndex(2, 0x1E);
  t->entries[i] = {ActionType::LaunchProgram, 0, 0, 0xAAAA, 0xBBBB};
  ASSERT_TRUE(attachString(store, i, u"C:\\x.exe"));
  ASSERT_EQ(store.total, 18u);

  EXPECT_TRUE(writeAssignment(*t, store, 2, 0x1E, ActionType::PlayMacro, 3, 7));
  EXPECT_EQ(t->entries[i], (KeyActionEntry{ActionType::PlayMacro, 3, 7, 0xAAAA, 0xBBBB}));
  EXPECT_EQ(store.total, 0u);
  EXPECT_TRUE(store.text(i).empty());

  struct Bad {
    int profile, slot;
  } bad[] = {{-1, 0x1E}, {4, 0x1E}, {0, 274}, {0, 511}, {0, -1}};
  for (const auto& b : bad) EXPECT_FALSE(writeAssignment(*t, store, b.profile, b.slot, ActionType::Disabled, 0, 0));
  EXPECT_TRUE(writeAssignment(*t, store, 0, 273, ActionType::Disabled, 0x1309, 0));
}

MacroRecord macro(uint16_t id, bool isNew = false) {
  MacroRecord m{};
  m.id = id;
  m.isNew = isNew ? 1 : 0;
  return m;
}

TEST(StaleMacroReferences, FallBackToDefaultOrTheFirstMacro) {
  MacroList list = {macro(3), macro(5, true), macro(8)};
  struct Case {
    int index;
    KeyActionEntry before;
    KeyActionEntry after;
  } cases[] = {
      {10, {ActionType::PlayMacro, 2, 3, 1, 1}, {ActionType::PlayMacro, 2, 3, 1, 1}},      // still there
      {11, {ActionType::PlayMacro, 2, 5, 0, 0}, {ActionType::Default, 2, 5, 0, 0}},        // id now a new macro's
      {12, {ActionType::PlayMacro, 2, 9, 0, 0}, {ActionType::Default, 2, 9, 0, 0}},        // deleted
      {13, {ActionType::PlayMacro, 1, 0, 0, 0}, {ActionType::PlayMacro, 1, 3, 0, 0}},      // id 0: first macro
      {1500, {ActionType::PlayMacro, 1, 8, 0, 0}, {ActionType::PlayMacro, 1, 8, 0, 0}},
      {2047, {ActionType::PlayMacro, 1, 99, 0, 0}, {ActionType::Default, 1, 99, 0, 0}},
      {14, {ActionType::SingleKey, 0, 9, 0, 0}, {ActionType::SingleKey, 0, 9, 0, 0}},      // not a macro key
  };
  auto t = newKeyActionTable();
  for (const auto& c : cases) t->entries[c.index] = c.before;
  std::vector<int> changed;
  EXPECT_EQ(removeStaleMacroReferences(*t, list, [&](int i) { changed.push_back(i); }), 4);
  EXPECT_EQ(changed, (std::vector<int>{11, 12, 13, 2047}));
  for (const auto& c : cases) EXPECT_EQ(t->entries[c.index], c.after) << c.index;
}

TEST(StaleMacroReferences, EmptyListResetsEveryNonZeroId) {
  auto t = newKeyActionTable();
  t->entries[1] = {ActionType::PlayMacro, 1, 4, 0, 0};
  t->entries[2] = {ActionType::PlayMacro, 1, 0, 0, 0};
  EXPECT_EQ(removeStaleMacroReferences(*t, {}), 1);
  EXPECT_EQ(t->entries[1].type, ActionType::Default);
  EXPECT_EQ(t->entries[2].type, ActionType::PlayMacro);
}

TEST(StaleMacroReferences, UseCheckCoversEveryProfile) {
  auto t = newKeyActionTable();
  t->entries[entryIndex(2, 300)] = {ActionType::PlayMacro, 1, 4, 0, 0};
  t->entries[5] = {ActionType::SingleKey, 0, 7, 0, 0};  // value 7 but not a macro key
  EXPECT_TRUE(macroUsedByKeys(*t, 4));
  EXPECT_FALSE(macroUsedByKeys(*t, 7));
  t->entries[kEntryCount - 1] = {ActionType::PlayMacro, 1, 7, 0, 0};
  EXPECT_TRUE(macroUsedByKeys(*t, 7));
}

TEST(FunctionKeys, NamesFromTheTextTable) {
  resetTextTable();
  EXPECT_EQ(functionKeyName(0), u"Open");
  EXPECT_EQ(functionKeyName(10), u"Zoom+");
  EXPECT_EQ(functionKeyName(11), u"");
}

}  // namespace
}  // namespace kv
