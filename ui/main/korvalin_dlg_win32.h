// The main window: a frame that keeps the window's life cycle (initialisation,
// deferred initialisation, private messages, timers, tray icon, shutdown) and
// hands every command to the part of the window that owns its id: the
// keyboard view, the lighting panel and profile switching. It also carries
// out on the user-interface thread everything the device link asks of it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "app/window_part_win32.h"
#include "base/handles_win32.h"
#include "device/device_ui.h"
#include "device_events/apply.h"
#include "device_events/events.h"
#include "keys/edit_history.h"
#include "keys/working_config.h"
#include "profile/profile_store.h"
#include "profile/profile_switch_win32.h"
#include "skin/base_dialog_win32.h"
#include "skin/picture_preloader_win32.h"
#include "ui/main/about_dlg_win32.h"
#include "ui/main/keyboard_focus_win32.h"
#include "ui/main/keyboard_view_win32.h"
#include "ui/main/lighting_panel_win32.h"
#include "ui/main/status_line_win32.h"
#include "ui/main/tray_icon_win32.h"

namespace kv {

inline constexpr int kNamedEventCount = 208;

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

class CKorvalinDlg : public CBaseDialog, public DeviceUi, private ChangeRecorder {
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
  void ScheduleTask(WindowTask task) override;
  void SetTrayIcon(TrayIcon icon) override;
  void ShowMessage(std::u16string_view text) override;
  void ShowStatus(std::u16string_view text, unsigned durationMs) override;
  bool Initialised() const override { return initialised_; }
  void SetApplyEnabled(bool enabled) override;
  bool ApplyEnabled() const override { return unsaved_; }
  void ShowProgress(bool visible) override;
  void RefreshKeyButtons() override;
  bool ConfirmOverwriteUnread() override;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  bool OnCommand(WORD id, WORD code, HWND control) override;
  void OnPaint() override;
  void OnTimer(UINT_PTR id) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  bool PreTranslateMessage(MSG& msg) override;

 private:
  // The steps of OnInitDialog, in their order.
  void AddAboutToSystemMenu();
  void SetWindowIcons();
  void StartDeviceLink();
  static void RequireLayeredWindows();
  void BuildDefaultConfiguration();
  void StartPictureDecoding();
  // The surfaces of the window's first look, or the rest.
  void LoadSkinSurfaces(bool firstLook);
  UniqueBitmap LoadSkinPicture(const std::wstring& path) override;
  void ReadWebLink();
  void SetUpControls();
  void BuildParts();
  void MakeTrayWindow();
  void CreateNamedEvents();
  void FillLists();

  void OnDeferredInit();
  void OnShow();
  void WaitUntilBuilt() const;
  void PrepareEditor();
  // The reload's keyboard reads, made ahead by the presence worker while the
  // window is still being built.
  struct ReloadReads {
    bool keys = false;  // the cache file holds what was read
    LightingRead lighting;
  };
  [[nodiscard]] std::unique_ptr<ReloadReads> ReadForReload();
  void OnReload();
  // The status line's standing text while the window shows the defaults
  // because the keyboard's configuration could not be read.
  void ShowWhetherDefaults();
  void OnGBankRefresh();
  // A question with our own buttons beside Cancel (the default); the id of
  // the button chosen.
  int Ask(const std::wstring& question, std::span<const TASKDIALOG_BUTTON> buttons);
  enum class EditsChoice { kApply, kDiscard, kKeep };
  // Apply / Discard / Cancel for edits not applied yet.
  [[nodiscard]] EditsChoice AskAboutEdits();
  // Before the program ends or an import replaces the configuration: true
  // when no edit waits, or the user applied them or chose to drop them.
  [[nodiscard]] bool MayDropEdits();
  void Close();
  void Shutdown();
  void OpenHelp();
  // The main window's Apply; a failure is said on the status line (the
  // button stays enabled). True when nothing was left to apply.
  // Apply with its failure said on the status line.
  ApplyResult ApplyNow(bool allProfiles = false);
  void OpenAbout();
  void ApplyProfileTexts();
  // Apply's accessible name: its caption and the changes waiting.
  void ShowApplyName();

