// The composite editor's macro page as a user meets it: recording with real
// key presses, editing cells, cycles, deleting and adding macros, assigning a
// macro to a key, and the keyboard's macro memory after the main Apply,
// checked against the portable image builder; the memory gauge's three looks.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <span>
#include <string>

#include "base/text_table.h"
#include "base/wide_win32.h"
#include "macro/macro_image.h"
#include "model/key_info.h"
#include "tests/e2e/korvalin_fixture_win32.h"

namespace kv::e2e {
namespace {

std::string hexOf(std::span<const uint8_t> bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

// The fixture with the editor's macro page at hand.
class MacroPage : public KorvalinFixture {
 protected:
  // Every scenario starts with record delays off, whatever an earlier one
  // left in the user's profile section.
  RegistryOverride recordDelay_{kProfilesKey, L"RecordDelay", L"0"};

  HWND e(int id) const { return GetDlgItem(editor(), id); }
  void clickE(int id) {
    ASSERT_TRUE(waitClickable(e(id))) << id;
    clickCentre(e(id));
  }
  // Opens the key's editor on its macro page.
  HWND openMacroPage(int keyControlId) {
    if (!openEditor(keyControlId)) return nullptr;
    clickCentre(e(IDC_COMPOSITE_CONTROL_MACRO));
    if (!waitFor([&] { return IsWindowVisible(e(IDC_COMPOSITE_FUNC_MACRO_LIST2)) != FALSE; }, 3000)) return nullptr;
    return editor();
  }
  bool closeWith(int buttonId) {
    clickCentre(e(buttonId));
    return waitEditorClosed();
  }
  bool answer(HWND box, int button) {
    clickCentre(GetDlgItem(box, button));
    return waitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 3000);
  }
  int rowCount() const { return static_cast<int>(SendMessageW(e(IDC_COMPOSITE_FUNC_MACRO_LIST2), LVM_GETITEMCOUNT, 0, 0)); }
  int macroCount() const { return static_cast<int>(SendMessageW(e(IDC_COMPOSITE_FUNC_MACRO_LIST), CB_GETCOUNT, 0, 0)); }
  int selectedMacro() const { return static_cast<int>(SendMessageW(e(IDC_COMPOSITE_FUNC_MACRO_LIST), CB_GETCURSEL, 0, 0)); }
  std::wstring cell(int row, int column) const {
    return listItemText(app_->process(), e(IDC_COMPOSITE_FUNC_MACRO_LIST2), row, column);
  }
  std::wstring rowText(int row) const { return cell(row, 0) + L"|" + cell(row, 1) + L"|" + cell(row, 2); }
  // Screen point of a cell of the action list (columns 50, 50 and 60 wide).
  POINT cellPoint(int row, int column) const {
    RECT r = listItemRect(app_->process(), e(IDC_COMPOSITE_FUNC_MACRO_LIST2), row, LVIR_BOUNDS);
    const int left[] = {0, 50, 100}, width[] = {50, 50, 60};
    return {r.left + left[column] + width[column] / 2, (r.top + r.bottom) / 2};
  }
  void doubleClickCell(int row, int column) {
    POINT p = cellPoint(row, column);
    doubleClick(p.x, p.y);
  }
  bool mainApply() {
    if (!waitClickable(mainItem(ids::main_dlg::CONTROL2_APPLY.id))) return false;
    clickCentre(mainItem(ids::main_dlg::CONTROL2_APPLY.id));
    return waitFor([&] { return !mainApplyEnabled(); }, 8000);
  }
  std::vector<uint8_t> macroMemory(size_t bytes) { return bytesOf(app_->sim("read macro 0 " + std::to_string(bytes))); }
  // Presses and releases a key while recording; returns the time from the
  // end of each xdotool call to the row appearing (an upper bound of the
  // hook's time: it includes the X server and Wine's input path).
  double recordKey(const char* keysym, DWORD holdMs = 0) {
    int before = rowCount();
    ULONGLONG t0 = GetTickCount64();
    keyDown(keysym);
    ULONGLONG t1 = GetTickCount64();
    waitFor([&] { return rowCount() > before; }, 3000, 1);
    ULONGLONG t2 = GetTickCount64();
    if (holdMs) Sleep(holdMs);
    keyUp(keysym);
    (void)t0;
    pressLatencyMs_ += static_cast<double>(t2 - t1);
    ++pressesTimed_;
    return static_cast<double>(t2 - t1);
  }
  double pressLatencyMs_ = 0;
  int pressesTimed_ = 0;
  bool gaugeShows(COLORREF expected) const {
    HWND g = e(IDC_COMPOSITE_FUNC_MACRO_GAUGE);
    if (!IsWindowVisible(g)) return false;
    RECT r{};
    GetWindowRect(g, &r);
    COLORREF c = pixelAt(r.left + 2, (r.top + r.bottom) / 2);
    auto close = [](int a, int b) { return a - b < 12 && b - a < 12; };
    return close(GetRValue(c), GetRValue(expected)) && close(GetGValue(c), GetGValue(expected)) &&
           close(GetBValue(c), GetBValue(expected));
  }
};

const COLORREF kGaugeFits = RGB(56, 168, 80), kGaugeNamesDropped = RGB(232, 160, 32), kGaugeTooLong = RGB(208, 48, 48);
const wchar_t kPress[] = L"\x2193", kRelease[] = L"  \x2191";

TEST_F(MacroPage, RecordPressAndReleaseAssignToFAndTheKeyboardHoldsTheImage) {
  Running& app = startShown();
  HWND ed = openMacroPage(ids::main_dlg::KEY_021.id);  // F
  ASSERT_NE(ed, nullptr);
  EXPECT_EQ(macroCount(), 0);
  EXPECT_FALSE(IsWindowEnabled(e(IDC_COMPOSITE_FUNC_MACRO_RECORD))) << "no macro selected";
  clickE(IDC_COMPOSITE_FUNC_MACRO_ADD);
  ASSERT_TRUE(waitFor([&] { return macroCount() == 1 && selectedMacro() == 0; }, 3000));
  EXPECT_EQ(controlText(e(IDC_COMPOSITE_FUNC_MACRO_LIST)), L"Macro1");
  EXPECT_TRUE(IsWindowEnabled(e(IDC_COMPOSITE_FUNC_MACRO_RECORD)));
  // Record delays off (the default).
  EXPECT_EQ(SendMessageW(e(IDC_COMPOSITE_FUNC_MACRO_RECORD_DELAY), BM_GETCHECK, 0, 0), BST_UNCHECKED);

  clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD);
  ASSERT_TRUE(waitFor([&] { return controlText(e(IDC_COMPOSITE_FUNC_MACRO_RECORD)) == L"Stop Record"; }, 3000))
      << utf8(controlText(e(IDC_COMPOSITE_FUNC_MACRO_RECORD)));
  for (int id : {IDC_COMPOSITE_FUNC_MACRO_ADD, IDC_COMPOSITE_FUNC_MACRO_DELETE, IDC_COMPOSITE_FUNC_MACRO_LIST})
    EXPECT_FALSE(IsWindowEnabled(e(id))) << id << " while recording";
  double pressMs = recordKey("a", 300);
  EXPECT_TRUE(waitFor([&] { return rowCount() == 2; }, 3000));
  shot("macro_recording");
  // A held key's repeats are not recorded.
  keyDown("b");
  Sleep(900);
  keyUp("b");
  EXPECT_TRUE(waitFor([&] { return rowCount() == 4; }, 3000));
  EXPECT_TRUE(holdsFor([&] { return rowCount() == 4; }, 300)) << "auto-repeats recorded";
  std::printf("[ figure ] key press to recorded row: %.0f ms (upper bound of the hook's time, X and Wine included)\n",
              pressMs);
  clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD);
  ASSERT_TRUE(waitFor([&] { return controlText(e(IDC_COMPOSITE_FUNC_MACRO_RECORD)) == L"Record"; }, 3000));
  EXPECT_TRUE(IsWindowEnabled(e(IDC_COMPOSITE_FUNC_MACRO_ADD)));
  EXPECT_EQ(rowText(0), std::wstring(L"A|") + kPress + L"|50");
  EXPECT_EQ(rowText(1), std::wstring(L"A|") + kRelease + L"|50");
  EXPECT_EQ(rowText(3), std::wstring(L"B|") + kRelease + L"|0");
  // Moves take a row with its delay and keep it selected.
  auto selectRow = [&](int row) {
    POINT p = cellPoint(row, 0);
    click(p.x, p.y);
  };
  const std::wstring releaseB = std::wstring(L"B|") + kRelease + L"|0", pressB = std::wstring(L"B|") + kPress + L"|50";
  selectRow(3);
  clickE(IDC_COMPOSITE_FUNC_MACRO_UP_TOP);
  EXPECT_TRUE(waitFor([&] { return rowText(0) == releaseB; }, 3000)) << utf8(rowText(0));
  clickE(IDC_COMPOSITE_FUNC_MACRO_DOWN);
  EXPECT_TRUE(waitFor([&] { return rowText(1) == releaseB; }, 3000)) << utf8(rowText(1));
  clickE(IDC_COMPOSITE_FUNC_MACRO_DOWN_BOTTOM);
  EXPECT_TRUE(waitFor([&] { return rowText(3) == releaseB; }, 3000)) << utf8(rowText(3));
  selectRow(2);
  clickE(IDC_COMPOSITE_FUNC_MACRO_UP);
  EXPECT_TRUE(waitFor([&] { return rowText(1) == pressB; }, 3000)) << utf8(rowText(1));
  clickE(IDC_COMPOSITE_FUNC_MACRO_DOWN);
  EXPECT_TRUE(waitFor([&] { return rowText(2) == pressB; }, 3000)) << utf8(rowText(2));
  // Delete the B rows again: the list is the two A rows.
  for (int row : {3, 2}) {
    POINT p = cellPoint(row, 0);
    click(p.x, p.y);
    clickE(IDC_COMPOSITE_FUNC_MACRO_DELETE2);
    ASSERT_TRUE(waitFor([&] { return rowCount() == row; }, 3000)) << row;
  }
  EXPECT_EQ(rowText(1), std::wstring(L"A|") + kRelease + L"|50") << "the neighbours keep their delays";
  // The last row's pause after the macro: 0, typed in its cell.
  doubleClickCell(1, 2);
  ASSERT_TRUE(waitFor([&] { return IsWindowVisible(e(IDC_COMPOSITE_MACRO_CELL_EDIT)) != FALSE; }, 3000));
  typeText(L"0");
  pressKey("Return");
  ASSERT_TRUE(waitFor([&] { return cell(1, 2) == L"0"; }, 3000)) << utf8(cell(1, 2));

