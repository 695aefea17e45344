// The lighting model over a fresh simulated keyboard, with a view that
// records what the panel would be asked to show.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "model/lighting.h"
#include "tests/device/link_fixture.h"

namespace kvtest {

class RecordingLightingView : public kv::LightingView {
 public:
  struct Overlay {
    kv::Colour colour;
    uint8_t opacity;
  };
  void SetKeyOverlay(uint16_t id, kv::Colour colour, uint8_t opacity) override {
    overlays[id] = {colour, opacity};
    ++overlayCalls;
  }
  void SetKeyTint(uint16_t id, kv::Colour colour, uint8_t opacity) override { tints[id] = {colour, opacity}; }
  void RemoveKeyOverlays() override {
    overlays.clear();
    tints.clear();
    ++removals;
  }
  void ShowReportRate(int index) override { reportRates.push_back(index); }
  void ShowLightingReset() override { ++resets; }

  std::map<uint16_t, Overlay> overlays;
  std::map<uint16_t, Overlay> tints;
  int overlayCalls = 0;
  int removals = 0;
  std::vector<int> reportRates;
  int resets = 0;
};

// One command report as sent.
struct Sent {
  uint8_t command;
  uint8_t length;
  uint16_t address;
  std::vector<uint8_t> payload;  // `length` bytes, or none for commands without a payload
};

class LightingTest : public LinkTest {
 protected:
  LightingTest() : model(view, settings) {}

  // Commands sent since the trace was last cleared.
  std::vector<Sent> Sends() {
    std::vector<Sent> out;
    for (const std::string& hex : Out()) {
      Sent s{ByteOf(hex, 3), ByteOf(hex, 4), static_cast<uint16_t>(ByteOf(hex, 5) | ByteOf(hex, 6) << 8), {}};
      bool carries = s.command == kv::kCmdWriteSettings || s.command == kv::kCmdWriteColours ||
                     s.command == kv::kCmdWriteInfoBlock;
      if (carries)
        for (size_t i = 0; i < s.length && i < kv::kPayloadSize; ++i) s.payload.push_back(ByteOf(hex, 8 + i));
      out.push_back(std::move(s));
    }
    return out;
  }

  // Loads with the trace cleared before and after.
  void Load(int profile = 0) {
    Keyboard()->drain();
    ASSERT_TRUE(model.SelectProfile(profile));
    ASSERT_EQ(model.LoadLighting(), kv::kLightingLoaded);
    Keyboard()->drain();
    Keyboard()->clearTrace();
  }

  void SetSettingsByte(int profile, size_t field, uint8_t value) {
    const uint8_t b[] = {value};
    ASSERT_TRUE(Keyboard()->write(kv::sim::Region::Settings, static_cast<size_t>(profile) * 42 + field, b));
  }
  void SetEffectList(const std::vector<uint8_t>& codes) {
    std::vector<uint8_t> list(32, 0);
    std::copy(codes.begin(), codes.end(), list.begin());
    ASSERT_TRUE(Keyboard()->write(kv::sim::Region::Info, 16, list));
  }
  std::vector<uint8_t> Colours(int profile) { return Keyboard()->read(kv::sim::Region::Colours, profile * 256, 256); }
  std::vector<uint8_t> Settings(int profile) { return Keyboard()->read(kv::sim::Region::Settings, profile * 42, 42); }

  RecordingLightingView view;
  kv::MemorySettingsFile settings;
  kv::LightingModel model;
};

}  // namespace kvtest
