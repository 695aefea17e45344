#include "tests/e2e/harness_win32.h"

#include <shellapi.h>
#include <commctrl.h>
#include <dlgs.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "base/wide_win32.h"
#include "resources/control_ids.h"
#include "widgets/application_win32.h"

namespace kv::e2e {
namespace {

int xdotool(const std::wstring& args) { return runUnix(L"/usr/bin/xdotool " + args); }

std::wstring coords(int x, int y) { return std::to_wstring(x) + L" " + std::to_wstring(y); }

// 32-bit top-down pixels of a rectangle.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> bits;  // 0x00RRGGBB
};

// The format of 32-bit pixels, top row first.
BITMAPINFO topDown32(int width, int height) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  return bi;
}

// A DIB section selected into a memory DC, for reading pixels back.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    WindowDc screen(nullptr);
    dc_.reset(CreateCompatibleDC(screen.get()));
    BITMAPINFO bi = topDown32(width, height);
    void* bits = nullptr;
    bitmap_.reset(CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    bits_ = static_cast<uint32_t*>(bits);
    if (dc_ && bitmap_) select_ = SelectObjectRestorer(dc_.get(), bitmap_.get());
  }
  bool ok() const { return dc_ && bitmap_ && bits_; }
  HDC dc() const { return dc_.get(); }
  Pixels pixels() const {
    GdiFlush();
    Pixels p;
    p.width = width_;
    p.height = height_;
    if (ok()) p.bits.assign(bits_, bits_ + static_cast<size_t>(width_) * height_);
    return p;
  }

 private:
  int width_, height_;
  UniqueMemoryDc dc_;
  UniqueBitmap bitmap_;
  uint32_t* bits_ = nullptr;
  SelectObjectRestorer select_;
};

Pixels captureScreen(const RECT& r) {
  Canvas canvas(r.right - r.left, r.bottom - r.top);
  if (!canvas.ok()) return {};
  WindowDc screen(nullptr);
  if (!BitBlt(canvas.dc(), 0, 0, r.right - r.left, r.bottom - r.top, screen.get(), r.left, r.top, SRCCOPY))
    return {};
  return canvas.pixels();
}

int channelDistance(uint32_t a, uint32_t b) {
  int d = 0;
  for (int shift = 0; shift < 24; shift += 8)
    d += std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
  return d;
}

// The 32-bit pixels (0xAARRGGBB) of an icon's colour image at this size;
// empty when the image has no alpha channel.
std::vector<uint32_t> iconPixels(HICON icon, int size) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return {};
  UniqueBitmap colour(info.hbmColor), mask(info.hbmMask);
  if (!colour) return {};
  BITMAPINFO bi = topDown32(size, size);
  std::vector<uint32_t> bits(static_cast<size_t>(size) * size);
  WindowDc screen(nullptr);
  if (GetDIBits(screen.get(), colour.get(), 0, size, bits.data(), &bi, DIB_RGB_COLORS) != size) return {};
  bool alpha = false;
  for (uint32_t p : bits) alpha = alpha || (p >> 24) != 0;
  return alpha ? bits : std::vector<uint32_t>{};
}

}  // namespace

// ---- Unix tools and real input ------------------------------------------------------

int runUnix(const std::wstring& commandLine, DWORD timeoutMs) {
  // Wine starts a Unix program detached, without a process handle to wait
  // on, so a shell runs it and leaves its exit code in a file.
  static std::atomic<int> counter{0};
  wchar_t tmp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, tmp);
  if (n == 0 || n >= MAX_PATH) return -1;
  std::wstring marker = std::wstring(tmp, n) + L"kv_e2e_rc_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                        std::to_wstring(counter++);
  std::wstring unixMarker = unixPath(marker);
  std::wstring cmd = L"/bin/sh -c \"(" + commandLine + L"); echo $? > '" + unixMarker + L".part' && mv '" +
                     unixMarker + L".part' '" + unixMarker + L"'\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  if (pi.hThread) CloseHandle(pi.hThread);
  if (pi.hProcess) CloseHandle(pi.hProcess);
  std::string text;
  bool done = waitFor([&] {
    UniqueFile file(CreateFileW(marker.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    char buf[32] = {};
    DWORD got = 0;
    if (!ReadFile(file.get(), buf, sizeof buf - 1, &got, nullptr)) return false;
    text.assign(buf, got);
    return true;
  }, timeoutMs, 5);
  DeleteFileW(marker.c_str());
  if (!done || text.empty()) return -1;
  return std::atoi(text.c_str());
}

std::wstring unixPath(const std::wstring& windowsPath) {
  using Fn = char*(CDECL*)(LPCWSTR);
  static Fn fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!fn) return windowsPath;
  char* p = fn(windowsPath.c_str());
  if (!p) return windowsPath;
  std::string s(p);
  HeapFree(GetProcessHeap(), 0, p);
  return wideAscii(s);
}

