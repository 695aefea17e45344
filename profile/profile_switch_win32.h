// Profile switching in the main window: the three on-board profile buttons,
// the profiles button that opens the profile manager, and the import and
// export commands of the button menu. Later issues fill in switching,
// import, export and the profile manager here.
#pragma once

#include <string>

#include "app/window_part_win32.h"
#include "profile/profile_dlg_win32.h"

namespace kv {

class ProfileStore;

class CProfileSwitch : public CWindowPart {
 public:
  // managerSkinFile: the profile manager's skin description file.
  CProfileSwitch(WindowContext context, const std::wstring& managerSkinFile)
      : CWindowPart(std::move(context)), manager_(context_.dialog, managerSkinFile, context_.skinsFolder) {}

  // At start: the profile buttons and the profiles button placed.
  void Place();
  // Deferred initialisation: the profiles button names the active profile.
  void ShowActiveProfileName(const ProfileStore* store);
  // After a reload: the keyboard's active profile shown selected and made the
  // selected profile of the configuration model.
  void UpdateSelectedProfile();
  // The store that import and export use; set once it exists.
  void UseStore(ProfileStore& store) { store_ = &store; }
  // Shutdown: the profile manager closes if it is open.
  void CloseDialogs();

  bool OnCommand(WORD id, WORD code) override;

 private:
  CKorvalin_DlgProfile manager_;
  ProfileStore* store_ = nullptr;
};

}  // namespace kv
