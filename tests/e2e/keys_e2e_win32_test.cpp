// Remapping keys as a user does it: a key button clicked, its composite
// editor's single-key, media and function pages, Clear, the G keys and their
// banks, the main Apply and Restore Defaults, checked on the keyboard's key
// tables and trace, the key buttons' tooltips and the editor's controls.
#include <string>
#include <vector>

#include "tests/e2e/korvalin_fixture_win32.h"

namespace kv::e2e {
namespace {

// The fixture with the open editor's controls at hand.
class KeyEditing : public KorvalinFixture {
 protected:
  HWND editorItem(HWND e, int id) const { return GetDlgItem(e, id); }
  void clickEditor(HWND e, int id) { clickCentre(editorItem(e, id)); }
};

TEST_F(KeyEditing, ClickAPressBApplyWritesTheKeyboard) {
  Running& app = startShown();
  const int keyA = ids::main_dlg::KEY_01E.id;
  int recordA = recordOffsetOfUsage("04");
  ASSERT_GE(recordA, 0);
  EXPECT_EQ(keyRecord(0, recordA), "020204");
  EXPECT_EQ(tooltip(keyA), L"A");

  HWND e = openEditor(keyA, "first");
  ASSERT_NE(e, nullptr) << "no editor";
  shot("editor_single_key_open");
  EXPECT_FALSE(IsWindowEnabled(main())) << "the editor is modal";
  EXPECT_FALSE(IsWindowEnabled(editorItem(e, IDC_COMPOSITE_CONTROL2_APPLY)));
  // Beside the key: right and below it when there is room.
  RECT k{}, w{};
  GetWindowRect(mainItem(keyA), &k);
  GetWindowRect(e, &w);
  EXPECT_EQ(w.left, k.right);
  EXPECT_EQ(w.top, k.bottom);

  pressKey("b");
  EXPECT_TRUE(waitFor([&] { return controlText(editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)) == L"B"; }, 3000))
      << "captured: " << utf8(controlText(editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)));
  EXPECT_TRUE(IsWindowEnabled(editorItem(e, IDC_COMPOSITE_CONTROL2_APPLY)));
  shot("editor_single_key_captured");
  clickEditor(e, IDC_COMPOSITE_CONTROL2_APPLY);
  EXPECT_TRUE(waitFor([&] { return tooltip(keyA) == L"AKeys, Set: Key(B)"; }, 3000)) << utf8(tooltip(keyA));
  EXPECT_TRUE(mainApplyEnabled());
  EXPECT_EQ(keyRecord(0, recordA), "020204") << "nothing reaches the keyboard before the main Apply";

  clickEditor(e, IDC_COMPOSITE_CONTROL_OK);
  ASSERT_TRUE(waitEditorClosed());
  EXPECT_TRUE(IsWindowEnabled(main()));
  // A later opening shows the stored key.
  e = openEditor(keyA, "again");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(controlText(editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)), L"B");
  clickEditor(e, IDC_COMPOSITE_CONTROL_CANCEL);
  ASSERT_TRUE(waitEditorClosed());

  EXPECT_EQ(app.sim("trace clear"), "OK\n");
  ASSERT_TRUE(waitClickable(mainItem(ids::main_dlg::CONTROL2_APPLY.id)));
  clickCentre(mainItem(ids::main_dlg::CONTROL2_APPLY.id));
  EXPECT_TRUE(waitFor([&] { return !tracedCommands(app.trace(), kCmdEndConfig).empty(); }, 5000));
  EXPECT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 5000));
  auto trace = app.trace();
  EXPECT_EQ(tracedCommands(trace, kCmdBeginConfig).size(), 1u) << "one bracket";
  EXPECT_EQ(tracedCommands(trace, kCmdEndConfig).size(), 1u);
  auto writes = tracedCommands(trace, kCmdWriteKeyTable);
  ASSERT_FALSE(writes.empty());
  for (auto [address, length] : writes) EXPECT_LT(address + length, 325) << "only the active profile's table";
  EXPECT_EQ(keyRecord(0, recordA), "020205");
  shot("key_a_sends_b");
}

