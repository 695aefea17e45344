#include "widgets/message_box_win32.h"

#include <algorithm>

#include "base/log_win32.h"
#include "base/text_table.h"
#include "base/wide_win32.h"
#include "widgets/ui_font_win32.h"

namespace kv {
namespace {

std::vector<int> buttonIds(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return {IDOK, IDCANCEL};
    case MB_YESNO:
      return {IDYES, IDNO};
    case MB_YESNOCANCEL:
      return {IDYES, IDNO, IDCANCEL};
    default:
      return {IDOK};
  }
}

std::wstring buttonText(int id) {
  switch (id) {
    case IDCANCEL:
      return wide(text(TextId::BOX_CANCEL));
    case IDYES:
      return wide(text(TextId::BOX_YES));
    case IDNO:
      return wide(text(TextId::BOX_NO));
    default:
      return wide(text(TextId::BOX_OK));
  }
}

LPCWSTR iconOf(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONWARNING:
      return IDI_WARNING;
    case MB_ICONQUESTION:
      return IDI_QUESTION;
    case MB_ICONINFORMATION:
      return IDI_INFORMATION;
    case MB_ICONERROR:
      return IDI_ERROR;
    default:
      return nullptr;
  }
}

// The static draws its text with these (SS_EDITCONTROL | SS_NOPREFIX), so
// the box is measured with them: a path or a Chinese sentence, having no
// blanks, breaks where the line is full.
constexpr UINT kTextFormat = DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS | DT_LEFT;

}  // namespace

int ShowMessageBox(HWND owner, std::wstring_view text, std::wstring_view caption, UINT type) {
  std::vector<MessageBoxButton> buttons;
  for (int id : buttonIds(type)) buttons.push_back({id, buttonText(id)});
  const size_t chosen = (type & MB_DEFMASK) == MB_DEFBUTTON2 ? 1 : (type & MB_DEFMASK) == MB_DEFBUTTON3 ? 2 : 0;
  const int defaultId = buttons[std::min(chosen, buttons.size() - 1)].id;
  return AskWithButtons(owner, text, caption, type, std::move(buttons), defaultId);
}

int AskWithButtons(HWND owner, std::wstring_view text, std::wstring_view caption, UINT type,
                   std::vector<MessageBoxButton> buttons, int defaultId) {
  if (buttons.empty()) buttons.push_back({IDOK, buttonText(IDOK)});
  CMessageBox box(owner, text, caption, type, std::move(buttons), defaultId);
  INT_PTR answer = box.DoModal();
  if (answer == -1) LogLine(L"the message box could not be made");
  return static_cast<int>(answer);
}

CMessageBox::CMessageBox(HWND owner, std::wstring_view text, std::wstring_view caption, UINT type,
                         std::vector<MessageBoxButton> buttons, int defaultId)
    : CDialog(boxTemplate_, nullptr),
      text_(text),
      type_(type),
      buttons_(std::move(buttons)),
      defaultId_(defaultId),
      boxTemplate_(makeTemplate(caption, type, buttons_)) {
  SetOwnerWindow(owner);
  const auto has = [&](int id) { return std::ranges::any_of(buttons_, [&](const Button& b) { return b.id == id; }); };
  cancelAnswer_ = has(IDCANCEL) ? IDCANCEL : buttons_.size() == 1 ? buttons_.front().id : 0;
  if (!has(defaultId_)) defaultId_ = buttons_.front().id;
}

DialogTemplate CMessageBox::makeTemplate(std::wstring_view caption, UINT type, const std::vector<Button>& buttons) {
  // Sizes are set in pixels once the font is known (layOut).
  DialogTemplate t(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_NOIDLEMSG,
                   (type & MB_TOPMOST) ? WS_EX_TOPMOST : 0, 0, 0, 200, 60, caption);
  t.add(kStaticClass, kMessageBoxIconId, WS_VISIBLE | SS_ICON, 0, 0, 0, 0);
  t.add(kStaticClass, kMessageBoxTextId, WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, 0, 0, 0, 0);
  for (const Button& b : buttons)
    t.add(kButtonClass, static_cast<WORD>(b.id), WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, b.text);
  return t;
}

BOOL CMessageBox::OnInitDialog() {
  HWND box = hwnd();
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTW lf{};
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    lf = metrics.lfMessageFont;
  } else {
    ReportWin32Failure(L"SystemParametersInfoW(SPI_GETNONCLIENTMETRICS)");
    lf.lfHeight = -12;
    lf.lfCharSet = DEFAULT_CHARSET;
    wcscpy_s(lf.lfFaceName, L"Tahoma");
  }
  // The system's message font is sized for the system's DPI; the box's for its own.
  WindowDc screen(nullptr);
  const int systemDpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
  lf.lfHeight = MulDiv(lf.lfHeight, static_cast<int>(WindowDpi(box)), systemDpi > 0 ? systemDpi : 96);
  font_ = CreateUiFont(lf);
  if (!SetWindowTextW(item(kMessageBoxTextId), text_.c_str())) ReportWin32Failure(L"SetWindowTextW(message box)");
  (void)SendMessageW(item(defaultId_), BM_SETSTYLE, BS_DEFPUSHBUTTON, FALSE);  // answers 0
  if (LPCWSTR icon = iconOf(type_))
    (void)SendMessageW(item(kMessageBoxIconId), STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, icon)), 0);
  if (font_)
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
      (void)SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);  // answers nothing
  if (cancelAnswer_ == 0)
    if (HMENU menu = GetSystemMenu(box, FALSE)) (void)EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  (void)SendMessageW(box, DM_SETDEFID, static_cast<WPARAM>(defaultId_), 0);  // TRUE
  layOut();
  if (type_ & MB_SETFOREGROUND) (void)SetForegroundWindow(box);  // refused: the box flashes instead
  (void)MessageBeep(type_ & MB_ICONMASK);  // a box that cannot beep still shows
  (void)SetFocus(item(defaultId_));
  return FALSE;  // the focus is on the default button
}

