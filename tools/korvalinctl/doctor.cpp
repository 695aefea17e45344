#include "tools/korvalinctl/doctor.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "device/transport.h"

namespace kvctl {

namespace {

using kv::hid::IoStatus;
using Status = DoctorCheck::Status;

std::string hex4(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", v);
  return buf;
}

std::string milliseconds(double ms) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f ms", ms);
  return buf;
}

const char* statusWord(Status s) {
  switch (s) {
    case Status::Ok: return "ok";
    case Status::Problem: return "problem";
    case Status::Skipped: return "skipped";
  }
  return "?";
}

}  // namespace

std::optional<CommandCollection> CheckKeyboardOnBus(kv::hid::HidBackend& backend, std::vector<DoctorCheck>& checks,
                                                    bool nodeChecksFollow) {
  const std::string ids = hex4(kv::kKeyboardVendorId) + ":" + hex4(kv::kKeyboardProductId);
  std::vector<kv::hid::HidCollection> all = backend.enumerate();
  std::vector<kv::hid::HidCollection> ours;
  std::set<std::string> keys;
  for (const kv::hid::HidCollection& c : all)
    if (c.vendorId == kv::kKeyboardVendorId && c.productId == kv::kKeyboardProductId) {
      ours.push_back(c);
      keys.insert(c.deviceKey);
    }
  DoctorCheck bus{"keyboard on the bus", Status::Ok, {}, {}};
  if (ours.empty()) {
    bus.status = Status::Problem;
    bus.detail = "no HID device " + ids + " among the " + std::to_string(all.size()) + " collections attached";
    bus.next = "plug the keyboard in (straight into the computer, not through a hub or a switch) and run doctor again";
    checks.push_back(std::move(bus));
    return std::nullopt;
  }
  // The first keyboard by device key: the one every other command uses.
  const std::string key = *keys.begin();
  std::string pages;
  int collections = 0;
  for (const kv::hid::HidCollection& c : ours) {
    if (c.deviceKey != key) continue;
    ++collections;
    pages += (pages.empty() ? "" : ", ") + ("0x" + hex4(c.usagePage));
  }
  bus.detail = ids + " at " + key + ", " + std::to_string(collections) + " collection" +
               (collections == 1 ? "" : "s") + " (usage pages " + pages + ")";
  if (keys.size() > 1) bus.detail += "; " + std::to_string(keys.size()) + " such keyboards, this one is used";
  checks.push_back(std::move(bus));

  DoctorCheck found{"command collection", Status::Ok, {}, {}};
  auto command = std::find_if(ours.begin(), ours.end(), [&](const kv::hid::HidCollection& c) {
    return c.deviceKey == key && c.usagePage == kv::kCommandChannel.usagePage && c.usage == kv::kCommandChannel.usage;
  });
  if (command == ours.end()) {
    found.status = Status::Problem;
    found.detail = "absent: the keyboard has no collection 0x" + hex4(kv::kCommandChannel.usagePage) + "/0x" +
                   hex4(kv::kCommandChannel.usage) + " (another model, or its configuration interface is off)";
    found.next = "check that it is the right keyboard; replug it";
    checks.push_back(std::move(found));
    return std::nullopt;
  }
  CommandCollection result{*command, IoStatus::Ok, {}};
  IoStatus status = IoStatus::Failed;
  std::string message;
  if (std::unique_ptr<kv::hid::HidChannel> channel = backend.open(*command, &status, &message)) {
    found.detail = "found and opened: " + command->path;
  } else {
    result.openStatus = status;
    result.openMessage = message;
    found.status = Status::Problem;
    switch (status) {
      case IoStatus::AccessDenied:
        found.detail = command->path + ": permission denied";
        if (!nodeChecksFollow) found.next = "run korvalinctl as the user logged in at the computer; " + message;
        break;
      case IoStatus::Busy:
        found.detail = command->path + ": in use by another program";
        found.next = "close the keyboard's other configuration programs, then run doctor again";
        break;
      case IoStatus::Gone:
        found.detail = command->path + ": absent (it went while being opened)";
        found.next = "replug the keyboard and run doctor again";
        break;
      default:
        found.detail = command->path + ": " + (message.empty() ? kv::hid::IoStatusName(status) : message);
        found.next = "replug the keyboard and run doctor again";
        break;
    }
  }
  checks.push_back(std::move(found));
  return result;
}

DoctorCheck RoundTripCheck(std::span<const double> ms) {
  DoctorCheck check{"round trips", Status::Ok, {}, {}};
  if (ms.empty()) {
    check.status = Status::Problem;
    check.detail = "none completed";
    check.next = "replug the keyboard and run doctor again";
    return check;
  }
  std::vector<double> sorted(ms.begin(), ms.end());
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted.size() % 2 ? sorted[sorted.size() / 2]
                                          : (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]) / 2;
  const double worst = sorted.back();
  check.detail = std::to_string(ms.size()) + " timed: median " + milliseconds(median) + ", worst " +
                 milliseconds(worst) + " (a full-speed keyboard answers in " + milliseconds(kFullSpeedRoundTripMs) +
                 ")";
  // Half as slow again is still a working keyboard on a busy machine; more
  // is a hub, a switch or a port that polls it seldom.
  if (median > 1.5 * kFullSpeedRoundTripMs) {
    check.status = Status::Problem;
    check.next = "plug the keyboard straight into the computer (not a hub, a switch or a front-panel port)";
  }
  return check;
}

std::string Verdict(const std::vector<DoctorCheck>& checks, bool* usable) {
  // The first problem is the reason; the first next step among the problems
  // is what to do (a refused node's step is its rule's or its seat's).
  const DoctorCheck* reason = nullptr;
  const DoctorCheck* step = nullptr;
  for (const DoctorCheck& c : checks) {
    if (c.status != Status::Problem) continue;
    if (!reason) reason = &c;
    if (!step && !c.next.empty()) step = &c;
  }
  *usable = reason == nullptr;
  if (!reason) return "the keyboard can be used";
  std::string verdict = "the keyboard cannot be used: " + reason->name + ": " + reason->detail;
  if (step) verdict += "; next: " + step->next;
  return verdict;
}

std::string DoctorText(const std::vector<DoctorCheck>& checks, const std::string& verdict) {
  std::string out;
  for (const DoctorCheck& c : checks) {
    std::string word = statusWord(c.status);
    word.resize(8, ' ');
    out += word + c.name + ": " + c.detail;
    if (c.status == Status::Problem && !c.next.empty()) out += ". Next: " + c.next;
    out += '\n';
  }
  out += "verdict: " + verdict + '\n';
  return out;
}

Json DoctorJson(const std::vector<DoctorCheck>& checks, const std::string& verdict, bool usable,
                std::span<const double> roundTrips) {
  Json list = Json::array();
  for (const DoctorCheck& c : checks) {
    Json j = Json::object();
    j.set("check", c.name).set("status", statusWord(c.status)).set("detail", c.detail);
    if (!c.next.empty()) j.set("next", c.next);
    list.push(std::move(j));
  }
  Json j = Json::object();
  j.set("checks", std::move(list));
  if (!roundTrips.empty()) {
    Json times = Json::array();
    // Microseconds: the JSON writer has integers only.
    for (double ms : roundTrips) times.push(static_cast<int64_t>(ms * 1000 + 0.5));
    j.set("round_trips_us", std::move(times));
  }
  j.set("usable", usable).set("verdict", verdict);
  return j;
}

}  // namespace kvctl
