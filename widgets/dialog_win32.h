// Dialogs from templates, run modally (our own loop, so every window on the
// way to a message sees it before dispatch) or modelessly.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/handles_win32.h"
#include "widgets/window_win32.h"

namespace kv {

// An in-memory dialog template (DLGTEMPLATE and its items), for dialogs that
// are not in the resource file. Coordinates are dialog units.
class DialogTemplate {
 public:
  DialogTemplate(DWORD style, DWORD exStyle, short x, short y, short cx, short cy, std::wstring_view title,
                 std::wstring_view fontFace = L"Tahoma", WORD fontPoints = 8);
  // Predefined classes by atom: 0x0080 button, 0x0081 edit, 0x0082 static,
  // 0x0083 list box, 0x0085 combo box.
  DialogTemplate& add(WORD classAtom, WORD id, DWORD style, short x, short y, short cx, short cy,
                      std::wstring_view text = L"", DWORD exStyle = 0);
  // Any registered window class by name (SysListView32, ...).
  DialogTemplate& add(std::wstring_view className, WORD id, DWORD style, short x, short y, short cx, short cy,
                      std::wstring_view text = L"", DWORD exStyle = 0);
  const DLGTEMPLATE* get() const;
  size_t byteSize() const { return data_.size() * sizeof(WORD); }
  size_t itemCount() const { return items_; }

 private:
  void align();
  void word(WORD w);
  void dword(DWORD d);
  void text(std::wstring_view s);
  DialogTemplate& addItem(DWORD style, DWORD exStyle, short x, short y, short cx, short cy, WORD id);
  std::vector<WORD> data_;  // WORD-aligned; items start DWORD-aligned
  size_t items_ = 0;
};

// A control of a dialog template, as the dialog manager creates it.
struct DialogTemplateItem {
  std::wstring className;  // a predefined class by its name
  std::wstring text;
  DWORD style = 0;
  DWORD exStyle = 0;
  DWORD helpId = 0;
  short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  DWORD id = 0;
};
struct DialogTemplateItems {
  size_t countOffset = 0;  // of the template's item count
  std::wstring fontFace;   // empty without DS_SETFONT
  WORD fontPoints = 0;
  size_t faceOffset = 0, faceEnd = 0;  // the face's characters and its ending zero
  std::vector<DialogTemplateItem> items;
};
// The items of a DLGTEMPLATE or DLGTEMPLATEEX. Nothing when the bytes are
// not a whole template, or when an item has what a creation from the list
// would not give it: a text or an unknown class by resource number, or
// creation data.
[[nodiscard]] std::optional<DialogTemplateItems> dialogTemplateItems(std::span<const uint8_t> bytes);

// The template with another font face (its items moved to stay DWORD
// aligned), so that the dialog manager makes the dialog's font in a face
// that carries the texts. Empty when the template has no font or is not a
// whole one.
[[nodiscard]] std::vector<DWORD> templateWithFontFace(std::span<const uint8_t> bytes, std::wstring_view face);

inline constexpr WORD kButtonClass = 0x0080;
inline constexpr WORD kEditClass = 0x0081;
inline constexpr WORD kStaticClass = 0x0082;
inline constexpr WORD kListBoxClass = 0x0083;
inline constexpr WORD kComboBoxClass = 0x0085;

class CDialog : public CWindow {
 public:
  // A template of the program's resources.
  CDialog(UINT templateId, CWindow* parent);
  // An in-memory template; it must outlive the dialog's windows.
  CDialog(const DialogTemplate& tmpl, CWindow* parent);
  ~CDialog() override;

  // Runs the dialog modally: creates it, disables the parent, shows it once
  // initialisation is over and pumps messages until EndDialog. Returns the
  // EndDialog result, or -1 when the dialog could not be created.
  INT_PTR DoModal();
  // Creates the dialog modelessly (shown when the template says WS_VISIBLE).
  [[nodiscard]] bool Create();
  // Modal: ends the loop with this result. Modeless: destroys the window.
  void EndDialog(INT_PTR result);
  // Destroys a modeless dialog's window (a modal one is ended instead).
  void DestroyWindow();

  bool isModal() const noexcept { return modal_; }
  bool isOpen() const noexcept { return hwnd() != nullptr; }
  HWND item(int id) const { return hwnd() ? GetDlgItem(hwnd(), id) : nullptr; }
  CWindow* parent() const noexcept { return parent_; }

 protected:
  // Before DoModal: the modal dialog starts hidden and shows when it asks
  // to (a window that lives in the notification area).
  void StartHidden() noexcept { startHidden_ = true; }
  // Before DoModal: the owner when it is a window of no object of ours
  // (a message box's owner); a parent object's window comes first.
  void SetOwnerWindow(HWND owner) noexcept { ownerWindow_ = owner; }
  // Before the dialog is made: its template's controls are then made by
  // CreateTemplateControls during WM_INITDIALOG rather than before it, so
  // that the dialog can start slow work of its own (a device's reads)
  // first. A template a creation from its item list could not reproduce
  // is made whole, as usual.
  void DeferTemplateControls() { deferControls_ = true; }
  // Before the dialog is made: the dialog manager leaves the dialog and its
  // controls alone when its DPI changes (a skinned dialog places, sizes and
  // scales everything itself in pixels). Applied once OnInitDialog made
  // every control.
  void TakeOverDpiScaling() { takeOverDpiScaling_ = true; }
  // The deferred controls, made as the dialog manager makes them: in the
  // template's order (so the same z-order and tab order), with its styles,
  // ids and dialog-unit rectangles, and the dialog's font. False when one
  // could not be made; the others are made all the same.
  [[nodiscard]] bool CreateTemplateControls();

  // WM_INITDIALOG. TRUE lets the system give the focus to the first control.
  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  // WM_COMMAND; true = handled. The default sends IDOK / IDCANCEL to OnOK / OnCancel.
  virtual bool OnCommand(WORD id, WORD code, HWND control);
  virtual void OnPaint();
  // WM_ERASEBKGND; non-zero = erased.
  virtual LRESULT OnEraseBkgnd(HDC dc);
  virtual void OnNcPaint(HRGN region);
  virtual void OnLButtonDown(UINT flags, POINT point);
  virtual void OnTimer(UINT_PTR id);
  // Looks at every message before the handlers above; true = handled, with
  // the result in `result`. For private messages and anything not listed.
  virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  bool PreTranslateMessage(MSG& msg) override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
  HWND createWindow();
  HWND ownerHwnd() const { return parent_ ? parent_->hwnd() : ownerWindow_; }
  void useSkinSizedFont();

  UINT templateId_ = 0;
  const DialogTemplate* template_ = nullptr;
  bool deferControls_ = false;
  bool takeOverDpiScaling_ = false;
  WORD templatePoints_ = 0;
  UniqueFont skinFont_;  // the template's font sized for the skin, when the dialog manager's is not
  std::vector<DialogTemplateItem> lateItems_;
  CWindow* parent_;
  HWND ownerWindow_ = nullptr;
  bool modal_ = false;
  bool ended_ = false;
  bool startHidden_ = false;
  INT_PTR result_ = -1;
};

// One message of a window-layer loop: PreTranslateMessage along the parent
// chain, then dialog keyboard handling for the dialog it belongs to, then
// translation and dispatch.
void PumpMessage(MSG& msg);

}  // namespace kv
