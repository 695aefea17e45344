// The program in Chinese, as a user who chose it in the language file sees
// it: the main window, the editor's macro page and a question, each drawn in
// a face that has the texts' glyphs (the glyphs themselves are checked in the
// skin tests; here the screenshots show them, from the real program).
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/e2e/korvalin_fixture_win32.h"

namespace kv::e2e {
namespace {

namespace M = ids::main_dlg;

class LanguageE2e : public KorvalinFixture {
 protected:
  // The installation's language file switched to Chinese (language=0), as a
  // user switches it.
  void chooseChinese() {
    const std::wstring path = install_.path(L"Skins\\language.ini");
    std::string bytes;
    {
      std::ifstream in(std::filesystem::path(path), std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::string english = utf16le("language=1");
    const size_t at = bytes.find(english);
    ASSERT_NE(at, std::string::npos) << "the shipped language file chooses English";
    bytes.replace(at, english.size(), utf16le("language=0"));
    std::ofstream(std::filesystem::path(path), std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  HWND e(int id) const { return GetDlgItem(editor(), id); }

 private:
  static std::string utf16le(const char* ascii) {
    std::string out;
    for (const char* c = ascii; *c; ++c) out += {*c, '\0'};
    return out;
  }
};

TEST_F(LanguageE2e, ChineseWindowsAndQuestion) {
  chooseChinese();
  startShown();
  EXPECT_EQ(controlText(mainItem(M::CONTROL2_APPLY.id)), L"\u5e94\u7528");  // 应用
  pointerAway();
  shot("language_zh_main");

  // The editor on its macro page with a new macro.
  ASSERT_NE(openEditor(M::KEY_01E.id), nullptr);
  clickCentre(e(IDC_COMPOSITE_CONTROL_MACRO));
  ASSERT_TRUE(waitFor([&] { return IsWindowVisible(e(IDC_COMPOSITE_FUNC_MACRO_LIST2)) != FALSE; }, 3000));
  clickCentre(e(IDC_COMPOSITE_FUNC_MACRO_ADD));
  ASSERT_TRUE(waitFor([&] { return IsWindowEnabled(e(IDC_COMPOSITE_FUNC_MACRO_RECORD)) != FALSE; }, 3000));
  pointerAway();
  shot("language_zh_macro_page");
  clickCentre(e(IDC_COMPOSITE_CONTROL_CANCEL));
  ASSERT_TRUE(waitEditorClosed());

  // Restore defaults asks, with the buttons' texts in Chinese; No by its key.
  clickControl(mainItem(M::FUNC_DEFAULT.id));
  HWND box = waitMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(controlText(GetDlgItem(box, IDYES)), L"\u662f(&Y)");  // 是
  EXPECT_EQ(controlText(GetDlgItem(box, IDNO)), L"\u5426(&N)");   // 否
  EXPECT_EQ(messageBoxText(box).substr(0, 3), L"\u786e\u5b9a\u8981") << utf8(messageBoxText(box));  // 确定要...
  ASSERT_TRUE(waitFor([&] { return GetForegroundWindow() == box; }, 3000));
  shot("language_zh_question");
  pressKey("n");
  EXPECT_TRUE(waitFor([&] { return !IsWindow(box); }, 3000)) << "N did not answer the box";
}

}  // namespace
}  // namespace kv::e2e
