// korvalinctl: the command-line face of the core. Parses the command line,
// checks every argument and file before anything is written, reaches the
// keyboard through the device link (the simulated keyboard in-process with
// --sim, else the platform's transport library) and runs the command over
// the same model, profile store and protocol code the program uses.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "device/transport.h"

namespace kvctl {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the keyboard refused or did not answer, or a file write failed
inline constexpr int kExitBadInput = 2;        // command line or file; nothing was written
inline constexpr int kExitNoKeyboard = 3;

struct Platform {
  // Loads the transport library beside the program and starts it with the
  // callback: 0 and the device count, or non-zero with *cause. Null where
  // no library can be loaded.
  int (*startLibrary)(kv::TransportCallback callback, int* deviceCount, std::string* cause) = nullptr;
};

// One run; arguments without the program name, UTF-8. Once per process: it
// binds the process-wide device link.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Platform& platform);

}  // namespace kvctl
