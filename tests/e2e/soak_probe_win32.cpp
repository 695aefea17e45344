// Soak probe: runs the real Korvalin.exe with the simulated keyboard (through
// the end-to-end harness: real X input, window queries, the keyboard's control
// pipe) and repeats one user action or keyboard event per loop. After a
// warm-up it measures, per loop, what the process grew by over N iterations:
// resident and private memory, the windows it owns and, where the system
// reports them, its GDI and USER objects and its handles.
//
//   kv_soak_probe.exe [--iterations N] [--warmup W] [--every K]
//                     [--only NAME[,NAME...]]
//
// One line per loop: "loop NAME|iterations N at I0 I1 ... rss_kb V0 V1 ...
// private_kb ... windows ... gdi ... user ... handles ... seconds S": the
// measures after the warm-up and then after every K iterations (default a
// tenth of N), so that a steady leak can be told from a one-off step of the
// heap. tools/bench_soak runs it and prints the table.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "resources/control_ids.h"
#include "tests/e2e/harness_win32.h"
#include "tests/e2e/installation_win32.h"
#include "tests/e2e/registry_override_win32.h"
#include "tests/e2e/running_win32.h"

namespace {

using namespace kv;
using namespace kv::e2e;
namespace mainIds = ids::main_dlg;

// What a step waits for at most: long, since the figures are memory, not
// time, and a machine shared by several builds can stall the program for
// seconds.
constexpr DWORD kWaitMs = 30000;

struct Sample {
  double rssKb = 0, privateKb = 0;
  long windows = 0;
  long gdi = 0, user = 0, handles = 0;
};

// Every window of the process: top-level ones with all their descendants,
// and message-only ones. (Wine reports no GDI or USER object counts.)
long windowsOf(DWORD pid) {
  long n = 0;
  auto countChildren = [](HWND parent) {
    long c = 0;
    EnumChildWindows(
        parent,
        [](HWND, LPARAM lp) -> BOOL {
          ++*reinterpret_cast<long*>(lp);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&c));
    return c;
  };
  for (HWND h : topLevelWindows(pid, false)) n += 1 + countChildren(h);
  for (HWND h = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); h;
       h = FindWindowExW(HWND_MESSAGE, h, nullptr, nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (owner == pid) n += 1 + countChildren(h);
  }
  return n;
}

// The kB values of the named fields of a /proc file of the Unix process
// (through Wine's drive of the Unix root), added up; -1 when unreadable.
double procKb(long unixPid, const char* file, std::initializer_list<const char*> fields) {
  std::ifstream in("Z:\\proc\\" + std::to_string(unixPid) + "\\" + file);
  if (!in) return -1;
  double total = 0;
  bool found = false;
  for (std::string line; std::getline(in, line);)
    for (const char* f : fields)
      if (line.rfind(std::string(f) + ":", 0) == 0) {
        total += std::atof(line.c_str() + std::strlen(f) + 1);
        found = true;
      }
  return found ? total : -1;
}

Sample sampleOf(const Running& app, long unixPid) {
  Sample s;
  PROCESS_MEMORY_COUNTERS_EX pmc{};
  pmc.cb = sizeof pmc;
  if (GetProcessMemoryInfo(app.process(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc)) {
    s.rssKb = static_cast<double>(pmc.WorkingSetSize) / 1024.0;
    s.privateKb = static_cast<double>(pmc.PrivateUsage) / 1024.0;
  }
  // Wine gives no private bytes: the Unix process's own figures are used
  // where they can be read.
  if (unixPid > 0) {
    if (double rss = procKb(unixPid, "status", {"VmRSS"}); rss >= 0) s.rssKb = rss;
    // Anonymous memory: what the process allocated for itself. (The private
    // pages of smaps count mapped files too, which turn private whenever
    // another process stops sharing them.)
    if (double priv = procKb(unixPid, "status", {"RssAnon"}); priv >= 0) s.privateKb = priv;
  }
  s.windows = windowsOf(app.pid());
  s.gdi = static_cast<long>(GetGuiResources(app.process(), GR_GDIOBJECTS));
  s.user = static_cast<long>(GetGuiResources(app.process(), GR_USEROBJECTS));
  DWORD handles = 0;
  if (GetProcessHandleCount(app.process(), &handles)) s.handles = static_cast<long>(handles);
  return s;
}

long reportsOf(const Running& app) {
  std::string status = app.sim("status");
  size_t at = status.find("reports=");
  return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 8);
}

int activeProfileOf(const Running& app) {
  std::string status = app.sim("status");
  size_t at = status.find("profile=");
  return at == std::string::npos ? -1 : std::atoi(status.c_str() + at + 8);
}

// The window's thread has handled what was queued before this.
void windowIdle(HWND main) {
  DWORD_PTR r = 0;
  (void)SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, &r);
}