TEST_F(KeyEditing, CaptureTakesOnePressAndLeavesMediaKeys) {
  startShown();
  HWND e = openEditor(ids::main_dlg::KEY_01E.id, "first");
  ASSERT_NE(e, nullptr);
  HWND field = editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT);
  HWND apply = editorItem(e, IDC_COMPOSITE_CONTROL2_APPLY);
  // Enter and Escape are keys to capture, not the editor's buttons.
  pressKey("Escape");
  EXPECT_TRUE(waitFor([&] { return controlText(field) == L"Esc"; }, 3000)) << utf8(controlText(field));
  pressKey("Return");
  EXPECT_TRUE(waitFor([&] { return controlText(field) == L"Enter"; }, 3000)) << utf8(controlText(field));
  EXPECT_NE(editor(), nullptr) << "Enter closed the editor";

  // A held key is taken once: after an Apply its repeats and its release
  // change nothing, so Apply stays off.
  keyDown("c");
  EXPECT_TRUE(waitFor([&] { return controlText(field) == L"C"; }, 3000)) << utf8(controlText(field));
  clickCentre(apply);
  EXPECT_TRUE(waitFor([&] { return !IsWindowEnabled(apply); }, 3000));
  EXPECT_TRUE(holdsFor([&] { return !IsWindowEnabled(apply); }, 800)) << "a repeat was captured";
  keyUp("c");
  EXPECT_TRUE(holdsFor([&] { return !IsWindowEnabled(apply); }, 300)) << "the release was captured";
  EXPECT_EQ(tooltip(ids::main_dlg::KEY_01E.id), L"AKeys, Set: Key(C)");

  // The Win key never reaches a thread hook: the low-level hook takes it.
  pressKey("Super_L");
  EXPECT_TRUE(waitFor([&] { return controlText(field) == L"Win"; }, 3000)) << utf8(controlText(field));
  pressKey("Print");
  EXPECT_TRUE(waitFor([&] { return controlText(field) == L"PrintScreen"; }, 3000)) << utf8(controlText(field));
  shot("editor_single_key_print_screen");
  // Calculator (0x121) goes on to the system: nothing captured. A letter sent
  // the same way shows the way reaches the editor.
  sendSystemKey('D', 0x20, false);
  EXPECT_TRUE(waitFor([&] { return controlText(field) == L"D"; }, 3000)) << utf8(controlText(field));
  sendSystemKey(VK_LAUNCH_APP2, 0x21, true);
  EXPECT_TRUE(holdsFor([&] { return controlText(field) == L"D"; }, 500)) << utf8(controlText(field));
  clickEditor(e, IDC_COMPOSITE_CONTROL_CANCEL);
  ASSERT_TRUE(waitEditorClosed());
  EXPECT_EQ(tooltip(ids::main_dlg::KEY_01E.id), L"AKeys, Set: Key(C)") << "Cancel stores nothing";
  EXPECT_TRUE(IsWindowEnabled(mainItem(ids::main_dlg::CONTROL2_APPLY.id)));
}

