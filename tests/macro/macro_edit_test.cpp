#include "macro/macro_edit.h"

#include <gtest/gtest.h>

#include "base/text_table.h"
#include "tests/macro/macro_fixtures.h"

namespace kv {
namespace {

using test::makeMacro;
using test::press;
using test::release;

MacroList named(std::initializer_list<std::u16string_view> names) {
  MacroList list;
  uint16_t id = 1;
  for (auto n : names) list.push_back(makeMacro(n, id++, {}));
  return list;
}

TEST(MacroNaming, CounterSkipsNamesThatAnyMacroStartsWith) {
  resetTextTable();
  struct Case {
    const char* what;
    MacroList list;
    int counterBefore;
    std::u16string name;
    int counterAfter;
  } cases[] = {
      {"an empty list starts again at 1", {}, 7, u"Macro1", 1},
      {"Macro10 makes Macro1 taken by prefix", named({u"Macro10"}), 0, u"Macro2", 2},
      {"the prefix test ignores case", named({u"mACRO1x", u"macro2"}), 0, u"Macro3", 3},
      {"the counter keeps counting", named({u"Mine"}), 4, u"Macro5", 5},
      {"a name only containing the text is no match", named({u"My Macro1"}), 0, u"Macro1", 1},
  };
  for (auto& c : cases) {
    int counter = c.counterBefore;
    EXPECT_EQ(nextMacroName(c.list, counter), c.name) << c.what;
    EXPECT_EQ(counter, c.counterAfter) << c.what;
  }
}

TEST(MacroList, AddGivesTheLowestFreeIdUpToOneHundred) {
  resetTextTable();
  MacroList list = {makeMacro(u"x", 1, {}), makeMacro(u"y", 2, {}), makeMacro(u"z", 3, {})};
  int counter = 0;
  // Deleting id 2 frees it for the next added macro, which is new (isNew) so
  // that keys still naming the old one are reset at Apply.
  EXPECT_EQ(deleteMacroAt(list, 1), 0);
  int index = -1;
  ASSERT_EQ(addMacro(list, counter, &index), AddMacroResult::Added);
  EXPECT_EQ(index, 2);
  const MacroRecord& m = list[2];
  EXPECT_EQ(m.id, 2);
  EXPECT_EQ(m.isNew, 1);
  EXPECT_EQ(m.cycles, 1);
  EXPECT_EQ(m.playMode, kPlayOnce);
  EXPECT_EQ(m.actionCount, 0);
  EXPECT_EQ(macroName(m), u"Macro1");

  while (list.size() < kMaxMacros) ASSERT_EQ(addMacro(list, counter), AddMacroResult::Added);
  EXPECT_EQ(addMacro(list, counter), AddMacroResult::ListFull);
  EXPECT_EQ(list.size(), kMaxMacros);
  std::vector<bool> seen(101);
  for (const auto& r : list) {
    ASSERT_TRUE(r.id >= 1 && r.id <= 100);
    EXPECT_FALSE(seen[r.id]) << "id " << r.id << " twice";
    seen[r.id] = true;
  }
}

TEST(MacroList, DeleteSelectsThePreviousMacro) {
  struct Case {
    size_t size;
    int index, next;
  } cases[] = {{3, 2, 1}, {3, 0, 0}, {1, 0, -1}, {2, 5, 0}, {0, 0, -1}};
  for (const auto& c : cases) {
    MacroList list;
    for (size_t i = 0; i < c.size; ++i) list.push_back(makeMacro(u"m", static_cast<uint16_t>(i + 1), {}));
    EXPECT_EQ(deleteMacroAt(list, c.index), c.next) << c.size << " " << c.index;
  }
}

TEST(ActionRows, RecordedPressAndReleaseCarryTheHoldTime) {
  // Record delays on: the press row shows the time until the release, the
  // last row 0; off: every delay is 50 ms, the last still 0.
  for (int option : {1, 0}) {
    ActionRows rows;
    int at = insertActionRow(rows, press(0x1E, recordedDelay(3000, option)), -1, true, false);
    at = insertActionRow(rows, release(0x1E, recordedDelay(180, option)), at, true, false);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(at, 1);
    EXPECT_EQ(rows[0].delay, option ? 180u : 50u) << option;
    EXPECT_EQ(rows[1].delay, 0u);
    EXPECT_EQ(rows[0].state, kMacroPress);
    EXPECT_EQ(rows[1].state, kMacroRelease);
  }
}

TEST(ActionRows, InsertAfterTheSelectionMovesTheDelays) {
  ActionRows rows = {press(0x1E, 100), release(0x1E, 200), press(0x30, 300)};
  // After row 0: the new row takes row 0's pause, row 0 takes the new one.
  EXPECT_EQ(insertActionRow(rows, release(0x2E, 77), 0, true, false), 1);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].delay, 77u);
  EXPECT_EQ(rows[1].key, 0x2E);
  EXPECT_EQ(rows[1].delay, 100u);
  EXPECT_EQ(rows[2].delay, 200u);
  // No selection: at the end, after the last row.
  EXPECT_EQ(insertActionRow(rows, press(0x10, 5), -1, true, false), 4);
  EXPECT_EQ(rows[3].delay, 5u);
  EXPECT_EQ(rows[4].delay, 300u);
  // Loading keeps each row's own delay; a state above 1 is a press.
  MacroAction odd{123, 0x11, 7};
  EXPECT_EQ(insertActionRow(rows, odd, 0, false, true), 5);
  EXPECT_EQ(rows[5].delay, 123u);
  EXPECT_EQ(rows[5].state, kMacroPress);
  EXPECT_EQ(rows[4].delay, 300u);
}

