// The main window's Apply: the edited configuration to the cache file and
// the keyboard while a busy animation runs.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "device/device_ui.h"

namespace kv {

class ProfileStore;

inline constexpr unsigned kBusyStart = 1025;
inline constexpr unsigned kBusyStop = 1026;

// A thread with its own message queue that starts and stops the window's
// busy animation. It ends after the stop message.
class BusyWorker {
 public:
  explicit BusyWorker(DeviceUi& ui);
  ~BusyWorker();  // waits for the thread
  BusyWorker(const BusyWorker&) = delete;
  BusyWorker& operator=(const BusyWorker&) = delete;

  void Post(unsigned message);

 private:
  void Run();

  DeviceUi& ui_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<unsigned> queue_;
  std::thread thread_;
};

// What an Apply achieved. The keyboard's part decides whether a profile
// switch may go on; both parts decide whether Apply stays lit.
struct ApplyResult {
  bool written = true;  // the keyboard holds the edits (or nothing was to apply)
  bool saved = true;    // so does the cache file
  bool declined = false;  // the user would not write over what was never read: nothing was tried
  [[nodiscard]] bool ok() const { return written && saved; }
};

class ApplyCommand {
 public:
  ApplyCommand(ProfileStore& store, DeviceUi& ui) : store_(store), ui_(ui) {}
  ApplyCommand(const ApplyCommand&) = delete;
  ApplyCommand& operator=(const ApplyCommand&) = delete;

  // Saves the cache and writes the active profile when there are unsaved
  // changes; on success Apply is disabled. A part of the keyboard that was
  // never read is read first; still unread, it is written over only when the
  // user says so (nothing is written otherwise).
  // allProfiles writes the three profiles' tables instead of the active one's
  // (edits made before the keyboard changed its profile itself).
  [[nodiscard]] ApplyResult Apply(bool allProfiles = false);

 private:
  ProfileStore& store_;
  DeviceUi& ui_;
  std::unique_ptr<BusyWorker> busy_;  // the last Apply's, joined by the next one
};

}  // namespace kv
