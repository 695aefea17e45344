#include "tessaro/sim/sim_control.h"

#include <charconv>
#include <vector>

namespace kv::sim {

const char* const kControlHelp =
    "status\n"
    "plug | unplug\n"
    "event <code hex> [profile]      consumer event; 0402 also changes the active profile\n"
    "fault drop <n>                  the next n reports get no answer\n"
    "fault status <FF|FE> <n>        the next n reports are answered with that status\n"
    "fault echo <n>                  the next n answers echo another command\n"
    "fault late <ms> [n]             the next n answers (default 1) come ms late\n"
    "fault unplug <n>                the n-th report from now is lost as the keyboard goes away\n"
    "fault short <bytes> [n]         the next n answers (default 1) are cut to that length\n"
    "fault lie <n>                   the next n writes are answered with status 0 but not stored\n"
    "fault after <n>                 the faults set apply after n more reports\n"
    "fault clear\n"
    "roundtrip <microseconds>\n"
    "read <info|settings|colours|keys|default|macro> [offset [length]]\n"
    "write <info|settings|colours|keys|macro> <offset> <hex bytes>\n"
    "trace [clear]\n"
    "save | factory\n";

namespace {

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n')) ++i;
    size_t start = i;
    while (i < line.size() && !(line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n')) ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

bool number(std::string_view s, long long* out, int base = 10, long long lo = 0, long long hi = 1LL << 40) {
  long long v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (ec != std::errc() || p != s.data() + s.size() || v < lo || v > hi) return false;
  *out = v;
  return true;
}

std::string err(std::string_view why) { return "ERR " + std::string(why) + "\n"; }

std::string faultCommand(SimKeyboard& kb, const std::vector<std::string_view>& w) {
  if (w.size() < 2) return err("fault what?");
  SimFaults f = kb.faults();
  long long a = 0, b = 1;
  std::string_view kind = w[1];
  auto arg = [&](size_t i, long long* out, long long lo, long long hi, int base = 10) {
    return i < w.size() && number(w[i], out, base, lo, hi);
  };
  auto optional = [&](size_t i, long long* out) { return i >= w.size() || arg(i, out, 0, 1000000); };
  if (kind == "clear" && w.size() == 2) {
    f = SimFaults{};
  } else if (kind == "after" && w.size() == 3 && arg(2, &a, 0, 1000000)) {
    f.after = static_cast<int>(a);
  } else if (kind == "drop" && w.size() == 3 && arg(2, &a, 0, 1000000)) {
    f.dropResponses = static_cast<int>(a);
  } else if (kind == "status" && w.size() == 4 && arg(2, &a, 0xFE, 0xFF, 16) && arg(3, &b, 0, 1000000)) {
    f.statusByte = static_cast<uint8_t>(a);
    f.errorStatus = static_cast<int>(b);
  } else if (kind == "echo" && w.size() == 3 && arg(2, &a, 0, 1000000)) {
    f.wrongEcho = static_cast<int>(a);
  } else if (kind == "late" && w.size() <= 4 && arg(2, &a, 0, 600000) && optional(3, &b)) {
    f.lateDelay = std::chrono::milliseconds(a);
    f.lateResponses = static_cast<int>(b);
  } else if (kind == "lie" && w.size() == 3 && arg(2, &a, 0, 1000000)) {
    f.lyingWrites = static_cast<int>(a);
  } else if (kind == "unplug" && w.size() == 3 && arg(2, &a, 0, 1000000)) {
    f.unplugAfter = static_cast<int>(a);
  } else if (kind == "short" && w.size() <= 4 && arg(2, &a, 0, 64) && optional(3, &b)) {
    f.shortLength = static_cast<size_t>(a);
    f.shortResponses = static_cast<int>(b);
  } else {
    return err("bad fault command");
  }
  kb.setFaults(f);
  return "OK\n";
}

}  // namespace

std::string ExecuteControl(SimKeyboard& kb, std::string_view line) {
  std::vector<std::string_view> w = words(line);
  if (w.empty()) return err("empty command");
  std::string_view cmd = w[0];
  long long a = 0, b = 0;

  if (cmd == "help") return std::string("OK\n") + kControlHelp;
  if (cmd == "status" && w.size() == 1) {
    SimStatus s = kb.status();
    return "OK\nattached=" + std::to_string(s.attached ? 1 : 0) + " profile=" + std::to_string(s.activeProfile) +
           " macro=" + std::to_string(s.macroBytes) + " bracket=" + std::to_string(s.inBracket ? 1 : 0) +
           " roundtrip_us=" + std::to_string(s.roundTrip.count()) + " bank=" + Hex(s.bankReport) +
           " requests=" + std::to_string(s.standingRequests) + " reports=" + std::to_string(s.reportsReceived) +
           "\n";
  }
  if (cmd == "plug" && w.size() == 1) {
    kb.plug();
    return "OK\n";
  }
  if (cmd == "unplug" && w.size() == 1) {
    kb.unplug();
    return "OK\n";
  }
  if (cmd == "event" && (w.size() == 2 || w.size() == 3)) {
    if (!number(w[1], &a, 16, 0, 0xFFFF)) return err("event code is 1-4 hex digits");
    long long profile = -1;
    if (w.size() == 3 && !number(w[2], &profile, 10, 0, 2)) return err("profile is 0-2");
    kb.sendConsumerEvent(static_cast<uint16_t>(a), static_cast<int>(profile));
    return "OK\n";
  }
  if (cmd == "fault") return faultCommand(kb, w);
  if (cmd == "roundtrip" && w.size() == 2) {
    if (!number(w[1], &a, 10, 0, 10000000)) return err("round trip in microseconds");
    kb.setRoundTrip(std::chrono::microseconds(a));
    return "OK\n";
  }
  if (cmd == "read" && w.size() >= 2 && w.size() <= 4) {
    auto region = RegionByName(w[1]);
    if (!region) return err("unknown region");
    a = 0;
    b = 1 << 20;
    if (w.size() >= 3 && !number(w[2], &a, 10, 0, 1 << 20)) return err("bad offset");
    if (w.size() == 4 && !number(w[3], &b, 10, 0, 1 << 20)) return err("bad length");
    return "OK\n" + Hex(kb.read(*region, static_cast<size_t>(a), static_cast<size_t>(b))) + "\n";
  }
  if (cmd == "write" && w.size() == 4) {
    auto region = RegionByName(w[1]);
    if (!region) return err("unknown region");
    if (!number(w[2], &a, 10, 0, 1 << 20)) return err("bad offset");
    auto bytes = ParseHex(w[3]);
    if (!bytes) return err("bad hex bytes");
    if (!kb.write(*region, static_cast<size_t>(a), *bytes)) return err("outside the region or not writable");
    return "OK\n";
  }
  if (cmd == "trace" && w.size() == 1) {
    std::string out = "OK\n";
    for (const std::string& l : kb.trace()) out += l + "\n";
    return out;
  }
  if (cmd == "trace" && w.size() == 2 && w[1] == "clear") {
    kb.clearTrace();
    return "OK\n";
  }
  if (cmd == "save" && w.size() == 1) return kb.save() ? "OK\n" : err("state file not written");
  if (cmd == "factory" && w.size() == 1) {
    kb.restoreFactory();
    return "OK\n";
  }
  return err("unknown command; try help");
}

}  // namespace kv::sim
