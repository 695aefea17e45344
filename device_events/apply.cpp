#include "device_events/apply.h"

#include <chrono>

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

bool ApplyCommand::Apply() {
  busy_.reset();
  busy_ = std::make_unique<BusyWorker>(ui_);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  busy_->Post(kBusyStart);
  bool ok = true;
  if (ui_.ApplyEnabled()) {
    StoreConfigLock lock(store_);  // what the writers have to say waits for its release
    bool saved = store_.saveProfileCache();
    bool written = store_.writeConfigToKeyboard(false);
    ok = saved && written;
    if (ok) ui_.SetApplyEnabled(false);
  }
  busy_->Post(kBusyStop);
  return ok;
}

}  // namespace kv
