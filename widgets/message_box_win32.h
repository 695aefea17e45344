// The program's message box: MessageBoxW's buttons, answers and keys, with
// its texts in the face that carries them. The system's box draws in the
// system's message font, which under Wine has no Chinese glyphs and links no
// font that has.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/handles_win32.h"
#include "widgets/dialog_win32.h"

namespace kv {

// The ids of the box's controls, those of the system's box: its text, its icon.
inline constexpr int kMessageBoxTextId = 0xFFFF;
inline constexpr int kMessageBoxIconId = 0x0014;

// MessageBoxW's MB_OK, MB_OKCANCEL, MB_YESNO and MB_YESNOCANCEL with
// MB_DEFBUTTON1-3, MB_ICONWARNING, MB_ICONQUESTION, MB_ICONINFORMATION,
// MB_ICONERROR, MB_SETFOREGROUND and MB_TOPMOST; the answer is IDOK, IDCANCEL,
// IDYES or IDNO (-1 when the box could not be made, logged). Escape and the
// close box answer Cancel, or OK in a box with only OK; a Yes/No box has
// neither.
int ShowMessageBox(HWND owner, std::wstring_view text, std::wstring_view caption, UINT type);

struct MessageBoxButton {
  int id;  // the answer
  std::wstring text;
};
// A question with buttons of its own texts (a box with Cancel among them
// answers Cancel on Escape); `type` gives the icon and MB_SETFOREGROUND /
// MB_TOPMOST, `defaultId` the button Enter presses.
int AskWithButtons(HWND owner, std::wstring_view text, std::wstring_view caption, UINT type,
                   std::vector<MessageBoxButton> buttons, int defaultId);

class CMessageBox : public CDialog {
 public:
  CMessageBox(HWND owner, std::wstring_view text, std::wstring_view caption, UINT type,
              std::vector<MessageBoxButton> buttons, int defaultId);

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(WORD id, WORD code, HWND control) override;
  void OnCancel() override;

 private:
  using Button = MessageBoxButton;
  static DialogTemplate makeTemplate(std::wstring_view caption, UINT type, const std::vector<Button>& buttons);
  void layOut();

  std::wstring text_;
  UINT type_;
  std::vector<Button> buttons_;
  int cancelAnswer_ = 0;  // 0: neither Escape nor the close box answers
  int defaultId_ = IDOK;
  DialogTemplate boxTemplate_;
  UniqueFont font_;
};

}  // namespace kv
