// Key capture: turning a keyboard hook's message into a key code, and what
// the single-key capture does with each message. Portable: the hooks
// themselves live in key_hooks_win32.
#pragma once

#include <cstdint>

#include "macro/macro_record.h"
#include "model/key_codes.h"

namespace kv {

// The key code of a thread keyboard hook's message: vk, and the keystroke
// flags (scan code in bits 16-23, extended-key flag in bit 24). 0 for none.
KeyCode keyCodeFromMessage(uint32_t vk, uint32_t flags);

// Media and browser keys go on to the system: no hook takes them.
bool isPassedOnKey(KeyCode code);

inline constexpr KeyCode kPrintScreenKey = 0x137;

enum class CaptureAction {
  PassOn,   // to the next hook
  Swallow,  // eaten, nothing captured (auto-repeats, releases)
  Capture,  // eaten, and the key is the editor's choice
};
// The single-key capture's thread hook: a fresh press of a key is captured
// once; Print Screen on any of its messages (often only its release arrives).
CaptureAction captureActionOf(KeyCode code, uint32_t flags);

// The low-level hook catches the Win and Applications keys, which never reach
// a thread hook: 0x15B, 0x15C or 0x15D for their virtual keys, else 0.
KeyCode lowLevelCaptureKey(uint32_t vk);

// ---- the macro recorder ----------------------------------------------------------

enum class RecordAction {
  PassOn,   // to the next hook (no key, or a media key)
  Swallow,  // eaten, nothing recorded (auto-repeats)
  Record,   // eaten and recorded
};
// The recorder's thread hook: presses and releases are recorded once each.
RecordAction recordActionOf(KeyCode code, uint32_t flags);
inline bool isReleaseMessage(uint32_t flags) { return (flags >> 31) != 0; }

// The actions one recorded key event gives, in order: keys the keyboard
// needs pressed first (0x54, 0x71, 0x72, Print Screen) get an extra press of
// 2 ms before the event itself. Returns how many were written (1 or 2).
size_t recordedActions(KeyCode code, bool release, uint32_t elapsedMs, MacroAction (&out)[2]);

// The recorder's low-level hook sees the Win keys, which never reach a thread
// hook. lastWinKey is the Win key last seen pressed (0 none).
struct LowLevelRecord {
  bool handled = false;  // false: to the next hook
  bool record = false;   // handled and recorded; else swallowed
  KeyCode code = 0;
  bool release = false;
};
LowLevelRecord lowLevelRecordOf(uint32_t vk, bool down, uint8_t& lastWinKey);

}  // namespace kv
