// The skin engine on the real Win32 API under the virtual display: skinned
// dialogs sized and cut by their pictures, image buttons, level controls.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <memory>
#include <vector>

#include "skin/base_dialog_win32.h"
#include "skin/bitmap_slider_win32.h"
#include "skin/placement_win32.h"
#include "skin/png_button_win32.h"
#include "skin/skin_picture_win32.h"
#include "tests/skin/skin_test_util_win32.h"

namespace kv {
namespace {

using test::pump;
using test::writeBmp;
using test::writeIni;

constexpr WORD kButtonId = 1001;
constexpr WORD kSliderId = 1002;

const DialogTemplate& skinTemplate() {
  static const DialogTemplate t = [] {
    DialogTemplate d(WS_POPUP | WS_CLIPCHILDREN, 0, 0, 0, 100, 60, L"Skin test");
    d.add(kButtonClass, kButtonId, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 5, 5, 30, 12, L"B");
    d.add(kStaticClass, kSliderId, WS_VISIBLE | SS_BITMAP | SS_NOTIFY, 5, 30, 30, 10);
    return d;
  }();
  return t;
}

class TestDialog : public CBaseDialog {
 public:
  TestDialog(const std::wstring& ini, const std::wstring& folder)
      : CBaseDialog(skinTemplate(), nullptr, ini, folder) {}
  std::function<void(TestDialog&)> onInit;
  std::vector<WORD> clicks;
  std::vector<std::pair<int, int>> levels;

 protected:
  BOOL OnInitDialog() override {
    CBaseDialog::OnInitDialog();
    if (onInit) onInit(*this);
    // No focus, so the dialog is not activated: Wine treats active windows as
    // managed and waits two seconds for a window manager whenever they hide.
    return FALSE;
  }
  bool OnCommand(WORD id, WORD code, HWND control) override {
    if (code == BN_CLICKED) clicks.push_back(id);
    return CDialog::OnCommand(id, code, control);
  }
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override {
    if (msg != kSliderNotifyMessage) return false;
    levels.emplace_back(static_cast<int>(wp), static_cast<int>(lp));
    result = 0;
    return true;
  }
};

class SkinDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = test::tempDir(); }
  std::wstring path(const wchar_t* name) const { return dir_ + name; }

