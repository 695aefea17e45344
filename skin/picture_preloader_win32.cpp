#include "skin/picture_preloader_win32.h"

#include <objbase.h>

#include <algorithm>
#include <system_error>

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
  filesTaken_.assign(filePaths_.size(), false);
  for (auto& p : paths)
    if (std::find(paths_.begin(), paths_.end(), p) == paths_.end()) paths_.push_back(std::move(p));
  pictures_.resize(paths_.size());
  taken_.assign(paths_.size(), false);
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    // No thread: every picture is decoded when it is taken.
    OutputDebugStringW(L"Korvalin: no thread to decode the skin pictures ahead\n");
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
  for (size_t i = 0; i < filePaths_.size(); ++i) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) break;
    }
    LoadedPictureFile f;
    f.code = tryLoadPictureFile(filePaths_[i], f.bitmap);
    {
      std::lock_guard lock(mutex_);
      files_[i] = std::move(f);
      filesDone_ = i + 1;
    }
    decoded_.notify_all();
  }
  for (size_t i = 0; i < paths_.size(); ++i) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) break;
    }
    PreparedPicture p = preparePicture(paths_[i]);
    {
      std::lock_guard lock(mutex_);
      pictures_[i] = std::move(p);
      done_ = i + 1;
    }
    decoded_.notify_all();
  }
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
  if (filesDone_ <= i || filesTaken_[i] || !files_[i]) return std::nullopt;
  filesTaken_[i] = true;
  std::optional<LoadedPictureFile> f = std::move(files_[i]);
  files_[i].reset();
  return f;
}

}  // namespace kv
