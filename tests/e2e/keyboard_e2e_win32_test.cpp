// The main window used from the keyboard and read by a screen reader: keys
// typed on the real X keyboard select their buttons, arrows move the
// selection, Enter opens the editor, Tab goes from group to group; the
// buttons' accessible names and roles read through the system's
// accessibility interface, as a screen reader reads them.
#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/key_codes.h"
#include "tests/e2e/korvalin_fixture_win32.h"

namespace kv::e2e {
namespace {

using namespace ids::main_dlg;

// IID_IAccessible spelt out: MinGW's oleacc import library resolves that name
// to an import thunk, not to the IID.
constexpr GUID kIidAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// What a screen reader gets for a window's client area.
struct Accessible {
  bool ok = false;
  std::wstring name;
  long role = 0;
  long state = 0;
};

Accessible accessibleOf(HWND control) {
  Accessible a;
  IAccessible* acc = nullptr;
  HRESULT hr = AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), kIidAccessible,
                                          reinterpret_cast<void**>(&acc));
  if (FAILED(hr) || !acc) {
    DWORD_PTR answer = 0;
    LRESULT sent = SendMessageTimeoutW(control, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT), SMTO_BLOCK, 3000, &answer);
    std::printf("AccessibleObjectFromWindow: 0x%08lx; WM_GETOBJECT answered %lld (sent %lld)\n", static_cast<unsigned long>(hr), static_cast<long long>(answer), static_cast<long long>(sent));
    return a;
  }
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  if (SUCCEEDED(acc->get_accName(self, &name)) && name) {
    a.name.assign(name, SysStringLen(name));
    SysFreeString(name);
  }
  VARIANT v;
  VariantInit(&v);
  if (SUCCEEDED(acc->get_accRole(self, &v)) && v.vt == VT_I4) a.role = v.lVal;
  VariantClear(&v);
  if (SUCCEEDED(acc->get_accState(self, &v)) && v.vt == VT_I4) a.state = v.lVal;
  VariantClear(&v);
  acc->Release();
  a.ok = true;
  return a;
}

// The WinEvents of the program's windows seen by the test's hook: (event,
// window), for the client areas only.
std::vector<std::pair<DWORD, HWND>>& seenEvents() {
  static std::vector<std::pair<DWORD, HWND>> seen;
  return seen;
}
void CALLBACK onWinEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG, DWORD, DWORD) {
  if (object == OBJID_CLIENT) seenEvents().push_back({event, hwnd});
}
// Out-of-context events arrive as messages of the hooking thread: it pumps
// while it waits.
template <class F>
bool pumpUntil(F cond, DWORD timeoutMs) {
  ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    if (cond()) return true;
    if (GetTickCount64() >= end) return false;
    (void)MsgWaitForMultipleObjects(0, nullptr, FALSE, 30, QS_ALLINPUT);
  }
}
bool sawEvent(DWORD event, HWND hwnd) {
  for (const auto& [e, h] : seenEvents())
    if (e == event && h == hwnd) return true;
  return false;
}

class KeyboardFirst : public KorvalinFixture {
 protected:
  void SetUp() override {
    KorvalinFixture::SetUp();
    // The test's thread talks to the program's accessible objects.
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override { CoUninitialize(); }

  // The control with the keyboard focus in the program's window thread.
  HWND focused() const {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof(gui);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(main(), nullptr), &gui)) return nullptr;
    return gui.hwndFocus;
  }
  int focusedId() const { return focused() ? GetDlgCtrlID(focused()) : 0; }
  // The window shown takes the keys once it is the foreground window.
  // With no window manager on the virtual display the X keyboard focus does
  // not follow Wine's foreground window: it is given to the window here, as
  // a window manager gives it to a window that comes up (no pointer moves).
  void waitActive() {
    EXPECT_TRUE(waitFor([&] { return GetForegroundWindow() == main(); }, 5000))
        << "foreground " << GetForegroundWindow() << " main " << main();
    std::wstring title = describe(main()).text;
    EXPECT_EQ(runUnix(L"/usr/bin/xdotool search --onlyvisible --name '^" + title + L"$' windowfocus --sync"), 0)
        << utf8(title);
  }
  bool waitFocus(int id) { return waitFor([&] { return focusedId() == id; }, 3000); }
  // The program's visible tooltip window that shows a text, null when none.
  HWND visibleTooltip() const {
    for (HWND w : topLevelWindows(app_->pid(), true))
      if (describe(w).className == L"tooltips_class32") return w;
    return nullptr;
  }
};

