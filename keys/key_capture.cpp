#include "keys/key_capture.h"

#include <algorithm>
#include <cstdint>

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

ThreadHookKey LowLevelKeys::toThreadHook(uint32_t vk, uint32_t scan, bool extended, bool release, bool here) {
  vk &= 0xFF;
  switch (vk) {
    case 0xA0: case 0xA1: vk = 0x10; break;  // VK_LSHIFT, VK_RSHIFT: VK_SHIFT
    case 0xA2: case 0xA3: vk = 0x11; break;  // the Ctrl keys: VK_CONTROL
    case 0xA4: case 0xA5: vk = 0x12; break;  // the Alt keys: VK_MENU
    default: break;
  }
  // A key is known by its scan code (a modifier's two sides share a virtual
  // key); input injected without one, by its virtual key.
  size_t index = (scan & 0xFF) != 0 ? ((scan & 0xFF) | (extended ? 0x100u : 0u)) : 0x200u + vk;
  uint32_t flags = ((scan & 0xFF) << 16) | (extended ? 1u << 24 : 0u);
  bool stray = false;
  if (release) {
    flags |= kTransitionBit | kPreviousStateBit;
    stray = down_[index] != kDownHere;
    down_[index] = kUp;
  } else if (down_[index] != kUp) {
    flags |= kPreviousStateBit;  // held: where it went first decides
  } else {
    down_[index] = here ? kDownHere : kDownElsewhere;
  }
  return {vk, flags, stray};
}

KeyCode lowLevelKeyCode(const ThreadHookKey& key) {
  if (KeyCode win = lowLevelCaptureKey(key.vk)) return win;
  return keyCodeFromMessage(key.vk, key.flags);
}

uint32_t RecordClock::elapsedMs(uint64_t nowUs) {
  uint64_t ms = nowUs / 1000;
  // A clock read on another thread may be a tick behind the last one.
  uint64_t d = ms > lastMs_ ? ms - lastMs_ : 0;
  if (ms > lastMs_) lastMs_ = ms;
  return d > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(d);
}

}  // namespace kv
