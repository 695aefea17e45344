// Factory contents of the simulated keyboard, as data.
#pragma once

#include <array>
#include <cstdint>

namespace kv::sim {

// The factory action of each of the 108 key slots, 3 bytes per slot: the
// default key table and every profile's key table of a new keyboard.
extern const std::array<uint8_t, 324> kKeySlotTemplate;

// The ten user patterns (18-byte LED masks) of a new keyboard's per-key
// region; bytes 180-255 are unused.
extern const std::array<uint8_t, 180> kFactoryPatterns;

// Settings record of each profile of a new keyboard.
extern const std::array<std::array<uint8_t, 42>, 3> kFactorySettings;

// Lighting effects the keyboard offers, in display order (information
// block bytes 16-47).
extern const std::array<uint8_t, 32> kFactoryEffects;

}  // namespace kv::sim
