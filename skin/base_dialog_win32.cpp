#include "skin/base_dialog_win32.h"

#include "skin/skin_picture_win32.h"

namespace kv {

namespace {
std::wstring withSeparator(std::wstring folder) {
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder;
}
}  // namespace

CBaseDialog::CBaseDialog(UINT templateId, CWindow* parent, std::wstring dataFile, std::wstring folder)
    : CDialog(templateId, parent), dataFile_(std::move(dataFile)), folder_(withSeparator(std::move(folder))) {
  TakeOverDpiScaling();
}

CBaseDialog::CBaseDialog(const DialogTemplate& tmpl, CWindow* parent, std::wstring dataFile, std::wstring folder)
    : CDialog(tmpl, parent), dataFile_(std::move(dataFile)), folder_(withSeparator(std::move(folder))) {
  TakeOverDpiScaling();
}

CBaseDialog::~CBaseDialog() = default;

void CBaseDialog::releaseSkin() {
  background_.reset();
  mask_.reset();
}

BOOL CBaseDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  loadSkin();
  return TRUE;
}

SkinPicturePaths CBaseDialog::PicturePaths(const CIniFile& ini, const std::wstring& folder) {
  std::wstring mainName = ini.getString(L"SCREEN", L"Main").value_or(L"");
  std::wstring maskName = ini.getString(L"SCREEN", L"Mask", mainName).value_or(L"");
  // A missing name leaves just the folder, which cannot be opened: fatal.
  return {withSeparator(folder) + mainName, withSeparator(folder) + maskName};
}

UniqueBitmap CBaseDialog::LoadSkinPicture(const std::wstring& path) { return loadPictureFile(path); }

void CBaseDialog::loadSkin() {
  loading_ = 1;
  (void)ini_.setFile(dataFile_);  // unbound, it names no picture: the fatal path below
  SkinPicturePaths paths = PicturePaths(ini_, folder_);
  background_ = LoadSkinPicture(paths.background);
  mask_ = LoadSkinPicture(paths.mask);

  BITMAP bm{};
  if (GetObjectW(background_.get(), sizeof(bm), &bm)) {
    SetWindowPos(hwnd(), nullptr, 0, 0, bm.bmWidth, bm.bmHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
  }
  UniqueRegion outline = regionFromMask(mask_.get(), RGB(255, 255, 255), RGB(0, 0, 0));
  if (outline && SetWindowRgn(hwnd(), outline.get(), TRUE)) outline.release();  // the system owns it now
  loading_ = 0;
}

void CBaseDialog::OnOK() {
  releaseSkin();
  CDialog::OnOK();
}

void CBaseDialog::OnCancel() {
  releaseSkin();
  CDialog::OnCancel();
}

void CBaseDialog::OnPaint() {
  PaintDc paint(hwnd());
  if (!paint.get() || !background_) return;
  BITMAP bm{};
  UniqueMemoryDc src(CreateCompatibleDC(paint.get()));
  if (!src || !GetObjectW(background_.get(), sizeof(bm), &bm)) return;
  SelectObjectRestorer sel(src.get(), background_.get());
  if (sel) BitBlt(paint.get(), 0, 0, bm.bmWidth, bm.bmHeight, src.get(), 0, 0, SRCCOPY);
}

LRESULT CBaseDialog::OnEraseBkgnd(HDC) { return 1; }

void CBaseDialog::OnNcPaint(HRGN) {}

void CBaseDialog::OnLButtonDown(UINT, POINT point) {
  POINT screen = point;
  ClientToScreen(hwnd(), &screen);
  SendMessageW(hwnd(), WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(screen.x, screen.y));
  UpdateWindow(hwnd());
  Default();
}

}  // namespace kv
