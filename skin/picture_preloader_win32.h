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

#include "base/handles_win32.h"
#include "skin/skin_picture_win32.h"

namespace kv {

// A decoded skin picture and a bitmap of its pixels (none when the image is
// not decoded), as `loadSkinPictureFile` and `SkinImage::toBitmap` give them.
struct PreparedPicture {
  SkinImage image;
  UniqueBitmap bitmap;
};

PreparedPicture preparePicture(const std::wstring& path);

// A picture file as `tryLoadPictureFile` gives it: its result code and, for
// 0, the bitmap.
struct LoadedPictureFile {
  int code = 0;
  UniqueBitmap bitmap;
};

class SkinPicturePreloader {
 public:
  // Starts decoding the files in this order (a name given twice is decoded
  // once). Without a thread each picture is decoded when it is taken.
  // `files` (a skinned window's background and mask) are loaded first, as
  // `tryLoadPictureFile` does.
  explicit SkinPicturePreloader(std::vector<std::wstring> paths, std::vector<std::wstring> files = {});
  ~SkinPicturePreloader();
  SkinPicturePreloader(const SkinPicturePreloader&) = delete;
  SkinPicturePreloader& operator=(const SkinPicturePreloader&) = delete;

  // The picture of `path`, waiting while it is being decoded. A file not in
  // the list, or one already taken, is decoded now on the calling thread.
  PreparedPicture take(const std::wstring& path);
  // One of the files, waiting while it loads; nothing for any other path or
  // one already taken.
  std::optional<LoadedPictureFile> takeFile(const std::wstring& path);

 private:
  void run();

  std::vector<std::wstring> paths_;
  std::vector<std::optional<PreparedPicture>> pictures_;
  std::vector<bool> taken_;
  std::vector<std::wstring> filePaths_;
  std::vector<std::optional<LoadedPictureFile>> files_;  // empty again once taken
  size_t filesDone_ = 0;  // files_[0, filesDone_) are loaded
  std::mutex mutex_;
  std::condition_variable decoded_;
  size_t done_ = 0;  // pictures_[0, done_) are decoded
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace kv
