// The keyboard view: the key buttons, the G keys, Fn, Flip with its arrows,
// the macro-edit and restore-defaults buttons and the button menu. Later
// issues fill in key clicks, key summaries and the composite editor here.
#pragma once

#include <functional>

#include "app/window_part_win32.h"
#include "keys/composite_dlg_win32.h"
#include "keys/working_config.h"

namespace kv {

class CKeyboardView : public CWindowPart {
 public:
  // editorSkinFile: the composite editor's skin description file.
  CKeyboardView(WindowContext context, WorkingConfig& config, const std::wstring& editorSkinFile)
      : CWindowPart(std::move(context)), config_(config), editor_(context_.dialog, editorSkinFile, context_.skinsFolder) {}

  // At start: every button of the view placed by its skin key with its faces,
  // the hidden buttons hidden, Flip shown as stored.
  void Place();
  // The set state of every key and G-key button from the active profile's
  // key table. The caller holds the WorkingConfig lock.
  void RefreshKeyButtons();
  void RefreshGKeys();
  // The G keys' texts for the bank, redrawn over the bank indicator.
  void ShowGKeyLabels(bool bankB);
  // Shutdown: the composite editor closes if it is open.
  void CloseDialogs();

  // The lighting panel's paint click: given a key button, D1-D6 or Fn, true
  // when it took the click (the panel is open).
  void SetPaintClick(std::function<bool(int id)> paintClick) { paintClick_ = std::move(paintClick); }

  bool OnCommand(WORD id, WORD code) override;

 private:
  void ShowFlip();

  WorkingConfig& config_;
  Korvalin_DlgComposite editor_;
  std::function<bool(int id)> paintClick_;
};

}  // namespace kv
