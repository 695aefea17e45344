#include "macro/macro_record.h"

#include <algorithm>
#include <new>

#include "base/text_table.h"

namespace kv {

std::u16string_view macroName(const MacroRecord& m) {
  size_t n = 0;
  while (n < kMaxMacroNameUnits && m.name[n] != 0) ++n;
  return {m.name, n};
}

size_t macroActionCount(const MacroRecord& m) { return std::min<size_t>(m.actionCount, kMaxMacroActions); }

void setMacroName(MacroRecord& m, std::u16string_view name) {
  name = name.substr(0, std::min(name.find(u'\0'), kMaxMacroNameUnits));
  std::fill(std::begin(m.name), std::end(m.name), u'\0');
  std::copy(name.begin(), name.end(), m.name);
}

std::u16string defaultMacroName(int n) { return text(TextId::MACRO_NEW_PREFIX) + formatText(u"%d", {n}); }

int macroPosition(std::span<const MacroRecord> macros, uint32_t id) {
  for (size_t i = 0; i < macros.size(); ++i)
    if (macros[i].id == id) return static_cast<int>(i);
  return 0;
}

uint16_t macroIdAt(std::span<const MacroRecord> macros, int position) {
  if (position < 0 || static_cast<size_t>(position) >= macros.size()) return 0;
  return macros[static_cast<size_t>(position)].id;
}

uint16_t nextMacroId(std::span<const MacroRecord> macros) {
  bool used[kMaxMacroId + 1] = {};
  for (const auto& m : macros)
    if (m.id <= kMaxMacroId) used[m.id] = true;
  for (uint16_t id = 1; id <= kMaxMacroId; ++id)
    if (!used[id]) return id;
  return 0;
}

bool copyMacroList(std::span<const MacroRecord> macros, MacroList& out) {
  try {
    MacroList copy(macros.begin(), macros.end());
    out.swap(copy);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace kv
