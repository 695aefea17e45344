// The fonts of the program's windows: a face that carries the glyphs of the
// texts the windows show, sized in pixels for the window's DPI.
#pragma once

#include <windows.h>

#include <span>
#include <string>
#include <string_view>

#include "base/handles_win32.h"

namespace kv {

// Faces for Chinese texts, in order: Windows' own UI face, Windows' older
// ones, then those found under Wine on Linux (the packaged WenQuanYi and Noto
// faces, and the fallback face of many desktops).
inline constexpr const wchar_t* kCjkFaces[] = {
    L"Microsoft YaHei UI", L"Microsoft YaHei", L"SimSun",            L"NSimSun",
    L"WenQuanYi Micro Hei", L"WenQuanYi Zen Hei", L"Noto Sans CJK SC", L"Source Han Sans SC",
    L"Droid Sans Fallback", L"AR PL UMing CN"};

// How many characters of `text` the face has no glyph for (1 << 20 when the
// face cannot be made at all). Surrogate pairs count as missing.
[[nodiscard]] size_t MissingGlyphs(HDC dc, HFONT font, std::u16string_view text);

// Of `faces`, the first one that has every character of `text`; when none
// has all, the one missing the fewest (the first of equals). Empty when
// `faces` is.
[[nodiscard]] std::wstring ChooseFace(std::span<const wchar_t* const> faces, std::u16string_view text);

// The face the program's fonts take: `wanted` (a template's or skin's face)
// while the texts are Latin; for texts with CJK characters the face of
// kCjkFaces that carries the text table's characters. Worked out again only
// when the text table changed.
[[nodiscard]] std::wstring UiFaceFor(std::wstring_view wanted);

// A font as `lf` describes it, in the face UiFaceFor(lf.lfFaceName) gives.
// Null (logged) when it cannot be made.
[[nodiscard]] UniqueFont CreateUiFont(LOGFONTW lf);

// The font for tooltips while the texts need a face other than the
// system's (Chinese under Wine): the system's status font in the face of
// UiFaceFor; null while the system's font will do. Owned here, one for the
// process, made again when the text table changed.
[[nodiscard]] HFONT TooltipFont();

// The character height (negative, as LOGFONT takes it) of `points` at `dpi`.
[[nodiscard]] int FontHeightForPoints(double points, UINT dpi);

// The window's DPI: GetDpiForWindow where the system has it (Windows 10
// 1607 and later), else the screen's LOGPIXELSY; 96 without a window.
[[nodiscard]] UINT WindowDpi(HWND window);

// The DPI the skin is drawn at. Its pictures and placements are pixels for
// 96 DPI, shown 1:1 at every DPI for now, so the texts drawn on them are
// sized for 96 DPI too: a label sized for 192 DPI would overflow its slot.
[[nodiscard]] inline UINT SkinDpi(HWND) { return 96; }

// `value` (in pixels at 96 DPI) at `dpi`, rounded to the nearest pixel.
[[nodiscard]] inline int ScaleForDpi(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), 96); }

// Tells the dialog manager to leave a dialog and its controls alone when the
// window's DPI changes (the program scales them itself): no resizing, no new
// fonts. Looked up at run time; a system before Windows 10 1703 has neither
// call and never rescales a dialog. Applies to the controls the dialog has.
void TakeOverDialogDpiScaling(HWND dialog);

}  // namespace kv
