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

// Removes an installed pair first, so there is never more than one.
void installCaptureHooks(WorkingConfig& config, KeyCaptureTarget& target);
void removeCaptureHooks(WorkingConfig& config);

// The system's on-screen keyboard; its result is not reported.
void openOnScreenKeyboard();

}  // namespace kv
