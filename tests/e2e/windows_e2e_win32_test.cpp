// What Windows does that a quiet desktop hides: the editor's key hooks while
// another program is in front, under a message box and while the window is
// busy reading the keyboard; two starts at once.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/text_table.h"
#include "base/wide_win32.h"
#include "resources/control_ids.h"
#include "tests/e2e/harness_win32.h"
#include "tests/e2e/installation_win32.h"
#include "tests/e2e/registry_override_win32.h"
#include "tests/e2e/running_win32.h"

namespace kv::e2e {
namespace {

std::string utf8(const std::wstring& s) { return toUtf8(u16(s)); }

const wchar_t kPress[] = L"\x2193", kRelease[] = L"  \x2191";

// Another program: the Wine prefix's Notepad, moved clear of Korvalin's
// windows. Not left to a window manager (there is none on the virtual
// display), so that activating it gives it the X keyboard focus.
class OtherProgram {
 public:
  OtherProgram() {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring cmd = L"notepad.exe";
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    waitFor([&] { return (window_ = findTopLevel(pi.dwProcessId, L"Notepad")) != nullptr; }, 10000);
    if (!window_) return;
    edit_ = FindWindowExW(window_, nullptr, L"Edit", nullptr);
    (void)SetWindowPos(window_, nullptr, 1100, 640, 480, 300, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ~OtherProgram() {
    if (!process_) return;
    (void)TerminateProcess(process_, 0);
    (void)WaitForSingleObject(process_, 5000);
    CloseHandle(process_);
  }
  OtherProgram(const OtherProgram&) = delete;
  OtherProgram& operator=(const OtherProgram&) = delete;

  HWND window() const { return window_; }
  HWND edit() const { return edit_; }

 private:
  RegistryOverride unmanaged_{L"Software\\Wine\\AppDefaults\\notepad.exe\\X11 Driver", L"Managed", L"N"};
  HANDLE process_ = nullptr;
  HWND window_ = nullptr;
  HWND edit_ = nullptr;
};

// A key's press or release through the system's input queue. Wine reads a
// window's X input only when the thread owning that window pumps messages,
// so xdotool's keys would wait for a busy window; these reach the low-level
// hook at once, as every key does on Windows.
void sendKey(WORD vk, WORD scan, bool release) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = scan;
  in.ki.dwFlags = release ? KEYEVENTF_KEYUP : 0;
  (void)SendInput(1, &in, sizeof in);
}

// Korvalin.exe processes running now.
int korvalinProcesses() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return -1;
  int n = 0;
  PROCESSENTRY32W pe{};
  pe.dwSize = sizeof pe;
  for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe))
    if (lstrcmpiW(pe.szExeFile, L"Korvalin.exe") == 0) ++n;
  CloseHandle(snap);
  return n;
}

class WindowsE2e : public ::testing::Test {
 protected:
  void SetUp() override { keepTrayUncovered(); }

