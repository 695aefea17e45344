// What the keyboard sends for lighting, taken as the model takes it: an
// effect list, a settings record and a per-key region. Whatever the bytes,
// the decoded values stay inside the ranges the panel and the writes index
// with, and the combo table is consistent with the list.
// Input: 32 bytes effect list, 42 bytes record, up to 256 bytes region.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "model/lighting.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::EffectList effects{};
  std::array<uint8_t, kv::kSettingsRecordBytes> record{};
  kv::PerKeyRegion region{};
  size_t at = 0;
  auto take = [&](uint8_t* dest, size_t n) {
    size_t k = std::min(n, size - at);
    if (k) std::memcpy(dest, data + at, k);
    at += k;
  };
  take(effects.data(), effects.size());
  take(record.data(), record.size());
  take(region.data(), region.size());

  auto combo = kv::buildEffectCombo(effects);
  size_t nonZero = static_cast<size_t>(std::count_if(effects.begin(), effects.end(), [](uint8_t c) { return c; }));
  if (combo.size() != nonZero) std::abort();
  for (size_t i = 0; i < combo.size(); ++i)
    if (combo[i].comboIndex != static_cast<int>(i) || combo[i].code == 0) std::abort();

  kv::LightingState state;
  kv::decodeSettingsRecord(kv::settingsRecordFromBytes(record), state);
  if (state.userMode >= kv::kUserModeCount || state.paintTool > 1 || state.reportRate < 0 || state.reportRate > 3 ||
      state.triggerType > 1)
    std::abort();
  int b = kv::brightnessPositionOf(state.brightness), s = kv::speedPositionOf(state.speed);
  if (b < 0 || b > 4 || s < 0 || s > 4) std::abort();
  kv::LedMask pattern = kv::userPatternOf(region, state.userMode);
  if (!std::equal(pattern.begin(), pattern.end(), region.begin() + kv::userPatternOffset(state.userMode)))
    std::abort();
  kv::LightingVisibility v = kv::lightingVisibility(state.effect, kv::VisibilityContext::Choice);
  if (v.perKey && !v.brightness) std::abort();
  return 0;
}
