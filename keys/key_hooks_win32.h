// The single-key capture hooks: a thread keyboard hook and a low-level
// keyboard hook, installed while the composite editor shows its single-key
// page. Both run on the user-interface thread that installs them.
#pragma once

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

// Removes an installed pair first, so there is never more than one.
void installCaptureHooks(WorkingConfig& config, KeyCaptureTarget& target);
void removeCaptureHooks(WorkingConfig& config);

// The recorder's pair, installed only while recording; lastTick starts now.
void installRecordHooks(WorkingConfig& config, MacroRecordTarget& target);
void removeRecordHooks(WorkingConfig& config);

// The system's on-screen keyboard; its result is not reported.
void openOnScreenKeyboard();

}  // namespace kv
