#include "widgets/window_win32.h"

#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

#include "base/log_win32.h"

namespace kv {
namespace {

// The link from a window to its object. A window procedure of our own, set
// with GWLP_WNDPROC, finds the object here: under Wine the common controls'
// subclassing asks the server for a window property on every message (a
// button moved at start-up paid it five times over), a map in the process
// costs nothing of the kind.
struct Link {
  CWindow* object = nullptr;  // null: the object let go, the procedure only forwards
  WNDPROC previous = nullptr;
};

std::mutex& linksMutex() {
  static std::mutex m;
  return m;
}
std::unordered_map<HWND, Link>& links() {
  static std::unordered_map<HWND, Link> l;
  return l;
}

Link linkOf(HWND hwnd) {
  std::lock_guard lock(linksMutex());
  auto it = links().find(hwnd);
  return it == links().end() ? Link{} : it->second;
}

}  // namespace

CWindow::~CWindow() { UnsubclassWindow(); }

bool CWindow::SubclassWindow(HWND hwnd) {
  if (!hwnd || !IsWindow(hwnd) || hwnd_) return false;
  {
    std::lock_guard lock(linksMutex());
    auto it = links().find(hwnd);
    if (it != links().end() && it->second.object) return false;
    if (it != links().end()) {
      // Our procedure is still in the window's chain (someone subclassed
      // above it when the last object let go): take it over again.
      it->second.object = this;
      previous_ = it->second.previous;
      hwnd_ = hwnd;
      return true;
    }
  }
  SetLastError(0);
  auto previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWindow::WindowProcOf)));
  if (!previous) {
    if (GetLastError() != 0) ReportWin32Failure(L"SetWindowLongPtrW(GWLP_WNDPROC)");
    return false;
  }
  std::lock_guard lock(linksMutex());
  links()[hwnd] = Link{this, previous};
  previous_ = previous;
  hwnd_ = hwnd;
  return true;
}

bool CWindow::SubclassDlgItem(int id, HWND parent) {
  HWND item = parent ? GetDlgItem(parent, id) : nullptr;
  return item && SubclassWindow(item);
}

void CWindow::UnsubclassWindow() {
  if (!hwnd_) return;
  HWND hwnd = std::exchange(hwnd_, nullptr);
  bool ours = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == &CWindow::WindowProcOf;
  if (ours && IsWindow(hwnd)) (void)SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
  std::lock_guard lock(linksMutex());
  auto it = links().find(hwnd);
  if (it == links().end()) return;
  // Someone subclassed after us: the chain still runs through our
  // procedure, which from now on only forwards.
  if (ours || !IsWindow(hwnd))
    links().erase(it);
  else
    it->second.object = nullptr;
}

CWindow* CWindow::FromHandle(HWND hwnd) { return hwnd ? linkOf(hwnd).object : nullptr; }

bool CWindow::PreTranslateMessage(MSG&) { return false; }

bool CWindow::DrawItem(const DRAWITEMSTRUCT&) { return false; }

LRESULT CWindow::WindowProc(UINT msg, WPARAM wp, LPARAM lp) { return DefaultFor(msg, wp, lp); }

LRESULT CWindow::Default() { return DefaultFor(current_.msg, current_.wp, current_.lp); }

LRESULT CWindow::DefaultFor(UINT msg, WPARAM wp, LPARAM lp) {
  return hwnd_ && previous_ ? CallWindowProcW(previous_, hwnd_, msg, wp, lp) : 0;
}

LRESULT CALLBACK CWindow::WindowProcOf(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Link link = linkOf(hwnd);
  CWindow* self = link.object;
  auto forward = [&] {
    return link.previous ? CallWindowProcW(link.previous, hwnd, msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
  };
  if (msg == WM_NCDESTROY) {
    LRESULT r = forward();
    bool attached = self && self->hwnd_ == hwnd;
    if (attached) self->UnsubclassWindow();
    {
      // Gone even when a procedure above ours kept the link: the handle may
      // come back for another window.
      std::lock_guard lock(linksMutex());
      links().erase(hwnd);
    }
    if (attached) self->PostNcDestroy();
    return r;
  }
  if (!self || self->hwnd_ != hwnd) return forward();
  Current saved = self->current_;
  self->current_ = {msg, wp, lp};
  LRESULT r = 0;
  try {
    r = self->WindowProc(msg, wp, lp);
  } catch (...) {
    // Nothing is thrown across the system's frames: the message gets its
    // default handling, and the failure is written.
    LogLine(L"an exception left a window procedure (message " + std::to_wstring(msg) + L")");
    r = self->DefaultFor(msg, wp, lp);
  }
  self->current_ = saved;
  return r;
}

bool PreTranslateThroughParents(MSG& msg) {
  for (HWND h = msg.hwnd; h; h = GetParent(h)) {
    CWindow* w = CWindow::FromHandle(h);
    if (w && w->PreTranslateMessage(msg)) return true;
    if (!(GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD)) break;
  }
  return false;
}

}  // namespace kv
