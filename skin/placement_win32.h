// Placing controls by the placement entries of a skin description file.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "base/placement.h"

namespace kv {

class CPngButton;
class SkinSurface;

// Reads section/key with a 260-character buffer and the default "1,1,1,1,x".
Placement ReadPlacement(const std::wstring& skinFile, std::wstring_view section, std::wstring_view key);

// Places the button by the entry (no repaint) and gives it faces cut from
// the surfaces at its own position: normal, hover, pressed, disabled and,
// as the set face, `extra`. A missing entry (x and y both 1) disables it.
void PlaceSkinnedControl(CPngButton& control, const std::wstring& skinFile, std::wstring_view section,
                         std::wstring_view key, const SkinSurface* normal, const SkinSurface* hover,
                         const SkinSurface* pressed, const SkinSurface* disabled, const SkinSurface* extra);

// Position and size by the entry, without repainting.
void PlaceControl(HWND control, const std::wstring& skinFile, std::wstring_view section, std::wstring_view key);

// Places by the first entry; every face is cut from `surface` at the x and y
// of the second entry.
void PlaceControlWithImageOrigin(CPngButton& control, const std::wstring& skinFile, std::wstring_view section,
                                 std::wstring_view key, std::wstring_view originSection,
                                 std::wstring_view originKey, const SkinSurface* surface);

// Moves the top-left corner to the entry's x and y, keeps the size, repaints.
void MoveControlTo(HWND control, const std::wstring& skinFile, std::wstring_view section, std::wstring_view key);

}  // namespace kv
