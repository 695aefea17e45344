#include "tests/e2e/korvalin_fixture_win32.h"

#include <cstdio>

#include "base/text_table.h"
#include "base/wide_win32.h"

namespace kv::e2e {

std::string utf8(const std::wstring& s) { return toUtf8(u16(s)); }

std::string readFileText(const std::wstring& path) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return "";
  std::string text(64 * 1024, '\0');
  DWORD got = 0;
  if (!ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr)) return "";
  text.resize(got);
  return text;
}

bool writeFileText(const std::wstring& path, const std::string& text) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

// ---- the installation and the program -------------------------------------------------

// A window left over the tray by an earlier scenario must not hide its icon.
void KorvalinFixture::SetUp() { keepTrayUncovered(); }

Running& KorvalinFixture::start(const std::wstring& arguments) {
  app_ = std::make_unique<Running>(install_.start(arguments));
  EXPECT_TRUE(app_->started());
  app_->waitMainWindow();
  return *app_;
}

Running& KorvalinFixture::startShown() {
  Running& app = start();
  expectShown();
  return app;
}

Running& KorvalinFixture::startLoaded() {
  Running& app = start();
  EXPECT_TRUE(waitEffectList());
  expectShown();
  return app;
}

Running& KorvalinFixture::startSettled() {
  Running& app = startLoaded();
  waitClickable(main());
  return app;
}

void KorvalinFixture::chooseFromButtonMenu(int entry) {
  HWND menuButton = mainItem(ids::main_dlg::CONTROL_MENU.id);
  ASSERT_TRUE(waitClickable(menuButton));
  clickCentre(menuButton);
  HWND menu = nullptr;
  ASSERT_TRUE(waitFor([&] { return (menu = findVisible(L"#32768")) != nullptr; }, 5000));
  ASSERT_TRUE(waitClickable(menu));
  // Up from no selection takes the last item.
  for (int i = entry; i < 4; ++i) pressKey("Up");
  pressKey("Return");
}

void KorvalinFixture::expectShown() {
  EXPECT_TRUE(waitFor([&] { return mainVisible(); })) << "the window did not show";
  EXPECT_TRUE(waitClickable(mainItem(ids::main_dlg::KEY_01E.id)));
}

std::unique_ptr<Running> KorvalinFixture::startAnother(const std::wstring& arguments) {
  auto other = std::make_unique<Running>(install_.start(arguments));
  EXPECT_TRUE(other->started());
  return other;
}

void KorvalinFixture::withoutKeyboard() { install_.setEnv(L"KORVALIN_SIM_ATTACHED", L"0"); }

void KorvalinFixture::activeProfile(int profile) {
  install_.setEnv(L"KORVALIN_SIM_PROFILE", std::to_wstring(profile));
}

void KorvalinFixture::panelStartsOpen() {
  CreateDirectoryW(documentsFile(L"Korvalin").c_str(), nullptr);
  const std::wstring settings = documentsFile(L"Korvalin\\wskb.ini");
  ASSERT_TRUE(WritePrivateProfileStringW(L"KEYCOLOR", L"DengCheck", L"1", settings.c_str()));
}

bool KorvalinFixture::waitEffectList() {
  return waitFor([&] {
    return SendMessageW(mainItem(ids::main_dlg::CONTROL_XGcombox.id), CB_GETCOUNT, 0, 0) == kSimEffectCount;
  });
}

std::wstring KorvalinFixture::documentsFile(const std::wstring& name) const {
  return install_.documentsFolder() + L"\\" + name;
}

void KorvalinFixture::standInBrowser(const std::wstring& log) {
  std::wstring script = install_.path(L"browser.sh");
  ASSERT_TRUE(writeFileText(script, "#!/bin/sh\necho \"$@\" >> '" + utf8(unixPath(log)) + "'\n"));
  ASSERT_EQ(runUnix(L"chmod +x '" + unixPath(script) + L"'"), 0);
  browsers_ = std::make_unique<RegistryOverride>(L"Software\\Wine\\WineBrowser", L"Browsers", unixPath(script));
}

// ---- windows ---------------------------------------------------------------------------

HWND KorvalinFixture::findVisible(const wchar_t* className, const wchar_t* title) const {
  for (HWND h : topLevelWindows(app_->pid(), true)) {
    WindowInfo info = describe(h);
    if (info.className == className && (!title || info.text == title)) return h;
  }
  return nullptr;
}

HWND KorvalinFixture::dialogWith(int controlId) const {
  for (HWND h : topLevelWindows(app_->pid(), true))
    if (h != main() && describe(h).className == L"#32770" && GetDlgItem(h, controlId)) return h;
  return nullptr;
}