// Waits until the keyboard has had no report for a while (a reload or a
// write has ended), then for the window's thread.
void settle(const Running& app, HWND main, DWORD quietMs = 250) {
  long last = reportsOf(app);
  ULONGLONG quietSince = GetTickCount64(), end = quietSince + kWaitMs;
  while (GetTickCount64() - quietSince < quietMs && GetTickCount64() < end) {
    Sleep(40);
    long now = reportsOf(app);
    if (now != last) {
      last = now;
      quietSince = GetTickCount64();
    }
  }
  windowIdle(main);
}

// Waits until the keyboard has received more reports than before.
bool reportsAfter(const Running& app, long before, DWORD timeoutMs = kWaitMs) {
  return waitFor([&] { return reportsOf(app) > before; }, timeoutMs, 20);
}

struct Loop {
  const char* name;
  std::function<bool()> setUp;    // once, before the warm-up
  std::function<bool(int)> step;  // one iteration; false = the loop failed
  std::function<void()> tearDown;
  int extraWarmup = 0;  // iterations before the warm-up's own
};

// The editor's first hundred openings still take pages in small steps (+32 KB
// over them): its loop warms up that far. (After them, 400 more openings
// took two steps of 64 KB each, which the whole loop's figure shows.)
constexpr int kEditorWarmup = 100;

class SoakProbe {
 public:
  explicit SoakProbe(int warmup) : warmup_(warmup) {}

  bool start() {
    // Record delays off, as the end-to-end tests start.
    recordDelay_ = std::make_unique<RegistryOverride>(L"Software\\Korvalin_Nalvori\\Korvalin\\PROFILES",
                                                      L"RecordDelay", L"0");
    keepTrayUncovered();
    app_ = std::make_unique<Running>(install_.start());
    if (!app_->started() || !app_->waitMainWindow()) return false;
    if (!waitFor([&] { return app_->mainVisible(); })) return false;
    if (!waitFor([&] { return SendMessageW(item(mainIds::CONTROL_XGcombox.id), CB_GETCOUNT, 0, 0) > 0; })) return false;
    waitClickable(main());
    settle(*app_, main());
    unixPid_ = findUnixPid(install_.programFolder());
    return true;
  }

  std::vector<Loop> loops() {
    return {
        {"profile switch", nullptr, [this](int i) { return switchProfile(i % 2 == 0 ? 1 : 0); }, nullptr},
        {"event 0x0401 (lighting changed)", nullptr, [this](int) { return keyboardEvent("event 0401"); }, nullptr},
        {"event 0x0402 (profile changed)", nullptr,
         [this](int i) { return keyboardEvent(i % 2 == 0 ? "event 0402 1" : "event 0402 0"); },
         [this] { (void)keyboardEvent("event 0402 0"); }},
        {"editor open, cancel", nullptr, [this](int) { return editorOpenCancel(); }, nullptr,
         std::max(0, kEditorWarmup - warmup_)},
        {"lamp open, paint, close", [this] { return perKeyEffect(); }, [this](int) { return lampPaint(); }, nullptr},
        {"tooltip hover, 50 keys", nullptr, [this](int i) { return hoverKeys(i); }, nullptr},
        {"import of a profile file", [this] { return exportProfile(); }, [this](int) { return importProfile(); },
         nullptr},
        {"recording of 20 keys", nullptr, [this](int) { return recordKeys(); }, nullptr},
    };
  }

