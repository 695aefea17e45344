// What the HID transport needs of the platform: the HID top-level
// collections attached now, a channel to one of them, and a signal when the
// set changes. Portable; the Windows, Linux and fake backends implement it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kv::hid {

// An input field that holds one usage as an index (a consumer control's
// array): report `reportId`'s bits [bitOffset, bitOffset + bitSize) after
// the id byte; the usage is the value - logicalMinimum + usageMinimum.
struct ArrayField {
  uint8_t reportId = 0;
  uint16_t bitSize = 0;  // 0: none
  uint32_t bitOffset = 0;
  int32_t logicalMinimum = 0;
  uint32_t usageMinimum = 0;
};
// The usage the field holds in a frame (byte 0 the report id); false when
// the frame is another report or too short for the field.
[[nodiscard]] bool ReadArrayUsage(const ArrayField& field, bool numbered, std::span<const uint8_t> frame,
                                  uint16_t* usage);

// One HID top-level collection. Report frames follow the Windows
// convention on every backend: byte 0 is the report id (0 when the device
// does not number its reports), then the report's data.
struct HidCollection {
  std::string path;       // what open() takes
  std::string deviceKey;  // the same for every collection of one physical keyboard
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t usagePage = 0;
  uint16_t usage = 0;
  uint16_t inputFrameBytes = 0;   // longest input report, id byte included; 0 = none
  uint16_t outputFrameBytes = 0;  // longest output report, id byte included; 0 = none
  bool numbered = false;          // reports carry a report id
  ArrayField consumerField;       // consumer collections, where the descriptor is known
};

enum class IoStatus {
  Ok,
  TimedOut,      // a write could not complete in time and was cancelled
  Cancelled,     // cancelRead() ended a read
  Gone,          // the device was removed
  Rejected,      // the device refused the report (a stall): the device is still there
  AccessDenied,  // the system does not let us open it
  Busy,          // another program holds it (a sharing violation)
  Failed,
};
const char* IoStatusName(IoStatus status);

// A write cancelled at its time-out may have completed before the
// cancellation took: what its final result (completed, bytes sent) means.
[[nodiscard]] IoStatus CancelledWriteStatus(bool completed, size_t sent, size_t wanted);

// An open collection. read() and write() may run at the same time on
// different threads; cancelRead() may be called from any thread.
class HidChannel {
 public:
  virtual ~HidChannel() = default;
  // Blocks until a whole input report of this collection arrives, the read
  // is cancelled or the device goes. No time-out: an idle keyboard costs no CPU.
  [[nodiscard]] virtual IoStatus read(std::vector<uint8_t>& frame) = 0;
  // Sends one output report; gives up (cancelling it) after the time-out.
  [[nodiscard]] virtual IoStatus write(std::span<const uint8_t> frame, std::chrono::milliseconds timeout) = 0;
  virtual void cancelRead() = 0;
  // Drops the input reports the platform holds that no read has taken yet.
  // Called before an output report goes out, so that an answer to an
  // earlier one cannot be read as its answer. May run while read() waits.
  virtual void discardInput() = 0;
  // The consumer usage an input report of the collection carries; 0 for
  // none (a release). By default from the collection's consumerField.
  [[nodiscard]] virtual uint16_t consumerUsage(const HidCollection& collection, std::span<const uint8_t> frame);
};

class HidBackend {
 public:
  virtual ~HidBackend() = default;
  // Every HID top-level collection attached now (of any device).
  virtual std::vector<HidCollection> enumerate() = 0;
  // Opens a collection for reading and writing. On failure returns null and
  // sets *status and *message (a line for the user: AccessDenied names the
  // node and what to do about it).
  virtual std::unique_ptr<HidChannel> open(const HidCollection& collection, IoStatus* status,
                                           std::string* message) = 0;
  // Calls changed (on a thread of the backend's) whenever devices may have
  // come or gone; false when the platform gives no such notice.
  virtual bool watch(std::function<void()> changed) = 0;
  // Stops the notices; no call of `changed` runs after it returns.
  virtual void unwatch() = 0;
};

}  // namespace kv::hid