HWND KorvalinFixture::editor() const { return dialogWith(IDC_COMPOSITE_CONTROL_KEY); }

HWND KorvalinFixture::waitMessageBox(DWORD timeoutMs) const {
  HWND box = nullptr;
  waitFor([&] {
    for (HWND h : topLevelWindows(app_->pid(), true))
      if (h != main() && h != editor() && describe(h).className == L"#32770" && !messageBoxText(h).empty())
        return (box = h) != nullptr;
    return false;
  }, timeoutMs);
  return box;
}

HWND KorvalinFixture::editsQuestion(DWORD timeoutMs) const {
  HWND box = nullptr;
  waitFor([&] {
    for (HWND h : topLevelWindows(app_->pid(), true))
      if (h != main() && describe(h).className == L"#32770" && GetDlgItem(h, IDYES) && GetDlgItem(h, IDNO) &&
          GetDlgItem(h, IDCANCEL))
        return (box = h) != nullptr;
    return false;
  }, timeoutMs);
  return box;
}

bool KorvalinFixture::answerEditsQuestion(int button, DWORD timeoutMs) {
  HWND box = editsQuestion(timeoutMs);
  if (!box || !waitClickable(GetDlgItem(box, button))) return false;
  clickCentre(GetDlgItem(box, button));
  return waitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000);
}

void KorvalinFixture::clickControl(HWND control) {
  ASSERT_TRUE(waitClickable(control));
  clickCentre(control);
}

int KorvalinFixture::trayIcon() {
  keepTrayUncovered();
  return trayIconId(install_.exePath());
}

bool KorvalinFixture::waitTrayIcon(int id, DWORD timeoutMs) {
  return waitFor([&] { return trayIcon() == id; }, timeoutMs, 50);
}

// ---- the composite editor --------------------------------------------------------------

HWND KorvalinFixture::openEditor(int controlId, const char* label) {
  HWND button = mainItem(controlId);
  if (!button) return nullptr;
  if (!waitClickable(button)) ADD_FAILURE() << "key button " << controlId << " cannot be clicked";
  // xdotool runs as a separate process: the click happens somewhere between
  // starting it and its end, so both bounds are printed.
  ULONGLONG started = GetTickCount64();
  clickCentre(button);
  ULONGLONG clicked = GetTickCount64();
  HWND e = nullptr;
  waitFor([&] { return (e = editor()) != nullptr; }, 5000, 2);
  if (e) {
    ULONGLONG shown = GetTickCount64();
    if (label)
      std::printf("[ figure ] editor open (%s): %llu ms after the click ended, %llu ms after it started\n", label,
                  shown - clicked, shown - started);
    waitClickable(e);
  }
  return e;
}

bool KorvalinFixture::waitEditorClosed() const {
  return waitFor([&] { return editor() == nullptr; }, 5000);
}

bool KorvalinFixture::assignKey(int controlId, const char* keysym, const wchar_t* keyName) {
  HWND e = openEditor(controlId, "first");
  if (!e) return false;
  pressKey(keysym);
  if (!waitFor([&] { return controlText(GetDlgItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)) == keyName; }, 3000))
    return false;
  clickCentre(GetDlgItem(e, IDC_COMPOSITE_CONTROL_OK));
  return waitEditorClosed();
}

// ---- the simulated keyboard ------------------------------------------------------------

int KorvalinFixture::recordOffsetOfUsage(const std::string& usageHex) const {
  std::string reply = app_->sim("read default 0 " + std::to_string(kKeyTableSize));
  if (reply.rfind("OK\n", 0) != 0) return -1;
  std::string hex = reply.substr(3, kKeyTableSize * 2);
  for (size_t i = 0; i + 6 <= hex.size(); i += 6)
    if (hex.compare(i, 6, "0202" + usageHex) == 0) return static_cast<int>(i / 6) * 3;
  return -1;
}

std::string KorvalinFixture::keyRecord(int profile, int offset) const {
  std::string reply =
      app_->sim("read keys " + std::to_string(profile * static_cast<int>(kKeyTableSize) + offset) + " 3");
  return reply.rfind("OK\n", 0) == 0 ? reply.substr(3, 6) : "";
}

std::string KorvalinFixture::keyRecordOf(const std::string& usageHex) const {
  int offset = recordOffsetOfUsage(usageHex);
  return offset < 0 ? "" : keyRecord(0, offset);
}

}  // namespace kv::e2e
