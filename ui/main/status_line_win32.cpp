#include "ui/main/status_line_win32.h"

#include "base/log_win32.h"
#include "resources/control_ids.h"
#include "skin/placement_win32.h"

namespace kv {
namespace {

using namespace ids::main_dlg;

constexpr UINT_PTR kTimerStatusEnd = 1;  // a timer of the label's own

}  // namespace

void CStatusLine::Place() {
  HWND h = item(STATUS_LINE.id);
  if (!h) return;  // reported where the template's controls were made
  PlaceControl(h, context_.skinFile, L"BUTTONINFO", STATUS_LINE.key);
  if (!label_.SubclassWindow(h)) LogLine(L"the status line was not subclassed: its texts stay until replaced");
  SetText(L"");
}

void CStatusLine::Show(const std::wstring& text, unsigned durationMs) {
  passing_ = true;
  SetText(text);
  if (HWND h = label_.hwnd(); h && !SetTimer(h, kTimerStatusEnd, durationMs, nullptr)) ReportWin32Failure(L"SetTimer(status)");
}

void CStatusLine::Clear() {
  if (HWND h = label_.hwnd()) (void)KillTimer(h, kTimerStatusEnd);  // a timer not running is already what is asked
  passing_ = false;
  SetText(standing_);
}

void CStatusLine::SetStanding(const std::wstring& text) {
  if (text == standing_) return;
  standing_ = text;
  if (!passing_) SetText(standing_);
}

void CStatusLine::SetText(const std::wstring& text) {
  HWND h = item(STATUS_LINE.id);
  if (!h) return;
  // The label draws its text over the window's background without erasing
  // it: hiding it first lets the window repaint what the old text covered.
  (void)ShowWindow(h, SW_HIDE);  // answers the previous visibility
  if (!SetWindowTextW(h, text.c_str())) ReportWin32Failure(L"SetWindowTextW(status)");
  if (!text.empty()) (void)ShowWindow(h, SW_SHOWNA);
}

LRESULT CStatusLine::Label::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER && wp == kTimerStatusEnd) {
    owner_.Clear();
    return 0;
  }
  return CWindow::WindowProc(msg, wp, lp);
}

}  // namespace kv
