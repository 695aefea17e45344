#include "profile/profile_switch_win32.h"

#include <mutex>

#include "base/log_win32.h"
#include "base/text_table.h"
#include "base/text_table_win32.h"
#include "base/wide_win32.h"
#include "device/device_ui.h"
#include "device/protocol.h"
#include "profile/profile_file_dialog_win32.h"
#include "profile/profile_store.h"
#include "resources/control_ids.h"
#include "widgets/message_box_win32.h"

namespace kv {
namespace {

using namespace ids::main_dlg;

constexpr ids::SkinControl kProfileButtons[kOnBoardProfiles] = {FUNC_PROFILE1, FUNC_PROFILE2, FUNC_PROFILE3};
// A profile button's profile is its offset from the first.
static_assert(FUNC_PROFILE2.id == FUNC_PROFILE1.id + 1 && FUNC_PROFILE3.id == FUNC_PROFILE1.id + 2);

}  // namespace

void CProfileSwitch::Place() {
  for (const ids::SkinControl& b : {FUNC_PROFILES, FUNC_PROFILE1, FUNC_PROFILE2, FUNC_PROFILE3})
    PlaceButton(b.id, b.key, kSurfaceNormal, kSurfaceOver, kSurfaceDown, kSurfaceNormal, kSurfaceSet);
  (void)SetWindowTextW(item(FUNC_PROFILES.id), L"");  // named in the deferred initialisation
  Attach(FUNC_PROFILES.id).setCaptionStyle(true, 10, L"Arial", RGB(0xE4, 0xE4, 0xE4), CPngButton::kDefaultCaptionFormat);
}

void CProfileSwitch::BuildProfileMenu() {
  std::u16string defaultName(text(TextId::DEFAULT_PROFILE_NAME));
  ProfileMenu menu = links_.store ? profileMenu(*links_.store, GetActiveProfile(), defaultName)
                                  : ProfileMenu{{{kMenuDefaultProfile, defaultName}}, 0};
  if (!menu_) {
    menu_.reset(CreatePopupMenu());
    if (!menu_) ReportWin32Failure(L"CreatePopupMenu");
  } else {
    for (int i = GetMenuItemCount(menu_.get()) - 1; i >= 0; --i)
      if (!RemoveMenu(menu_.get(), static_cast<UINT>(i), MF_BYPOSITION)) ReportWin32Failure(L"RemoveMenu");
  }
  if (menu_) {
    for (const ProfileMenuItem& i : menu.items) {
      std::wstring t = wide(i.text);
      BOOL added = i.id == 0 ? AppendMenuW(menu_.get(), MF_SEPARATOR, 0, nullptr)
                             : AppendMenuW(menu_.get(), MF_STRING, static_cast<UINT_PTR>(i.id), t.c_str());
      if (!added) ReportWin32Failure(L"AppendMenuW(profile)");
    }
    // CheckMenuItem answers the previous state.
    (void)CheckMenuItem(menu_.get(), static_cast<UINT>(menu.marked), MF_BYPOSITION | MF_CHECKED);
  }
  std::wstring name = wide(menu.markedText());
  (void)SetWindowTextW(item(FUNC_PROFILES.id), name.c_str());  // the control exists: the template has it
  Attach(FUNC_PROFILES.id).setTooltip(wide(text(TextId::PROFILE_TIP)) + name, true);
  if (HWND b = item(FUNC_PROFILES.id)) (void)InvalidateRect(b, nullptr, TRUE);  // the caption is drawn by the button
}

void CProfileSwitch::ShowSelected(int profile) {
  for (int i = 0; i < kOnBoardProfiles; ++i)
    if (CPngButton* b = Button(kProfileButtons[i].id)) {
      b->setSetState(i == profile, true);
      b->setAccessibleSelected(i == profile);
    }
}

void CProfileSwitch::UpdateSelectedProfile() {
  if (std::optional<int> shown = shownProfile(GetActiveProfile())) {
    ShowSelected(*shown);
    SetSelectedProfile(*shown);
  }
  BuildProfileMenu();
}

void CProfileSwitch::CloseDialogs() {
  manager_.closeIfOpen();
}

void CProfileSwitch::OnProfileButton(int profile) {
  // The profile's lighting is read first; its report rate shows only once
  // the switch is decided, so that nothing of the profile shows while the
  // save prompt asks about the one still active.
  if (links_.holdReportRate) links_.holdReportRate(true);
  if (links_.selectLighting) links_.selectLighting(profile);
  // Only a real change of profile is written to the keyboard.
  bool switched = GetActiveProfile() != profile && switcher_.switchProfile(profile, *this);
  if (links_.holdReportRate) links_.holdReportRate(false);
  if (switched) ShowSelected(profile);
}

// ---- the switch's host ----------------------------------------------------------------

bool CProfileSwitch::editorOpen() { return links_.editorOpen && links_.editorOpen(); }

bool CProfileSwitch::unappliedChanges() {
  return (links_.ui && links_.ui->ApplyEnabled()) || (manager_.opened() && manager_.applyEnabled());
}

HWND CProfileSwitch::PromptOwner() const { return manager_.isOpen() ? manager_.hwnd() : window(); }

void CProfileSwitch::refuseWhileEditorOpen() {
  (void)ShowMessageBox(PromptOwner(), wide(text(TextId::PROFILE_SEELCT_PROMPT2)).c_str(), L"", MB_OK);  // OK only
}

bool CProfileSwitch::askSaveChanges() {
  return ShowMessageBox(PromptOwner(), wide(text(TextId::PROFILE_SELECT_PROMPT)).c_str(), L"",
                     MB_YESNO | MB_DEFBUTTON2) == IDYES;
}

bool CProfileSwitch::applyAndWait() { return links_.apply && links_.apply(); }

void CProfileSwitch::revertToCache() {
  // The store shows a failed load once its lock is released; the edits then
  // stay, with Apply disabled as for a revert.
  if (links_.store && !links_.store->revertToCache())
    LogLine(L"the profile cache could not be loaded again");
}

int CProfileSwitch::setActiveProfile(int profile) { return SetActiveProfile(profile); }

void CProfileSwitch::markManagerRow(int profile) { manager_.markActiveProfile(profile); }

void CProfileSwitch::showActiveProfile(int) {
  if (!links_.store || !links_.ui) return;
  StoreConfigLock lock = links_.store->lockConfig();
  links_.ui->RefreshKeyButtons();
}

// ---- the profile manager's host -----------------------------------------------------------

void CProfileSwitch::afterManagerApply() {
  // The window's reload: the store reads the keyboard (disabling Apply), the
  // profile buttons, the lighting and the profile menu follow.
  if (links_.ui) links_.ui->RequestReload();
}

void CProfileSwitch::openHelp() {
  if (links_.openHelp) links_.openHelp();
}

// ---- import and export -----------------------------------------------------------------------

namespace {

// The file dialogs start in the profile folder, where the profiles live,
// not in the working folder (the program's, where saving may be refused).
std::wstring InitialProfileName(const ProfileStore& store) {
  (void)store.ensureProfileFolder();  // a missing folder leaves the dialog in its default one
  return (store.profileFolder() / L"*.kvp").wstring();
}

}  // namespace

std::wstring WriteFailureText(const std::wstring& languageFile, WriteFailure failure) {
  switch (failure) {
    case WriteFailure::kNone:
      return ReadLanguageText(languageFile, added_text::kCacheNotSaved);
    case WriteFailure::kNoAnswer:
      return ReadLanguageText(languageFile, added_text::kNoAnswer);
    case WriteFailure::kMacrosRefused:
      return ReadLanguageText(languageFile, added_text::kMacrosRefused);
    case WriteFailure::kKeysRefused:
      return ReadLanguageText(languageFile, added_text::kKeysRefused);
    case WriteFailure::kNotWritten:
      break;
  }
  return ReadLanguageText(languageFile, added_text::kNotWritten);
}

std::wstring CProfileSwitch::ShownPath(const std::filesystem::path& path) const {
  std::filesystem::path documents = links_.store->profileFolder().parent_path();
  std::filesystem::path inside = path.lexically_normal().lexically_relative(documents.lexically_normal());
  if (inside.empty() || *inside.begin() == L"..") return path.wstring();
  return (documents.filename() / inside).wstring();
}

void CProfileSwitch::Import() {
  if (!links_.store) return;
  auto path = AskProfileFileToOpen(window(), InitialProfileName(*links_.store));
  if (!path) return;
  // The store shows its own messages (a file that is no profile file), once
  // its locks are released.
  std::filesystem::path file(*path);
  std::wstring name = file.filename().wstring();
  // A valid file replaces the edits that wait: the user says what becomes of
  // them first. A file that is no profile file is refused with them kept.
  switch (links_.store->importProfile(file, links_.mayReplaceEdits)) {
    case ImportResult::kWritten:
      if (links_.ui)
        links_.ui->ShowStatus(formatText(u16(ReadLanguageText(context_.languageFile, added_text::kImported)),
                                         {std::u16string_view(u16(name))}),
                              kStatusConfirmationMs);
      break;
    case ImportResult::kNotWritten:
      if (links_.ui)
        links_.ui->ShowStatus(u16(WriteFailureText(context_.languageFile, links_.store->lastWriteFailure())),
                              kStatusFailureMs);
      break;
    case ImportResult::kNotLoaded:
    case ImportResult::kDeclined:
      break;
  }
}

void CProfileSwitch::Export() {
  if (!links_.store) return;
  auto path = AskProfileFileToSave(window(), InitialProfileName(*links_.store));
  if (!path) return;
  // A folder the user may not write to (the program's, under Program
  // Files) fails here: said, not only logged.
  bool saved = links_.store->exportProfile(std::filesystem::path(*path));
  if (!saved) LogLine(L"the profile file was not written: " + *path);
  if (links_.ui)
    links_.ui->ShowStatus(
        formatText(u16(ReadLanguageText(context_.languageFile, saved ? added_text::kExported : added_text::kExportFailed)),
                   {std::u16string_view(u16(ShownPath(std::filesystem::path(*path))))}),
        saved ? kStatusConfirmationMs : kStatusFailureMs);
}

// ---- commands ------------------------------------------------------------------------------

bool CProfileSwitch::OnCommand(WORD id, WORD code) {
  if (code != BN_CLICKED) return false;  // menu commands come with 0 too
  switch (id) {
    case FUNC_PROFILE1.id:
    case FUNC_PROFILE2.id:
    case FUNC_PROFILE3.id:
      OnProfileButton(id - FUNC_PROFILE1.id);
      return true;
    case FUNC_PROFILES.id:
      (void)manager_.DoModal();  // the dialog applies its own changes
      return true;
    case IDM_IMPORT:
      Import();
      return true;
    case IDM_EXPORT:
      Export();
      return true;
    default:
      return false;
  }
}

}  // namespace kv
