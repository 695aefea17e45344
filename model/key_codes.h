// Key codes, slots, G keys, the LED matrix and the on-screen key buttons.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

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
// Only codes that come back from their own slot name a key: 0x080-0x0FF and
// 0x180 and above would otherwise alias the slots of E0 keys.
constexpr bool isKeyCode(KeyCode code) { return code != 0 && keyOfSlot(slotOfKey(code)) == code; }

// The eight modifier keys in HID modifier-bit order (bit 0 left Ctrl ... bit 7 right Win).
inline constexpr std::array<KeyCode, 8> kModifierKeys = {0x01D, 0x02A, 0x038, 0x15B, 0x11D, 0x036, 0x138, 0x15C};
// The modifier bit of a key (0x01 ... 0x80), 0 when the key is no modifier.
constexpr uint8_t modifierBitOfKey(KeyCode code) {
  for (size_t i = 0; i < kModifierKeys.size(); ++i)
    if (kModifierKeys[i] == code) return static_cast<uint8_t>(1u << i);
  return 0;
}
// The key of the lowest set bit of a HID modifier byte; 0 for 0.
constexpr KeyCode ModifierBitsToKey(uint8_t bits) {
  for (size_t i = 0; i < kModifierKeys.size(); ++i)
    if (bits & (1u << i)) return kModifierKeys[i];
  return 0;
}

// G keys: g = 0-8 for G1-G9. Where a G key stands in for a key it is 0x100 + g.
inline constexpr int kGKeyCount = 9;
constexpr KeyCode gKeyAsKeyCode(int g) { return static_cast<KeyCode>(0x100 + g); }

// LED matrix: 18 columns x 8 rows, index = column * 8 + row.
inline constexpr int kLedColumns = 18;
inline constexpr int kLedRows = 8;
inline constexpr int kLedCount = kLedColumns * kLedRows;
constexpr uint8_t ledIndex(int column, int row) { return static_cast<uint8_t>(column * kLedRows + row); }
constexpr int ledColumn(uint8_t index) { return index / kLedRows; }
constexpr int ledRow(uint8_t index) { return index % kLedRows; }

// One byte per column, bit r = row r.
using LedMask = std::array<uint8_t, kLedColumns>;
static_assert(sizeof(LedMask) == 18);
constexpr bool ledIsSet(const LedMask& mask, uint8_t index) {
  return index < kLedCount && (mask[ledColumn(index)] >> ledRow(index)) & 1;
}
constexpr void setLed(LedMask& mask, uint8_t index, bool on) {
  if (index >= kLedCount) return;
  auto bit = static_cast<uint8_t>(1u << ledRow(index));
  auto& b = mask[ledColumn(index)];
  b = on ? static_cast<uint8_t>(b | bit) : static_cast<uint8_t>(b & ~bit);
}

// The keyboard picture's buttons are numbered here, in this file only: the
// numbers are the main window's control ids, which the skin generator
// (tools/skingen) writes into resources/control_ids.h from these tables.

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
// G1-G5, then G6-G9 after the ids of the keys and the window's buttons.
inline constexpr std::array<uint16_t, 9> kGKeyControlIds = {1000, 1001, 1002, 1003, 1004, 1140, 1141, 1142, 1143};
inline constexpr uint16_t kFnControlId = 1174;
inline constexpr uint8_t kFnLedIndex = 45;
// D1-D6 and the spare key: buttons of the picture with no key and no LED.
inline constexpr std::array<uint16_t, 7> kKeylessControlIds = {1016, 1017, 1018, 1019, 1020, 1021, 1057};

// The button at a position of KeyButtonTable with this control id, or null.
const KeyButton* keyButtonOfControl(uint16_t controlId);
// The button of a key code, or null when the picture has no such key.
const KeyButton* keyButtonOfKey(KeyCode code);
// The G key (0-8) of a control id, or -1.
int gKeyOfControl(uint16_t controlId);
// LED index of a button of the keyboard picture: the key button's own, 45
// for Fn, 0 for G keys and every other control.
uint8_t LedIndexOfButton(uint16_t controlId);

// Entry names of the skin file's BUTTONINFO section: KEY_%03X of the slot,
// FUNC_G1-FUNC_G9, KEY_FN.
std::string keyButtonSkinKey(KeyCode code);
std::string gKeySkinKey(int g);
inline constexpr const char* kFnSkinKey = "KEY_FN";

}  // namespace kv
