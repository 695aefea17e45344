#include "profile/profile_switch_win32.h"


#include "app/text_table.h"
#include "app/wide_win32.h"
#include "device/protocol.h"
#include "profile/profile_file_dialog_win32.h"
#include "profile/profile_store.h"
#include "profile/profile_switch.h"
#include "resources/control_ids.h"

namespace kv {
namespace {

using namespace ids::main_dlg;

constexpr ids::SkinControl kProfileButtons[kOnBoardProfiles] = {FUNC_PROFILE1, FUNC_PROFILE2, FUNC_PROFILE3};

}  // namespace

void CProfileSwitch::Place() {
  for (const ids::SkinControl& b : {FUNC_PROFILES, FUNC_PROFILE1, FUNC_PROFILE2, FUNC_PROFILE3})
    PlaceButton(b.id, b.key, kSurfaceNormal, kSurfaceOver, kSurfaceDown, kSurfaceNormal, kSurfaceSet);
  (void)SetWindowTextW(item(FUNC_PROFILES.id), L"");  // named in the deferred initialisation
  Attach(FUNC_PROFILES.id).setCaptionStyle(true, 10, L"Arial", RGB(0xE4, 0xE4, 0xE4), CPngButton::kDefaultCaptionFormat);
}

void CProfileSwitch::ShowActiveProfileName(const ProfileStore* store) {
  int active = GetActiveProfile();
  std::wstring name = store ? wide(profilesButtonText(*store, active, text(TextId::DEFAULT_PROFILE_NAME)))
                            : wide(text(TextId::DEFAULT_PROFILE_NAME));
  (void)SetWindowTextW(item(FUNC_PROFILES.id), name.c_str());
  Attach(FUNC_PROFILES.id).setTooltip(wide(text(TextId::PROFILE_TIP)) + name, true);
}

void CProfileSwitch::UpdateSelectedProfile() {
  std::optional<int> shown = shownProfile(GetActiveProfile());
  if (!shown) return;
  for (int i = 0; i < kOnBoardProfiles; ++i)
    if (CPngButton* b = Button(kProfileButtons[i].id)) b->setSetState(i == *shown, true);
  SetSelectedProfile(*shown);
}

void CProfileSwitch::CloseDialogs() {
  if (manager_.isOpen()) manager_.DestroyWindow();
}

bool CProfileSwitch::OnCommand(WORD id, WORD code) {
  if (code != BN_CLICKED) return false;  // menu commands come with 0 too
  switch (id) {
    case IDM_IMPORT:
      // The store shows its own messages, once its locks are released.
      if (auto path = AskProfileFileToOpen(window()); path && store_) store_->importProfile(std::filesystem::path(*path));
      return true;
    case IDM_EXPORT:
      if (auto path = AskProfileFileToSave(window());
          path && store_ && !store_->exportProfile(std::filesystem::path(*path)))
        OutputDebugStringW((L"Korvalin: the profile file was not written: " + *path + L"\n").c_str());
      return true;
    default:
      // Switching and the profile manager come with the profile issues.
      return false;
  }
}

}  // namespace kv
