#include "keys/key_capture.h"

#include <algorithm>

#include "model/key_info.h"

namespace kv {
namespace {

constexpr uint32_t kRightShiftScan = 0x36;
constexpr uint32_t kTransitionBit = 1u << 31;  // set on releases
constexpr uint32_t kPreviousStateBit = 1u << 30;  // set on auto-repeats and releases

}  // namespace

KeyCode keyCodeFromMessage(uint32_t vk, uint32_t flags) {
  vk &= 0xFF;
  uint8_t vkSlot = VirtualKeyTable[vk];
  KeyCode fallback = vkSlot == 0 ? 0 : keyOfSlot(vkSlot);
  uint32_t scan = (flags >> 16) & 0xFF;
  auto s = static_cast<KeyCode>((flags >> 16) & 0x1FF);
  // Systems differ in whether they flag right Shift as extended; it is 0x36
  // either way (0x136 would name no key).
  if (scan == kRightShiftScan) return kRightShiftScan;
  if (vk == 0xFF) return s;
  if (scan == 0) return fallback;
  const KeyInfo& info = KeyInfoTable[slotOfKey(s)];
  if (!info.empty() && (info.vk == vk || (info.vkNoNumLock != 0 && info.vkNoNumLock == vk))) return s;
  return scan == vkSlot ? s : fallback;
}

bool isPassedOnKey(KeyCode code) {
  return std::any_of(MediaFunctionList.begin(), MediaFunctionList.end(),
                     [code](const MediaFunction& m) { return m.keyCode == code; });
}

CaptureAction captureActionOf(KeyCode code, uint32_t flags) {
  if (code == 0 || isPassedOnKey(code)) return CaptureAction::PassOn;
  bool freshPress = (flags & (kTransitionBit | kPreviousStateBit)) == 0;
  if (code != kPrintScreenKey && !freshPress) return CaptureAction::Swallow;
  return CaptureAction::Capture;
}

KeyCode lowLevelCaptureKey(uint32_t vk) {
  switch (vk) {
    case 0x5B: return 0x15B;
    case 0x5C: return 0x15C;
    case 0x5D: return 0x15D;
    default: return 0;
  }
}

RecordAction recordActionOf(KeyCode code, uint32_t flags) {
  if (code == 0 || isPassedOnKey(code)) return RecordAction::PassOn;
  bool autoRepeat = (flags & kTransitionBit) == 0 && (flags & kPreviousStateBit) != 0;
  return autoRepeat ? RecordAction::Swallow : RecordAction::Record;
}

size_t recordedActions(KeyCode code, bool release, uint32_t elapsedMs, MacroAction (&out)[2]) {
  constexpr uint32_t kExtraPressMs = 2;
  size_t n = 0;
  if (code == 0x54 || code == 0x71 || code == 0x72 || code == kPrintScreenKey)
    out[n++] = {kExtraPressMs, code, kMacroPress};
  out[n++] = {elapsedMs, code, release ? kMacroRelease : kMacroPress};
  return n;
}

LowLevelRecord lowLevelRecordOf(uint32_t vk, bool down, uint8_t& lastWinKey) {
  LowLevelRecord r;
  if (vk != 0x5B && vk != 0x5C) return r;
  r.handled = true;
  r.release = !down;
  bool fresh = !down || vk != lastWinKey;
  lastWinKey = down ? static_cast<uint8_t>(vk) : 0;
  if (!fresh) return r;  // the held key's repeats
  r.record = true;
  r.code = static_cast<KeyCode>(0x100 + vk);
  return r;
}

}  // namespace kv
