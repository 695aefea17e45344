// The program's private window messages, named once: the main window's own,
// those another instance of the program sends it (the single-instance
// check, /Kill), and those the tests send. A message carrying a four-letter
// tag in wParam is acted on only with that tag, so a stray one with the
// same number does nothing.
#pragma once

namespace kv {

// ---- Between processes and threads, with a tag ----------------------------------------

// Reload everything from the keyboard; sent, answered 0 once handled.
inline constexpr unsigned kMsgReload = 0x5452;
inline constexpr unsigned kTagProf = 0x50524F46;  // "PROF"
// Show the window; posted (another instance does this at its start).
inline constexpr unsigned kMsgShow = 0x5350;
inline constexpr unsigned kTagOpen = 0x4F50454E;  // "OPEN"
// End the program as its Exit does; posted by /Kill (and the installer).
inline constexpr unsigned kMsgKill = 0x4D4B;
inline constexpr unsigned kTagKill = 0x4C4C494B;  // "KILL"
// The G-key bank changed: refresh the G keys under the WorkingConfig lock.
inline constexpr unsigned kMsgGBank = 0x5045;
inline constexpr unsigned kTagLedMessage = 0x004C4544;  // "LED"
// The deferred initialisation, posted to itself by the main window: INIT
// once its first look is up, EDIT (the editor's pictures) once it was first
// shown and painted. The composite editor answers it 0: it is the main
// window's.
inline constexpr unsigned kMsgDeferredInit = 0x4D4E;
inline constexpr unsigned kTagInit = 0x494E4954;    // "INIT"
inline constexpr unsigned kTagEditor = 0x45444954;  // "EDIT"

// ---- The main window's, from its other threads (WM_APP and up) ------------------------

inline constexpr unsigned kAppMessageBase = 0x8000;              // WM_APP
inline constexpr unsigned kMsgSetTimer = kAppMessageBase + 1;    // wParam timer id, lParam period
inline constexpr unsigned kMsgTrayIcon = kAppMessageBase + 3;    // wParam icon resource id
inline constexpr unsigned kMsgBankLook = kAppMessageBase + 4;    // wParam 1 = bank B
inline constexpr unsigned kMsgProgress = kAppMessageBase + 5;    // wParam 1 = shown
inline constexpr unsigned kMsgStatus = kAppMessageBase + 6;      // a status line text waits (ShowStatus)
inline constexpr unsigned kMsgKeyboardGone = kAppMessageBase + 7;  // close the editor, hide the window
// What waits for Apply changed: the Apply tooltip is made again; wParam 1
// when everything waiting was written or dropped (the undo history marks it).
inline constexpr unsigned kMsgWaitingChanged = kAppMessageBase + 8;

// The key hooks' own windows (keys/key_hooks_win32): the hook thread posts
// each captured key (wParam key code) and recorded row (wParam delay) to the
// user-interface thread; lParam carries the installation they belong to.
inline constexpr unsigned kMsgHookCaptured = kAppMessageBase + 16;
inline constexpr unsigned kMsgHookRecorded = kAppMessageBase + 17;
// To the hook thread: make the low-level hook match what is wanted (sent),
// or put it back after it was found gone (posted).
inline constexpr unsigned kMsgHookApply = kAppMessageBase + 18;
inline constexpr unsigned kMsgHookReinstall = kAppMessageBase + 19;

// The tray icon's notifications to the main window.
inline constexpr unsigned kTrayCallbackMessage = 0x06BD;

}  // namespace kv
