#include "base/text_table.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TEST(TextTable, BuiltInTextsBeforeLoading) {
  resetTextTable();
  EXPECT_EQ(text(TextId::MAIN_CAPTION), u"Gaming Keyboard Settings");
  EXPECT_EQ(text(TextId::UNKNOWN_KEY), u"Unknown Key: %03x");
  EXPECT_EQ(text(TextId::MAIN_NO_DEVICE_PROMPT),
            u"Device is not detected\uff0cthe key settings can not be displayed! ");
  EXPECT_EQ(text(TextId::FUNC_KEY_DESC11), u"Zoom+");
  EXPECT_TRUE(text(TextId::MAIN_BUTTON_VELTRA_VER).empty());
  // The profile texts a switch and the profile manager show.
  EXPECT_EQ(text(TextId::PROFILE_SELECT_PROMPT), u"Whether to save the profile settings made?");
  EXPECT_EQ(text(TextId::PROFILE_SEELCT_PROMPT2),
            u"When fast switch scene mode, you must first close the editor dialog box.");
  EXPECT_EQ(text(TextId::PROFILE_NEW), u"\\The new contextual  mode");
  EXPECT_EQ(text(TextId::PROFILE_TIP), u"The current contextual  mode: ");
}

TEST(TextTable, KeysInLoaderOrder) {
  EXPECT_EQ(textKey(static_cast<TextId>(0)), "MACRO_ACTION_RECORD_DELAY");
  EXPECT_EQ(textKey(TextId::FUNC_KEY_DESC1), "FUNC_KEY_DESC1");
  // The 86 keys every language file has come first; the program's later
  // texts follow them.
  EXPECT_EQ(textKey(static_cast<TextId>(kFileTextCount - 1)), "MAIN_NO_DEVICE_PROMPT");
  EXPECT_EQ(kFileTextCount, 86u);
}

TEST(TextTable, SetTextCutsTo259Characters) {
  setText(TextId::KEY_PROMPT, std::u16string(300, u'a'));
  EXPECT_EQ(text(TextId::KEY_PROMPT).size(), 259u);
  resetTextTable();
  EXPECT_EQ(text(TextId::KEY_PROMPT), u"No Use!");
}

// Whether the texts need a CJK face: the shipped English texts carry a
// full-width comma, which alone does not make them Chinese.
TEST(TextTable, CjkTextsAreTold) {
  const struct {
    char16_t c;
    bool cjk;
  } cases[] = {{u'A', false}, {u'\uff0c', false}, {u'\u00e9', false}, {u'\u4e2d', true},
               {u'\u3002', true}, {u'\u30a2', true}, {u'\uac00', true},   {u'\uf900', true}};
  for (const auto& c : cases) EXPECT_EQ(isCjkCharacter(c.c), c.cjk) << static_cast<int>(c.c);

  resetTextTable();
  EXPECT_FALSE(textTableHasCjk()) << "the built-in texts are English";
  const unsigned before = textTableChanges();
  setText(TextId::EDITS_APPLY, u"\u5e94\u7528");
  EXPECT_TRUE(textTableHasCjk());
  EXPECT_NE(textTableChanges(), before) << "a change that a font choice must see";
  const unsigned changed = textTableChanges();
  resetTextTable();
  EXPECT_FALSE(textTableHasCjk());
  EXPECT_NE(textTableChanges(), changed);
}

TEST(TextTable, LanguageChoice) {
  // The section of the texts and the help page that shows the same language first.
  struct Case { std::u16string_view entry; std::u16string_view section; };
  const Case cases[] = {{u"1", u"ENGINSH"}, {u"0", u"CHINESE"}, {u"2", u"CHINESE"},
                        {u"abc", u"CHINESE"}, {u"", u"CHINESE"}, {u"1x", u"ENGINSH"},
                        {u" 1", u"ENGINSH"}, {u"-1", u"CHINESE"}, {u"11", u"CHINESE"}};
  for (const auto& c : cases) {
    EXPECT_EQ(LanguageSection(languageValue(c.entry)), c.section) << toUtf8(c.entry);
    EXPECT_EQ(HelpPageName(languageValue(c.entry)), c.section == u"ENGINSH" ? u"index.html" : u"zh.html")
        << toUtf8(c.entry);
  }
}

TEST(TextTable, FormatText) {
  struct Case { std::u16string_view fmt; std::initializer_list<TextArg> args; std::u16string_view want; };
  const Case cases[] = {
      {u"Unknown Key: %03x", {0x0FF}, u"Unknown Key: 0ff"},
      {u"Unknown Key: %03x", {0x12A}, u"Unknown Key: 12a"},
      {u"The maximum number of macro: %d   ", {100}, u"The maximum number of macro: 100   "},
      {u"wrong: \n  %s", {u"C:\\x.kvp"}, u"wrong: \n  C:\\x.kvp"},
      {u"100%% %d", {-5}, u"100% -5"},
      // Conversions without a matching argument stay as text.
      {u"%d %s %d", {7}, u"7 %s %d"},
      {u"%s", {3}, u"%s"},
      {u"%q %d", {1}, u"%q 1"},
      {u"tail %", {}, u"tail %"},
      {u"%5d|%-", {42}, u"   42|%-"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatText(c.fmt, c.args), c.want) << toUtf8(c.fmt);
}

TEST(TextTable, Utf8RoundTrip) {
  std::u16string s = u"Ab\u00e9\u4e2d\U0001F600";
  EXPECT_EQ(fromUtf8(toUtf8(s)), s);
  EXPECT_EQ(toUtf8(u"\u4e2d"), "\xe4\xb8\xad");
  EXPECT_EQ(fromUtf8("\xff" "a"), u"\ufffd" u"a");
  EXPECT_EQ(fromUtf8("\xe4\xb8"), u"\ufffd");
  EXPECT_EQ(toUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");
}

}  // namespace
}  // namespace kv
