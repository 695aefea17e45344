// Profile files as a user meets them: export and import through the button
// menu and the common file dialogs, a file that is no profile file, and a
// message box of the import open while the keyboard reports a G-bank change.
// Checked on the files written, the keyboard's key tables and trace, and the
// window's buttons.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/e2e/korvalin_fixture_win32.h"

namespace kv::e2e {
namespace {

const wchar_t kImportFailedText[] = L"File format error, import failed! ";

// The keyboard's key table at hand.
class ProfileFiles : public KorvalinFixture {
 protected:
  std::string keyTable(Running& app) {
    std::string reply = app.sim("read keys");
    return reply.rfind("OK\n", 0) == 0 ? reply.substr(3) : "";
  }
};

// ---- export and import ----------------------------------------------------------------

TEST_F(ProfileFiles, ExportThenImportThroughTheFileDialogs) {
  Running& app = startShown();
  const int keyA = ids::main_dlg::KEY_01E.id;
  ASSERT_TRUE(assignKey(keyA, "b", L"B"));

  chooseFromButtonMenu(1);  // Export
  HWND save = fileDialog();
  ASSERT_NE(save, nullptr) << "no save dialog";
  shot("export_dialog");
  std::wstring exported = documentsFile(L"mine.kvp");
  ASSERT_TRUE(enterFileName(save, exported));
  ASSERT_TRUE(waitFor([&] { return GetFileAttributesW(exported.c_str()) != INVALID_FILE_ATTRIBUTES; }, 5000));
  std::string out;
  EXPECT_EQ(runBesideTests(L"korvalinctl.exe", L"file check \"" + exported + L"\"", &out), 0) << out;
  EXPECT_EQ(runBesideTests(L"korvalinctl.exe", L"file show \"" + exported + L"\"", &out), 0) << out;
  out.erase(std::remove(out.begin(), out.end(), ' '), out.end());
  EXPECT_NE(out.find("\"type\":\"SingleKey\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"target\":\"B\""), std::string::npos) << out;

  // A file that is no profile file: the import message, and nothing changes.
  std::wstring bad = documentsFile(L"bad.kvp");
  {
    std::ofstream f(std::filesystem::path(bad), std::ios::binary);
    f << "not a profile file";
  }
  std::string tableBefore = keyTable(app);
  std::wstring cache = documentsFile(L"Korvalin\\$Profile0");
  std::string cacheBefore = readFileText(cache);
  chooseFromButtonMenu(0);  // Import
  HWND open = fileDialog();
  ASSERT_NE(open, nullptr) << "no open dialog";
  ASSERT_TRUE(enterFileName(open, bad));
  HWND box = nullptr;
  ASSERT_TRUE(waitFor([&] {
    for (HWND h : topLevelWindows(app_->pid(), true))
      if (messageBoxText(h).find(L"File format error") != std::wstring::npos) return (box = h) != nullptr;
    return false;
  }, 5000));
  shot("import_rejected");
  // Every message of the rejection closed with its own button (Enter could
  // reach the main window once they are gone, whose default button applies).
  while (box) {
    clickCentre(GetDlgItem(box, IDOK) ? GetDlgItem(box, IDOK) : GetDlgItem(box, IDCANCEL));
    EXPECT_TRUE(waitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 3000));
    box = nullptr;
    waitFor([&] {
      for (HWND h : topLevelWindows(app_->pid(), true))
        if (h != main() && !messageBoxText(h).empty()) return (box = h) != nullptr;
      return false;
    }, 1000);
  }
  EXPECT_EQ(tooltip(keyA), L"AKeys, Set: Key(B)") << "the working configuration is unchanged";
  EXPECT_TRUE(mainApplyEnabled()) << "and still waits to be applied";
  EXPECT_TRUE(keyTable(app) == tableBefore) << "the keyboard's key tables changed";
  EXPECT_TRUE(readFileText(cache) == cacheBefore) << "the profile cache changed";

