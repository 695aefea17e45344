#include "ui/main/about_dlg_win32.h"

#include <shellapi.h>

#include "base/help_page_win32.h"
#include "base/text_table.h"
#include "base/text_table_win32.h"
#include "base/wide_win32.h"
#include "resources/control_ids.h"

namespace kv {
namespace {
constexpr int kLinkId = IDC_ABOUT_LINK;
constexpr int kIntroId = IDC_ABOUT_INTRO;
constexpr int kCopyrightId = IDC_ABOUT_COPYRIGHT;
// The version label's text, the same the main window shows.
constexpr int kVersionId = IDC_ABOUT_VERSION;
}  // namespace

CAboutDlg::CAboutDlg(std::wstring languageFile, std::wstring link, std::wstring helpFolder)
    : CDialog(IDD_ABOUT, nullptr),
      languageFile_(std::move(languageFile)),
      link_(std::move(link)),
      helpFolder_(std::move(helpFolder)) {}

bool CAboutDlg::Open() {
  if (isOpen()) return false;
  if (!Create()) return false;
  ShowWindow(hwnd(), SW_SHOWNORMAL);
  (void)SetForegroundWindow(hwnd());  // the system may refuse it; the box shows either way
  return true;
}

BOOL CAboutDlg::OnInitDialog() {
  // The controls are in the template: setting their texts and repainting
  // them cannot fail while the box exists.
  (void)SetDlgItemTextW(hwnd(), kIntroId, ReadLanguageText(languageFile_, "GUANYU_JIESHAO").c_str());
  (void)SetDlgItemTextW(hwnd(), kCopyrightId, ReadLanguageText(languageFile_, "GUANYU_BANQUAN").c_str());
  (void)SetDlgItemTextW(hwnd(), kVersionId, wide(text(TextId::MAIN_BUTTON_VELTRA_VER)).c_str());
  (void)SetDlgItemTextW(hwnd(), kLinkId, link_.c_str());
  (void)InvalidateRect(item(kIntroId), nullptr, TRUE);
  (void)InvalidateRect(item(kCopyrightId), nullptr, TRUE);
  return TRUE;
}

bool CAboutDlg::OnCommand(WORD id, WORD code, HWND control) {
  if (id == kLinkId && code == BN_CLICKED) {
    (void)ShellExecuteW(hwnd(), L"open", link_.c_str(), nullptr, nullptr, SW_SHOWNORMAL);  // shell failures are ignored
    return true;
  }
  return CDialog::OnCommand(id, code, control);
}

bool CAboutDlg::OnMessage(UINT msg, WPARAM, LPARAM lp, LRESULT& result) {
  if (msg == WM_HELP) {
    OpenHelpPage(hwnd(), helpFolder_, languageFile_);
    result = TRUE;
    return true;
  }
  if (msg == WM_DRAWITEM) {
    // The web link: blue, underlined, on the dialog's own background.
    auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
    if (dis->CtlID != kLinkId) return false;
    if (!linkFont_) {
      LOGFONTW lf{};
      HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0));
      // Without the dialog's font the link is drawn in the default one, underlined.
      if (!dialogFont || !GetObjectW(dialogFont, sizeof lf, &lf)) lf = LOGFONTW{};
      lf.lfUnderline = TRUE;
      linkFont_.reset(CreateFontIndirectW(&lf));
    }
    (void)FillRect(dis->hDC, &dis->rcItem, GetSysColorBrush(COLOR_BTNFACE));  // nothing to do when it fails
    SelectObjectRestorer font(dis->hDC, linkFont_.get());
    (void)SetBkMode(dis->hDC, TRANSPARENT);           // previous mode
    // The system's link colour, which a high-contrast theme sets to be read
    // on its button face (a fixed blue may vanish there).
    (void)SetTextColor(dis->hDC, GetSysColor(COLOR_HOTLIGHT));  // previous colour
    RECT r = dis->rcItem;
    (void)DrawTextW(dis->hDC, link_.c_str(), -1, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    result = TRUE;
    return true;
  }
  if (msg == WM_DESTROY) linkFont_.reset();
  return false;
}

}  // namespace kv
