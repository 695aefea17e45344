// The window layer: handle wrappers, dialogs from resource and in-memory
// templates run modally and modelessly, messages seen before dispatch.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "base/handles_win32.h"
#include "widgets/application_win32.h"
#include "widgets/dialog_win32.h"
#include "widgets/window_win32.h"

namespace kv {
namespace {

// ---- handles ----

int g_closed = 0;
struct CountingTraits {
  using Handle = int;
  static int invalid() { return 0; }
  static void close(int) { ++g_closed; }
};

TEST(Handles, ClosedExactlyOnceAcrossMoves) {
  g_closed = 0;
  {
    UniqueHandle<CountingTraits> a(7);
    UniqueHandle<CountingTraits> b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), 7);
    UniqueHandle<CountingTraits> c(9);
    c = std::move(b);  // 9 closed here
    EXPECT_EQ(g_closed, 1);
    EXPECT_EQ(c.get(), 7);
    c.reset(11);  // 7 closed
    EXPECT_EQ(g_closed, 2);
    EXPECT_EQ(c.release(), 11);
  }
  EXPECT_EQ(g_closed, 2);  // released, not closed
}

TEST(Handles, FileHandleTreatsInvalidValueAsEmpty) {
  UniqueFile f(CreateFileW(L"Z:\\no\\such\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(f);
}

TEST(Handles, SelectObjectRestorerPutsTheOldObjectBackIntoItsOwnDc) {
  UniqueMemoryDc dc1(CreateCompatibleDC(nullptr)), dc2(CreateCompatibleDC(nullptr));
  UniqueBitmap bm(CreateCompatibleBitmap(dc1.get(), 4, 4));
  HGDIOBJ original = GetCurrentObject(dc1.get(), OBJ_BITMAP);
  {
    SelectObjectRestorer sel(dc1.get(), bm.get());
    ASSERT_TRUE(sel);
    EXPECT_EQ(sel.dc(), dc1.get());
    EXPECT_EQ(GetCurrentObject(dc1.get(), OBJ_BITMAP), bm.get());
    SelectObjectRestorer moved(std::move(sel));
    EXPECT_FALSE(sel);
    EXPECT_EQ(GetCurrentObject(dc1.get(), OBJ_BITMAP), bm.get());
  }
  EXPECT_EQ(GetCurrentObject(dc1.get(), OBJ_BITMAP), original);
  // A failed selection restores nothing.
  SelectObjectRestorer none(dc2.get(), nullptr);
  EXPECT_FALSE(none);
}

// ---- dialogs ----

class ProbeDialog : public CDialog {
 public:
  using CDialog::CDialog;
  std::function<void(ProbeDialog&)> init;
  std::function<bool(MSG&)> pre;
  std::function<bool(UINT, WPARAM, LPARAM, LRESULT&)> onMessage;
  std::vector<WORD> commands;
  bool initialised = false;

 protected:
  BOOL OnInitDialog() override {
    initialised = true;
    if (init) init(*this);
    return TRUE;
  }
  bool OnCommand(WORD id, WORD code, HWND control) override {
    commands.push_back(id);
    return CDialog::OnCommand(id, code, control);
  }
  bool PreTranslateMessage(MSG& msg) override { return pre && pre(msg); }
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override {
    return onMessage && onMessage(msg, wp, lp, result);
  }
};

constexpr UINT kEndWith = WM_APP + 1;

const DialogTemplate& memoryTemplate() {
  static const DialogTemplate t = [] {
    DialogTemplate d(WS_POPUP | WS_BORDER, 0, 10, 10, 160, 80, L"Memory dialog");
    d.add(kButtonClass, IDOK, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 10, 50, 50, 14, L"OK");
    d.add(kEditClass, 1001, WS_VISIBLE | WS_TABSTOP | WS_BORDER, 10, 10, 100, 14);
    d.add(L"SysListView32", 1002, WS_VISIBLE | 1 /* LVS_REPORT */, 10, 26, 100, 20);
    return d;
  }();
  return t;
}

// Ends the dialog with wParam when kEndWith arrives.
bool endOnRequest(ProbeDialog& d, UINT msg, WPARAM wp, LRESULT& r) {
  if (msg != kEndWith) return false;
  d.EndDialog(static_cast<INT_PTR>(wp));
  r = 0;
  return true;
}

TEST(Dialog, ModalFromAResourceTemplate) {
  ProbeDialog d(200, nullptr);
  d.init = [](ProbeDialog& self) {
    EXPECT_NE(self.item(1001), nullptr);
    EXPECT_NE(self.item(IDOK), nullptr);
    PostMessageW(self.hwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  };
  EXPECT_EQ(d.DoModal(), IDOK);
  EXPECT_TRUE(d.initialised);
  EXPECT_FALSE(d.isOpen());
}

TEST(Dialog, ModalFromAnInMemoryTemplateReturnsTheEndResult) {
  ProbeDialog d(memoryTemplate(), nullptr);
  d.onMessage = [&d](UINT m, WPARAM wp, LPARAM, LRESULT& r) { return endOnRequest(d, m, wp, r); };
  d.init = [](ProbeDialog& self) {
    EXPECT_NE(self.item(1002), nullptr);  // a common control by class name
    PostMessageW(self.hwnd(), kEndWith, 42, 0);
  };
  EXPECT_EQ(d.DoModal(), 42);
}

// ---- controls made after WM_INITDIALOG began ----

struct ChildLook {
  std::wstring className, text;
  int id = 0;
  LONG_PTR style = 0, exStyle = 0;
  RECT rect{};
  bool dialogFont = false;  // each dialog has a font of its own
  bool operator==(const ChildLook& o) const {
    return className == o.className && text == o.text && id == o.id && style == o.style && exStyle == o.exStyle &&
           EqualRect(&rect, &o.rect) && dialogFont == o.dialogFont;
  }
};

// The dialog's children in z-order, which is also their tab order.
std::vector<ChildLook> childrenOf(HWND dialog) {
  std::vector<ChildLook> out;
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    ChildLook l;
    wchar_t buffer[128] = L"";
    GetClassNameW(c, buffer, 128);
    l.className = buffer;
    GetWindowTextW(c, buffer, 128);
    l.text = buffer;
    l.id = GetDlgCtrlID(c);
    l.style = GetWindowLongPtrW(c, GWL_STYLE);
    l.exStyle = GetWindowLongPtrW(c, GWL_EXSTYLE);
    GetWindowRect(c, &l.rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&l.rect), 2);
    l.dialogFont = SendMessageW(c, WM_GETFONT, 0, 0) == SendMessageW(dialog, WM_GETFONT, 0, 0);
    out.push_back(l);
  }
  return out;
}

class LateControlsDialog : public ProbeDialog {
 public:
  template <typename T>
  explicit LateControlsDialog(const T& source) : ProbeDialog(source, nullptr) {
    DeferTemplateControls();
  }
  bool childlessAtFirst = false;
  bool made = false;

 protected:
  BOOL OnInitDialog() override {
    childlessAtFirst = GetWindow(hwnd(), GW_CHILD) == nullptr;
    made = CreateTemplateControls();
    return ProbeDialog::OnInitDialog();
  }
};

struct MadeDialog {
  std::vector<ChildLook> children;
  LRESULT defaultId = 0;
};

template <typename Dialog>
MadeDialog lookOf(Dialog& d) {
  MadeDialog made;
  d.onMessage = [&d](UINT m, WPARAM wp, LPARAM, LRESULT& r) { return endOnRequest(d, m, wp, r); };
  d.init = [&made](ProbeDialog& self) {
    made.children = childrenOf(self.hwnd());
    made.defaultId = SendMessageW(self.hwnd(), DM_GETDEFID, 0, 0);
    PostMessageW(self.hwnd(), kEndWith, IDOK, 0);
  };
  EXPECT_EQ(d.DoModal(), IDOK);
  return made;
}

TEST(Dialog, ControlsMadeLaterAreThoseTheDialogManagerMakes) {
  // A resource template (extended, with a default button and a bordered
  // edit) and an in-memory one (a common control by class name).
  for (int which = 0; which < 2; ++which) {
    SCOPED_TRACE(which == 0 ? "resource template" : "in-memory template");
    std::unique_ptr<ProbeDialog> usual = which == 0 ? std::make_unique<ProbeDialog>(200u, nullptr)
                                                    : std::make_unique<ProbeDialog>(memoryTemplate(), nullptr);
    MadeDialog expected = lookOf(*usual);
    std::unique_ptr<LateControlsDialog> late = which == 0 ? std::make_unique<LateControlsDialog>(200u)
                                                          : std::make_unique<LateControlsDialog>(memoryTemplate());
    MadeDialog got = lookOf(*late);
    EXPECT_TRUE(late->childlessAtFirst);
    EXPECT_TRUE(late->made);
    ASSERT_EQ(expected.children.size(), 3u);
    EXPECT_EQ(got.children, expected.children);
    EXPECT_EQ(got.defaultId, expected.defaultId);
  }
}

TEST(Dialog, TemplateItemsReadWholeOrNotAtAll) {
  const DialogTemplate& t = memoryTemplate();
  auto bytes = reinterpret_cast<const uint8_t*>(t.get());
  std::vector<uint8_t> whole(bytes, bytes + t.byteSize());
  std::optional<DialogTemplateItems> items = dialogTemplateItems(whole);
  ASSERT_TRUE(items);
  EXPECT_EQ(items->countOffset, 8u);
  ASSERT_EQ(items->items.size(), 3u);
  EXPECT_EQ(items->items[0].className, L"Button");
  EXPECT_EQ(items->items[0].text, L"OK");
  EXPECT_EQ(items->items[0].id, static_cast<DWORD>(IDOK));
  EXPECT_EQ(items->items[1].className, L"Edit");
  EXPECT_EQ(items->items[1].y, 10);
  EXPECT_EQ(items->items[2].className, L"SysListView32");
  EXPECT_EQ(items->items[2].cy, 20);
  // Cut anywhere, the template gives no items rather than some.
  for (size_t n = 0; n < whole.size(); ++n)
    EXPECT_FALSE(dialogTemplateItems({whole.data(), n})) << "cut at " << n;
  // Creation data on the last item: not something a list reproduces.
  std::vector<uint8_t> withData = whole;
  withData[withData.size() - 2] = 2;
  withData.insert(withData.end(), {0, 0});
  EXPECT_FALSE(dialogTemplateItems(withData));
}

TEST(Dialog, MissingTemplateFails) {
  ProbeDialog d(4242, nullptr);
  EXPECT_EQ(d.DoModal(), -1);
}

TEST(Dialog, ModalLoopShowsTheDialogAndDisablesItsParent) {
  ProbeDialog owner(memoryTemplate(), nullptr);
  ASSERT_TRUE(owner.Create());
  ProbeDialog child(memoryTemplate(), &owner);
  bool visible = false, ownerEnabled = true;
  child.onMessage = [&](UINT m, WPARAM wp, LPARAM lp, LRESULT& r) {
    if (m == WM_APP + 2) {
      visible = IsWindowVisible(child.hwnd()) != FALSE;
      ownerEnabled = IsWindowEnabled(owner.hwnd()) != FALSE;
      PostMessageW(child.hwnd(), kEndWith, 5, 0);
      return true;
    }
    (void)lp;
    return endOnRequest(child, m, wp, r);
  };
  child.init = [](ProbeDialog& self) { PostMessageW(self.hwnd(), WM_APP + 2, 0, 0); };
  EXPECT_EQ(child.DoModal(), 5);
  EXPECT_TRUE(visible);
  EXPECT_FALSE(ownerEnabled);
  EXPECT_TRUE(IsWindowEnabled(owner.hwnd()));
  owner.DestroyWindow();
  EXPECT_FALSE(owner.isOpen());
}

TEST(Dialog, PreTranslateSeesKeysBeforeDialogProcessing) {
  // Escape would cancel the dialog through dialog keyboard handling; the
  // dialog swallows it first.
  ProbeDialog d(memoryTemplate(), nullptr);
  int swallowed = 0;
  d.pre = [&](MSG& m) {
    if ((m.message == WM_KEYDOWN || m.message == WM_KEYUP) && m.wParam == VK_ESCAPE) {
      ++swallowed;
      return true;
    }
    return false;
  };
  d.onMessage = [&d](UINT m, WPARAM wp, LPARAM, LRESULT& r) { return endOnRequest(d, m, wp, r); };
  d.init = [](ProbeDialog& self) {
    HWND edit = self.item(1001);
    PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(edit, WM_KEYUP, VK_ESCAPE, 0);
    PostMessageW(self.hwnd(), kEndWith, 9, 0);
  };
  EXPECT_EQ(d.DoModal(), 9);
  EXPECT_EQ(swallowed, 2);
  EXPECT_TRUE(std::find(d.commands.begin(), d.commands.end(), WORD(IDCANCEL)) == d.commands.end());

  // Without the filter the same key cancels.
  ProbeDialog plain(memoryTemplate(), nullptr);
  plain.init = [](ProbeDialog& self) { PostMessageW(self.item(1001), WM_KEYDOWN, VK_ESCAPE, 0); };
  EXPECT_EQ(plain.DoModal(), IDCANCEL);
}

TEST(Dialog, ChildControlsSeeTheirMessagesBeforeDispatch) {
  struct Filter : CWindow {
    int seen = 0;
    bool PreTranslateMessage(MSG& m) override {
      if (m.message == WM_CHAR) {
        ++seen;
        m.wParam = L'Z';  // may change the message in place
      }
      return false;
    }
  } filter;
  ProbeDialog d(memoryTemplate(), nullptr);
  d.init = [&](ProbeDialog& self) {
    ASSERT_TRUE(filter.SubclassDlgItem(1001, self.hwnd()));
    PostMessageW(self.item(1001), WM_CHAR, L'a', 0);
    PostMessageW(self.hwnd(), kEndWith, 1, 0);
  };
  wchar_t text[8] = {};
  d.onMessage = [&](UINT m, WPARAM wp, LPARAM, LRESULT& r) {
    if (m == kEndWith) GetWindowTextW(d.item(1001), text, 8);
    return endOnRequest(d, m, wp, r);
  };
  EXPECT_EQ(d.DoModal(), 1);
  EXPECT_EQ(filter.seen, 1);
  EXPECT_STREQ(text, L"Z");
  EXPECT_EQ(filter.hwnd(), nullptr);  // detached when the control went away
}

TEST(Dialog, ModelessEndDestroysTheWindow) {
  ProbeDialog d(memoryTemplate(), nullptr);
  ASSERT_TRUE(d.Create());
  HWND h = d.hwnd();
  EXPECT_TRUE(IsWindow(h));
  EXPECT_FALSE(d.Create());  // one window per object
  SendMessageW(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(d.isOpen());
  EXPECT_TRUE(d.Create());  // and it can be opened again
}

TEST(Dialog, ExceptionsDoNotLeaveTheWindowProcedure) {
  ProbeDialog d(memoryTemplate(), nullptr);
  ASSERT_TRUE(d.Create());
  d.onMessage = [](UINT m, WPARAM, LPARAM, LRESULT&) -> bool {
    if (m == WM_APP + 7) throw std::runtime_error("handler failure");
    return false;
  };
  EXPECT_NO_THROW(SendMessageW(d.hwnd(), WM_APP + 7, 0, 0));
  EXPECT_TRUE(IsWindow(d.hwnd()));
}

TEST(Window, SubclassingIsExclusiveAndUndone) {
  HWND w = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  {
    CWindow a, b;
    EXPECT_TRUE(a.SubclassWindow(w));
    EXPECT_EQ(CWindow::FromHandle(w), &a);
    EXPECT_FALSE(b.SubclassWindow(w));
    EXPECT_FALSE(a.SubclassWindow(w));
  }
  EXPECT_EQ(CWindow::FromHandle(w), nullptr);  // the object went, so did the link
  DestroyWindow(w);
  CWindow c;
  EXPECT_FALSE(c.SubclassWindow(w));
}

// A window procedure set on top of an attached object's, as another
// library's subclassing would: it counts the messages it sees.
struct OuterProc {
  static inline WNDPROC below = nullptr;
  static inline int seen = 0;
  static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_APP + 3) ++seen;
    return CallWindowProcW(below, h, m, w, l);
  }
};

