// The HID backend of Windows: HID interfaces through SetupAPI (one path per
// top-level collection), attributes and capabilities from the HID class
// driver, overlapped reads and writes, arrivals and removals through a
// message-only window's device notifications.
#pragma once

#include <memory>

#include "tessaro/hid/hid_backend.h"

namespace kv::hid {

std::unique_ptr<HidBackend> MakeWindowsHidBackend();

// Writes "Tessaro: <line>" to the debugger output.
void DebugLine(const std::string& line);

}  // namespace kv::hid
