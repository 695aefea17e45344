#include "skin/picture_preloader_win32.h"

#include <objbase.h>

#include <algorithm>
#include <system_error>

#include "base/log_win32.h"

namespace kv {

PreparedPicture preparePicture(const std::wstring& path) {
  PreparedPicture p;
  p.image = loadSkinPictureFile(path);
  p.bitmap = p.image.toBitmap();
  return p;
}

SkinPicturePreloader::SkinPicturePreloader(std::vector<std::wstring> paths, std::vector<std::wstring> files)
    : filePaths_(std::move(files)) {
  files_.resize(filePaths_.size());
  for (auto& p : paths)
    if (std::find(paths_.begin(), paths_.end(), p) == paths_.end()) paths_.push_back(std::move(p));
  pictures_.resize(paths_.size());
  taken_.assign(paths_.size(), false);
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    // No thread: every picture is decoded when it is taken.
    LogLine(L"no thread to decode the skin pictures ahead");
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
}

SkinPicturePreloader::~SkinPicturePreloader() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  if (thread_.joinable()) thread_.join();
}

void SkinPicturePreloader::run() {
  // The image library may decode through COM objects; this thread is their
  // apartment while it decodes.
  HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  // Makes each result outside the lock and stores it under it, in order,
  // until asked to stop.
  auto inOrder = [this](size_t count, auto make, auto store) {
    for (size_t i = 0; i < count; ++i) {
      {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
      }
      auto made = make(i);
      {
        std::lock_guard lock(mutex_);
        store(i, std::move(made));
      }
      decoded_.notify_all();
    }
  };
  inOrder(
      filePaths_.size(),
      [this](size_t i) {
        LoadedPictureFile f;
        f.code = tryLoadPictureFile(filePaths_[i], f.bitmap);
        return f;
      },
      [this](size_t i, LoadedPictureFile f) {
        files_[i] = std::move(f);
        filesDone_ = i + 1;
      });
  inOrder(
      paths_.size(), [this](size_t i) { return preparePicture(paths_[i]); },
      [this](size_t i, PreparedPicture p) {
        pictures_[i] = std::move(p);
        done_ = i + 1;
      });
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;  // a picture not reached yet is decoded by its taker
  }
  decoded_.notify_all();
  if (SUCCEEDED(com)) CoUninitialize();
}

PreparedPicture SkinPicturePreloader::take(const std::wstring& path) {
  auto it = std::find(paths_.begin(), paths_.end(), path);
  if (it != paths_.end()) {
    size_t i = static_cast<size_t>(it - paths_.begin());
    std::unique_lock lock(mutex_);
    decoded_.wait(lock, [&] { return done_ > i || stopping_; });
    if (done_ > i && !taken_[i] && pictures_[i]) {
      taken_[i] = true;
      PreparedPicture p = std::move(*pictures_[i]);
      pictures_[i].reset();
      return p;
    }
  }
  return preparePicture(path);
}

std::optional<LoadedPictureFile> SkinPicturePreloader::takeFile(const std::wstring& path) {
  auto it = std::find(filePaths_.begin(), filePaths_.end(), path);
  if (it == filePaths_.end()) return std::nullopt;
  size_t i = static_cast<size_t>(it - filePaths_.begin());
  std::unique_lock lock(mutex_);
  decoded_.wait(lock, [&] { return filesDone_ > i || stopping_; });
  // A loaded file that is empty was taken.
  if (filesDone_ <= i || !files_[i]) return std::nullopt;
  std::optional<LoadedPictureFile> f = std::move(files_[i]);
  files_[i].reset();
  return f;
}

}  // namespace kv