  clickE(IDC_COMPOSITE_CONTROL_OK);
  ASSERT_TRUE(waitFor([&] { return editor() == nullptr; }, 5000));
  EXPECT_EQ(tooltipOf(app.process(), mainItem(ids::main_dlg::KEY_021.id)).rfind(L"FKeys, Set: Macro(", 0), 0u)
      << utf8(tooltipOf(app.process(), mainItem(ids::main_dlg::KEY_021.id)));
  ASSERT_TRUE(mainApply());

  // Exactly the image the fitting rules give for the list [Macro1: A down 50, A up 0].
  MacroRecord m{};
  setMacroName(m, u"Macro1");
  m.id = 1;
  m.cycles = 1;
  m.actionCount = 2;
  m.actions[0] = {50, 0x1E, kMacroPress};
  m.actions[1] = {0, 0x1E, kMacroRelease};
  MacroList expected = {m};
  FittedMacroImage image = fitMacroImage(expected, 64 * 128);
  ASSERT_EQ(image.fit, MacroFit::WithNames);
  EXPECT_EQ(macroMemory(image.bytes.size()), image.bytes);
  EXPECT_EQ(keyRecordOf("09"), "050100") << "F plays the macro at position 0";
  shot("macro_assigned_to_f");

  // Record delays on: the press row carries the time the key was held.
  ASSERT_NE(openMacroPage(ids::main_dlg::KEY_022.id), nullptr);  // G
  ASSERT_TRUE(waitFor([&] { return selectedMacro() == 0 && rowCount() == 2; }, 3000)) << "the first macro shown";
  clickE(IDC_COMPOSITE_FUNC_MACRO_ADD);
  ASSERT_TRUE(waitFor([&] { return macroCount() == 2 && rowCount() == 0; }, 3000));
  clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD_DELAY);
  ASSERT_TRUE(waitFor([&] { return SendMessageW(e(IDC_COMPOSITE_FUNC_MACRO_RECORD_DELAY), BM_GETCHECK, 0, 0) == BST_CHECKED; }, 3000));
  clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD);
  recordKey("c", 700);
  ASSERT_TRUE(waitFor([&] { return rowCount() == 2; }, 3000));
  clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD);
  int held = _wtoi(cell(0, 2).c_str());
  EXPECT_GE(held, 600) << "the press row carries the hold time";
  EXPECT_LT(held, 5000);
  EXPECT_EQ(cell(1, 2), L"0");
  EXPECT_EQ(cell(1, 1), kRelease);
  ASSERT_TRUE(closeWith(IDC_COMPOSITE_CONTROL_CANCEL));
}

