// The composite key editor (template 134): gives the clicked key or G key a
// single key, a macro, a media function or a function key, or its factory
// action back (Clear). A skinned modal dialog held by the keyboard view; its
// macro page is a class of its own (keys/macro_page_win32.h).
#pragma once

#include <array>
#include <string>
#include <vector>

#include "base/handles_win32.h"
#include "keys/composite_editor.h"
#include "keys/key_hooks_win32.h"
#include "keys/macro_page_win32.h"
#include "keys/working_config.h"
#include "skin/base_dialog_win32.h"
#include "skin/picture_preloader_win32.h"
#include "skin/png_button_win32.h"
#include "skin/skin_picture_win32.h"

namespace kv {

// What the editor asks of the window that opened it.
class CompositeHost {
 public:
  virtual ~CompositeHost() = default;
  // Set state and tooltip of every key button; the WorkingConfig lock is held.
  virtual void RefreshKeySummariesLocked() = 0;
  // The main window's Apply: something is waiting to be written.
  virtual void EnableMainApply() = 0;
  virtual HWND ButtonWindow(int controlId) const = 0;
  // A key of the active profile's block lost its macro (a stale reference
  // removed when the macros were committed): its button shows no assignment.
  virtual void ShowKeyUnassigned(int slot) = 0;
  // The attached keyboard's macro memory in bytes; 0 with no keyboard.
  virtual size_t KeyboardMacroMemory() const = 0;
  // Around one commit of the editor (its macros and its key), with the
  // WorkingConfig lock held: the window keeps the change as one undo step.
  virtual void ChangeStarting() {}
  virtual void ChangeMade() {}
};

class Korvalin_DlgComposite : public CBaseDialog, private KeyCaptureTarget {
 public:
  // skinsFolder and helpFolder with a trailing backslash.
  Korvalin_DlgComposite(CWindow* parent, std::wstring skinFile, std::wstring skinsFolder, std::wstring helpFolder,
                        WorkingConfig& config, CompositeHost& host);
  ~Korvalin_DlgComposite() override;

  // Set by the keyboard view before the editor is shown.
  int editedSlot = 0;      // slot in the active profile's block
  int editedButtonId = 0;  // the clicked control
  bool macroOnly = false;  // G9 and the macro-edit button

  // The main window closes its editors this way: as Cancel.
  void closeIfOpen();
  // Open from its start until it closes.
  bool opened() const { return openCount_ > 0; }
  // The five image sets, loaded once per run; opening loads them if needed.
  // Pictures decoded ahead are taken from `preloaded`.
  void LoadImageSets(SkinPicturePreloader* preloaded = nullptr);
  // The files of the image sets, for decoding them ahead.
  static std::vector<std::wstring> ImageFileNames();

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  bool OnCommand(WORD id, WORD code, HWND control) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  bool PreTranslateMessage(MSG& msg) override;

 private:
  enum ImageSet { kKeySet, kMacroSet, kGreySet, kMediaSet, kFunctionSet, kImageSetCount };
  struct Faces {
    SkinSurface normal, over, down, disabled;
    bool ownDisabled = false;
    const SkinSurface& disabledFace() const { return ownDisabled ? disabled : normal; }
  };

  void OnKeyCaptured(KeyCode code) override;

  void SkinControls();
  void MakeFonts();
  void FillLists();
  void ReadEntry();
  void ApplyMacroOnly();
  void PlaceBesideKey();
  void SetTexts();
  void ShowEditedKey();
  void ShowPage(bool firstTime);
  void RepaintPageControls();
  void SelectTab(int page);
  void Clear();
  void Apply();
  void Closing();
  void SetChanged(bool changed);
  void SkinButton(CPngButton& button, const wchar_t* key, ImageSet set);
  void SetPageFaces(ImageSet set);
  std::wstring LanguageText(const char* key) const;
  CPngButton& Button(int id);

  WorkingConfig& config_;
  CompositeHost& host_;
  std::wstring helpFolder_;
  std::array<Faces, kImageSetCount> sets_;
  bool setsLoaded_ = false;
  CPngButtonSet buttons_;
  UniqueFont keyFont_, listFont_, labelFont_;

  int page_ = kEditorPageNone;
  KeyCode capturedCode_ = 0;
  uint32_t entryValue_ = 0;
  uint16_t entryAux_ = 0;
  bool changed_ = false;
  int openCount_ = 0;
  int profile_ = -1;  // the profile whose key is edited

  // Its own copies of the macro list and the rows of the macro shown,
  // committed only by Apply.
  CMacroPage macroPage_;
};

}  // namespace kv
