// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Serial devices: the few operations the NMEA receiver needs, behind an
// interface so that the reader can also run against a scripted device, and
// the map from the classic port names "COM1" ... "COM255" to device paths.

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvex::platform {

class IniStore;

// The line settings.
struct SerialLine {
  int baudRate = 4800;  // bits per second; any rate the driver accepts
  int dataBits = 8;     // 5..8
  int parity = 0;       // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int stopBits = 0;     // 0 one, 1 one and a half (two on this platform), 2 two
  bool dtr = true;      // raise DTR while open
  bool rts = true;      // raise RTS while open
};

// Time-outs in milliseconds, as the classic serial interface has them. With
// readInterval -1 and both read totals 0 a read returns at once with what
// is queued; writes wait at most writeTotalMultiplier per byte plus
// writeTotalConstant.
struct SerialTimeouts {
  int readInterval = -1;
  int readTotalMultiplier = 0;
  int readTotalConstant = 0;
  int writeTotalMultiplier = 100;
  int writeTotalConstant = 1000;
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  virtual bool SetLine(const SerialLine& line) = 0;
  virtual bool SetQueueSizes(std::size_t input, std::size_t output) = 0;
  virtual bool SetTimeouts(const SerialTimeouts& timeouts) = 0;
  // Clears line errors and tells how many bytes wait to be read; false when
  // the device failed (unplugged, hung up). `lineError` is set when the
  // line reported framing, parity or overrun errors since the last call.
  virtual bool QueuedBytes(std::size_t& count, bool& lineError) = 0;
  // Bytes read (0 when none were queued), or -1 on failure.
  virtual long Read(char* buffer, std::size_t size) = 0;
  // Bytes written within the write time-outs, or -1 on failure.
  virtual long Write(const char* data, std::size_t size) = 0;
  // Drops what waits in both directions.
  virtual void Purge() = 0;
  virtual const std::string& Path() const = 0;
};

// Opens a serial device (or pseudo-terminal) for exclusive use, raw mode.
// On failure returns null and sets `error` to the reason, naming what the
// user can do about it (for example the "dialout" group for a permission
// failure).
std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& path, std::string& error);

// The termios code (B4800, ...) of a standard line rate in bits per second,
// or nothing for a rate without one. The code is a speed_t.
std::optional<unsigned int> StandardSpeedCode(int baudRate);

// The serial ports of this machine by number (COM1 = 1 ... COM255 = 255):
// entries of the INI section "SERIALCOMM" ("COM3=/dev/serial/by-id/...")
// first, then the kernel's serial devices (/dev/ttyS* that exist as real
// ports, ttyUSB*, ttyACM*, ttyAMA*, rfcomm*), numbered so that a device
// keeps its number when it is unplugged and plugged in again:
//
//  - ttyS0 ... ttyS31 are COM1 ... COM32.
//  - Any other device gets a number in 33 ... 255 from a hash of its name
//    under <devRoot>/serial/by-id (and that link is its path), or of its
//    kernel name when it has no such link. A number already taken goes to
//    the next free one upwards, wrapping within 33 ... 255; names are taken
//    in sorted order so that the same devices always get the same numbers.
//  - A device that an INI entry already names is not listed again.
class SerialPortMap {
 public:
  // `ini` may be null; `devRoot` is "/dev" and `sysRoot` "/sys" except in
  // tests. Without <sysRoot>/class/tty every ttyS device counts as a port.
  static SerialPortMap Scan(const IniStore* ini, const std::string& devRoot = "/dev",
                            const std::string& sysRoot = "/sys");

  // The device path of a port name "COMn", if the port exists.
  std::optional<std::string> PathOf(std::string_view portName) const;
  // Port number -> device path.
  const std::map<int, std::string>& Ports() const { return ports_; }

 private:
  std::map<int, std::string> ports_;
};

}  // namespace halvex::platform
