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
  (void)code;
  if (id == IDM_IMPORT) {
    // The store shows its own messages, once its locks are released.
    if (auto path = AskProfileFileToOpen(window()); path && store_) store_->importProfile(std::filesystem::path(*path));
    return true;
  }
  // Switching, the profile manager and export come with the profile issues;
  // until then their clicks do nothing.
  return false;
}

}  // namespace kv