// One xdotool run per gesture: the X server applies its moves and button
// events in order, so the program sees the button where the pointer went.
// (No --sync: it waits forever when the pointer is already there.)
void mouseMoveTo(int x, int y) { xdotool(L"mousemove " + coords(x, y)); }

void click(int x, int y, int button) {
  xdotool(L"mousemove " + coords(x, y) + L" click " + std::to_wstring(button));
}

void doubleClick(int x, int y) { xdotool(L"mousemove " + coords(x, y) + L" click --repeat 2 --delay 60 1"); }

void drag(int x0, int y0, int x1, int y1) { dragAlong({{x0, y0}, {x1, y1}}); }

void dragAlong(const std::vector<POINT>& path) {
  if (path.empty()) return;
  constexpr int kSteps = 8;  // per leg
  std::wstring args = L"mousemove " + coords(path[0].x, path[0].y) + L" mousedown 1";
  for (size_t leg = 1; leg < path.size(); ++leg) {
    POINT a = path[leg - 1], b = path[leg];
    for (int i = 1; i <= kSteps; ++i)
      args += L" sleep 0.03 mousemove " + coords(a.x + (b.x - a.x) * i / kSteps, a.y + (b.y - a.y) * i / kSteps);
  }
  args += L" sleep 0.05 mouseup 1";
  xdotool(args);
}

void pressKey(const char* keysym) { xdotool(L"key " + wideAscii(keysym)); }
void keyDown(const char* keysym) { xdotool(L"keydown " + wideAscii(keysym)); }

int runBesideTests(const std::wstring& exeName, const std::wstring& arguments, std::string* output) {
  wchar_t temp[MAX_PATH], outPath[MAX_PATH];
  if (!GetTempPathW(MAX_PATH, temp) || !GetTempFileNameW(temp, L"kvo", 0, outPath)) return -1;
  int rc = -1;
  {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    UniqueFile out(CreateFileW(outPath, GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr));
    std::wstring exe = ExecutableFolder() + exeName;
    std::wstring cmd = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out.get();
    si.hStdError = out.get();
    PROCESS_INFORMATION pi{};
    if (out && CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
      UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
      DWORD code = 0;
      if (WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0 && GetExitCodeProcess(process.get(), &code))
        rc = static_cast<int>(code);
    }
  }
  if (output) {
    std::ifstream in(std::filesystem::path(outPath), std::ios::binary);
    output->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  DeleteFileW(outPath);
  return rc;
}
void keyUp(const char* keysym) { xdotool(L"keyup " + wideAscii(keysym)); }

void sendSystemKey(WORD vk, WORD scan, bool extended) {
  INPUT in[2] = {};
  for (INPUT& i : in) {
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = vk;
    i.ki.wScan = scan;
    i.ki.dwFlags = extended ? KEYEVENTF_EXTENDEDKEY : 0;
  }
  in[1].ki.dwFlags |= KEYEVENTF_KEYUP;
  if (SendInput(2, in, sizeof(INPUT)) != 2) std::fprintf(stderr, "SendInput failed: %lu\n", GetLastError());
}

void typeText(const std::wstring& text) { xdotool(L"type --delay 20 -- '" + text + L"'"); }

// ---- the screen ---------------------------------------------------------------------

std::wstring screenshot(const std::string& name) {
  wchar_t full[MAX_PATH];
  std::wstring relative = ExecutableFolder() + L"..\\..\\e2e";
  DWORD n = GetFullPathNameW(relative.c_str(), MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH) return L"";
  std::wstring folder(full, n);
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring file = folder + L"\\" + wideAscii(name) + L".png";
  DeleteFileW(file.c_str());
  if (runUnix(L"/usr/bin/import -window root '" + unixPath(file) + L"'") != 0) return L"";
  return GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES ? L"" : file;
}

// ---- windows --------------------------------------------------------------------------

WindowInfo describe(HWND hwnd) {
  WindowInfo info;
  if (!hwnd || !IsWindow(hwnd)) return info;
  info.exists = true;
  info.visible = IsWindowVisible(hwnd) != FALSE;
  info.enabled = IsWindowEnabled(hwnd) != FALSE;
  GetWindowRect(hwnd, &info.rect);
  info.style = GetWindowLongPtrW(hwnd, GWL_STYLE);
  info.exStyle = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
  wchar_t buf[512] = {};
  // For another process's window this reads the stored text without
  // sending it a message, so a busy program cannot block the test.
  GetWindowTextW(hwnd, buf, 512);
  info.text = buf;
  wchar_t cls[256] = {};
  GetClassNameW(hwnd, cls, 256);
  info.className = cls;
  return info;
}

std::vector<HWND> topLevelWindows(DWORD pid, bool visibleOnly) {
  std::vector<HWND> found;
  for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (owner == pid && (!visibleOnly || IsWindowVisible(h))) found.push_back(h);
  }
  return found;
}

