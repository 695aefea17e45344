#include "tests/e2e/harness_win32.h"

#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>

namespace kv::e2e {
namespace {

constexpr LONG_PTR kMainMarker = 0x4D41494E;  // "MAIN"
const wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

std::wstring moduleFolder() {
  wchar_t buf[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
  std::wstring p(buf, n);
  return p.substr(0, p.find_last_of(L"\\/") + 1);
}

std::wstring xdotool(const std::wstring& args) { return L"/usr/bin/xdotool " + args; }

void copyTree(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code ec;
  std::filesystem::copy(from, to, std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing, ec);
}

}  // namespace

int runUnix(const std::wstring& commandLine, DWORD timeoutMs) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring cmd = commandLine;
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

std::wstring unixPath(const std::wstring& windowsPath) {
  using Fn = char*(CDECL*)(LPCWSTR);
  static auto fn = reinterpret_cast<Fn>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
  if (!fn) return windowsPath;
  char* p = fn(windowsPath.c_str());
  if (!p) return windowsPath;
  std::string s(p);
  HeapFree(GetProcessHeap(), 0, p);
  return std::wstring(s.begin(), s.end());
}

void mouseMoveTo(int x, int y) {
  runUnix(xdotool(L"mousemove --sync " + std::to_wstring(x) + L" " + std::to_wstring(y)));
}
void click(int x, int y, int button) {
  mouseMoveTo(x, y);
  Sleep(60);
  runUnix(xdotool(L"click " + std::to_wstring(button)));
  Sleep(120);
}
void doubleClick(int x, int y) {
  mouseMoveTo(x, y);
  Sleep(60);
  runUnix(xdotool(L"click --repeat 2 --delay 80 1"));
  Sleep(150);
}
void mouseDown(int x, int y) {
  mouseMoveTo(x, y);
  runUnix(xdotool(L"mousedown 1"));
  Sleep(60);
}
void mouseUp() {
  runUnix(xdotool(L"mouseup 1"));
  Sleep(100);
}
void pressKey(const char* keysym) {
  std::string k(keysym);
  runUnix(xdotool(L"key " + std::wstring(k.begin(), k.end())));
  Sleep(120);
}

std::wstring screenshot(const std::string& name) {
  std::wstring folder = moduleFolder() + L"..\\..\\e2e\\";
  CreateDirectoryW((moduleFolder() + L"..\\..\\e2e").c_str(), nullptr);
  std::wstring file = folder + std::wstring(name.begin(), name.end()) + L".png";
  runUnix(L"/usr/bin/import -window root " + unixPath(file));
  return file;
}

COLORREF screenPixel(int x, int y) {
  HDC dc = GetDC(nullptr);
  COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(nullptr, dc);
  return c;
}

WindowInfo describe(HWND hwnd) {
  WindowInfo info;
  if (!hwnd || !IsWindow(hwnd)) return info;
  info.exists = true;
  info.visible = IsWindowVisible(hwnd) != FALSE;
  info.enabled = IsWindowEnabled(hwnd) != FALSE;
  GetWindowRect(hwnd, &info.rect);
  wchar_t buf[512];
  // WM_GETTEXT works across processes for window text.
  LRESULT n = SendMessageTimeoutW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 2000, nullptr);
  (void)n;
  buf[511] = 0;
  info.text = buf;
  return info;
}

void setDocumentsFolder(const std::wstring& folder) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExW(key, L"Personal", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                 static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

void restoreDocumentsFolder() { setDocumentsFolder(L"%USERPROFILE%\\Documents"); }

Installation::Installation() {
  static std::atomic<int> counter{0};
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  std::wstring base = std::wstring(tmp) + L"kv_e2e_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                      std::to_wstring(counter++) + L"\\";
  folder_ = base + L"Korvalin\\";
  documents_ = base + L"Documents";
  std::filesystem::create_directories(folder_);
  std::filesystem::create_directories(documents_);
  std::wstring bin = moduleFolder();
  for (const wchar_t* f : {L"Korvalin.exe", L"Tessaro.dll"}) CopyFileW((bin + f).c_str(), (folder_ + f).c_str(), FALSE);
  copyTree(bin + L"Skins", folder_ + L"Skins");
  copyTree(bin + L"Help", folder_ + L"Help");
  setDocumentsFolder(documents_);
}

Installation::~Installation() {
  restoreDocumentsFolder();
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(folder_).parent_path().parent_path(), ec);
}

bool Installation::remove(const std::wstring& relative) { return DeleteFileW(path(relative).c_str()) != FALSE; }

void Installation::setEnv(const std::wstring& name, const std::wstring& value) { env_.emplace_back(name, value); }

HANDLE Installation::start(const std::wstring& arguments) {
  for (const auto& [name, value] : env_) SetEnvironmentVariableW(name.c_str(), value.c_str());
  std::wstring exe = folder_ + L"Korvalin.exe";
  std::wstring cmd = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  BOOL ok = CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(), &si, &pi);
  for (const auto& [name, value] : env_) SetEnvironmentVariableW(name.c_str(), nullptr);
  if (!ok) return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

Running::~Running() {
  if (!process_) return;
  if (alive()) terminate();
  CloseHandle(process_);
}

DWORD Running::waitExit(DWORD timeoutMs) {
  if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_, &code);
  return code;
}