TEST_F(KeyEditing, MediaAndFunctionPagesStoreTheirRows) {
  startShown();
  const int keyA = ids::main_dlg::KEY_01E.id, keyS = ids::main_dlg::KEY_01F.id;
  int recordA = recordOffsetOfUsage("04"), recordS = recordOffsetOfUsage("16");
  ASSERT_GE(recordA, 0);
  ASSERT_GE(recordS, 0);

  HWND e = openEditor(keyA, "first");
  ASSERT_NE(e, nullptr);
  clickEditor(e, IDC_COMPOSITE_CONTROL_MEDIA);
  HWND media = editorItem(e, IDC_COMPOSITE_FUNC_MEDIA_SELECT);
  ASSERT_TRUE(waitFor([&] { return IsWindowVisible(media) != FALSE; }, 3000));
  EXPECT_FALSE(IsWindowVisible(editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)));
  EXPECT_EQ(SendMessageW(media, LB_GETCOUNT, 0, 0), 18);
  for (int i = 0; i < 3; ++i) pressKey("Down");  // the list has the focus
  EXPECT_TRUE(waitFor([&] { return SendMessageW(media, LB_GETCURSEL, 0, 0) == 3; }, 3000));
  shot("editor_media_page");
  clickEditor(e, IDC_COMPOSITE_CONTROL_OK);
  ASSERT_TRUE(waitEditorClosed());
  EXPECT_EQ(tooltip(keyA).rfind(L"AKeys, Set: Media(", 0), 0u) << utf8(tooltip(keyA));

  e = openEditor(keyS, "again");
  ASSERT_NE(e, nullptr);
  clickEditor(e, IDC_COMPOSITE_CONTROL_FUNCTION);
  HWND functions = editorItem(e, IDC_COMPOSITE_FUNC_FUNCTION_SELECT);
  ASSERT_TRUE(waitFor([&] { return IsWindowVisible(functions) != FALSE; }, 3000));
  EXPECT_EQ(SendMessageW(functions, LB_GETCOUNT, 0, 0), 11);
  for (int i = 0; i < 2; ++i) pressKey("Down");
  EXPECT_TRUE(waitFor([&] { return SendMessageW(functions, LB_GETCURSEL, 0, 0) == 2; }, 3000));
  shot("editor_function_page");
  clickEditor(e, IDC_COMPOSITE_CONTROL_OK);
  ASSERT_TRUE(waitEditorClosed());
  EXPECT_EQ(tooltip(keyS).rfind(L"SKeys, Set: Function(", 0), 0u) << utf8(tooltip(keyS));

  ASSERT_TRUE(waitClickable(mainItem(ids::main_dlg::CONTROL2_APPLY.id)));
  clickCentre(mainItem(ids::main_dlg::CONTROL2_APPLY.id));
  EXPECT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 5000));
  EXPECT_EQ(keyRecord(0, recordA), "03B600") << "consumer usage 0x00B6, previous track";
  EXPECT_EQ(keyRecord(0, recordS), "050502") << "function key row 2";
}

TEST_F(KeyEditing, ClearAndAKeyAssignedToItselfGiveTheFactoryAction) {
  startShown();
  const int keyA = ids::main_dlg::KEY_01E.id, keyS = ids::main_dlg::KEY_01F.id;
  int recordA = recordOffsetOfUsage("04");
  ASSERT_GE(recordA, 0);
  ASSERT_TRUE(assignKey(keyA, "b", L"B"));
  HWND e = nullptr;
  ASSERT_TRUE(waitClickable(mainItem(ids::main_dlg::CONTROL2_APPLY.id)));
  clickCentre(mainItem(ids::main_dlg::CONTROL2_APPLY.id));
  ASSERT_TRUE(waitFor([&] { return keyRecord(0, recordA) == "020205"; }, 5000));

  // Clear: the key field empties, and OK stores the factory action.
  e = openEditor(keyA, "again");
  ASSERT_NE(e, nullptr);
  clickEditor(e, IDC_COMPOSITE_CONTROL_CLEAR);
  EXPECT_TRUE(waitFor([&] { return controlText(editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)).empty(); }, 3000));
  EXPECT_TRUE(IsWindowEnabled(editorItem(e, IDC_COMPOSITE_CONTROL2_APPLY))) << "a cleared key has a change to apply";
  clickEditor(e, IDC_COMPOSITE_CONTROL_OK);
  ASSERT_TRUE(waitEditorClosed());
  EXPECT_EQ(tooltip(keyA), L"A");
  ASSERT_TRUE(waitClickable(mainItem(ids::main_dlg::CONTROL2_APPLY.id)));
  clickCentre(mainItem(ids::main_dlg::CONTROL2_APPLY.id));
  EXPECT_TRUE(waitFor([&] { return keyRecord(0, recordA) == "020204"; }, 5000)) << keyRecord(0, recordA);

  // A key given itself keeps its factory action.
  e = openEditor(keyS, "again");
  ASSERT_NE(e, nullptr);
  pressKey("s");
  ASSERT_TRUE(waitFor([&] { return controlText(editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)) == L"S"; }, 3000));
  clickEditor(e, IDC_COMPOSITE_CONTROL_OK);
  ASSERT_TRUE(waitEditorClosed());
  EXPECT_EQ(tooltip(keyS), L"S");
}

