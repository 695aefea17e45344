// What a key button on the keyboard picture says about its key: the set
// state and the tooltip, built from the key's entry in the active block.
#pragma once

#include <string>
#include <string_view>

#include "keys/key_action.h"
#include "macro/macro_record.h"

namespace kv {

inline constexpr size_t kMaxTooltipChars = 259;

// The name a button's tooltip starts with: "G1"-"G9" for G key n = 0-8 of
// either bank, the key's name (or the unknown-key text) for a key button.
std::u16string gKeyButtonName(int n);
std::u16string keyButtonName(KeyCode code);

// The set state: on for every entry that is not Default.
constexpr bool summarySetState(const KeyActionEntry& e) { return e.type != ActionType::Default; }
// The tooltip: the name alone for a Default entry, else the name, the
// KEY_PROMPT_SET text and what the entry does; cut to kMaxTooltipChars.
std::u16string keySummaryText(std::u16string_view name, const KeyActionEntry& e, const MacroList& macros);
// What a screen reader says for the button: "A, default", "A, remapped to B",
// or for other functions "A, set to " and what the tooltip says it does
// ("Macro(Combo)"); name is the button's name ("G1 (bank A)" for a G key).
std::u16string keyAccessibleName(std::u16string_view name, const KeyActionEntry& e, const MacroList& macros);

// A G key's tooltip: its summary and, when it is assigned, that Korvalin
// keeps the assignment (the keyboard has no G-key slots); the note is never
// cut, the summary before it is.
std::u16string gKeySummaryText(int n, const KeyActionEntry& e, const MacroList& macros);

}  // namespace kv