TEST(ActionRows, TwoThousandRowsAtMost) {
  ActionRows rows(kMaxMacroActions - 1, press(0x1E, 10));
  EXPECT_EQ(insertActionRow(rows, release(0x1E, 10), -1, false, false), 1999);
  EXPECT_EQ(insertActionRow(rows, release(0x1E, 10), -1, false, false), -1);
  EXPECT_EQ(insertActionRow(rows, release(0x1E, 10), 5, true, true), -1);
  EXPECT_EQ(rows.size(), kMaxMacroActions);
}

TEST(ActionRows, MovesTakeTheRowWithItsDelay) {
  auto keys = [](const ActionRows& r) {
    std::vector<int> k;
    for (auto& a : r) k.push_back(a.key * 1000 + static_cast<int>(a.delay));
    return k;
  };
  struct Case {
    int index;
    RowMove move;
    int to;
    std::vector<int> after;
  } cases[] = {
      {2, RowMove::Top, 0, {3003, 1001, 2002, 4004}},  {2, RowMove::Up, 1, {1001, 3003, 2002, 4004}},
      {1, RowMove::Down, 2, {1001, 3003, 2002, 4004}}, {1, RowMove::Bottom, 3, {1001, 3003, 4004, 2002}},
      {0, RowMove::Up, 0, {1001, 2002, 3003, 4004}},   {3, RowMove::Down, 3, {1001, 2002, 3003, 4004}},
      {-1, RowMove::Top, -1, {1001, 2002, 3003, 4004}}, {4, RowMove::Bottom, 4, {1001, 2002, 3003, 4004}},
  };
  for (const auto& c : cases) {
    ActionRows rows = {press(1, 1), press(2, 2), press(3, 3), press(4, 4)};
    EXPECT_EQ(moveActionRow(rows, c.index, c.move), c.to) << c.index << " " << static_cast<int>(c.move);
    EXPECT_EQ(keys(rows), c.after) << c.index << " " << static_cast<int>(c.move);
  }
}

TEST(ActionRows, RecordedDelayOption) {
  struct Case {
    uint32_t measured;
    int option;
    uint32_t delay;
  } cases[] = {{1234, 1, 1234}, {50000, 1, 40000}, {40000, 1, 40000}, {1234, 0, 50},
               {0, 0, 50},      {1234, 2, 0},      {1234, -1, 0}};
  for (const auto& c : cases) EXPECT_EQ(recordedDelay(c.measured, c.option), c.delay) << c.measured << " " << c.option;
}

TEST(TypedDelays, RoundedDownCappedAndEmptyChangesNothing) {
  struct Case {
    std::u16string_view text;
    bool change, tooLarge;
    uint32_t delay;
  } cases[] = {
      {u"", false, false, 0},          {u"12345", true, false, 12340}, {u"50000", true, true, 40000},
      {u"40000", true, false, 40000},  {u"40001", true, true, 40000},  {u"9", true, false, 0},
      {u"0", true, false, 0},          {u"99999999999999999999", true, true, 40000},
      {u"007", true, false, 0},        {u"12a", true, false, 0},
  };
  for (const auto& c : cases) {
    TypedDelay d = typedDelay(c.text);
    std::string what(c.text.begin(), c.text.end());
    EXPECT_EQ(d.change, c.change) << what;
    EXPECT_EQ(d.tooLarge, c.tooLarge) << what;
    EXPECT_EQ(d.delayMs, c.delay) << what;
  }
}

TEST(Cycles, OutOfRangeIsCorrectedAndStoredWithinRange) {
  struct Case {
    std::u16string_view text;
    std::optional<std::u16string> shown;
    uint8_t stored;
  } cases[] = {
      {u"0", u"1", 1},        {u"300", u"255", 1}, {u"1", std::nullopt, 1}, {u"255", std::nullopt, 255},
      {u"17", std::nullopt, 17}, {u"", std::nullopt, 1}, {u"x", std::nullopt, 1},
      {u"256", u"255", 1},    {u"0000", u"1", 1},  {u"99999999999999", u"255", 1},
  };
  for (const auto& c : cases) {
    std::string what(c.text.begin(), c.text.end());
    EXPECT_EQ(correctedCycles(c.text), c.shown) << what;
    EXPECT_EQ(cyclesOf(c.text), c.stored) << what;
  }
}

TEST(MacroGauge, ThreeLooksByTheFittingRule) {
  // One macro "Ab" with two actions: 34 bytes with the name, 30 without.
  MacroList list = {makeMacro(u"Ab", 1, {press(0x1E), release(0x1E, 120)})};
  struct Case {
    size_t capacity;
    GaugeLook look;
  } cases[] = {{0, GaugeLook::Hidden}, {128, GaugeLook::Fits}, {34, GaugeLook::Fits},
               {33, GaugeLook::NamesDropped}, {30, GaugeLook::NamesDropped}, {29, GaugeLook::TooLong}};
  for (const auto& c : cases) {
    MacroGauge g = macroGauge(list, c.capacity);
    EXPECT_EQ(g.look, c.look) << c.capacity;
    EXPECT_EQ(g.withNames, 34u);
    EXPECT_EQ(g.withoutNames, 30u);
    EXPECT_EQ(g.capacity, c.capacity);
    // The gauge and the write agree on what fits.
    if (c.capacity) {
      MacroFit fit = fitMacroImage(list, c.capacity).fit;
      GaugeLook expected = fit == MacroFit::WithNames      ? GaugeLook::Fits
                           : fit == MacroFit::WithoutNames ? GaugeLook::NamesDropped
                                                           : GaugeLook::TooLong;
      EXPECT_EQ(g.look, expected) << c.capacity;
    }
  }
  EXPECT_EQ(macroGauge({}, 128).withNames, 16u);
  EXPECT_EQ(macroGauge({}, 128).look, GaugeLook::Fits);
}

}  // namespace
}  // namespace kv
