// HID report descriptors: which top-level collections a device has, by
// usage page and usage, and how long each collection's reports are. The
// bytes come from the device (untrusted); every length and depth is bounded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tessaro/hid/hid_backend.h"

namespace kv::hid {

struct TopLevelCollection {
  uint16_t usagePage = 0;
  uint16_t usage = 0;
  std::vector<uint8_t> inputReportIds;  // ids with input data, ascending; {0} when unnumbered
  size_t inputBytes = 0;                // longest report's data, without the id byte
  size_t outputBytes = 0;
  size_t featureBytes = 0;
  // The first input array of consumer usages: where a consumer collection's
  // events are (their place differs between keyboards).
  ArrayField consumer;
};

struct ReportDescriptor {
  bool numbered = false;  // a Report ID item appears: every report starts with its id
  std::vector<TopLevelCollection> collections;
};

// False with *error set when the bytes are not a usable descriptor. Main
// items of unknown tags (a trailing 0x00 pad among them) are skipped, as
// the platforms' own parsers do; every other bound holds.
[[nodiscard]] bool ParseReportDescriptor(std::span<const uint8_t> bytes, ReportDescriptor* out, std::string* error);

// The layout we expect of the keyboard's configuration interface: the
// consumer collection (report 3, one 16-bit usage), the command collection
// (report 4, 63 bytes each way) and the LED collection (report 5, one byte
// out). The fake device and the Linux backend's tests present it.
std::span<const uint8_t> ExpectedKeyboardDescriptor();

}  // namespace kv::hid
