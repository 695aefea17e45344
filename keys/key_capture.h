// Key capture: turning a keyboard hook's message into a key code, and what
// the single-key capture does with each message. Portable: the hooks
// themselves live in key_hooks_win32.
#pragma once

#include <array>
#include <cstddef>
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

// ---- the low-level hook's events -----------------------------------------------------

// The virtual key and flags a thread hook would get for a low-level hook's
// event, so one set of rules serves both: a low-level hook names a modifier's
// side (VK_LSHIFT) where a thread hook gets VK_SHIFT, and it carries no
// previous-state bit, so the keys seen pressed tell an auto-repeat.
struct ThreadHookKey {
  uint32_t vk = 0;
  uint32_t flags = 0;
  // A release whose press went to another window (or came before the hook):
  // not ours to take. The Enter that answered a message box lifts after the
  // box has gone.
  bool strayRelease = false;
};
class LowLevelKeys {
 public:
  // here: the hook acts on this event (the editor is in front).
  ThreadHookKey toThreadHook(uint32_t vk, uint32_t scan, bool extended, bool release, bool here = true);
  // Keys pressed while the hook was out are not known to be down.
  void clear() { down_.fill(kUp); }

 private:
  enum : uint8_t { kUp, kDownHere, kDownElsewhere };
  std::array<uint8_t, 0x300> down_{};  // by scan code and extended flag, or 0x200 + virtual key
};

// The code the hooks act on for a low-level event: the Win and Applications
// keys by their virtual key (their scan codes vary), every other key as the
// thread hook would name it.
KeyCode lowLevelKeyCode(const ThreadHookKey& key);

// The recorder's delays in whole milliseconds from timestamps in
// microseconds (a high-resolution counter or an injected clock). The delays
// add up to the time elapsed: rounding never drifts over a long recording.
class RecordClock {
 public:
  void start(uint64_t nowUs) { lastMs_ = nowUs / 1000; }
  [[nodiscard]] uint32_t elapsedMs(uint64_t nowUs);

 private:
  uint64_t lastMs_ = 0;
};

}  // namespace kv
