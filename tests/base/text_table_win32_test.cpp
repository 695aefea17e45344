// The text table read with the real profile-string reader, from INI files
// written the way users and editors write them (UTF-16 with BOM, ANSI).
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/text_table.h"
#include "base/text_table_win32.h"
#include "base/wide_win32.h"

namespace kv {
namespace {

class LanguageFile : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t tmp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, tmp), 0u);
    path_ = std::wstring(tmp) + L"kv_language_test.ini";
    resetTextTable();
  }
  void TearDown() override { DeleteFileW(path_.c_str()); }

  void writeUtf16(const std::wstring& content) {
    std::ofstream out(std::filesystem::path(path_), std::ios::binary | std::ios::trunc);
    out.put(char(0xFF));
    out.put(char(0xFE));
    for (wchar_t c : content) {
      out.put(char(c & 0xFF));
      out.put(char((c >> 8) & 0xFF));
    }
  }
  void writeAnsi(const std::string& content) {
    std::ofstream out(std::filesystem::path(path_), std::ios::binary | std::ios::trunc);
    out << content;
  }
  std::wstring path_;
};

std::wstring sample(const std::wstring& language) {
  std::wstring s;
  if (!language.empty()) s += L"[LANGUAGE]\r\nlanguage=" + language + L"\r\n";
  s += L"[ENGINSH]\r\nMAIN_CAPTION=English caption\r\nKEY_PROMPT=English only\r\nPROFILE_1=Profile 1\r\n";
  s += L"[CHINESE]\r\nMAIN_CAPTION=\u952e\u76d8\u8bbe\u7f6e\r\nPROFILE_1=\u914d\u7f6e 1\r\n";
  return s;
}

TEST_F(LanguageFile, SectionChosenByLanguageValue) {
  struct Case { std::wstring value; std::u16string caption; };
  const Case cases[] = {{L"1", u"English caption"}, {L"0", u"\u952e\u76d8\u8bbe\u7f6e"},
                        {L"2", u"\u952e\u76d8\u8bbe\u7f6e"}, {L"abc", u"\u952e\u76d8\u8bbe\u7f6e"},
                        {L"", u"\u952e\u76d8\u8bbe\u7f6e"}};
  for (const auto& c : cases) {
    writeUtf16(sample(c.value));
    LoadTextTable(path_);
    EXPECT_EQ(text(TextId::MAIN_CAPTION), c.caption) << "language=" << toUtf8(u16(c.value));
  }
}

TEST_F(LanguageFile, HelpPageShowsTheChosenLanguageFirst) {
  struct Case { std::wstring value; std::wstring page; };
  const Case cases[] = {{L"1", L"C:\\Korvalin\\Help\\index.html"}, {L"0", L"C:\\Korvalin\\Help\\zh.html"},
                        {L"", L"C:\\Korvalin\\Help\\zh.html"}};
  for (const auto& c : cases) {
    writeUtf16(sample(c.value));
    EXPECT_EQ(HelpPagePath(L"C:\\Korvalin\\Help\\", path_), c.page) << "language=" << toUtf8(u16(c.value));
  }
  // No language file counts as a value other than 1, for the page as for the texts.
  DeleteFileW(path_.c_str());
  EXPECT_EQ(HelpPagePath(L"C:\\H\\", path_), L"C:\\H\\zh.html");
}

TEST_F(LanguageFile, MissingEntriesAreEmptyNotBlank) {
  writeUtf16(sample(L"0"));
  LoadTextTable(path_);
  // Present only in ENGINSH: empty in Chinese mode, not the built-in text and not " ".
  EXPECT_EQ(text(TextId::KEY_PROMPT), u"");
  EXPECT_EQ(text(TextId::UNKNOWN_KEY), u"");
  EXPECT_EQ(ReadLanguageText(path_, "PROFILE_2"), L"");
  EXPECT_EQ(ReadLanguageText(path_, "PROFILE_1"), L"\u914d\u7f6e 1");
}

TEST_F(LanguageFile, NoFileEmptiesEveryText) {
  DeleteFileW(path_.c_str());
  LoadTextTable(path_);
  for (size_t i = 0; i < kFileTextCount; ++i) EXPECT_EQ(text(static_cast<TextId>(i)), u"") << textKey(TextId(i));
}

// A language file from before a text was added: the new text shows in
// English rather than as an empty box.
TEST_F(LanguageFile, LaterTextsKeepTheirBuiltInText) {
  writeUtf16(sample(L"1"));
  LoadTextTable(path_);
  for (size_t i = kFileTextCount; i < kTextIdCount; ++i)
    EXPECT_EQ(text(static_cast<TextId>(i)), builtInText(static_cast<TextId>(i))) << textKey(TextId(i));
  EXPECT_EQ(text(TextId::WRITE_UNREAD_ANYWAY), u"Write anyway");
}

TEST_F(LanguageFile, LongTextCutTo259) {
  writeUtf16(L"[LANGUAGE]\r\nlanguage=1\r\n[ENGINSH]\r\nMAIN_CAPTION=" + std::wstring(300, L'x') + L"\r\n");
  LoadTextTable(path_);
  EXPECT_EQ(text(TextId::MAIN_CAPTION), std::u16string(259, u'x'));
}

TEST_F(LanguageFile, AnsiFileReads) {
  writeAnsi("[LANGUAGE]\r\nlanguage=1\r\n[ENGINSH]\r\nMAIN_CAPTION=Plain ANSI caption\r\n"
            "UNKNOWN_KEY=Unknown Key: %03x\r\n");
  LoadTextTable(path_);
  EXPECT_EQ(text(TextId::MAIN_CAPTION), u"Plain ANSI caption");
  EXPECT_EQ(text(TextId::UNKNOWN_KEY), u"Unknown Key: %03x");
  EXPECT_EQ(text(TextId::MAIN_HELP_PROMPT), u"");
}

TEST_F(LanguageFile, QuotedTextKeepsItsBlanks) {
  writeUtf16(L"[LANGUAGE]\r\nlanguage=1\r\n[ENGINSH]\r\nKEYBOARD_TRAY_DESC=\"Driver \"\r\nMAIN_CAPTION=Caption   \r\n");
  LoadTextTable(path_);
  EXPECT_EQ(text(TextId::KEYBOARD_TRAY_DESC), u"Driver ");
  EXPECT_EQ(text(TextId::MAIN_CAPTION), u"Caption");
}

}  // namespace
}  // namespace kv