  // The exported file reaches all three profiles and the buttons show it.
  int recordA = recordOffsetOfUsage("04");
  EXPECT_EQ(app.sim("trace clear"), "OK\n");
  chooseFromButtonMenu(0);
  open = fileDialog();
  ASSERT_NE(open, nullptr);
  ASSERT_TRUE(enterFileName(open, exported));
  ASSERT_TRUE(answerEditsQuestion(IDNO)) << "no question about the edit that waits";  // Discard: the file holds it
  EXPECT_TRUE(waitFor([&] { return keyRecord(0, recordA) == "020205"; }, 8000));
  EXPECT_TRUE(waitFor([&] { return !tracedCommands(app.trace(), kCmdEndConfig).empty(); }, 5000));
  std::vector<int> written;
  for (auto [address, length] : tracedCommands(app.trace(), kCmdWriteKeyTable))
    written.push_back(address / static_cast<int>(kKeyTableSize));
  std::sort(written.begin(), written.end());
  written.erase(std::unique(written.begin(), written.end()), written.end());
  EXPECT_EQ(written, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(tooltip(keyA), L"AKeys, Set: Key(B)");
  EXPECT_FALSE(mainApplyEnabled());
  shot("import_done");
}

// An import replaces the working configuration: with an edit waiting it
// asks first (Apply / Discard / Cancel, Cancel the default). Cancel keeps
// the edit and writes nothing; Discard lets the file replace it.
TEST_F(ProfileFiles, ImportAsksAboutEditsThatWait) {
  startShown();
  const int keyA = ids::main_dlg::KEY_01E.id;
  int recordA = recordOffsetOfUsage("04");
  ASSERT_GE(recordA, 0);
  chooseFromButtonMenu(1);  // Export, of the keyboard as it is
  HWND save = fileDialog();
  ASSERT_NE(save, nullptr) << "no save dialog";
  std::wstring file = documentsFile(L"as_read.kvp");
  ASSERT_TRUE(enterFileName(save, file));
  ASSERT_TRUE(waitFor([&] { return GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES; }, 5000));
  ASSERT_TRUE(assignKey(keyA, "b", L"B"));
  ASSERT_TRUE(mainApplyEnabled());

  clearTrace();
  chooseFromButtonMenu(0);  // Import
  HWND open = fileDialog();
  ASSERT_NE(open, nullptr) << "no open dialog";
  ASSERT_TRUE(enterFileName(open, file));
  HWND question = editsQuestion();
  ASSERT_NE(question, nullptr) << "the import replaced the edit without asking";
  EXPECT_EQ(controlText(GetDlgItem(question, IDYES)), L"Apply");
  EXPECT_EQ(controlText(GetDlgItem(question, IDNO)), L"Discard");
  shot("import_edits_question");
  pressKey("Return");  // Cancel, the default
  EXPECT_TRUE(waitFor([&] { return !IsWindow(question) || !IsWindowVisible(question); }, 5000));
  EXPECT_TRUE(holdsFor([&] { return mainApplyEnabled(); }, 500)) << "the edit no longer waits";
  EXPECT_EQ(tooltip(keyA), L"AKeys, Set: Key(B)");
  EXPECT_TRUE(traced(kCmdEndConfig).empty()) << "Cancel wrote to the keyboard";
  EXPECT_EQ(keyRecord(0, recordA), "020204");

  chooseFromButtonMenu(0);
  open = fileDialog();
  ASSERT_NE(open, nullptr);
  ASSERT_TRUE(enterFileName(open, file));
  ASSERT_TRUE(answerEditsQuestion(IDNO));  // Discard: the file's configuration replaces the edit
  EXPECT_TRUE(waitFor([&] { return !traced(kCmdEndConfig).empty(); }, 10000)) << "the import wrote nothing";
  EXPECT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 5000));
  EXPECT_NE(tooltip(keyA), L"AKeys, Set: Key(B)");
  EXPECT_EQ(keyRecord(0, recordA), "020204");
  shot("import_after_discard");
}

// ---- a message box while the keyboard talks -------------------------------------------------------

