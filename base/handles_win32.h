// Owning wrappers for Win32 handles: each closes its handle exactly once,
// is movable and cannot be copied.
#pragma once

#include <windows.h>

#include <utility>

namespace kv {

// A handle type and the call that releases it. Traits provide
//   static Handle invalid();  static void close(Handle);
template <class Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() noexcept : h_(Traits::invalid()) {}
  explicit UniqueHandle(Handle h) noexcept : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }

  Handle get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != Traits::invalid(); }
  Handle release() noexcept { return std::exchange(h_, Traits::invalid()); }
  void reset(Handle h = Traits::invalid()) noexcept {
    Handle old = std::exchange(h_, h);
    if (old != Traits::invalid()) Traits::close(old);
  }

 private:
  Handle h_;
};

template <class H>
struct GdiObjectTraits {
  using Handle = H;
  static Handle invalid() { return nullptr; }
  static void close(Handle h) { DeleteObject(h); }
};
using UniqueBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using UniqueBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using UniquePen = UniqueHandle<GdiObjectTraits<HPEN>>;
using UniqueRegion = UniqueHandle<GdiObjectTraits<HRGN>>;

// A memory device context from CreateCompatibleDC.
struct MemoryDcTraits {
  using Handle = HDC;
  static Handle invalid() { return nullptr; }
  static void close(Handle h) { DeleteDC(h); }
};
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;

struct MenuTraits {
  using Handle = HMENU;
  static Handle invalid() { return nullptr; }
  static void close(Handle h) { DestroyMenu(h); }
};
using UniqueMenu = UniqueHandle<MenuTraits>;

struct IconTraits {
  using Handle = HICON;
  static Handle invalid() { return nullptr; }
  static void close(Handle h) { DestroyIcon(h); }
};
using UniqueIcon = UniqueHandle<IconTraits>;

// Kernel objects (events, mutexes, threads). Files use UniqueFile: CreateFile
// reports failure as INVALID_HANDLE_VALUE, not as null.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle invalid() { return nullptr; }
  static void close(Handle h) { CloseHandle(h); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle invalid() { return INVALID_HANDLE_VALUE; }
  static void close(Handle h) { CloseHandle(h); }
};
using UniqueFile = UniqueHandle<FileHandleTraits>;

// A registry key this code opened or created (not one of the predefined roots).
struct RegistryKeyTraits {
  using Handle = HKEY;
  static Handle invalid() { return nullptr; }
  static void close(Handle h) { RegCloseKey(h); }
};
using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;

struct GlobalMemoryTraits {
  using Handle = HGLOBAL;
  static Handle invalid() { return nullptr; }
  static void close(Handle h) { GlobalFree(h); }
};
using UniqueGlobal = UniqueHandle<GlobalMemoryTraits>;

// A window this code created and destroys (tooltips, helper windows).
struct WindowTraits {
  using Handle = HWND;
  static Handle invalid() { return nullptr; }
  static void close(Handle h) {
    if (IsWindow(h)) DestroyWindow(h);
  }
};
using UniqueWindow = UniqueHandle<WindowTraits>;

// GetDC / ReleaseDC: the window is needed to release, so it is kept.
class WindowDc {
 public:
  explicit WindowDc(HWND hwnd) noexcept : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
  ~WindowDc() {
    if (dc_) ReleaseDC(hwnd_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  WindowDc(WindowDc&& o) noexcept : hwnd_(o.hwnd_), dc_(std::exchange(o.dc_, nullptr)) {}
  WindowDc& operator=(WindowDc&&) = delete;
  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// BeginPaint / EndPaint for one WM_PAINT.
class PaintDc {
 public:
  explicit PaintDc(HWND hwnd) noexcept : hwnd_(hwnd) { dc_ = BeginPaint(hwnd, &ps_); }
  ~PaintDc() { EndPaint(hwnd_, &ps_); }
  PaintDc(const PaintDc&) = delete;
  PaintDc& operator=(const PaintDc&) = delete;
  HDC get() const noexcept { return dc_; }
  const PAINTSTRUCT& paint() const noexcept { return ps_; }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

// Selects an object into a device context and puts the previous one back
// when it goes out of scope (or when restore() is called). It remembers its
// own device context, so it can never restore into another one.
class SelectObjectRestorer {
 public:
  SelectObjectRestorer() noexcept = default;
  SelectObjectRestorer(HDC dc, HGDIOBJ obj) noexcept : dc_(dc) {
    old_ = (dc && obj) ? SelectObject(dc, obj) : nullptr;
    if (!old_ || old_ == HGDI_ERROR) {
      old_ = nullptr;
      dc_ = nullptr;
    }
  }
  ~SelectObjectRestorer() { restore(); }
  SelectObjectRestorer(const SelectObjectRestorer&) = delete;
  SelectObjectRestorer& operator=(const SelectObjectRestorer&) = delete;
  SelectObjectRestorer(SelectObjectRestorer&& o) noexcept
      : dc_(std::exchange(o.dc_, nullptr)), old_(std::exchange(o.old_, nullptr)) {}
  SelectObjectRestorer& operator=(SelectObjectRestorer&& o) noexcept {
    if (this != &o) {
      restore();
      dc_ = std::exchange(o.dc_, nullptr);
      old_ = std::exchange(o.old_, nullptr);
    }
    return *this;
  }

  // Whether the selection took place.
  explicit operator bool() const noexcept { return dc_ != nullptr; }
  HDC dc() const noexcept { return dc_; }
  void restore() noexcept {
    if (dc_ && old_) SelectObject(dc_, old_);
    dc_ = nullptr;
    old_ = nullptr;
  }

 private:
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

}  // namespace kv