TEST_F(MacroPage, RowEditsUndoAndRedoWithCtrlZAndCtrlY) {
  startShown();
  ASSERT_NE(openMacroPage(ids::main_dlg::KEY_021.id), nullptr);  // F
  clickE(IDC_COMPOSITE_FUNC_MACRO_ADD);
  ASSERT_TRUE(waitFor([&] { return macroCount() == 1 && selectedMacro() == 0; }, 3000));
  // A recording is one step.
  clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD);
  ASSERT_TRUE(waitFor([&] { return controlText(e(IDC_COMPOSITE_FUNC_MACRO_RECORD)) == L"Stop Record"; }, 3000));
  recordKey("a");
  recordKey("b");
  ASSERT_TRUE(waitFor([&] { return rowCount() == 4; }, 3000));
  clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD);
  ASSERT_TRUE(waitFor([&] { return controlText(e(IDC_COMPOSITE_FUNC_MACRO_RECORD)) == L"Record"; }, 3000));
  // A cell edit: the first row's delay becomes 120.
  doubleClickCell(0, 2);
  ASSERT_TRUE(waitFor([&] { return IsWindowVisible(e(IDC_COMPOSITE_MACRO_CELL_EDIT)) != FALSE; }, 3000));
  typeText(L"120");
  pressKey("Return");
  ASSERT_TRUE(waitFor([&] { return cell(0, 2) == L"120"; }, 3000)) << utf8(cell(0, 2));
  const std::wstring first = rowText(0), second = rowText(1);
  // Delete the first row: Ctrl+Z brings it back with its delay.
  POINT p = cellPoint(0, 0);
  click(p.x, p.y);
  clickE(IDC_COMPOSITE_FUNC_MACRO_DELETE2);
  ASSERT_TRUE(waitFor([&] { return rowCount() == 3; }, 3000));
  EXPECT_EQ(rowText(0), second);
  click(p.x, p.y);  // the list has the keyboard
  pressKey("ctrl+z");
  EXPECT_TRUE(waitFor([&] { return rowCount() == 4; }, 3000)) << "the deleted row is back";
  EXPECT_EQ(rowText(0), first);
  EXPECT_EQ(cell(0, 2), L"120") << "with its delay";
  shot("macro_row_undo");
  pressKey("ctrl+z");
  EXPECT_TRUE(waitFor([&] { return cell(0, 2) != L"120"; }, 3000)) << "the cell edit undone";
  pressKey("ctrl+z");
  EXPECT_TRUE(waitFor([&] { return rowCount() == 0; }, 3000)) << "the whole recording undone";
  pressKey("ctrl+y");
  EXPECT_TRUE(waitFor([&] { return rowCount() == 4; }, 3000));
  pressKey("ctrl+y");
  EXPECT_TRUE(waitFor([&] { return cell(0, 2) == L"120"; }, 3000));
  pressKey("ctrl+shift+z");
  EXPECT_TRUE(waitFor([&] { return rowCount() == 3; }, 3000)) << "the delete redone";
  EXPECT_TRUE(IsWindowEnabled(e(IDC_COMPOSITE_CONTROL2_APPLY))) << "an undo is a change to apply";
  ASSERT_TRUE(closeWith(IDC_COMPOSITE_CONTROL_CANCEL));
}