// A profile file whose header is valid but claims a macro the file does not
// hold: the check passes and the load refuses it, so an import shows the
// format error and then the import message.
void writeShortProfileFile(const std::wstring& path) {
  std::vector<uint8_t> bytes(32832, 0);
  const uint8_t header[] = {0x46, 0x44, 0x20, 0x00, 0x03, 0x00, 0x01, 0x00, 0xC0, 0xC0, 0x00, 0x00,
                            0x00, 0x08, 0x01, 0x00};  // file size 32832 + 16512, 2048 entries, 1 macro
  std::copy(std::begin(header), std::end(header), bytes.begin());
  unsigned sum = 0;
  for (int i = 0; i < 31; ++i) sum += bytes[i];
  bytes[31] = static_cast<uint8_t>(sum);
  std::ofstream(std::filesystem::path(path), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// The import's messages come while a G-bank toggle arrives from the
// keyboard. The window's G-bank refresh takes the working configuration's
// lock; were the message box shown under that lock, its message loop would
// run the refresh on the same thread and the program would hang for good.
TEST_F(ProfileFiles, GBankEventWhileAnImportMessageIsOpen) {
  Running& app = start();
  ASSERT_TRUE(waitFor([&] { return mainVisible(); })) << "the window did not show";
  ASSERT_TRUE(waitTrayIcon(IDI_KEYBOARD));
  std::wstring file = install_.documentsFolder() + L"\\short.kvp";
  writeShortProfileFile(file);

  // Import, as the button menu's entry sends it; the open-file dialog gets
  // the path typed on the keyboard.
  PostMessageW(main(), WM_COMMAND, IDM_IMPORT, 0);
  HWND open = nullptr;
  ASSERT_TRUE(waitFor([&] { return (open = findVisible(L"#32770", L"Open")) != nullptr; }, 10000))
      << "no open-file dialog";
  // The file name box: the one edit among the dialog's descendants.
  HWND name = nullptr;
  ASSERT_TRUE(waitFor([&] {
    name = nullptr;
    EnumChildWindows(open, [](HWND h, LPARAM found) {
      if (describe(h).className == L"Edit" && IsWindowVisible(h)) *reinterpret_cast<HWND*>(found) = h;
      return TRUE;
    }, reinterpret_cast<LPARAM>(&name));
    return name && waitClickable(name, 200);
  }, 5000)) << "no file name box";
  POINT at = centreOf(name);
  click(at.x, at.y);
  pressKey("ctrl+a");
  typeText(file);
  pressKey("Return");

  HWND box = waitMessageBox(10000);
  ASSERT_NE(box, nullptr) << "no format-error message";
  EXPECT_NE(messageBoxText(box).find(L"short.kvp"), std::wstring::npos) << "the format error names the file";
  EXPECT_EQ(app.sim("trace clear"), "OK\n");
  EXPECT_EQ(app.sim("event 02FF"), "OK\n");
  // The bank report goes out from the keyboard's thread; the labels of bank B
  // need the window's own thread, which is inside the message box's loop.
  EXPECT_TRUE(waitFor([&] {
    auto t = app.trace();
    return std::any_of(t.begin(), t.end(), [](const std::string& l) { return l.rfind("LED ", 0) == 0; });
  }, 5000)) << "no bank report";
  HWND g1 = GetDlgItem(main(), IDC_MAIN_FUNC_G1);
  EXPECT_TRUE(waitFor([&] { return describe(g1).text == L"B1"; }, 5000)) << "G1 reads " << describe(g1).text.size();
  shot("gbank_during_message");

  // The box still answers a real click, and the import message follows.
  auto clickOk = [&](HWND b) {
    HWND ok = GetDlgItem(b, IDOK);
    ASSERT_NE(ok, nullptr);
    ASSERT_TRUE(waitClickable(ok));
    POINT c = centreOf(ok);
    click(c.x, c.y);
    EXPECT_TRUE(waitFor([&] { return !IsWindow(b); }, 5000)) << "the message box does not close";
  };
  clickOk(box);
  HWND second = waitMessageBox(5000);
  ASSERT_NE(second, nullptr) << "no import message";
  EXPECT_EQ(messageBoxText(second), kImportFailedText);
  clickOk(second);

  // And the window answers messages again.
  DWORD_PTR answer = 0;
  EXPECT_NE(SendMessageTimeoutW(main(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer), 0) << "the window hangs";
  EXPECT_EQ(app.sim("event 02FF"), "OK\n");
  EXPECT_TRUE(waitFor([&] { return describe(g1).text == L"A1"; }, 5000));
  EXPECT_TRUE(app.alive());
}

}  // namespace
}  // namespace kv::e2e
