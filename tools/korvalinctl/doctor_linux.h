// doctor's checks of a hidraw node's access on Linux: the node (owner,
// mode, ACL), the udev rule that grants it, and the user's seat.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tools/korvalinctl/ctl.h"

namespace kvctl {

struct NodeEnvironment {
  std::string root;  // prefixed to /usr/lib/udev, /etc/udev and /run/systemd (tests)
  uid_t uid = 0;     // whose seat and access
};

// Adds the lines "node", "udev rule" and "seat". accessDenied: opening the
// node was refused, so a missing rule or seat is the reason, not a detail.
void CheckNodeAccess(const NodeEnvironment& env, const std::string& node, bool accessDenied,
                     std::vector<DoctorCheck>& checks);

}  // namespace kvctl
