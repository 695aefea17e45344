// The window layer's base: a C++ object attached to a window by subclassing,
// with one message dispatch (WindowProc) per class. Nothing is thrown out of
// a window procedure: an exception ends in the default processing.
#pragma once

#include <windows.h>

namespace kv {

class CWindow {
 public:
  CWindow() = default;
  virtual ~CWindow();
  // An object stands for one window and the window points back at it.
  CWindow(const CWindow&) = delete;
  CWindow& operator=(const CWindow&) = delete;

  HWND hwnd() const noexcept { return hwnd_; }
  int controlId() const noexcept { return hwnd_ ? GetDlgCtrlID(hwnd_) : 0; }

  // Routes the window's messages through WindowProc until it is destroyed
  // or unsubclassed. Fails when the window is invalid or already attached.
  [[nodiscard]] bool SubclassWindow(HWND hwnd);
  [[nodiscard]] bool SubclassDlgItem(int id, HWND parent);
  void UnsubclassWindow();

  // The object attached to a window, or null.
  static CWindow* FromHandle(HWND hwnd);

  // Offered every message the window layer's loops take from the queue
  // whose target is this window or one of its children, before dialog
  // processing and dispatch. True = the message is consumed. The message
  // may be changed in place.
  virtual bool PreTranslateMessage(MSG& msg);

  // Owner-drawn controls: the parent hands its WM_DRAWITEM for this control
  // back to it. True = drawn.
  virtual bool DrawItem(const DRAWITEMSTRUCT& dis);

 protected:
  // The class's message dispatch. Unhandled messages go to Default().
  virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);
  // The processing the window had before it was subclassed, for the message
  // being handled now.
  LRESULT Default();
  LRESULT DefaultFor(UINT msg, WPARAM wp, LPARAM lp);
  // Called after the last message of the window (WM_NCDESTROY).
  virtual void PostNcDestroy() {}

 private:
  static LRESULT CALLBACK WindowProcOf(HWND, UINT, WPARAM, LPARAM);

  HWND hwnd_ = nullptr;
  WNDPROC previous_ = nullptr;  // the window's procedure before ours
  struct Current {
    UINT msg;
    WPARAM wp;
    LPARAM lp;
  } current_{};
};

// Walks from the message's window up to its top-level window and gives each
// attached object its PreTranslateMessage; true when one consumed it.
[[nodiscard]] bool PreTranslateThroughParents(MSG& msg);

}  // namespace kv
