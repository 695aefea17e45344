#include "keys/macro_page_win32.h"

#include <algorithm>
#include <mutex>
#include <string>

#include "app/settings_win32.h"
#include "base/log_win32.h"
#include "base/text_table.h"
#include "base/wide_win32.h"
#include "device/protocol.h"
#include "keys/composite_dlg_win32.h"
#include "model/key_info.h"
#include "resources/control_ids.h"
#include "skin/placement_win32.h"
#include "widgets/message_box_win32.h"

namespace kv {
namespace {

using namespace ids::composite_dlg;

constexpr int kColumnKey = 0, kColumnAction = 1;
constexpr int kColumnDelay = 2;
constexpr int kColumnWidths[] = {50, 50, 60};
constexpr int kActionRowsShown = 6;
constexpr int kKeyRowsShown = 20;

// 1020-1026: enabled exactly when a macro is selected.
constexpr int kActionButtons[] = {FUNC_MACRO_RECORD.id,  FUNC_MACRO_DELETE2.id, FUNC_MACRO_CLEAR.id,
                                  FUNC_MACRO_UP_TOP.id,  FUNC_MACRO_UP.id,      FUNC_MACRO_DOWN.id,
                                  FUNC_MACRO_DOWN_BOTTOM.id};
// Disabled while recording.
constexpr int kListControls[] = {FUNC_MACRO_ADD.id, FUNC_MACRO_DELETE.id, FUNC_MACRO_LIST.id};

// The page's controls, shown on that page only (the gauge shows itself when
// there is a keyboard to measure against).
constexpr int kControls[] = {FUNC_MACRO_ADD.id,          FUNC_MACRO_DELETE.id,       FUNC_MACRO_LIST2.id,
                             FUNC_MACRO_RECORD.id,       FUNC_MACRO_DELETE2.id,      FUNC_MACRO_CLEAR.id,
                             FUNC_MACRO_UP_TOP.id,       FUNC_MACRO_UP.id,           FUNC_MACRO_DOWN.id,
                             FUNC_MACRO_DOWN_BOTTOM.id,  FUNC_MACRO_RECORD_DELAY.id, FUNC_MACRO_CYCLES.id,
                             FUNC_MACRO_LIST.id,         FUNC_MACRO_RECORD_DELAY2.id, MARCO_NAME_SETTING.id,
                             FUNC_MACRO_CYCLES_PROMPT.id};

// The action list's move buttons.
struct MoveButton {
  int id;
  RowMove move;
};
constexpr MoveButton kMoveButtons[] = {{FUNC_MACRO_UP_TOP.id, RowMove::Top},
                                       {FUNC_MACRO_UP.id, RowMove::Up},
                                       {FUNC_MACRO_DOWN.id, RowMove::Down},
                                       {FUNC_MACRO_DOWN_BOTTOM.id, RowMove::Bottom}};

std::wstring actionText(uint16_t state) { return state == kMacroRelease ? L"  \u2191" : L"\u2193"; }

std::wstring windowText(HWND h) {
  int n = GetWindowTextLengthW(h);
  std::wstring s(static_cast<size_t>(std::max(n, 0)) + 1, L'\0');
  s.resize(static_cast<size_t>(std::max(GetWindowTextW(h, s.data(), n + 1), 0)));
  return s;
}

}  // namespace

CMacroPage::CMacroPage(CDialog& dialog, WorkingConfig& config, CompositeHost& host, std::function<void()> changed)
    : dialog_(dialog), config_(config), host_(host), changed_(std::move(changed)) {}

bool CMacroPage::HasSelection() const {
  return currentMacro_ >= 0 && static_cast<size_t>(currentMacro_) < macros_.size();
}

// ---- opening and closing --------------------------------------------------------------

void CMacroPage::Open() {
  buttons_.Clear();  // the windows of the last opening are gone
  HWND list = item(FUNC_MACRO_LIST2.id);
  (void)SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  // The cell editors lie over the list: it must not paint over them.
  SetWindowLongPtrW(list, GWL_STYLE, GetWindowLongPtrW(list, GWL_STYLE) | WS_CLIPSIBLINGS);
  const TextId titles[] = {TextId::MACRO_KEYS_TISHI, TextId::MACRO_ACTION_TISHI, TextId::MACRO_DELAY_MS};
  for (int i = 0; i < 3; ++i) {
    std::wstring title = wide(text(titles[i]));
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    c.fmt = LVCFMT_LEFT;
    c.cx = kColumnWidths[i];
    c.pszText = title.data();
    c.iSubItem = i;
    if (SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&c)) < 0) ReportWin32Failure(L"LVM_INSERTCOLUMNW");
  }
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0));
  for (int id : {MACRO_CELL_EDIT, MACRO_CELL_LIST})
    (void)SendMessageW(item(id), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);  // answers nothing
  (void)SendMessageW(item(FUNC_MACRO_LIST.id), CB_LIMITTEXT, kMaxMacroNameUnits, 0);
  (void)SendMessageW(item(FUNC_MACRO_CYCLES.id), EM_LIMITTEXT, 3, 0);

  // The option is read at every opening and written back as 0 or 1.
  std::wstring name = wide(text(TextId::MACRO_ACTION_RECORD_DELAY));
  recordDelays_ = GetProfileNumber(kProfilesSection, name, 0) == 1 ? 1 : 0;
  (void)WriteProfileText(kProfilesSection, name, recordDelays_ ? L"1" : L"0");  // reported inside
  (void)SendMessageW(item(FUNC_MACRO_RECORD_DELAY.id), BM_SETCHECK, recordDelays_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

void CMacroPage::Place(const std::wstring& skinFile,
                       const std::function<void(CPngButton&, const wchar_t* key)>& skinButton) {
  for (const ids::SkinControl& c : {FUNC_MACRO_ADD, FUNC_MACRO_DELETE, FUNC_MACRO_RECORD, FUNC_MACRO_DELETE2,
                                    FUNC_MACRO_CLEAR, FUNC_MACRO_UP_TOP, FUNC_MACRO_UP, FUNC_MACRO_DOWN,
                                    FUNC_MACRO_DOWN_BOTTOM})
    skinButton(Button(c.id), c.key);
  for (const ids::SkinControl& c : {MARCO_NAME_SETTING, FUNC_MACRO_LIST, FUNC_MACRO_LIST2, FUNC_MACRO_RECORD_DELAY,
                                    FUNC_MACRO_RECORD_DELAY2, FUNC_MACRO_CYCLES_PROMPT, FUNC_MACRO_CYCLES,
                                    FUNC_MACRO_GAUGE})
    PlaceControl(item(c.id), skinFile, L"BUTTONINFO", c.key);
}

void CMacroPage::Fill() {
  cyclesGuard_ = true;
  (void)SetWindowTextW(item(FUNC_MACRO_CYCLES.id), L"1");
  cyclesGuard_ = false;
  FillMacroList();
}

void CMacroPage::SetTexts(const std::function<std::wstring(const char* key)>& languageText) {
  struct Text {
    int id;
    const char* key;
  };
  const Text texts[] = {{MARCO_NAME_SETTING.id, "MACRO_NAME_SETTING"}, {FUNC_MACRO_RECORD.id, "A_RECORD"},
                        {FUNC_MACRO_DELETE2.id, "A_DELETE"},          {FUNC_MACRO_CLEAR.id, "A_CLEAR"},
                        {FUNC_MACRO_UP_TOP.id, "A_TOP"},               {FUNC_MACRO_UP.id, "A_UP"},
                        {FUNC_MACRO_DOWN.id, "A_DOWN"},                {FUNC_MACRO_DOWN_BOTTOM.id, "A_BOTTOM"},
                        {FUNC_MACRO_RECORD_DELAY2.id, "RECORD_DELAY"}, {FUNC_MACRO_CYCLES_PROMPT.id, "MACRO_CYCLES"}};
  for (const Text& t : texts)
    (void)SetWindowTextW(item(t.id), languageText(t.key).c_str());  // the control exists: the template has it
}

void CMacroPage::FillMacroList() {
  config_.recording = 0;
  {
    std::lock_guard lock(config_.lock);
    if (!copyMacroList(config_.macros, macros_)) macros_.clear();
  }
  for (MacroRecord& m : macros_) m.isNew = 0;
  HWND combo = item(FUNC_MACRO_LIST.id);
  comboGuard_ = true;
  (void)SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const MacroRecord& m : macros_) {
    std::wstring name = wide(macroName(m));
    (void)SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));  // answers the index
  }
  (void)SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  comboGuard_ = false;
  currentMacro_ = -1;
  rows_.clear();
  ShowRows(-1);
  EnableActionButtons();
  firstMacroShow_ = true;
}

