// The level control: a picture the user drags, clicks, scrolls or steers
// with the keyboard to choose an integer position. It tells its parent with
// message 0x28D1 (first parameter its control id, second the position).
#pragma once

#include <windows.h>

#include "base/handles_win32.h"
#include "widgets/window_win32.h"

namespace kv {

inline constexpr UINT kSliderNotifyMessage = 0x28D1;

class CBitmapSlider : public CWindow {
 public:
  CBitmapSlider() = default;

  // Attaches to a static control (made a notifying bitmap static).
  [[nodiscard]] bool SubclassWindow(HWND control);
  [[nodiscard]] bool SubclassDlgItem(int id, HWND parent);

  // The position is not re-clamped.
  void setRange(int minimum, int maximum);
  // Clamped to [minimum, maximum], the maximum applied first.
  void setPosition(int value);
  int setPage(int page);
  // Takes ownership; the control takes the picture's size. Null deletes only.
  void setPicture(HBITMAP picture);
  void setVertical(bool vertical) { vertical_ = vertical ? 1 : 0; }
  void setEnabled(bool enabled) { enabled_ = enabled ? 1 : 0; }

  int minimum() const noexcept { return minimum_; }
  int maximum() const noexcept { return maximum_; }
  int position() const noexcept { return position_; }
  int page() const noexcept { return page_; }
  int width() const noexcept { return width_; }
  int height() const noexcept { return height_; }
  bool dragging() const noexcept { return dragging_ != 0; }
  HBITMAP picture() const noexcept { return picture_.get(); }

  // Conversions between a pointer coordinate and a position.
  int pixelToPosition(int pixel) const;
  int positionToPixel(int position) const;

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void notify();
  void trackTo(int x);

  int maximum_ = 4;
  int minimum_ = 0;
  int position_ = 0;
  int page_ = 1;
  int width_ = 0, height_ = 0;
  int vertical_ = 0;
  int dragging_ = 0;
  int enabled_ = 1;
  UniqueBitmap picture_;
};

}  // namespace kv
