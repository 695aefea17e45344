// The program at other display scales (Wine's LogPixels: 96, 144 and 192
// DPI). The skin is drawn 1:1 at every scale for now, so the window is the
// same 1180 x 640 pixels and the texts on it are sized for the skin: the
// window looks the same as at 96 DPI (no label grows out of its slot), and
// a click on a key opens that key's editor.
#include <cstdlib>
#include <vector>

#include "tests/e2e/korvalin_fixture_win32.h"

namespace kv::e2e {
namespace {

namespace M = ids::main_dlg;

// Wine's display scale for the programs started while it lives (read at a
// process's start), put back after.
class LogPixels {
 public:
  explicit LogPixels(DWORD dpi) {
    had_ = RegGetValueW(HKEY_CURRENT_USER, kKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &old_, &size_) == ERROR_SUCCESS;
    EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"LogPixels", REG_DWORD, &dpi, sizeof dpi), ERROR_SUCCESS);
  }
  ~LogPixels() {
    if (had_)
      (void)RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"LogPixels", REG_DWORD, &old_, sizeof old_);
    else
      (void)RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"LogPixels");
  }
  LogPixels(const LogPixels&) = delete;
  LogPixels& operator=(const LogPixels&) = delete;

 private:
  static constexpr const wchar_t* kKey = L"Control Panel\\Desktop";
  DWORD old_ = 0, size_ = sizeof(DWORD);
  bool had_ = false;
};

// The screen's pixels under a window.
std::vector<COLORREF> pixelsOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  std::vector<COLORREF> out;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap && bits) {
    HGDIOBJ old = SelectObject(mem, bitmap);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const auto* p = static_cast<const COLORREF*>(bits);
    out.assign(p, p + static_cast<size_t>(w) * static_cast<size_t>(h));
    SelectObject(mem, old);
    DeleteObject(bitmap);
  }
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return out;
}

class DisplayScale : public KorvalinFixture {
 protected:
  HWND e(int id) const { return GetDlgItem(editor(), id); }
};

TEST_F(DisplayScale, WindowAtEveryScaleLooksAsAt96Dpi) {
  std::vector<COLORREF> at96;
  POINT keyA96{};
  for (DWORD dpi : {96u, 144u, 192u}) {
    SCOPED_TRACE(std::to_string(dpi) + " DPI");
    LogPixels scale(dpi);
    startShown();
    RECT r{};
    ASSERT_TRUE(GetWindowRect(main(), &r));
    EXPECT_NEAR(r.right - r.left, 1180, 2);
    EXPECT_NEAR(r.bottom - r.top, 640, 2);
    pointerAway();
    Sleep(500);
    std::vector<COLORREF> pixels = pixelsOf(main());
    shot("display_main_" + std::to_string(dpi) + "dpi");
    if (dpi == 96) {
      at96 = pixels;
    } else {
      ASSERT_EQ(pixels.size(), at96.size());
      size_t differ = 0;
      for (size_t i = 0; i < pixels.size(); ++i) differ += pixels[i] != at96[i];
      // A text sized for the display's scale instead of the skin's changes
      // thousands; the keyboard's LED pictures may blink between two shots.
      EXPECT_LT(differ, pixels.size() / 1000) << differ << " pixels differ from 96 DPI";
    }
    // A click where the skin puts key A (its place at 96 DPI, the skin
    // being 1:1) opens A's editor.
    RECT a{};
    ASSERT_TRUE(GetWindowRect(mainItem(M::KEY_01E.id), &a));
    const POINT inWindow{(a.left + a.right) / 2 - r.left, (a.top + a.bottom) / 2 - r.top};
    if (dpi == 96) keyA96 = inWindow;
    EXPECT_EQ(inWindow.x, keyA96.x);
    EXPECT_EQ(inWindow.y, keyA96.y);
    ASSERT_TRUE(waitClickable(mainItem(M::KEY_01E.id)));
    click(r.left + keyA96.x, r.top + keyA96.y);
    ASSERT_TRUE(waitFor([&] { return editor() != nullptr; }, 5000)) << "no editor from key A";
    EXPECT_TRUE(waitFor([&] { return IsWindowVisible(editor()) != FALSE; }, 3000));
    EXPECT_EQ(controlText(e(IDC_COMPOSITE_CONTROL_TITLE)), L"A") << "another key's editor";
    shot("display_editor_" + std::to_string(dpi) + "dpi");
    clickCentre(e(IDC_COMPOSITE_CONTROL_CANCEL));
    ASSERT_TRUE(waitEditorClosed());
    app_.reset();  // ends the program
  }
}

}  // namespace
}  // namespace kv::e2e
