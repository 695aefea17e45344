#include "widgets/window_win32.h"

#include <commctrl.h>

namespace kv {
namespace {

constexpr UINT_PTR kSubclassId = 0x4B56;  // "KV"
constexpr wchar_t kObjectProperty[] = L"Korvalin.Window";

}  // namespace

CWindow::~CWindow() { UnsubclassWindow(); }

bool CWindow::SubclassWindow(HWND hwnd) {
  if (!hwnd || !IsWindow(hwnd) || hwnd_ || FromHandle(hwnd)) return false;
  if (!SetPropW(hwnd, kObjectProperty, reinterpret_cast<HANDLE>(this))) return false;
  if (!SetWindowSubclass(hwnd, &CWindow::SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
    RemovePropW(hwnd, kObjectProperty);
    return false;
  }
  hwnd_ = hwnd;
  return true;
}

bool CWindow::SubclassDlgItem(int id, HWND parent) {
  HWND item = parent ? GetDlgItem(parent, id) : nullptr;
  return item && SubclassWindow(item);
}

void CWindow::UnsubclassWindow() {
  if (!hwnd_) return;
  RemoveWindowSubclass(hwnd_, &CWindow::SubclassProc, kSubclassId);
  RemovePropW(hwnd_, kObjectProperty);
  hwnd_ = nullptr;
}

CWindow* CWindow::FromHandle(HWND hwnd) {
  if (!hwnd) return nullptr;
  return reinterpret_cast<CWindow*>(GetPropW(hwnd, kObjectProperty));
}

bool CWindow::PreTranslateMessage(MSG&) { return false; }

bool CWindow::DrawItem(const DRAWITEMSTRUCT&) { return false; }

LRESULT CWindow::WindowProc(UINT msg, WPARAM wp, LPARAM lp) { return DefaultFor(msg, wp, lp); }

LRESULT CWindow::Default() { return DefaultFor(current_.msg, current_.wp, current_.lp); }

LRESULT CWindow::DefaultFor(UINT msg, WPARAM wp, LPARAM lp) {
  return hwnd_ ? DefSubclassProc(hwnd_, msg, wp, lp) : 0;
}

LRESULT CALLBACK CWindow::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
  auto* self = reinterpret_cast<CWindow*>(ref);
  if (msg == WM_NCDESTROY) {
    LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
    if (self && self->hwnd_ == hwnd) {
      self->UnsubclassWindow();
      self->PostNcDestroy();
    }
    return r;
  }
  if (!self || self->hwnd_ != hwnd) return DefSubclassProc(hwnd, msg, wp, lp);
  Current saved = self->current_;
  self->current_ = {msg, wp, lp};
  LRESULT r = 0;
  try {
    r = self->WindowProc(msg, wp, lp);
  } catch (...) {
    r = DefSubclassProc(hwnd, msg, wp, lp);
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
