// Profile switching in the main window: the three on-board profile buttons,
// the profiles button that names the active profile and opens the profile
// manager, and the import and export commands of the button menu.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "app/window_part_win32.h"
#include "base/handles_win32.h"
#include "profile/profile_dlg_win32.h"
#include "profile/profile_store.h"
#include "profile/profile_switch.h"

namespace kv {

class DeviceUi;
class ProfileStore;

// What switching needs of the rest of the window.
struct ProfileSwitchLinks {
  ProfileStore* store = nullptr;
  DeviceUi* ui = nullptr;
  std::function<bool()> editorOpen;         // the composite editor is open
  std::function<bool()> apply;              // the main window's Apply; false when not written
  std::function<void(int)> selectLighting;  // lighting of profile n read and shown, an open panel closed
  // True: the report-rate buttons keep what they show until released with
  // false, which shows the selected profile's rate.
  std::function<void(bool)> holdReportRate;
  std::function<void()> openHelp;
  // Before the working configuration is replaced: true when no edit waits,
  // or the user applied them or chose to drop them (false: keep them).
  std::function<bool()> mayReplaceEdits;
};

// The status line's words for a write that failed (the store's
// lastWriteFailure; kNone: written, but the profile cache not saved).
std::wstring WriteFailureText(const std::wstring& languageFile, WriteFailure failure);

class CProfileSwitch : public CWindowPart, private ProfileSwitchHost, private ProfileManagerHost {
 public:
  // managerSkinFile: the profile manager's skin description file.
  CProfileSwitch(WindowContext context, const std::wstring& managerSkinFile)
      : CWindowPart(std::move(context)), manager_(context_.dialog, managerSkinFile, context_.skinsFolder, *this) {}

  // At start: the profile buttons and the profiles button placed.
  void Place();
  // Set once the store and the other parts exist.
  void Connect(ProfileSwitchLinks links) { links_ = std::move(links); }
  // The profile menu built again (made the first time) for the keyboard's
  // active profile, its marked item's text on the profiles button.
  void BuildProfileMenu();
  // After a reload: the keyboard's active profile shown selected and made the
  // selected profile of the configuration model, and named on the profiles
  // button.
  void UpdateSelectedProfile();
  // Shutdown: the profile manager closes if it is open.
  void CloseDialogs();

  bool OnCommand(WORD id, WORD code) override;

 private:
  void OnProfileButton(int profile);
  void Import();
  void Export();
  // A profile file's path as the status line names it: from the Documents
  // folder on when it lies there ("Documents\Korvalin\mine.kvp").
  std::wstring ShownPath(const std::filesystem::path& path) const;
  void ShowSelected(int profile);
  HWND PromptOwner() const;

  // ProfileSwitchHost
  bool editorOpen() override;
  bool unappliedChanges() override;
  void refuseWhileEditorOpen() override;
  bool askSaveChanges() override;
  bool applyAndWait() override;
  void revertToCache() override;
  int setActiveProfile(int profile) override;
  void markManagerRow(int profile) override;
  void showActiveProfile(int profile) override;
  void buildProfileMenu() override { BuildProfileMenu(); }

  // ProfileManagerHost
  ProfileStore* profileStore() override { return links_.store; }
  void afterManagerApply() override;
  void openHelp() override;

  CKorvalin_DlgProfile manager_;
  ProfileSwitchLinks links_;
  ProfileSwitcher switcher_;
  // Never shown (the only control that would is hidden); the profiles button
  // takes its marked item's text.
  UniqueMenu menu_;
};

}  // namespace kv
