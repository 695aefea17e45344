#include "skin/accessible_button_win32.h"

#include <oleacc.h>

#include <atomic>
#include <new>

#include "base/log_win32.h"

namespace kv {
namespace {

// The button's object: name, role, state and default action of our own; the
// place in the window tree (parent, navigation, hit test) from the standard
// object of the window, when the system gives one.
class CAccessibleButton final : public IAccessible {
 public:
  CAccessibleButton(HWND button, std::shared_ptr<AccessibleButtonState> state, IAccessible* standard)
      : button_(button), state_(std::move(state)), standard_(standard) {}
  ~CAccessibleButton() {
    if (standard_) standard_->Release();
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kIidAccessible) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  // IDispatch: screen readers use the vtable; no type information.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    if (!parent) return E_POINTER;
    *parent = nullptr;
    return standard_ ? standard_->get_accParent(parent) : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** child) override {
    if (!child) return E_POINTER;
    *child = nullptr;
    return S_FALSE;  // no children
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (!isSelf(child)) return E_INVALIDARG;
    std::wstring n;
    {
      std::lock_guard lock(state_->lock);
      n = state_->name;
    }
    if (n.empty()) {
      // No name given: the caption, read without a message to the button's
      // thread (callers may be on another thread).
      wchar_t caption[260] = {};
      int length = InternalGetWindowText(button_, caption, 260);
      if (length > 0) n.assign(caption, static_cast<size_t>(length));
    }
    if (n.empty()) return standard_ ? standard_->get_accName(child, name) : S_FALSE;
    *name = SysAllocStringLen(n.data(), static_cast<UINT>(n.size()));
    return *name ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT, BSTR* value) override { return noText(value); }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* text) override { return noText(text); }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (!role) return E_POINTER;
    VariantInit(role);
    if (!isSelf(child)) return E_INVALIDARG;
    role->vt = VT_I4;
    role->lVal = ROLE_SYSTEM_PUSHBUTTON;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (!state) return E_POINTER;
    VariantInit(state);
    if (!isSelf(child)) return E_INVALIDARG;
    LONG s = 0;
    if (!IsWindowVisible(button_)) s |= STATE_SYSTEM_INVISIBLE;
    s |= IsWindowEnabled(button_) ? STATE_SYSTEM_FOCUSABLE : STATE_SYSTEM_UNAVAILABLE;
    // Asked from another thread too: the focus of the button's own thread.
    GUITHREADINFO gui{};
    gui.cbSize = sizeof(gui);
    if (GetGUIThreadInfo(GetWindowThreadProcessId(button_, nullptr), &gui) && gui.hwndFocus == button_)
      s |= STATE_SYSTEM_FOCUSED;
    {
      std::lock_guard lock(state_->lock);
      if (state_->selected) s |= STATE_SYSTEM_SELECTED | STATE_SYSTEM_CHECKED;
    }
    state->vt = VT_I4;
    state->lVal = s;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* help) override { return noText(help); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
    if (file) *file = nullptr;
    if (topic) *topic = 0;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* keys) override { return noText(keys); }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    if (!focus) return E_POINTER;
    return standard_ ? standard_->get_accFocus(focus) : (VariantInit(focus), S_FALSE);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    if (!selection) return E_POINTER;
    VariantInit(selection);
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    if (!action) return E_POINTER;
    *action = nullptr;
    if (!isSelf(child)) return E_INVALIDARG;
    *action = SysAllocString(L"Press");
    return *action ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
    return standard_ ? standard_->accSelect(flags, child) : DISP_E_MEMBERNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* x, LONG* y, LONG* w, LONG* h, VARIANT child) override {
    if (!x || !y || !w || !h) return E_POINTER;
    if (!isSelf(child)) return E_INVALIDARG;
    RECT r{};
    if (!GetWindowRect(button_, &r)) return E_FAIL;
    *x = r.left;
    *y = r.top;
    *w = r.right - r.left;
    *h = r.bottom - r.top;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG dir, VARIANT start, VARIANT* end) override {
    if (!end) return E_POINTER;
    return standard_ ? standard_->accNavigate(dir, start, end) : (VariantInit(end), S_FALSE);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
    if (!child) return E_POINTER;
    VariantInit(child);
    RECT r{};
    if (!GetWindowRect(button_, &r) || !PtInRect(&r, POINT{x, y})) return S_FALSE;
    child->vt = VT_I4;
    child->lVal = CHILDID_SELF;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    if (!isSelf(child)) return E_INVALIDARG;
    if (!IsWindowEnabled(button_)) return E_FAIL;
    // Posted: the caller may be another process waiting on this thread.
    if (!PostMessageW(button_, BM_CLICK, 0, 0)) return E_FAIL;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  static bool isSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }
  static HRESULT noText(BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return S_FALSE;
  }

  std::atomic<ULONG> refs_{1};
  HWND button_;
  std::shared_ptr<AccessibleButtonState> state_;
  IAccessible* standard_;
};

}  // namespace

LRESULT AnswerAccessibleObject(HWND button, const std::shared_ptr<AccessibleButtonState>& state, WPARAM wp) {
  IAccessible* standard = nullptr;
  if (FAILED(CreateStdAccessibleObject(button, OBJID_CLIENT, kIidAccessible, reinterpret_cast<void**>(&standard))))
    standard = nullptr;  // the object answers without the window tree
  auto* object = new (std::nothrow) CAccessibleButton(button, state, standard);
  if (!object) {
    if (standard) standard->Release();
    return 0;
  }
  LRESULT r = LresultFromObject(kIidAccessible, wp, object);
  if (r < 0) {  // an HRESULT; a reference to the object is positive
    LogFailure(L"LresultFromObject", static_cast<unsigned long>(r));
    r = 0;
  }
  object->Release();  // LresultFromObject holds its own reference
  return r;
}

}  // namespace kv