  const Running& app() const { return *app_; }
  long unixPid() const { return unixPid_; }
  HWND main() const { return app_->mainWindow(); }
  bool alive() const { return app_ && app_->alive(); }

 private:
  // A step's failure, said once where it happens.
  static bool failed(const char* why) {
    std::printf("  (%s)\n", why);
    return false;
  }
  HWND item(int id) const { return GetDlgItem(main(), id); }
  // What lies at a control's centre instead of it, said when a click cannot
  // be made.
  static void sayWhatCovers(HWND control) {
    POINT c = centreOf(control);
    HWND at = WindowFromPoint(c);
    WindowInfo mine = describe(control), other = describe(at);
    DWORD pid = 0;
    GetWindowThreadProcessId(at, &pid);
    std::printf("  (at %ld,%ld, over control %d (visible %d, %ld,%ld-%ld,%ld): window of class %ls \"%ls\" of process %lu, "
                "%ld,%ld-%ld,%ld, visible %d)\n",
                c.x, c.y, GetDlgCtrlID(control), mine.visible, mine.rect.left, mine.rect.top, mine.rect.right,
                mine.rect.bottom, other.className.c_str(), other.text.c_str(), static_cast<unsigned long>(pid),
                other.rect.left, other.rect.top, other.rect.right, other.rect.bottom, other.visible);
  }
  // The pointer off the window: no button stays hovered, and no tooltip
  // shown at the pointer covers the next control clicked.
  void pointerAway() {
    RECT r{};
    GetWindowRect(main(), &r);
    mouseMoveTo(r.right + 40, r.top + 40);
  }
  bool clickItem(int id) {
    HWND h = item(id);
    if (!h) return false;
    if (!waitClickable(h, kWaitMs)) {
      std::printf("  (main window enabled %d, visible %d; %zu windows in front)\n", IsWindowEnabled(main()) != FALSE,
                  IsWindowVisible(main()) != FALSE, topLevelWindows(app_->pid(), true).size());
      sayWhatCovers(h);
      return false;
    }
    clickCentre(h);
    return true;
  }
  HWND editor() const {
    for (HWND h : topLevelWindows(app_->pid(), true))
      if (h != main() && describe(h).className == L"#32770" && GetDlgItem(h, IDC_COMPOSITE_CONTROL_KEY)) return h;
    return nullptr;
  }
  bool clickEditor(int id) {
    // The editor makes its controls after its window: the one wanted may
    // not be there yet.
    HWND h = nullptr;
    if (!waitFor([&] { return (h = GetDlgItem(editor(), id)) != nullptr; }, kWaitMs, 20)) return false;
    if (!waitClickable(h, kWaitMs)) {
      sayWhatCovers(h);
      return false;
    }
    clickCentre(h);
    return true;
  }

  bool switchProfile(int profile) {
    if (!clickItem(mainIds::FUNC_PROFILE1.id + profile)) return false;
    if (!waitFor([&] { return activeProfileOf(*app_) == profile; }, kWaitMs, 30)) return false;
    settle(*app_, main());
    return true;
  }

  bool keyboardEvent(const std::string& command) {
    long before = reportsOf(*app_);
    if (app_->sim(command).rfind("OK", 0) != 0) return false;
    if (!reportsAfter(*app_, before)) return false;  // the reload began
    settle(*app_, main());
    return true;
  }

  bool editorOpenCancel() {
    if (!clickItem(mainIds::KEY_01E.id)) return failed("A is not clickable");
    if (!waitFor([&] { return editor() != nullptr; }, kWaitMs, 20)) return failed("no editor");
    if (!clickEditor(IDC_COMPOSITE_CONTROL_CANCEL)) return failed("Cancel is not clickable");
    if (!waitFor([&] { return editor() == nullptr; }, kWaitMs, 20)) return failed("the editor stays");
    pointerAway();
    return true;
  }

