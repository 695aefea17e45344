// Small builders for macro tests.
#pragma once

#include <initializer_list>
#include <string_view>

#include "macro/macro_record.h"

namespace kv::test {

inline MacroAction press(KeyCode key, uint32_t delay = 0) { return {delay, key, kMacroPress}; }
inline MacroAction release(KeyCode key, uint32_t delay = 0) { return {delay, key, kMacroRelease}; }

inline MacroRecord makeMacro(std::u16string_view name, uint16_t id, std::initializer_list<MacroAction> actions,
                             uint8_t cycles = 1) {
  MacroRecord m{};
  setMacroName(m, name);
  m.id = id;
  m.cycles = cycles;
  for (const auto& a : actions) m.actions[m.actionCount++] = a;
  return m;
}

}  // namespace kv::test
