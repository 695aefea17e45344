// The notification-area icon against the real shell (Wine's tray): an icon
// whose first add the shell refused comes when the shell announces its
// taskbar, as at a start at logon before the taskbar exists.
#include "ui/main/tray_icon_win32.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "base/handles_win32.h"

namespace kv {
namespace {

constexpr UINT kIconId = 7;
constexpr UINT kCallback = WM_APP + 1;

NOTIFYICONDATAW iconData(HWND owner, HICON icon) {
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = owner;
  nid.uID = kIconId;
  nid.uFlags = NIF_ICON;
  nid.hIcon = icon;
  return nid;
}

TEST(TrayIcon, AddedWhenTheTaskbarComesAlthoughTheFirstAddFailed) {
  UniqueWindow owner(CreateWindowExW(0, L"STATIC", L"tray owner", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                     GetModuleHandleW(nullptr), nullptr));
  ASSERT_TRUE(owner);
  HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
  // The shell refuses an add while an icon of the same window and id is
  // there: a stand-in for a shell whose taskbar is not up yet.
  NOTIFYICONDATAW holder = iconData(owner.get(), icon);
  ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &holder)) << "no notification area";

  CTrayIcon tray;
  EXPECT_FALSE(tray.Create(owner.get(), kCallback, kIconId, icon, L"Korvalin"));
  EXPECT_FALSE(tray.added());
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &holder));

  (void)SendMessageW(owner.get(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_TRUE(tray.added()) << "the icon never came";
  // It is the shell's now: a second add of the same id is refused.
  EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, &holder));
  tray.Remove();
}

}  // namespace
}  // namespace kv
