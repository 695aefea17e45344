// A DeviceUi that records what the device link asked of the window, as the
// main window would see it: the tasks waiting to run (asking again for one
// waiting runs it once), the tray icon, messages, visibility and the Apply
// button.
//
// A message shown while the calling thread holds the WorkingConfig or the
// ApplySnapshot lock fails the test: the real window's message box runs a
// message loop whose handlers take those locks on the same thread.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
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
  void ScheduleTask(kv::WindowTask task) override {
    std::lock_guard lock(mutex_);
    tasks_.insert(task);
    ++taskRequests_;
  }
  void SetTrayIcon(kv::TrayIcon icon) override {
    std::lock_guard lock(mutex_);
    icons_.push_back(icon);
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
  void ShowStatus(std::u16string_view text, unsigned) override {
    std::lock_guard lock(mutex_);
    statuses_.emplace_back(text);
  }
  std::vector<std::u16string> statuses() const { std::lock_guard l(mutex_); return statuses_; }
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
  // Answers the write-over-unread question with writeOverUnread; the
  // question too must come with no lock held.
  bool ConfirmOverwriteUnread() override {
    if ((config_ && config_->lock.heldByThisThread()) || (snapshot_ && snapshot_->lock.heldByThisThread()))
      ADD_FAILURE() << "the write-over-unread question was asked under a lock";
    bump(overwriteQuestions_);
    return writeOverUnread;
  }
  int overwriteQuestions() const { std::lock_guard l(mutex_); return overwriteQuestions_; }
  bool writeOverUnread = false;
  int refreshes() const { std::lock_guard l(mutex_); return refreshes_; }

  // Runs a waiting task as the window does: it stops waiting, then acts.
  bool RunTask(kv::WindowTask task) {
    {
      std::lock_guard lock(mutex_);
      if (!tasks_.erase(task)) return false;
    }
    if (task == kv::WindowTask::kReload) RequestReload();
    return true;
  }

  int reloads() const { std::lock_guard l(mutex_); return reloads_; }
  int shows() const { std::lock_guard l(mutex_); return shows_; }
  int hides() const { std::lock_guard l(mutex_); return hides_; }
  int taskRequests() const { std::lock_guard l(mutex_); return taskRequests_; }
  std::set<kv::WindowTask> tasks() const { std::lock_guard l(mutex_); return tasks_; }
  std::vector<kv::TrayIcon> icons() const { std::lock_guard l(mutex_); return icons_; }
  std::optional<kv::TrayIcon> icon() const {
    std::lock_guard l(mutex_);
    return icons_.empty() ? std::nullopt : std::optional(icons_.back());
  }
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
  int reloads_ = 0, refreshes_ = 0, shows_ = 0, hides_ = 0, taskRequests_ = 0, overwriteQuestions_ = 0;
  std::set<kv::WindowTask> tasks_;
  std::vector<kv::TrayIcon> icons_;
  std::vector<bool> banks_;
  std::vector<std::u16string> messages_;
  std::vector<std::u16string> statuses_;
  std::vector<bool> progress_;
};

}  // namespace kvtest