  // Every profile shows the per-key effect, so the lamp's panel paints keys.
  bool perKeyEffect() {
    for (int p = 0; p < 3; ++p)
      if (app_->sim("write settings " + std::to_string(p * 42) + " FE").rfind("OK", 0) != 0) return false;
    return keyboardEvent("event 0401");
  }
  bool panelShown() const { return IsWindowVisible(item(mainIds::CONTROL_XGcombox.id)) != FALSE; }
  bool lampPaint() {
    if (!clickItem(mainIds::CONTROL_DengStaPic.id)) return failed("the lamp is not clickable");
    if (!waitFor([&] { return panelShown(); }, kWaitMs, 20)) return failed("the panel did not open");
    long before = reportsOf(*app_);
    if (!clickItem(mainIds::KEY_01E.id)) return failed("A is not clickable");
    if (!reportsAfter(*app_, before)) return failed("A was not painted");
    settle(*app_, main(), 150);
    if (!clickItem(mainIds::CONTROL_DengStaPic.id)) return failed("the lamp is not clickable");
    if (!waitFor([&] { return !panelShown(); }, kWaitMs, 20)) return failed("the panel did not close");
    pointerAway();
    return true;
  }
  // Rests the pointer on 50 image buttons in turn and leaves: in the
  // warm-up the same 50, then each iteration the next 50 of the window's, so
  // that over the loop every button is hovered (a window kept per button
  // hovered shows as growth).
  bool hoverKeys(int i) {
    i = i < warmup_ ? 0 : i - warmup_;
    if (buttons_.empty()) {
      for (HWND h = GetWindow(main(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        WindowInfo w = describe(h);
        RECT r = w.rect;
        if (w.className == L"Button" && w.visible && w.enabled && r.right - r.left > 4 && r.bottom - r.top > 4)
          buttons_.push_back(h);
      }
      std::sort(buttons_.begin(), buttons_.end(), [](HWND a, HWND b) { return GetDlgCtrlID(a) < GetDlgCtrlID(b); });
      if (buttons_.empty()) return false;
    }
    std::wstring args;
    for (int k = 0; k < 50; ++k) {
      HWND b = buttons_[(static_cast<size_t>(i) * 50 + k) % buttons_.size()];
      POINT c = centreOf(b);
      args += L" mousemove " + std::to_wstring(c.x) + L" " + std::to_wstring(c.y) + L" sleep 0.04";
    }
    RECT r{};
    GetWindowRect(main(), &r);
    args += L" mousemove " + std::to_wstring(r.right + 40) + L" " + std::to_wstring(r.top + 40);
    if (runUnix(L"/usr/bin/xdotool" + args) != 0) return false;
    windowIdle(main());
    return true;
  }

  // Opens the button menu and chooses one of its four standing entries.
  bool chooseFromButtonMenu(int index) {
    if (!clickItem(mainIds::CONTROL_MENU.id)) return false;
    HWND menu = nullptr;
    if (!waitFor([&] {
          for (HWND h : topLevelWindows(app_->pid(), true))
            if (describe(h).className == L"#32768") return (menu = h) != nullptr;
          return false;
        }, kWaitMs, 20))
      return false;
    waitClickable(menu, 3000);
    // Counted from the bottom with the keys: the Undo and Redo items come first.
    for (int i = index; i < 4; ++i) pressKey("Up");
    pressKey("Return");
    return true;
  }
  std::wstring profileFile() const { return install_.documentsFolder() + L"\\soak.kvp"; }
  bool exportProfile() {
    if (!chooseFromButtonMenu(1)) return false;
    HWND save = waitFileDialog(app_->pid(), main(), kWaitMs);
    if (!save || !enterFileName(save, profileFile())) return false;
    if (!waitFor([&] { return GetFileAttributesW(profileFile().c_str()) != INVALID_FILE_ATTRIBUTES; }, kWaitMs)) return false;
    settle(*app_, main());
    return true;
  }
  bool importProfile() {
    long before = reportsOf(*app_);
    if (!chooseFromButtonMenu(0)) return false;
    HWND open = waitFileDialog(app_->pid(), main(), kWaitMs);
    if (!open || !enterFileName(open, profileFile())) return false;
    if (!reportsAfter(*app_, before)) return failed("the import wrote nothing");
    settle(*app_, main());
    pointerAway();
    return !IsWindowEnabled(item(mainIds::CONTROL2_APPLY.id)) || failed("Apply stays enabled after the import");
  }

  // The macro page of A's editor: a new macro, 20 keys recorded, Cancel.
  bool recordKeys() {
    if (!clickItem(mainIds::KEY_01E.id)) return failed("A is not clickable");
    if (!waitFor([&] { return editor() != nullptr; }, kWaitMs, 20)) return false;
    if (!clickEditor(IDC_COMPOSITE_CONTROL_MACRO)) return false;
    HWND rows = GetDlgItem(editor(), IDC_COMPOSITE_FUNC_MACRO_LIST2);
    if (!waitFor([&] { return IsWindowVisible(rows) != FALSE; }, kWaitMs, 20)) return false;
    HWND list = GetDlgItem(editor(), IDC_COMPOSITE_FUNC_MACRO_LIST);
    if (!clickEditor(IDC_COMPOSITE_FUNC_MACRO_ADD)) return false;
    if (!waitFor([&] { return SendMessageW(list, CB_GETCURSEL, 0, 0) >= 0; }, kWaitMs, 20)) return false;
    if (!clickEditor(IDC_COMPOSITE_FUNC_MACRO_RECORD)) return false;
    if (!waitFor([&] { return controlText(GetDlgItem(editor(), IDC_COMPOSITE_FUNC_MACRO_RECORD)) != L"Record"; }, kWaitMs,
                 20))
      return false;
    typeText(L"abcdefghijklmnopqrst");
    // Each key: a press and a release row.
    if (!waitFor([&] { return SendMessageW(rows, LVM_GETITEMCOUNT, 0, 0) >= 40; }, kWaitMs, 20))
      return failed("the 20 keys were not recorded");
    if (!clickEditor(IDC_COMPOSITE_FUNC_MACRO_RECORD)) return false;
    if (!clickEditor(IDC_COMPOSITE_CONTROL_CANCEL)) return false;
    if (!waitFor([&] { return editor() == nullptr; }, kWaitMs, 20)) return failed("the editor stays");
    pointerAway();
    return true;
  }

  // Under Wine, the Unix process of the program started from this folder
  // in this Wine prefix (other sessions may run one from a folder of the
  // same name); 0 when there is none (not under Wine).
  static long findUnixPid(const std::wstring& programFolder) {
    std::wstring folder = programFolder.substr(0, programFolder.size() - 1);  // "...\kv_e2e_P_N\Korvalin"
    folder = folder.substr(0, folder.find_last_of(L'\\'));
    std::wstring unique = folder.substr(folder.find_last_of(L'\\') + 1);  // kv_e2e_P_N
    wchar_t tmp[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, tmp);
    if (n == 0 || n >= MAX_PATH) return 0;
    std::wstring out = std::wstring(tmp, n) + unique + L".pid";
    std::wstring script = L"for p in /proc/[0-9]*; do case $(tr \\\\0 . 2>/dev/null < $p/cmdline) in [A-Z]:*" + unique +
                          L"*Korvalin.exe*) tr \\\\0 \\\\n 2>/dev/null < $p/environ | grep -qxF WINEPREFIX=$WINEPREFIX && "
                          L"echo ${p#/proc/};; esac; done > '" + unixPath(out) + L"'";
    if (runUnix(script) < 0) return 0;
    std::ifstream in(std::filesystem::path{out});
    long pid = 0;
    in >> pid;
    in.close();
    DeleteFileW(out.c_str());
    return pid;
  }

  const int warmup_;
  Installation install_;
  long unixPid_ = 0;
  std::unique_ptr<RegistryOverride> recordDelay_;
  std::unique_ptr<Running> app_;
  std::vector<HWND> buttons_;
};

void printSample(const char* label, const Sample& s) {
  std::printf("  %s rss_kb %.0f private_kb %.0f windows %ld gdi %ld user %ld handles %ld\n", label, s.rssKb,
              s.privateKb, s.windows, s.gdi, s.user, s.handles);
}

// "NAME V0 V1 ...": one measure through a loop.
template <typename Field>
std::string seriesOf(const char* name, const std::vector<Sample>& samples, Field field) {
  std::string out = name;
  char value[32];
  for (const Sample& s : samples) {
    std::snprintf(value, sizeof value, " %.0f", static_cast<double>(field(s)));
    out += value;
  }
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int iterations = 100, warmup = 20, every = 0;
  std::vector<std::string> only;
  for (int i = 1; i < argc; ++i) {
    std::wstring a = argv[i];
    if (a == L"--iterations" && i + 1 < argc) iterations = _wtoi(argv[++i]);
    else if (a == L"--warmup" && i + 1 < argc) warmup = _wtoi(argv[++i]);
    else if (a == L"--every" && i + 1 < argc) every = _wtoi(argv[++i]);
    else if (a == L"--only" && i + 1 < argc) {
      std::wstringstream names(argv[++i]);
      std::wstring n;
      while (std::getline(names, n, L',')) only.emplace_back(n.begin(), n.end());
    } else {
      std::fprintf(stderr, "usage: kv_soak_probe [--iterations N] [--warmup W] [--every K] [--only NAME,...]\n");
      return 2;
    }
  }
  if (every <= 0) every = std::max(1, iterations / 10);
  if (iterations < 1 || warmup < 0) return 2;
  SoakProbe probe(warmup);
  if (!probe.start()) {
    std::fprintf(stderr, "Korvalin did not start\n");
    return 1;
  }
  std::printf("  memory of %s\n", probe.unixPid() > 0 ? "the Unix process (/proc: VmRSS, RssAnon)"
                                                     : "the process (working set, private bytes)");
  printSample("start", sampleOf(probe.app(), probe.unixPid()));
  std::fflush(stdout);
  int failures = 0;
  for (const Loop& loop : probe.loops()) {
    std::string name = loop.name;
    if (!only.empty() && std::none_of(only.begin(), only.end(), [&](const std::string& o) {
          return name.find(o) != std::string::npos;
        }))
      continue;
    if (loop.setUp && !loop.setUp()) {
      std::printf("loop %s failed in its set-up\n", loop.name);
      ++failures;
      continue;
    }
    bool ok = true;
    for (int i = 0; ok && i < loop.extraWarmup; ++i) ok = loop.step(0);
    for (int i = 0; ok && i < warmup; ++i) ok = loop.step(i);
    settle(probe.app(), probe.main());
    // Measured after the warm-up and after every `every` iterations: a leak
    // grows at every measure, a heap taking a fresh page now and then does
    // not.
    std::vector<int> at{0};
    std::vector<Sample> samples{sampleOf(probe.app(), probe.unixPid())};
    ULONGLONG t0 = GetTickCount64();
    int done = 0;
    for (int i = 0; ok && i < iterations; ++i) {
      ok = loop.step(warmup + i);
      if (ok) ++done;
      if (ok && (done % every == 0 || done == iterations)) {
        settle(probe.app(), probe.main());
        at.push_back(done);
        samples.push_back(sampleOf(probe.app(), probe.unixPid()));
      }
    }
    double seconds = static_cast<double>(GetTickCount64() - t0) / 1000.0;
    if (loop.tearDown) loop.tearDown();
    if (!ok) {
      std::printf("loop %s failed at iteration %d\n", loop.name, done);
      ++failures;
      if (!probe.alive()) break;
      continue;
    }
    std::string atList;
    for (int a : at) atList += " " + std::to_string(a);
    std::printf("loop %s|iterations %d at%s %s %s %s %s %s %s seconds %.1f\n", loop.name, iterations, atList.c_str(),
                seriesOf("rss_kb", samples, [](const Sample& s) { return s.rssKb; }).c_str(),
                seriesOf("private_kb", samples, [](const Sample& s) { return s.privateKb; }).c_str(),
                seriesOf("windows", samples, [](const Sample& s) { return s.windows; }).c_str(),
                seriesOf("gdi", samples, [](const Sample& s) { return s.gdi; }).c_str(),
                seriesOf("user", samples, [](const Sample& s) { return s.user; }).c_str(),
                seriesOf("handles", samples, [](const Sample& s) { return s.handles; }).c_str(), seconds);
    std::fflush(stdout);
  }
  if (!probe.alive()) {
    std::printf("Korvalin ended during the soak\n");
    return 1;
  }
  printSample("end", sampleOf(probe.app(), probe.unixPid()));
  return failures ? 1 : 0;
}
