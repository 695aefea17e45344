#include "tools/korvalinctl/doctor_linux.h"

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tessaro/hid/hid_linux.h"

namespace kvctl {

namespace {

using Status = DoctorCheck::Status;

std::string userName(uid_t uid) {
  if (const passwd* p = ::getpwuid(uid)) return p->pw_name;
  return std::to_string(uid);
}

std::string groupName(gid_t gid) {
  if (const group* g = ::getgrgid(gid)) return g->gr_name;
  return std::to_string(gid);
}

std::string permissions(unsigned bits) {
  std::string s;
  s += bits & 4 ? 'r' : '-';
  s += bits & 2 ? 'w' : '-';
  return s;
}

// The named users and groups of the node's access ACL, from its extended
// attribute (version 2: a 4-byte header, then 8-byte entries of tag,
// permissions and id), so no ACL library is needed. "" when it has none.
std::string aclEntries(const std::string& node, bool* forUser, uid_t uid) {
  unsigned char buffer[1024];
  ssize_t n = ::getxattr(node.c_str(), "system.posix_acl_access", buffer, sizeof buffer);
  if (n < 4) return {};
  std::string out;
  for (ssize_t at = 4; at + 8 <= n; at += 8) {
    unsigned tag = buffer[at] | buffer[at + 1] << 8;
    unsigned perm = buffer[at + 2] | buffer[at + 3] << 8;
    uint32_t id = buffer[at + 4] | buffer[at + 5] << 8 | buffer[at + 6] << 16 | static_cast<uint32_t>(buffer[at + 7]) << 24;
    if (tag == 0x02) {  // a named user
      out += (out.empty() ? "" : ", ") + ("user " + userName(id) + " " + permissions(perm));
      if (id == uid && (perm & 6) == 6) *forUser = true;
    } else if (tag == 0x08) {  // a named group
      out += (out.empty() ? "" : ", ") + ("group " + groupName(id) + " " + permissions(perm));
    }
  }
  return out;
}

bool fileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The seat of an active local session of uid, from logind's session files
// (UID=, SEAT=, ACTIVE=, REMOTE=); "" when there is none.
std::string localSeat(const NodeEnvironment& env) {
  const std::string dir = env.root + "/run/systemd/sessions";
  DIR* d = ::opendir(dir.c_str());
  if (!d) return {};
  std::string seat;
  while (dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.' || std::strchr(e->d_name, '.')) continue;  // ".ref" files and the like
    std::ifstream in(dir + "/" + e->d_name);
    std::string line, uid, s, active, remote;
    while (std::getline(in, line)) {
      if (line.rfind("UID=", 0) == 0) uid = line.substr(4);
      if (line.rfind("SEAT=", 0) == 0) s = line.substr(5);
      if (line.rfind("ACTIVE=", 0) == 0) active = line.substr(7);
      if (line.rfind("REMOTE=", 0) == 0) remote = line.substr(7);
    }
    if (uid == std::to_string(env.uid) && !s.empty() && active == "1" && remote != "1") {
      seat = s + " (session " + e->d_name + ")";
      break;
    }
  }
  ::closedir(d);
  return seat;
}

}  // namespace

void CheckNodeAccess(const NodeEnvironment& env, const std::string& node, bool accessDenied,
                     std::vector<DoctorCheck>& checks) {
  const std::string rule = kv::hid::kUdevRuleFile;
  const std::string you = userName(env.uid);

  DoctorCheck nodeCheck{"node", Status::Ok, {}, {}};
  struct stat st;
  bool aclForUser = false;
  if (::stat(node.c_str(), &st) != 0) {
    nodeCheck.status = Status::Problem;
    nodeCheck.detail = node + ": " + std::strerror(errno);
    nodeCheck.next = "replug the keyboard and run doctor again";
  } else {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    std::string acl = aclEntries(node, &aclForUser, env.uid);
    nodeCheck.detail = node + ": owner " + userName(st.st_uid) + ":" + groupName(st.st_gid) + ", mode " + mode +
                       ", " + (acl.empty() ? "no ACL" : "ACL " + acl);
    if (accessDenied) {
      nodeCheck.status = Status::Problem;
      nodeCheck.detail += "; user " + you + " may not read and write it";
    }
  }
  checks.push_back(std::move(nodeCheck));

  DoctorCheck ruleCheck{"udev rule", Status::Ok, {}, {}};
  const std::string packaged = std::string(kv::hid::kPackageRulesDir) + "/" + rule;
  const std::string local = std::string(kv::hid::kLocalRulesDir) + "/" + rule;
  if (fileExists(env.root + packaged)) {
    ruleCheck.detail = packaged + " is installed";
  } else if (fileExists(env.root + local)) {
    ruleCheck.detail = local + " is installed";
  } else {
    ruleCheck.detail = rule + " is in neither " + kv::hid::kPackageRulesDir + " nor " + kv::hid::kLocalRulesDir;
    if (accessDenied) {
      ruleCheck.status = Status::Problem;
      ruleCheck.next = "reinstall the korvalin package, or from a source tree: sudo install -m 644 packaging/linux/" +
                       rule + " " + kv::hid::kLocalRulesDir + "/ && sudo udevadm control --reload && sudo udevadm "
                       "trigger; then unplug and replug the keyboard";
    } else {
      ruleCheck.detail += " (not needed: user " + you + " can open the node)";
    }
  }
  checks.push_back(std::move(ruleCheck));

  DoctorCheck seatCheck{"seat", Status::Ok, {}, {}};
  std::string seat = localSeat(env);
  if (env.uid == 0) {
    seatCheck.detail = "running as root, which may open any node";
  } else if (!seat.empty()) {
    seatCheck.detail = "user " + you + " is logged in at the local seat " + seat + ", which the rule's uaccess serves";
  } else {
    seatCheck.detail = "user " + you + " has no active session at a local seat (ssh, a service, another user's desktop)";
    if (accessDenied) {
      seatCheck.status = Status::Problem;
      seatCheck.next = "run it from the desktop at the keyboard's computer, or add a group rule: "
                       "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"0c45\", ATTRS{idProduct}==\"6518\", "
                       "GROUP=\"plugdev\", MODE=\"0660\" in " + std::string(kv::hid::kLocalRulesDir) +
                       "/61-korvalin-group.rules, and join that group";
    } else {
      seatCheck.detail += "; access comes from elsewhere";
    }
  }
  checks.push_back(std::move(seatCheck));
}

}  // namespace kvctl
