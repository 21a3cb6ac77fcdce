// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/IniStore.hpp"
#include "platform/SerialDevice.hpp"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace halvex::platform {
namespace {

namespace fs = std::filesystem;

constexpr int kFirstPort = 1;
constexpr int kLastPort = 255;
constexpr int kFixedPorts = 32;  // ttyS0 ... ttyS31 are COM1 ... COM32
constexpr int kFirstHashedPort = kFixedPorts + 1;
constexpr int kHashedPorts = kLastPort - kFirstHashedPort + 1;

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The number of "COMn": decimal 1 ... 255 without leading zeros. The prefix
// matches exactly, or without regard to case for INI keys.
std::optional<int> PortNumber(std::string_view name, bool anyCase) {
  if (name.size() < 4 || name.size() > 6) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i < 3; ++i) {
    const char c = anyCase ? UpperAscii(name[i]) : name[i];
    if (c != "COM"[i]) {
      return std::nullopt;
    }
  }
  const std::string_view digits = name.substr(3);
  if (digits.front() == '0') {
    return std::nullopt;
  }
  int number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    number = number * 10 + (c - '0');
  }
  if (number < kFirstPort || number > kLastPort) {
    return std::nullopt;
  }
  return number;
}

// 32-bit FNV-1a.
std::uint32_t NameHash(std::string_view text) {
  std::uint32_t hash = 2166136261u;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

// The number the hash of `identity` points to, or the next free one upwards
// within 33 ... 255; nullopt when all are taken.
std::optional<int> HashedPort(std::string_view identity, const std::map<int, std::string>& ports) {
  int number = kFirstHashedPort + static_cast<int>(NameHash(identity) % kHashedPorts);
  for (int tried = 0; tried < kHashedPorts; ++tried) {
    if (ports.count(number) == 0) {
      return number;
    }
    number = number == kLastPort ? kFirstHashedPort : number + 1;
  }
  return std::nullopt;
}

// A kernel serial device name: one of the prefixes followed by digits only
// ("ttyS0", not "ttySAC0"). `index` is the number after the prefix.
bool IsSerialDeviceName(const std::string& name, std::string_view& prefix, int& index) {
  static constexpr std::string_view kPrefixes[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA", "rfcomm"};
  for (const std::string_view candidate : kPrefixes) {
    if (name.size() <= candidate.size() || name.size() > candidate.size() + 6 ||
        name.compare(0, candidate.size(), candidate) != 0) {
      continue;
    }
    int number = 0;
    bool digitsOnly = true;
    for (std::size_t i = candidate.size(); i < name.size(); ++i) {
      if (name[i] < '0' || name[i] > '9') {
        digitsOnly = false;
        break;
      }
      number = number * 10 + (name[i] - '0');
    }
    if (digitsOnly) {
      prefix = candidate;
      index = number;
      return true;
    }
  }
  return false;
}

// Most ttyS devices are placeholders for ports that may not exist. A real
// one has a driver bound and a UART type other than 0 (unknown). Without
// sysfs there is no way to tell, and every one counts.
bool IsRealUart(const fs::path& sysRoot, const std::string& name) {
  std::error_code ec;
  const fs::path classFolder = sysRoot / "class" / "tty";
  if (!fs::is_directory(classFolder, ec)) {
    return true;
  }
  const fs::path entry = classFolder / name;
  if (!fs::exists(entry / "device" / "driver", ec)) {
    return false;
  }
  std::ifstream typeFile(entry / "type");
  std::string type;
  if (!(typeFile >> type)) {
    return true;
  }
  return type != "0";
}

// The file a path leads to, for telling whether two paths name one device.
fs::path Resolved(const fs::path& path) {
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(path, ec);
  return ec ? path : resolved;
}

struct KernelDevice {
  std::string name;
  int ttySIndex;  // -1 for other kinds
};

// The serial devices under `devRoot`, sorted by name.
std::vector<KernelDevice> KernelDevices(const fs::path& devRoot, const fs::path& sysRoot) {
  std::vector<KernelDevice> devices;
  std::error_code ec;
  for (fs::directory_iterator it(devRoot, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeEc;
    if (it->is_directory(typeEc)) {
      continue;
    }
    const std::string name = it->path().filename().string();
    std::string_view prefix;
    int index = 0;
    if (!IsSerialDeviceName(name, prefix, index)) {
      continue;
    }
    if (prefix == "ttyS") {
      if (IsRealUart(sysRoot, name)) {
        devices.push_back({name, index});
      }
    } else {
      devices.push_back({name, -1});
    }
  }
  std::sort(devices.begin(), devices.end(),
            [](const KernelDevice& a, const KernelDevice& b) { return a.name < b.name; });
  return devices;
}

// The links of <devRoot>/serial/by-id, sorted by name.
std::vector<fs::path> StableLinks(const fs::path& devRoot) {
  std::vector<fs::path> links;
  std::error_code ec;
  for (fs::directory_iterator it(devRoot / "serial" / "by-id", ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code typeEc;
    if (it->is_symlink(typeEc)) {
      links.push_back(it->path());
    }
  }
  std::sort(links.begin(), links.end());
  return links;
}

}  // namespace

SerialPortMap SerialPortMap::Scan(const IniStore* ini, const std::string& devRoot,
                                  const std::string& sysRoot) {
  SerialPortMap map;
  std::map<int, std::string>& ports = map.ports_;
  std::set<fs::path> listed;  // resolved paths of the devices in the map

  if (ini != nullptr) {
    for (const auto& [key, value] : ini->ReadSection("SERIALCOMM")) {
      const std::optional<int> number = PortNumber(key, true);
      if (number && !value.empty() && ports.count(*number) == 0) {
        ports.emplace(*number, value);
        listed.insert(Resolved(value));
      }
    }
  }

  // Devices still to be numbered, by resolved path.
  std::map<fs::path, std::string> waiting;
  std::vector<std::string> waitingOrder;
  for (const KernelDevice& device : KernelDevices(devRoot, sysRoot)) {
    const fs::path path = fs::path(devRoot) / device.name;
    const fs::path resolved = Resolved(path);
    if (listed.count(resolved) != 0) {
      continue;
    }
    const int number = device.ttySIndex + 1;
    if (device.ttySIndex >= 0 && device.ttySIndex < kFixedPorts && ports.count(number) == 0) {
      ports.emplace(number, path.string());
      listed.insert(resolved);
      continue;
    }
    waiting.emplace(resolved, device.name);
    waitingOrder.push_back(device.name);
  }

  auto place = [&](std::string_view identity, const fs::path& path, const fs::path& resolved) {
    if (const std::optional<int> number = HashedPort(identity, ports)) {
      ports.emplace(*number, path.string());
    }
    listed.insert(resolved);
    waiting.erase(resolved);
  };

  for (const fs::path& link : StableLinks(devRoot)) {
    std::error_code ec;
    const fs::path resolved = fs::canonical(link, ec);
    if (!ec && waiting.count(resolved) != 0) {
      place(link.filename().string(), link, resolved);
    }
  }
  for (const std::string& name : waitingOrder) {
    const fs::path path = fs::path(devRoot) / name;
    const fs::path resolved = Resolved(path);
    if (waiting.count(resolved) != 0) {
      place(name, path, resolved);
    }
  }
  return map;
}

std::optional<std::string> SerialPortMap::PathOf(std::string_view portName) const {
  const std::optional<int> number = PortNumber(portName, false);
  if (!number) {
    return std::nullopt;
  }
  const auto found = ports_.find(*number);
  if (found == ports_.end()) {
    return std::nullopt;
  }
  return found->second;
}

}  // namespace halvex::platform
