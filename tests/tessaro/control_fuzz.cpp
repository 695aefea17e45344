// Control commands come from other processes: any line gets a reply that
// starts with OK or ERR. Input: one or more lines.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tessaro/sim/sim_control.h"
#include "tessaro/sim/sim_keyboard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kv::sim::SimKeyboard* keyboard = [] {
    kv::sim::SimConfig c;
    c.roundTrip = std::chrono::microseconds(0);
    c.traceLines = 64;
    return new kv::sim::SimKeyboard(c);
  }();
  std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  while (start <= text.size()) {
    size_t nl = text.find('\n', start);
    std::string_view line = text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
    // Long waits would only slow the fuzzer down.
    if (line.find("late") == std::string_view::npos && line.find("roundtrip") == std::string_view::npos) {
      std::string reply = kv::sim::ExecuteControl(*keyboard, line);
      if (reply.rfind("OK", 0) != 0 && reply.rfind("ERR", 0) != 0) __builtin_trap();
    }
    if (nl == std::string_view::npos) break;
    start = nl + 1;
  }
  keyboard->setFaults({});
  return 0;
}
