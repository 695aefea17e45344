#include "macro/macro_edit.h"

#include <algorithm>
#include <new>

#include "base/text_table.h"

namespace kv {
namespace {

char16_t lowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

// The whole text as a number; nothing when it holds anything but digits.
std::optional<uint64_t> wholeNumber(std::u16string_view text) {
  if (text.empty()) return std::nullopt;
  uint64_t n = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    n = std::min<uint64_t>(n * 10 + static_cast<uint64_t>(c - u'0'), UINT32_MAX + uint64_t{1});  // no overflow
  }
  return n;
}

}  // namespace

bool startsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
  if (prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (lowerAscii(text[i]) != lowerAscii(prefix[i])) return false;
  return true;
}

std::u16string nextMacroName(std::span<const MacroRecord> macros, int& counter) {
  if (macros.empty()) counter = 0;
  for (;;) {
    ++counter;
    std::u16string name = defaultMacroName(counter);
    bool taken = std::any_of(macros.begin(), macros.end(),
                             [&](const MacroRecord& m) { return startsWithIgnoringCase(macroName(m), name); });
    if (!taken) return name;
  }
}

void initNewMacro(MacroRecord& m, std::span<const MacroRecord> others, std::u16string_view name) {
  m = MacroRecord{};
  setMacroName(m, name);
  m.cycles = 1;
  m.isNew = 1;
  m.playMode = kPlayOnce;
  m.id = nextMacroId(others);
}

AddMacroResult addMacro(MacroList& macros, int& counter, int* index) {
  if (macros.size() >= kMaxMacros) return AddMacroResult::ListFull;
  std::u16string name = nextMacroName(macros, counter);
  try {
    MacroRecord m;
    initNewMacro(m, macros, name);
    macros.push_back(m);
  } catch (const std::bad_alloc&) {
    return AddMacroResult::NoMemory;
  }
  if (index) *index = static_cast<int>(macros.size()) - 1;
  return AddMacroResult::Added;
}

int deleteMacroAt(MacroList& macros, int index) {
  if (index < 0 || static_cast<size_t>(index) >= macros.size()) return macros.empty() ? -1 : 0;
  macros.erase(macros.begin() + index);
  if (macros.empty()) return -1;
  return index == 0 ? 0 : index - 1;
}

uint32_t recordedDelay(uint32_t measuredMs, int recordDelays) {
  if (recordDelays == 1) return std::min(measuredMs, kMaxTypedDelayMs);
  if (recordDelays == 0) return kNoRecordedDelayMs;
  return 0;
}

int insertActionRow(ActionRows& rows, MacroAction action, int selected, bool afterSelection, bool loading) {
  if (rows.size() >= kMaxMacroActions) return -1;
  if (action.state > kMacroRelease) action.state = kMacroPress;
  size_t at = rows.size();
  if (afterSelection && selected >= 0 && static_cast<size_t>(selected) < rows.size())
    at = static_cast<size_t>(selected) + 1;
  if (!loading) {
    if (at == 0) {
      action.delay = 0;
    } else {
      // The pause after the previous row is now the one before this action.
      std::swap(action.delay, rows[at - 1].delay);
    }
  }
  rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(at), action);
  return static_cast<int>(at);
}

int moveActionRow(ActionRows& rows, int index, RowMove move) {
  if (index < 0 || static_cast<size_t>(index) >= rows.size()) return index;
  auto i = static_cast<size_t>(index);
  size_t to = i;
  switch (move) {
    case RowMove::Top: to = 0; break;
    case RowMove::Up: to = i == 0 ? 0 : i - 1; break;
    case RowMove::Down: to = std::min(i + 1, rows.size() - 1); break;
    case RowMove::Bottom: to = rows.size() - 1; break;
  }
  MacroAction a = rows[i];
  rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(i));
  rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(to), a);
  return static_cast<int>(to);
}

TypedDelay typedDelay(std::u16string_view text) {
  TypedDelay d;
  if (text.empty()) return d;
  // The cell takes digits only; anything else reads as 0, as an unsigned
  // conversion of it would.
  uint64_t n = wholeNumber(text).value_or(0);
  d.change = true;
  if (n > kMaxTypedDelayMs) {
    d.tooLarge = true;
    n = kMaxTypedDelayMs;
  }
  d.delayMs = static_cast<uint32_t>(n - n % kMacroDelayUnitMs);
  return d;
}

std::optional<std::u16string> correctedCycles(std::u16string_view text) {
  std::optional<uint64_t> n = wholeNumber(text);
  if (!n) return std::nullopt;
  if (*n < kMinCycles) return u"1";
  if (*n > kMaxCycles) return u"255";
  return std::nullopt;
}

uint8_t cyclesOf(std::u16string_view text) {
  std::optional<uint64_t> n = wholeNumber(text);
  if (!n || *n < kMinCycles || *n > kMaxCycles) return 1;
  return static_cast<uint8_t>(*n);
}

MacroGauge macroGauge(std::span<const MacroRecord> macros, size_t capacity) {
  MacroGauge g;
  MacroImageSizes sizes = macroImageSizes(macros);
  g.withNames = sizes.withNames;
  g.withoutNames = sizes.withoutNames;
  g.capacity = capacity;
  if (capacity == 0) return g;
  switch (macroFitOf(sizes, capacity)) {
    case MacroFit::WithNames: g.look = GaugeLook::Fits; break;
    case MacroFit::WithoutNames: g.look = GaugeLook::NamesDropped; break;
    default: g.look = GaugeLook::TooLong; break;
  }
  return g;
}

}  // namespace kv
