#include "macro/macro_record.h"

#include <gtest/gtest.h>

#include "base/text_table.h"
#include "tests/macro/macro_fixtures.h"

namespace kv {
namespace {

using test::makeMacro;

TEST(MacroList, PositionsAndIds) {
  MacroList list = {makeMacro(u"a", 7, {}), makeMacro(u"b", 3, {}), makeMacro(u"c", 1, {})};
  struct Case {
    uint32_t id;
    int position;
  } byId[] = {{7, 0}, {3, 1}, {1, 2}, {2, 0}, {0, 0}, {100000, 0}};
  for (const auto& c : byId) EXPECT_EQ(macroPosition(list, c.id), c.position) << c.id;
  struct AtCase {
    int position;
    uint16_t id;
  } at[] = {{0, 7}, {2, 1}, {3, 0}, {-1, 0}, {1000, 0}};
  for (const auto& c : at) EXPECT_EQ(macroIdAt(list, c.position), c.id) << c.position;
  EXPECT_EQ(macroPosition({}, 1), 0);
  EXPECT_EQ(macroIdAt({}, 0), 0);
}

TEST(MacroList, NewMacroTakesTheSmallestFreeId) {
  EXPECT_EQ(nextMacroId({}), 1);
  MacroList list = {makeMacro(u"a", 1, {}), makeMacro(u"b", 3, {})};
  EXPECT_EQ(nextMacroId(list), 2);
  list.clear();
  for (uint16_t id = 1; id <= 100; ++id) list.push_back(makeMacro(u"m", id, {}));
  EXPECT_EQ(nextMacroId(list), 0);
}

TEST(MacroRecordNames, NeverReadPastTheRecord) {
  MacroRecord m{};
  std::fill(std::begin(m.name), std::end(m.name), u'x');  // no terminator, as a file may hold
  EXPECT_EQ(macroName(m).size(), kMaxMacroNameUnits);
  setMacroName(m, std::u16string(300, u'y'));
  EXPECT_EQ(macroName(m), std::u16string(249, u'y'));
  EXPECT_EQ(m.name[249], u'\0');
  setMacroName(m, std::u16string_view(u"ab\0cd", 5));
  EXPECT_EQ(macroName(m), u"ab");
  m.actionCount = 65535;
  EXPECT_EQ(macroActionCount(m), kMaxMacroActions);
}

TEST(MacroRecordNames, DefaultNameUsesTheTextTablePrefix) {
  resetTextTable();
  EXPECT_EQ(defaultMacroName(1), u"Macro1");
  setText(TextId::MACRO_NEW_PREFIX, u"Makro ");
  EXPECT_EQ(defaultMacroName(12), u"Makro 12");
  resetTextTable();
}

}  // namespace
}  // namespace kv
