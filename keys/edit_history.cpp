#include "keys/edit_history.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "keys/key_strings.h"
#include "keys/key_summary.h"
#include "macro/macro_image.h"
#include "model/key_info.h"

namespace kv {
namespace {

constexpr size_t kMacroFixedBytes = offsetof(MacroRecord, actions);

// Erases the undone steps above the cursor; the clean point among them is lost.
void dropRedo(std::vector<EditStep>& steps, size_t cursor, long& clean) {
  if (clean > static_cast<long>(cursor)) {
    bool waitingDropped = false;
    for (size_t i = cursor; i < static_cast<size_t>(clean); ++i) waitingDropped |= steps[i].waiting();
    // Undone steps that changed nothing Apply writes leave the match with the keyboard.
    clean = waitingDropped ? -1 : static_cast<long>(cursor);
  }
  steps.erase(steps.begin() + static_cast<std::ptrdiff_t>(cursor), steps.end());
}

}  // namespace

std::vector<uint8_t> packMacroHistory(std::span<const MacroRecord> macros) {
  std::vector<uint8_t> out;
  for (const MacroRecord& m : macros) {
    const size_t count = macroActionCount(m);
    const auto* raw = reinterpret_cast<const uint8_t*>(&m);
    out.insert(out.end(), raw, raw + kMacroFixedBytes);
    const auto* actions = reinterpret_cast<const uint8_t*>(m.actions);
    out.insert(out.end(), actions, actions + count * sizeof(MacroAction));
  }
  return out;
}

bool unpackMacroHistory(std::span<const uint8_t> bytes, MacroList& out) {
  MacroList list;
  try {
    size_t at = 0;
    while (at < bytes.size()) {
      if (bytes.size() - at < kMacroFixedBytes || list.size() >= kMaxMacros) return false;
      MacroRecord& m = list.emplace_back();
      std::memset(&m, 0, sizeof m);
      std::memcpy(&m, bytes.data() + at, kMacroFixedBytes);
      at += kMacroFixedBytes;
      const size_t count = macroActionCount(m);
      if (bytes.size() - at < count * sizeof(MacroAction)) return false;
      std::memcpy(m.actions, bytes.data() + at, count * sizeof(MacroAction));
      at += count * sizeof(MacroAction);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  out.swap(list);
  return true;
}

bool captureConfig(const WorkingConfig& config, ConfigCapture& out) {
  if (!config.table) return false;
  try {
    out.table = std::make_unique<KeyActionTable>(*config.table);
    out.macros = packMacroHistory(config.macros);
    out.texts.assign(kEntryCount, std::u16string());
    for (int i = 0; i < kEntryCount; ++i)
      if (config.strings.slots[static_cast<size_t>(i)].byteLength != 0) out.texts[static_cast<size_t>(i)] = config.strings.text(i);
  } catch (const std::bad_alloc&) {
    out = ConfigCapture{};
    return false;
  }
  out.sources = config.sources;
  return true;
}

bool diffConfig(const ConfigCapture& before, const WorkingConfig& config, EditStep& step) {
  if (!before.table || !config.table || before.texts.size() != static_cast<size_t>(kEntryCount)) return false;
  step.entries.clear();
  for (int i = 0; i < kEntryCount; ++i) {
    const KeyActionEntry& was = before.table->entries[static_cast<size_t>(i)];
    const KeyActionEntry& now = config.table->entries[static_cast<size_t>(i)];
    std::u16string_view nowText = config.strings.text(i);
    const std::u16string& wasText = before.texts[static_cast<size_t>(i)];
    if (was == now && wasText == nowText) continue;
    step.entries.push_back({i, was, now, wasText, std::u16string(nowText)});
  }
  std::vector<uint8_t> macrosNow = packMacroHistory(config.macros);
  step.macrosChanged = macrosNow != before.macros;
  if (step.macrosChanged) {
    step.macrosBefore = before.macros;
    step.macrosAfter = std::move(macrosNow);
  }
  step.sourcesBefore = before.sources;
  step.sourcesAfter = config.sources;
  return step.waiting();
}

bool applyConfigStep(const EditStep& step, WorkingConfig& config, bool undo) {
  if (!config.table) return false;
  bool whole = true;
  // Last change first: an entry that changed twice in one step ends at its first before.
  auto apply = [&](const EntryChange& c) {
    if (c.index < 0 || c.index >= kEntryCount) return;
    const KeyActionEntry& e = undo ? c.before : c.after;
    const std::u16string& t = undo ? c.beforeText : c.afterText;
    config.table->entries[static_cast<size_t>(c.index)] = e;
    releaseString(config.strings, c.index);
    if (!t.empty() && !attachString(config.strings, c.index, t)) whole = false;
  };
  if (undo)
    std::for_each(step.entries.rbegin(), step.entries.rend(), apply);
  else
    std::for_each(step.entries.begin(), step.entries.end(), apply);
  if (step.macrosChanged) {
    MacroList list;
    if (unpackMacroHistory(undo ? step.macrosBefore : step.macrosAfter, list))
      config.macros.swap(list);
    else
      whole = false;
  }
  config.sources = undo ? step.sourcesBefore : step.sourcesAfter;
  return whole;
}

// ---- EditHistory -------------------------------------------------------------------

EditHistory::Stack* EditHistory::stackOf(int profile) {
  return profile >= 0 && profile < kHistoryProfiles ? &stacks_[static_cast<size_t>(profile)] : nullptr;
}
const EditHistory::Stack* EditHistory::stackOf(int profile) const {
  return profile >= 0 && profile < kHistoryProfiles ? &stacks_[static_cast<size_t>(profile)] : nullptr;
}

void EditHistory::push(int profile, EditStep step) {
  Stack* s = stackOf(profile);
  if (!s) return;
  dropRedo(s->steps, s->cursor, s->clean);
  if (step.stroke != 0 && !s->steps.empty() && s->steps.back().stroke == step.stroke &&
      s->steps.back().kind == step.kind) {
    EditStep& last = s->steps.back();
    for (LightingWrite& w : step.writes) last.writes.push_back(std::move(w));
    last.entries.insert(last.entries.end(), step.entries.begin(), step.entries.end());
    return;
  }
  s->steps.push_back(std::move(step));
  s->cursor = s->steps.size();
  if (s->steps.size() > kMaxHistorySteps) {
    const bool droppedWaiting = s->steps.front().waiting();
    s->steps.erase(s->steps.begin());
    --s->cursor;
    if (s->clean > 0)
      --s->clean;
    else if (s->clean == 0 && droppedWaiting)
      s->clean = -1;  // the dropped change is done and waits; nothing can undo back to the match
  }
}

const EditStep* EditHistory::nextUndo(int profile) const {
  const Stack* s = stackOf(profile);
  return s && s->cursor > 0 ? &s->steps[s->cursor - 1] : nullptr;
}

const EditStep* EditHistory::nextRedo(int profile) const {
  const Stack* s = stackOf(profile);
  return s && s->cursor < s->steps.size() ? &s->steps[s->cursor] : nullptr;
}

void EditHistory::undone(int profile) {
  if (Stack* s = stackOf(profile); s && s->cursor > 0) --s->cursor;
}
void EditHistory::redone(int profile) {
  if (Stack* s = stackOf(profile); s && s->cursor < s->steps.size()) ++s->cursor;
}

void EditHistory::clear(int profile) {
  if (Stack* s = stackOf(profile)) *s = Stack{};
}

void EditHistory::markApplied() {
  for (Stack& s : stacks_) s.clean = static_cast<long>(s.cursor);
}

bool EditHistory::stackWaiting(const Stack& s) {
  if (s.clean < 0) return true;
  size_t from = std::min(s.cursor, static_cast<size_t>(s.clean));
  size_t to = std::max(s.cursor, static_cast<size_t>(s.clean));
  for (size_t i = from; i < to; ++i)
    if (s.steps[i].waiting()) return true;
  return false;
}

bool EditHistory::waiting() const {
  return std::any_of(stacks_.begin(), stacks_.end(), [](const Stack& s) { return stackWaiting(s); });
}

std::vector<WaitingStep> EditHistory::waitingSteps() const {
  std::vector<WaitingStep> out;
  for (const Stack& s : stacks_) {
    if (s.clean >= 0 && static_cast<size_t>(s.clean) > s.cursor) {
      // Undone since the last Apply: the latest undone first.
      for (size_t i = static_cast<size_t>(s.clean); i > s.cursor; --i)
        if (s.steps[i - 1].waiting()) out.push_back({&s.steps[i - 1], true});
      continue;
    }
    size_t from = s.clean < 0 ? 0 : static_cast<size_t>(s.clean);
    for (size_t i = from; i < s.cursor; ++i)
      if (s.steps[i].waiting()) out.push_back({&s.steps[i], false});
  }
  return out;
}

size_t EditHistory::size(int profile) const {
  const Stack* s = stackOf(profile);
  return s ? s->steps.size() : 0;
}
size_t EditHistory::cursor(int profile) const {
  const Stack* s = stackOf(profile);
  return s ? s->cursor : 0;
}

// ---- texts -----------------------------------------------------------------------------

std::u16string actionWords(const KeyActionEntry& e, std::u16string_view text, const MacroList& macros,
                           const HistoryTexts& texts) {
  switch (e.type) {
    case ActionType::Default:
      return texts.unassigned;
    case ActionType::Disabled:
      return texts.disabled;
    case ActionType::SingleKey:
      return KeyName(static_cast<KeyCode>(e.value));
    case ActionType::PlayMacro: {
      std::u16string name;
      for (const MacroRecord& m : macros)
        if (m.id == (e.value & 0xFFFF)) name = std::u16string(macroName(m));
      return formatText(texts.macro, {TextArg(std::u16string_view(name))});
    }
    case ActionType::StopMacro:
      return texts.stopMacro;
    case ActionType::LaunchProgram:
      return text.empty() ? texts.program : std::u16string(text);
    case ActionType::TextBlock:
      return texts.textBlock;
    case ActionType::Media:
      return e.value < kMediaFunctionCount ? KeyName(MediaFunctionList[e.value].keyCode) : std::u16string();
    case ActionType::FunctionKey:
      return std::u16string(functionKeyName(e.value));
  }
  return std::u16string();
}

std::u16string byteSize(size_t bytes) {
  auto digits = [](size_t n) {
    std::u16string s;
    for (char c : std::to_string(n)) s += static_cast<char16_t>(c);
    return s;
  };
  if (bytes < 1024) return digits(bytes) + u" B";
  const size_t tenths = (bytes * 10 + 512) / 1024;
  std::u16string s = digits(tenths / 10);
  if (tenths % 10 != 0) s += u"." + digits(tenths % 10);
  return s + u" KB";
}

std::u16string waitingChangesText(std::span<const std::u16string> lines, const HistoryTexts& texts) {
  if (lines.empty()) return texts.nothing;
  std::u16string out = formatText(texts.count, {TextArg(static_cast<long long>(lines.size()))});
  const size_t shown = std::min(lines.size(), kMaxTooltipLines);
  for (size_t i = 0; i < shown; ++i) out += u"\r\n" + lines[i];
  if (lines.size() > shown)
    out += u"\r\n" + formatText(texts.more, {TextArg(static_cast<long long>(lines.size() - shown))});
  return out;
}

std::u16string entryName(int index) {
  const int slot = index % kSlotsPerBlock;
  if (isGKeySlot(slot)) return gKeyButtonName((slot - kGKeySlotBase) % 9);
  return keyButtonName(keyOfSlot(static_cast<uint16_t>(slot)));
}

std::vector<std::u16string> waitingLines(std::span<const WaitingStep> steps, const MacroList& macrosNow,
                                         size_t macroMemory, const HistoryTexts& texts) {
  // Each entry once: its state before the first waiting step and now.
  struct Net {
    int index;
    KeyActionEntry before, after;
    std::u16string afterText;
  };
  std::vector<Net> nets;
  const std::vector<uint8_t>* macrosBefore = nullptr;
  for (const WaitingStep& w : steps) {
    const EditStep* step = w.step;
    auto apply = [&](const EntryChange& c) {
      const KeyActionEntry& was = w.undone ? c.after : c.before;
      const KeyActionEntry& now = w.undone ? c.before : c.after;
      const std::u16string& nowText = w.undone ? c.beforeText : c.afterText;
      auto it = std::find_if(nets.begin(), nets.end(), [&](const Net& n) { return n.index == c.index; });
      if (it == nets.end()) {
        nets.push_back({c.index, was, now, nowText});
      } else {
        it->after = now;
        it->afterText = nowText;
      }
    };
    if (w.undone)
      std::for_each(step->entries.rbegin(), step->entries.rend(), apply);
    else
      std::for_each(step->entries.begin(), step->entries.end(), apply);
    if (step->macrosChanged && !macrosBefore) macrosBefore = w.undone ? &step->macrosAfter : &step->macrosBefore;
  }
  std::stable_sort(nets.begin(), nets.end(), [](const Net& a, const Net& b) { return a.index < b.index; });
  std::vector<std::u16string> lines;
  for (const Net& n : nets)
    if (!(n.before == n.after))
      lines.push_back(entryName(n.index) + texts.arrow + actionWords(n.after, n.afterText, macrosNow, texts));
  if (macrosBefore) {
    MacroList was;
    if (unpackMacroHistory(*macrosBefore, was)) {
      // Changed: added, removed or altered, matched by id.
      int changed = 0;
      auto same = [](const MacroRecord& a, const MacroRecord& b) {
        return packMacroHistory({&a, 1}) == packMacroHistory({&b, 1});
      };
      for (const MacroRecord& m : macrosNow) {
        auto it = std::find_if(was.begin(), was.end(), [&](const MacroRecord& w) { return w.id == m.id; });
        if (it == was.end() || !same(*it, m)) ++changed;
      }
      for (const MacroRecord& w : was)
        if (std::none_of(macrosNow.begin(), macrosNow.end(), [&](const MacroRecord& m) { return m.id == w.id; }))
          ++changed;
      if (changed > 0)
        lines.push_back(formatText(texts.macros, {TextArg(changed),
                                                  TextArg(std::u16string_view(byteSize(macroImageSizes(macrosNow).withNames))),
                                                  TextArg(std::u16string_view(byteSize(macroMemory)))}));
    }
  }
  return lines;
}

}  // namespace kv
