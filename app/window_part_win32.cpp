#include "app/window_part_win32.h"

#include "skin/placement_win32.h"

namespace kv {

CPngButton* CWindowPart::Button(int id) const { return buttons_.Find(id); }

CPngButton& CWindowPart::Attach(int id) { return buttons_.Attach(window(), id); }

CPngButton& CWindowPart::PlaceButton(int id, std::wstring_view key, MainSurface normal, MainSurface hover,
                                     MainSurface pressed, MainSurface disabled, MainSurface set) {
  CPngButton& b = Attach(id);
  PlaceSkinnedControl(b, context_.skinFile, L"BUTTONINFO", key, &surface(normal), &surface(hover), &surface(pressed),
                      &surface(disabled), &surface(set));
  return b;
}

}  // namespace kv
