// The simulated keyboard's control commands: one text line in, a text reply
// out ("OK" or "ERR <reason>" on the first line, data lines after it).
// Other processes reach it through the DLL's control pipe; tests call it
// directly.
#pragma once

#include <string>
#include <string_view>

#include "tessaro/sim/sim_keyboard.h"

namespace kv::sim {

std::string ExecuteControl(SimKeyboard& keyboard, std::string_view line);

// The commands, one per line, for "help" and the documentation.
extern const char* const kControlHelp;

}  // namespace kv::sim
