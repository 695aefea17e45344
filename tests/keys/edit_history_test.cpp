#include "keys/edit_history.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "keys/key_strings.h"
#include "macro/macro_image.h"
#include "model/key_codes.h"
#include "model/key_info.h"
#include "../macro/macro_fixtures.h"

namespace kv {
namespace {

constexpr KeyCode kA = 0x1E;
constexpr KeyCode kB = 0x30;
constexpr KeyCode kC = 0x2E;

EditStep waitingStep(const char16_t* label) {
  EditStep s;
  s.kind = StepKind::kKey;
  s.label = label;
  s.entries.push_back({entryIndex(0, slotOfKey(kA)), {}, {ActionType::SingleKey, 0, kB, 0, 0}, u"", u""});
  return s;
}
EditStep writtenStep(const char16_t* label, uint32_t stroke = 0, uint16_t offset = 0) {
  EditStep s;
  s.kind = StepKind::kLighting;
  s.label = label;
  s.stroke = stroke;
  s.writes.push_back({LightingArea::kPattern, offset, {0x00}, {0x01}});
  return s;
}

// One operation on the history and what it must show afterwards.
struct Op {
  enum What { kWaiting, kWritten, kStroke, kUndo, kRedo, kApply, kClear } what;
  int profile = 0;
  uint32_t stroke = 0;
  // Expected afterwards, for the operation's profile.
  size_t size = 0;
  size_t cursor = 0;
  bool waiting = false;
  const char16_t* undoLabel = nullptr;  // nullptr: nothing to undo
  const char16_t* redoLabel = nullptr;
};

void run(const std::vector<Op>& ops) {
  EditHistory h;
  int n = 0;
  for (const Op& op : ops) {
    SCOPED_TRACE("operation " + std::to_string(n++));
    std::u16string label = u"s" + std::u16string(1, static_cast<char16_t>(u'0' + n));
    switch (op.what) {
      case Op::kWaiting:
        h.push(op.profile, waitingStep(label.c_str()));
        break;
      case Op::kWritten:
        h.push(op.profile, writtenStep(label.c_str()));
        break;
      case Op::kStroke:
        h.push(op.profile, writtenStep(label.c_str(), op.stroke, static_cast<uint16_t>(n)));
        break;
      case Op::kUndo:
        h.undone(op.profile);
        break;
      case Op::kRedo:
        h.redone(op.profile);
        break;
      case Op::kApply:
        h.markApplied();
        break;
      case Op::kClear:
        h.clear(op.profile);
        break;
    }
    EXPECT_EQ(h.size(op.profile), op.size);
    EXPECT_EQ(h.cursor(op.profile), op.cursor);
    EXPECT_EQ(h.waiting(), op.waiting);
    const EditStep* u = h.nextUndo(op.profile);
    const EditStep* r = h.nextRedo(op.profile);
    EXPECT_EQ(u ? u->label : u"-", op.undoLabel ? op.undoLabel : u"-");
    EXPECT_EQ(r ? r->label : u"-", op.redoLabel ? op.redoLabel : u"-");
  }
}

TEST(EditHistory, OperationsAndStates) {
  struct Case {
    const char* what;
    std::vector<Op> ops;
  } cases[] = {
      {"undoing the only waiting change leaves nothing waiting; redo makes it wait again",
       {{Op::kWaiting, 0, 0, 1, 1, true, u"s1", nullptr},
        {Op::kUndo, 0, 0, 1, 0, false, nullptr, u"s1"},
        {Op::kRedo, 0, 0, 1, 1, true, u"s1", nullptr}}},
      {"changes written to the keyboard never wait",
       {{Op::kWritten, 0, 0, 1, 1, false, u"s1", nullptr}, {Op::kUndo, 0, 0, 1, 0, false, nullptr, u"s1"}}},
      {"after Apply an undo makes the change wait again, a redo matches the keyboard again",
       {{Op::kWaiting, 0, 0, 1, 1, true, u"s1", nullptr},
        {Op::kApply, 0, 0, 1, 1, false, u"s1", nullptr},
        {Op::kUndo, 0, 0, 1, 0, true, nullptr, u"s1"},
        {Op::kRedo, 0, 0, 1, 1, false, u"s1", nullptr}}},
      {"a new step drops the redo steps; a dropped waiting step that Apply wrote keeps things waiting",
       {{Op::kWaiting, 0, 0, 1, 1, true, u"s1", nullptr},
        {Op::kApply, 0, 0, 1, 1, false, u"s1", nullptr},
        {Op::kUndo, 0, 0, 1, 0, true, nullptr, u"s1"},
        {Op::kWritten, 0, 0, 1, 1, true, u"s4", nullptr},
        {Op::kUndo, 0, 0, 1, 0, true, nullptr, u"s4"}}},
      {"a drag is one step: the same stroke joins, another stroke does not",
       {{Op::kStroke, 0, 7, 1, 1, false, u"s1", nullptr},
        {Op::kStroke, 0, 7, 1, 1, false, u"s1", nullptr},
        {Op::kStroke, 0, 7, 1, 1, false, u"s1", nullptr},
        {Op::kStroke, 0, 8, 2, 2, false, u"s4", nullptr},
        {Op::kUndo, 0, 0, 2, 1, false, u"s1", u"s4"}}},
      {"history is per profile and stays across Apply and switches",
       {{Op::kWaiting, 0, 0, 1, 1, true, u"s1", nullptr},
        {Op::kWritten, 1, 0, 1, 1, true, u"s2", nullptr},
        {Op::kApply, 1, 0, 1, 1, false, u"s2", nullptr},
        {Op::kUndo, 1, 0, 1, 0, false, nullptr, u"s2"},
        {Op::kUndo, 0, 0, 1, 0, true, nullptr, u"s1"}}},
      {"a reload clears that profile only",
       {{Op::kWaiting, 0, 0, 1, 1, true, u"s1", nullptr},
        {Op::kWritten, 1, 0, 1, 1, true, u"s2", nullptr},
        {Op::kClear, 1, 0, 0, 0, true, nullptr, nullptr},
        {Op::kUndo, 0, 0, 1, 0, false, nullptr, u"s1"}}},
      {"undo and redo past the ends change nothing",
       {{Op::kUndo, 2, 0, 0, 0, false, nullptr, nullptr},
        {Op::kWritten, 2, 0, 1, 1, false, u"s2", nullptr},
        {Op::kRedo, 2, 0, 1, 1, false, u"s2", nullptr},
        {Op::kUndo, 2, 0, 1, 0, false, nullptr, u"s2"},
        {Op::kUndo, 2, 0, 1, 0, false, nullptr, u"s2"}}},
      {"profiles outside 0-3 keep nothing",
       {{Op::kWaiting, -1, 0, 0, 0, false, nullptr, nullptr}, {Op::kWaiting, 4, 0, 0, 0, false, nullptr, nullptr}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    run(c.ops);
  }
}

TEST(EditHistory, KeepsAtMost200StepsAndTheOldestGo) {
  struct Case {
    const char* what;
    bool firstWaits;
    bool applyFirst;
    bool waitingAtEnd;
  } cases[] = {
      {"written steps only", false, false, false},
      {"a waiting step done before the cap stays waiting", true, false, true},
      {"a waiting step Apply wrote does not wait", true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EditHistory h;
    h.push(0, c.firstWaits ? waitingStep(u"first") : writtenStep(u"first"));
    if (c.applyFirst) h.markApplied();
    for (int i = 0; i < 250; ++i) h.push(0, writtenStep(u"later"));
    EXPECT_EQ(h.size(0), kMaxHistorySteps);
    EXPECT_EQ(h.cursor(0), kMaxHistorySteps);
    EXPECT_EQ(h.waiting(), c.waitingAtEnd);
    // Every kept step undoes; the first is gone.
    int undone = 0;
    while (const EditStep* s = h.nextUndo(0)) {
      EXPECT_EQ(s->label, u"later");
      h.undone(0);
      ++undone;
    }
    EXPECT_EQ(undone, static_cast<int>(kMaxHistorySteps));
    EXPECT_EQ(h.waiting(), c.waitingAtEnd);
  }
}

// A working configuration with a table, one string and one macro.
struct Config {
  WorkingConfig config;
  Config() {
    config.table = newKeyActionTable();
    config.macros.push_back(test::makeMacro(u"Mine", 1, {test::press(kA, 30), test::release(kA, 40)}));
    config.sources.setAll(RegionSource::kKeyboard);
  }
};

TEST(EditHistory, WaitingStepUndoesAndRedoesEntriesStringsMacrosAndSources) {
  Config c;
  WorkingConfig& w = c.config;
  const int a = entryIndex(0, slotOfKey(kA));
  const int b = entryIndex(0, slotOfKey(kB));
  ASSERT_TRUE(writeAssignment(*w.table, w.strings, 0, slotOfKey(kB), ActionType::LaunchProgram, 0, 0));
  ASSERT_TRUE(attachString(w.strings, b, u"C:\\old.exe"));

  ConfigCapture before;
  ASSERT_TRUE(captureConfig(w, before));
  // The change: A to B, B's program replaced by a text block, a second macro, the sources chosen.
  ASSERT_TRUE(writeAssignment(*w.table, w.strings, 0, slotOfKey(kA), ActionType::SingleKey, 0, kB));
  ASSERT_TRUE(writeAssignment(*w.table, w.strings, 0, slotOfKey(kB), ActionType::TextBlock, 0, 0));
  ASSERT_TRUE(attachString(w.strings, b, u"hello"));
  w.macros.push_back(test::makeMacro(u"Two", 2, {test::press(kC, 5)}));
  w.sources.keys[0] = RegionSource::kChosen;
  EditStep step;
  ASSERT_TRUE(diffConfig(before, w, step));
  EXPECT_EQ(step.entries.size(), 2u);
  EXPECT_TRUE(step.macrosChanged);
  const KeyActionTable after = *w.table;

  ASSERT_TRUE(applyConfigStep(step, w, true));
  EXPECT_EQ(w.table->entries[a], KeyActionEntry{});
  EXPECT_EQ(w.table->entries[b].type, ActionType::LaunchProgram);
  EXPECT_EQ(w.strings.text(b), u"C:\\old.exe");
  ASSERT_EQ(w.macros.size(), 1u);
  EXPECT_EQ(w.macros[0].actions[1].delay, 40u);
  EXPECT_EQ(w.sources.keys[0], RegionSource::kKeyboard);
  EXPECT_EQ(w.strings.total, 2u * 10 + 2);  // the running total follows the strings

  ASSERT_TRUE(applyConfigStep(step, w, false));
  EXPECT_EQ(std::memcmp(&after, w.table.get(), sizeof after), 0);
  EXPECT_EQ(w.strings.text(b), u"hello");
  ASSERT_EQ(w.macros.size(), 2u);
  EXPECT_EQ(macroName(w.macros[1]), u"Two");
  EXPECT_EQ(w.sources.keys[0], RegionSource::kChosen);

  // Nothing changed: no step.
  ConfigCapture same;
  ASSERT_TRUE(captureConfig(w, same));
  EditStep none;
  EXPECT_FALSE(diffConfig(same, w, none));
}

TEST(EditHistory, MacroHistoryBytesRoundTripAndRefuseDamage) {
  MacroList list = {test::makeMacro(u"One", 1, {test::press(kA, 10)}),
                    test::makeMacro(u"Two", 2, {test::press(kB, 20), test::release(kB, 30)})};
  std::vector<uint8_t> bytes = packMacroHistory(list);
  EXPECT_LT(bytes.size(), 2 * sizeof(MacroRecord) / 10);  // kept compactly
  MacroList back;
  ASSERT_TRUE(unpackMacroHistory(bytes, back));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(packMacroHistory(back), bytes);
  for (size_t cut : {size_t{1}, size_t{8}, bytes.size() - 1}) {
    MacroList untouched = list;
    EXPECT_FALSE(unpackMacroHistory(std::span(bytes).first(cut), untouched)) << cut;
    EXPECT_EQ(untouched.size(), 2u);
  }
}

TEST(EditHistory, ApplyTooltipListsNetChanges) {
  Config c;
  WorkingConfig& w = c.config;
  HistoryTexts texts;
  EditHistory h;
  auto change = [&](auto&& edit) {
    ConfigCapture before;
    ASSERT_TRUE(captureConfig(w, before));
    edit();
    EditStep s;
    if (diffConfig(before, w, s)) h.push(0, std::move(s));
  };
  auto tooltip = [&] {
    std::vector<WaitingStep> steps = h.waitingSteps();
    std::vector<std::u16string> lines = waitingLines(steps, w.macros, 4096, texts);
    return waitingChangesText(lines, texts);
  };
  EXPECT_EQ(tooltip(), u"Nothing is waiting to be written.");
  change([&] { (void)writeAssignment(*w.table, w.strings, 0, slotOfKey(kA), ActionType::SingleKey, 0, kB); });
  change([&] { (void)writeAssignment(*w.table, w.strings, 0, slotOfKey(kA), ActionType::SingleKey, 0, kC); });
  change([&] { (void)writeAssignment(*w.table, w.strings, 0, slotOfKey(0x3F), ActionType::PlayMacro, 1, 1); });
  change([&] { (void)writeAssignment(*w.table, w.strings, 0, slotOfGKey(0, 0), ActionType::SingleKey, 0, 0x1D); });
  change([&] { w.macros[0].actions[0].delay = 99; });
  const std::u16string arrow = u" \u2192 ";
  EXPECT_EQ(tooltip(), u"Waiting for Apply: 4\r\n" + KeyName(kA) + arrow + KeyName(kC) + u"\r\n" + KeyName(0x3F) +
                           arrow + u"macro Mine\r\nG1" + arrow + KeyName(0x1D) +
                           u"\r\nmacros: 1 changed, " + byteSize(macroImageSizes(w.macros).withNames) + u" of 4 KB");
  // A key changed and changed back is not waiting.
  change([&] { (void)writeAssignment(*w.table, w.strings, 0, slotOfKey(0x3F), ActionType::Default, 0, 0); });
  EXPECT_EQ(tooltip().substr(0, 20), u"Waiting for Apply: 3");
  // After Apply, undoing makes the old state wait: shown as the change it is now.
  h.markApplied();
  EXPECT_EQ(tooltip(), u"Nothing is waiting to be written.");
  ASSERT_TRUE(applyConfigStep(*h.nextUndo(0), w, true));  // F5 back to its macro
  h.undone(0);
  ASSERT_TRUE(applyConfigStep(*h.nextUndo(0), w, true));  // the macro's delay
  h.undone(0);
  const std::u16string f5 = KeyName(0x3F) + arrow + u"macro Mine";
  const std::u16string macros = u"macros: 1 changed, " + byteSize(macroImageSizes(w.macros).withNames) + u" of 4 KB";
  EXPECT_EQ(tooltip(), u"Waiting for Apply: 2\r\n" + f5 + u"\r\n" + macros);
  ASSERT_TRUE(applyConfigStep(*h.nextUndo(0), w, true));  // G1
  h.undone(0);
  EXPECT_EQ(tooltip(), u"Waiting for Apply: 3\r\n" + f5 + u"\r\nG1" + arrow + u"default\r\n" + macros);
  // Redone up to the Apply again: nothing waits.
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(applyConfigStep(*h.nextRedo(0), w, false));
    h.redone(0);
  }
  EXPECT_EQ(tooltip(), u"Nothing is waiting to be written.");
}

TEST(EditHistory, TooltipCapsLinesAndSizesRead) {
  HistoryTexts texts;
  struct Case {
    size_t lines;
    size_t expectedLines;  // of the text, the count line included
    std::u16string last;
  } cases[] = {{1, 2, u"\nx"}, {12, 13, u"\nx"}, {13, 14, u"\nand 1 more"}, {40, 14, u"\nand 28 more"}};
  for (const Case& c : cases) {
    std::vector<std::u16string> lines(c.lines, u"x");
    std::u16string t = waitingChangesText(lines, texts);
    size_t count = 1;
    for (size_t i = 0; i + 1 < t.size(); ++i) count += t[i] == u'\r' && t[i + 1] == u'\n';
    EXPECT_EQ(count, c.expectedLines) << c.lines;
    EXPECT_TRUE(t.ends_with(c.last)) << c.lines;
  }
  struct Size {
    size_t bytes;
    std::u16string text;
  } sizes[] = {{0, u"0 B"}, {800, u"800 B"}, {1024, u"1 KB"}, {1229, u"1.2 KB"}, {4096, u"4 KB"}};
  for (const Size& s : sizes) EXPECT_EQ(byteSize(s.bytes), s.text) << s.bytes;
}

}  // namespace
}  // namespace kv
