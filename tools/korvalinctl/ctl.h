// korvalinctl: the command-line face of the core. Parses the command line,
// checks every argument and file before anything is written, reaches the
// keyboard through the device link (the simulated keyboard in-process with
// --sim, else the platform's transport library) and runs the command over
// the same model, profile store and protocol code the program uses.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "device/transport.h"
#include "tessaro/hid/hid_backend.h"

namespace kvctl {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the keyboard refused or did not answer, or a file write failed
inline constexpr int kExitBadInput = 2;        // command line or file; nothing was written
inline constexpr int kExitNoKeyboard = 3;

// One keyboard the platform's transport found.
struct DeviceListing {
  struct Collection {
    uint16_t usagePage;
    uint16_t usage;
    std::string path;
  };
  std::string device;  // what tells it from another keyboard (its USB port)
  bool inUse = false;
  std::vector<Collection> collections;
};

// One line of doctor's report.
struct DoctorCheck {
  enum class Status { Ok, Problem, Skipped };
  std::string name;    // what was checked ("udev rule")
  Status status = Status::Ok;
  std::string detail;  // what was found
  std::string next;    // for a problem: what to do about it
};

struct Platform {
  // Starts the platform's transport (the library beside the program, or the
  // HID devices) with the callback: 0 and the device count; kExitFailed with
  // *cause when a keyboard is there but may not be used; any other non-zero
  // value with *cause when there is no transport. Null where there is none.
  int (*startLibrary)(kv::TransportCallback callback, int* deviceCount, std::string* cause) = nullptr;
  // The keyboards the started transport sees; null where it tells only counts.
  std::vector<DeviceListing> (*listDevices)() = nullptr;
  // doctor: the platform's HID devices seen directly (enumerated and
  // opened once, apart from the transport); null where there are none.
  std::unique_ptr<kv::hid::HidBackend> (*hidBackend)() = nullptr;
  // doctor on Linux: the node's owner and ACL, the udev rule, the seat.
  // accessDenied: opening the command collection was refused.
  void (*nodeChecks)(const std::string& node, bool accessDenied, std::vector<DoctorCheck>& checks) = nullptr;
};

// The commands Run knows (command empty), or the subcommands of one.
std::vector<std::string_view> DispatchedNames(std::string_view command);

// One run; arguments without the program name, UTF-8. Once per process: it
// binds the process-wide device link.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Platform& platform);

}  // namespace kvctl