TEST_F(MacroPage, TypedDelaysAndCyclesAreCorrected) {
  startShown();
  ASSERT_NE(openMacroPage(ids::main_dlg::KEY_021.id), nullptr);
  clickE(IDC_COMPOSITE_FUNC_MACRO_ADD);
  ASSERT_TRUE(waitFor([&] { return selectedMacro() == 0; }, 3000));
  clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD);
  recordKey("a");
  ASSERT_TRUE(waitFor([&] { return rowCount() == 2; }, 3000));
  // Editing a delay cell stops the recording.
  doubleClickCell(0, 2);
  ASSERT_TRUE(waitFor([&] { return IsWindowVisible(e(IDC_COMPOSITE_MACRO_CELL_EDIT)) != FALSE; }, 3000));
  EXPECT_TRUE(waitFor([&] { return controlText(e(IDC_COMPOSITE_FUNC_MACRO_RECORD)) == L"Record"; }, 3000));
  typeText(L"12345");
  shot("macro_editing_delay_cell");
  pressKey("Return");
  EXPECT_TRUE(waitFor([&] { return cell(0, 2) == L"12340"; }, 3000)) << utf8(cell(0, 2));
  EXPECT_NE(editor(), nullptr) << "Enter ended the edit, not the editor";

  doubleClickCell(0, 2);
  ASSERT_TRUE(waitFor([&] { return IsWindowVisible(e(IDC_COMPOSITE_MACRO_CELL_EDIT)) != FALSE; }, 3000));
  typeText(L"50000");
  pressKey("Return");
  HWND box = waitMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(messageBoxText(box), L"Maximum delay time is: 40000(ms) ");
  // The row takes the largest delay before the box: nothing of the rows is
  // held across the box's message loop, which may change them.
  EXPECT_EQ(cell(0, 2), L"40000") << "the row waits for the box";
  ASSERT_TRUE(answer(box, IDOK));
  EXPECT_TRUE(waitFor([&] { return cell(0, 2) == L"40000"; }, 3000)) << utf8(cell(0, 2));
  // Letters never reach the number field; an empty text changes nothing.
  doubleClickCell(0, 2);
  ASSERT_TRUE(waitFor([&] { return IsWindowVisible(e(IDC_COMPOSITE_MACRO_CELL_EDIT)) != FALSE; }, 3000));
  pressKey("BackSpace");
  pressKey("BackSpace");
  pressKey("BackSpace");
  pressKey("BackSpace");
  pressKey("BackSpace");
  typeText(L"xy");
  pressKey("Return");
  EXPECT_TRUE(holdsFor([&] { return cell(0, 2) == L"40000"; }, 300)) << utf8(cell(0, 2));

  // The action cell: the release of row 1 becomes a press.
  doubleClickCell(1, 1);
  ASSERT_TRUE(waitFor([&] { return IsWindowVisible(e(IDC_COMPOSITE_MACRO_CELL_LIST)) != FALSE; }, 3000));
  EXPECT_EQ(SendMessageW(e(IDC_COMPOSITE_MACRO_CELL_LIST), CB_GETCOUNT, 0, 0), 2);
  pressKey("Up");
  pressKey("Return");
  EXPECT_TRUE(waitFor([&] { return cell(1, 1) == kPress; }, 3000)) << utf8(cell(1, 1));
  // The key cell: 106 keys, A's place preselected; the next one is chosen.
  doubleClickCell(1, 0);
  HWND keys = e(IDC_COMPOSITE_MACRO_CELL_LIST);
  ASSERT_TRUE(waitFor([&] { return IsWindowVisible(keys) != FALSE; }, 3000));
  EXPECT_EQ(SendMessageW(keys, CB_GETCOUNT, 0, 0), 106);
  auto pos = static_cast<int>(SendMessageW(keys, CB_GETCURSEL, 0, 0));
  EXPECT_EQ(pos, ListPositionOfKey(0x1E));
  shot("macro_editing_key_cell");
  pressKey("Down");
  pressKey("Return");
  std::wstring next = wide(KeyNameAtListPosition(static_cast<uint16_t>(pos + 1)));
  EXPECT_TRUE(waitFor([&] { return cell(1, 0) == next; }, 3000)) << utf8(cell(1, 0)) << " / " << utf8(next);

  // Cycles: 0 becomes 1, 300 becomes 255.
  HWND cycles = e(IDC_COMPOSITE_FUNC_MACRO_CYCLES);
  struct Case {
    const wchar_t* typed;
    const wchar_t* shown;
  } cases[] = {{L"0", L"1"}, {L"300", L"255"}, {L"17", L"17"}};
  for (const Case& c : cases) {
    clickCentre(cycles);
    pressKey("End");
    for (int i = 0; i < 3; ++i) pressKey("BackSpace");
    typeText(c.typed);
    EXPECT_TRUE(waitFor([&] { return controlText(cycles) == c.shown; }, 3000)) << utf8(c.typed) << " -> " << utf8(controlText(cycles));
  }

  // The Win key through the low-level hook; Print Screen with its extra
  // press before each of its events (50 ms each with record delays off).
  POINT last = cellPoint(1, 0);
  click(last.x, last.y);
  clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD);
  ASSERT_TRUE(waitFor([&] { return controlText(e(IDC_COMPOSITE_FUNC_MACRO_RECORD)) == L"Stop Record"; }, 3000));
  pressKey("Super_L");
  ASSERT_TRUE(waitFor([&] { return rowCount() == 4; }, 3000)) << rowCount();
  pressKey("Print");
  EXPECT_TRUE(waitFor([&] { return rowCount() >= 6; }, 3000)) << rowCount();
  Sleep(300);
  clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD);
  std::wstring all;
  for (int row = 2; row < rowCount(); ++row) all += rowText(row) + L";";
  EXPECT_EQ(rowText(2), std::wstring(L"Win|") + kPress + L"|50") << utf8(all);
  EXPECT_EQ(rowText(3), std::wstring(L"Win|") + kRelease + L"|50") << utf8(all);
  EXPECT_EQ(rowText(4), std::wstring(L"PrintScreen|") + kPress + L"|50") << utf8(all);
  EXPECT_EQ(cell(5, 0), L"PrintScreen") << utf8(all);
  std::printf("[ figure ] recorded Win and Print Screen rows: %s\n", utf8(all).c_str());
  ASSERT_TRUE(closeWith(IDC_COMPOSITE_CONTROL_CANCEL));
}