void CMacroPage::Close() {
  StopRecording();
  EndCellEdit(false);
  ForgetRowHistory();
  rows_.clear();
  macros_.clear();
  macros_.shrink_to_fit();  // 16 KB a macro: given back while the editor is closed
  currentMacro_ = -1;
  ShowRows(-1);
  comboGuard_ = true;
  (void)SendMessageW(item(FUNC_MACRO_LIST.id), CB_RESETCONTENT, 0, 0);
  comboGuard_ = false;
}

// ---- showing ----------------------------------------------------------------------------

void CMacroPage::Leave() {
  EndCellEdit(true);
  StopRecording();
}

void CMacroPage::ShowControls(bool shown) {
  shown_ = shown;
  for (int id : kControls) ShowWindow(item(id), shown ? SW_SHOW : SW_HIDE);
  if (!shown) ShowWindow(item(FUNC_MACRO_GAUGE.id), SW_HIDE);
}

void CMacroPage::Enter(bool firstTime, uint16_t id) {
  auto selectFirst = [&] { SelectMacro(macros_.empty() ? -1 : 0, true); };
  if (firstTime) {
    auto it = std::find_if(macros_.begin(), macros_.end(), [&](const MacroRecord& m) { return id != 0 && m.id == id; });
    if (it != macros_.end())
      SelectMacro(static_cast<int>(it - macros_.begin()), true);
    else
      selectFirst();
  } else if (firstMacroShow_) {
    firstMacroShow_ = false;
    if (id == 0) selectFirst();
  }
  UpdateGauge();
}