TEST_F(KeyboardFirst, PressAThenEnterOpensTheEditorAndApplyWritesB) {
  pointerAway();
  Running& app = startShown();
  waitActive();
  const int recordA = recordOffsetOfUsage("04");
  ASSERT_GE(recordA, 0);
  POINT pointer{};
  ASSERT_TRUE(GetCursorPos(&pointer));
  const std::vector<COLORREF> plainA = looksOf(mainItem(KEY_01E.id));

  pressKey("a");
  ASSERT_TRUE(waitFocus(KEY_01E.id)) << "focus on " << focusedId();
  // The ring: key A drawn with another look; its tooltip under it.
  EXPECT_TRUE(waitFor([&] { return looksOf(mainItem(KEY_01E.id)) != plainA; }, 3000)) << "no focus ring";
  HWND tip = nullptr;
  EXPECT_TRUE(waitFor([&] { return (tip = visibleTooltip()) != nullptr; }, 3000)) << "no tooltip";
  if (tip) {
    RECT t{}, k{};
    GetWindowRect(tip, &t);
    GetWindowRect(mainItem(KEY_01E.id), &k);
    EXPECT_GE(t.top, k.bottom) << "the tooltip is under the key";
    EXPECT_LT(std::abs(t.left - k.left), 4);
  }
  shot("keyboard_focus_ring_on_a");

  pressKey("Return");
  HWND e = nullptr;
  ASSERT_TRUE(waitFor([&] { return (e = editor()) != nullptr; }, 5000)) << "Enter opened no editor";
  EXPECT_FALSE(IsWindowEnabled(main()));
  EXPECT_EQ(visibleTooltip(), nullptr) << "the selection's tooltip stays over the editor";
  HWND field = GetDlgItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT);
  waitClickable(e);
  pressKey("b");
  EXPECT_TRUE(waitFor([&] { return controlText(field) == L"B"; }, 3000)) << utf8(controlText(field));
  POINT now{};
  ASSERT_TRUE(GetCursorPos(&now));
  EXPECT_TRUE(now.x == pointer.x && now.y == pointer.y) << "the pointer moved";
  shot("keyboard_editor_opened_by_enter");
  // The single-key page takes every key, Enter and Escape too: OK is clicked.
  clickCentre(GetDlgItem(e, IDC_COMPOSITE_CONTROL_OK));
  ASSERT_TRUE(waitEditorClosed());
  EXPECT_EQ(keyRecord(0, recordA), "020204") << "nothing written before the main Apply";
  // The selection is where it was; Tab twice reaches Apply (picture,
  // lighting, then Apply/OK/Cancel), Enter presses it.
  ASSERT_TRUE(waitFocus(KEY_01E.id)) << "focus on " << focusedId();
  ASSERT_TRUE(mainApplyEnabled());
  pressKey("Tab");
  pressKey("Tab");
  ASSERT_TRUE(waitFocus(CONTROL2_APPLY.id)) << "focus on " << focusedId();
  shot("keyboard_apply_focused");
  clearTrace();
  pressKey("Return");
  EXPECT_TRUE(waitFor([&] { return !traced(kCmdEndConfig).empty(); }, 5000)) << "Enter did not apply";
  EXPECT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 5000));
  EXPECT_EQ(keyRecord(0, recordA), "020205");
  EXPECT_TRUE(app.alive()) << "Enter closed the window";
}

