// What the device link asks of the user interface. The main window
// implements it so that every effect lands on the user-interface thread;
// tests use a recording implementation.
#pragma once

#include <string_view>

namespace kv {

// Private messages and timers of the main window.
inline constexpr unsigned kMsgReload = 0x5452;      // wParam PROF, sent
inline constexpr unsigned kTagProf = 0x50524F46;
inline constexpr unsigned kMsgShow = 0x5350;        // wParam OPEN, posted
inline constexpr unsigned kTagOpen = 0x4F50454E;
inline constexpr unsigned kMsgGBank = 0x5045;       // wParam LED
inline constexpr unsigned kTagLedMessage = 0x004C4544;
inline constexpr unsigned kTimerBusy = 1050;
inline constexpr unsigned kTimerLighting = 1051;
inline constexpr unsigned kTimerReload = 1052;
inline constexpr unsigned kBusyFramePeriodMs = 50;

// Tray icon resources.
inline constexpr int kIconNoKeyboard = 128;
inline constexpr int kIconKeyboard = 141;
inline constexpr int kIconBusy = 142;

class DeviceUi {
 public:
  virtual ~DeviceUi() = default;

  // 0x5452 PROF: reload everything from the keyboard; returns once handled.
  virtual void RequestReload() = 0;
  // 0x5350 OPEN, posted.
  virtual void PostShow() = 0;
  virtual void HideWindow() = 0;
  // The G-key bank changed: refresh the G-key buttons (0x5045 LED) and show
  // the bank on the AB indicator and the G-key labels.
  virtual void ShowGBank(bool bankB) = 0;
  virtual void SetTimer(unsigned id, unsigned periodMs) = 0;
  virtual void KillTimer(unsigned id) = 0;
  virtual void SetTrayIcon(int resourceId) = 0;
  virtual void ShowMessage(std::u16string_view text) = 0;
  // True once the main window's deferred initialisation has run.
  virtual bool Initialised() const = 0;
  // The Apply button and the unsaved-changes flag go together.
  virtual void SetApplyEnabled(bool enabled) = 0;
  virtual bool ApplyEnabled() const = 0;
  virtual void ShowProgress(bool visible) = 0;
  // The key buttons' set states and tooltips after the key table changed.
  virtual void RefreshKeyButtons() = 0;
};

// A window that is not there: every request is dropped. Tools and benchmarks
// that run the device link without a user interface start from it.
class SilentDeviceUi : public DeviceUi {
 public:
  void RequestReload() override {}
  void PostShow() override {}
  void HideWindow() override {}
  void ShowGBank(bool) override {}
  void SetTimer(unsigned, unsigned) override {}
  void KillTimer(unsigned) override {}
  void SetTrayIcon(int) override {}
  void ShowMessage(std::u16string_view) override {}
  bool Initialised() const override { return true; }
  void SetApplyEnabled(bool) override {}
  bool ApplyEnabled() const override { return false; }
  void ShowProgress(bool) override {}
  void RefreshKeyButtons() override {}
};

}  // namespace kv
