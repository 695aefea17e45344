// What the lighting model asks of the screen: colour overlays on the buttons
// of the keyboard picture, the report-rate buttons and the panel after a
// reset. The main window's lighting panel implements it; tools use the null
// view, tests a recording one.
#pragma once

#include <cstdint>

namespace kv {

// 0x00BBGGRR, as the keyboard picture takes it.
using Colour = uint32_t;

// Preview colours of the keys while a user pattern is edited.
inline constexpr Colour kPreviewLit = 0x00FFFFFF;
inline constexpr Colour kPreviewUnlit = 0x00000000;
inline constexpr uint8_t kPreviewOpacity = 70;

class LightingView {
 public:
  virtual ~LightingView() = default;
  // One button (key, G key or Fn) of the keyboard picture gets a colour overlay.
  virtual void SetKeyOverlay(uint16_t controlId, Colour colour, uint8_t opacity) = 0;
  // One button's face tinted with a colour at an opacity (percent): how the
  // keyboard looks in one still colour.
  virtual void SetKeyTint(uint16_t controlId, Colour colour, uint8_t opacity) = 0;
  // Every overlay and tint goes.
  virtual void RemoveKeyOverlays() = 0;
  // Button `index` of report1-report4 set, the other three not.
  virtual void ShowReportRate(int index) = 0;
  // ResetLighting changed the model: show effect 1 as chosen in the effect
  // list (its visibility rule, no second write), the level controls, the
  // colours and random flags, the first user mode and the open lamp.
  virtual void ShowLightingReset() = 0;
};

class NullLightingView : public LightingView {
 public:
  void SetKeyOverlay(uint16_t, Colour, uint8_t) override {}
  void SetKeyTint(uint16_t, Colour, uint8_t) override {}
  void RemoveKeyOverlays() override {}
  void ShowReportRate(int) override {}
  void ShowLightingReset() override {}
};

}  // namespace kv
