#include "ui/main/tray_icon_win32.h"

#include <commctrl.h>

#include "base/handles_win32.h"
#include "base/log_win32.h"
#include "base/text_table.h"
#include "base/text_table_win32.h"
#include "resources/control_ids.h"

namespace kv {
namespace {

constexpr UINT_PTR kHookId = 0x54524159;  // "TRAY"
constexpr UINT kMenuResource = IDR_TRAY_MENU;
constexpr UINT kMenuOpen = IDM_OPEN, kMenuAbout = IDM_ABOUT, kMenuExit = IDM_EXIT;

}  // namespace

CTrayIcon::~CTrayIcon() { Remove(); }

bool CTrayIcon::Create(HWND owner, UINT callbackMessage, UINT id, HICON icon, const std::wstring& tooltip) {
  if (!IsWindow(owner)) return false;
  if (LOBYTE(LOWORD(GetVersion())) < 4) return false;
  nid_ = {};
  nid_.cbSize = sizeof nid_;
  nid_.hWnd = owner;
  nid_.uID = id;
  nid_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid_.uCallbackMessage = callbackMessage;
  nid_.hIcon = icon;
  (void)lstrcpynW(nid_.szTip, tooltip.c_str(), ARRAYSIZE(nid_.szTip));  // cut to the tip's size on purpose
  // Wanted from now on: an add the shell refuses (its taskbar not up yet,
  // at a start at logon) is made again when it announces the taskbar.
  wanted_ = true;
  taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
  Hook(owner);
  return AddToShell();
}

bool CTrayIcon::AddToShell() {
  nid_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  added_ = Shell_NotifyIconW(NIM_ADD, &nid_) != FALSE;
  if (added_) {
    nid_.uVersion = NOTIFYICON_VERSION;
    // The newer callbacks add the keyboard's: WM_CONTEXTMENU (Shift+F10, the
    // Applications key, and a right click) and NIN_KEYSELECT (Enter, Space).
    // Without them the shell sends the older ones, the mouse's alone.
    versionSet_ = Shell_NotifyIconW(NIM_SETVERSION, &nid_) != FALSE;
  }
  return added_;
}

bool CTrayIcon::SetIconResource(int resourceId) {
  HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  if (!icon) return false;
  return SetIcon(icon);
}

bool CTrayIcon::SetIcon(HICON icon) {
  nid_.hIcon = icon;
  if (!added_) return false;
  nid_.uFlags = NIF_ICON;
  BOOL ok = Shell_NotifyIconW(NIM_MODIFY, &nid_);
  nid_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  return ok != FALSE;
}

void CTrayIcon::Remove() {
  Unhook();
  wanted_ = false;
  if (!added_) return;
  nid_.uFlags = 0;
  (void)Shell_NotifyIconW(NIM_DELETE, &nid_);  // an icon the shell already dropped is gone either way
  added_ = false;
}

void CTrayIcon::Hook(HWND hwnd) {
  Unhook();
  hooked_[0] = hwnd;
  HWND top = GetAncestor(hwnd, GA_ROOT);
  hooked_[1] = top != hwnd ? top : nullptr;
  for (HWND h : hooked_)
    if (h && !SetWindowSubclass(h, HookProc, kHookId, reinterpret_cast<DWORD_PTR>(this)))
      ReportWin32Failure(L"SetWindowSubclass(tray)");
}

void CTrayIcon::Unhook() {
  for (HWND& h : hooked_) {
    if (h && IsWindow(h)) (void)RemoveWindowSubclass(h, HookProc, kHookId);  // fails only when not hooked
    h = nullptr;
  }
}

LRESULT CALLBACK CTrayIcon::HookProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
  auto* self = reinterpret_cast<CTrayIcon*>(ref);
  bool handled = false;
  LRESULT r = self->OnHookMessage(hwnd, msg, wp, lp, handled);
  if (msg == WM_NCDESTROY) (void)RemoveWindowSubclass(hwnd, HookProc, kHookId);  // fails only when not hooked
  return handled ? r : DefSubclassProc(hwnd, msg, wp, lp);
}

LRESULT CTrayIcon::OnHookMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  if (taskbarCreated_ != 0 && msg == taskbarCreated_) {
    // A new taskbar (the shell restarted, or started after us): the icon is
    // not on it, whether or not it was ever added.
    if (wanted_) (void)AddToShell();  // a refusal waits for the next announcement
    return 0;
  }
  if (hwnd != nid_.hWnd || msg != nid_.uCallbackMessage || wp != nid_.uID) return 0;
  handled = true;
  switch (LOWORD(lp)) {
    case WM_RBUTTONUP:
      // With the newer callbacks a WM_CONTEXTMENU follows: one menu.
      if (!versionSet_) ShowMenu();
      break;
    case WM_CONTEXTMENU:
      ShowMenu();
      break;
    case NIN_KEYSELECT:
    case WM_LBUTTONDBLCLK:
      (void)SendMessageW(nid_.hWnd, WM_COMMAND, MAKEWPARAM(kMenuOpen, 0), 0);  // commands answer nothing
      break;
    default:
      break;
  }
  return 0;
}

void CTrayIcon::ShowMenu() {
  UniqueMenu menu(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kMenuResource)));
  if (!menu) {
    ReportWin32Failure(L"LoadMenuW(tray)");
    return;
  }
  HMENU popup = GetSubMenu(menu.get(), 0);
  if (popup) {
    const struct { UINT pos, id; const LanguageKey& key; } items[] = {
        {0, kMenuOpen, kTrayMenuKeys[0]}, {1, kMenuAbout, kTrayMenuKeys[1]}, {2, kMenuExit, kTrayMenuKeys[2]}};
    for (const auto& item : items) {
      std::wstring label = ReadLanguageText(languageFile_, item.key.key);
      // A label left as in the resource still names the item.
      (void)ModifyMenuW(popup, item.pos, MF_BYPOSITION | MF_STRING, item.id, label.c_str());
    }
    (void)SetMenuDefaultItem(popup, 0, TRUE);  // only the bold face is lost
    POINT pt{};
    (void)GetCursorPos(&pt);  // fails only on a locked desktop; the menu opens at (0, 0)
    (void)SetForegroundWindow(nid_.hWnd);  // may be refused; the menu still opens
    // The chosen command is posted to the owner; zero means none was chosen.
    (void)TrackPopupMenu(popup, TPM_LEFTBUTTON, pt.x, pt.y, 0, nid_.hWnd, nullptr);
    // Lets the menu close when the user clicks elsewhere.
    (void)PostMessageW(nid_.hWnd, WM_NULL, 0, 0);
  }
}

}  // namespace kv
