// doctor: the keyboard on the bus, its command collection opened, on
// Linux the node's access, then one read of the information block and
// timed round trips; one line each and a verdict.
#include <array>
#include <chrono>

#include "device/protocol.h"
#include "tools/korvalinctl/doctor.h"
#include "tools/korvalinctl/session.h"

namespace kvctl {

namespace {

using Status = DoctorCheck::Status;

// The information block read once, then timed reads of it.
void checkProtocol(std::vector<DoctorCheck>& checks, std::vector<double>& roundTrips) {
  std::array<uint8_t, kv::kInfoBlockSize> info{};
  int result = kv::ReadInfoBlock(info);
  if (result != kv::kResultSuccess) {
    checks.push_back({"information block", Status::Problem,
                      "could not be read (result " + std::to_string(result) + "): the keyboard did not answer",
                      "replug the keyboard; if it stays so, it takes no command reports (another firmware?)"});
    checks.push_back({"round trips", Status::Skipped, "the keyboard does not answer", {}});
    return;
  }
  checks.push_back({"information block", Status::Ok,
                    "read: active profile " + std::to_string(info[kv::kInfoActiveProfile]) + ", " +
                        std::to_string(static_cast<int>(info[kv::kInfoMacroUnits]) * 128) + " bytes of macro memory",
                    {}});
  for (int i = 0; i < kDoctorRoundTrips; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    result = kv::ReadInfoBlock(info);
    auto took = std::chrono::steady_clock::now() - t0;
    if (result != kv::kResultSuccess) {
      checks.push_back({"round trips", Status::Problem,
                        "round trip " + std::to_string(i + 1) + " of " + std::to_string(kDoctorRoundTrips) +
                            " failed (result " + std::to_string(result) + ")",
                        "replug the keyboard, straight into the computer, and run doctor again"});
      return;
    }
    roundTrips.push_back(std::chrono::duration<double, std::milli>(took).count());
  }
  checks.push_back(RoundTripCheck(roundTrips));
}

}  // namespace

int cmdDoctor(Session& s) {
  if (int r = s.expectOptions({"--json"})) return r;
  if (int r = s.expectArguments(1, 0)) return r;

  std::vector<DoctorCheck> checks;
  std::vector<double> roundTrips;
  bool reachable = true;  // worth trying the protocol
  if (s.sim) {
    checks.push_back({"keyboard on the bus", Status::Ok, "simulated keyboard " + s.simArg, {}});
  } else if (s.platform().hidBackend) {
    std::unique_ptr<kv::hid::HidBackend> backend = s.platform().hidBackend();
    std::optional<CommandCollection> command =
        CheckKeyboardOnBus(*backend, checks, s.platform().nodeChecks != nullptr);
    reachable = command && command->openStatus == kv::hid::IoStatus::Ok;
    if (command && s.platform().nodeChecks)
      s.platform().nodeChecks(command->collection.path, command->openStatus == kv::hid::IoStatus::AccessDenied,
                              checks);
  }

  if (reachable) {
    if (s.connect(false) != kExitOk) {
      checks.push_back({"transport", Status::Problem, "the keyboard could not be reached (the line above says why)",
                        "replug the keyboard and run doctor again"});
    } else if (s.deviceCount == 0) {
      checks.push_back({"transport", Status::Problem, "the transport finds no keyboard",
                        "replug the keyboard and run doctor again"});
    } else {
      checkProtocol(checks, roundTrips);
    }
  } else {
    checks.push_back({"protocol", Status::Skipped, "the command collection cannot be used", {}});
  }

  bool usable = true;
  std::string verdict = Verdict(checks, &usable);
  if (s.flag("--json"))
    s.out << DoctorJson(checks, verdict, usable, roundTrips).dump() << '\n';
  else
    s.out << DoctorText(checks, verdict);
  return usable ? kExitOk : kExitFailed;
}

}  // namespace kvctl
