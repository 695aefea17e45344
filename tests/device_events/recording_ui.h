// A DeviceUi that records what the device link asked of the window, as the
// main window would see it: timers by id (setting one again replaces it),
// the tray icon, messages, visibility and the Apply button.
//
// A message shown while the calling thread holds the WorkingConfig or the
// ApplySnapshot lock fails the test: the real window's message box runs a
// message loop whose handlers take those locks on the same thread.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "device/device_ui.h"
#include "keys/working_config.h"

namespace kvtest {

class RecordingUi : public kv::DeviceUi {
 public:
  void RequestReload() override {
    std::function<void()> handler;
    {
      std::lock_guard lock(mutex_);
      ++reloads_;
      handler = onReload;
    }
    if (handler) handler();
  }
  void PostShow() override { bump(shows_); }
  void HideWindow() override { bump(hides_); }
  void ShowGBank(bool bankB) override {
    std::lock_guard lock(mutex_);
    banks_.push_back(bankB);
  }
  void SetTimer(unsigned id, unsigned periodMs) override {
    std::lock_guard lock(mutex_);
    timers_[id] = periodMs;
    ++timerSets_;
  }
  void KillTimer(unsigned id) override {
    std::lock_guard lock(mutex_);
    timers_.erase(id);
  }
  void SetTrayIcon(int id) override {
    std::lock_guard lock(mutex_);
    icons_.push_back(id);
  }
  void ShowMessage(std::u16string_view text) override {
    bool configHeld = config_ && config_->lock.heldByThisThread();
    bool snapshotHeld = snapshot_ && snapshot_->lock.heldByThisThread();
    if (configHeld || snapshotHeld)
      ADD_FAILURE() << "a message was shown while this thread held the "
                    << (configHeld ? "WorkingConfig" : "") << (configHeld && snapshotHeld ? " and the " : "")
                    << (snapshotHeld ? "ApplySnapshot" : "") << " lock";
    std::lock_guard lock(mutex_);
    messages_.emplace_back(text);
  }
  void ClearMessages() {
    std::lock_guard lock(mutex_);
    messages_.clear();
  }
  // The locks a shown message must not be made under.
  void WatchLocks(const kv::WorkingConfig& config, const kv::ApplySnapshot& snapshot) {
    config_ = &config;
    snapshot_ = &snapshot;
  }
  bool Initialised() const override { return initialised; }
  void SetApplyEnabled(bool enabled) override { applyEnabled = enabled; }
  bool ApplyEnabled() const override { return applyEnabled; }
  void ShowProgress(bool visible) override {
    std::lock_guard lock(mutex_);
    progress_.push_back(visible);
  }

  void RefreshKeyButtons() override { bump(refreshes_); }
  int refreshes() const { std::lock_guard l(mutex_); return refreshes_; }

  // Fires a pending timer as the window's timer handler does: kill it, then act.
  bool FireTimer(unsigned id) {
    {
      std::lock_guard lock(mutex_);
      if (!timers_.erase(id)) return false;
    }
    if (id == kv::kTimerReload) RequestReload();
    return true;
  }

  int reloads() const { std::lock_guard l(mutex_); return reloads_; }
  int shows() const { std::lock_guard l(mutex_); return shows_; }
  int hides() const { std::lock_guard l(mutex_); return hides_; }
  int timerSets() const { std::lock_guard l(mutex_); return timerSets_; }
  std::map<unsigned, unsigned> timers() const { std::lock_guard l(mutex_); return timers_; }
  std::vector<int> icons() const { std::lock_guard l(mutex_); return icons_; }
  int icon() const { std::lock_guard l(mutex_); return icons_.empty() ? 0 : icons_.back(); }
  std::vector<bool> banks() const { std::lock_guard l(mutex_); return banks_; }
  std::vector<std::u16string> messages() const { std::lock_guard l(mutex_); return messages_; }
  std::vector<bool> progress() const { std::lock_guard l(mutex_); return progress_; }

  std::atomic<bool> initialised{true};
  std::atomic<bool> applyEnabled{false};
  std::function<void()> onReload;  // set before traffic starts

 private:
  void bump(int& counter) {
    std::lock_guard lock(mutex_);
    ++counter;
  }
  const kv::WorkingConfig* config_ = nullptr;
  const kv::ApplySnapshot* snapshot_ = nullptr;
  mutable std::mutex mutex_;
  int reloads_ = 0, refreshes_ = 0, shows_ = 0, hides_ = 0, timerSets_ = 0;
  std::map<unsigned, unsigned> timers_;
  std::vector<int> icons_;
  std::vector<bool> banks_;
  std::vector<std::u16string> messages_;
  std::vector<bool> progress_;
};

}  // namespace kvtest