TEST_F(MacroPage, DeletingAUsedMacroAsksAndItsKeysAreResetAtApply) {
  Running& app = startShown();
  // F plays Macro2 (id 2), G plays Macro3 (id 3).
  ASSERT_NE(openMacroPage(ids::main_dlg::KEY_021.id), nullptr);
  clickE(IDC_COMPOSITE_FUNC_MACRO_ADD);
  clickE(IDC_COMPOSITE_FUNC_MACRO_ADD);
  ASSERT_TRUE(waitFor([&] { return macroCount() == 2 && selectedMacro() == 1; }, 3000));
  ASSERT_TRUE(closeWith(IDC_COMPOSITE_CONTROL_OK));
  ASSERT_NE(openMacroPage(ids::main_dlg::KEY_022.id), nullptr);
  clickE(IDC_COMPOSITE_FUNC_MACRO_ADD);
  ASSERT_TRUE(waitFor([&] { return macroCount() == 3 && selectedMacro() == 2; }, 3000));
  EXPECT_EQ(controlText(e(IDC_COMPOSITE_FUNC_MACRO_LIST)), L"Macro3");
  ASSERT_TRUE(closeWith(IDC_COMPOSITE_CONTROL_OK));
  ASSERT_TRUE(mainApply());
  EXPECT_EQ(keyRecordOf("09"), "050101");
  EXPECT_EQ(keyRecordOf("0A"), "050102");

  // On H: Macro2 chosen with the keyboard in the name field, deleted.
  ASSERT_NE(openMacroPage(ids::main_dlg::KEY_023.id), nullptr);
  ASSERT_TRUE(waitFor([&] { return selectedMacro() == 0; }, 3000));
  clickCentre(e(IDC_COMPOSITE_FUNC_MACRO_LIST));
  pressKey("Down");
  ASSERT_TRUE(waitFor([&] { return selectedMacro() == 1; }, 3000));
  if (IsWindowVisible(findTopLevel(app.pid(), L"ComboLBox"))) pressKey("Escape");
  clickE(IDC_COMPOSITE_FUNC_MACRO_DELETE);
  HWND box = waitMessageBox();
  ASSERT_NE(box, nullptr) << "a macro a key uses is deleted only after asking";
  // The shipped English text (the language file has it on one line).
  EXPECT_EQ(messageBoxText(box), L"Detect some key points to set this macro, really need to remove this macro?  ");
  EXPECT_EQ(GetWindowLongPtrW(GetDlgItem(box, IDNO), GWL_STYLE) & BS_DEFPUSHBUTTON, BS_DEFPUSHBUTTON) << "No is the default";
  shot("macro_delete_confirm");
  ASSERT_TRUE(answer(box, IDNO));
  EXPECT_EQ(macroCount(), 3) << "No keeps it";
  clickE(IDC_COMPOSITE_FUNC_MACRO_DELETE);
  box = waitMessageBox();
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(answer(box, IDYES));
  ASSERT_TRUE(waitFor([&] { return macroCount() == 2 && selectedMacro() == 0; }, 3000));
  // The new macro takes the freed id 2; F, which named the old one, is reset
  // at Apply instead of playing it.
  clickE(IDC_COMPOSITE_FUNC_MACRO_ADD);
  ASSERT_TRUE(waitFor([&] { return macroCount() == 3 && selectedMacro() == 2; }, 3000));
  EXPECT_EQ(controlText(e(IDC_COMPOSITE_FUNC_MACRO_LIST)), L"Macro4") << "the counter goes on";
  EXPECT_EQ(tooltipOf(app.process(), mainItem(ids::main_dlg::KEY_021.id)).rfind(L"FKeys, Set: Macro(", 0), 0u)
      << "nothing reset before Apply";
  ASSERT_TRUE(closeWith(IDC_COMPOSITE_CONTROL_OK));
  EXPECT_EQ(tooltipOf(app.process(), mainItem(ids::main_dlg::KEY_021.id)), L"F");
  ASSERT_TRUE(mainApply());
  EXPECT_EQ(keyRecordOf("09"), "020209") << "F: factory action";
  EXPECT_EQ(keyRecordOf("0A"), "050101") << "G: Macro3, now at position 1";
  EXPECT_EQ(keyRecordOf("0B"), "050102") << "H: the new macro with id 2";
  shot("macro_deleted_keys_reset");
}