TEST_F(KeyboardFirst, KeysSelectTheirButtonsAndArrowsMoveByPosition) {
  pointerAway();
  startShown();
  waitActive();
  // A key typed selects its own button, E0 keys included.
  struct Typed {
    const char* keysym;
    int id;
  } typed[] = {{"a", KEY_01E.id}, {"Control_R", KEY_09D.id}, {"Prior", KEY_0C9.id}, {"Shift_L", KEY_02A.id}};
  for (const Typed& t : typed) {
    pressKey(t.keysym);
    EXPECT_TRUE(waitFocus(t.id)) << t.keysym << ": focus on " << focusedId();
  }
  // From A each way.
  struct Move {
    const char* keysym;
    int expected;
  } moves[] = {{"Right", KEY_01F.id}, {"Up", KEY_010.id}, {"Left", KEY_03A.id},
               {"Down", KEY_02C.id},  {"Home", KEY_03A.id}, {"End", KEY_01C.id}};
  for (const Move& m : moves) {
    pressKey("a");
    ASSERT_TRUE(waitFocus(KEY_01E.id));
    pressKey(m.keysym);
    EXPECT_TRUE(waitFocus(m.expected)) << "A then " << m.keysym << ": focus on " << focusedId();
  }
  // Only the selected button has the ring: the one left has its look back.
  pressKey("s");
  ASSERT_TRUE(waitFocus(KEY_01F.id));
  const std::vector<COLORREF> ringedS = looksOf(mainItem(KEY_01F.id));
  pressKey("d");
  ASSERT_TRUE(waitFocus(KEY_020.id));
  EXPECT_TRUE(waitFor([&] { return looksOf(mainItem(KEY_01F.id)) != ringedS; }, 3000)) << "S kept its ring";
  shot("keyboard_selection_moved_to_d");
  EXPECT_EQ(editor(), nullptr) << "selecting opened an editor";
}

TEST_F(KeyboardFirst, TabGoesFromGroupToGroupAndSpacePressesTheLamp) {
  pointerAway();
  startLoaded();
  waitActive();
  HWND lamp = mainItem(CONTROL_DengStaPic.id);
  HWND effects = mainItem(CONTROL_XGcombox.id);
  ASSERT_FALSE(IsWindowVisible(effects)) << "the panel starts closed";
  pressKey("a");
  ASSERT_TRUE(waitFocus(KEY_01E.id));
  // Forward: lighting (the lamp), Apply/OK/Cancel (Apply is off: OK), the
  // profiles, the picture again.
  pressKey("Tab");
  EXPECT_TRUE(waitFocus(CONTROL_DengStaPic.id)) << "focus on " << focusedId();
  pressKey("Tab");
  EXPECT_TRUE(waitFocus(CONTROL_OK.id)) << "focus on " << focusedId();
  pressKey("Right");
  EXPECT_TRUE(waitFocus(CONTROL_CANCEL.id)) << "arrows move inside the group: " << focusedId();
  pressKey("Tab");
  EXPECT_TRUE(waitFocus(FUNC_PROFILE1.id)) << "focus on " << focusedId();
  shot("keyboard_profiles_group");
  pressKey("Tab");
  EXPECT_TRUE(waitFocus(KEY_01E.id)) << "the picture keeps its selection: " << focusedId();
  pressKey("shift+Tab");
  EXPECT_TRUE(waitFocus(FUNC_PROFILE1.id)) << "focus on " << focusedId();
  // Back to the lamp: Space presses it, as a click does.
  pressKey("shift+Tab");
  EXPECT_TRUE(waitFocus(CONTROL_OK.id)) << "focus on " << focusedId();
  pressKey("shift+Tab");
  ASSERT_TRUE(waitFocus(CONTROL_DengStaPic.id)) << "focus on " << focusedId();
  pressKey("space");
  EXPECT_TRUE(waitFor([&] { return IsWindowVisible(effects) != FALSE; }, 3000)) << "the panel did not open";
  shot("keyboard_lamp_pressed");
  EXPECT_TRUE(IsWindowVisible(lamp));
}

