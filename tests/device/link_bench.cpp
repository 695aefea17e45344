// Reads and writes every region of the simulated keyboard and prints how
// long that took against what the round trips and mandated pauses alone
// cost (goal: at most 1.05), then the CPU time per transaction with a zero
// round trip. Build with the native-release preset for meaningful numbers.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "device/device_link.h"
#include "device/protocol.h"
#include "device/transport.h"
#include "tessaro/sim/sim_transport.h"
#include "tests/device/link_workload.h"

namespace {

using Clock = std::chrono::steady_clock;

bool start(std::chrono::microseconds roundTrip) {
  kv::ResetDeviceLink();
  kv::sim::SimConfig config;
  config.roundTrip = roundTrip;
  config.traceLines = 16;
  kv::sim::ResetKeyboard(config);
  kv::TransportApi api;
  kv::sim::BindSimulator(api);
  int count = 0;
  return kv::StartTransport(api, kv::DefaultTransportCallback, &count) == 0 && count == 1;
}

}  // namespace

int main() {
  const auto roundTrip = std::chrono::microseconds(2000);
  if (!start(roundTrip)) {
    std::fprintf(stderr, "the simulated keyboard did not start\n");
    return 1;
  }
  const int macroBytes = kv::sim::CurrentKeyboard()->status().macroBytes;
  const double pause = std::chrono::duration<double>(kv::DeviceLinkState().timing.endConfigPause).count();

  std::vector<double> ratios;
  for (int run = 0; run < 5; ++run) {
    uint64_t before = kv::sim::CurrentKeyboard()->status().reportsReceived;
    auto t0 = Clock::now();
    kvtest::Pass p = kvtest::everyRegion(macroBytes);
    double measured = std::chrono::duration<double>(Clock::now() - t0).count();
    uint64_t transactions = kv::sim::CurrentKeyboard()->status().reportsReceived - before;
    double expected = static_cast<double>(transactions) * std::chrono::duration<double>(roundTrip).count() +
                      p.pauses * pause;
    double ratio = measured / expected;
    ratios.push_back(ratio);
    std::printf("run %d: %llu transactions x %lld us + %d pauses of %.0f ms: measured %.4f s, expected %.4f s, "
                "ratio %.4f%s\n",
                run + 1, static_cast<unsigned long long>(transactions), static_cast<long long>(roundTrip.count()),
                p.pauses, pause * 1000, measured, expected, ratio, p.failures ? " (FAILURES)" : "");
  }
  std::sort(ratios.begin(), ratios.end());
  std::printf("median ratio %.4f (goal <= 1.05)\n", ratios[ratios.size() / 2]);

  if (!start(std::chrono::microseconds(0))) return 1;
  kv::DeviceLinkState().timing.endConfigPause = std::chrono::milliseconds(0);
  uint64_t before = kv::sim::CurrentKeyboard()->status().reportsReceived;
  std::clock_t c0 = std::clock();
  auto t0 = Clock::now();
  int failures = 0;
  for (int i = 0; i < 20; ++i) failures += kvtest::everyRegion(macroBytes).failures;
  double cpu = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
  double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  uint64_t transactions = kv::sim::CurrentKeyboard()->status().reportsReceived - before;
  std::printf("zero round trip: %llu transactions, CPU %.2f us per transaction (link and keyboard threads), "
              "wall %.2f us%s\n",
              static_cast<unsigned long long>(transactions), cpu * 1e6 / static_cast<double>(transactions),
              wall * 1e6 / static_cast<double>(transactions), failures ? " (FAILURES)" : "");
  kv::sim::ResetKeyboard(kv::sim::SimConfig{});
  return failures ? 1 : 0;
}