TEST_F(MacroPage, CancelKeepsTheMacroListAndRecordingStopsAtTwoThousandRows) {
  // The keyboard holds one macro of 2000 actions.
  MacroRecord big{};
  setMacroName(big, u"Long");
  big.id = 1;
  big.cycles = 1;
  big.actionCount = 2000;
  for (int i = 0; i < 2000; ++i) big.actions[i] = {10, 0x1E, static_cast<uint16_t>(i % 2)};
  MacroList list = {big};
  FittedMacroImage image = fitMacroImage(list, 64 * 128);
  ASSERT_EQ(image.fit, MacroFit::WithNames);
  Running& app = startShown();
  for (size_t at = 0; at < image.bytes.size(); at += 1024) {
    size_t n = std::min<size_t>(1024, image.bytes.size() - at);
    ASSERT_EQ(app.sim("write macro " + std::to_string(at) + " " + hexOf({image.bytes.data() + at, n})), "OK\n");
  }
  ASSERT_EQ(app.sim("unplug"), "OK\n");
  ASSERT_TRUE(waitFor([&] { return !app.mainVisible(); }, 5000));
  ASSERT_EQ(app.sim("plug"), "OK\n");
  Sleep(1500);  // the reload from the keyboard
  ASSERT_TRUE(waitFor([&] { return main() != nullptr; }, 5000));
  ShowWindow(main(), SW_SHOW);  // the window stays hidden after a replug
  PostMessageW(main(), kMsgShow, kTagOpen, 0);
  ASSERT_TRUE(waitFor([&] { return app.mainVisible(); }, 5000));
  ASSERT_TRUE(waitClickable(mainItem(ids::main_dlg::KEY_021.id)));

  clickCentre(mainItem(ids::main_dlg::KEY_021.id));
  ASSERT_TRUE(waitFor([&] { return editor() != nullptr; }, 5000));
  waitClickable(editor());
  ULONGLONG t0 = GetTickCount64();
  clickCentre(e(IDC_COMPOSITE_CONTROL_MACRO));
  ULONGLONG t1 = GetTickCount64();
  ASSERT_TRUE(waitFor([&] { return rowCount() == 2000; }, 5000, 1)) << rowCount();
  ULONGLONG t2 = GetTickCount64();
  std::printf("[ figure ] 2000 rows in the action list: %llu ms after the click ended, %llu ms after it started\n",
              t2 - t1, t2 - t0);
  // Scrolled to the end, drawn.
  SendMessageW(e(IDC_COMPOSITE_FUNC_MACRO_LIST2), LVM_ENSUREVISIBLE, 1999, FALSE);
  EXPECT_EQ(rowText(1999), std::wstring(L"A|") + kRelease + L"|10");
  // Two rows fewer: room for one recorded key.
  for (int i = 0; i < 2; ++i) {
    SendMessageW(e(IDC_COMPOSITE_FUNC_MACRO_LIST2), LVM_ENSUREVISIBLE, 0, FALSE);
    POINT p = cellPoint(0, 0);
    click(p.x, p.y);
    clickE(IDC_COMPOSITE_FUNC_MACRO_DELETE2);
    ASSERT_TRUE(waitFor([&] { return rowCount() == 1999 - i; }, 3000)) << rowCount();
  }

  clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD);
  recordKey("a");
  ASSERT_TRUE(waitFor([&] { return rowCount() == 2000; }, 3000));
  recordKey("b");
  EXPECT_TRUE(holdsFor([&] { return rowCount() == 2000; }, 500)) << "a row past 2000";
  EXPECT_EQ(waitMessageBox(300), nullptr) << "dropped without a message";
  shot("macro_two_thousand_rows");
  EXPECT_FALSE(IsWindowEnabled(e(IDC_COMPOSITE_FUNC_MACRO_ADD))) << "no macro added while recording";
  clickCentre(e(IDC_COMPOSITE_FUNC_MACRO_ADD));
  EXPECT_TRUE(holdsFor([&] { return macroCount() == 1; }, 300));
  ASSERT_TRUE(closeWith(IDC_COMPOSITE_CONTROL_CANCEL));
  EXPECT_FALSE(mainApplyEnabled());

  // Cancel discarded the edits: the macro still has its 2000 actions.
  ASSERT_NE(openMacroPage(ids::main_dlg::KEY_021.id), nullptr);
  EXPECT_TRUE(waitFor([&] { return rowCount() == 2000; }, 3000)) << rowCount();
  ASSERT_TRUE(closeWith(IDC_COMPOSITE_CONTROL_CANCEL));
}

