// korvalinctl outside Windows. On Linux it reaches the keyboard attached
// through its hidraw nodes (the HID transport), or the simulated keyboard
// with --sim STATE; elsewhere only the simulated one.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "tools/korvalinctl/ctl.h"

#ifdef __linux__
#include "tessaro/hid/hid_linux.h"
#include "tessaro/hid/hid_transport.h"
#include "tools/korvalinctl/doctor_linux.h"

#include <unistd.h>

namespace {

// KORVALIN_HIDRAW_ROOT moves where the nodes are looked for
// (ROOT/sys/class/hidraw and ROOT/dev), and where doctor looks for the udev
// rule and the seat (ROOT/usr/lib/udev, ROOT/etc/udev, ROOT/run/systemd):
// tests and diagnostics.
kv::hid::LinuxHidOptions hidrawOptions() {
  kv::hid::LinuxHidOptions o;
  if (const char* root = std::getenv("KORVALIN_HIDRAW_ROOT"); root && *root) {
    o.sysClass = std::string(root) + "/sys/class/hidraw";
    o.devDir = std::string(root) + "/dev";
  }
  return o;
}

int startHid(kv::TransportCallback callback, int* deviceCount, std::string* cause) {
  kv::hid::InstallTransport(std::make_unique<kv::hid::HidTransport>(kv::hid::MakeLinuxHidBackend(hidrawOptions())));
  kv::TransportApi api;
  kv::hid::BindHidTransport(api);
  if (kv::StartTransport(api, callback, deviceCount) != 0) {
    *cause = "the HID transport did not start";
    return kvctl::kExitNoKeyboard;
  }
  // The standing reads opened the keyboard's nodes: a refusal shows here,
  // before any command is tried.
  if (*deviceCount > 0) {
    if (std::string problem = kv::hid::CurrentTransport()->lastError(); !problem.empty()) {
      *cause = problem;
      return kvctl::kExitFailed;
    }
  }
  return 0;
}

std::unique_ptr<kv::hid::HidBackend> hidBackend() { return kv::hid::MakeLinuxHidBackend(hidrawOptions()); }

void nodeChecks(const std::string& node, bool accessDenied, std::vector<kvctl::DoctorCheck>& checks) {
  kvctl::NodeEnvironment env;
  if (const char* root = std::getenv("KORVALIN_HIDRAW_ROOT"); root && *root) env.root = root;
  env.uid = ::geteuid();
  kvctl::CheckNodeAccess(env, node, accessDenied, checks);
}

std::vector<kvctl::DeviceListing> listHid() {
  std::vector<kvctl::DeviceListing> out;
  auto transport = kv::hid::CurrentTransport();
  if (!transport) return out;
  for (const kv::hid::KeyboardInfo& k : transport->keyboards()) {
    kvctl::DeviceListing d;
    d.device = k.deviceKey;
    d.inUse = k.selected;
    for (const kv::hid::HidCollection& c : k.collections) d.collections.push_back({c.usagePage, c.usage, c.path});
    out.push_back(std::move(d));
  }
  return out;
}

}  // namespace
#endif

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  kvctl::Platform platform;
#ifdef __linux__
  platform.startLibrary = startHid;
  platform.listDevices = listHid;
  platform.hidBackend = hidBackend;
  platform.nodeChecks = nodeChecks;
#endif
  return kvctl::Run(args, std::cout, std::cerr, platform);
}
