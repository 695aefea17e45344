#include "widgets/dialog_win32.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/handles_win32.h"
#include "base/log_win32.h"
#include "widgets/ui_font_win32.h"

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

// ---- template items ----

namespace {

// Little-endian fields of a template; reading past the end clears ok.
struct TemplateReader {
  std::span<const uint8_t> bytes;
  size_t pos = 0;
  bool ok = true;

  uint16_t word() {
    if (bytes.size() < 2 || pos > bytes.size() - 2) {
      ok = false;
      return 0;
    }
    uint16_t v = static_cast<uint16_t>(bytes[pos] | bytes[pos + 1] << 8);
    pos += 2;
    return v;
  }
  uint32_t dword() {
    uint32_t lo = word();
    return lo | static_cast<uint32_t>(word()) << 16;
  }
  void skip(size_t n) {
    if (n > bytes.size() - std::min(pos, bytes.size())) ok = false;
    pos += n;
  }
  void alignDword() { pos = (pos + 3) & ~size_t{3}; }
  void text(std::wstring& out) {
    for (uint16_t c = word(); ok && c != 0; c = word()) out.push_back(static_cast<wchar_t>(c));
  }
  // A text, or 0xFFFF and a number: the number, or 0 for a text.
  uint16_t textOrNumber(std::wstring& out) {
    uint16_t first = word();
    if (first == 0xFFFF) return word();
    if (first != 0) {
      out.push_back(static_cast<wchar_t>(first));
      text(out);
    }
    return 0;
  }
};

constexpr std::array<const wchar_t*, 6> kPredefinedClasses = {L"Button",    L"Edit",    L"Static",
                                                              L"ListBox", L"ScrollBar", L"ComboBox"};

}  // namespace

std::optional<DialogTemplateItems> dialogTemplateItems(std::span<const uint8_t> bytes) {
  TemplateReader r{bytes};
  DialogTemplateItems result;
  const bool extended = r.word() == 1 && r.word() == 0xFFFF;
  r.pos = 0;
  DWORD style = 0;
  if (extended) {
    r.skip(8);  // version, signature, help id
    (void)r.dword();  // extended style
    style = r.dword();
  } else {
    style = r.dword();
    (void)r.dword();
  }
  result.countOffset = r.pos;
  const uint16_t count = r.word();
  r.skip(8);  // x, y, cx, cy
  std::wstring ignored;
  (void)r.textOrNumber(ignored);  // menu
  (void)r.textOrNumber(ignored);  // class
  r.text(ignored);                // title
  if (style & DS_SETFONT) {
    result.fontPoints = r.word();
    r.skip(extended ? 4 : 0);  // weight, italic, character set
    result.faceOffset = r.pos;
    r.text(result.fontFace);
    result.faceEnd = r.pos;
  }
  for (uint16_t i = 0; r.ok && i < count; ++i) {
    r.alignDword();
    DialogTemplateItem item;
    if (extended) {
      item.helpId = r.dword();
      item.exStyle = r.dword();
      item.style = r.dword();
    } else {
      item.style = r.dword();
      item.exStyle = r.dword();
    }
    item.x = static_cast<short>(r.word());
    item.y = static_cast<short>(r.word());
    item.cx = static_cast<short>(r.word());
    item.cy = static_cast<short>(r.word());
    item.id = extended ? r.dword() : r.word();
    if (uint16_t atom = r.textOrNumber(item.className); atom != 0) {
      if (atom < 0x80 || atom >= 0x80 + kPredefinedClasses.size()) return std::nullopt;
      item.className = kPredefinedClasses[atom - 0x80];
    }
    if (r.textOrNumber(item.text) != 0 || r.word() != 0) return std::nullopt;
    result.items.push_back(std::move(item));
  }
  if (!r.ok) return std::nullopt;
  return result;
}