TEST_F(MacroPage, GaugeShowsFitsNamesDroppedAndTooLong) {
  install_.setEnv(L"KORVALIN_SIM_MACRO_UNITS", L"1");  // 128 bytes of macro memory
  startShown();
  ASSERT_NE(openMacroPage(ids::main_dlg::KEY_021.id), nullptr);
  EXPECT_FALSE(IsWindowVisible(e(IDC_COMPOSITE_FUNC_MACRO_GAUGE)) && controlText(e(IDC_COMPOSITE_FUNC_MACRO_GAUGE)).empty());
  // A name typed into the empty list creates the macro.
  clickCentre(e(IDC_COMPOSITE_FUNC_MACRO_LIST));
  typeText(L"Mine");
  ASSERT_TRUE(waitFor([&] { return macroCount() == 1 && selectedMacro() == 0; }, 3000)) << macroCount();
  EXPECT_TRUE(IsWindowEnabled(e(IDC_COMPOSITE_FUNC_MACRO_RECORD)));
  EXPECT_TRUE(IsWindowEnabled(e(IDC_COMPOSITE_CONTROL2_APPLY)));
  // 16 + 2 + 4 + 8 ("Mine") = 30 with the name, 22 without.
  EXPECT_TRUE(waitFor([&] { return controlText(e(IDC_COMPOSITE_FUNC_MACRO_GAUGE)) == L"30 (22) / 128"; }, 3000))
      << utf8(controlText(e(IDC_COMPOSITE_FUNC_MACRO_GAUGE)));
  EXPECT_TRUE(waitFor([&] { return gaugeShows(kGaugeFits); }, 2000));
  shot("macro_gauge_fits");
  // Twenty actions: 102 bytes without the name, 114 with it.
  clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD);
  for (const char* k : {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}) recordKey(k);
  ASSERT_TRUE(waitFor([&] { return rowCount() == 20; }, 3000));
  clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD);
  EXPECT_TRUE(waitFor([&] { return controlText(e(IDC_COMPOSITE_FUNC_MACRO_GAUGE)) == L"110 (102) / 128"; }, 3000))
      << utf8(controlText(e(IDC_COMPOSITE_FUNC_MACRO_GAUGE)));
  // A longer name no longer fits: 15 units, 132 bytes; the names are dropped.
  clickCentre(e(IDC_COMPOSITE_FUNC_MACRO_LIST));
  pressKey("End");
  typeText(L"abcdefghijk");
  EXPECT_TRUE(waitFor([&] { return controlText(e(IDC_COMPOSITE_FUNC_MACRO_GAUGE)) == L"132 (102) / 128"; }, 3000))
      << utf8(controlText(e(IDC_COMPOSITE_FUNC_MACRO_GAUGE)));
  EXPECT_EQ(controlText(e(IDC_COMPOSITE_FUNC_MACRO_LIST)), L"Mineabcdefghijk");
  EXPECT_TRUE(waitFor([&] { return gaugeShows(kGaugeNamesDropped); }, 2000));
  shot("macro_gauge_names_dropped");
  // Eight more actions: 134 bytes even without the name.
  clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD);
  for (const char* k : {"k", "l", "m", "n"}) recordKey(k);
  ASSERT_TRUE(waitFor([&] { return rowCount() == 28; }, 3000));
  clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD);
  EXPECT_TRUE(waitFor([&] { return controlText(e(IDC_COMPOSITE_FUNC_MACRO_GAUGE)) == L"164 (134) / 128"; }, 3000))
      << utf8(controlText(e(IDC_COMPOSITE_FUNC_MACRO_GAUGE)));
  EXPECT_TRUE(waitFor([&] { return gaugeShows(kGaugeTooLong); }, 2000));
  shot("macro_gauge_too_long");
  std::printf("[ figure ] key press to recorded row, mean of %d: %.1f ms (upper bound of the hooks' time)\n",
              pressesTimed_, pressLatencyMs_ / pressesTimed_);
  // Apply and another page both end a recording.
  HWND record = e(IDC_COMPOSITE_FUNC_MACRO_RECORD);
  clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD);
  ASSERT_TRUE(waitFor([&] { return controlText(record) == L"Stop Record"; }, 3000));
  clickE(IDC_COMPOSITE_CONTROL2_APPLY);
  EXPECT_TRUE(waitFor([&] { return controlText(record) == L"Record"; }, 3000)) << "Apply stops recording";
  clickE(IDC_COMPOSITE_FUNC_MACRO_RECORD);
  ASSERT_TRUE(waitFor([&] { return controlText(record) == L"Stop Record"; }, 3000));
  // Other pages do not show the gauge.
  clickE(IDC_COMPOSITE_CONTROL_MEDIA);
  EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(e(IDC_COMPOSITE_FUNC_MACRO_GAUGE)); }, 3000));
  EXPECT_TRUE(waitFor([&] { return controlText(record) == L"Record"; }, 3000)) << "another page stops recording";
  pressKey("z");
  EXPECT_TRUE(holdsFor([&] { return rowCount() == 28; }, 300)) << "a key recorded after the page changed";
  ASSERT_TRUE(closeWith(IDC_COMPOSITE_CONTROL_CANCEL));
}

}  // namespace
}  // namespace kv::e2e