void CMacroPage::Repaint() {
  for (int id : kControls)
    if (HWND h = item(id); h && IsWindowVisible(h)) (void)RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
  for (int id : {FUNC_MACRO_GAUGE.id, MACRO_CELL_EDIT, MACRO_CELL_LIST})
    if (HWND h = item(id); h && IsWindowVisible(h)) (void)RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
}

// ---- the macro list ------------------------------------------------------------------------

void CMacroPage::SelectMacro(int index, bool load) {
  comboGuard_ = true;
  (void)SendMessageW(item(FUNC_MACRO_LIST.id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);  // -1 selects none
  comboGuard_ = false;
  currentMacro_ = index;
  if (load) LoadMacro();
}

void CMacroPage::LoadMacro() {
  EndCellEdit(false);
  rows_.clear();
  if (HasSelection()) {
    const MacroRecord& m = macros_[static_cast<size_t>(currentMacro_)];
    cyclesGuard_ = true;
    (void)SetWindowTextW(item(FUNC_MACRO_CYCLES.id), std::to_wstring(m.cycles).c_str());
    cyclesGuard_ = false;
    size_t n = macroActionCount(m);
    rows_.reserve(kMaxMacroActions);
    for (size_t i = 0; i < n; ++i) (void)insertActionRow(rows_, m.actions[i], -1, false, true);
  }
  ShowRows(-1);
  EnableActionButtons();
}

void CMacroPage::StoreMacro() {
  if (!HasSelection()) return;
  MacroRecord& m = macros_[static_cast<size_t>(currentMacro_)];
  m.cycles = cyclesOf(u16(windowText(item(FUNC_MACRO_CYCLES.id))));
  m.actionCount = static_cast<uint16_t>(std::min(rows_.size(), kMaxMacroActions));
  std::copy_n(rows_.begin(), m.actionCount, m.actions);
}

void CMacroPage::EnableActionButtons() {
  for (int id : kActionButtons) (void)EnableWindow(item(id), HasSelection() ? TRUE : FALSE);  // answers the previous state
}

void CMacroPage::MacroSelectionChanged() {
  if (comboGuard_) return;
  auto sel = static_cast<int>(SendMessageW(item(FUNC_MACRO_LIST.id), CB_GETCURSEL, 0, 0));
  StoreMacro();
  currentMacro_ = sel;
  LoadMacro();
  UpdateGauge();
}

void CMacroPage::MacroNameEdited() {
  if (comboGuard_) return;
  HWND combo = item(FUNC_MACRO_LIST.id);
  std::u16string name = u16(windowText(combo));
  // Replacing the item text selects the whole field: the caret is put back.
  DWORD caret = static_cast<DWORD>(SendMessageW(combo, CB_GETEDITSEL, 0, 0));
  auto putItem = [&](int index) {
    std::wstring w = wide(macroName(macros_[static_cast<size_t>(index)]));
    comboGuard_ = true;
    (void)SendMessageW(combo, CB_DELETESTRING, static_cast<WPARAM>(index), 0);
    (void)SendMessageW(combo, CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(w.c_str()));
    (void)SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    (void)SendMessageW(combo, CB_SETEDITSEL, 0, MAKELPARAM(LOWORD(caret), HIWORD(caret)));
    comboGuard_ = false;
  };
  if (macros_.empty()) {
    if (name.empty()) return;
    MacroRecord& m = macros_.emplace_back();
    initNewMacro(m, {}, name);
    currentMacro_ = 0;
    putItem(0);
    LoadMacro();
  } else if (HasSelection()) {
    setMacroName(macros_[static_cast<size_t>(currentMacro_)], name);
    putItem(currentMacro_);
  } else {
    return;  // macros, but none selected: the typing names nothing
  }
  changed_();
  UpdateGauge();
}

void CMacroPage::AddMacro() {
  if (macros_.size() >= kMaxMacros) {
    std::wstring t = wide(formatText(text(TextId::MACRO_ERR_MAX), {static_cast<int>(kMaxMacros)}));
    (void)ShowMessageBox(dialog_.hwnd(), t.c_str(), L"", MB_OK);  // OK only
    return;
  }
  StoreMacro();
  int index = -1;
  if (addMacro(macros_, macroNameCounter_, &index) != AddMacroResult::Added) return;
  std::wstring name = wide(macroName(macros_[static_cast<size_t>(index)]));
  comboGuard_ = true;
  (void)SendMessageW(item(FUNC_MACRO_LIST.id), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  comboGuard_ = false;
  SelectMacro(index, true);
  changed_();
  UpdateGauge();
}

bool CMacroPage::ConfirmYesNo(const std::u16string& question) {
  // Never under the WorkingConfig lock: the box runs a message loop.
  return ShowMessageBox(dialog_.hwnd(), wide(question).c_str(), L"", MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION) == IDYES;
}

void CMacroPage::DeleteMacro() {
  if (!HasSelection()) return;
  const MacroRecord& m = macros_[static_cast<size_t>(currentMacro_)];
  if (m.isNew == 0) {
    bool used = false;
    {
      std::lock_guard lock(config_.lock);
      used = config_.table && macroUsedByKeys(*config_.table, m.id);
    }
    if (used && !ConfirmYesNo(text(TextId::MACRO_DELETE_CONFIRM_OF_KEYS))) return;
  }
  int index = currentMacro_;
  int next = deleteMacroAt(macros_, index);
  comboGuard_ = true;
  (void)SendMessageW(item(FUNC_MACRO_LIST.id), CB_DELETESTRING, static_cast<WPARAM>(index), 0);
  comboGuard_ = false;
  SelectMacro(next, true);
  changed_();
  UpdateGauge();
}

// ---- the action list -----------------------------------------------------------------------

int CMacroPage::SelectedRow() const {
  return static_cast<int>(SendMessageW(item(FUNC_MACRO_LIST2.id), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void CMacroPage::ShowRows(int select) {
  HWND list = item(FUNC_MACRO_LIST2.id);
  // A virtual list: the rows are rows_, the control only asks for texts.
  (void)SendMessageW(list, LVM_SETITEMCOUNT, rows_.size(), LVSICF_NOINVALIDATEALL);
  LVITEMW none{};
  none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  (void)SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
  if (select >= 0 && static_cast<size_t>(select) < rows_.size()) {
    LVITEMW on{};
    on.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    on.state = LVIS_SELECTED | LVIS_FOCUSED;
    (void)SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(select), reinterpret_cast<LPARAM>(&on));
    (void)SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(select), FALSE);
  }
  (void)InvalidateRect(list, nullptr, FALSE);
}

void CMacroPage::AddAction(MacroAction action, bool recorded, bool markChanged, bool afterSelection,
                                      bool loading) {
  if (recorded) action.delay = recordedDelay(action.delay, recordDelays_);
  int at = insertActionRow(rows_, action, SelectedRow(), afterSelection, loading);
  if (at < 0) return;  // 2000 rows: dropped without a message
  if (recorded)
    ShowRows(at);
  else
    (void)SendMessageW(item(FUNC_MACRO_LIST2.id), LVM_SETITEMCOUNT, rows_.size(), LVSICF_NOSCROLL);
  if (markChanged) changed_();
  UpdateGauge();
}

void CMacroPage::OnRecordedAction(const MacroAction& action) {
  if (!config_.recording || currentMacro_ < 0) return;
  AddAction(action, true, true, true, false);
}

void CMacroPage::DeleteAction() {
  int row = SelectedRow();
  if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return;
  RowsChanging();
  rows_.erase(rows_.begin() + row);  // the neighbours keep their delays
  ShowRows(-1);
  changed_();
  UpdateGauge();
}

void CMacroPage::ClearActions() {
  if (rows_.empty()) return;
  if (!ConfirmYesNo(text(TextId::MACRO_ACTION_CLEAR_CONFIRM))) return;
  RowsChanging();
  rows_.clear();
  ShowRows(-1);
  changed_();
  UpdateGauge();
}

void CMacroPage::MoveAction(RowMove move) {
  int row = SelectedRow();
  if (row < 0) return;
  RowsChanging();
  int to = moveActionRow(rows_, row, move);
  ShowRows(to);
  (void)SetFocus(item(FUNC_MACRO_LIST2.id));  // answers the previous focus
  changed_();
}

void CMacroPage::CyclesChanged() {
  if (cyclesGuard_) return;
  HWND field = item(FUNC_MACRO_CYCLES.id);
  if (auto corrected = correctedCycles(u16(windowText(field)))) {
    cyclesGuard_ = true;
    (void)SetWindowTextW(field, wide(*corrected).c_str());
    (void)SendMessageW(field, EM_SETSEL, corrected->size(), static_cast<LPARAM>(corrected->size()));
    cyclesGuard_ = false;
  }
  changed_();
}

void CMacroPage::ToggleRecordDelays() {
  recordDelays_ = recordDelays_ == 1 ? 0 : 1;
  (void)WriteProfileText(kProfilesSection, wide(text(TextId::MACRO_ACTION_RECORD_DELAY)),
                         recordDelays_ ? L"1" : L"0");  // reported inside
  (void)SendMessageW(item(FUNC_MACRO_RECORD_DELAY.id), BM_SETCHECK, recordDelays_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

// ---- recording -------------------------------------------------------------------------------

void CMacroPage::ToggleRecording() {
  if (config_.recording) {
    StopRecording();
    return;
  }
  if (currentMacro_ < 0) return;
  EndCellEdit(true);
  RowsChanging();
  config_.recording = 1;
  CPngButton& record = Button(FUNC_MACRO_RECORD.id);
  (void)SetWindowTextW(record.hwnd(), wide(text(TextId::MACRO_ACTION_STOP_RECORD)).c_str());
  record.setSetState(true, true);
  for (int id : kListControls) (void)EnableWindow(item(id), FALSE);  // answers the previous state
  installRecordHooks(config_, *this, dialog_.hwnd());
}

void CMacroPage::StopRecording() {
  if (!config_.recording) return;
  config_.recording = 0;
  removeRecordHooks(config_);
  CPngButton& record = Button(FUNC_MACRO_RECORD.id);
  (void)SetWindowTextW(record.hwnd(), wide(text(TextId::MACRO_ACTION_RECORD)).c_str());
  record.setSetState(false, true);
  for (int id : kListControls) (void)EnableWindow(item(id), TRUE);  // answers the previous state
}

// ---- committing -------------------------------------------------------------------------------

void CMacroPage::FinishEdits() {
  EndCellEdit(true);
  StopRecording();
}

void CMacroPage::Commit() {
  FinishEdits();
  CommitMacroList();
}

uint16_t CMacroPage::SelectedMacroId() const { return macroIdAt(macros_, currentMacro_); }

uint8_t CMacroPage::SelectedCycles() const {
  return HasSelection() ? macros_[static_cast<size_t>(currentMacro_)].cycles : uint8_t{1};
}

void CMacroPage::CommitMacroList() {
  StoreMacro();
  MacroList block;
  if (!copyMacroList(macros_, block)) return;  // the working list stays as it was
  for (MacroRecord& m : block) m.isNew = 0;
  int active = GetActiveProfile();
  std::vector<int> unassigned;
  int stale = 0;
  {
    std::lock_guard lock(config_.lock);
    // The sweep looks at the copies before their isNew is cleared: a key
    // naming a reused id must not land on the new macro.
    if (config_.table)
      stale = removeStaleMacroReferences(*config_.table, macros_, [&](int entry) {
        if (active >= 0 && entry / kSlotsPerBlock == active) unassigned.push_back(entry % kSlotsPerBlock);
      });
    config_.macros.swap(block);
  }
  for (MacroRecord& m : macros_) m.isNew = 0;
  for (int slot : unassigned) host_.ShowKeyUnassigned(slot);
  if (stale > 0) host_.EnableMainApply();
}

// ---- commands ---------------------------------------------------------------------------------

bool CMacroPage::OnCommand(WORD id, WORD code) {
  switch (id) {
    case IDC_COMPOSITE_FUNC_MACRO_LIST:
      if (code == CBN_SELCHANGE) MacroSelectionChanged();
      if (code == CBN_EDITCHANGE) MacroNameEdited();
      return true;
    case IDC_COMPOSITE_FUNC_MACRO_ADD:
      AddMacro();
      return true;
    case IDC_COMPOSITE_FUNC_MACRO_DELETE:
      DeleteMacro();
      return true;
    case IDC_COMPOSITE_FUNC_MACRO_RECORD:
      ToggleRecording();
      return true;
    case IDC_COMPOSITE_FUNC_MACRO_DELETE2:
      DeleteAction();
      return true;
    case IDC_COMPOSITE_FUNC_MACRO_CLEAR:
      ClearActions();
      return true;
    case IDC_COMPOSITE_FUNC_MACRO_RECORD_DELAY:
      if (code == BN_CLICKED) ToggleRecordDelays();
      return true;
    case IDC_COMPOSITE_FUNC_MACRO_CYCLES:
      if (code == EN_CHANGE) CyclesChanged();
      return true;
    case IDC_COMPOSITE_MACRO_CELL_EDIT:
      if (code == EN_KILLFOCUS) EndCellEdit(true);
      return true;
    case IDC_COMPOSITE_MACRO_CELL_LIST:
      // Choosing a row ends the edit as Enter would.
      if (code == CBN_SELENDOK || code == CBN_KILLFOCUS) EndCellEdit(true);
      return true;
    default:
      for (const MoveButton& m : kMoveButtons)
        if (m.id == id) {
          MoveAction(m.move);
          return true;
        }
      return false;
  }
}

bool CMacroPage::PreTranslate(const MSG& msg) {
  // Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z on the page, outside a cell being edited
  // (whose field has its own) and the cycles field.
  if (shown_ && cellRow_ < 0 && !config_.recording && msg.message == WM_KEYDOWN &&
      (msg.wParam == 'Z' || msg.wParam == 'Y') && (GetKeyState(VK_CONTROL) & 0x8000) &&
      !(GetKeyState(VK_MENU) & 0x8000) && msg.hwnd != item(FUNC_MACRO_CYCLES.id) &&
      GetAncestor(msg.hwnd, GA_ROOT) == dialog_.hwnd()) {
    const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    UndoRows(msg.wParam == 'Z' && !shift);
    return true;
  }
  if (cellRow_ < 0 || msg.message != WM_KEYDOWN || (msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE)) return false;
  HWND cell = item(cellColumn_ == kColumnDelay ? MACRO_CELL_EDIT : MACRO_CELL_LIST);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  bool droppedList = cellColumn_ != kColumnDelay && GetComboBoxInfo(cell, &info) && msg.hwnd == info.hwndList;
  if (msg.hwnd != cell && !IsChild(cell, msg.hwnd) && !droppedList) return false;
  EndCellEdit(msg.wParam == VK_RETURN);
  return true;
}

// ---- row history ------------------------------------------------------------------------------

void CMacroPage::RowsChanging() {
  if (!HasSelection()) return;
  rowUndo_.push_back({SelectedMacroId(), rows_});
  rowRedo_.clear();
}

void CMacroPage::ForgetRowHistory() {
  rowUndo_.clear();
  rowRedo_.clear();
}

void CMacroPage::UndoRows(bool undo) {
  std::vector<RowState>& from = undo ? rowUndo_ : rowRedo_;
  std::vector<RowState>& to = undo ? rowRedo_ : rowUndo_;
  // Steps of another macro (the history follows the selection) are left.
  if (from.empty() || !HasSelection() || from.back().macroId != SelectedMacroId()) return;
  to.push_back({SelectedMacroId(), rows_});
  rows_ = std::move(from.back().rows);
  from.pop_back();
  ShowRows(-1);
  changed_();
  UpdateGauge();
}

// ---- in-place cell editing ------------------------------------------------------------------

void CMacroPage::BeginCellEdit(int row, int column) {
  if (row < 0 || static_cast<size_t>(row) >= rows_.size() || column < kColumnKey || column > kColumnDelay) return;
  EndCellEdit(true);
  if (column == kColumnDelay) StopRecording();
  HWND list = item(FUNC_MACRO_LIST2.id);
  RECT r{};
  r.top = column;
  r.left = LVIR_BOUNDS;
  if (!SendMessageW(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r))) return;
  if (column == kColumnKey)  // the bounds of subitem 0 are the whole row
    r.right = r.left + static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0));
  (void)MapWindowPoints(list, dialog_.hwnd(), reinterpret_cast<POINT*>(&r), 2);  // answers the offset
  const MacroAction& a = rows_[static_cast<size_t>(row)];
  cellRow_ = row;
  cellColumn_ = column;
  if (column == kColumnDelay) {
    HWND edit = item(MACRO_CELL_EDIT);
    (void)SetWindowTextW(edit, std::to_wstring(a.delay).c_str());
    (void)SetWindowPos(edit, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_SHOWWINDOW);
    (void)SetFocus(edit);  // answers the previous focus
    (void)SendMessageW(edit, EM_SETSEL, 0, -1);
    return;
  }
  HWND combo = item(MACRO_CELL_LIST);
  (void)SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  int rowsShown = kActionRowsShown;
  int selected = 0;
  if (column == kColumnAction) {
    for (uint16_t s : {kMacroPress, kMacroRelease})
      (void)SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(actionText(s).c_str()));
    selected = a.state == kMacroRelease ? 1 : 0;
  } else {
    for (uint16_t p = 0; p < kKeyListSize; ++p)
      (void)SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(KeyNameAtListPosition(p)).c_str()));
    selected = ListPositionOfKey(a.key);
    rowsShown = kKeyRowsShown;
  }
  (void)SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  auto itemHeight = static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0));
  // A combo box's height is its selection field and the list that drops.
  int dropped = (r.bottom - r.top) + itemHeight * rowsShown + 4;
  (void)SetWindowPos(combo, HWND_TOP, r.left, r.top, r.right - r.left, dropped, SWP_SHOWWINDOW);
  (void)SetFocus(combo);  // answers the previous focus
  (void)SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
}

