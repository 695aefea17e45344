// The keyboard view: the key buttons, the G keys, Fn, Flip with its arrows,
// the macro-edit and restore-defaults buttons and the button menu; key clicks
// open the composite editor, and every button's set state and tooltip say
// what its key does.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/window_part_win32.h"
#include "device/device_ui.h"
#include "keys/composite_dlg_win32.h"
#include "base/handles_win32.h"
#include "keys/edit_history.h"
#include "keys/working_config.h"
#include "model/key_navigation.h"
#include "resources/control_ids.h"

namespace kv {

// What the window keeps of the user's changes for undo.
class ChangeRecorder {
 public:
  virtual ~ChangeRecorder() = default;
  // With the WorkingConfig lock held, around one change of it.
  virtual void ChangeStarting() = 0;
  virtual void ChangeMade(StepKind kind) = 0;
  // Flip was switched from one setting to the other.
  virtual void FlipChanged(int before, int after) = 0;
};

// An item the window adds to the top of the button menu.
struct MenuItem {
  UINT command;
  std::wstring text;
  bool enabled;
};

class CKeyboardView : public CWindowPart, private CompositeHost {
 public:
  // editorSkinFile: the composite editor's skin description file.
  CKeyboardView(WindowContext context, WorkingConfig& config, DeviceUi& ui, const std::wstring& editorSkinFile)
      : CWindowPart(std::move(context)),
        config_(config),
        ui_(ui),
        editor_(context_.dialog, editorSkinFile, context_.skinsFolder, context_.helpFolder, config, *this) {}

  // The lighting panel's paint click: given a key button, D1-D6 or Fn, true
  // when it took the click (the panel is open).
  void SetPaintClick(std::function<bool(int id)> paintClick) { paintClick_ = std::move(paintClick); }
  // What the rest of the window does after the keys were restored: the
  // lighting of an open panel reset, and the configuration applied.
  void SetAfterRestore(std::function<void()> afterRestore) { afterRestore_ = std::move(afterRestore); }
  // Runs once an editor has closed, with no lock held.
  void SetAfterEditor(std::function<void()> afterEditor) { afterEditor_ = std::move(afterEditor); }
  // The attached keyboard's macro memory in bytes, 0 with no keyboard (the
  // editor's macro memory gauge).
  void SetMacroMemory(std::function<size_t()> macroMemory) { macroMemory_ = std::move(macroMemory); }
  void SetRecorder(ChangeRecorder* recorder) { recorder_ = recorder; }
  // The items put above the button menu's own, asked for at each opening.
  void SetMenuItems(std::function<std::vector<MenuItem>()> items) { menuItems_ = std::move(items); }
  // Flip set as stored before (undo) or after (redo), and shown.
  void SetFlip(int value);

  // At start: every button of the view placed by its skin key with its faces,
  // the hidden buttons hidden, Flip shown as stored.
  void Place();
  // Set state and tooltip of the 9 G keys and the 104 key buttons from the
  // active profile's block; the caller holds the WorkingConfig lock.
  void RefreshKeySummaries();
  // The same, then the Flip controls brought up to date (after a load, a
  // switch or an import).
  void RefreshKeyButtons();
  void RefreshGKeys();
  // One slot of the active block shown unassigned (a stale macro removed).
  void ShowKeyUnassigned(int slot) override;
  // The G keys of the current bank and the key slots of the active block
  // back to their factory action; takes the WorkingConfig lock.
  void ResetKeyAssignments();
  // The G keys' texts for the bank, redrawn over the bank indicator.
  void ShowGKeyLabels(bool bankB);
  // After start-up: the editor's pictures loaded ahead of the first click,
  // from those decoded ahead.
  void PrepareEditor(SkinPicturePreloader* preloaded) { editor_.LoadImageSets(preloaded); }
  // Shutdown: the composite editor closes if it is open.
  void CloseDialogs();
  // The composite editor is open (a profile switch waits for it to close).
  bool EditorOpen() const { return editor_.opened(); }

  bool OnCommand(WORD id, WORD code) override;

  // Choosing keys from the keyboard. The selected button has the keyboard
  // focus, a ring and its tooltip.
  // The button of the key of a key message (vk, and the keystroke flags with
  // the scan code) selected; false when no button of the picture has that key.
  bool SelectKeyOfMessage(WPARAM vk, LPARAM flags);
  // The selection moved to the neighbouring button; false when there is none
  // that way (the selection stays).
  bool MoveSelection(NavMove move);
  // The selection, or key A when there is none, selected again (the picture's
  // group reached with Tab).
  void FocusPicture();
  // The selected button pressed, as a click does; false with no selection.
  bool PressSelection();
  int Selected() const { return selected_; }
  // The ring and the tooltip go (a click, the focus elsewhere); the focus
  // stays where it is.
  void ClearSelection();
  // The tooltip hidden while the window is not active; the ring stays.
  void HideSelectionTip();

 private:
  void Select(int id);
  void ShowSelectionTip(CPngButton& b);
  // The buttons the selection moves over: key buttons, G keys and Fn that
  // show and take clicks.
  std::vector<NavButton> NavigableButtons() const;
  void KeyClick(int id);
  void GKeyClick(int g);
  void OpenEditor(int buttonId, int slot, bool macroOnly);
  void RestoreDefaults();
  void ShowButtonMenu();
  void ToggleFlip();
  void ShowFlip();
  void ShowArrow(const ids::SkinControl& arrow, const wchar_t* upKey, const wchar_t* downKey);
  void Summarise(int controlId, const std::u16string& name, const std::u16string& tooltip, const KeyActionEntry& e);
  std::u16string AccessibleBaseName(int controlId, const std::u16string& name) const;
  void SetNormalFaces(CPngButton& b);

  // CompositeHost
  void RefreshKeySummariesLocked() override { RefreshKeySummaries(); }
  void EnableMainApply() override { ui_.SetApplyEnabled(true); }
  HWND ButtonWindow(int controlId) const override { return item(controlId); }
  size_t KeyboardMacroMemory() const override { return macroMemory_ ? macroMemory_() : 0; }
  void ChangeStarting() override {
    if (recorder_) recorder_->ChangeStarting();
  }
  void ChangeMade() override {
    if (recorder_) recorder_->ChangeMade(StepKind::kKey);
  }

  WorkingConfig& config_;
  DeviceUi& ui_;
  Korvalin_DlgComposite editor_;
  std::function<void()> afterRestore_;
  std::function<void()> afterEditor_;
  std::function<bool(int)> paintClick_;
  std::function<size_t()> macroMemory_;
  std::u16string gKeyTitle_;  // "%s (bank %s)" from the language file
  int selected_ = 0;          // control id of the button chosen from the keyboard
  UniqueWindow selectionTip_;
  std::function<std::vector<MenuItem>()> menuItems_;
  ChangeRecorder* recorder_ = nullptr;
};

}  // namespace kv
