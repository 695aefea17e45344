#include "widgets/dialog_win32.h"

namespace kv {

// ---- DialogTemplate ----

DialogTemplate::DialogTemplate(DWORD style, DWORD exStyle, short x, short y, short cx, short cy,
                               std::wstring_view title, std::wstring_view fontFace, WORD fontPoints) {
  if (!fontFace.empty()) style |= DS_SETFONT;
  dword(style);
  dword(exStyle);
  word(0);  // item count, kept up to date by add()
  word(static_cast<WORD>(x));
  word(static_cast<WORD>(y));
  word(static_cast<WORD>(cx));
  word(static_cast<WORD>(cy));
  word(0);  // no menu
  word(0);  // the dialog class
  text(title);
  if (!fontFace.empty()) {
    word(fontPoints);
    text(fontFace);
  }
}

void DialogTemplate::align() {
  if (data_.size() % 2) data_.push_back(0);
}
void DialogTemplate::word(WORD w) { data_.push_back(w); }
void DialogTemplate::dword(DWORD d) {
  data_.push_back(LOWORD(d));
  data_.push_back(HIWORD(d));
}
void DialogTemplate::text(std::wstring_view s) {
  for (wchar_t c : s) data_.push_back(static_cast<WORD>(c));
  data_.push_back(0);
}

DialogTemplate& DialogTemplate::addItem(DWORD style, DWORD exStyle, short x, short y, short cx, short cy,
                                        WORD id) {
  align();
  dword(style | WS_CHILD);
  dword(exStyle);
  word(static_cast<WORD>(x));
  word(static_cast<WORD>(y));
  word(static_cast<WORD>(cx));
  word(static_cast<WORD>(cy));
  word(id);
  ++items_;
  data_[4] = static_cast<WORD>(items_);
  return *this;
}

DialogTemplate& DialogTemplate::add(WORD classAtom, WORD id, DWORD style, short x, short y, short cx, short cy,
                                    std::wstring_view caption, DWORD exStyle) {
  addItem(style, exStyle, x, y, cx, cy, id);
  word(0xFFFF);
  word(classAtom);
  text(caption);
  word(0);  // no creation data
  return *this;
}

DialogTemplate& DialogTemplate::add(std::wstring_view className, WORD id, DWORD style, short x, short y,
                                    short cx, short cy, std::wstring_view caption, DWORD exStyle) {
  addItem(style, exStyle, x, y, cx, cy, id);
  text(className);
  text(caption);
  word(0);
  return *this;
}

const DLGTEMPLATE* DialogTemplate::get() const { return reinterpret_cast<const DLGTEMPLATE*>(data_.data()); }

// ---- CDialog ----

CDialog::CDialog(UINT templateId, CWindow* parent) : templateId_(templateId), parent_(parent) {}

CDialog::CDialog(const DialogTemplate& tmpl, CWindow* parent) : template_(&tmpl), parent_(parent) {}

CDialog::~CDialog() {
  HWND h = hwnd();
  if (h) {
    UnsubclassWindow();
    ::DestroyWindow(h);
  }
}

HWND CDialog::createWindow() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  HWND owner = parent_ ? parent_->hwnd() : nullptr;
  const DLGTEMPLATE* t = nullptr;
  if (template_) {
    t = template_->get();
  } else {
    HRSRC res = FindResourceW(instance, MAKEINTRESOURCEW(templateId_), reinterpret_cast<LPCWSTR>(RT_DIALOG));
    HGLOBAL loaded = res ? LoadResource(instance, res) : nullptr;
    t = loaded ? static_cast<const DLGTEMPLATE*>(LockResource(loaded)) : nullptr;
  }
  if (!t) return nullptr;
  return CreateDialogIndirectParamW(instance, t, owner, &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CDialog::DoModal() {
  if (hwnd()) return -1;
  modal_ = true;
  ended_ = false;
  result_ = -1;
  HWND owner = parent_ ? parent_->hwnd() : nullptr;
  HWND h = createWindow();
  if (!h) {
    modal_ = false;
    return -1;
  }
  bool ownerDisabled = owner && IsWindowEnabled(owner);
  if (ownerDisabled) EnableWindow(owner, FALSE);
  if (!ended_ && IsWindow(h)) ShowWindow(h, SW_SHOWNORMAL);
  while (!ended_ && IsWindow(h)) {
    MSG msg;
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {  // WM_QUIT belongs to the outer loop
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    PumpMessage(msg);
  }
  // The owner gets the activation back before this window goes away.
  if (ownerDisabled) EnableWindow(owner, TRUE);
  if (owner && IsWindow(h) && GetActiveWindow() == h) SetActiveWindow(owner);
  if (IsWindow(h)) {
    ShowWindow(h, SW_HIDE);
    ::DestroyWindow(h);
  }
  modal_ = false;
  return result_;
}

bool CDialog::Create() {
  if (hwnd()) return false;
  modal_ = false;
  ended_ = false;
  return createWindow() != nullptr;
}

void CDialog::EndDialog(INT_PTR result) {
  result_ = result;
  ended_ = true;
  HWND h = hwnd();
  if (!h) return;
  if (modal_) {
    PostMessageW(h, WM_NULL, 0, 0);  // wakes the loop, which checks ended_
  } else {
    ::DestroyWindow(h);
  }
}

void CDialog::DestroyWindow() {
  if (modal_) {
    EndDialog(IDCANCEL);
  } else if (hwnd()) {
    ::DestroyWindow(hwnd());
  }
}

BOOL CDialog::OnInitDialog() { return TRUE; }
void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::OnCommand(WORD id, WORD code, HWND) {
  if (code != BN_CLICKED) return false;
  if (id == IDOK) {
    OnOK();
    return true;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return true;
  }
  return false;
}

void CDialog::OnPaint() { Default(); }
LRESULT CDialog::OnEraseBkgnd(HDC) { return Default(); }
void CDialog::OnNcPaint(HRGN) { Default(); }
void CDialog::OnLButtonDown(UINT, POINT) { Default(); }
void CDialog::OnTimer(UINT_PTR) { Default(); }
bool CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

LRESULT CDialog::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (OnMessage(msg, wp, lp, result)) return result;
  switch (msg) {
    case WM_COMMAND:
      if (OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp))) return 0;
      break;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_ERASEBKGND:
      return OnEraseBkgnd(reinterpret_cast<HDC>(wp));
    case WM_NCPAINT:
      OnNcPaint(reinterpret_cast<HRGN>(wp));
      return 0;
    case WM_LBUTTONDOWN:
      OnLButtonDown(static_cast<UINT>(wp), POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
      return 0;
    case WM_TIMER:
      OnTimer(wp);
      return 0;
    case WM_DRAWITEM: {
      const auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      CWindow* control = dis ? CWindow::FromHandle(dis->hwndItem) : nullptr;
      if (control && control->DrawItem(*dis)) return TRUE;
      break;
    }
    default:
      break;
  }
  return Default();
}

bool CDialog::PreTranslateMessage(MSG&) { return false; }

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM, LPARAM lp) {
  if (msg != WM_INITDIALOG) return FALSE;
  auto* self = reinterpret_cast<CDialog*>(lp);
  if (!self || !self->SubclassWindow(hwnd)) return TRUE;
  try {
    return self->OnInitDialog();
  } catch (...) {
    return TRUE;
  }
}

void PumpMessage(MSG& msg) {
  if (PreTranslateThroughParents(msg)) return;
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (root && dynamic_cast<CDialog*>(CWindow::FromHandle(root)) && IsDialogMessageW(root, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

}  // namespace kv
