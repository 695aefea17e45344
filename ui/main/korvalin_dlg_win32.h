// The main window: the skinned dialog that shows the keyboard, brings up the
// device link, lives in the notification area while hidden, and carries out
// on the user-interface thread everything the device link asks of it.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device/apply.h"
#include "device/device_ui.h"
#include "device/events.h"
#include "keys/working_config.h"
#include "profile/profile_store.h"
#include "skin/base_dialog_win32.h"
#include "skin/png_button_win32.h"
#include "skin/skin_picture_win32.h"
#include "ui/main/about_dlg_win32.h"
#include "ui/main/tray_icon_win32.h"

namespace kv {

// Private messages (wParam: the four-letter tag).
inline constexpr UINT kMsgDeferredInit = 0x4D4E;
inline constexpr WPARAM kTagInit = 0x494E4954;  // "INIT"
inline constexpr UINT kTrayCallbackMessage = 0x06BD;
inline constexpr UINT kTrayIconId = 140;
inline constexpr int kNamedEventCount = 208;

// Start-up problems that end the process (no message box; the cause goes to
// the debugger output).
inline constexpr int kExitNoLayeredWindows = 30;

struct ProgramPaths {
  std::wstring programFolder;  // with a trailing backslash
  std::wstring programFileName;
  std::wstring helpFolder;
  std::wstring skinsFolder;
  std::wstring mainSkinFile;
  std::wstring profileSkinFile;
  std::wstring compositeSkinFile;
  std::wstring languageFile;
  std::wstring companion;
};
ProgramPaths BuildProgramPaths(const std::wstring& programFolder, const std::wstring& fileName);

class CKorvalinDlg : public CBaseDialog, public DeviceUi {
 public:
  // Runs the single-instance check: a second start hands over and ends the
  // process here.
  CKorvalinDlg(WorkingConfig& config, ApplySnapshot& snapshot, const ProgramPaths& paths,
               const std::vector<std::wstring>& args);
  ~CKorvalinDlg() override;

  // DeviceUi: callable from any thread; effects land on this window's thread.
  void RequestReload() override;
  void PostShow() override;
  void HideWindow() override;
  void ShowGBank(bool bankB) override;
  void SetTimer(unsigned id, unsigned periodMs) override;
  void KillTimer(unsigned id) override;
  void SetTrayIcon(int resourceId) override;
  void ShowMessage(std::u16string_view text) override;
  bool Initialised() const override { return initialised_; }
  void SetApplyEnabled(bool enabled) override;
  bool ApplyEnabled() const override { return unsaved_; }
  void ShowProgress(bool visible) override;
  void RefreshKeyButtons() override;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  bool OnCommand(WORD id, WORD code, HWND control) override;
  void OnPaint() override;
  void OnNcPaint(HRGN region) override;
  void OnTimer(UINT_PTR id) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 private:
  void OnDeferredInit();
  void OnShow();
  void OnReload();
  void OnGBankRefresh();
  void ApplyGBankLook(bool bankB);
  void UpdateSelectedProfile();
  void Close();
  void Shutdown();
  void OpenHelp();
  void OpenAbout();

  void LoadSkinSurfaces();
  void SetUpControls();
  CPngButton* Button(int id);
  CPngButton& AttachButton(int id);
  void PlaceKeyboard();
  void PlaceLightingPanel();
  void ShowFlip();
  void ApplyProfileTexts();

  WorkingConfig& config_;
  ApplySnapshot& snapshot_;
  ProgramPaths paths_;
  HANDLE mutex_ = nullptr;
  bool suppressFirstShow_ = false;

  HICON icon_ = nullptr;
  HICON smallIcon_ = nullptr;
  std::atomic<bool> initialised_{false};
  std::atomic<bool> unsaved_{false};
  int trayIconId_ = 128;
  CTrayIcon tray_;
  std::unique_ptr<CAboutDlg> about_;

  std::unique_ptr<DeviceEvents> events_;
  std::unique_ptr<ProfileStore> store_;
  std::unique_ptr<ApplyCommand> apply_;

  // main_normal, main_over, main_down, main_disable, the same four again,
  // Arrow, main_color0, main_color1.
  std::array<SkinSurface, 11> surfaces_;
  std::map<int, std::unique_ptr<CPngButton>> buttons_;
  std::array<UniqueBitmap, 10> busyFrames_;
  int busyFrame_ = 0;
  std::vector<UniqueBitmap> pictures_;  // bitmaps shown in static controls
  std::wstring webLink_;
  std::wstring settingsFile_;
  std::vector<HANDLE> namedEvents_;
  int ncPaints_ = 0;
  bool shownOnRequest_ = false;
  bool shutDown_ = false;
};

}  // namespace kv
