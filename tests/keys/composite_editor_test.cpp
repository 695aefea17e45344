#include "keys/composite_editor.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

constexpr int kSlotA = 0x1E;
constexpr int kSlotG1 = 256, kSlotG1BankB = 265;

TEST(EditorAssignment, WhatApplyStores) {
  struct Case {
    const char* what;
    EditorChoice choice;
    Assignment expected;
  } cases[] = {
      {"single key", {kEditorPageSingleKey, kSlotA, 0x30}, {ActionType::SingleKey, 0, 0x30}},
      {"a key assigned to itself stores the default", {kEditorPageSingleKey, kSlotA, 0x1E}, {ActionType::Default, 0, 0x1E}},
      {"nothing captured", {kEditorPageSingleKey, kSlotA, 0}, {ActionType::Default, 0, 0}},
      {"an E0 key", {kEditorPageSingleKey, kSlotA, 0x138}, {ActionType::SingleKey, 0, 0x138}},
      {"a G key keeps its code", {kEditorPageSingleKey, kSlotG1BankB, 0x30}, {ActionType::SingleKey, 0x1301, 0x30}},
      {"cleared G key", {kEditorPageNone, kSlotG1, 0x30}, {ActionType::Default, 0x0301, 0}},
      {"media row", {kEditorPageMedia, kSlotA, 0, 16}, {ActionType::Media, 0, 16}},
      {"function row", {kEditorPageFunction, kSlotA, 0, 4}, {ActionType::FunctionKey, 0, 4}},
      {"macro with its cycles", {kEditorPageMacro, kSlotG1, 0, 0, 2, 7, 5}, {ActionType::PlayMacro, 5, 7}},
      {"macro page with no macros", {kEditorPageMacro, kSlotG1, 0, 0, 0, 0, 5}, {ActionType::Default, 0x0301, 0}},
      {"a kept type stores no value", {3, kSlotA, 0x30}, {ActionType::LaunchProgram, 0, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(assignmentOf(c.choice), c.expected) << c.what;
}

TEST(EditorPosition, BesideTheClickedKey) {
  const int w = 560, h = 450, sw = 1280, sh = 1024;
  struct Case {
    const char* what;
    ScreenRect key;
    ScreenPoint expected;
  } cases[] = {
      {"right and below", {100, 100, 140, 140}, {140, 140}},
      {"right and above", {100, 700, 140, 740}, {140, 700 - h}},
      {"left and below", {900, 100, 940, 140}, {900 - w, 140}},
      {"left and above", {900, 700, 940, 740}, {900 - w, 700 - h}},
      {"no room anywhere", {100, 300, 140, 800}, {140, 800}},
      {"exactly the room needed", {0, 0, sw - w, sh - h}, {sw - w, sh - h}},
  };
  for (const Case& c : cases) EXPECT_EQ(editorPosition(w, h, c.key, sw, sh), c.expected) << c.what;
}

// The room is counted in the work area of the key's monitor: a taskbar at the
// bottom, a monitor left of the primary one (negative coordinates).
TEST(EditorPosition, WithinTheWorkAreaOfTheKeysMonitor) {
  const int w = 560, h = 450;
  struct Case {
    const char* what;
    ScreenRect area, key;
    ScreenPoint expected;
  } cases[] = {
      {"the taskbar leaves no room below", {0, 0, 1280, 984}, {100, 560, 140, 600}, {140, 560 - h}},
      {"a docked bar at the top leaves no room above", {0, 200, 1280, 1024}, {100, 600, 140, 640}, {140, 640}},
      {"a monitor on the left, right and below", {-1920, 0, 0, 1040}, {-1800, 100, -1760, 140}, {-1760, 140}},
      {"a monitor on the left, no room right", {-1920, 0, 0, 1040}, {-300, 100, -260, 140}, {-300 - w, 140}},
      {"a monitor above, no room above the key", {0, -1080, 1920, -40}, {100, -1000, 140, -960}, {140, -960}},
      {"a monitor above, room only above", {0, -1080, 1920, -40}, {100, -300, 140, -260}, {140, -300 - h}},
  };
  for (const Case& c : cases) EXPECT_EQ(editorPosition(w, h, c.key, c.area), c.expected) << c.what;
}

}  // namespace
}  // namespace kv
