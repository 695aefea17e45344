// The HID backend of Windows: HID interfaces through SetupAPI (one path per
// top-level collection), attributes and capabilities from the HID class
// driver, overlapped reads and writes, arrivals and removals through a
// message-only window's device notifications.
#pragma once

#include <memory>

#include "tessaro/hid/hid_backend.h"

namespace kv::hid {

std::unique_ptr<HidBackend> MakeWindowsHidBackend();

// What a Win32 error of CreateFile, ReadFile or WriteFile on a HID
// collection means: ERROR_GEN_FAILURE and ERROR_BAD_COMMAND are the device
// refusing a report (a stall), not its removal.
[[nodiscard]] IoStatus StatusOfError(unsigned long error);

// Writes "Tessaro: <line>" to the debugger output.
void DebugLine(const std::string& line);

}  // namespace kv::hid