TEST_F(KeyboardFirst, WithTheLightingPanelOpenEnterPaintsTheSelectedKey) {
  activeProfile(1);  // the factory's per-key profile: pattern 0 lights A
  panelStartsOpen();
  pointerAway();
  startLoaded();
  const uint8_t led = LedIndexOfButton(KEY_01E.id);
  const int offset = 1 * static_cast<int>(kColourRegionSize) + led / 8;
  const uint8_t bit = static_cast<uint8_t>(1u << (led % 8));
  auto lit = [&] {
    std::vector<uint8_t> b = bytesOf(app_->sim("read colours " + std::to_string(offset) + " 1"));
    return !b.empty() && (b[0] & bit) != 0;
  };
  ASSERT_TRUE(lit());
  clickControl(mainItem(CONTROL_USERgjStaPic2.id));  // the erase tool
  waitActive();
  pressKey("a");
  ASSERT_TRUE(waitFocus(KEY_01E.id)) << "focus on " << focusedId();
  clearTrace();
  pressKey("Return");
  EXPECT_TRUE(waitFor([&] { return !lit(); }, 3000)) << "Enter did not erase A";
  EXPECT_EQ(traced(kCmdWriteColours).size(), 1u) << "one write, as for a click";
  EXPECT_EQ(editor(), nullptr) << "Enter opened the editor over the open panel";
  shot("keyboard_enter_erases_a");
  clickControl(mainItem(CONTROL_USERgjStaPic1.id));  // the paint tool
  waitActive();
  pressKey("a");
  ASSERT_TRUE(waitFocus(KEY_01E.id));
  pressKey("space");
  EXPECT_TRUE(waitFor([&] { return lit(); }, 3000)) << "Space did not paint A";
  EXPECT_EQ(editor(), nullptr);
}

