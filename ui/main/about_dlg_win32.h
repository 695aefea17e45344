// The About box: modeless over the desktop, one at a time.
#pragma once

#include <windows.h>

#include <string>

#include "base/handles_win32.h"
#include "widgets/dialog_win32.h"

namespace kv {

class CAboutDlg : public CDialog {
 public:
  CAboutDlg(std::wstring languageFile, std::wstring link, std::wstring helpFolder);

  // Creates and shows the box; false when it is already open or cannot be made.
  [[nodiscard]] bool Open();

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(WORD id, WORD code, HWND control) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  void OnOK() override { DestroyWindow(); }
  void OnCancel() override { DestroyWindow(); }

 private:
  std::wstring languageFile_;
  std::wstring link_;
  std::wstring helpFolder_;
  UniqueFont linkFont_;  // the dialog's font underlined, made on first draw
};

}  // namespace kv
