// Undo and redo of the user's changes: one history of steps per on-board
// profile. A step holds what it takes to go back and forth: for changes
// waiting for Apply the before and after of the working-configuration
// entries it touched; for changes already written to the keyboard (lighting,
// report rate) the bytes written and the bytes they replaced.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "keys/key_action.h"
#include "keys/working_config.h"
#include "macro/macro_record.h"
#include "model/lighting.h"

namespace kv {

inline constexpr size_t kMaxHistorySteps = 200;
inline constexpr int kHistoryProfiles = kBlockCount;

enum class StepKind : uint8_t { kKey, kMacros, kRestore, kImport, kLighting, kReportRate, kFlip };

// One table entry a waiting change altered, with its string (a program path
// or text block) on either side.
struct EntryChange {
  int index = 0;
  KeyActionEntry before{};
  KeyActionEntry after{};
  std::u16string beforeText;
  std::u16string afterText;
};

struct EditStep {
  StepKind kind = StepKind::kKey;
  std::u16string label;  // what the menu and the Apply tooltip call it

  // Waiting changes.
  std::vector<EntryChange> entries;
  bool macrosChanged = false;
  std::vector<uint8_t> macrosBefore;  // packMacroHistory
  std::vector<uint8_t> macrosAfter;
  RegionSources sourcesBefore;
  RegionSources sourcesAfter;

  // Changes written to the keyboard, in the order they were written, and the
  // profile whose lighting they went to.
  std::vector<LightingWrite> writes;
  int writtenProfile = -1;

  // A program setting (Flip).
  int settingBefore = 0;
  int settingAfter = 0;

  // Non-zero: consecutive steps of the same stroke (a drag across keys) are one.
  uint32_t stroke = 0;

  // Whether the step changes what Apply writes.
  [[nodiscard]] bool waiting() const { return !entries.empty() || macrosChanged; }
};

// Macros kept compactly: each record's fixed part and only its used actions.
std::vector<uint8_t> packMacroHistory(std::span<const MacroRecord> macros);
// False (out untouched) when the bytes are not what packMacroHistory makes
// or memory runs out.
[[nodiscard]] bool unpackMacroHistory(std::span<const uint8_t> bytes, MacroList& out);

// The working configuration as it was before a change; compared with the
// present one to make the change's step.
struct ConfigCapture {
  std::unique_ptr<KeyActionTable> table;
  std::vector<uint8_t> macros;  // packMacroHistory
  std::vector<std::u16string> texts;  // by entry index, for entries with a string
  RegionSources sources;
};
// The caller holds config.lock. False when memory runs out or there is no table.
[[nodiscard]] bool captureConfig(const WorkingConfig& config, ConfigCapture& out);
// Fills the step's entries, macros and sources from the difference between
// before and config now. False when nothing changed. The caller holds config.lock.
[[nodiscard]] bool diffConfig(const ConfigCapture& before, const WorkingConfig& config, EditStep& step);
// Puts a waiting step's before (undo) or after (redo) side into config. The
// caller holds config.lock. False when memory ran out part way.
[[nodiscard]] bool applyConfigStep(const EditStep& step, WorkingConfig& config, bool undo);

// A waiting step as it took effect since the last Apply: done, or undone
// (its after turned back into its before).
struct WaitingStep {
  const EditStep* step;
  bool undone;
};

// Per-profile stacks with a cursor: steps below it are done, at and above it
// undone (redo). Each profile also remembers where its working changes
// matched the keyboard (the last Apply or reload), so an undo back to that
// point leaves nothing waiting.
class EditHistory {
 public:
  // Adds a step done in profile (0-3; others are ignored). Undone steps are
  // dropped; a step of the stroke of the last one joins it; the oldest goes
  // past kMaxHistorySteps.
  void push(int profile, EditStep step);
  [[nodiscard]] const EditStep* nextUndo(int profile) const;
  [[nodiscard]] const EditStep* nextRedo(int profile) const;
  // The caller carried out nextUndo / nextRedo: the cursor moves.
  void undone(int profile);
  void redone(int profile);
  // A reload from the keyboard: the profile's steps go.
  void clear(int profile);
  // Everything waiting was written (or dropped by a reload).
  void markApplied();
  // Some profile has a waiting change done or undone since its last Apply.
  [[nodiscard]] bool waiting() const;
  // The waiting steps between the last Apply and now, of every profile, in
  // the order they took effect: done ones forward, undone ones backward.
  [[nodiscard]] std::vector<WaitingStep> waitingSteps() const;
  [[nodiscard]] size_t size(int profile) const;
  [[nodiscard]] size_t cursor(int profile) const;

 private:
  struct Stack {
    std::vector<EditStep> steps;
    size_t cursor = 0;
    // Where the working changes matched the keyboard; -1 once that point was
    // dropped with waiting steps between it and the cursor.
    long clean = 0;
  };
  [[nodiscard]] static bool stackWaiting(const Stack& s);
  Stack* stackOf(int profile);
  const Stack* stackOf(int profile) const;

  std::array<Stack, kHistoryProfiles> stacks_;
};

// The texts a step's label and the Apply tooltip are made of; the window
// fills them from the language file.
struct HistoryTexts {
  std::u16string arrow = u" \u2192 ";
  std::u16string unassigned = u"default";
  std::u16string disabled = u"disabled";
  std::u16string macro = u"macro %s";
  std::u16string program = u"program";
  std::u16string textBlock = u"text";
  std::u16string stopMacro = u"stop macro";
  std::u16string macros = u"macros: %d changed, %s of %s";
  std::u16string macroStep = u"Macros";
  std::u16string unlisted = u"changes not listed here";
  std::u16string restore = u"Restore defaults";
  std::u16string import = u"Import";
  std::u16string lighting = u"Lighting";
  std::u16string reportRate = u"Report rate";
  std::u16string flip = u"Flip";
  std::u16string more = u"and %d more";
  std::u16string nothing = u"Nothing is waiting to be written.";
  std::u16string count = u"Waiting for Apply: %d";
};

// What an entry does, in a few words ("B", "macro Mine", "Ctrl").
std::u16string actionWords(const KeyActionEntry& e, std::u16string_view text, const MacroList& macros,
                           const HistoryTexts& texts);
// "1.2 KB" for 1229 bytes; "800 B" below 1 KB.
std::u16string byteSize(size_t bytes);

// The button name of a table entry ("A", "G1").
std::u16string entryName(int index);
// The waiting changes in plain words, one a line: each entry the steps
// changed and that differs now ("A → B"), then the macros when they changed.
std::vector<std::u16string> waitingLines(std::span<const WaitingStep> steps, const MacroList& macrosNow,
                                         size_t macroMemory, const HistoryTexts& texts);

inline constexpr size_t kMaxTooltipLines = 12;
// The Apply tooltip: how many changes wait, then one line each (at most
// kMaxTooltipLines, then "and N more"); the nothing text when none wait.
// lines are the waiting changes in plain words.
std::u16string waitingChangesText(std::span<const std::u16string> lines, const HistoryTexts& texts);

}  // namespace kv
