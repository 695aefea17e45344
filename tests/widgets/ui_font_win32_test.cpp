// The faces the program's windows take for their texts, and its own message
// box: under Wine no font is linked in for the characters a face lacks, so
// a face must carry them itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/handles_win32.h"
#include "base/text_table.h"
#include "widgets/dialog_win32.h"
#include "widgets/message_box_win32.h"
#include "widgets/ui_font_win32.h"

namespace kv {
namespace {

const std::u16string kChinese = u"\u6709\u4fee\u6539\u5c1a\u672a\u5e94\u7528\u5230\u952e\u76d8\u3002";  // 有修改尚未应用到键盘。

// The characters of `text` `font` has no glyph for, asked of the system
// directly.
std::wstring missingIn(HFONT font, std::wstring_view text) {
  std::wstring shown;
  for (wchar_t c : text)
    if (c >= 0x20 && c != L'&') shown.push_back(c);
  UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  SelectObjectRestorer selected(dc.get(), font);
  std::vector<WORD> glyphs(shown.size());
  if (GetGlyphIndicesW(dc.get(), shown.c_str(), static_cast<int>(shown.size()), glyphs.data(),
                       GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR)
    return L"(failed)";
  std::wstring missing;
  for (size_t i = 0; i < shown.size(); ++i)
    if (glyphs[i] == 0xFFFF) missing.push_back(shown[i]);
  return missing;
}

std::wstring faceOf(HFONT font) {
  LOGFONTW lf{};
  if (!GetObjectW(font, sizeof lf, &lf)) return L"(none)";
  return lf.lfFaceName;
}

std::wstring wideOf(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }

// The text table with one Chinese text, as a Chinese language file leaves
// it; the built-in texts again afterwards.
struct ChineseTexts {
  ChineseTexts() {
    setText(TextId::EDITS_WAITING_QUESTION, kChinese);
    setText(TextId::BOX_OK, u"\u786e\u5b9a");
    setText(TextId::BOX_CANCEL, u"\u53d6\u6d88");
    setText(TextId::BOX_YES, u"\u662f(&Y)");
    setText(TextId::BOX_NO, u"\u5426(&N)");
  }
  ~ChineseTexts() { resetTextTable(); }
};

TEST(UiFont, ChoosesTheFirstFaceThatHasEveryCharacter) {
  struct Case {
    std::vector<const wchar_t*> faces;
    std::u16string text;
    std::wstring chosen;
  };
  const Case cases[] = {
      {{L"Tahoma", L"WenQuanYi Micro Hei"}, kChinese, L"WenQuanYi Micro Hei"},
      {{L"WenQuanYi Micro Hei", L"Tahoma"}, u"Apply", L"WenQuanYi Micro Hei"},
      {{L"Tahoma", L"WenQuanYi Micro Hei"}, u"Apply", L"Tahoma"},
      // None has them all: the one that lacks the fewest.
      {{L"Tahoma", L"WenQuanYi Micro Hei"}, kChinese + u"\U0001F600", L"WenQuanYi Micro Hei"},
      {{}, kChinese, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.faces.size()) + " faces, chosen " + testing::PrintToString(c.chosen));
    EXPECT_EQ(ChooseFace(c.faces, c.text), c.chosen);
  }
  // Of the program's list, this system has one that carries Chinese.
  std::wstring cjk = ChooseFace(kCjkFaces, kChinese);
  LOGFONTW lf{};
  lf.lfHeight = -12;
  cjk.copy(lf.lfFaceName, LF_FACESIZE - 1);
  UniqueFont font(CreateFontIndirectW(&lf));
  EXPECT_EQ(missingIn(font.get(), wideOf(kChinese)), L"") << "chosen: " << std::string(cjk.begin(), cjk.end());
}

TEST(UiFont, TemplateWithAnotherFaceKeepsItsItems) {
  DialogTemplate t(WS_POPUP | WS_CAPTION, 0, 0, 0, 160, 80, L"Face", L"Tahoma", 8);
  t.add(kButtonClass, IDOK, WS_VISIBLE | BS_DEFPUSHBUTTON, 10, 50, 50, 14, L"OK");
  t.add(kEditClass, 1001, WS_VISIBLE | WS_BORDER, 10, 10, 100, 14);
  t.add(L"SysListView32", 1002, WS_VISIBLE, 10, 26, 100, 20);
  HRSRC res = FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(200), reinterpret_cast<LPCWSTR>(RT_DIALOG));
  ASSERT_NE(res, nullptr);
  const auto* resBytes = static_cast<const uint8_t*>(LockResource(LoadResource(GetModuleHandleW(nullptr), res)));
  const std::vector<std::vector<uint8_t>> templates = {
      {reinterpret_cast<const uint8_t*>(t.get()), reinterpret_cast<const uint8_t*>(t.get()) + t.byteSize()},
      {resBytes, resBytes + SizeofResource(GetModuleHandleW(nullptr), res)}};
  // Shorter, as long, longer (the items move by two bytes or more).
  for (const wchar_t* face : {L"X", L"Arial", L"Tahoma", L"WenQuanYi Micro Hei"}) {
    for (const std::vector<uint8_t>& bytes : templates) {
      SCOPED_TRACE(std::string(face, face + wcslen(face)) + (bytes.size() == t.byteSize() ? " in memory" : " resource"));
      std::optional<DialogTemplateItems> before = dialogTemplateItems(bytes);
      ASSERT_TRUE(before);
      std::vector<DWORD> changed = templateWithFontFace(bytes, face);
      ASSERT_FALSE(changed.empty());
      std::optional<DialogTemplateItems> after =
          dialogTemplateItems({reinterpret_cast<const uint8_t*>(changed.data()), changed.size() * sizeof(DWORD)});
      ASSERT_TRUE(after);
      EXPECT_EQ(after->fontFace, face);
      EXPECT_EQ(after->fontPoints, 8);
      ASSERT_EQ(after->items.size(), before->items.size());
      for (size_t i = 0; i < before->items.size(); ++i) {
        EXPECT_EQ(after->items[i].className, before->items[i].className);
        EXPECT_EQ(after->items[i].text, before->items[i].text);
        EXPECT_EQ(after->items[i].id, before->items[i].id);
        EXPECT_EQ(after->items[i].style, before->items[i].style);
        EXPECT_EQ(after->items[i].cy, before->items[i].cy);
      }
    }
  }
  // No font in the template: nothing to change.
  DialogTemplate plain(WS_POPUP, 0, 0, 0, 10, 10, L"", L"");
  EXPECT_TRUE(templateWithFontFace({reinterpret_cast<const uint8_t*>(plain.get()), plain.byteSize()}, L"X").empty());
}

class FontProbe : public CDialog {
 public:
  using CDialog::CDialog;
  std::wstring face, missing;

