// The composite editor's key hooks: the single-key capture while it shows its
// single-key page, the macro recorder while it records.
//
// A low-level keyboard hook sees every key of the session, so it acts only
// while the editor is the foreground window: it is taken out when the editor
// is deactivated (another program, or one of our own message boxes, in
// front) and put back when it is activated. It runs on a thread of its own
// with its own message loop, so that a keyboard read on the user-interface
// thread never holds up the session's typing (and Windows never removes it
// for answering late); what it captures or records is posted to the
// user-interface thread. A thread keyboard hook on the user-interface thread
// backs it up: a key reaching that thread means the low-level hook is gone,
// so the key is taken there and the low-level hook installed again.
#pragma once

#include <windows.h>

#include "keys/working_config.h"
#include "model/key_codes.h"

namespace kv {

// Receives each captured key.
class KeyCaptureTarget {
 public:
  virtual ~KeyCaptureTarget() = default;
  virtual void OnKeyCaptured(KeyCode code) = 0;
};

// Receives each recorded action (an extra press comes first for the keys
// that need one).
class MacroRecordTarget {
 public:
  virtual ~MacroRecordTarget() = default;
  virtual void OnRecordedAction(const MacroAction& action) = 0;
};

// window is the editor: the hooks act only while it is in front. Installing
// replaces whatever capture or recording was installed, so there is never
// more than one. All on the user-interface thread.
void installCaptureHooks(WorkingConfig& config, KeyCaptureTarget& target, HWND window);
void removeCaptureHooks(WorkingConfig& config);

// The recorder, installed only while recording; the first delay counts from now.
void installRecordHooks(WorkingConfig& config, MacroRecordTarget& target, HWND window);
void removeRecordHooks(WorkingConfig& config);

// The editor was activated (true) or deactivated: the hooks go in or out.
void setKeyHooksInFront(bool inFront);

// For tests: whether the low-level hook is installed now, and taking it out
// behind the hooks' back as Windows does with one that answered too late.
[[nodiscard]] bool lowLevelKeyHookInstalled();
[[nodiscard]] int lowLevelKeyHookInstallCount();
void dropLowLevelKeyHookForTest();

// The system's on-screen keyboard; its result is not reported.
void openOnScreenKeyboard();

}  // namespace kv