  // Opens a dialog skinned by the given SCREEN entries and pictures.
  TestDialog& open(const std::wstring& screen) {
    writeIni(path(L"skin.ini"), L"[SCREEN]\r\n" + screen + L"\r\n[BUTTONINFO]\r\nBTN=100,50,20,10\r\n");
    dialog_ = std::make_unique<TestDialog>(path(L"skin.ini"), dir_);
    if (onInit_) dialog_->onInit = onInit_;
    EXPECT_TRUE(dialog_->Create());
    // Not activated: Wine treats activated windows as managed and waits for a
    // window manager that the virtual display does not have when they close.
    SetWindowPos(dialog_->hwnd(), HWND_TOP, 100, 100, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
    pump();
    return *dialog_;
  }
  bool inOutline(int x, int y) {
    UniqueRegion rgn(CreateRectRgn(0, 0, 0, 0));
    int kind = GetWindowRgn(dialog_->hwnd(), rgn.get());
    EXPECT_NE(kind, ERROR) << "the dialog has no outline";
    return PtInRegion(rgn.get(), x, y) != FALSE;
  }

  std::wstring dir_;
  std::unique_ptr<TestDialog> dialog_;
  std::function<void(TestDialog&)> onInit_;
};

COLORREF circleMask(int x, int y) {
  int dx = x - 200, dy = y - 150;
  return dx * dx + dy * dy <= 100 * 100 ? RGB(0, 0, 0) : RGB(255, 255, 255);
}

TEST_F(SkinDialogTest, CircularMaskGivesCircularOutlineAtTheBackgroundsSize) {
  writeBmp(path(L"bg.bmp"), 400, 300, [](int, int) { return RGB(30, 60, 90); });
  writeBmp(path(L"mask.bmp"), 400, 300, circleMask);
  TestDialog& d = open(L"Main=bg.bmp\r\nMask=mask.bmp");
  RECT r{};
  GetWindowRect(d.hwnd(), &r);
  EXPECT_EQ(r.right - r.left, 400);
  EXPECT_EQ(r.bottom - r.top, 300);
  EXPECT_TRUE(inOutline(200, 150));
  EXPECT_TRUE(inOutline(299, 150));
  EXPECT_TRUE(inOutline(200, 51));
  EXPECT_FALSE(inOutline(302, 150));
  EXPECT_FALSE(inOutline(5, 5));
  EXPECT_FALSE(inOutline(395, 295));
  EXPECT_FALSE(d.loading());
  // The background is what the window paints.
  InvalidateRect(d.hwnd(), nullptr, FALSE);
  UpdateWindow(d.hwnd());
  EXPECT_EQ(test::pixelOf(d.hwnd(), 200, 150), RGB(30, 60, 90));
}

TEST_F(SkinDialogTest, OnlyPureWhiteIsCutAway) {
  writeBmp(path(L"bg.bmp"), 60, 40, [](int, int) { return RGB(10, 10, 10); });
  writeBmp(path(L"mask.bmp"), 60, 40, [](int x, int y) {
    if (x == 10 && y == 10) return RGB(254, 255, 255);
    if (x == 20 && y == 10) return RGB(255, 255, 254);
    return RGB(255, 255, 255);
  });
  open(L"Main=bg.bmp\r\nMask=mask.bmp");
  EXPECT_TRUE(inOutline(10, 10));
  EXPECT_TRUE(inOutline(20, 10));
  EXPECT_FALSE(inOutline(11, 10));
  EXPECT_FALSE(inOutline(30, 30));
}

TEST_F(SkinDialogTest, MaskWithMoreThan2000RunsGivesOneRegion) {
  // Every other pixel of 20 rows: 200 runs a row, 4000 in all.
  writeBmp(path(L"bg.bmp"), 400, 20, [](int, int) { return RGB(0, 0, 128); });
  writeBmp(path(L"mask.bmp"), 400, 20,
           [](int x, int) { return x % 2 == 0 ? RGB(0, 0, 0) : RGB(255, 255, 255); });
  open(L"Main=bg.bmp\r\nMask=mask.bmp");
  EXPECT_TRUE(inOutline(0, 0));      // first batch
  EXPECT_TRUE(inOutline(398, 19));   // last batch
  EXPECT_TRUE(inOutline(200, 10));   // the batch seam
  EXPECT_FALSE(inOutline(1, 0));
  EXPECT_FALSE(inOutline(399, 19));
  UniqueRegion rgn(CreateRectRgn(0, 0, 0, 0));
  GetWindowRgn(dialog_->hwnd(), rgn.get());
  DWORD bytes = GetRegionData(rgn.get(), 0, nullptr);
  std::vector<BYTE> data(bytes);
  ASSERT_EQ(GetRegionData(rgn.get(), bytes, reinterpret_cast<RGNDATA*>(data.data())), bytes);
  EXPECT_GE(reinterpret_cast<RGNDATA*>(data.data())->rdh.nCount, 200u);
}

TEST_F(SkinDialogTest, MissingMaskUsesTheBackground) {
  writeBmp(path(L"bg.bmp"), 200, 120, [](int x, int y) {
    return (x >= 50 && x < 150 && y >= 40 && y < 80) ? RGB(200, 0, 0) : RGB(255, 255, 255);
  });
  open(L"Main=bg.bmp");
  EXPECT_TRUE(inOutline(50, 40));
  EXPECT_TRUE(inOutline(149, 79));
  EXPECT_FALSE(inOutline(49, 40));
  EXPECT_FALSE(inOutline(150, 79));
  EXPECT_NE(dialog_->mask(), nullptr);
}

TEST_F(SkinDialogTest, EntirelyWhiteMaskGivesAnEmptyOutline) {
  writeBmp(path(L"bg.bmp"), 50, 50, [](int, int) { return RGB(255, 255, 255); });
  open(L"Main=bg.bmp");
  UniqueRegion rgn(CreateRectRgn(0, 0, 0, 0));
  EXPECT_EQ(GetWindowRgn(dialog_->hwnd(), rgn.get()), NULLREGION);
}

TEST_F(SkinDialogTest, OkReleasesThePictures) {
  writeBmp(path(L"bg.bmp"), 80, 60, [](int, int) { return RGB(1, 2, 3); });
  TestDialog& d = open(L"Main=bg.bmp");
  ASSERT_NE(d.background(), nullptr);
  SendMessageW(d.hwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_EQ(d.background(), nullptr);
  EXPECT_EQ(d.mask(), nullptr);
}

TEST_F(SkinDialogTest, DraggingAnywhereMovesTheWindow) {
  writeBmp(path(L"bg.bmp"), 200, 100, [](int, int) { return RGB(0, 80, 0); });
  TestDialog& d = open(L"Main=bg.bmp");
  SetForegroundWindow(d.hwnd());
  pump();
  RECT before{};
  GetWindowRect(d.hwnd(), &before);
  const int sx = GetSystemMetrics(SM_CXSCREEN), sy = GetSystemMetrics(SM_CYSCREEN);
  auto input = [&](int x, int y, DWORD flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = MulDiv(x, 65535, sx - 1);
    in.mi.dy = MulDiv(y, 65535, sy - 1);
    in.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | flags;
    SendInput(1, &in, sizeof(in));
  };
  const int x0 = before.left + 150, y0 = before.top + 70;  // away from the button
  input(x0, y0, 0);
  pump();
  // The move loop runs inside the button-down handling; the rest of the
  // drag comes from another thread.
  std::thread mover([&] {
    Sleep(200);
    for (int i = 1; i <= 10; ++i) {
      input(x0 + 4 * i, y0 + 3 * i, 0);
      Sleep(30);
    }
    input(x0 + 40, y0 + 30, MOUSEEVENTF_LEFTUP);
  });
  input(x0, y0, MOUSEEVENTF_LEFTDOWN);
  pump(1200);
  mover.join();
  pump();
  RECT after{};
  GetWindowRect(d.hwnd(), &after);
  EXPECT_EQ(after.left - before.left, 40);
  EXPECT_EQ(after.top - before.top, 30);
}

// ---- image buttons ----

class ImageButtonTest : public SkinDialogTest {
 protected:
  void SetUp() override {
    SkinDialogTest::SetUp();
    writeBmp(path(L"bg.bmp"), 300, 200, [](int, int) { return RGB(40, 40, 40); });
    // Faces: the pixel at (99, 49) is red, (100, 50) green, the rest blue;
    // each face its own shade so the chosen one can be told apart.
    for (int i = 0; i < 5; ++i) {
      faces_[i] = test::makeBitmap(300, 200, [i](int x, int y) {
        if (x == 99 && y == 49) return RGB(255, 0, 0);
        if (x == 100 && y == 50) return RGB(0, 255, 0);
        return RGB(0, 0, static_cast<BYTE>(100 + 30 * i));
      });
    }
    onInit_ = [this](TestDialog& d) {
      EXPECT_TRUE(button_.SubclassDlgItem(kButtonId, d.hwnd()));
      WindowDc dc(d.hwnd());
      for (int i = 0; i < 5; ++i) EXPECT_TRUE(surfaces_[i].build(dc.get(), 300, 200, faces_[i].get()));
      PlaceSkinnedControl(button_, d.dataFile(), L"BUTTONINFO", L"BTN", &surfaces_[0], &surfaces_[1],
                          &surfaces_[2], &surfaces_[3], &surfaces_[4]);
    };
    SetCursorPos(0, 0);  // no hover left over from other tests
    open(L"Main=bg.bmp");
    SendMessageW(button_.hwnd(), WM_MOUSELEAVE, 0, 0);
    button_.redraw();
  }
  void TearDown() override { SetCursorPos(0, 0); }
  COLORREF at(int x, int y) { return test::pixelOf(button_.hwnd(), x, y); }
  COLORREF shade(int i) { return RGB(0, 0, 100 + 30 * i); }

  UniqueBitmap faces_[5];
  SkinSurface surfaces_[5];
  CPngButton button_;
};

TEST_F(ImageButtonTest, FaceIsCutOnePixelUpAndLeftOfThePlacement) {
  RECT r{};
  GetWindowRect(button_.hwnd(), &r);
  MapWindowPoints(nullptr, dialog_->hwnd(), reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.top, 50);
  EXPECT_EQ(r.right - r.left, 20);
  EXPECT_EQ(r.bottom - r.top, 10);
  EXPECT_EQ(at(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(at(1, 1), RGB(0, 255, 0));
  EXPECT_EQ(at(5, 5), shade(0));
}

TEST_F(ImageButtonTest, FacePrecedence) {
  struct Case {
    bool disabled, pressed, hover, set;
    int face;
  };
  // disabled > pressed > hover > set > normal
  const Case cases[] = {{false, false, false, false, 0}, {false, false, false, true, 4},
                        {false, false, true, true, 1},   {false, true, true, true, 2},
                        {true, true, true, true, 3},     {true, false, false, false, 3}};
  for (const Case& c : cases) {
    EnableWindow(button_.hwnd(), c.disabled ? FALSE : TRUE);
    button_.setSetState(c.set, false);
    if (c.hover) SendMessageW(button_.hwnd(), WM_MOUSEHOVER, 0, 0);
    else SendMessageW(button_.hwnd(), WM_MOUSELEAVE, 0, 0);
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_BUTTON;
    dis.hwndItem = button_.hwnd();
    dis.itemState = c.pressed ? ODS_SELECTED : 0;
    WindowDc dc(button_.hwnd());
    dis.hDC = dc.get();
    GetClientRect(button_.hwnd(), &dis.rcItem);
    SendMessageW(dialog_->hwnd(), WM_DRAWITEM, kButtonId, reinterpret_cast<LPARAM>(&dis));
    EXPECT_EQ(at(5, 5), shade(c.face)) << "disabled " << c.disabled << " pressed " << c.pressed << " hover "
                                       << c.hover << " set " << c.set;
    EXPECT_EQ(button_.lastFace(), surfaces_[c.face].hdc());
  }
}

TEST_F(ImageButtonTest, DoubleClickGivesTwoPresses) {
  // Sent straight to the button, as the system delivers a double click.
  const LPARAM at = MAKELPARAM(5, 5);
  SendMessageW(button_.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(button_.hwnd(), WM_LBUTTONUP, 0, at);
  SendMessageW(button_.hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  SendMessageW(button_.hwnd(), WM_LBUTTONUP, 0, at);
  pump();
  EXPECT_EQ(dialog_->clicks, (std::vector<WORD>{kButtonId, kButtonId}));

  // And with real input: two quick clicks on the screen.
  dialog_->clicks.clear();
  RECT r{};
  GetWindowRect(button_.hwnd(), &r);
  SetCursorPos(r.left + 5, r.top + 5);
  pump();
  INPUT in[4]{};
  for (int i = 0; i < 4; ++i) {
    in[i].type = INPUT_MOUSE;
    in[i].mi.dwFlags = (i % 2 == 0) ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  }
  SendInput(4, in, sizeof(INPUT));
  pump(300);
  EXPECT_EQ(dialog_->clicks, (std::vector<WORD>{kButtonId, kButtonId}));
}

TEST_F(ImageButtonTest, FrameLevelIsCappedAndDoesNotChangeTheDrawing) {
  button_.setFrame(RGB(255, 255, 0), 150, true);
  EXPECT_EQ(button_.frameLevel(), 100);
  COLORREF edge150 = at(1, 1), inside150 = at(5, 5);
  button_.setFrame(RGB(255, 255, 0), 30, true);
  EXPECT_EQ(button_.frameLevel(), 30);
  EXPECT_EQ(at(1, 1), edge150);
  EXPECT_EQ(at(5, 5), inside150);
  EXPECT_EQ(edge150, RGB(255, 255, 0));
  button_.setFrame(RGB(255, 255, 0), 150, false);
  EXPECT_EQ(button_.frameLevel(), 150);
  EXPECT_EQ(at(5, 5), shade(0));
}

TEST_F(ImageButtonTest, HoverAndLeaveTracking) {
  SendMessageW(button_.hwnd(), WM_MOUSEHOVER, 0, 0);
  EXPECT_TRUE(button_.hover());
  EXPECT_EQ(at(5, 5), shade(1));
  SendMessageW(button_.hwnd(), WM_MOUSELEAVE, 0, 0);
  EXPECT_FALSE(button_.hover());
  EXPECT_FALSE(button_.tracking());
  EXPECT_EQ(at(5, 5), shade(0));
}

TEST_F(ImageButtonTest, TooltipMadeAtTheFirstHoverAndAgainAtEachHover) {
  auto textOf = [&](HWND tip) {
    wchar_t buf[64] = {};
    TTTOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = button_.hwnd();
    info.uId = 1;
    info.lpszText = buf;
    SendMessageW(tip, TTM_GETTEXTW, 64, reinterpret_cast<LPARAM>(&info));
    return std::wstring(buf);
  };
  button_.setTooltip(L"", true);
  button_.setTooltip(L"Help", true);
  EXPECT_EQ(button_.tooltip(), nullptr) << "nothing to show before the pointer rests on the button";
  EXPECT_EQ(button_.tooltipText(), L"Help");
  button_.setTooltip(L"Help me", true);  // the latest text is the one shown
  SendMessageW(button_.hwnd(), WM_MOUSEHOVER, 0, 0);
  HWND first = button_.tooltip();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(SendMessageW(first, TTM_GETTOOLCOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessageW(first, TTM_GETDELAYTIME, TTDT_INITIAL, 0), 2000);
  EXPECT_EQ(textOf(first), L"Help me");
  button_.setTooltip(L"Help", true);  // an existing tooltip takes a new text at once
  EXPECT_EQ(button_.tooltip(), first);
  EXPECT_EQ(textOf(first), L"Help");
  button_.setTooltip(L"", true);
  EXPECT_EQ(textOf(first), L"Help") << "an empty text changes nothing";
  SendMessageW(button_.hwnd(), WM_MOUSELEAVE, 0, 0);
  SendMessageW(button_.hwnd(), WM_MOUSEHOVER, 0, 0);
  HWND second = button_.tooltip();
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(IsWindow(first) && first != second);
  EXPECT_EQ(textOf(second), L"Help");
}

// Hovering the buttons of a window one after another leaves the tooltips of
// the last few only: a window does not gain one per button ever hovered.
TEST_F(ImageButtonTest, OnlyTheLatestHoveredButtonsOfAWindowKeepTheirTooltips) {
  HWND parent = GetParent(button_.hwnd());
  std::vector<std::unique_ptr<CPngButton>> others;
  for (size_t i = 0; i < CPngButton::kTooltipsKept + 1; ++i) {
    HWND h = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 10 + 12 * static_cast<int>(i), 10,
                             10, 10, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(h, nullptr);
    others.push_back(std::make_unique<CPngButton>());
    ASSERT_TRUE(others.back()->SubclassWindow(h));
    others.back()->setTooltip(L"Other", true);
  }
  button_.setTooltip(L"Help", true);
  SendMessageW(button_.hwnd(), WM_MOUSEHOVER, 0, 0);
  HWND first = button_.tooltip();
  ASSERT_NE(first, nullptr);
  for (auto& b : others) {
    SendMessageW(button_.hwnd(), WM_MOUSELEAVE, 0, 0);
    SendMessageW(b->hwnd(), WM_MOUSEHOVER, 0, 0);
    SendMessageW(b->hwnd(), WM_MOUSELEAVE, 0, 0);
  }
  EXPECT_FALSE(IsWindow(first)) << "the first button's tooltip went";
  EXPECT_EQ(button_.tooltip(), nullptr);
  EXPECT_EQ(others[0]->tooltip(), nullptr);
  for (size_t i = 1; i < others.size(); ++i)
    EXPECT_NE(others[i]->tooltip(), nullptr) << i << ": the latest keep theirs after the pointer left";
  for (auto& b : others) DestroyWindow(b->hwnd());
}

TEST_F(ImageButtonTest, CaptionIsDrawnOverTheFace) {
  SetWindowTextW(button_.hwnd(), L"I");
  button_.setCaptionStyle(true, 9, L"Tahoma", RGB(255, 255, 255), CPngButton::kDefaultCaptionFormat);
  button_.redraw();
  int white = 0;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) white += at(x, y) == RGB(255, 255, 255);
  EXPECT_GT(white, 0);
  EXPECT_EQ(at(0, 0), RGB(255, 0, 0));  // the face is still under it
}

TEST_F(ImageButtonTest, DrawCallbackSeesWhetherTheNormalFaceWasDrawn) {
  std::vector<bool> seen;
  button_.setDrawCallback([&](HWND h, bool normal) {
    EXPECT_EQ(h, button_.hwnd());
    seen.push_back(normal);
  });
  button_.redraw();
  button_.setSetState(true, true);
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

// ---- level controls ----

class LevelControlTest : public SkinDialogTest {
 protected:
  void SetUp() override {
    SkinDialogTest::SetUp();
    writeBmp(path(L"bg.bmp"), 300, 200, [](int, int) { return RGB(40, 40, 40); });
    onInit_ = [this](TestDialog& d) {
      EXPECT_TRUE(slider_.SubclassDlgItem(kSliderId, d.hwnd()));
      slider_.setRange(0, 4);
      slider_.setPicture(test::makeBitmap(100, 12, [](int, int) { return RGB(0, 200, 0); }).release());
    };
    open(L"Main=bg.bmp");
  }
  CBitmapSlider slider_;
};

TEST_F(LevelControlTest, PictureGivesTheSize) {
  RECT r{};
  GetClientRect(slider_.hwnd(), &r);
  EXPECT_EQ(r.right, 100);
  EXPECT_EQ(r.bottom, 12);
  EXPECT_EQ(slider_.width(), 100);
}

TEST_F(LevelControlTest, PressAt15Gives1AndNotifies) {
  SendMessageW(slider_.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(15, 5));
  EXPECT_EQ(slider_.position(), 1);
  EXPECT_TRUE(slider_.dragging());
  SendMessageW(slider_.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(15, 5));
  EXPECT_FALSE(slider_.dragging());
  pump();
  ASSERT_EQ(dialog_->levels.size(), 2u);
  EXPECT_EQ(dialog_->levels[0], std::make_pair(int(kSliderId), 1));
  EXPECT_EQ(dialog_->levels[1], std::make_pair(int(kSliderId), 1));
}

TEST_F(LevelControlTest, PixelConversions) {
  struct Case {
    int pixel, position;
  };
  // position = (x + 10) / 100 * 4, truncated
  for (Case c : {Case{0, 0}, Case{14, 0}, Case{15, 1}, Case{39, 1}, Case{40, 2}, Case{90, 4}, Case{200, 8},
                 Case{-60, -2}})
    EXPECT_EQ(slider_.pixelToPosition(c.pixel), c.position) << c.pixel;
  for (Case c : {Case{0, 0}, Case{25, 1}, Case{50, 2}, Case{100, 4}})
    EXPECT_EQ(slider_.positionToPixel(c.position), c.pixel) << c.position;
  slider_.setVertical(true);  // along the height (12)
  EXPECT_EQ(slider_.pixelToPosition(6), 2);
}

TEST_F(LevelControlTest, KeysMovePositionAndNotify) {
  struct Case {
    int start;
    WPARAM key;
    int expected;
  };
  slider_.setPage(2);
  const Case cases[] = {{3, VK_HOME, 0}, {1, VK_END, 4},  {1, VK_NEXT, 3},  {3, VK_PRIOR, 1}, {4, VK_NEXT, 4},
                        {2, VK_RIGHT, 3}, {2, VK_DOWN, 3}, {2, VK_LEFT, 1},  {2, VK_UP, 1},    {0, VK_LEFT, 0}};
  for (const Case& c : cases) {
    slider_.setPosition(c.start);
    dialog_->levels.clear();
    SendMessageW(slider_.hwnd(), WM_KEYDOWN, c.key, 0);
    pump(10);
    EXPECT_EQ(slider_.position(), c.expected) << "key " << c.key << " from " << c.start;
    ASSERT_EQ(dialog_->levels.size(), 1u);
    EXPECT_EQ(dialog_->levels[0].second, c.expected);
  }
}

TEST_F(LevelControlTest, WheelTurns) {
  struct Case {
    short delta;
    int expected;
  };
  // 120 steps down, anything above 120 as unsigned steps up, the rest nothing; always a notification.
  for (Case c : {Case{120, 1}, Case{-120, 3}, Case{240, 3}, Case{60, 2}}) {
    slider_.setPosition(2);
    dialog_->levels.clear();
    SendMessageW(slider_.hwnd(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(c.delta)), 0);
    pump(10);
    EXPECT_EQ(slider_.position(), c.expected) << c.delta;
    EXPECT_EQ(dialog_->levels.size(), 1u);
  }
}

TEST_F(LevelControlTest, PositionClampsMaximumFirst) {
  slider_.setPosition(9);
  EXPECT_EQ(slider_.position(), 4);
  slider_.setPosition(-3);
  EXPECT_EQ(slider_.position(), 0);
  slider_.setRange(5, 8);  // not re-clamped
  EXPECT_EQ(slider_.position(), 0);
  EXPECT_EQ(slider_.setPage(3), 1);
  EXPECT_EQ(slider_.setPage(1), 3);
}

TEST_F(LevelControlTest, DisabledControlIgnoresInput) {
  slider_.setEnabled(false);
  slider_.setPosition(3);
  SendMessageW(slider_.hwnd(), WM_KEYDOWN, VK_HOME, 0);
  SendMessageW(slider_.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(15, 5));
  pump();
  EXPECT_EQ(slider_.position(), 3);
  EXPECT_TRUE(dialog_->levels.empty());
}

}  // namespace
}  // namespace kv
