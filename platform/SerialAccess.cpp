// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SerialAccess.hpp"

#include "platform/SerialDevice.hpp"

#include <algorithm>
#include <cerrno>
#include <set>

#include <grp.h>
#include <unistd.h>

namespace halvex::platform {

UserIdentity UserIdentity::Current() {
  UserIdentity user;
  user.uid = ::geteuid();
  user.gid = ::getegid();
  const int count = ::getgroups(0, nullptr);
  if (count > 0) {
    user.groups.resize(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, user.groups.data());
    user.groups.resize(static_cast<std::size_t>(std::max(got, 0)));
  }
  return user;
}

bool MayReadWrite(const struct stat& info, const UserIdentity& user) {
  constexpr mode_t kOwner = S_IRUSR | S_IWUSR;
  constexpr mode_t kGroup = S_IRGRP | S_IWGRP;
  constexpr mode_t kOther = S_IROTH | S_IWOTH;
  if (user.uid == 0) {
    return true;
  }
  // As the kernel decides: the owner class applies to the owner alone,
  // the group class to members, the rest to everyone else.
  if (info.st_uid == user.uid) {
    return (info.st_mode & kOwner) == kOwner;
  }
  const bool member = info.st_gid == user.gid || std::find(user.groups.begin(), user.groups.end(),
                                                           info.st_gid) != user.groups.end();
  if (member) {
    return (info.st_mode & kGroup) == kGroup;
  }
  return (info.st_mode & kOther) == kOther;
}

std::string GroupName(gid_t gid) {
  long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
  std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 4096));
  for (;;) {
    group entry{};
    group* found = nullptr;
    const int result = ::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found);
    if (result == ERANGE && buffer.size() < (std::size_t{1} << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (result == 0 && found != nullptr) {
      return found->gr_name;
    }
    return std::to_string(gid);
  }
}

std::vector<SerialDeviceAccess> CheckSerialAccess(const UserIdentity& user,
                                                  const std::string& devRoot,
                                                  const std::string& sysRoot) {
  std::vector<SerialDeviceAccess> devices;
  const SerialPortMap map = SerialPortMap::Scan(nullptr, devRoot, sysRoot);
  for (const auto& [number, path] : map.Ports()) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
      continue;
    }
    devices.push_back({path, MayReadWrite(info, user), GroupName(info.st_gid)});
  }
  return devices;
}

std::vector<std::string> SerialAccessNotice(const std::vector<SerialDeviceAccess>& devices) {
  if (devices.empty() ||
      std::any_of(devices.begin(), devices.end(), [](const auto& d) { return d.accessible; })) {
    return {};
  }
  std::string paths;
  std::set<std::string> groups;
  for (const auto& device : devices) {
    paths += (paths.empty() ? "" : ", ") + device.path;
    if (device.group != "root") {
      groups.insert(device.group);
    }
  }
  std::vector<std::string> lines;
  lines.push_back("No access to any serial device (" + paths + ").");
  if (groups.empty()) {
    lines.push_back("Ask the administrator for access to them.");
    return lines;
  }
  std::string names;
  std::string list;
  for (const auto& group : groups) {
    names += (names.empty() ? "'" : ", '") + group + "'";
    list += (list.empty() ? "" : ",") + group;
  }
  lines.push_back("The user must be in the group that owns the device (" + names + ").");
  lines.push_back("To add this user: sudo usermod -aG " + list +
                  " $USER, then log out and log in again.");
  return lines;
}

}  // namespace halvex::platform
