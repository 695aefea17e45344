// What the device link asks of the user interface. The main window
// implements it so that every effect lands on the user-interface thread;
// tests use a recording implementation.
#pragma once

#include <string_view>

namespace kv {

// What the tray icon shows.
enum class TrayIcon { kNoKeyboard = 1, kKeyboard, kBusy };

// Work the window does on its own thread after the messages already queued;
// asked for again before it ran, it runs once.
enum class WindowTask {
  kReload,          // everything from the keyboard, as RequestReload
  kReloadLighting,  // the lighting, which the keyboard changed itself
};

// How long a status line text stays (DeviceUi::ShowStatus): a confirmation
// briefly, a failure that leaves something waiting long enough to be read.
inline constexpr unsigned kStatusConfirmationMs = 6000;
inline constexpr unsigned kStatusFailureMs = 30000;

class DeviceUi {
 public:
  virtual ~DeviceUi() = default;

  // Reload everything from the keyboard; returns once handled.
  virtual void RequestReload() = 0;
  // Show the window (posted: returns at once).
  virtual void PostShow() = 0;
  virtual void HideWindow() = 0;
  // The G-key bank changed: refresh the G-key buttons and show the bank on
  // the AB indicator and the G-key labels.
  virtual void ShowGBank(bool bankB) = 0;
  virtual void ScheduleTask(WindowTask task) = 0;
  virtual void SetTrayIcon(TrayIcon icon) = 0;
  virtual void ShowMessage(std::u16string_view text) = 0;
  // A line in the window that needs no answer (a confirmation, or a failure
  // that leaves something waiting), shown for durationMs; the next one
  // replaces it. Posted: returns at once.
  virtual void ShowStatus(std::u16string_view text, unsigned durationMs) = 0;
  // True once the main window's deferred initialisation has run.
  virtual bool Initialised() const = 0;
  // The Apply button and the unsaved-changes flag go together.
  virtual void SetApplyEnabled(bool enabled) = 0;
  virtual bool ApplyEnabled() const = 0;
  // The busy animation: shown and running, or stopped and hidden.
  virtual void ShowProgress(bool visible) = 0;
  // The key buttons' set states and tooltips after the key table changed.
  virtual void RefreshKeyButtons() = 0;
  // A part of the keyboard could not be read, even again: true when the user
  // chooses to write over it all the same. Asked with no lock held.
  [[nodiscard]] virtual bool ConfirmOverwriteUnread() { return false; }
};

// A window that is not there: every request is dropped. Tools and benchmarks
// that run the device link without a user interface start from it.
class SilentDeviceUi : public DeviceUi {
 public:
  void RequestReload() override {}
  void PostShow() override {}
  void HideWindow() override {}
  void ShowGBank(bool) override {}
  void ScheduleTask(WindowTask) override {}
  void SetTrayIcon(TrayIcon) override {}
  void ShowMessage(std::u16string_view) override {}
  void ShowStatus(std::u16string_view, unsigned) override {}
  bool Initialised() const override { return true; }
  void SetApplyEnabled(bool) override {}
  bool ApplyEnabled() const override { return false; }
  void ShowProgress(bool) override {}
  void RefreshKeyButtons() override {}
};

}  // namespace kv
