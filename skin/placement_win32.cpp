#include "skin/placement_win32.h"

#include <algorithm>
#include <string>

#include "base/log_win32.h"
#include "base/text_table_win32.h"
#include "base/wide_win32.h"
#include "skin/png_button_win32.h"
#include "skin/skin_picture_win32.h"

namespace kv {
namespace {

HDC surfaceDc(const SkinSurface* s) { return s ? s->hdc() : nullptr; }

void moveTo(HWND control, const Placement& p, bool repaint) {
  if (control) MoveWindow(control, p.x, p.y, p.w, p.h, repaint ? TRUE : FALSE);
}

// How much of a control's entry shows inside its window: for a drop-down
// list its selection field (the list opens as a window of its own), for
// anything else all of it (0).
int visibleHeightOf(HWND control) {
  wchar_t cls[16] = {};
  if (!GetClassNameW(control, cls, 16) || lstrcmpiW(cls, L"ComboBox") != 0) return 0;
  RECT field{};
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (GetComboBoxInfo(control, &info)) field = info.rcItem;
  LRESULT item = SendMessageW(control, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
  // The field's text height and its frame; at least the field as it is now.
  int fieldHeight = item > 0 ? static_cast<int>(item) + 2 * GetSystemMetrics(SM_CYEDGE) + 2 : 0;
  return std::max<int>({1, fieldHeight, static_cast<int>(field.bottom - field.top)});
}

// The entry as the control's window takes it: a skinned window is as large
// as its skin picture, so its client area is the picture's size. A control
// without a measurable parent keeps the entry as read.
Placement placementFor(HWND control, const Placement& p) {
  HWND parent = control ? GetParent(control) : nullptr;
  RECT client{};
  if (!parent) return p;
  if (!GetClientRect(parent, &client)) {
    ReportWin32Failure(L"GetClientRect(skinned window)");
    return p;
  }
  return placementInWindow(p, client.right - client.left, client.bottom - client.top, visibleHeightOf(control));
}

}  // namespace

Placement ReadPlacement(const std::wstring& skinFile, std::wstring_view section, std::wstring_view key) {
  std::wstring entry =
      ReadProfileText(skinFile, section, key, wide(kPlacementDefault), kPlacementBufferChars);
  return parsePlacement(u16(entry));
}

void PlaceSkinnedControl(CPngButton& control, const std::wstring& skinFile, std::wstring_view section,
                         std::wstring_view key, const SkinSurface* normal, const SkinSurface* hover,
                         const SkinSurface* pressed, const SkinSurface* disabled, const SkinSurface* extra) {
  Placement p = placementFor(control.hwnd(), ReadPlacement(skinFile, section, key));
  moveTo(control.hwnd(), p, false);
  control.setFaces(p.x, p.y, surfaceDc(normal), surfaceDc(hover), surfaceDc(pressed), surfaceDc(disabled),
                   surfaceDc(extra), false);
  if (placementMissing(p) && control.hwnd()) EnableWindow(control.hwnd(), FALSE);
}

void PlaceControl(HWND control, const std::wstring& skinFile, std::wstring_view section, std::wstring_view key) {
  moveTo(control, placementFor(control, ReadPlacement(skinFile, section, key)), false);
}

void PlaceControlWithImageOrigin(CPngButton& control, const std::wstring& skinFile, std::wstring_view section,
                                 std::wstring_view key, std::wstring_view originSection,
                                 std::wstring_view originKey, const SkinSurface* surface) {
  moveTo(control.hwnd(), placementFor(control.hwnd(), ReadPlacement(skinFile, section, key)), false);
  Placement origin = ReadPlacement(skinFile, originSection, originKey);
  HDC s = surfaceDc(surface);
  control.setFaces(origin.x, origin.y, s, s, s, s, s, false);
}

void MoveControlTo(HWND control, const std::wstring& skinFile, std::wstring_view section, std::wstring_view key) {
  if (!control) return;
  // The control keeps its size: that size at the entry's point must fit.
  RECT own{};
  GetWindowRect(control, &own);
  Placement p = ReadPlacement(skinFile, section, key);
  p.w = std::max<int>(1, own.right - own.left);
  p.h = std::max<int>(1, own.bottom - own.top);
  p = placementFor(control, p);
  SetWindowPos(control, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(control, nullptr, TRUE);
}

}  // namespace kv
