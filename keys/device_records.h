// The keyboard's own key records: 108 three-byte records per profile, and
// their conversion to and from a block of the key action table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "keys/key_action.h"
#include "macro/macro_record.h"
#include "model/key_info.h"

namespace kv {

struct DeviceActionRecord {
  uint8_t kind;
  uint8_t sub;
  uint8_t data;
  friend constexpr bool operator==(const DeviceActionRecord&, const DeviceActionRecord&) = default;
};
static_assert(sizeof(DeviceActionRecord) == 3 && alignof(DeviceActionRecord) == 1);
static_assert(offsetof(DeviceActionRecord, kind) == 0 && offsetof(DeviceActionRecord, sub) == 1 &&
              offsetof(DeviceActionRecord, data) == 2);

// Keyboard key slot = column x 8 + row, columns 0-13.
inline constexpr int kDeviceKeySlots = 108;
inline constexpr size_t kDeviceProfileBytes = 324;  // at address profile x 324 of the key-table region
using DeviceProfileRecords = std::array<DeviceActionRecord, kDeviceKeySlots>;
static_assert(sizeof(DeviceProfileRecords) == kDeviceProfileBytes);

inline constexpr uint8_t kRecordNone = 0x00;
inline constexpr uint8_t kRecordKey = 0x02;       // 02 01 modifier-bit, 02 02 usage
inline constexpr uint8_t kRecordConsumer = 0x03;  // 03 lo hi
inline constexpr uint8_t kRecordMacro = 0x05;     // 05 01 position, 05 02 00 stop, 05 05 function
inline constexpr uint8_t kSubModifier = 0x01;
inline constexpr uint8_t kSubKey = 0x02;
inline constexpr uint8_t kSubPlayMacro = 0x01;
inline constexpr uint8_t kSubStopMacro = 0x02;
inline constexpr uint8_t kSubFunctionKey = 0x05;

inline KeyCode DeviceEntryToKey(const DeviceActionRecord& r) { return DeviceEntryToKey(r.kind, r.sub, r.data); }

// The factory action of each keyboard key slot; the key a slot belongs to is
// DeviceEntryToKey of its record.
struct KeySlotTemplate {
  DeviceProfileRecords records;
};
static_assert(sizeof(KeySlotTemplate) == kDeviceProfileBytes);

// The table built in, used until the keyboard's own has been read.
const KeySlotTemplate& builtInKeySlotTemplate();
// 324 bytes read from the keyboard; false (out untouched) for another size.
[[nodiscard]] bool keySlotTemplateFromBytes(std::span<const uint8_t> bytes, KeySlotTemplate& out);

// The process-wide template: the keyboard's once read, else the built-in one.
// Safe to call from any thread.
KeySlotTemplate currentKeySlotTemplate();
void setCurrentKeySlotTemplate(const KeySlotTemplate& t);
void resetCurrentKeySlotTemplate();

// The 108 records of one profile (0-2) of a snapshot table; macro ids become
// positions in `macros`, the list written in the same operation. False for
// another profile.
[[nodiscard]] bool encodeProfile(const KeyActionTable& table, int profile, std::span<const MacroRecord> macros,
                   const KeySlotTemplate& tmpl, DeviceProfileRecords& out);
// The record one entry encodes to at a slot whose template record is `factory`.
DeviceActionRecord encodeEntry(const KeyActionEntry& entry, std::span<const MacroRecord> macros,
                               DeviceActionRecord factory);

// One profile read from the keyboard (324 bytes) into a 512-entry block.
// False, the block untouched, when bytes is not 324 long.
[[nodiscard]] bool decodeProfile(std::span<const uint8_t> bytes, const KeySlotTemplate& tmpl,
                   std::span<KeyActionEntry, kSlotsPerBlock> block);

// Whole-record copies between bytes and records.
void recordsToBytes(const DeviceProfileRecords& records, std::span<uint8_t, kDeviceProfileBytes> out);
DeviceProfileRecords recordsFromBytes(std::span<const uint8_t, kDeviceProfileBytes> bytes);

}  // namespace kv