std::vector<DWORD> templateWithFontFace(std::span<const uint8_t> bytes, std::wstring_view face) {
  std::optional<DialogTemplateItems> parsed = dialogTemplateItems(bytes);
  if (!parsed || parsed->faceEnd == 0) return {};
  std::vector<uint8_t> out(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(parsed->faceOffset));
  for (wchar_t c : face) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
  }
  out.insert(out.end(), 2, 0);
  const size_t itemsAt = (parsed->faceEnd + 3) & ~size_t{3};
  if (itemsAt < bytes.size()) {
    out.resize((out.size() + 3) & ~size_t{3}, 0);
    out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(itemsAt), bytes.end());
  }
  std::vector<DWORD> words((out.size() + 3) / 4);
  std::memcpy(words.data(), out.data(), out.size());
  return words;
}

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
  HWND owner = ownerHwnd();
  const DLGTEMPLATE* t = nullptr;
  size_t size = 0;
  if (template_) {
    t = template_->get();
    size = template_->byteSize();
  } else {
    HRSRC res = FindResourceW(instance, MAKEINTRESOURCEW(templateId_), reinterpret_cast<LPCWSTR>(RT_DIALOG));
    HGLOBAL loaded = res ? LoadResource(instance, res) : nullptr;
    t = loaded ? static_cast<const DLGTEMPLATE*>(LockResource(loaded)) : nullptr;
    size = res ? SizeofResource(instance, res) : 0;
  }
  if (!t) return nullptr;
  lateItems_.clear();
  const std::span<const uint8_t> bytes{reinterpret_cast<const uint8_t*>(t), size};
  std::optional<DialogTemplateItems> parsed = dialogTemplateItems(bytes);
  templatePoints_ = parsed ? parsed->fontPoints : 0;
  // A copy when the face must change (texts its face has no glyphs for) or
  // the controls are made later; the template itself otherwise.
  std::vector<DWORD> copy;
  if (parsed && !parsed->fontFace.empty())
    if (std::wstring face = UiFaceFor(parsed->fontFace); face != parsed->fontFace) {
      copy = templateWithFontFace(bytes, face);
      if (!copy.empty()) size = copy.size() * sizeof(DWORD);
    }
  if (deferControls_ && parsed && !parsed->items.empty()) {
    if (copy.empty()) {
      copy.resize((size + 3) / 4);
      std::memcpy(copy.data(), t, size);
    }
    // The same template with no items.
    std::memset(reinterpret_cast<uint8_t*>(copy.data()) + parsed->countOffset, 0, sizeof(WORD));
    lateItems_ = std::move(parsed->items);
  }
  const DLGTEMPLATE* used = copy.empty() ? t : reinterpret_cast<const DLGTEMPLATE*>(copy.data());
  return CreateDialogIndirectParamW(instance, used, owner, &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

bool CDialog::CreateTemplateControls() {
  HWND dialog = hwnd();
  if (!dialog) return false;
  std::vector<DialogTemplateItem> items = std::move(lateItems_);
  lateItems_.clear();
  // WM_GETFONT answers the font the dialog manager made from the template.
  const WPARAM font = static_cast<WPARAM>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  HINSTANCE instance = GetModuleHandleW(nullptr);
  bool all = true;
  for (const DialogTemplateItem& c : items) {
    // Each field on its own, as the dialog manager scales them.
    RECT r{c.x, c.y, c.cx, c.cy};
    if (!MapDialogRect(dialog, &r)) ReportWin32Failure(L"MapDialogRect");
    // The dialog manager draws a bordered control with a sunken edge.
    DWORD style = (c.style & ~WS_POPUP) | WS_CHILD;
    DWORD exStyle = c.exStyle | WS_EX_NOPARENTNOTIFY;
    if (style & WS_BORDER) {
      style &= ~WS_BORDER;
      exStyle |= WS_EX_CLIENTEDGE;
    }
    HWND control = CreateWindowExW(exStyle, c.className.c_str(), c.text.c_str(), style, r.left, r.top, r.right,
                                   r.bottom, dialog, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(c.id)), instance,
                                   nullptr);
    if (!control) {
      ReportWin32Failure(L"CreateWindowExW(dialog control)");
      all = false;
      continue;
    }
    if (c.helpId && !SetWindowContextHelpId(control, c.helpId)) ReportWin32Failure(L"SetWindowContextHelpId");
    if (font) (void)SendMessageW(control, WM_SETFONT, font, 0);  // answers nothing
    if (SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON)
      (void)SendMessageW(dialog, DM_SETDEFID, c.id, 0);  // TRUE
  }
  return all;
}

INT_PTR CDialog::DoModal() {
  if (hwnd()) return -1;
  modal_ = true;
  ended_ = false;
  result_ = -1;
  HWND owner = ownerHwnd();
  HWND h = createWindow();
  if (!h) {
    modal_ = false;
    return -1;
  }
  bool ownerDisabled = owner && IsWindowEnabled(owner);
  if (ownerDisabled) EnableWindow(owner, FALSE);
  if (!ended_ && IsWindow(h) && !startHidden_) ShowWindow(h, SW_SHOWNORMAL);
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
    case WM_GETFONT:
      // The controls made later, and those asking for the dialog's font,
      // take the one sized for the skin.
      if (skinFont_) return reinterpret_cast<LRESULT>(skinFont_.get());
      break;
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

void CDialog::useSkinSizedFont() {
  // The dialog manager sized the template's font for the window's DPI; the
  // controls sit on a skin drawn for SkinDpi.
  HWND dialog = hwnd();
  const auto managerFont = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  LOGFONTW lf{};
  if (!managerFont || templatePoints_ == 0 || !GetObjectW(managerFont, sizeof lf, &lf)) return;
  const LONG height = -MulDiv(templatePoints_, static_cast<int>(SkinDpi(dialog)), 72);
  if (lf.lfHeight == height) return;
  lf.lfHeight = height;
  lf.lfWidth = 0;
  skinFont_.reset(CreateFontIndirectW(&lf));
  if (!skinFont_) {
    ReportWin32Failure(L"CreateFontIndirectW(dialog font)");
    return;
  }
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)) == managerFont)
      (void)SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(skinFont_.get()), FALSE);  // answers nothing
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM, LPARAM lp) {
  if (msg != WM_INITDIALOG) return FALSE;
  auto* self = reinterpret_cast<CDialog*>(lp);
  if (!self || !self->SubclassWindow(hwnd)) return TRUE;
  try {
    if (self->takeOverDpiScaling_) self->useSkinSizedFont();
    BOOL focus = self->OnInitDialog();
    if (self->takeOverDpiScaling_ && IsWindow(hwnd)) TakeOverDialogDpiScaling(hwnd);
    return focus;
  } catch (...) {
    LogLine(L"an exception left a dialog's OnInitDialog");
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