void CMacroPage::EndCellEdit(bool commit) {
  if (cellRow_ < 0 || endingCellEdit_) return;
  endingCellEdit_ = true;
  int row = cellRow_, column = cellColumn_;
  cellRow_ = cellColumn_ = -1;
  HWND control = item(column == kColumnDelay ? MACRO_CELL_EDIT : MACRO_CELL_LIST);
  std::wstring typed = column == kColumnDelay ? windowText(control) : std::wstring();
  auto chosen = static_cast<int>(column == kColumnDelay ? -1 : SendMessageW(control, CB_GETCURSEL, 0, 0));
  if (column != kColumnDelay) (void)SendMessageW(control, CB_SHOWDROPDOWN, FALSE, 0);
  HWND list = item(FUNC_MACRO_LIST2.id);
  if (GetFocus() == control || IsChild(control, GetFocus())) (void)SetFocus(list);  // answers the previous focus
  ShowWindow(control, SW_HIDE);
  bool tooLarge = false;
  if (commit && row >= 0 && static_cast<size_t>(row) < rows_.size()) {
    const ActionRows before = rows_;
    MacroAction& a = rows_[static_cast<size_t>(row)];
    bool changed = false;
    if (column == kColumnDelay) {
      TypedDelay d = typedDelay(u16(typed));
      tooLarge = d.tooLarge;
      if (d.change) {
        a.delay = d.delayMs;
        changed = true;
      }
    } else if (column == kColumnAction && chosen >= 0) {
      uint16_t state = chosen == 1 ? kMacroRelease : kMacroPress;
      changed = state != (a.state == kMacroRelease ? kMacroRelease : kMacroPress);
      a.state = state;
    } else if (column == kColumnKey && chosen >= 0 && chosen != ListPositionOfKey(a.key)) {
      a.key = KeyCodeAtListPosition(static_cast<uint16_t>(chosen));
      changed = true;
    }
    if (changed) {
      rowUndo_.push_back({SelectedMacroId(), before});
      rowRedo_.clear();
      (void)SendMessageW(list, LVM_REDRAWITEMS, static_cast<WPARAM>(row), row);
      changed_();
    }
  }
  // Said once the row holds the largest delay: the box's message loop may
  // change the rows (a reload, the editor closing), so no reference into
  // them is kept across it.
  if (tooLarge) {
    std::wstring t = wide(formatText(text(TextId::MACRO_ACTION_ERR_DELAY_MAX), {static_cast<int>(kMaxTypedDelayMs)}));
    (void)ShowMessageBox(dialog_.hwnd(), t.c_str(), L"", MB_OK);  // OK only
  }
  endingCellEdit_ = false;
}