HWND findTopLevel(DWORD pid, const wchar_t* className, const wchar_t* title) {
  for (HWND h : topLevelWindows(pid, false)) {
    WindowInfo info = describe(h);
    if (className && info.className != className) continue;
    if (title && info.text != title) continue;
    return h;
  }
  return nullptr;
}

bool closesBefore(HWND window, HWND other, DWORD timeoutMs) {
  bool first = false;
  waitFor([&] {
    if (IsWindow(window)) return false;
    first = IsWindow(other) != FALSE;
    return true;
  }, timeoutMs, 5);
  return first;
}

std::wstring messageBoxText(HWND box) {
  // The message of a message box is its static control 0xFFFF.
  HWND text = GetDlgItem(box, 0xFFFF);
  return text ? describe(text).text : L"";
}

// ---- the notification area ---------------------------------------------------------------

HWND trayWindow() { return FindWindowW(L"__winex11_standalone_tray", nullptr); }

void keepTrayUncovered() {
  HWND tray = trayWindow();
  if (!tray) return;
  RECT r;
  if (!GetWindowRect(tray, &r)) return;
  int height = r.bottom - r.top;
  int y = GetSystemMetrics(SM_CYSCREEN) - height;
  if (r.left != 0 || r.top != y)
    SetWindowPos(tray, HWND_TOPMOST, 0, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

std::vector<HWND> trayIconWindows() {
  std::vector<HWND> icons;
  HWND tray = trayWindow();
  if (!tray || !IsWindowVisible(tray)) return icons;
  for (HWND icon = FindWindowExW(tray, nullptr, L"__winex11_tray_icon", nullptr); icon;
       icon = FindWindowExW(tray, icon, L"__winex11_tray_icon", nullptr))
    if (IsWindowVisible(icon)) icons.push_back(icon);
  return icons;
}

int shownIconId(HWND trayIcon, const std::wstring& exePath, std::initializer_list<int> candidates) {
  RECT r;
  if (!GetWindowRect(trayIcon, &r)) return 0;
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return 0;
  Pixels shown = captureScreen(r);
  if (shown.bits.empty()) return 0;
  HMODULE mod = LoadLibraryExW(exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!mod) return 0;
  // The tray draws the small image of the icon centred in its window. Only
  // the icon's opaque pixels are compared: how the edges are blended with
  // the tray's background is the tray's business.
  int size = GetSystemMetrics(SM_CXSMICON);
  int best = 0;
  double bestScore = 2, secondScore = 2;
  for (int id : candidates) {
    UniqueIcon icon(static_cast<HICON>(LoadImageW(mod, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0)));
    std::vector<uint32_t> bgra = icon ? iconPixels(icon.get(), size) : std::vector<uint32_t>{};
    if (bgra.empty()) continue;
    double score = 2;
    for (int dy = -3; dy <= 3; ++dy)
      for (int dx = -3; dx <= 3; ++dx) {
        int ox = (w - size) / 2 + dx, oy = (h - size) / 2 + dy;
        int opaque = 0, differ = 0;
        for (int y = 0; y < size; ++y)
          for (int x = 0; x < size; ++x) {
            uint32_t p = bgra[static_cast<size_t>(y) * size + x];
            if ((p >> 24) < 0xF0) continue;
            ++opaque;
            int sx = ox + x, sy = oy + y;
            if (sx < 0 || sy < 0 || sx >= w || sy >= h ||
                channelDistance(p, shown.bits[static_cast<size_t>(sy) * w + sx]) > 48)
              ++differ;
          }
        if (opaque > 0) score = std::min(score, static_cast<double>(differ) / opaque);
      }
    if (getenv("KV_E2E_DEBUG")) fprintf(stderr, "icon %d differs in %.3f of its pixels\n", id, score);
    if (score < bestScore) {
      secondScore = bestScore;
      bestScore = score;
      best = id;
    } else if (score < secondScore) {
      secondScore = score;
    }
  }
  FreeLibrary(mod);
  // A clear match: hardly a pixel off, and far closer than the others.
  if (bestScore > 0.02 || secondScore < bestScore * 2 + 0.03) return 0;
  return best;
}

int trayIconId(const std::wstring& exePath) {
  auto icons = trayIconWindows();
  if (icons.size() != 1) return 0;
  return shownIconId(icons.front(), exePath, {IDI_NO_KEYBOARD, IDI_KEYBOARD, IDI_BUSY});
}

POINT centreOf(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

bool waitClickable(HWND hwnd, DWORD timeoutMs) {
  RECT last{};
  return waitFor([&] {
    RECT now{};
    if (!IsWindowVisible(hwnd) || !GetWindowRect(hwnd, &now)) return false;
    bool settled = EqualRect(&now, &last) != FALSE;
    last = now;
    return settled && WindowFromPoint(centreOf(hwnd)) == hwnd;
  }, timeoutMs, 50);
}

bool deleteTrayIcon(HWND owner, UINT uid) {
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = owner;
  nid.uID = uid;
  return Shell_NotifyIconW(NIM_DELETE, &nid) != FALSE;
}


std::vector<uint8_t> bytesOf(const std::string& reply) {
  std::vector<uint8_t> out;
  size_t start = reply.find('\n');
  if (reply.rfind("OK", 0) != 0 || start == std::string::npos) return out;
  std::string hex;
  for (char c : reply.substr(start + 1))
    if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

COLORREF pixelAt(int x, int y) {
  WindowDc screen(nullptr);
  return GetPixel(screen.get(), x, y);
}

std::vector<COLORREF> looksOf(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  std::vector<COLORREF> px;
  for (int i = 1; i < 5; ++i)
    for (int j = 1; j < 5; ++j) px.push_back(pixelAt(r.left + (r.right - r.left) * i / 5, r.top + (r.bottom - r.top) * j / 5));
  return px;
}

std::vector<std::pair<int, int>> tracedCommands(const std::vector<std::string>& trace, int command) {
  std::vector<std::pair<int, int>> found;
  auto byte = [](const std::string& hex, size_t i) {
    return static_cast<int>(std::strtol(hex.substr(4 + 2 * i, 2).c_str(), nullptr, 16));
  };
  for (const std::string& line : trace) {
    if (line.rfind("OUT ", 0) != 0 || line.size() < 4 + 2 * 8) continue;
    if (byte(line, 3) != command) continue;
    found.emplace_back(byte(line, 5) | (byte(line, 6) << 8), byte(line, 4));
  }
  return found;
}

void clickCentre(HWND hwnd) {
  POINT c = centreOf(hwnd);
  click(c.x, c.y);
}

namespace {

// The text of the tooltip window of the program that has `control` as its
// tool; nothing when there is none.
std::optional<std::wstring> shownTooltipOf(HANDLE process, HWND control) {
  // The tool records and their text must live in the program's own memory:
  // tooltip messages carry pointers.
  constexpr SIZE_T kTextChars = 512;
  constexpr SIZE_T kBlock = sizeof(TTTOOLINFOW) + kTextChars * sizeof(wchar_t);
  void* remote = VirtualAllocEx(process, nullptr, kBlock, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!remote) return std::nullopt;
  auto* remoteText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(TTTOOLINFOW));
  std::optional<std::wstring> found;
  DWORD pid = GetProcessId(process);
  for (HWND tip : topLevelWindows(pid, false)) {
    if (describe(tip).className != L"tooltips_class32") continue;
    TTTOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.lpszText = remoteText;
    SIZE_T done = 0;
    if (!WriteProcessMemory(process, remote, &info, sizeof info, &done)) break;
    if (!SendMessageW(tip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(remote))) continue;
    if (!ReadProcessMemory(process, remote, &info, sizeof info, &done) || info.hwnd != control) continue;
    info.lpszText = remoteText;
    if (!WriteProcessMemory(process, remote, &info, sizeof info, &done)) break;
    (void)SendMessageW(tip, TTM_GETTEXTW, kTextChars, reinterpret_cast<LPARAM>(remote));
    std::vector<wchar_t> text(kTextChars + 1, L'\0');
    if (ReadProcessMemory(process, remoteText, text.data(), kTextChars * sizeof(wchar_t), &done))
      found = std::wstring(text.data());
    break;
  }
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  return found;
}

}  // namespace

std::wstring tooltipOf(HANDLE process, HWND control) {
  if (std::optional<std::wstring> shown = shownTooltipOf(process, control)) return *shown;
  // A button makes its tooltip when the pointer first rests on it: rest the
  // pointer there as a user would, then put it back.
  POINT before{};
  bool known = GetCursorPos(&before) != FALSE;
  POINT c = centreOf(control);
  mouseMoveTo(c.x, c.y);
  std::optional<std::wstring> shown;
  (void)waitFor([&] { return (shown = shownTooltipOf(process, control)).has_value(); }, 3000, 50);
  if (known) mouseMoveTo(before.x, before.y);
  return shown.value_or(L"");
}

std::wstring listItemText(HANDLE process, HWND list, int row, int column) {
  // The item record and its text buffer must live in the program's memory:
  // list view messages carry pointers.
  constexpr SIZE_T kTextChars = 512;
  constexpr SIZE_T kBlock = sizeof(LVITEMW) + kTextChars * sizeof(wchar_t);
  void* remote = VirtualAllocEx(process, nullptr, kBlock, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!remote) return L"";
  auto* remoteText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(LVITEMW));
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = remoteText;
  item.cchTextMax = static_cast<int>(kTextChars);
  std::wstring found;
  SIZE_T done = 0;
  if (WriteProcessMemory(process, remote, &item, sizeof item, &done)) {
    DWORD_PTR copied = 0;
    if (SendMessageTimeoutW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote),
                            SMTO_ABORTIFHUNG, 2000, &copied)) {
      std::vector<wchar_t> text(kTextChars + 1, L'\0');
      if (ReadProcessMemory(process, remoteText, text.data(), kTextChars * sizeof(wchar_t), &done)) found = text.data();
    }
  }
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  return found;
}

