// The keyboard's events: the one transport callback, the presence worker
// that follows attachment and removal, and the tray-icon workers.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/device_ui.h"
#include "device/protocol.h"
#include "device/transport.h"

namespace kv {

// Consumer event codes the keyboard sends.
inline constexpr uint16_t kEventGBankToggle = 0x02FF;
inline constexpr uint16_t kEventLightingChanged = 0x0401;
inline constexpr uint16_t kEventProfileChanged = 0x0402;
inline constexpr uint16_t kEventTrayRestore = 0x1810;
inline constexpr uint16_t kEventTrayBusy = 0x1811;

class DeviceEvents {
 public:
  explicit DeviceEvents(DeviceUi& ui);
  ~DeviceEvents();  // waits for the workers still running
  DeviceEvents(const DeviceEvents&) = delete;
  DeviceEvents& operator=(const DeviceEvents&) = delete;

  // Everything the callback does with one event. Runs on the transport's
  // threads: it only hands off responses, sets timers, starts workers, sends
  // the bank report and asks the window to refresh.
  void OnEvent(const TransportEvent* event);
  void OnConsumerCode(uint16_t code);

  // Starts a presence worker for the new device count.
  void StartPresenceWorker(int count);

  // "/Start", or no keyboard at start-up: never show the window by itself.
  void SetFirstShowDone(bool done) { firstShowDone_ = done; }
  bool FirstShowDone() const { return firstShowDone_; }
  int DevicePresent() const { return devicePresent_; }
  TrayIcon ConnectionIcon() const { return connectionIcon_; }
  // Macro memory of the keyboard in bytes (information block byte 11 x 128).
  int MacroMemorySize() const { return macroMemorySize_; }
  void SetMacroMemorySize(int bytes) { macroMemorySize_ = bytes; }
  // True once the keyboard's factory key table has been read (it then
  // replaces the built-in key slot template).
  bool DefaultKeyTableRead() const { return defaultKeyTableRead_; }

  // Waits until every worker started so far has finished (tests, shutdown).
  void JoinWorkers();
  // Workers started and not yet joined: those still running, and those that
  // ended since the last start.
  size_t WorkersHeld();

 private:
  void Presence(int count);
  // icon: a TrayIcon, or 0 for the connection icon the presence worker last set.
  void TrayWorker(int icon);
  void StartWorker(void (DeviceEvents::*fn)(int), int arg);

  DeviceUi& ui_;
  // The device count of the latest presence change, stored as its worker
  // starts; presenceRuns_ counts those changes, so that a worker overtaken by
  // a newer one leaves the window and the icon to it.
  std::mutex presenceMutex_;
  std::atomic<int> devicePresent_{0};
  std::atomic<unsigned> presenceRuns_{0};
  std::atomic<bool> firstShowDone_{false};
  std::atomic<TrayIcon> connectionIcon_{TrayIcon::kNoKeyboard};
  std::atomic<int> trayIcon_{0};  // the TrayIcon last set; 0 before the first
  std::atomic<bool> trayBusy_{false};
  std::atomic<int> macroMemorySize_{0};
  std::atomic<bool> stopping_{false};

  std::atomic<bool> defaultKeyTableRead_{false};

  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::mutex workersMutex_;
  std::vector<Worker> workers_;
};

// The callback registered with every request; forwards to the installed
// DeviceEvents (or only hands off responses while none is installed).
int KV_TRANSPORT_CALL OnTransportEvent(const TransportEvent* event);
void InstallDeviceEvents(DeviceEvents* events);
DeviceEvents* InstalledDeviceEvents();

}  // namespace kv
