// Skin pictures decoded ahead, on a thread of their own, while the window
// that shows them is still being built.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "skin/skin_picture_win32.h"
#include "widgets/handles_win32.h"

namespace kv {

// A decoded skin picture and a bitmap of its pixels (none when the image is
// not decoded), as `loadSkinPictureFile` and `SkinImage::toBitmap` give them.
struct PreparedPicture {
  SkinImage image;
  UniqueBitmap bitmap;
};

PreparedPicture preparePicture(const std::wstring& path);

class SkinPicturePreloader {
 public:
  // Starts decoding the files in this order (a name given twice is decoded
  // once). Without a thread each picture is decoded when it is taken.
  explicit SkinPicturePreloader(std::vector<std::wstring> paths);
  ~SkinPicturePreloader();
  SkinPicturePreloader(const SkinPicturePreloader&) = delete;
  SkinPicturePreloader& operator=(const SkinPicturePreloader&) = delete;

  // The picture of `path`, waiting while it is being decoded. A file not in
  // the list, or one already taken, is decoded now on the calling thread.
  PreparedPicture take(const std::wstring& path);

 private:
  void run();

  std::vector<std::wstring> paths_;
  std::vector<std::optional<PreparedPicture>> pictures_;
  std::vector<bool> taken_;
  std::mutex mutex_;
  std::condition_variable decoded_;
  size_t done_ = 0;  // pictures_[0, done_) are decoded
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace kv
