#include "tests/e2e/running_win32.h"

#include <sstream>

#include "app/single_instance_win32.h"
#include "resources/control_ids.h"
#include "tessaro/sim/sim_control_win32.h"
#include "tests/e2e/harness_win32.h"

namespace kv::e2e {

Running::~Running() {
  if (!process_) return;
  if (alive()) terminate();
  // The tray drops the icon of a window that is gone; should it keep it,
  // the next test must not see it.
  if (main_ && !waitFor([] { return trayIconWindows().empty(); }, 1000)) deleteTrayIcon(main_, ID_TRAY_ICON);
}

DWORD Running::waitExit(DWORD timeoutMs, bool* sawWindow) {
  if (!process_) return STILL_ACTIVE;
  if (sawWindow) {
    *sawWindow = false;
    ULONGLONG end = GetTickCount64() + timeoutMs;
    while (WaitForSingleObject(process_.get(), 10) == WAIT_TIMEOUT) {
      if (!topLevelWindows(pid(), true).empty()) *sawWindow = true;
      if (GetTickCount64() >= end) return STILL_ACTIVE;
    }
  } else if (WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) {
    return STILL_ACTIVE;
  }
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_.get(), &code);
  return code;
}

HWND Running::mainWindow() const {
  for (HWND h : topLevelWindows(pid(), false))
    if (GetWindowLongPtrW(h, GWLP_USERDATA) == kMainWindowMarker) return h;
  return nullptr;
}

HWND Running::waitMainWindow(DWORD timeoutMs) {
  HWND h = nullptr;
  waitFor([&] { return (h = mainWindow()) != nullptr || !alive(); }, timeoutMs);
  if (h) main_ = h;
  return h;
}

bool Running::mainVisible() const {
  HWND h = mainWindow();
  return h && IsWindowVisible(h);
}

std::string Running::sim(const std::string& command) const {
  std::string reply;
  if (!kv::sim::SendControl(kv::sim::PipeNameFrom(L"KorvalinSim-" + std::to_wstring(pid())), command, &reply, 5000))
    return "";
  return reply;
}

std::vector<std::string> Running::trace() const {
  std::vector<std::string> lines;
  std::istringstream in(sim("trace"));
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (first) {
      first = false;
      if (line != "OK") return {};
      continue;
    }
    lines.push_back(line);
  }
  return lines;
}

void Running::terminate() {
  if (!process_) return;
  TerminateProcess(process_.get(), 255);
  WaitForSingleObject(process_.get(), 5000);
}

}  // namespace kv::e2e
