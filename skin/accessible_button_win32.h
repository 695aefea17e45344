// What an image button tells screen readers: the object a WM_GETOBJECT
// request for the button's client area gets (MSAA). The standard object of a
// button would read the window text, which an image button draws as its
// caption or not at all, so the name, and whether the button is the selected
// one of its group, come from the button.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>

namespace kv {

// IID_IAccessible, spelt out: MinGW's oleacc import library resolves the
// name to an import thunk of oleacc.dll's exported data, not to the IID.
inline constexpr GUID kIidAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// Shared by a button and every object handed out for it, which screen
// readers may call from another thread and keep after the button is gone.
struct AccessibleButtonState {
  std::mutex lock;
  std::wstring name;
  bool selected = false;
};

// The answer to WM_GETOBJECT for the button's client area (wp as received);
// 0 when no object could be made (the default handling then answers).
[[nodiscard]] LRESULT AnswerAccessibleObject(HWND button, const std::shared_ptr<AccessibleButtonState>& state,
                                             WPARAM wp);

}  // namespace kv