  Running& start() {
    app_ = std::make_unique<Running>(install_.start());
    EXPECT_TRUE(app_->started());
    app_->waitMainWindow();
    EXPECT_TRUE(waitFor([&] { return app_->mainVisible(); })) << "the window did not show";
    EXPECT_TRUE(waitClickable(mainItem(ids::main_dlg::KEY_01E.id)));
    return *app_;
  }
  HWND main() const { return app_->mainWindow(); }
  HWND mainItem(int id) const { return GetDlgItem(main(), id); }
  HWND editor() const {
    for (HWND h : topLevelWindows(app_->pid(), true))
      if (h != main() && describe(h).className == L"#32770" && GetDlgItem(h, IDC_COMPOSITE_CONTROL_KEY)) return h;
    return nullptr;
  }
  HWND e(int id) const { return GetDlgItem(editor(), id); }
  void clickE(int id) {
    ASSERT_TRUE(waitClickable(e(id))) << id;
    clickCentre(e(id));
  }
  HWND openEditor(int keyControlId) {
    clickCentre(mainItem(keyControlId));
    if (!waitFor([&] { return editor() != nullptr; }, 5000)) return nullptr;
    waitClickable(editor());
    waitFor([&] { return GetForegroundWindow() == editor(); }, 3000);
    return editor();
  }
  // The macro page with one new macro selected.
  bool openMacroPageWithAMacro(int keyControlId) {
    if (!openEditor(keyControlId)) return false;
    clickCentre(e(IDC_COMPOSITE_CONTROL_MACRO));
    if (!waitFor([&] { return IsWindowVisible(e(IDC_COMPOSITE_FUNC_MACRO_LIST2)) != FALSE; }, 3000)) return false;
    clickCentre(e(IDC_COMPOSITE_FUNC_MACRO_ADD));
    return waitFor([&] { return IsWindowEnabled(e(IDC_COMPOSITE_FUNC_MACRO_RECORD)) != FALSE; }, 3000);
  }
  bool startRecording() {
    clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD);
    return waitFor([&] { return controlText(e(IDC_COMPOSITE_FUNC_MACRO_RECORD)) == L"Stop Record"; }, 3000);
  }
  HWND messageBox(DWORD timeoutMs = 5000) {
    HWND box = nullptr;
    waitFor(
        [&] {
          for (HWND h : topLevelWindows(app_->pid(), true))
            if (h != main() && h != editor() && describe(h).className == L"#32770" && !messageBoxText(h).empty())
              return (box = h) != nullptr;
          return false;
        },
        timeoutMs);
    return box;
  }
  int rowCount() const { return static_cast<int>(SendMessageW(e(IDC_COMPOSITE_FUNC_MACRO_LIST2), LVM_GETITEMCOUNT, 0, 0)); }
  std::wstring cell(int row, int column) const {
    return listItemText(app_->process(), e(IDC_COMPOSITE_FUNC_MACRO_LIST2), row, column);
  }
  std::wstring rowText(int row) const { return cell(row, 0) + L"|" + cell(row, 1) + L"|" + cell(row, 2); }
  std::wstring rows() const {
    std::wstring all;
    for (int r = 0; r < rowCount(); ++r) all += rowText(r) + L";";
    return all;
  }
  // The user-interface thread answers within 50 ms.
  bool mainAnswers() const {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(main(), WM_NULL, 0, 0, SMTO_NORMAL, 50, &result) != 0;
  }
  void shot(const std::string& name) { EXPECT_FALSE(screenshot(name).empty()) << "screenshot " << name; }

  Installation install_;
  std::unique_ptr<Running> app_;
};

// The single-key page's hooks see the whole session's keys: with another
// program in front, the Win key and the letters typed there are its own (the
// Win key is not captured, the letters reach its edit field); back in the
// editor they are captured again.
TEST_F(WindowsE2e, CaptureActsOnlyWhileTheEditorIsInFront) {
  start();
  ASSERT_NE(openEditor(ids::main_dlg::KEY_01E.id), nullptr);
  HWND field = e(IDC_COMPOSITE_FUNC_KEY_INPUT);
  pressKey("x");
  ASSERT_TRUE(waitFor([&] { return controlText(field) == L"X"; }, 3000)) << utf8(controlText(field));

  OtherProgram other;
  ASSERT_NE(other.edit(), nullptr);
  ASSERT_TRUE(waitClickable(other.edit()));
  clickCentre(other.edit());
  ASSERT_TRUE(waitFor([&] { return GetForegroundWindow() == other.window(); }, 3000));
  pressKey("Super_L");
  typeText(L"qz");
  EXPECT_TRUE(waitFor([&] { return controlText(other.edit()) == L"qz"; }, 3000))
      << "the other program got: " << utf8(controlText(other.edit()));
  EXPECT_TRUE(holdsFor([&] { return controlText(field) == L"X"; }, 300)) << "captured: " << utf8(controlText(field));
  shot("hooks_other_program_in_front");

  // Back in the editor: the hooks are in again.
  clickCentre(field);
  ASSERT_TRUE(waitFor([&] { return GetForegroundWindow() == editor(); }, 3000));
  pressKey("Super_L");
  EXPECT_TRUE(waitFor([&] { return controlText(field) == L"Win"; }, 3000)) << utf8(controlText(field));
  pressKey("k");
  EXPECT_TRUE(waitFor([&] { return controlText(field) == L"K"; }, 3000)) << utf8(controlText(field));
  shot("hooks_editor_in_front_again");
}

