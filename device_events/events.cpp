#include "device_events/events.h"

#include <chrono>
#include <cstring>
#include <shared_mutex>

#include "base/text_table.h"
#include "keys/device_records.h"

namespace kv {
namespace {

// The installed handler. Callbacks hold the lock shared while they use it, so
// uninstalling waits for a callback under way and never frees one in use.
std::shared_mutex g_eventsMutex;
DeviceEvents* g_events = nullptr;

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

DeviceEvents::DeviceEvents(DeviceUi& ui) : ui_(ui) {}

DeviceEvents::~DeviceEvents() {
  {
    std::unique_lock lock(g_eventsMutex);
    if (g_events == this) g_events = nullptr;
  }
  stopping_ = true;  // a worker still waiting for the window gives up
  JoinWorkers();
}

void DeviceEvents::OnEvent(const TransportEvent* event) {
  if (!event || !event->request) return;
  const TransportRequest& request = *event->request;
  if (event->kind == kEventReport) {
    if (request.tag == kTagCons) {
      // The usage arrives through the report information; a report without
      // it carries the code in its first two bytes.
      uint16_t code = 0;
      if (request.info && request.info->usage) {
        code = *request.info->usage;
      } else if (request.report && request.length >= 2) {
        code = static_cast<uint16_t>(request.report[0] | (request.report[1] << 8));
      } else {
        return;
      }
      OnConsumerCode(code);
    } else if (request.tag == kTagCtrl) {
      HandOffCommandResponse(request.report, request.report ? request.length : 0);
    }
  } else if (event->kind == kEventDevicesChanged && request.tag == kTagCtrl) {
    int count = static_cast<int>(request.length);
    HandOffDeviceChange(count);
    StartPresenceWorker(count);
  }
}

void DeviceEvents::OnConsumerCode(uint16_t code) {
  switch (code) {
    case kEventGBankToggle: {
      int bank = ToggleGBank();
      SendBankReport();
      ui_.ShowGBank(bank == 1);
      break;
    }
    case kEventLightingChanged:
      ui_.ScheduleTask(WindowTask::kReloadLighting);
      break;
    case kEventProfileChanged:
      // The keyboard moved its active profile itself: the cached one is no
      // longer true, and the reload must read it again.
      ResetActiveProfileCache();
      ui_.ScheduleTask(WindowTask::kReload);
      break;
    case kEventTrayRestore:
      StartWorker(&DeviceEvents::TrayWorker, 0);
      break;
    case kEventTrayBusy:
      StartWorker(&DeviceEvents::TrayWorker, static_cast<int>(TrayIcon::kBusy));
      break;
    default:  // 0x1801-0x1804 and every other code: nothing to do
      break;
  }
}

void DeviceEvents::StartPresenceWorker(int count) { StartWorker(&DeviceEvents::Presence, count); }

void DeviceEvents::StartWorker(void (DeviceEvents::*fn)(int), int arg) {
  std::lock_guard lock(workersMutex_);
  // Join the workers that have ended, so their threads are released and the
  // list stays short however many events come.
  std::erase_if(workers_, [](Worker& w) {
    if (!w.done->load()) return false;
    w.thread.join();
    return true;
  });
  auto done = std::make_shared<std::atomic<bool>>(false);
  workers_.push_back({std::thread([this, fn, arg, done] {
                        (this->*fn)(arg);
                        done->store(true);
                      }),
                      done});
}

size_t DeviceEvents::WorkersHeld() {
  std::lock_guard lock(workersMutex_);
  return workers_.size();
}

void DeviceEvents::JoinWorkers() {
  for (;;) {
    std::vector<Worker> running;
    {
      std::lock_guard lock(workersMutex_);
      running.swap(workers_);
    }
    if (running.empty()) return;
    for (Worker& w : running)
      if (w.thread.joinable()) w.thread.join();
  }
}

void DeviceEvents::TrayWorker(int icon) {
  // 0 asks for the connection icon that the presence worker last set.
  bool expected = false;
  while (!trayBusy_.compare_exchange_weak(expected, true)) {
    expected = false;
    if (stopping_) return;
    sleepMs(1);
  }
  TrayIcon wanted = icon != 0 ? static_cast<TrayIcon>(icon) : connectionIcon_.load();
  if (trayIcon_.exchange(static_cast<int>(wanted)) != static_cast<int>(wanted)) ui_.SetTrayIcon(wanted);
  sleepMs(1);
  trayBusy_.store(false);
}

void DeviceEvents::Presence(int count) {
  if (count < 0) count = 0;
  // The count is taken at once, not when the reads below have ended: a
  // keyboard unplugged (or plugged again) meanwhile starts a worker that
  // compares with this one's count, not with the one before it.
  int previous = 0;
  unsigned run = 0;
  {
    std::lock_guard lock(presenceMutex_);
    previous = devicePresent_.load();
    if (count == previous) return;
    devicePresent_ = count;
    run = ++presenceRuns_;
  }
  // A newer change took over: what this worker would still say is no longer true.
  auto overtaken = [&] { return presenceRuns_.load() != run; };
  if (count != 0) {
    std::array<uint8_t, kKeyTableSize> table{};
    KeySlotTemplate factory;
    if (ReadDefaultKeyTable(table) == kResultSuccess && keySlotTemplateFromBytes(table, factory)) {
      setCurrentKeySlotTemplate(factory);
      defaultKeyTableRead_ = true;
    } else {
      ui_.ShowMessage(text(TextId::MAIN_DEFAULT_MATRIX_PROMPT));
    }
    std::array<uint8_t, kInfoBlockSize> info{};
    if (ReadInfoBlock(info) == kResultSuccess)
      macroMemorySize_ = MacroMemoryBytes(info);
    // Presence again after the reads: the keyboard may have gone while they ran.
    if (overtaken()) return;
    ui_.RequestReload();
    if (overtaken()) return;
  } else if (previous != 0) {
    ResetActiveProfileCache();
    ui_.HideWindow();
  }
  // A short wait: the first show follows this, so the window's start-up
  // waits for it.
  while (!ui_.Initialised()) {
    if (stopping_) return;
    sleepMs(2);
  }
  TrayIcon icon = count != 0 ? TrayIcon::kKeyboard : TrayIcon::kNoKeyboard;
  {
    // The tray-icon workers' flag also orders this change with theirs.
    bool expected = false;
    while (!trayBusy_.compare_exchange_weak(expected, true)) {
      expected = false;
      sleepMs(1);
    }
    // Checked under the flag: a newer worker sets its icon after this one's.
    bool current = !overtaken();
    if (current) {
      connectionIcon_ = icon;
      trayIcon_ = static_cast<int>(icon);
      ui_.SetTrayIcon(icon);
    }
    trayBusy_.store(false);
    if (!current) return;
  }
  if (!firstShowDone_.load()) {
    if (count != 0) ui_.PostShow();
    firstShowDone_ = true;
  }
}

int KV_TRANSPORT_CALL OnTransportEvent(const TransportEvent* event) {
  std::shared_lock lock(g_eventsMutex);
  if (g_events) {
    g_events->OnEvent(event);
  } else {
    DefaultTransportCallback(event);
  }
  return 1;
}

void InstallDeviceEvents(DeviceEvents* events) {
  std::unique_lock lock(g_eventsMutex);
  g_events = events;
}

DeviceEvents* InstalledDeviceEvents() {
  std::shared_lock lock(g_eventsMutex);
  return g_events;
}

}  // namespace kv
