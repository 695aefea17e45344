#include "keys/device_records.h"

#include <cstring>
#include <mutex>

#include "device/protocol.h"

namespace kv {
namespace {

constexpr DeviceActionRecord R(uint8_t a, uint8_t b, uint8_t c) { return {a, b, c}; }
constexpr DeviceActionRecord Key(uint8_t usage) { return {kRecordKey, kSubKey, usage}; }
constexpr DeviceActionRecord Mod(uint8_t bit) { return {kRecordKey, kSubModifier, bit}; }
constexpr DeviceActionRecord None() { return {0, 0, 0}; }

constexpr KeySlotTemplate kBuiltInTemplate{{{
    // 0-11
    R(5, 0, 0), R(5, 0, 0), R(5, 0, 0), R(5, 0, 0), R(5, 0, 0), R(5, 0, 0),
    None(), None(), Key(0x29), Key(0x35), Key(0x2B), Key(0x39),
    // 12-23
    Mod(0x02), Mod(0x01), None(), None(), Key(0x3A), Key(0x1E),
    Key(0x14), Key(0x04), Key(0x1D), Mod(0x08), None(), None(),
    // 24-35
    Key(0x3B), Key(0x1F), Key(0x1A), Key(0x16), Key(0x1B), Mod(0x04),
    None(), None(), Key(0x3C), Key(0x20), Key(0x08), Key(0x07),
    // 36-47
    Key(0x06), Key(0x2C), Key(0x46), None(), Key(0x3D), Key(0x21),
    Key(0x15), Key(0x09), Key(0x19), Mod(0x40), Key(0x47), None(),
    // 48-59
    Key(0x3E), Key(0x22), Key(0x17), Key(0x0A), Key(0x05), R(5, 2, 2),
    Key(0x2E), None(), Key(0x3F), Key(0x23), Key(0x1C), Key(0x0B),
    // 60-71
    Key(0x11), Key(0x65), Key(0x48), None(), Key(0x40), Key(0x24),
    Key(0x18), Key(0x0D), Key(0x10), Mod(0x10), Key(0x49), None(),
    // 72-83
    Key(0x41), Key(0x25), Key(0x0C), Key(0x0E), Key(0x36), Key(0x50),
    Key(0x4A), None(), Key(0x42), Key(0x26), Key(0x12), Key(0x0F),
    // 84-95
    Key(0x37), Key(0x51), Key(0x4B), None(), Key(0x43), Key(0x27),
    Key(0x13), Key(0x33), Key(0x38), Key(0x52), Key(0x4C), None(),
    // 96-107
    Key(0x44), Key(0x2D), Key(0x2F), Key(0x34), Mod(0x20), Key(0x4F),
    Key(0x4D), None(), Key(0x45), Key(0x2E), Key(0x30), Key(0x31),
}}};

std::mutex& templateLock() {
  static std::mutex m;
  return m;
}
KeySlotTemplate& templateStore() {
  static KeySlotTemplate t = kBuiltInTemplate;
  return t;
}

DeviceActionRecord singleKeyRecord(uint32_t value) {
  if (value > 0xFFFF) return Key(0);
  auto code = static_cast<KeyCode>(value);
  if (uint8_t bit = modifierBitOfKey(code)) return Mod(bit);
  Usage u = KeyToUsage(code);
  return Key(u.page == kPageKeyboard ? static_cast<uint8_t>(u.usage) : 0);
}

}  // namespace

const KeySlotTemplate& builtInKeySlotTemplate() { return kBuiltInTemplate; }

bool keySlotTemplateFromBytes(std::span<const uint8_t> bytes, KeySlotTemplate& out) {
  if (bytes.size() != kDeviceProfileBytes) return false;
  std::memcpy(&out, bytes.data(), kDeviceProfileBytes);
  return true;
}

KeySlotTemplate currentKeySlotTemplate() {
  std::lock_guard<std::mutex> g(templateLock());
  return templateStore();
}

void setCurrentKeySlotTemplate(const KeySlotTemplate& t) {
  std::lock_guard<std::mutex> g(templateLock());
  templateStore() = t;
}

void resetCurrentKeySlotTemplate() { setCurrentKeySlotTemplate(kBuiltInTemplate); }

DeviceActionRecord encodeEntry(const KeyActionEntry& entry, std::span<const MacroRecord> macros,
                               DeviceActionRecord factory) {
  switch (entry.type) {
    case ActionType::Disabled:
    case ActionType::TextBlock:
      return None();
    case ActionType::SingleKey:
      return singleKeyRecord(entry.value);
    case ActionType::PlayMacro:
      return R(kRecordMacro, kSubPlayMacro, static_cast<uint8_t>(macroPosition(macros, entry.value)));
    case ActionType::StopMacro:
      return R(kRecordMacro, kSubStopMacro, 0);
    case ActionType::Media:
      // An index from a file that names no function leaves the factory action.
      if (entry.value >= MediaFunctionList.size()) return factory;
      {
        uint16_t usage = MediaFunctionList[entry.value].consumerUsage;
        return R(kRecordConsumer, static_cast<uint8_t>(usage), static_cast<uint8_t>(usage >> 8));
      }
    case ActionType::FunctionKey:
      if (entry.value >= FunctionKeyList.size()) return factory;
      return R(kRecordMacro, kSubFunctionKey, static_cast<uint8_t>(entry.value));
    case ActionType::Default:
    case ActionType::LaunchProgram:
    default:
      return factory;
  }
}

bool encodeProfile(const KeyActionTable& table, int profile, std::span<const MacroRecord> macros,
                   const KeySlotTemplate& tmpl, DeviceProfileRecords& out) {
  if (!IsKeyboardProfile(profile)) return false;
  out = tmpl.records;
  for (int s = 0; s < kDeviceKeySlots; ++s) {
    KeyCode k = DeviceEntryToKey(tmpl.records[s]);
    if (k == 0) continue;
    const KeyActionEntry& e = table.entries[static_cast<size_t>(entryIndex(profile, slotOfKey(k)))];
    out[s] = encodeEntry(e, macros, tmpl.records[s]);
  }
  return true;
}

bool decodeProfile(std::span<const uint8_t> bytes, const KeySlotTemplate& tmpl,
                   std::span<KeyActionEntry, kSlotsPerBlock> block) {
  if (bytes.size() != kDeviceProfileBytes) return false;
  DeviceProfileRecords records = recordsFromBytes(bytes.first<kDeviceProfileBytes>());
  std::fill(block.begin(), block.end(), KeyActionEntry{});
  for (int s = kGKeySlotBase; s < kGKeySlotBase + kGKeySlotCount; ++s) block[s].aux = gKeyCode(s);
  for (int s = 0; s < kDeviceKeySlots; ++s) {
    const DeviceActionRecord& r = records[s];
    if (r == tmpl.records[s]) continue;
    KeyCode k = DeviceEntryToKey(tmpl.records[s]);
    if (k == 0) continue;
    KeyActionEntry& e = block[slotOfKey(k)];
    e.type = ActionType::Disabled;
    e.value = 0;
    switch (r.kind) {
      case kRecordMacro:
        if (r.sub == kSubPlayMacro) {
          e.type = ActionType::PlayMacro;
          e.value = r.data + 1u;  // ids read from the keyboard are position + 1
        } else if (r.sub == kSubStopMacro) {
          e.type = ActionType::StopMacro;
        } else if (r.sub == kSubFunctionKey) {
          e.type = ActionType::FunctionKey;
          e.value = r.data;
        }
        break;
      case kRecordConsumer:
        if (int m = mediaIndexOfUsage(static_cast<uint16_t>(r.sub | (r.data << 8))); m >= 0) {
          e.type = ActionType::Media;
          e.value = static_cast<uint32_t>(m);
        }
        break;
      case kRecordKey: {
        KeyCode target = 0;
        if (r.sub == kSubKey) target = UsageToKey(kPageKeyboard, r.data);
        else if (r.sub == kSubModifier) target = ModifierBitsToKey(r.data);
        if (target != 0) {
          e.type = ActionType::SingleKey;
          e.value = target;
        }
        break;
      }
      default:
        break;
    }
  }
  return true;
}

void recordsToBytes(const DeviceProfileRecords& records, std::span<uint8_t, kDeviceProfileBytes> out) {
  std::memcpy(out.data(), records.data(), kDeviceProfileBytes);
}

DeviceProfileRecords recordsFromBytes(std::span<const uint8_t, kDeviceProfileBytes> bytes) {
  DeviceProfileRecords r;
  std::memcpy(r.data(), bytes.data(), kDeviceProfileBytes);
  return r;
}

}  // namespace kv