void CMessageBox::layOut() {
  HWND box = hwnd();
  const UINT dpi = WindowDpi(box);
  const auto px = [&](int v) { return ScaleForDpi(v, dpi); };
  const int margin = px(12), gap = px(8), buttonHeight = px(23), buttonGap = px(6);
  const bool icon = iconOf(type_) != nullptr;
  const int iconSize = icon ? px(32) : 0;

  WindowDc dc(box);
  SelectObjectRestorer selected(dc.get(), font_ ? static_cast<HGDIOBJ>(font_.get()) : GetStockObject(DEFAULT_GUI_FONT));
  RECT textRect{0, 0, px(420), 0};
  (void)DrawTextW(dc.get(), text_.c_str(), static_cast<int>(text_.size()), &textRect, kTextFormat | DT_CALCRECT);
  const int textWidth = textRect.right, textHeight = std::max<int>(textRect.bottom, 1);
  int buttonWidth = px(75);
  for (const Button& b : buttons_) {
    SIZE extent{};
    (void)GetTextExtentPoint32W(dc.get(), b.text.c_str(), static_cast<int>(b.text.size()), &extent);
    buttonWidth = std::max<int>(buttonWidth, extent.cx + px(16));
  }
  const int count = static_cast<int>(buttons_.size());
  const int rowWidth = count * buttonWidth + (count - 1) * buttonGap;
  const int clientWidth =
      std::max(margin + iconSize + (icon ? gap : 0) + textWidth + margin, margin + rowWidth + margin);
  const int top = std::max(iconSize, textHeight);
  const int clientHeight = margin + top + margin + buttonHeight + margin;

  if (icon) (void)MoveWindow(item(kMessageBoxIconId), margin, margin, iconSize, iconSize, FALSE);
  const int textLeft = margin + iconSize + (icon ? gap : 0);
  (void)MoveWindow(item(kMessageBoxTextId), textLeft, margin + (top - textHeight) / 2, textWidth, textHeight,
                   FALSE);
  int x = clientWidth - margin - rowWidth;
  for (const Button& b : buttons_) {
    (void)MoveWindow(item(b.id), x, clientHeight - margin - buttonHeight, buttonWidth, buttonHeight, FALSE);
    x += buttonWidth + buttonGap;
  }

  RECT frame{0, 0, clientWidth, clientHeight};
  if (!AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(box, GWL_STYLE)), FALSE,
                          static_cast<DWORD>(GetWindowLongPtrW(box, GWL_EXSTYLE))))
    ReportWin32Failure(L"AdjustWindowRectEx");
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  // Over the owner while it shows; otherwise in the middle of its monitor's
  // work area (a box of the notification area's window).
  HWND owner = GetWindow(box, GW_OWNER);
  RECT over{};
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (owner && IsWindowVisible(owner) && GetWindowRect(owner, &over)) {
  } else if (GetMonitorInfoW(MonitorFromWindow(owner ? owner : box, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
    over = monitor.rcWork;
  } else {
    over = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  int left = over.left + (over.right - over.left - width) / 2, topLeft = over.top + (over.bottom - over.top - height) / 2;
  if (GetMonitorInfoW(MonitorFromRect(&over, MONITOR_DEFAULTTONEAREST), &monitor)) {
    left = std::clamp<int>(left, monitor.rcWork.left, std::max<int>(monitor.rcWork.left, monitor.rcWork.right - width));
    topLeft = std::clamp<int>(topLeft, monitor.rcWork.top, std::max<int>(monitor.rcWork.top, monitor.rcWork.bottom - height));
  }
  if (!SetWindowPos(box, nullptr, left, topLeft, width, height, SWP_NOZORDER | SWP_NOACTIVATE))
    ReportWin32Failure(L"SetWindowPos(message box)");
}

bool CMessageBox::OnCommand(WORD id, WORD code, HWND) {
  if (code != BN_CLICKED) return false;
  if (id == IDCANCEL && std::ranges::none_of(buttons_, [](const Button& b) { return b.id == IDCANCEL; })) {
    OnCancel();  // Escape or the close box
    return true;
  }
  for (const Button& b : buttons_)
    if (b.id == id) {
      EndDialog(id);
      return true;
    }
  return false;
}

void CMessageBox::OnCancel() {
  if (cancelAnswer_ != 0) EndDialog(cancelAnswer_);
}

}  // namespace kv