void Running::terminate() {
  TerminateProcess(process_, 255);
  WaitForSingleObject(process_, 5000);
}

namespace {
struct FindCtx {
  DWORD pid;
  const std::wstring* title;
  HWND found;
};
}  // namespace

HWND Running::mainWindow() const {
  FindCtx ctx{pid(), nullptr, nullptr};
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        auto* c = reinterpret_cast<FindCtx*>(lp);
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if (owner == c->pid && GetWindowLongPtrW(h, GWLP_USERDATA) == kMainMarker) {
          c->found = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

HWND Running::waitMainWindow(DWORD timeoutMs) const {
  HWND h = nullptr;
  waitFor([&] { return (h = mainWindow()) != nullptr || !alive(); }, timeoutMs);
  return h;
}

HWND Running::findTopLevel(const std::wstring& title) const {
  FindCtx ctx{pid(), &title, nullptr};
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        auto* c = reinterpret_cast<FindCtx*>(lp);
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if (owner != c->pid) return TRUE;
        wchar_t buf[512];
        GetWindowTextW(h, buf, 512);
        if (*c->title == buf) {
          c->found = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

std::vector<HWND> trayIconWindows() {
  std::vector<HWND> icons;
  HWND tray = nullptr;
  while ((tray = FindWindowExW(nullptr, tray, L"__winex11_standalone_tray", nullptr)) != nullptr) {
    HWND icon = nullptr;
    while ((icon = FindWindowExW(tray, icon, L"__winex11_tray_icon", nullptr)) != nullptr)
      if (IsWindowVisible(icon)) icons.push_back(icon);
  }
  return icons;
}

bool trayShowsIcon(HWND trayIcon, const std::wstring& exePath, int iconId) {
  RECT r;
  if (!GetWindowRect(trayIcon, &r)) return false;
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return false;
  HMODULE mod = LoadLibraryExW(exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!mod) return false;
  int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
  HICON icon = static_cast<HICON>(LoadImageW(mod, MAKEINTRESOURCEW(iconId), IMAGE_ICON, cx, cy, 0));
  bool match = false;
  if (icon) {
    // Draw the icon on the tray's own background, then compare with the screen.
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, cx, cy);
    HGDIOBJ old = SelectObject(mem, bmp);
    int ox = r.left + (w - cx) / 2, oy = r.top + (h - cy) / 2;
    BitBlt(mem, 0, 0, cx, cy, screen, ox, oy, SRCCOPY);
    // Count the pixels that differ before and after drawing the icon over the copy:
    // where the screen already shows this icon, drawing it again changes little.
    int differ = 0, total = 0;
    HDC mem2 = CreateCompatibleDC(screen);
    HBITMAP bmp2 = CreateCompatibleBitmap(screen, cx, cy);
    HGDIOBJ old2 = SelectObject(mem2, bmp2);
    BitBlt(mem2, 0, 0, cx, cy, mem, 0, 0, SRCCOPY);
    DrawIconEx(mem2, 0, 0, icon, cx, cy, 0, nullptr, DI_NORMAL);
    for (int y = 0; y < cy; ++y)
      for (int x = 0; x < cx; ++x) {
        COLORREF a = GetPixel(mem, x, y), b = GetPixel(mem2, x, y);
        int d = abs(GetRValue(a) - GetRValue(b)) + abs(GetGValue(a) - GetGValue(b)) + abs(GetBValue(a) - GetBValue(b));
        ++total;
        if (d > 60) ++differ;
      }
    SelectObject(mem2, old2);
    DeleteObject(bmp2);
    DeleteDC(mem2);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    DestroyIcon(icon);
    match = total > 0 && differ * 20 < total;  // under 5% of the pixels change
  }
  FreeLibrary(mod);
  return match;
}

int trayIconId(const std::wstring& exePath, std::initializer_list<int> candidates) {
  auto icons = trayIconWindows();
  if (icons.empty()) return 0;
  for (int id : candidates)
    if (trayShowsIcon(icons.front(), exePath, id)) return id;
  return 0;
}

}  // namespace kv::e2e