bool CMacroPage::OnNotify(const NMHDR& n, LRESULT& result) {
  if (n.idFrom != static_cast<UINT_PTR>(FUNC_MACRO_LIST2.id)) return false;
  switch (n.code) {
    case LVN_GETDISPINFOW: {
      auto& d = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(n));
      if (!(d.item.mask & LVIF_TEXT) || !d.item.pszText || d.item.cchTextMax <= 0) return true;
      d.item.pszText[0] = 0;
      if (d.item.iItem < 0 || static_cast<size_t>(d.item.iItem) >= rows_.size()) return true;
      const MacroAction& a = rows_[static_cast<size_t>(d.item.iItem)];
      std::wstring s = d.item.iSubItem == kColumnKey      ? wide(KeyName(a.key))
                       : d.item.iSubItem == kColumnAction ? actionText(a.state)
                                                          : std::to_wstring(a.delay);
      lstrcpynW(d.item.pszText, s.c_str(), d.item.cchTextMax);
      result = 0;
      return true;
    }
    case NM_CUSTOMDRAW: {
      auto& cd = const_cast<NMLVCUSTOMDRAW&>(reinterpret_cast<const NMLVCUSTOMDRAW&>(n));
      if (cd.nmcd.dwDrawStage == CDDS_PREPAINT) {
        result = CDRF_NOTIFYITEMDRAW;
      } else if (cd.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        result = CDRF_NOTIFYSUBITEMDRAW;
      } else if (cd.nmcd.dwDrawStage == (CDDS_ITEMPREPAINT | CDDS_SUBITEM)) {
        // Key and action in grey, the delay (the editable number) in black.
        cd.clrText = GetSysColor(cd.iSubItem == kColumnDelay ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
        result = CDRF_NEWFONT;
      } else {
        result = CDRF_DODEFAULT;
      }
      return true;
    }
    case NM_DBLCLK: {
      const auto& ia = reinterpret_cast<const NMITEMACTIVATE&>(n);
      LVHITTESTINFO hit{};
      hit.pt = ia.ptAction;
      (void)SendMessageW(n.hwndFrom, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));  // fills hit
      if (hit.iItem >= 0) BeginCellEdit(hit.iItem, hit.iSubItem);
      result = 0;
      return true;
    }
    default:
      return false;
  }
}

