// The HID backend of Linux: hidraw nodes found through sysfs (ids from the
// HID device's uevent, collections from its report descriptor), reads and
// writes on the node, arrivals and removals from inotify on /dev.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <sys/types.h>

#include "tessaro/hid/hid_backend.h"

namespace kv::hid {

struct LinuxHidOptions {
  std::string sysClass = "/sys/class/hidraw";
  std::string devDir = "/dev";
  // Opens a node (open(2) by default; tests hand out socket pairs).
  std::function<int(const std::string& path, int flags)> openNode;
  // Reads and writes an open node (read(2), write(2) by default; tests
  // stand in for what hidraw does: a write that blocks whatever the flags,
  // EIO at a disconnect).
  std::function<ssize_t(int fd, void* buffer, size_t size)> readNode;
  std::function<ssize_t(int fd, const void* buffer, size_t size)> writeNode;
};

// What an errno of open, read or write on a hidraw node means: EPIPE (and
// EPROTO, EILSEQ) is the device refusing the report, not its removal.
[[nodiscard]] IoStatus StatusOfErrno(int error);

std::unique_ptr<HidBackend> MakeLinuxHidBackend(LinuxHidOptions options = {});

// What a HID device's sysfs uevent file says about it.
struct HidUevent {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  std::string physical;  // HID_PHYS without its "/inputN": one per physical device
  std::string name;      // HID_NAME
};
// False when the text has no usable HID_ID line.
[[nodiscard]] bool ParseHidUevent(std::string_view text, HidUevent* out);

// The udev rule that gives the logged-in user the keyboard's nodes: the
// package installs it in the first folder; a source tree's copy goes in
// the second. The line that tells the user about it.
inline constexpr const char* kUdevRuleFile = "60-korvalin.rules";
inline constexpr const char* kPackageRulesDir = "/usr/lib/udev/rules.d";
inline constexpr const char* kLocalRulesDir = "/etc/udev/rules.d";
std::string AccessDeniedMessage(const std::string& node);

}  // namespace kv::hid
