#include "keys/key_summary.h"

#include <gtest/gtest.h>

#include "base/text_table.h"
#include "model/key_info.h"

namespace kv {
namespace {

class KeySummary : public ::testing::Test {
 protected:
  void TearDown() override { resetTextTable(); }
  static MacroList macros() {
    MacroList list(2);
    list[0] = MacroRecord{};
    list[1] = MacroRecord{};
    list[0].id = 3;
    setMacroName(list[0], u"Combo");
    list[1].id = 7;
    setMacroName(list[1], u"Reload");
    return list;
  }
};

TEST_F(KeySummary, BuiltInTexts) {
  struct Case {
    const char* what;
    KeyActionEntry entry;
    std::u16string expected;
  } cases[] = {
      {"default", {ActionType::Default, 0, 0x30, 0, 0}, u"A"},
      {"single key", {ActionType::SingleKey, 0, 0x30, 0, 0}, u"AKeys, Set: Key(B)"},
      {"disabled", {ActionType::Disabled, 0, 0, 0, 0}, u"AKeys, Set: "},
      {"stop macro", {ActionType::StopMacro, 0, 0, 0, 0}, u"AKeys, Set: "},
      {"program", {ActionType::LaunchProgram, 0, 0, 0, 0}, u"AKeys, Set: "},
      {"macro by id", {ActionType::PlayMacro, 1, 0x10007, 0, 0}, u"AKeys, Set: Macro(Reload)"},
      {"macro id not in the list", {ActionType::PlayMacro, 1, 9, 0, 0}, u"AKeys, Set: Macro()"},
      {"media row", {ActionType::Media, 0, 16, 0, 0}, u"AKeys, Set: Media(" + KeyName(0x121) + u")"},
      {"media row outside the list", {ActionType::Media, 0, 99, 0, 0}, u"AKeys, Set: Media()"},
      {"function row", {ActionType::FunctionKey, 0, 0, 0, 0},
       u"AKeys, Set: Function(" + std::u16string(functionKeyName(0)) + u")"},
  };
  MacroList list = macros();
  for (const Case& c : cases) {
    EXPECT_EQ(keySummaryText(keyButtonName(0x1E), c.entry, list), c.expected) << c.what;
    EXPECT_EQ(summarySetState(c.entry), c.entry.type != ActionType::Default) << c.what;
  }
  EXPECT_EQ(keySummaryText(u"A", {ActionType::PlayMacro, 1, 3, 0, 0}, {}), u"AKeys, Set: Macro()");
}

TEST_F(KeySummary, LanguageTextsAndNames) {
  setText(TextId::KEY_PROMPT_SET, u"已设置：");
  setText(TextId::KEY_PROMPT_SINGLE, u"按键：");
  EXPECT_EQ(keySummaryText(gKeyButtonName(0), {ActionType::SingleKey, 0x0301, 0x30, 0, 0}, {}), u"G1已设置：按键：B)");
  EXPECT_EQ(gKeyButtonName(8), u"G9");
  // A key without a name is named by the unknown-key text.
  EXPECT_EQ(keyButtonName(0x0FF), u"Unknown Key: 0ff");
}

TEST_F(KeySummary, AccessibleNamesSayWhatTheKeyDoes) {
  struct Case {
    const char* what;
    KeyActionEntry entry;
    std::u16string expected;
  } cases[] = {
      {"default", {ActionType::Default, 0, 0x30, 0, 0}, u"A, default"},
      {"single key", {ActionType::SingleKey, 0, 0x30, 0, 0}, u"A, remapped to B"},
      {"macro", {ActionType::PlayMacro, 1, 0x10007, 0, 0}, u"A, set to Macro(Reload)"},
      {"media", {ActionType::Media, 0, 16, 0, 0}, u"A, set to Media(" + KeyName(0x121) + u")"},
      {"disabled: the set text alone", {ActionType::Disabled, 0, 0, 0, 0}, u"A, set to "},
  };
  MacroList list = macros();
  for (const Case& c : cases) EXPECT_EQ(keyAccessibleName(u"A", c.entry, list), c.expected) << c.what;
  // The language file's wording, and a G key's name with its bank.
  setText(TextId::ACCESS_KEY_REMAPPED, u"%s，已改为 %s");
  EXPECT_EQ(keyAccessibleName(u"G1 (bank B)", {ActionType::SingleKey, 0, 0x30, 0, 0}, {}), u"G1 (bank B)，已改为 B");
}

TEST_F(KeySummary, CutToTheTooltipLimit) {
  std::u16string longName(300, u'x');
  EXPECT_EQ(keySummaryText(longName, {}, {}).size(), kMaxTooltipChars);
  setText(TextId::KEY_PROMPT_SET, std::u16string(300, u'y'));
  std::u16string t = keySummaryText(u"A", {ActionType::SingleKey, 0, 0x30, 0, 0}, {});
  EXPECT_EQ(t.size(), kMaxTooltipChars);
  EXPECT_EQ(t.substr(0, 2), u"Ay");
}

// A G key's assignment lives in Korvalin's files only: its tooltip says so
// whenever it is assigned, in the language file's words, and a long summary
// is cut before the note, never the note.
TEST_F(KeySummary, GKeySaysKorvalinKeepsItsAssignment) {
  const std::u16string note = u" \u2014 kept by Korvalin (the keyboard has no place for G keys)";
  struct Case {
    const char* what;
    KeyActionEntry entry;
    std::u16string expected;
  } cases[] = {
      {"unassigned", {ActionType::Default, 0, 0, 0, 0}, u"G3"},
      {"single key", {ActionType::SingleKey, 0, 0x30, 0, 0}, u"G3Keys, Set: Key(B)" + note},
      {"macro", {ActionType::PlayMacro, 1, 7, 0, 0}, u"G3Keys, Set: Macro(Reload)" + note},
      {"program", {ActionType::LaunchProgram, 0, 0, 0, 0}, u"G3Keys, Set: " + note},
  };
  MacroList list = macros();
  for (const Case& c : cases) EXPECT_EQ(gKeySummaryText(2, c.entry, list), c.expected) << c.what;

  setText(TextId::GKEY_KEPT_BY_PROGRAM, u"由 Korvalin 保存");
  EXPECT_EQ(gKeySummaryText(0, {ActionType::Disabled, 0, 0, 0, 0}, {}), u"G1Keys, Set:  \u2014 由 Korvalin 保存");

  setText(TextId::KEY_PROMPT_SET, std::u16string(300, u'y'));
  std::u16string t = gKeySummaryText(0, {ActionType::SingleKey, 0, 0x30, 0, 0}, {});
  EXPECT_EQ(t.size(), kMaxTooltipChars);
  EXPECT_TRUE(t.ends_with(u" \u2014 由 Korvalin 保存")) << "the note was cut";
}

}  // namespace
}  // namespace kv