TEST_F(KeyEditing, GKeysEditTheirBanksSlotsAndG9EditsItsMacro) {
  Running& app = startShown();
  const int g1 = ids::main_dlg::FUNC_G1.id, g9 = ids::main_dlg::FUNC_G9.id;
  ASSERT_TRUE(waitClickable(mainItem(g9))) << "G9 is placed by its own skin entry";
  HWND e = openEditor(g9, "G9");
  ASSERT_NE(e, nullptr);
  for (int id : {IDC_COMPOSITE_CONTROL_KEY, IDC_COMPOSITE_CONTROL_MEDIA, IDC_COMPOSITE_CONTROL_FUNCTION,
                 IDC_COMPOSITE_CONTROL_CLEAR})
    EXPECT_FALSE(IsWindowEnabled(editorItem(e, id))) << id;
  EXPECT_TRUE(IsWindowEnabled(editorItem(e, IDC_COMPOSITE_CONTROL_MACRO)));
  EXPECT_FALSE(IsWindowVisible(editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)));
  shot("editor_macro_page_g9");
  clickEditor(e, IDC_COMPOSITE_CONTROL_CANCEL);
  ASSERT_TRUE(waitEditorClosed());

  // Bank B: G1 is slot 265; bank A's G1 keeps its own.
  EXPECT_EQ(app.sim("event 02FF"), "OK\n");
  EXPECT_TRUE(waitFor([&] { return controlText(mainItem(g1)) == L"B1"; }, 3000)) << utf8(controlText(mainItem(g1)));
  e = openEditor(g1, "G1");
  ASSERT_NE(e, nullptr);
  pressKey("b");
  ASSERT_TRUE(waitFor([&] { return controlText(editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)) == L"B"; }, 3000));
  clickEditor(e, IDC_COMPOSITE_CONTROL_OK);
  ASSERT_TRUE(waitEditorClosed());
  const std::wstring assigned = L"G1Keys, Set: Key(B) \u2014 kept by Korvalin (the keyboard has no place for G keys)";
  EXPECT_EQ(tooltip(g1), assigned);
  EXPECT_EQ(app.sim("event 02FF"), "OK\n");
  EXPECT_TRUE(waitFor([&] { return tooltip(g1) == L"G1"; }, 3000)) << utf8(tooltip(g1));
  EXPECT_EQ(app.sim("event 02FF"), "OK\n");
  EXPECT_TRUE(waitFor([&] { return tooltip(g1) == assigned; }, 3000)) << utf8(tooltip(g1));
}

TEST_F(KeyEditing, RestoreDefaultsAsksWithNoAsDefault) {
  Running& app = startShown();
  const int keyA = ids::main_dlg::KEY_01E.id;
  int recordA = recordOffsetOfUsage("04");
  ASSERT_GE(recordA, 0);
  ASSERT_TRUE(assignKey(keyA, "b", L"B"));
  HWND apply = mainItem(ids::main_dlg::CONTROL2_APPLY.id);
  ASSERT_TRUE(waitClickable(apply));
  clickCentre(apply);
  ASSERT_TRUE(waitFor([&] { return keyRecord(0, recordA) == "020205"; }, 5000));
  ASSERT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 5000));

  HWND defaults = mainItem(ids::main_dlg::FUNC_DEFAULT.id);
  ASSERT_TRUE(waitClickable(defaults));
  clickCentre(defaults);
  HWND box = waitMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(messageBoxText(box), L"Do you want to restore the default settings?");
  shot("restore_defaults_prompt");
  pressKey("Return");  // No is the default
  ASSERT_TRUE(waitFor([&] { return !IsWindow(box); }, 3000));
  EXPECT_EQ(tooltip(keyA), L"AKeys, Set: Key(B)");
  EXPECT_FALSE(mainApplyEnabled());

  EXPECT_EQ(app.sim("trace clear"), "OK\n");
  ASSERT_TRUE(waitClickable(defaults));
  clickCentre(defaults);
  box = waitMessageBox();
  ASSERT_NE(box, nullptr);
  clickCentre(GetDlgItem(box, IDYES));
  EXPECT_TRUE(waitFor([&] { return keyRecord(0, recordA) == "020204"; }, 5000)) << keyRecord(0, recordA);
  EXPECT_EQ(tooltip(keyA), L"A");
  EXPECT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 5000));
  EXPECT_EQ(tracedCommands(app.trace(), kCmdBeginConfig).size(), 1u);
}

}  // namespace
}  // namespace kv::e2e
