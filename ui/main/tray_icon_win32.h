// The notification-area icon: adding, icon changes, re-adding after the
// taskbar is re-created, the right-click menu and the double click.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace kv {

class CTrayIcon {
 public:
  CTrayIcon() = default;
  ~CTrayIcon();
  CTrayIcon(const CTrayIcon&) = delete;
  CTrayIcon& operator=(const CTrayIcon&) = delete;

  // Adds the icon. Fails silently (returns false) when the owner is not a
  // window or the shell is older than version 4; an add the shell refused is
  // made again when it announces a new taskbar.
  [[nodiscard]] bool Create(HWND owner, UINT callbackMessage, UINT id, HICON icon, const std::wstring& tooltip);
  // Loads the icon resource of the program and shows it.
  [[nodiscard]] bool SetIconResource(int resourceId);
  [[nodiscard]] bool SetIcon(HICON icon);
  void Remove();
  bool added() const { return added_; }

  // Where the right-click menu's texts come from.
  void SetLanguageFile(const std::wstring& path) { languageFile_ = path; }

 private:
  static LRESULT CALLBACK HookProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  LRESULT OnHookMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& handled);
  void ShowMenu();
  // NIM_ADD with the stored data, and the newer callbacks when it was added.
  [[nodiscard]] bool AddToShell();
  void Hook(HWND hwnd);
  void Unhook();

  NOTIFYICONDATAW nid_{};
  bool added_ = false;
  bool wanted_ = false;  // between Create and Remove: added, or to be added with the next taskbar
  bool versionSet_ = false;  // the shell sends the newer callbacks
  HWND hooked_[2] = {nullptr, nullptr};  // the owner and its top-level parent
  UINT taskbarCreated_ = 0;
  std::wstring languageFile_;
};

}  // namespace kv