class CountingWindow : public CWindow {
 public:
  int seen = 0;

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_APP + 3) ++seen;
    return CWindow::WindowProc(msg, wp, lp);
  }
};

TEST(Window, LettingGoUnderAnotherSubclassKeepsItsChain) {
  HWND w = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w, GWLP_WNDPROC));
  CountingWindow first;
  ASSERT_TRUE(first.SubclassWindow(w));
  OuterProc::seen = 0;
  OuterProc::below = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&OuterProc::Proc)));
  SendMessageW(w, WM_APP + 3, 0, 0);
  EXPECT_EQ(OuterProc::seen, 1);
  EXPECT_EQ(first.seen, 1);

  // Letting go must not put the original procedure back over the outer one.
  first.UnsubclassWindow();
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w, GWLP_WNDPROC)), &OuterProc::Proc);
  EXPECT_EQ(CWindow::FromHandle(w), nullptr);
  SendMessageW(w, WM_APP + 3, 0, 0);
  EXPECT_EQ(OuterProc::seen, 2) << "the outer subclass still sees the window's messages";
  EXPECT_EQ(first.seen, 1) << "the object that let go sees nothing";
  wchar_t text[8] = {};
  SetWindowTextW(w, L"ok");
  EXPECT_EQ(GetWindowTextW(w, text, 8), 2) << "messages still reach the window's own procedure";

  // A new object takes the link over where the procedure still stands.
  CountingWindow second;
  ASSERT_TRUE(second.SubclassWindow(w));
  EXPECT_EQ(CWindow::FromHandle(w), &second);
  SendMessageW(w, WM_APP + 3, 0, 0);
  EXPECT_EQ(second.seen, 1);

  // With the outer procedure gone, letting go restores the original.
  SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OuterProc::below));
  second.UnsubclassWindow();
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w, GWLP_WNDPROC)), original);
  DestroyWindow(w);
}

TEST(Application, NamesAndRegistryKey) {
  CApplication app;
  EXPECT_EQ(CApplication::current(), &app);
  EXPECT_EQ(app.profileName(), L"widgets_win32_tests");
  EXPECT_EQ(app.programFolder(), ExecutableFolder());
  EXPECT_EQ(app.programFolder().back(), L'\\');
  app.SetRegistryKey(L"Korvalin_Nalvori");
  EXPECT_EQ(app.registryKey(), L"Korvalin_Nalvori");
}

TEST(Application, RunApplicationRunsInitInstanceAndExitInstance) {
  struct App : CApplication {
    int calls = 0;
    BOOL InitInstance() override {
      ++calls;
      return FALSE;  // a dialog-based program ends after its dialog
    }
    int ExitInstance() override { return 10 + calls; }
  } app;
  EXPECT_EQ(RunApplication(app, GetModuleHandleW(nullptr)), 11);
}

}  // namespace
}  // namespace kv
