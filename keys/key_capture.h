// Key capture: turning a keyboard hook's message into a key code, and what
// the single-key capture does with each message. Portable: the hooks
// themselves live in key_hooks_win32.
#pragma once

#include <cstdint>

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

}  // namespace kv
