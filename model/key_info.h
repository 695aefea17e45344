// Key names, virtual keys and HID usages of every key slot, and the lookups
// over them. Constant tables; no state beyond the text table's texts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/text_table.h"
#include "model/key_codes.h"

namespace kv {

inline constexpr uint16_t kNoListPosition = 0xFFFF;
// Positions 0-105 make the selectable-key list; keys outside it have 0x8001-0x8030.
inline constexpr uint16_t kKeyListSize = 106;

struct KeyInfo {
  uint8_t vk;              // Windows virtual key (numeric pad: with NumLock on)
  uint8_t vkNoNumLock;     // differs from vk only on the numeric pad
  uint16_t listPosition;   // kNoListPosition for an empty entry
  std::u16string_view name;  // fixed name; empty when the name is a text of the text table
  TextId nameText;         // TextId::Count unless the name comes from the text table
  // What the keyboard stores: 0x00/0xFF none, 0x81-0x83 generic desktop,
  // 0xC0-0xDF consumer (ConsumerUsageTable), otherwise the keyboard-page usage.
  uint8_t deviceCode;

  constexpr bool empty() const { return listPosition == kNoListPosition; }
};

// Indexed by slot.
extern const std::array<KeyInfo, 256> KeyInfoTable;

// The entry of a key code; the empty entry for codes that are no key code.
const KeyInfo& keyInfoOf(KeyCode code);
// The entry's current name: the fixed one or the text table's text.
std::u16string_view keyInfoName(const KeyInfo& info);

// Consumer usage of device codes 0xC0 + i; 0 = none.
extern const std::array<uint16_t, 32> ConsumerUsageTable;

struct MediaFunction {
  KeyCode keyCode;
  uint16_t consumerUsage;
  TextId name;
};
inline constexpr size_t kMediaFunctionCount = 18;
extern const std::array<MediaFunction, kMediaFunctionCount> MediaFunctionList;
// Index in MediaFunctionList of a consumer usage, or -1.
int mediaIndexOfUsage(uint16_t usage);
// The function's name; empty for an index outside the list.
std::u16string_view mediaFunctionName(size_t index);

// Slot of the key of each Windows virtual key; 0 = no key.
extern const std::array<uint8_t, 256> VirtualKeyTable;

// Name of the first entry in slot order with that list position; empty when none.
std::u16string KeyNameAtListPosition(uint16_t listPosition);
// Key code of that entry; 0 when none.
KeyCode KeyCodeAtListPosition(uint16_t listPosition);
// The list position at the key's slot; kNoListPosition for an empty entry.
uint16_t ListPositionOfKey(KeyCode code);

// The key's name, or the UNKNOWN_KEY text formatted with the code when the
// key has none. KeyName(code, dest, capacity) copies it cut to capacity - 1
// characters plus the terminating zero and returns the characters copied.
std::u16string KeyName(KeyCode code);
size_t KeyName(KeyCode code, char16_t* dest, size_t capacity);

struct Usage {
  uint16_t page;  // 0 none, 1 generic desktop, 7 keyboard, 12 consumer
  uint16_t usage;
  friend constexpr bool operator==(const Usage&, const Usage&) = default;
};
inline constexpr uint16_t kPageNone = 0;
inline constexpr uint16_t kPageGenericDesktop = 1;
inline constexpr uint16_t kPageKeyboard = 7;
inline constexpr uint16_t kPageConsumer = 12;

Usage KeyToUsage(KeyCode code);
// The key of the first slot whose device code the usage gives; 0 when none.
KeyCode UsageToKey(uint16_t page, uint16_t usage);
// The key a 3-byte record of the keyboard's key table names; 0 when none.
KeyCode DeviceEntryToKey(uint8_t b0, uint8_t b1, uint8_t b2);

}  // namespace kv
