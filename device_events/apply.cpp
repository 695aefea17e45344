#include "device_events/apply.h"

#include <chrono>

#include "device/protocol.h"
#include "profile/profile_store.h"

namespace kv {

BusyWorker::BusyWorker(DeviceUi& ui) : ui_(ui), thread_([this] { Run(); }) {}

BusyWorker::~BusyWorker() {
  Post(kBusyStop);
  if (thread_.joinable()) thread_.join();
}

void BusyWorker::Post(unsigned message) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(message);
  }
  wake_.notify_one();
}

void BusyWorker::Run() {
  for (;;) {
    unsigned message;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return !queue_.empty(); });
      message = queue_.front();
      queue_.pop_front();
    }
    if (message == kBusyStop) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      ui_.ShowProgress(false);
      return;
    }
    ui_.ShowProgress(true);
  }
}

ApplyResult ApplyCommand::Apply(bool allProfiles) {
  if (ui_.ApplyEnabled() && store_.readUnreadRegions(allProfiles) == WriteCheck::kUnread &&
      IsKeyboardProfile(GetActiveProfile()) && !ui_.ConfirmOverwriteUnread())
    return {.written = false, .saved = false, .declined = true};
  busy_.reset();
  busy_ = std::make_unique<BusyWorker>(ui_);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  busy_->Post(kBusyStart);
  ApplyResult result;
  if (ui_.ApplyEnabled()) {
    StoreConfigLock lock(store_);  // what the writers have to say waits for its release
    result.saved = store_.saveProfileCache();
    result.written = store_.writeConfigToKeyboard(allProfiles);
    if (result.ok()) ui_.SetApplyEnabled(false);
  }
  busy_->Post(kBusyStop);
  return result;
}

}  // namespace kv