TEST_F(KeyboardFirst, ScreenReadersReadNamesAndRolesBeforeAndAfterARemap) {
  startShown();
  struct Expected {
    int id;
    const wchar_t* name;
  };
  const Expected before[] = {{KEY_01E.id, L"A, default"},
                             {FUNC_G1.id, L"G1 (bank A), default"},
                             {CONTROL2_APPLY.id, L"Apply"},
                             {FUNC_PROFILE1.id, L"Profile 1, selected"},
                             {FUNC_PROFILE2.id, L"Profile 2"},
                             {FUNC_REPORT4.id, L"1000 Hz, selected"},
                             {FUNC_REPORT1.id, L"125 Hz"}};
  for (const Expected& x : before) {
    Accessible a = accessibleOf(mainItem(x.id));
    ASSERT_TRUE(a.ok) << "no accessible object for " << x.id;
    EXPECT_EQ(a.name, x.name) << x.id;
    EXPECT_EQ(a.role, ROLE_SYSTEM_PUSHBUTTON) << x.id;
  }
  EXPECT_TRUE(accessibleOf(mainItem(FUNC_PROFILE1.id)).state & STATE_SYSTEM_SELECTED);
  EXPECT_FALSE(accessibleOf(mainItem(FUNC_PROFILE2.id)).state & STATE_SYSTEM_SELECTED);
  EXPECT_TRUE(accessibleOf(mainItem(CONTROL2_APPLY.id)).state & STATE_SYSTEM_UNAVAILABLE) << "Apply starts off";

  // A screen reader hears of every change.
  seenEvents().clear();
  struct EventHook {
    HWINEVENTHOOK h;
    ~EventHook() {
      if (h) UnhookWinEvent(h);
    }
  } hook{SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_NAMECHANGE, nullptr, onWinEvent, app_->pid(), 0,
                         WINEVENT_OUTOFCONTEXT)};
  ASSERT_NE(hook.h, nullptr);
  ASSERT_TRUE(assignKey(KEY_01E.id, "b", L"B"));
  ASSERT_TRUE(assignKey(FUNC_G1.id, "c", L"C"));
  EXPECT_TRUE(pumpUntil([&] { return sawEvent(EVENT_OBJECT_NAMECHANGE, mainItem(KEY_01E.id)); }, 3000)) << "A's name";
  EXPECT_TRUE(pumpUntil([&] { return sawEvent(EVENT_OBJECT_NAMECHANGE, mainItem(CONTROL2_APPLY.id)); }, 3000))
      << "Apply's name";
  EXPECT_EQ(accessibleOf(mainItem(KEY_01E.id)).name, L"A, remapped to B");
  EXPECT_EQ(accessibleOf(mainItem(FUNC_G1.id)).name, L"G1 (bank A), remapped to C");
  Accessible apply = accessibleOf(mainItem(CONTROL2_APPLY.id));
  EXPECT_EQ(apply.name, L"Apply, 2 changes waiting");
  EXPECT_EQ(apply.role, ROLE_SYSTEM_PUSHBUTTON);
  EXPECT_FALSE(apply.state & STATE_SYSTEM_UNAVAILABLE);
  // The selection moves the focus, which readers follow.
  waitActive();
  pressKey("s");
  EXPECT_TRUE(waitFor([&] { return accessibleOf(mainItem(KEY_01F.id)).state & STATE_SYSTEM_FOCUSED; }, 3000));
  EXPECT_TRUE(pumpUntil([&] { return sawEvent(EVENT_OBJECT_FOCUS, mainItem(KEY_01F.id)); }, 3000)) << "S's focus";
  shot("keyboard_accessible_names_after_remap");

  // The editor's pages are named the same way, the one shown selected.
  pressKey("Return");
  HWND e = nullptr;
  ASSERT_TRUE(waitFor([&] { return (e = editor()) != nullptr; }, 5000));
  waitClickable(e);
  struct Tab {
    int id;
    const wchar_t* name;
  };
  for (const Tab& t : {Tab{IDC_COMPOSITE_CONTROL_KEY, L"Single Key, selected"}, Tab{IDC_COMPOSITE_CONTROL_MEDIA, L"Media"},
                       Tab{IDC_COMPOSITE_CONTROL_MACRO, L"Macro"}, Tab{IDC_COMPOSITE_CONTROL_OK, L"OK"}}) {
    Accessible a = accessibleOf(GetDlgItem(e, t.id));
    EXPECT_EQ(a.name, t.name) << t.id;
    EXPECT_EQ(a.role, ROLE_SYSTEM_PUSHBUTTON) << t.id;
  }
  clickCentre(GetDlgItem(e, IDC_COMPOSITE_CONTROL_MEDIA));
  EXPECT_TRUE(waitFor([&] { return accessibleOf(GetDlgItem(e, IDC_COMPOSITE_CONTROL_MEDIA)).name == L"Media, selected"; },
                      3000));
  EXPECT_EQ(accessibleOf(GetDlgItem(e, IDC_COMPOSITE_CONTROL_KEY)).name, L"Single Key");
  EXPECT_TRUE(pumpUntil([&] { return sawEvent(EVENT_OBJECT_STATECHANGE, GetDlgItem(e, IDC_COMPOSITE_CONTROL_MEDIA)); },
                        3000))
      << "the Media tab's state";
  shot("keyboard_editor_media_page_named");
  clickCentre(GetDlgItem(e, IDC_COMPOSITE_CONTROL_CANCEL));
  ASSERT_TRUE(waitEditorClosed());

  clickControl(mainItem(CONTROL2_APPLY.id));
  EXPECT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 5000));
  EXPECT_TRUE(waitFor([&] { return accessibleOf(mainItem(CONTROL2_APPLY.id)).name == L"Apply"; }, 3000))
      << utf8(accessibleOf(mainItem(CONTROL2_APPLY.id)).name);
}

}  // namespace
}  // namespace kv::e2e
