// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigator/app/PortMapAccess.hpp"

#include "platform/IniStore.hpp"
#include "platform/SerialDevice.hpp"

namespace halvex::navigator {

ReceiverPorts PortsThroughIni(const std::filesystem::path& iniFile) {
  ReceiverPorts ports;
  ports.opener = [iniFile](const std::string& portName,
                           std::string& error) -> std::unique_ptr<platform::SerialDevice> {
    const platform::IniStore ini(iniFile);
    const auto path = platform::SerialPortMap::Scan(&ini).PathOf(portName);
    if (!path) {
      error = "there is no serial port " + portName + " on this machine";
      return nullptr;
    }
    return platform::OpenSerialDevice(*path, error);
  };
  ports.lister = [iniFile] {
    const platform::IniStore ini(iniFile);
    std::vector<int> numbers;
    const platform::SerialPortMap map = platform::SerialPortMap::Scan(&ini);
    for (const auto& [number, path] : map.Ports()) numbers.push_back(number);
    return numbers;
  };
  return ports;
}

}  // namespace halvex::navigator
