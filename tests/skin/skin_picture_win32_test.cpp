// Both picture paths (the picture loader from a memory stream, and the image
// library) on BMP and JPEG files; failures of the loader end the process
// with their own exit code and a line on the debugger output.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "base/exit_codes.h"
#include "skin/picture_preloader_win32.h"
#include "skin/skin_picture_win32.h"
#include "tests/skin/skin_test_util_win32.h"
#include "widgets/application_win32.h"

namespace kv {
namespace {

std::wstring dataFile(const wchar_t* name) { return ExecutableFolder() + L"skin_test_data\\" + name; }

COLORREF quadrant(int x, int y) {
  if (y < 10) return x < 20 ? RGB(255, 0, 0) : RGB(0, 255, 0);
  return x < 20 ? RGB(0, 0, 255) : RGB(255, 255, 0);
}

COLORREF bitmapPixel(HBITMAP bm, int x, int y) {
  UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  SelectObjectRestorer sel(dc.get(), bm);
  return GetPixel(dc.get(), x, y);
}

bool closeTo(COLORREF a, COLORREF b, int tolerance = 40) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

SIZE sizeOf(HBITMAP bm) {
  BITMAP b{};
  GetObjectW(bm, sizeof(b), &b);
  return SIZE{b.bmWidth, b.bmHeight};
}

TEST(PictureLoader, DecodesBmpExactly) {
  std::wstring path = test::tempDir() + L"quadrants.bmp";
  test::writeBmp(path, 40, 20, quadrant);
  UniqueBitmap bm;
  ASSERT_EQ(tryLoadPictureFile(path, bm), 0);
  EXPECT_EQ(sizeOf(bm.get()).cx, 40);
  EXPECT_EQ(sizeOf(bm.get()).cy, 20);
  for (POINT p : {POINT{0, 0}, POINT{39, 0}, POINT{0, 19}, POINT{39, 19}, POINT{19, 9}, POINT{20, 10}})
    EXPECT_EQ(bitmapPixel(bm.get(), p.x, p.y), quadrant(p.x, p.y)) << p.x << "," << p.y;
}

TEST(PictureLoader, DecodesJpegAndGif) {
  for (const wchar_t* name : {L"halves.jpg", L"halves.gif"}) {
    UniqueBitmap bm;
    ASSERT_EQ(tryLoadPictureFile(dataFile(name), bm), 0);
    EXPECT_EQ(sizeOf(bm.get()).cx, 64);
    EXPECT_EQ(sizeOf(bm.get()).cy, 32);
    EXPECT_TRUE(closeTo(bitmapPixel(bm.get(), 5, 5), RGB(220, 20, 20)));
    EXPECT_TRUE(closeTo(bitmapPixel(bm.get(), 60, 28), RGB(20, 20, 220)));
  }
}

TEST(PictureLoader, EachFailureHasItsOwnCode) {
  std::wstring empty = test::tempDir() + L"empty.bmp";
  test::writeIni(empty, L"");  // just a byte-order mark: not a picture
  HANDLE h = CreateFileW(empty.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(h);
  UniqueBitmap bm;
  EXPECT_EQ(tryLoadPictureFile(test::tempDir() + L"no_such_picture.bmp", bm), kExitSkinPictureOpen);
  EXPECT_EQ(tryLoadPictureFile(test::tempDir(), bm), kExitSkinPictureOpen);  // a folder
  EXPECT_EQ(tryLoadPictureFile(empty, bm), kExitSkinPictureSize);
  EXPECT_EQ(tryLoadPictureFile(dataFile(L"garbage.jpg"), bm), kExitSkinPictureDecode);
  EXPECT_FALSE(bm);
}

TEST(ImageLibrary, DecodesBmpAndJpegIntoSkinSurfaces) {
  std::wstring bmp = test::tempDir() + L"quadrants_gp.bmp";
  test::writeBmp(bmp, 40, 20, quadrant);
  HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 30, 15, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);

  SkinImage image = loadSkinPictureFile(bmp);
  ASSERT_TRUE(image.created());
  ASSERT_TRUE(image.decoded());
  EXPECT_EQ(image.width(), 40);
  SkinSurface surface;
  ASSERT_TRUE(makeSkinSurface(surface, image, window));
  EXPECT_EQ(surface.width(), 130);  // client + 100
  EXPECT_EQ(surface.height(), 115);
  for (POINT p : {POINT{0, 0}, POINT{39, 0}, POINT{0, 19}, POINT{39, 19}})
    EXPECT_EQ(GetPixel(surface.hdc(), p.x, p.y), quadrant(p.x, p.y)) << p.x << "," << p.y;
  EXPECT_EQ(GetPixel(surface.hdc(), 60, 60), RGB(0, 0, 0));  // beyond the picture

  SkinImage jpeg = loadSkinPictureFile(dataFile(L"halves.jpg"));
  ASSERT_TRUE(jpeg.decoded());
  SkinSurface js;
  ASSERT_TRUE(makeSkinSurface(js, jpeg, window));
  EXPECT_TRUE(closeTo(GetPixel(js.hdc(), 5, 5), RGB(220, 20, 20)));
  EXPECT_TRUE(closeTo(GetPixel(js.hdc(), 60, 28), RGB(20, 20, 220)));
  DestroyWindow(window);
}

TEST(ImageLibrary, MissingFileStillGivesAnObjectAndABlankSurface) {
  SkinImage image = loadSkinPicture(L"no_such_picture.jpg");
  EXPECT_TRUE(image.created());
  EXPECT_FALSE(image.decoded());
  HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  SkinSurface surface;
  EXPECT_TRUE(makeSkinSurface(surface, image, window));
  EXPECT_EQ(GetPixel(surface.hdc(), 3, 3), RGB(0, 0, 0));
  DestroyWindow(window);
}

// ---- pictures decoded ahead on a thread of their own ----

TEST(PicturePreloader, GivesEveryPictureAsDecodedOnTheSpot) {
  std::wstring bmp = test::tempDir() + L"quadrants_ahead.bmp";
  test::writeBmp(bmp, 40, 20, quadrant);
  const std::wstring jpeg = dataFile(L"halves.jpg");
  const std::wstring missing = test::tempDir() + L"no_such_ahead.jpg";
  const std::wstring garbage = dataFile(L"garbage.jpg");
  // Named twice, a missing and an undecodable file among them.
  SkinPicturePreloader ahead({jpeg, bmp, missing, jpeg, garbage});
  struct Case {
    std::wstring path;
    bool decoded;
  };
  // Taken out of order, one taken twice, one never listed.
  const Case cases[] = {{bmp, true}, {jpeg, true}, {jpeg, true}, {missing, false}, {garbage, false},
                        {dataFile(L"halves.gif"), true}};
  for (const Case& c : cases) {
    PreparedPicture got = ahead.take(c.path);
    PreparedPicture direct = preparePicture(c.path);
    SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
    EXPECT_TRUE(got.image.created());
    EXPECT_EQ(got.image.decoded(), c.decoded);
    EXPECT_EQ(static_cast<bool>(got.bitmap), c.decoded);
    if (!c.decoded) continue;
    ASSERT_EQ(sizeOf(got.bitmap.get()).cx, sizeOf(direct.bitmap.get()).cx);
    ASSERT_EQ(sizeOf(got.bitmap.get()).cy, sizeOf(direct.bitmap.get()).cy);
    for (POINT p : {POINT{0, 0}, POINT{39, 0}, POINT{5, 5}, POINT{30, 15}})
      EXPECT_EQ(bitmapPixel(got.bitmap.get(), p.x, p.y), bitmapPixel(direct.bitmap.get(), p.x, p.y));
  }
}

TEST(PicturePreloader, LoadsAWindowsFilesAsTheyLoadOnTheSpot) {
  const std::wstring jpeg = dataFile(L"halves.jpg");
  const std::wstring missing = test::tempDir() + L"no_such_window_file.jpg";
  const std::wstring garbage = dataFile(L"garbage.jpg");
  SkinPicturePreloader ahead({jpeg}, {jpeg, missing, garbage});
  for (const std::wstring& path : {garbage, jpeg, missing}) {
    SCOPED_TRACE(std::string(path.begin(), path.end()));
    std::optional<LoadedPictureFile> got = ahead.takeFile(path);
    ASSERT_TRUE(got.has_value());
    UniqueBitmap direct;
    int code = tryLoadPictureFile(path, direct);
    EXPECT_EQ(got->code, code);
    EXPECT_EQ(static_cast<bool>(got->bitmap), code == 0);
    if (code != 0) continue;
    ASSERT_EQ(sizeOf(got->bitmap.get()).cx, sizeOf(direct.get()).cx);
    for (POINT p : {POINT{0, 0}, POINT{5, 5}, POINT{30, 15}})
      EXPECT_EQ(bitmapPixel(got->bitmap.get(), p.x, p.y), bitmapPixel(direct.get(), p.x, p.y));
  }
  EXPECT_FALSE(ahead.takeFile(jpeg).has_value()) << "a file is handed over once";
  EXPECT_FALSE(ahead.takeFile(dataFile(L"halves.gif")).has_value()) << "not one of the files";
  EXPECT_TRUE(ahead.take(jpeg).image.decoded()) << "the pictures come after the files";
}

TEST(PicturePreloader, EndsWithPicturesNotTaken) {
  std::vector<std::wstring> paths(12, dataFile(L"halves.jpg"));
  for (int i = 0; i < 12; ++i) {
    std::wstring bmp = test::tempDir() + L"ahead_" + std::to_wstring(i) + L".bmp";
    test::writeBmp(bmp, 400, 300, quadrant);
    paths.push_back(bmp);
  }
  // Destroyed while it may still be decoding: it stops and frees them.
  { SkinPicturePreloader ahead(paths); }
  SkinPicturePreloader ahead(paths);
  EXPECT_TRUE(ahead.take(paths.back()).image.decoded());
}

// ---- fatal problems, seen from a debugger ----

struct ProbeResult {
  DWORD exitCode = 0xFFFFFFFF;
  std::string debugText;
};

ProbeResult runProbe(const std::wstring& args) {
  ProbeResult result;
  std::wstring cmd = L"\"" + ExecutableFolder() + L"skin_fatal_probe.exe\" " + args;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &si,
                      &pi)) {
    ADD_FAILURE() << "cannot start the probe: " << GetLastError();
    return result;
  }
  for (;;) {
    DEBUG_EVENT ev{};
    if (!WaitForDebugEvent(&ev, 20000)) {
      ADD_FAILURE() << "the probe hangs";
      TerminateProcess(pi.hProcess, 1);
      break;
    }
    DWORD status = DBG_CONTINUE;
    switch (ev.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        if (ev.u.CreateProcessInfo.hFile) CloseHandle(ev.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (ev.u.LoadDll.hFile) CloseHandle(ev.u.LoadDll.hFile);
        break;
      case OUTPUT_DEBUG_STRING_EVENT: {
        const auto& s = ev.u.DebugString;
        size_t unit = s.fUnicode ? 2 : 1;
        std::string raw(s.nDebugStringLength * unit, '\0');
        SIZE_T got = 0;
        ReadProcessMemory(pi.hProcess, s.lpDebugStringData, raw.data(), raw.size(), &got);
        raw.resize(got);
        if (s.fUnicode) {
          std::string narrow;
          for (size_t i = 0; i + 1 < raw.size(); i += 2) narrow += raw[i];
          raw = narrow;
        }
        result.debugText += raw.c_str();
        break;
      }
      case EXCEPTION_DEBUG_EVENT:
        if (ev.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) status = DBG_EXCEPTION_NOT_HANDLED;
        break;
      default:
        break;
    }
    if (ev.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
      result.exitCode = ev.u.ExitProcess.dwExitCode;
      ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, DBG_CONTINUE);
      break;
    }
    ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return result;
}

TEST(FatalSkinProblems, EndTheProcessWithTheirOwnCodeAndSayWhy) {
  std::wstring dir = test::tempDir();
  // Without its trailing separator: a backslash before a quote escapes it.
  const std::wstring folder = dir.substr(0, dir.size() - 1);
  test::writeBmp(dir + L"fatal_bg.bmp", 40, 30, [](int, int) { return RGB(9, 9, 9); });
  test::writeIni(dir + L"no_main.ini", L"[SCREEN]\r\nMask=fatal_bg.bmp\r\n");
  test::writeIni(dir + L"bad_mask.ini", L"[SCREEN]\r\nMain=fatal_bg.bmp\r\nMask=missing_mask.bmp\r\n");
  test::writeIni(dir + L"good.ini", L"[SCREEN]\r\nMain=fatal_bg.bmp\r\n");
  struct Case {
    std::wstring args;
    DWORD code;
    const char* cause;
  };
  const Case cases[] = {
      {L"picture \"" + dir + L"missing.bmp\"", DWORD(kExitSkinPictureOpen), "cannot be opened"},
      {L"picture \"" + dataFile(L"garbage.jpg") + L"\"", DWORD(kExitSkinPictureDecode), "cannot be decoded"},
      {L"dialog \"" + dir + L"no_main.ini\" \"" + folder + L"\"", DWORD(kExitSkinPictureOpen), "cannot be opened"},
      {L"dialog \"" + dir + L"bad_mask.ini\" \"" + folder + L"\"", DWORD(kExitSkinPictureOpen), "missing_mask.bmp"},
      {L"dialog \"" + dir + L"good.ini\" \"" + folder + L"\"", 0, ""},
  };
  for (const Case& c : cases) {
    ProbeResult r = runProbe(c.args);
    EXPECT_EQ(r.exitCode, c.code) << r.debugText;
    if (c.code != 0) {
      EXPECT_NE(r.debugText.find("Korvalin: "), std::string::npos) << r.debugText;
      EXPECT_NE(r.debugText.find(c.cause), std::string::npos) << r.debugText;
    }
  }
}

}  // namespace
}  // namespace kv
