// korvalinctl doctor: why a keyboard "does not work". Each check gives one
// line (ok or problem, what was found, the next step); the report ends with
// one verdict. The checks over the HID devices and the report are portable;
// the checks of a hidraw node's access are Linux's (doctor_linux.cpp).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tessaro/hid/hid_backend.h"
#include "tools/korvalinctl/ctl.h"
#include "tools/korvalinctl/json.h"

namespace kvctl {

// A full-speed keyboard answers a command report within this.
inline constexpr double kFullSpeedRoundTripMs = 2.0;
// Round trips timed after the information block was read.
inline constexpr int kDoctorRoundTrips = 20;

// What the checks found out about the command collection.
struct CommandCollection {
  kv::hid::HidCollection collection;
  kv::hid::IoStatus openStatus = kv::hid::IoStatus::Ok;  // Ok: it opened
  std::string openMessage;
};

// The keyboard on the bus (vendor and product id, its collections and their
// usage pages), then its command collection found and opened. Returns the
// command collection when the keyboard has one; the opened channel is
// closed again before returning. nodeChecksFollow: checks of the node's
// access come next and say what to do about a refusal.
std::optional<CommandCollection> CheckKeyboardOnBus(kv::hid::HidBackend& backend, std::vector<DoctorCheck>& checks,
                                                    bool nodeChecksFollow = false);

// The round trips' median and worst against a full-speed keyboard's.
DoctorCheck RoundTripCheck(std::span<const double> milliseconds);

// The verdict line: the first problem's reason and next step, or that the
// keyboard can be used. *usable is false when any check found a problem.
std::string Verdict(const std::vector<DoctorCheck>& checks, bool* usable);

// One line per check and the verdict; or the same as one JSON object.
std::string DoctorText(const std::vector<DoctorCheck>& checks, const std::string& verdict);
Json DoctorJson(const std::vector<DoctorCheck>& checks, const std::string& verdict, bool usable,
                std::span<const double> roundTrips);

}  // namespace kvctl
