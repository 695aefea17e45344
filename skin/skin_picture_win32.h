// Skin pictures: backgrounds and masks through the platform's picture loader
// (OLE picture from a memory stream), the window outline from a mask, button
// pictures through the platform's image library (GDI+), and the skin surfaces
// the image buttons copy their faces from.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "base/handles_win32.h"

namespace kv {


// Decodes a BMP, JPEG, GIF, icon or metafile picture file into a bitmap of
// its own. Returns 0 on success or the exit code of the failing step.
[[nodiscard]] int tryLoadPictureFile(const std::wstring& path, UniqueBitmap& out);
// The same, ending the process on failure: never returns without a picture.
UniqueBitmap loadPictureFile(const std::wstring& path);

// The outline of every mask pixel outside the key range (per channel
// [key, min(255, key + tolerance)]), built in batches of 2000 rectangles.
// A mask that is all key colour gives an empty region; an unreadable bitmap none.
UniqueRegion regionFromMask(HBITMAP mask, COLORREF key, COLORREF tolerance);

// An image of the image library. `created` is false only when no image
// object could be made (the library could not start); a missing or
// undecodable file still gives an object, with nothing to draw.
class SkinImage {
 public:
  SkinImage() = default;
  ~SkinImage();
  SkinImage(const SkinImage&) = delete;
  SkinImage& operator=(const SkinImage&) = delete;
  SkinImage(SkinImage&& o) noexcept;
  SkinImage& operator=(SkinImage&& o) noexcept;

  bool created() const noexcept { return created_; }
  bool decoded() const noexcept { return bitmap_ != nullptr; }
  int width() const noexcept { return width_; }
  int height() const noexcept { return height_; }
  // A bitmap of the image's pixels (black where the image is transparent), or none.
  UniqueBitmap toBitmap() const;

 private:
  friend SkinImage loadSkinPictureFile(const std::wstring& path);
  void* bitmap_ = nullptr;  // GpBitmap*
  bool created_ = false;
  int width_ = 0, height_ = 0;
};

// The folder "Skins" beside the executable, with a trailing backslash.
std::wstring skinsFolder();
// Decodes a file of the Skins folder by name (key_normal.jpg ...).
SkinImage loadSkinPicture(std::wstring_view fileName);
// Decodes a file by full path.
SkinImage loadSkinPictureFile(const std::wstring& path);
// loadSkinPicture, ending the process when no image object can be created.
SkinImage loadSkinPictureOrExit(std::wstring_view fileName);

// A memory drawing surface compatible with a dialog, holding one skin
// picture unscaled at its top-left corner. Image buttons borrow it.
class SkinSurface {
 public:
  SkinSurface() = default;
  SkinSurface(const SkinSurface&) = delete;
  SkinSurface& operator=(const SkinSurface&) = delete;
  SkinSurface(SkinSurface&&) noexcept = default;
  SkinSurface& operator=(SkinSurface&& o) noexcept {
    if (this != &o) {
      select_ = std::move(o.select_);
      bitmap_ = std::move(o.bitmap_);
      dc_ = std::move(o.dc_);
      width_ = o.width_;
      height_ = o.height_;
    }
    return *this;
  }

  HDC hdc() const noexcept { return dc_.get(); }
  int width() const noexcept { return width_; }
  int height() const noexcept { return height_; }
  bool valid() const noexcept { return static_cast<bool>(dc_); }
  void reset();

  // Surface of width × height compatible with `compatibleWith`, black, with
  // `picture` (if any) copied to its top-left corner unscaled.
  [[nodiscard]] bool build(HDC compatibleWith, int width, int height, HBITMAP picture);

 private:
  UniqueMemoryDc dc_;
  UniqueBitmap bitmap_;
  SelectObjectRestorer select_;  // released first: puts the DC's own bitmap back
  int width_ = 0, height_ = 0;
};

// Builds a skin surface for a dialog: its client area plus 100 pixels in
// width and height, the image drawn unscaled at (0, 0). A missing or
// undecodable image leaves the surface unpainted. False when no surface
// could be made.
[[nodiscard]] bool makeSkinSurface(SkinSurface& surface, const SkinImage& image, HWND dialog);
// The same from a bitmap of the picture (SkinImage::toBitmap); none leaves
// the surface unpainted.
[[nodiscard]] bool makeSkinSurface(SkinSurface& surface, HBITMAP picture, HWND dialog);

}  // namespace kv
