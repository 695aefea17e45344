#include "widgets/ui_font_win32.h"

#include <cmath>
#include <mutex>
#include <set>
#include <vector>

#include "base/log_win32.h"
#include "base/text_table.h"

namespace kv {
namespace {

constexpr size_t kNoFont = size_t{1} << 20;

// Every character of the text table once, control characters left out.
std::u16string tableCharacters() {
  std::set<char16_t> seen;
  for (size_t i = 0; i < kTextIdCount; ++i)
    for (char16_t c : text(static_cast<TextId>(i)))
      if (c >= 0x20) seen.insert(c);
  return {seen.begin(), seen.end()};
}

LOGFONTW faceOnly(std::wstring_view face) {
  LOGFONTW lf{};
  lf.lfHeight = -12;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  face.copy(lf.lfFaceName, LF_FACESIZE - 1);
  return lf;
}

template <class Fn>
Fn lookUp(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  // The cast from FARPROC is what GetProcAddress asks of every caller.
  return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

}  // namespace

size_t MissingGlyphs(HDC dc, HFONT font, std::u16string_view text) {
  if (!dc || !font) return kNoFont;
  std::wstring wide;
  for (char16_t c : text)
    if (c >= 0x20) wide.push_back(static_cast<wchar_t>(c));
  if (wide.empty()) return 0;
  SelectObjectRestorer selected(dc, font);
  std::vector<WORD> glyphs(wide.size());
  if (GetGlyphIndicesW(dc, wide.c_str(), static_cast<int>(wide.size()), glyphs.data(),
                       GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR) {
    ReportWin32Failure(L"GetGlyphIndicesW");
    return kNoFont;
  }
  size_t missing = 0;
  for (size_t i = 0; i < wide.size(); ++i)
    if (glyphs[i] == 0xFFFF || (wide[i] >= 0xD800 && wide[i] <= 0xDFFF)) ++missing;
  return missing;
}

std::wstring ChooseFace(std::span<const wchar_t* const> faces, std::u16string_view text) {
  UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  if (!dc) ReportWin32Failure(L"CreateCompatibleDC(font choice)");
  std::wstring best;
  size_t fewest = kNoFont + 1;
  for (const wchar_t* face : faces) {
    LOGFONTW lf = faceOnly(face);
    UniqueFont font(CreateFontIndirectW(&lf));
    size_t missing = MissingGlyphs(dc.get(), font.get(), text);
    if (missing < fewest) {
      fewest = missing;
      best = face;
    }
    if (missing == 0) break;
  }
  return best;
}

std::wstring UiFaceFor(std::wstring_view wanted) {
  static std::mutex lock;
  static bool known = false;
  static unsigned knownAt = 0;
  static std::wstring cjkFace;  // empty while the texts are Latin
  std::lock_guard guard(lock);
  if (!known || knownAt != textTableChanges()) {
    knownAt = textTableChanges();
    known = true;
    cjkFace.clear();
    if (textTableHasCjk()) {
      cjkFace = ChooseFace(kCjkFaces, tableCharacters());
      LogLine(L"font face for the texts: " + cjkFace);
    }
  }
  return cjkFace.empty() ? std::wstring(wanted) : cjkFace;
}

UniqueFont CreateUiFont(LOGFONTW lf) {
  std::wstring face = UiFaceFor(lf.lfFaceName);
  std::fill(std::begin(lf.lfFaceName), std::end(lf.lfFaceName), L'\0');
  face.copy(lf.lfFaceName, LF_FACESIZE - 1);
  UniqueFont font(CreateFontIndirectW(&lf));
  if (!font) ReportWin32Failure(L"CreateFontIndirectW");
  return font;
}

HFONT TooltipFont() {
  static UniqueFont font;
  static unsigned madeAt = 0;
  static bool made = false;
  if (made && madeAt == textTableChanges()) return font.get();
  made = true;
  madeAt = textTableChanges();
  font.reset();
  if (!textTableHasCjk()) return nullptr;
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    ReportWin32Failure(L"SystemParametersInfoW(SPI_GETNONCLIENTMETRICS)");
    return nullptr;
  }
  font = CreateUiFont(metrics.lfStatusFont);
  return font.get();
}

int FontHeightForPoints(double points, UINT dpi) { return -static_cast<int>(std::lround(points * dpi / 72.0)); }

UINT WindowDpi(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = lookUp<GetDpiForWindowFn>("GetDpiForWindow");
  if (window && getDpiForWindow)
    if (UINT dpi = getDpiForWindow(window); dpi != 0) return dpi;
  WindowDc screen(nullptr);
  int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
  return dpi > 0 ? static_cast<UINT>(dpi) : 96u;
}

void TakeOverDialogDpiScaling(HWND dialog) {
  // The values of DIALOG_DPI_CHANGE_BEHAVIORS and
  // DIALOG_CONTROL_DPI_CHANGE_BEHAVIORS (winuser.h of Windows 10 1703).
  constexpr int kDisableAll = 0x0001;                  // DDC_DISABLE_ALL
  constexpr int kDisableFontAndRelayout = 0x0001 | 0x0002;  // DCDC_DISABLE_FONTUPDATE | DCDC_DISABLE_RELAYOUT
  using SetDialogFn = BOOL(WINAPI*)(HWND, int, int);
  static const auto setDialog = lookUp<SetDialogFn>("SetDialogDpiChangeBehavior");
  static const auto setControl = lookUp<SetDialogFn>("SetDialogControlDpiChangeBehavior");
  if (!dialog) return;
  if (setDialog && !setDialog(dialog, kDisableAll, kDisableAll))
    ReportWin32Failure(L"SetDialogDpiChangeBehavior");
  if (!setControl) return;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (!setControl(child, kDisableFontAndRelayout, kDisableFontAndRelayout))
      ReportWin32Failure(L"SetDialogControlDpiChangeBehavior");
}

}  // namespace kv
