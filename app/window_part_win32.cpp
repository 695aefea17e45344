#include "app/window_part_win32.h"

#include "app/placement_win32.h"

namespace kv {

CPngButton* CWindowPart::Button(int id) const {
  auto it = buttons_.find(id);
  return it == buttons_.end() ? nullptr : it->second.get();
}

CPngButton& CWindowPart::Attach(int id) {
  auto& slot = buttons_[id];
  if (!slot) {
    slot = std::make_unique<CPngButton>();
    // A control missing from the template leaves an unattached button, which
    // draws and does nothing.
    if (HWND h = item(id)) (void)slot->SubclassWindow(h);
  }
  return *slot;
}

CPngButton& CWindowPart::PlaceButton(int id, std::wstring_view key, MainSurface normal, MainSurface hover,
                                     MainSurface pressed, MainSurface disabled, MainSurface set) {
  CPngButton& b = Attach(id);
  PlaceSkinnedControl(b, context_.skinFile, L"BUTTONINFO", key, &surface(normal), &surface(hover), &surface(pressed),
                      &surface(disabled), &surface(set));
  return b;
}

}  // namespace kv
