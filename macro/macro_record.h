// The macro record and the macro list.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "model/key_codes.h"

namespace kv {

static_assert(std::endian::native == std::endian::little, "records are stored little-endian, copied whole");

inline constexpr size_t kMaxMacros = 100;
inline constexpr size_t kMaxMacroActions = 2000;
inline constexpr size_t kMacroNameUnits = 250;  // the terminator included
inline constexpr size_t kMaxMacroNameUnits = kMacroNameUnits - 1;
inline constexpr uint16_t kMaxMacroId = 100;

inline constexpr uint16_t kMacroPress = 0;
inline constexpr uint16_t kMacroRelease = 1;

// Field order and types leave no padding; the asserts below pin the layout
// that profile files store byte for byte.
struct MacroAction {
  uint32_t delay;  // ms of pause after the action
  uint16_t key;    // KeyCode; 0 = no key
  uint16_t state;  // 0 press, 1 release; anything but 1 counts as a press
};
static_assert(sizeof(MacroAction) == 8);
static_assert(offsetof(MacroAction, delay) == 0 && offsetof(MacroAction, key) == 4 &&
              offsetof(MacroAction, state) == 6);

inline constexpr uint16_t kPlayOnce = 0;
inline constexpr uint16_t kPlayRepeat = 1;
inline constexpr uint16_t kPlayUntilKeyDown = 2;

struct MacroRecord {
  char16_t name[kMacroNameUnits];  // zero-terminated
  uint8_t cycles;
  uint8_t reserved1;
  uint16_t isNew;     // 1 while created in an editor and not yet applied
  uint16_t playMode;  // kept by the program only
  uint16_t id;        // 1-100, unique in the list
  uint16_t actionCount;
  uint16_t reserved2;
  MacroAction actions[kMaxMacroActions];
};
static_assert(sizeof(MacroRecord) == 16512);
static_assert(offsetof(MacroRecord, name) == 0 && offsetof(MacroRecord, cycles) == 500 &&
              offsetof(MacroRecord, reserved1) == 501 && offsetof(MacroRecord, isNew) == 502 &&
              offsetof(MacroRecord, playMode) == 504 && offsetof(MacroRecord, id) == 506 &&
              offsetof(MacroRecord, actionCount) == 508 && offsetof(MacroRecord, reserved2) == 510 &&
              offsetof(MacroRecord, actions) == 512);
static_assert(std::is_trivially_copyable_v<MacroRecord> && std::is_standard_layout_v<MacroRecord>);

// The macro list: contiguous records, position = index. The count is size().
using MacroList = std::vector<MacroRecord>;

// Records from files may lack a terminator or claim too many actions; these
// never look past the record.
std::u16string_view macroName(const MacroRecord& m);
size_t macroActionCount(const MacroRecord& m);
// Sets the name cut to 249 units (and at an embedded zero).
void setMacroName(MacroRecord& m, std::u16string_view name);
// MACRO_NEW_PREFIX's text followed by n in decimal ("Macro1").
std::u16string defaultMacroName(int n);

// Position of the macro with that id; 0 when none has it (also for an empty list).
int macroPosition(std::span<const MacroRecord> macros, uint32_t id);
// Id at a position; 0 for a negative position or one at or past the count.
uint16_t macroIdAt(std::span<const MacroRecord> macros, int position);
// Smallest id 1-100 no macro of the list uses; 0 when all are taken.
uint16_t nextMacroId(std::span<const MacroRecord> macros);

// Copies a list; false (and `out` untouched) when memory runs out.
[[nodiscard]] bool copyMacroList(std::span<const MacroRecord> macros, MacroList& out);

}  // namespace kv