// ---- the gauge --------------------------------------------------------------------------------

void CMacroPage::UpdateGauge() {
  HWND g = item(FUNC_MACRO_GAUGE.id);
  if (!g) return;
  StoreMacro();
  gauge_ = macroGauge(macros_, host_.KeyboardMacroMemory());
  bool shown = shown_ && gauge_.look != GaugeLook::Hidden;
  // The numbers drawn, also as the control's text for whoever reads it.
  std::wstring t = shown ? std::to_wstring(gauge_.withNames) + L" (" + std::to_wstring(gauge_.withoutNames) + L") / " +
                               std::to_wstring(gauge_.capacity)
                         : std::wstring();
  (void)SetWindowTextW(g, t.c_str());
  ShowWindow(g, shown ? SW_SHOW : SW_HIDE);
  (void)InvalidateRect(g, nullptr, FALSE);
}

bool CMacroPage::OnDrawItem(const DRAWITEMSTRUCT& dis) {
  if (dis.CtlID != static_cast<UINT>(FUNC_MACRO_GAUGE.id)) return false;
  HDC dc = dis.hDC;
  RECT r = dis.rcItem;
  UniqueBrush back(CreateSolidBrush(RGB(48, 48, 48)));
  (void)FillRect(dc, &r, back.get());  // a failed brush fills nothing: the gauge is only information
  if (gauge_.look == GaugeLook::Hidden || gauge_.capacity == 0) return true;
  // Fits: green, the image with names; names dropped: amber, the image
  // without them; too long: the whole bar red.
  COLORREF colour = RGB(56, 168, 80);
  size_t need = gauge_.withNames;
  if (gauge_.look == GaugeLook::NamesDropped) {
    colour = RGB(232, 160, 32);
    need = gauge_.withoutNames;
  } else if (gauge_.look == GaugeLook::TooLong) {
    colour = RGB(208, 48, 48);
    need = gauge_.capacity;
  }
  RECT bar = r;
  InflateRect(&bar, -1, -1);
  bar.right = bar.left + static_cast<LONG>(static_cast<double>(bar.right - bar.left) *
                                           std::min(1.0, static_cast<double>(need) / static_cast<double>(gauge_.capacity)));
  // A sliver even for a nearly empty memory, so the look can be told.
  bar.right = std::max(bar.right, bar.left + 3);
  UniqueBrush fill(CreateSolidBrush(colour));
  (void)FillRect(dc, &bar, fill.get());
  std::wstring t = windowText(dis.hwndItem);
  SelectObjectRestorer font(dc, GetStockObject(DEFAULT_GUI_FONT));
  (void)SetBkMode(dc, TRANSPARENT);       // previous mode
  (void)SetTextColor(dc, RGB(255, 255, 255));  // previous colour
  (void)DrawTextW(dc, t.c_str(), static_cast<int>(t.size()), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  return true;
}

}  // namespace kv
