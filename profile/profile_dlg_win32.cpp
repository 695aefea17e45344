#include "profile/profile_dlg_win32.h"

#include <commctrl.h>

#include "app/settings_win32.h"
#include "base/log_win32.h"
#include "base/text_table.h"
#include "base/wide_win32.h"
#include "device/protocol.h"
#include "profile/profile_file_dialog_win32.h"
#include "profile/profile_store.h"
#include "resources/control_ids.h"
#include "skin/placement_win32.h"
#include "widgets/ui_font_win32.h"

namespace kv {
namespace {

using namespace ids::profile_dlg;

constexpr ids::SkinControl kButtons[] = {FUNC_LOAD, FUNC_ADD, FUNC_DELETE, CONTROL2_APPLY, CONTROL_OK, CONTROL_CANCEL};

struct Column {
  const wchar_t* title;
  int width;
};
// Active (the mark), name, folder.
constexpr Column kColumns[] = {{L"\x6FC0\x6D3B", 60}, {L"\x540D\x79F0", 120}, {L"\x8DEF\x5F84", 230}};

// The state image of a list row: 1 unmarked, 2 marked.
bool markedState(UINT state) { return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2; }

void setMark(HWND list, int row, bool marked) {
  LVITEMW item{};
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.state = INDEXTOSTATEIMAGEMASK(marked ? 2 : 1);
  (void)SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

}  // namespace

CKorvalin_DlgProfile::CKorvalin_DlgProfile(CWindow* parent, std::wstring skinFile, std::wstring skinsFolder,
                                           ProfileManagerHost& host)
    : CBaseDialog(IDD_PROFILE, parent, std::move(skinFile), std::move(skinsFolder)), host_(host) {}

HWND CKorvalin_DlgProfile::list() const { return item(PROGRAM_LIST.id); }

CPngButton& CKorvalin_DlgProfile::Button(int id) { return buttons_.Attach(hwnd(), id); }

BOOL CKorvalin_DlgProfile::OnInitDialog() {
  buttons_.Clear();  // the windows of the last opening are gone
  (void)CBaseDialog::OnInitDialog();
  ++openCount_;
  CentreOnOwner();
  LoadSurfaces();
  SkinControls();
  MakeColumns();
  FillRows();
  EnableApply(false);
  return TRUE;
}

void CKorvalin_DlgProfile::CentreOnOwner() {
  // Over the keyboard picture it was opened from, not at the screen's corner.
  HWND owner = GetWindow(hwnd(), GW_OWNER);
  RECT o{}, d{};
  if (!owner || !GetWindowRect(owner, &o) || !GetWindowRect(hwnd(), &d)) return;
  int x = (o.left + o.right - (d.right - d.left)) / 2, y = (o.top + o.bottom - (d.bottom - d.top)) / 2;
  if (!SetWindowPos(hwnd(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE))
    ReportWin32Failure(L"SetWindowPos(profile manager)");
}

void CKorvalin_DlgProfile::LoadSurfaces() {
  if (surfacesLoaded_) return;
  // A picture without an image object ends the program, as at start-up; an
  // undecodable one leaves its faces blank.
  const std::pair<SkinSurface*, const wchar_t*> pictures[] = {
      {&normal_, L"Profile_normal.jpg"}, {&over_, L"Profile_over.jpg"}, {&down_, L"Profile_down.jpg"},
      {&disabled_, L"Profile_disable.jpg"}};
  for (auto [surface, file] : pictures)
    if (!makeSkinSurface(*surface, loadSkinPictureOrExit(file), hwnd())) ReportWin32Failure(L"makeSkinSurface");
  surfacesLoaded_ = true;
}

void CKorvalin_DlgProfile::SkinControls() {
  // A disabled button (Apply with nothing to apply) has a face of its own,
  // greyed: the pressed one would look as if it were being pressed. The set
  // face is the normal one.
  for (const ids::SkinControl& c : kButtons)
    PlaceSkinnedControl(Button(c.id), dataFile(), L"BUTTONINFO", c.key, &normal_, &over_, &down_, &disabled_,
                        &normal_);
  PlaceControl(list(), dataFile(), L"BUTTONINFO", PROGRAM_LIST.key);
  // The resource compiler makes every control visible; Test never shows.
  (void)ShowWindow(item(FUNC_TEST), SW_HIDE);  // answers the previous visibility
}

void CKorvalin_DlgProfile::MakeColumns() {
  HWND l = list();
  (void)SendMessageW(l, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES);
  // The column titles are Chinese whatever the language: a face that has
  // their glyphs, since a system without font linking (Wine) draws none in
  // the dialog's Latin face.
  LOGFONTW lf{};
  lf.lfHeight = FontHeightForPoints(9, SkinDpi(hwnd()));
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  std::u16string titles;
  for (const Column& c : kColumns)
    for (const wchar_t* t = c.title; *t; ++t) titles.push_back(static_cast<char16_t>(*t));
  const std::wstring face = ChooseFace(kCjkFaces, titles);
  face.copy(lf.lfFaceName, LF_FACESIZE - 1);
  headerFont_ = CreateUiFont(lf);
  if (HWND header = reinterpret_cast<HWND>(SendMessageW(l, LVM_GETHEADER, 0, 0)); header && headerFont_)
    (void)SendMessageW(header, WM_SETFONT, reinterpret_cast<WPARAM>(headerFont_.get()), TRUE);
  for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.cx = kColumns[i].width;
    col.iSubItem = i;
    col.pszText = const_cast<wchar_t*>(kColumns[i].title);
    if (SendMessageW(l, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col)) != i)
      ReportWin32Failure(L"LVM_INSERTCOLUMNW");
  }
}

void CKorvalin_DlgProfile::FillRows() {
  ProfileStore* store = host_.profileStore();
  rows_ = store ? ProfileList::onBoard(*store, GetActiveProfile()) : ProfileList{};
  showingMark_ = true;
  (void)SendMessageW(list(), LVM_DELETEALLITEMS, 0, 0);
  for (int r = 0; r < static_cast<int>(rows_.rows().size()); ++r) InsertRow(r);
  showingMark_ = false;
  ShowMark();
}

void CKorvalin_DlgProfile::InsertRow(int row) {
  const ProfileRow& r = rows_.rows()[static_cast<size_t>(row)];
  HWND l = list();
  showingMark_ = true;  // a new row comes with its own unmarked state
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = const_cast<wchar_t*>(L"");
  if (SendMessageW(l, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) != row) ReportWin32Failure(L"LVM_INSERTITEMW");
  std::wstring name = wide(r.name), folder = wide(r.folder);
  item.iSubItem = 1;
  item.pszText = name.data();
  (void)SendMessageW(l, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  item.iSubItem = 2;
  item.pszText = folder.data();
  (void)SendMessageW(l, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  showingMark_ = false;
}

void CKorvalin_DlgProfile::ShowMark() {
  showingMark_ = true;
  for (int r = 0; r < static_cast<int>(rows_.rows().size()); ++r) setMark(list(), r, r == rows_.marked());
  showingMark_ = false;
}

void CKorvalin_DlgProfile::OnMarkChanged(int row, bool marked) {
  if (marked)
    rows_.mark(row);
  else if (row == rows_.marked())
    rows_.mark(-1);
  ShowMark();  // one mark in the list: marking a row clears the others
  EnableApply(true);
}

void CKorvalin_DlgProfile::markActiveProfile(int profile) {
  if (!opened()) return;
  int row = -1;
  for (int r = 0; r < static_cast<int>(rows_.rows().size()); ++r)
    if (rows_.rows()[static_cast<size_t>(r)].profile == profile) row = r;
  rows_.mark(row);
  ShowMark();
  EnableApply(false);
}

void CKorvalin_DlgProfile::Load() {
  ProfileStore* store = host_.profileStore();
  if (!store) return;
  // The file is only listed: nothing reads or checks it.
  auto path = AskProfileFileToOpen(hwnd(), store->profileFolder().wstring() + L"\\*.kvp");
  if (!path) return;
  rows_.add(std::filesystem::path(*path));
  InsertRow(static_cast<int>(rows_.rows().size()) - 1);
  EnableApply(true);
}

void CKorvalin_DlgProfile::New() {
  ProfileStore* store = host_.profileStore();
  if (!store) return;
  (void)store->ensureProfileFolder();  // a missing folder shows in the dialog
  auto path = AskProfileFileToSave(hwnd(), store->profileFolder().wstring() + wide(text(TextId::PROFILE_NEW)));
  if (!path) return;
  if (!store->createDefaultProfile(std::filesystem::path(*path))) {
    // No row for a file that is not there.
    LogLine(L"the new profile file was not written: " + *path);
    return;
  }
  rows_.add(std::filesystem::path(*path));
  InsertRow(static_cast<int>(rows_.rows().size()) - 1);
  EnableApply(true);
}

void CKorvalin_DlgProfile::Delete() {
  int row = static_cast<int>(SendMessageW(list(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (!rows_.remove(row)) return;  // no row selected
  showingMark_ = true;
  (void)SendMessageW(list(), LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
  showingMark_ = false;
  EnableApply(true);
}

void CKorvalin_DlgProfile::Apply() {
  // Registry failures are reported by the writer and otherwise ignored:
  // nothing reads these entries back.
  for (const auto& [key, value] : rows_.settingsEntries()) (void)WriteProfileText(kProfilesSection, wide(key), wide(value));
  if (std::optional<int> profile = rows_.profileToActivate()) {
    if (int result = SetActiveProfile(*profile); result != kResultSuccess)
      LogFailure(L"SetActiveProfile", static_cast<unsigned long>(result));  // a result code
  }
  host_.afterManagerApply();
  EnableApply(false);
}

void CKorvalin_DlgProfile::Closing() {
  EnableApply(false);
  if (openCount_ > 0) --openCount_;
}

void CKorvalin_DlgProfile::OnOK() {
  Apply();
  Closing();
  CBaseDialog::OnOK();
}

void CKorvalin_DlgProfile::OnCancel() {
  Closing();
  CBaseDialog::OnCancel();
}

void CKorvalin_DlgProfile::EnableApply(bool enabled) {
  applyEnabled_ = enabled;
  HWND apply = item(CONTROL2_APPLY.id);
  if (!apply) return;
  // A disabled button keeps no focus: without one the dialog would take no
  // keys (F1, Enter, Escape) until the next click.
  if (!enabled && GetFocus() == apply) (void)SetFocus(list());  // answers the previous focus
  (void)EnableWindow(apply, enabled ? TRUE : FALSE);  // previous state
}

bool CKorvalin_DlgProfile::OnCommand(WORD id, WORD code, HWND control) {
  if (code == BN_CLICKED) {
    switch (id) {
      case FUNC_LOAD.id:
        Load();
        return true;
      case FUNC_ADD.id:
        New();
        return true;
      case FUNC_DELETE.id:
        Delete();
        return true;
      case CONTROL2_APPLY.id:
        Apply();
        return true;
      default:
        break;
    }
  }
  return CBaseDialog::OnCommand(id, code, control);
}

bool CKorvalin_DlgProfile::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_NOTIFY: {
      const auto* n = reinterpret_cast<const NMLISTVIEW*>(lp);
      if (n->hdr.idFrom != static_cast<UINT_PTR>(PROGRAM_LIST.id) || n->hdr.code != LVN_ITEMCHANGED) break;
      if (!showingMark_ && (n->uChanged & LVIF_STATE) && ((n->uNewState ^ n->uOldState) & LVIS_STATEIMAGEMASK) &&
          n->iItem >= 0 && (n->uOldState & LVIS_STATEIMAGEMASK) != 0)  // 0: a new row's first state
        OnMarkChanged(n->iItem, markedState(n->uNewState));
      result = 0;
      return true;
    }
    case WM_HELP:
      result = TRUE;
      return true;  // F1 is taken in PreTranslateMessage
    default:
      break;
  }
  return CBaseDialog::OnMessage(msg, wp, lp, result);
}

bool CKorvalin_DlgProfile::PreTranslateMessage(MSG& msg) {
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_F1) {
    host_.openHelp();
    return true;
  }
  return CBaseDialog::PreTranslateMessage(msg);
}

}  // namespace kv
