#include "ui/main/about_dlg_win32.h"

#include <shellapi.h>

#include "app/text_table_win32.h"

namespace kv {
namespace {
constexpr int kLinkId = 1124;
constexpr int kIntroId = 1206;
constexpr int kCopyrightId = 1205;
}  // namespace

void OpenHelpPage(HWND owner, const std::wstring& helpFolder) {
  // Shell failures are not the user's problem to read about here. The page
  // is named by its full path: Wine's shell hands a bare name to the browser
  // as a web address instead of finding it in the working folder.
  std::wstring page = helpFolder + L"index.html";
  ShellExecuteW(owner, L"open", page.c_str(), nullptr, helpFolder.c_str(), SW_SHOWNORMAL);
}

CAboutDlg::CAboutDlg(std::wstring languageFile, std::wstring link, std::wstring helpFolder)
    : CDialog(100, nullptr),
      languageFile_(std::move(languageFile)),
      link_(std::move(link)),
      helpFolder_(std::move(helpFolder)) {}

bool CAboutDlg::Open() {
  if (isOpen()) return false;
  if (!Create()) return false;
  ShowWindow(hwnd(), SW_SHOWNORMAL);
  SetForegroundWindow(hwnd());
  return true;
}

BOOL CAboutDlg::OnInitDialog() {
  SetDlgItemTextW(hwnd(), kIntroId, ReadLanguageText(languageFile_, "GUANYU_JIESHAO").c_str());
  SetDlgItemTextW(hwnd(), kCopyrightId, ReadLanguageText(languageFile_, "GUANYU_BANQUAN").c_str());
  SetDlgItemTextW(hwnd(), kLinkId, link_.c_str());
  InvalidateRect(item(kIntroId), nullptr, TRUE);
  InvalidateRect(item(kCopyrightId), nullptr, TRUE);
  return TRUE;
}

bool CAboutDlg::OnCommand(WORD id, WORD code, HWND control) {
  if (id == kLinkId && code == BN_CLICKED) {
    ShellExecuteW(hwnd(), L"open", link_.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return true;
  }
  return CDialog::OnCommand(id, code, control);
}

bool CAboutDlg::OnMessage(UINT msg, WPARAM, LPARAM lp, LRESULT& result) {
  if (msg == WM_HELP) {
    OpenHelpPage(hwnd(), helpFolder_);
    result = TRUE;
    return true;
  }
  if (msg == WM_DRAWITEM) {
    // The web link: blue, underlined, on the dialog's own background.
    auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
    if (dis->CtlID != kLinkId) return false;
    if (!linkFont_) {
      LOGFONTW lf{};
      GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0)), sizeof lf, &lf);
      lf.lfUnderline = TRUE;
      linkFont_ = CreateFontIndirectW(&lf);
    }
    FillRect(dis->hDC, &dis->rcItem, GetSysColorBrush(COLOR_BTNFACE));
    HGDIOBJ old = SelectObject(dis->hDC, linkFont_);
    SetBkMode(dis->hDC, TRANSPARENT);
    SetTextColor(dis->hDC, RGB(0, 0, 238));
    RECT r = dis->rcItem;
    DrawTextW(dis->hDC, link_.c_str(), -1, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    SelectObject(dis->hDC, old);
    result = TRUE;
    return true;
  }
  if (msg == WM_DESTROY && linkFont_) {
    DeleteObject(linkFont_);
    linkFont_ = nullptr;
  }
  return false;
}

}  // namespace kv
