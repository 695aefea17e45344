// A state file of any content either loads or is refused with a reason.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "tessaro/sim/sim_keyboard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::sim::SimMemory memory = kv::sim::FactoryMemory(1, 0);
  std::string error;
  bool ok = kv::sim::ParseState(std::span<const uint8_t>(data, size), &memory, &error);
  if (ok != error.empty() && ok) __builtin_trap();
  if (ok && memory.macro.size() != memory.info[11] * 128u) __builtin_trap();
  return 0;
}
