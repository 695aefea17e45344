// The skinned dialog: no frame or caption; its size and outline come from
// the pictures its skin description file names, it paints itself from the
// background and the user moves it by dragging anywhere.
#pragma once

#include <windows.h>

#include <string>

#include "base/handles_win32.h"
#include "skin/ini_file_win32.h"
#include "widgets/dialog_win32.h"

namespace kv {

struct SkinPicturePaths {
  std::wstring background;
  std::wstring mask;
};

class CBaseDialog : public CDialog {
 public:
  // dataFile: the skin description file; folder: the folder its pictures
  // are in (a separator is added when missing).
  CBaseDialog(UINT templateId, CWindow* parent, std::wstring dataFile, std::wstring folder);
  CBaseDialog(const DialogTemplate& tmpl, CWindow* parent, std::wstring dataFile, std::wstring folder);
  ~CBaseDialog() override;

  HBITMAP background() const noexcept { return background_.get(); }
  HBITMAP mask() const noexcept { return mask_.get(); }
  bool loading() const noexcept { return loading_ != 0; }
  const std::wstring& dataFile() const noexcept { return dataFile_; }
  const std::wstring& folder() const noexcept { return folder_; }
  const CIniFile& ini() const noexcept { return ini_; }

  // The background and mask pictures a skin description names (SCREEN Main
  // and Mask, the mask defaulting to the background) in `folder`.
  static SkinPicturePaths PicturePaths(const CIniFile& ini, const std::wstring& folder);

  // Deletes the background and mask pictures. Called on OK and Cancel;
  // derived dialogs that close another way call it first.
  void releaseSkin();

 protected:
  // Loads the skin; derived dialogs call it first in their own initialisation.
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  void OnPaint() override;
  LRESULT OnEraseBkgnd(HDC dc) override;
  void OnNcPaint(HRGN region) override;
  void OnLButtonDown(UINT flags, POINT point) override;
  // The background or mask picture of path, or the end of the program with
  // the picture's exit code (`loadPictureFile`). A dialog that loaded it
  // ahead hands it over.
  virtual UniqueBitmap LoadSkinPicture(const std::wstring& path);

 private:
  void loadSkin();

  UniqueBitmap background_;
  UniqueBitmap mask_;
  int loading_ = 0;
  std::wstring dataFile_;
  std::wstring folder_;
  CIniFile ini_;
};

}  // namespace kv
