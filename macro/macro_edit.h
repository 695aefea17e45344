// The macro page's editing rules on its own copies of the macro list and on
// the action rows of the macro shown: naming and ids of new macros, where a
// recorded or loaded action goes and how the delays move, the row moves, the
// corrections of typed delays and cycles, and the memory gauge. Portable: the
// page's controls mirror these in composite_dlg_win32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "macro/macro_image.h"
#include "macro/macro_record.h"

namespace kv {

inline constexpr uint32_t kMaxTypedDelayMs = 40000;
inline constexpr uint32_t kNoRecordedDelayMs = 50;  // every recorded delay with record delays off
inline constexpr int kMinCycles = 1;
inline constexpr int kMaxCycles = 255;

// ---- the macro list ----------------------------------------------------------------

// Case-insensitive (ASCII letters) prefix test: "Macro1" is a prefix of "macro10".
bool startsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix);

// The name of the next added macro: the counter goes up (from 0 when the list
// is empty) until no macro's name starts with the prefix text and the counter.
std::u16string nextMacroName(std::span<const MacroRecord> macros, int& counter);

// A macro created in the editor: the name, cycles 1, isNew 1, play once, the
// lowest free id 1-100 (0 when all are taken), no actions.
void initNewMacro(MacroRecord& m, std::span<const MacroRecord> others, std::u16string_view name);

enum class AddMacroResult { Added, ListFull, NoMemory };
// Appends a macro named by nextMacroName; index is its position. With 100
// macros nothing changes (the page shows MACRO_ERR_MAX).
AddMacroResult addMacro(MacroList& macros, int& counter, int* index = nullptr);

// Removes the macro at index; returns the macro to select next: index - 1,
// 0 when it was 0, -1 when the list is now empty (or index was not valid).
int deleteMacroAt(MacroList& macros, int index);

// ---- the action rows -------------------------------------------------------------------

using ActionRows = std::vector<MacroAction>;

// The delay a recorded action keeps: with record delays (1) the measured one,
// at most 40,000 ms; without (0) 50 ms; any other stored option gives 0.
uint32_t recordedDelay(uint32_t measuredMs, int recordDelays);

// Adds an action (a state above 1 becomes a press) at the end, or right after
// `selected` when afterSelection and a row is selected. A row's delay is the
// pause after its action: unless loading, a row put at 0 gets delay 0, and a
// row put after row p takes p's old delay while p takes the new one.
// Returns the new row's index, -1 when the rows are full (2000).
int insertActionRow(ActionRows& rows, MacroAction action, int selected, bool afterSelection, bool loading);

enum class RowMove { Top, Up, Down, Bottom };
// Moves a row with its action (its delay goes with it); returns its new
// index, or the index unchanged when it is not a row.
int moveActionRow(ActionRows& rows, int index, RowMove move);

// A delay typed into a cell.
struct TypedDelay {
  bool change = false;    // an empty text changes nothing
  bool tooLarge = false;  // above 40,000: MACRO_ACTION_ERR_DELAY_MAX is shown
  uint32_t delayMs = 0;   // at most 40,000, a multiple of 10
};
TypedDelay typedDelay(std::u16string_view text);

// The cycles field after a change: the text it must show instead ("1" below
// 1, "255" above 255), or nothing when it may stay (1-255, or not a whole
// number yet: empty while the user retypes).
std::optional<std::u16string> correctedCycles(std::u16string_view text);
// The cycles stored from the field: a whole number 1-255, else 1.
uint8_t cyclesOf(std::u16string_view text);

// ---- the memory gauge -------------------------------------------------------------------

enum class GaugeLook {
  Hidden,        // no keyboard: no memory to show
  Fits,          // the image fits with names
  NamesDropped,  // fits only without names
  TooLong,       // does not fit at all
};
struct MacroGauge {
  GaugeLook look = GaugeLook::Hidden;
  size_t withNames = 0;
  size_t withoutNames = 0;
  size_t capacity = 0;
};
// What the keyboard's macro image needs for these macros against its macro
// memory (capacity 0: no keyboard), by the same rule the write uses.
MacroGauge macroGauge(std::span<const MacroRecord> macros, size_t capacity);

}  // namespace kv
