// The main window's private messages, named once: the program, another
// instance of it (the single-instance check, /Kill) and the tests send them.
// A message is acted on only with its four-letter tag in wParam, so a stray
// one with the same number does nothing.
#pragma once

namespace kv {

// Reload everything from the keyboard; sent, answered 0 once handled.
inline constexpr unsigned kMsgReload = 0x5452;
inline constexpr unsigned kTagProf = 0x50524F46;  // "PROF"
// Show the window; posted (another instance does this at its start).
inline constexpr unsigned kMsgShow = 0x5350;
inline constexpr unsigned kTagOpen = 0x4F50454E;  // "OPEN"
// The G-key bank changed: refresh the G keys under the WorkingConfig lock.
inline constexpr unsigned kMsgGBank = 0x5045;
inline constexpr unsigned kTagLedMessage = 0x004C4544;  // "LED"

}  // namespace kv
