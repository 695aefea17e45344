// The composite editor's macro page: the macro list (a drop-down with an
// editable name), the action list with in-place cell editing, the recorder,
// the cycles field, the record-delays option, the memory gauge, and the
// commit of the page's copies at Apply. The editing rules themselves are the
// portable ones of macro/macro_edit.h; this class mirrors them in controls.
//
// The page owns its controls of the editor's template: it places them,
// answers their commands, the action list's notifications and the gauge's
// drawing. The editor hands it what it needs: the dialog its controls live
// in, the working configuration, its host, and how to mark the editor
// changed.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <string>

#include "keys/key_hooks_win32.h"
#include "keys/working_config.h"
#include "macro/macro_edit.h"
#include "skin/png_button_win32.h"
#include "widgets/dialog_win32.h"

namespace kv {

class CompositeHost;

class CMacroPage : private MacroRecordTarget {
 public:
  // changed: the editor has something to apply (its Apply button on).
  CMacroPage(CDialog& dialog, WorkingConfig& config, CompositeHost& host, std::function<void()> changed);
  CMacroPage(const CMacroPage&) = delete;
  CMacroPage& operator=(const CMacroPage&) = delete;

  // ---- the editor's life -------------------------------------------------------------
  // At each opening, before the controls are skinned: the action list's
  // columns, the field limits and the record-delays option.
  void Open();
  // Places the page's controls by their skin keys in the editor's skin file;
  // skinButton gives each of its image buttons the editor's macro faces.
  void Place(const std::wstring& skinFile, const std::function<void(CPngButton&, const wchar_t* key)>& skinButton);
  // The page's copy of the keyboard's macros, none selected.
  void Fill();
  // The page's texts from the language file.
  void SetTexts(const std::function<std::wstring(const char* key)>& languageText);
  // Closing: recording stops, the copies are dropped.
  void Close();

  // ---- showing ---------------------------------------------------------------------------
  // Another page is shown: an edit in progress is kept, recording stops.
  void Leave();
  void ShowControls(bool shown);
  // The page is shown: firstTime selects the edited key's macro
  // (entryMacroId, 0 for none) or the first one.
  void Enter(bool firstTime, uint16_t entryMacroId);
  // The page picture was drawn over the controls: they are drawn again.
  void Repaint();

  // ---- Apply ------------------------------------------------------------------------------
  // Ends an edit and stops recording: what they changed counts as a change.
  void FinishEdits();
  // Ends an edit, stops recording and commits the copies to the working
  // configuration; the keys that lost their macro are shown unassigned.
  void Commit();
  // The selected macro's id (0 for none) and its cycles, as committed.
  uint16_t SelectedMacroId() const;
  uint8_t SelectedCycles() const;

  // ---- messages ----------------------------------------------------------------------------
  // A command of one of the page's controls; false for another control.
  [[nodiscard]] bool OnCommand(WORD id, WORD code);
  // The action list's notifications; false for another control.
  [[nodiscard]] bool OnNotify(const NMHDR& n, LRESULT& result);
  // The gauge's drawing; false for another control.
  [[nodiscard]] bool OnDrawItem(const DRAWITEMSTRUCT& dis);
  // Enter and Escape in a cell being edited keep or drop the edit.
  [[nodiscard]] bool PreTranslate(const MSG& msg);

 private:
  void OnRecordedAction(const MacroAction& action) override;

  HWND item(int id) const { return dialog_.item(id); }
  CPngButton& Button(int id) { return buttons_.Attach(dialog_.hwnd(), id); }
  bool HasSelection() const;

  void FillMacroList();
  void SelectMacro(int index, bool load);
  void LoadMacro();
  void StoreMacro();
  void EnableActionButtons();
  void ShowRows(int select);
  int SelectedRow() const;
  void AddAction(MacroAction action, bool recorded, bool markChanged, bool afterSelection, bool loading);
  void AddMacro();
  void DeleteMacro();
  void MacroNameEdited();
  void MacroSelectionChanged();
  void DeleteAction();
  void ClearActions();
  void MoveAction(RowMove move);
  void CyclesChanged();
  void ToggleRecordDelays();
  void ToggleRecording();
  void StopRecording();
  void CommitMacroList();
  void BeginCellEdit(int row, int column);
  void EndCellEdit(bool commit);
  void UpdateGauge();
  bool ConfirmYesNo(const std::u16string& question);
  // Row edits of the selected macro: each keeps the rows as they were, so
  // Ctrl+Z and Ctrl+Y go back and forth until the editor closes. A recording
  // is one edit.
  void RowsChanging();
  void UndoRows(bool undo);
  void ForgetRowHistory();

  CDialog& dialog_;
  WorkingConfig& config_;
  CompositeHost& host_;
  std::function<void()> changed_;
  CPngButtonSet buttons_;

  bool shown_ = false;
  MacroList macros_;
  ActionRows rows_;
  int currentMacro_ = -1;
  int macroNameCounter_ = 0;  // keeps counting across openings
  bool firstMacroShow_ = true;
  int recordDelays_ = 0;
  bool comboGuard_ = false;
  bool cyclesGuard_ = false;
  MacroGauge gauge_;
  // In-place editing of one cell of the action list.
  int cellRow_ = -1, cellColumn_ = -1;  // -1: no cell is being edited
  bool endingCellEdit_ = false;

  struct RowState {
    uint16_t macroId;
    ActionRows rows;
  };
  std::vector<RowState> rowUndo_, rowRedo_;
};

}  // namespace kv
