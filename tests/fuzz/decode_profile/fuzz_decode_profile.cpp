// Key tables come from the keyboard: 324 bytes of records, optionally
// followed by 324 bytes of factory table. Any bytes decode into entries the
// encoder accepts, and encoding what was decoded is stable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

#include "keys/device_records.h"
#include "keys/working_config.h"

using namespace kv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> input(data, size);
  KeySlotTemplate tmpl = builtInKeySlotTemplate();
  // A refused template leaves the built-in one, which is fuzzed as well.
  if (size >= 2 * kDeviceProfileBytes) (void)keySlotTemplateFromBytes(input.subspan(kDeviceProfileBytes, kDeviceProfileBytes), tmpl);
  // Shorter input is passed whole, to exercise the size check.
  std::span<const uint8_t> records = size >= kDeviceProfileBytes ? input.first(kDeviceProfileBytes) : input;

  auto table = newKeyActionTable();
  if (!table) return 0;
  bool ok = decodeProfile(records, tmpl, blockEntries(*table, 1));
  if (ok != (records.size() == kDeviceProfileBytes)) std::abort();
  if (!ok) return 0;

  for (int s = 0; s < kSlotsPerBlock; ++s) {
    const KeyActionEntry& e = table->entries[entryIndex(1, s)];
    if (e.aux != gKeyCode(s) || e.mark != 0 || e.spare != 0) std::abort();
    switch (e.type) {
      case ActionType::SingleKey:
        if (!isKeyCode(static_cast<KeyCode>(e.value)) || e.value > 0xFFFF) std::abort();
        break;
      case ActionType::Media:
        if (e.value >= MediaFunctionList.size()) std::abort();
        break;
      case ActionType::Default: case ActionType::Disabled: case ActionType::PlayMacro:
      case ActionType::StopMacro: case ActionType::FunctionKey:
        break;
      default:
        std::abort();
    }
  }

  DeviceProfileRecords first{}, second{};
  if (!encodeProfile(*table, 1, {}, tmpl, first)) std::abort();
  auto again = newKeyActionTable();
  if (!again) return 0;
  std::span<const uint8_t> firstBytes(reinterpret_cast<const uint8_t*>(first.data()), kDeviceProfileBytes);
  if (!decodeProfile(firstBytes, tmpl, blockEntries(*again, 1))) std::abort();
  if (!encodeProfile(*again, 1, {}, tmpl, second) || first != second) std::abort();
  return 0;
}