 protected:
  BOOL OnInitDialog() override {
    auto font = reinterpret_cast<HFONT>(SendMessageW(item(IDOK), WM_GETFONT, 0, 0));
    face = faceOf(font);
    missing = missingIn(font, wideOf(text(TextId::EDITS_WAITING_QUESTION)));
    EndDialog(IDOK);
    return TRUE;
  }
};

// A dialog's controls take the font the dialog manager makes from the
// template: with Chinese texts, in a face that has their glyphs (Tahoma, the
// templates' face, has none); with English ones, the template's own face.
TEST(UiFont, DialogFontCarriesTheTexts) {
  DialogTemplate t(WS_POPUP, 0, 0, 0, 160, 80, L"", L"Tahoma", 8);
  t.add(kButtonClass, IDOK, WS_VISIBLE, 10, 50, 50, 14, L"OK");
  for (int resource = 0; resource < 2; ++resource) {
    SCOPED_TRACE(resource ? "resource template" : "in-memory template");
    auto probe = [&] { return resource ? std::make_unique<FontProbe>(200u, nullptr) : std::make_unique<FontProbe>(t, nullptr); };
    {
      ChineseTexts chinese;
      auto d = probe();
      ASSERT_EQ(d->DoModal(), IDOK);
      EXPECT_NE(d->face, L"Tahoma");
      EXPECT_EQ(d->missing, L"") << std::string(d->face.begin(), d->face.end());
    }
    auto d = probe();
    ASSERT_EQ(d->DoModal(), IDOK);
    EXPECT_EQ(d->face, L"Tahoma");
  }
}

// ---- the message box ----

// Runs `act` on the box once it shows (from a timer of the box's own
// thread, as a user would act on it), and returns the box's answer.
std::function<void(HWND)> g_act;
HWND g_box = nullptr;

BOOL CALLBACK findBox(HWND h, LPARAM) {
  wchar_t cls[16] = L"";
  GetClassNameW(h, cls, 16);
  if (std::wstring_view(cls) == L"#32770" && IsWindowVisible(h)) {
    g_box = h;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK onTimer(HWND, UINT, UINT_PTR id, DWORD) {
  g_box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), findBox, 0);
  if (!g_box || !g_act) return;
  KillTimer(nullptr, id);
  auto act = std::move(g_act);
  g_act = nullptr;
  act(g_box);
}

int answerOf(std::wstring_view text, UINT type, std::function<void(HWND)> act) {
  g_act = std::move(act);
  UINT_PTR timer = SetTimer(nullptr, 0, 50, onTimer);
  int answer = ShowMessageBox(nullptr, text, L"Box", type);
  KillTimer(nullptr, timer);
  g_act = nullptr;
  return answer;
}

void pressKey(HWND box, UINT key) {
  HWND focus = GetFocus();
  PostMessageW(focus ? focus : box, WM_KEYDOWN, key, 0);
  PostMessageW(focus ? focus : box, WM_KEYUP, key, 0xC0000001);
}

TEST(OwnMessageBox, AnswersAsTheSystemsBox) {
  struct Case {
    const char* what;
    UINT type;
    std::function<void(HWND)> act;
    int answer;
  };
  auto click = [](int id) { return [id](HWND box) { PostMessageW(GetDlgItem(box, id), BM_CLICK, 0, 0); }; };
  auto key = [](UINT k) { return [k](HWND box) { pressKey(box, k); }; };
  const Case cases[] = {
      {"OK: Escape", MB_OK, key(VK_ESCAPE), IDOK},
      {"OK: Enter", MB_OK | MB_ICONWARNING, key(VK_RETURN), IDOK},
      {"OK/Cancel: Enter on OK", MB_OKCANCEL, key(VK_RETURN), IDOK},
      {"OK/Cancel: Escape", MB_OKCANCEL, key(VK_ESCAPE), IDCANCEL},
      {"Yes/No, No the default: Enter", MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION, key(VK_RETURN), IDNO},
      {"Yes/No: the Y key", MB_YESNO | MB_DEFBUTTON2, [](HWND) { PostMessageW(GetFocus(), WM_CHAR, L'y', 0); }, IDYES},
      {"Yes/No/Cancel, Cancel the default: Enter", MB_YESNOCANCEL | MB_DEFBUTTON3, key(VK_RETURN), IDCANCEL},
      {"Yes/No/Cancel: click No", MB_YESNOCANCEL, click(IDNO), IDNO},
      // Escape and the close box do nothing in a box without Cancel; No then answers.
      {"Yes/No: Escape, close, then No",
       MB_YESNO,
       [](HWND box) {
         pressKey(box, VK_ESCAPE);
         PostMessageW(box, WM_CLOSE, 0, 0);
         PostMessageW(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
       },
       IDNO},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(answerOf(L"Question?", c.type, c.act), c.answer);
  }
}

// In Chinese the text and every button have their glyphs, and the box is
// big enough for its text: nothing cut, nothing overlapping.
TEST(OwnMessageBox, ChineseTextHasItsGlyphsAndFits) {
  ChineseTexts chinese;
  std::wstring longText;
  for (int i = 0; i < 12; ++i) longText += wideOf(kChinese);
  longText += L" C:\\Users\\someone\\Documents\\Korvalin\\a-long-path-with-no-blanks-at-all.kvp";
  for (UINT type : {UINT(MB_OK), UINT(MB_YESNOCANCEL | MB_ICONWARNING)}) {
    std::vector<std::string> faults;
    answerOf(longText, type, [&](HWND box) {
      HWND textControl = GetDlgItem(box, kMessageBoxTextId);
      auto font = reinterpret_cast<HFONT>(SendMessageW(textControl, WM_GETFONT, 0, 0));
      if (std::wstring m = missingIn(font, longText); !m.empty()) faults.push_back("text lacks glyphs");
      RECT client{}, textRect{};
      GetClientRect(box, &client);
      GetWindowRect(textControl, &textRect);
      MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&textRect), 2);
      // The text as the static draws it, in its width: it needs no more height than it has.
      RECT need{0, 0, textRect.right - textRect.left, 0};
      {
        UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
        SelectObjectRestorer sel(dc.get(), font);
        DrawTextW(dc.get(), longText.c_str(), -1, &need,
                  DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS);
      }
      if (need.bottom > textRect.bottom - textRect.top) faults.push_back("text cut");
      if (need.right > textRect.right - textRect.left) faults.push_back("text too wide");
      if (textRect.right > client.right || textRect.bottom > client.bottom) faults.push_back("text outside");
      RECT previous{};
      for (int id : {IDOK, IDYES, IDNO, IDCANCEL}) {
        HWND b = GetDlgItem(box, id);
        if (!b) continue;
        wchar_t caption[64] = L"";
        GetWindowTextW(b, caption, 64);
        auto bf = reinterpret_cast<HFONT>(SendMessageW(b, WM_GETFONT, 0, 0));
        if (!missingIn(bf, caption).empty()) faults.push_back("button " + std::to_string(id) + " lacks glyphs");
        RECT r{}, overlap{};
        GetWindowRect(b, &r);
        MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&r), 2);
        if (r.right > client.right || r.bottom > client.bottom || r.top < textRect.bottom)
          faults.push_back("button " + std::to_string(id) + " misplaced");
        if (IntersectRect(&overlap, &r, &previous)) faults.push_back("buttons overlap");
        previous = r;
      }
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    EXPECT_TRUE(faults.empty()) << testing::PrintToString(faults);
  }
}

}  // namespace
}  // namespace kv
