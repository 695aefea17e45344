// Key codes, slots and the on-screen key buttons.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kv {

// PS/2 set-1 make code; 0x100 added for E0-prefixed keys; 0 = no key.
using KeyCode = uint16_t;

// Slot of a key: codes below 0x100 are their own slot, E0 keys fill 0x80-0xFF.
constexpr uint16_t slotOfKey(KeyCode code) {
  return code < 0x100 ? code : static_cast<uint16_t>((code - 0x80) & 0xFF);
}
constexpr KeyCode keyOfSlot(uint16_t slot) {
  return slot < 0x80 ? slot : static_cast<KeyCode>(slot + 0x80);
}

// One key button of the keyboard picture.
struct KeyButton {
  uint16_t controlId;
  KeyCode keyCode;
  uint8_t ledIndex;  // column * 8 + row of the LED matrix
};

inline constexpr size_t kKeyButtonCount = 104;
// In position order: the order in which the keyboard view walks the keys.
extern const std::array<KeyButton, kKeyButtonCount> KeyButtonTable;

// G keys G1-G5 then G6-G9 (g = 0-8), and the Fn button.
inline constexpr std::array<uint16_t, 9> kGKeyControlIds = {1000, 1001, 1002, 1003, 1004, 1140, 1141, 1142, 1143};
inline constexpr uint16_t kFnControlId = 1174;
inline constexpr uint8_t kFnLedIndex = 45;

}  // namespace kv