  // ChangeRecorder: the user's changes kept per on-board profile for undo.
  void ChangeStarting() override;
  void ChangeMade(StepKind kind) override;
  void FlipChanged(int before, int after) override;
  void PushStep(EditStep step);
  // Undo (or redo) of the active profile's next step, with the window
  // redrawn before it returns. False when there was nothing to do.
  bool UndoRedo(bool undo);
  // A step's label in plain words; the WorkingConfig lock is held.
  std::u16string StepLabel(const EditStep& step) const;
  void ReadHistoryTexts();
  // The Apply tooltip: what waits, one change a line; takes the WorkingConfig lock.
  void RefreshApplyTooltip();
  std::vector<MenuItem> UndoMenuItems();

  // The part owning a command or control id; null for the frame's own.
  CWindowPart* PartOf(int id);
  CPngButton* ButtonOf(int id);

  WorkingConfig& config_;
  ApplySnapshot& snapshot_;
  ProgramPaths paths_;
  UniqueKernelHandle mutex_;
  bool suppressFirstShow_ = false;

  HICON icon_ = nullptr;       // shared resource icons: never destroyed
  HICON smallIcon_ = nullptr;
  std::atomic<bool> initialised_{false};
  std::atomic<bool> windowBuilt_{false};  // set at the end of OnInitDialog
  std::atomic<bool> unsaved_{false};
  int applyWaiting_ = 0;  // changes Apply will write, as its tooltip lists them; the window thread's
  std::mutex readAheadLock_;
  std::unique_ptr<ReloadReads> readAhead_;  // taken by the next reload
  std::mutex reloadReadsLock_;              // one reload's reads at a time
  int trayIconId_ = 0;
  CTrayIcon tray_;
  std::unique_ptr<CAboutDlg> about_;

  std::unique_ptr<ProfileStore> store_;
  std::unique_ptr<ApplyCommand> apply_;
  // Declared after the store: destroyed first, it joins the presence workers
  // that still use the store.
  std::unique_ptr<DeviceEvents> events_;
  int deviceCount_ = 0;

  // The main window's and the composite editor's pictures, decoded on a
  // thread of their own from construction until the deferred initialisation.
  std::unique_ptr<SkinPicturePreloader> pictures_;
  bool editorPrepared_ = false;
  std::array<bool, std::tuple_size_v<MainSurfaces>> surfaceMade_{};
  std::map<std::wstring_view, PreparedPicture> keptPictures_;  // by name, while a surface still needs one
  MainSurfaces surfaces_;
  // The frame's own controls: title bar, link, version, Apply, OK, Cancel.
  struct FrameControls : CWindowPart {
    using CWindowPart::CWindowPart;
    bool OnCommand(WORD, WORD) override { return false; }
  };
  std::unique_ptr<FrameControls> frame_;
  std::unique_ptr<CKeyboardView> keyboard_;
  std::unique_ptr<CKeyboardFocus> keyFocus_;
  std::unique_ptr<CLightingPanel> lighting_;
  std::unique_ptr<CProfileSwitch> profiles_;
  std::unique_ptr<CStatusLine> status_;
  // The status text another thread asked for, taken by the window's thread.
  std::mutex statusLock_;
  std::u16string pendingStatus_;
  unsigned pendingStatusMs_ = 0;
  bool applyFailureShown_ = false;  // the status line says the last Apply failed

  std::wstring webLink_;
  std::wstring settingsFile_;
  std::vector<UniqueKernelHandle> namedEvents_;
  bool shutDown_ = false;
  // A reload asked for while the editor was open: it runs once the editor
  // closes, so the editor never commits copies of a configuration replaced
  // under it.
  bool reloadWaiting_ = false;

  // Touched on the window's thread only; other threads post kMsgWaitingChanged.
  EditHistory history_;
  HistoryTexts historyTexts_;
  std::unique_ptr<ConfigCapture> capture_;  // of the change under way
  DWORD windowThread_ = 0;
};

}  // namespace kv
