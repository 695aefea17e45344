// A button that shows a colour: the lighting panel's colour choices. The
// dialog's owner-drawn button, drawn as a swatch with a thin edge; pressing
// it is the owner's business (it opens the colour dialog).
#pragma once

#include <windows.h>

#include "widgets/window_win32.h"

namespace kv {

class CColourButton : public CWindow {
 public:
  // Shown at once when the button is on the screen.
  void setColour(COLORREF colour);
  COLORREF colour() const noexcept { return colour_; }

 protected:
  bool DrawItem(const DRAWITEMSTRUCT& dis) override;

 private:
  COLORREF colour_ = RGB(0, 0, 0);
};

}  // namespace kv
