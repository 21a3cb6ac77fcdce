// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whether this user may use the machine's serial devices at all. A fresh
// installation usually finds the GPS plugged in but owned by a group the
// surveyor is not in ("dialout" on Debian); the navigation program then
// says, once, what to do about it instead of failing port by port.

#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

namespace halvex::platform {

// Who the program runs as, for deciding access from owner, group and mode.
struct UserIdentity {
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;  // supplementary groups

  // The effective user and group of this process and its supplementary
  // groups.
  static UserIdentity Current();
};

// True when the owner, group and permission bits of a file let `user`
// both read and write it. uid 0 may always. Access control lists are not
// looked at: a device that only an ACL opens counts as closed.
bool MayReadWrite(const struct stat& info, const UserIdentity& user);

// The name of a group, or its number as text when it has no name.
std::string GroupName(gid_t gid);

struct SerialDeviceAccess {
  std::string path;  // as SerialPortMap lists it (a by-id link if any)
  bool accessible = false;
  std::string group;  // the group that owns the device
};

// The kernel's serial devices (those SerialPortMap lists, without any INI
// entries) and whether `user` may open each. `devRoot` is "/dev" and
// `sysRoot` "/sys" except in tests. A device that vanishes while it is
// looked at is left out.
std::vector<SerialDeviceAccess> CheckSerialAccess(const UserIdentity& user,
                                                  const std::string& devRoot = "/dev",
                                                  const std::string& sysRoot = "/sys");

// The lines the message window shows when there are serial devices and the
// user may open none of them: which devices, the group to join and the
// command that joins it. Empty when there is no device or one is usable.
// A device owned by the group "root" gets no advice to join that group.
std::vector<std::string> SerialAccessNotice(const std::vector<SerialDeviceAccess>& devices);

}  // namespace halvex::platform