RECT listItemRect(HANDLE process, HWND list, int row, int part) {
  RECT r{};
  void* remote = VirtualAllocEx(process, nullptr, sizeof r, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!remote) return RECT{};
  r.left = part;
  SIZE_T done = 0;
  DWORD_PTR found = 0;
  bool ok = WriteProcessMemory(process, remote, &r, sizeof r, &done) &&
            SendMessageTimeoutW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote),
                                SMTO_ABORTIFHUNG, 2000, &found) &&
            found && ReadProcessMemory(process, remote, &r, sizeof r, &done);
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  if (!ok) return RECT{};
  MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::wstring controlText(HWND control) {
  wchar_t buffer[260] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(control, WM_GETTEXT, 260, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000, &copied))
    return L"";
  return buffer;
}

HWND fileNameField(HWND dialog) {
  // The combo box of the explorer-style dialogs, or the plain edit of the
  // older ones.
  HWND name = GetDlgItem(dialog, cmb13);
  return name ? name : GetDlgItem(dialog, edt1);
}

HWND waitFileDialog(DWORD pid, HWND exclude, DWORD timeoutMs) {
  HWND d = nullptr;
  waitFor([&] {
    for (HWND h : topLevelWindows(pid, true))
      if (h != exclude && describe(h).className == L"#32770" && messageBoxText(h).empty() && GetDlgItem(h, IDOK) &&
          fileNameField(h))
        return (d = h) != nullptr;
    return false;
  }, timeoutMs);
  return d;
}

bool enterFileName(HWND dialog, const std::wstring& path) {
  HWND name = fileNameField(dialog);
  if (!name) return false;
  RECT last{};
  if (!waitFor([&] {
        RECT now{};
        bool settled = IsWindowVisible(name) && GetWindowRect(name, &now) && EqualRect(&now, &last);
        last = now;
        return settled;
      }, 5000, 100))
    return false;
  clickCentre(name);
  pressKey("ctrl+a");
  typeText(path);
  pressKey("Return");
  return true;
}

}  // namespace kv::e2e