// Installed, the simulated keyboard's folder is under Program Files, which
// the program cannot write: its memory goes to the user's local data folder.
TEST_F(WindowsE2e, SimulatedKeyboardKeepsItsMemoryInLocalAppData) {
  Running& app = start();
  ASSERT_EQ(app.sim("save"), "OK\n");
  EXPECT_NE(GetFileAttributesW((install_.localAppDataFolder() + L"\\Korvalin\\Tessaro.state").c_str()),
            INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(install_.exists(L"Tessaro.state")) << "written beside the library";
}

// While recording, a message box (the Clear question) is answered with the
// keyboard: its keys are not recorded, and recording goes on after it.
TEST_F(WindowsE2e, RecordingPausesUnderAMessageBox) {
  start();
  ASSERT_TRUE(openMacroPageWithAMacro(ids::main_dlg::KEY_021.id));
  ASSERT_TRUE(startRecording());
  pressKey("a");
  ASSERT_TRUE(waitFor([&] { return rowCount() == 2; }, 3000)) << rowCount();

  clickE(IDC_COMPOSITE_FUNC_MACRO_CLEAR);
  HWND box = messageBox();
  ASSERT_NE(box, nullptr) << "no Clear question";
  ASSERT_TRUE(waitFor([&] { return GetForegroundWindow() == box; }, 3000));
  shot("hooks_clear_question_while_recording");
  pressKey("Return");  // No is the default
  EXPECT_TRUE(waitFor([&] { return !IsWindow(box); }, 3000)) << "Return did not answer the box";
  EXPECT_EQ(rowCount(), 2) << utf8(rows());

  ASSERT_TRUE(waitFor([&] { return GetForegroundWindow() == editor(); }, 3000));
  pressKey("b");
  EXPECT_TRUE(waitFor([&] { return rowCount() == 4; }, 3000)) << utf8(rows());
  EXPECT_EQ(cell(2, 0), L"B") << utf8(rows());

  // Yes by its key clears.
  clickE(IDC_COMPOSITE_FUNC_MACRO_CLEAR);
  box = messageBox();
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(waitFor([&] { return GetForegroundWindow() == box; }, 3000));
  pressKey("y");
  EXPECT_TRUE(waitFor([&] { return !IsWindow(box); }, 3000)) << "Y did not answer the box";
  EXPECT_TRUE(waitFor([&] { return rowCount() == 0; }, 3000)) << utf8(rows());
  EXPECT_EQ(controlText(e(IDC_COMPOSITE_FUNC_MACRO_RECORD)), L"Stop Record") << "recording stopped";
}

// The keyboard's lighting change makes the window read the keyboard's
// lighting on its user-interface thread (a profile change waits for the
// editor to close); keys recorded meanwhile keep their rows and the time
// they were held.
TEST_F(WindowsE2e, RecorderKeepsRowsAndDelaysWhileTheWindowReadsTheKeyboard) {
  RegistryOverride delays{L"Software\\Korvalin_Nalvori\\Korvalin\\PROFILES", L"RecordDelay", L"1"};
  Running& app = start();
  ASSERT_TRUE(openMacroPageWithAMacro(ids::main_dlg::KEY_021.id));
  ASSERT_EQ(SendMessageW(e(IDC_COMPOSITE_FUNC_MACRO_RECORD_DELAY), BM_GETCHECK, 0, 0), BST_CHECKED);
  ASSERT_TRUE(startRecording());

  // A slow keyboard: every report takes 40 ms to answer.
  ASSERT_EQ(app.sim("roundtrip 40000"), "OK\n");
  ASSERT_EQ(app.sim("event 0401 0"), "OK\n");
  ASSERT_TRUE(waitFor([&] { return !mainAnswers(); }, 3000, 5)) << "the window never got busy reading";
  sendKey('A', 0x1E, false);
  Sleep(400);
  sendKey('A', 0x1E, true);
  sendKey('S', 0x1F, false);
  Sleep(250);
  sendKey('S', 0x1F, true);
  bool stillBusy = !mainAnswers();
  EXPECT_TRUE(waitFor([&] { return mainAnswers(); }, 60000)) << "the reload did not end";
  ASSERT_EQ(app.sim("roundtrip 2000"), "OK\n");
  EXPECT_TRUE(waitFor([&] { return rowCount() == 4; }, 5000)) << utf8(rows());
  std::printf("[ figure ] rows recorded while the window read the keyboard%s: %s\n",
              stillBusy ? " (still reading after the keys)" : "", utf8(rows()).c_str());
  ASSERT_EQ(rowCount(), 4) << utf8(rows());
  EXPECT_EQ(cell(0, 0), L"A");
  EXPECT_EQ(cell(0, 1), kPress);
  EXPECT_EQ(cell(1, 0), L"A");
  EXPECT_EQ(cell(1, 1), kRelease);
  EXPECT_EQ(cell(2, 0), L"S");
  EXPECT_EQ(cell(3, 0), L"S");
  // A press row carries the time the key was held: never less than the wait
  // between press and release, as it was when the rows were timed on
  // arrival after the reload.
  EXPECT_GE(std::stoi(cell(0, 2)), 390) << utf8(rows());
  EXPECT_GE(std::stoi(cell(2, 2)), 240) << utf8(rows());
  shot("hooks_recorded_while_reading");
}

// The profile cache held open, unshared, by another program while Apply
// saves it: released within the retries, the save goes through; held on,
// the user is told once and the window goes on with the keyboard's settings.
TEST_F(WindowsE2e, ApplyWhileAnotherProgramHoldsTheProfileFile) {
  Running& app = start();
  std::wstring cache = install_.documentsFolder() + L"\\Korvalin\\$Profile0";
  ASSERT_TRUE(waitFor([&] { return GetFileAttributesW(cache.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000));
  HWND apply = mainItem(ids::main_dlg::CONTROL2_APPLY.id);
  auto assignKeyA = [&](const char* keysym) {
    if (!openEditor(ids::main_dlg::KEY_01E.id)) return false;
    pressKey(keysym);
    Sleep(300);
    clickE(IDC_COMPOSITE_CONTROL_OK);
    return waitFor([&] { return editor() == nullptr && IsWindowEnabled(apply); }, 5000);
  };
  auto hold = [&] {
    return CreateFileW(cache.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  auto fileBytes = [&] {
    std::ifstream in(std::filesystem::path(cache), std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };

  // Released after 200 ms: within the retries.
  ASSERT_TRUE(assignKeyA("b"));
  auto before = fileBytes();
  HANDLE held = hold();
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  clickCentre(apply);
  Sleep(200);
  CloseHandle(held);
  EXPECT_TRUE(waitFor([&] { return !IsWindowEnabled(apply); }, 8000)) << "Apply failed";
  EXPECT_NE(fileBytes(), before) << "the cache was not saved";
  EXPECT_EQ(messageBox(500), nullptr) << "a message for a file released in time";

  // Held on: one clear message, and the keyboard still written.
  ASSERT_TRUE(assignKeyA("c"));
  before = fileBytes();
  held = hold();
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  app.sim("trace clear");
  clickCentre(apply);
  HWND box = messageBox(8000);
  ASSERT_NE(box, nullptr) << "no message for the held file";
  EXPECT_NE(messageBoxText(box).find(L"cannot be saved"), std::wstring::npos) << utf8(messageBoxText(box));
  shot("profile_file_held_by_another_program");
  clickCentre(GetDlgItem(box, IDOK));
  EXPECT_TRUE(waitFor([&] { return !IsWindow(box); }, 3000));
  CloseHandle(held);
  EXPECT_TRUE(waitFor([&] { return !IsWindowEnabled(apply); }, 8000)) << "Apply stayed enabled";
  EXPECT_FALSE(tracedCommands(app.trace(), 0x08).empty()) << "the keyboard was not written";
  EXPECT_EQ(fileBytes(), before);
}

// Two starts at once: one runs, the other hands over and ends.
TEST_F(WindowsE2e, StartsInQuickSuccessionLeaveOneProcess) {
  std::vector<std::unique_ptr<Running>> starts;
  for (int i = 0; i < 3; ++i) starts.push_back(std::make_unique<Running>(install_.start()));
  for (auto& s : starts) ASSERT_TRUE(s->started());
  int ended = 0;
  EXPECT_TRUE(waitFor(
      [&] {
        ended = 0;
        for (auto& s : starts) ended += s->alive() ? 0 : 1;
        return ended == 2;
      },
      20000))
      << ended << " of 3 ended";
  EXPECT_TRUE(holdsFor([&] { return korvalinProcesses() == 1; }, 1500)) << korvalinProcesses() << " running";
  for (auto& s : starts) {
    if (!s->alive()) {
      EXPECT_EQ(s->waitExit(1000), 0u);
    }
  }
  shot("two_quick_starts");
}

}  // namespace
}  // namespace kv::e2e
