#include "skin/bitmap_slider_win32.h"

namespace {
// Signed client coordinates of a mouse message (as windowsx.h has them).
inline int xOf(LPARAM lp) { return static_cast<short>(LOWORD(lp)); }
}  // namespace

namespace kv {

bool CBitmapSlider::SubclassWindow(HWND control) {
  if (!CWindow::SubclassWindow(control)) return false;
  // Mouse input needs SS_NOTIFY: a plain static is transparent to hit tests.
  LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  SetWindowLongPtrW(control, GWL_STYLE, (style & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | SS_BITMAP | SS_NOTIFY);
  return true;
}

bool CBitmapSlider::SubclassDlgItem(int id, HWND parent) {
  HWND item = parent ? GetDlgItem(parent, id) : nullptr;
  return item && SubclassWindow(item);
}

void CBitmapSlider::setRange(int minimum, int maximum) {
  minimum_ = minimum;
  maximum_ = maximum;
}

void CBitmapSlider::setPosition(int value) {
  int p = value > maximum_ ? maximum_ : value;
  position_ = p < minimum_ ? minimum_ : p;
}

int CBitmapSlider::setPage(int page) {
  int old = page_;
  page_ = page;
  return old;
}

void CBitmapSlider::setPicture(HBITMAP picture) {
  UniqueBitmap incoming(picture);
  if (incoming) {
    BITMAP bm{};
    if (GetObjectW(incoming.get(), sizeof(bm), &bm)) {
      width_ = bm.bmWidth;
      height_ = bm.bmHeight;
    }
  }
  // The static shows the new picture before the old one is deleted.
  if (hwnd()) SendMessageW(hwnd(), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(incoming.get()));
  picture_ = std::move(incoming);
  if (picture_ && hwnd())
    SetWindowPos(hwnd(), nullptr, 0, 0, width_, height_, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CBitmapSlider::pixelToPosition(int pixel) const {
  const int extent = vertical_ ? height_ : width_;
  if (extent <= 0) return minimum_;  // no picture yet: nothing to measure against
  const double range = static_cast<double>(maximum_) - minimum_;
  const double fraction = vertical_ ? static_cast<double>(pixel) / extent : (pixel + 10.0) / extent;
  const double p = minimum_ + fraction * range;
  if (p >= 2147483647.0) return 2147483647;
  if (p <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(p);
}

int CBitmapSlider::positionToPixel(int position) const {
  if (maximum_ == minimum_) return 0;
  const double p = (static_cast<double>(position) - minimum_) / (static_cast<double>(maximum_) - minimum_) *
                   (vertical_ ? height_ : width_);
  return static_cast<int>(p);
}

void CBitmapSlider::notify() {
  HWND parent = GetParent(hwnd());
  if (parent) PostMessageW(parent, kSliderNotifyMessage, static_cast<WPARAM>(GetDlgCtrlID(hwnd())), position_);
}

void CBitmapSlider::trackTo(int x) {
  if (x != positionToPixel(position_)) {
    setPosition(pixelToPosition(x));
    notify();
  }
}

LRESULT CBitmapSlider::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_LBUTTONDOWN:
      if (!enabled_) return 0;
      SetCapture(hwnd());
      SetFocus(hwnd());
      dragging_ = 1;
      // The x coordinate is used for vertical controls too.
      trackTo(xOf(lp));
      return 0;
    case WM_MOUSEMOVE:
      if (enabled_ && dragging_) trackTo(xOf(lp));
      return 0;
    case WM_LBUTTONUP:
      if (!enabled_) return 0;
      ReleaseCapture();
      dragging_ = 0;
      notify();
      return 0;
    case WM_CAPTURECHANGED:
      dragging_ = 0;
      break;
    case WM_GETDLGCODE:
      if (GetKeyState(VK_TAB) < 0) break;
      return DLGC_WANTARROWS;
    case WM_KEYDOWN: {
      if (!enabled_) break;
      long long p;  // wide enough for any page without overflow
      switch (wp) {
        case VK_PRIOR: p = static_cast<long long>(position_) - page_; break;
        case VK_NEXT: p = static_cast<long long>(position_) + page_; break;
        case VK_END: p = maximum_; break;
        case VK_HOME: p = minimum_; break;
        case VK_RIGHT:
        case VK_DOWN: p = position_ + 1; break;
        case VK_LEFT:
        case VK_UP: p = position_ - 1; break;
        default: return Default();
      }
      setPosition(static_cast<int>(p > maximum_ ? maximum_ : (p < minimum_ ? minimum_ : p)));
      notify();
      return 0;
    }
    case WM_MOUSEWHEEL: {
      if (!enabled_) return 0;
      const WORD delta = HIWORD(wp);
      if (delta == 120) {
        if (position_ > minimum_) setPosition(position_ - 1);
      } else if (delta > 120) {
        if (position_ < maximum_) setPosition(position_ + 1);
      }
      notify();
      return 0;
    }
    default:
      break;
  }
  return Default();
}

}  // namespace kv
