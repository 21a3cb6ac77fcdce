// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SerialDevice.hpp"

#include "platform/SerialAccess.hpp"

#include "platform/SerialCustomRate.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <type_traits>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace halvex::platform {
namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// Ports this program has open, by device number. TIOCEXCL keeps other
// programs out, but neither root nor this program itself; this keeps a port
// from being opened twice here under whatever name.
std::mutex& OpenPortsMutex() {
  static std::mutex mutex;
  return mutex;
}

std::set<dev_t>& OpenPorts() {
  static std::set<dev_t> ports;
  return ports;
}

bool IsPortOpen(dev_t device) {
  const std::lock_guard lock(OpenPortsMutex());
  return OpenPorts().count(device) != 0;
}

bool ClaimPort(dev_t device) {
  const std::lock_guard lock(OpenPortsMutex());
  return OpenPorts().insert(device).second;
}

void ReleasePort(dev_t device) {
  const std::lock_guard lock(OpenPortsMutex());
  OpenPorts().erase(device);
}

struct RateCode {
  int rate;
  speed_t code;
};

constexpr RateCode kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

std::optional<speed_t> StandardRateCode(int rate) {
  for (const RateCode& entry : kStandardRates) {
    if (entry.rate == rate) {
      return entry.code;
    }
  }
  return std::nullopt;
}

tcflag_t DataBitsFlag(int dataBits) {
  switch (dataBits) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

tcflag_t ParityFlags(int parity) {
  switch (parity) {
    case 1:
      return PARENB | PARODD;
    case 2:
      return PARENB;
    case 3:  // mark: the parity bit is always 1
      return PARENB | CMSPAR | PARODD;
    case 4:  // space: always 0
      return PARENB | CMSPAR;
    default:
      return 0;
  }
}

std::string CannotOpen(const std::string& path, const std::string& reason) {
  return "cannot open " + path + ": " + reason;
}

std::string OpenErrorText(const std::string& path, int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return CannotOpen(path, "no such device");
    case EBUSY:
      return CannotOpen(path, "the port is in use by another program");
    case EACCES:
    case EPERM: {
      const std::string reason = std::strerror(error);
      struct stat info {};
      if (::stat(path.c_str(), &info) == 0 && info.st_gid != 0) {
        const std::string group = GroupName(info.st_gid);
        if (!group.empty()) {
          return CannotOpen(path,
                            reason + " (the user must be in the group '" + group + "' to use it)");
        }
      }
      return CannotOpen(path, reason + " (the user has no access to it; ask the administrator)");
    }
    default:
      return CannotOpen(path, std::strerror(error));
  }
}

std::string InUseHere(const std::string& path) {
  return CannotOpen(path, "the port is already in use by this program");
}

std::string NotASerialDevice(const std::string& path) {
  return CannotOpen(path, "not a serial device");
}

int PollOnce(pollfd& entry, int timeoutMs) {
  for (;;) {
    const int result = ::poll(&entry, 1, timeoutMs);
    if (result >= 0 || errno != EINTR) {
      return result;
    }
  }
}

// Milliseconds left until `deadline`, rounded up so that a wait does not end
// just before it; 0 once it has passed.
int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<Milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

// `constant` + `multiplier` x `size` milliseconds from now; negative
// settings count as 0.
Clock::time_point DeadlineAfter(int multiplier, int constant, std::size_t size) {
  constexpr std::size_t kMaxCounted = 1'000'000'000;
  const long long total = static_cast<long long>(std::max(multiplier, 0)) *
                              static_cast<long long>(std::min(size, kMaxCounted)) +
                          std::max(constant, 0);
  return Clock::now() + Milliseconds(total);
}

constexpr short kFailureEvents = POLLHUP | POLLERR | POLLNVAL;

// A terminal device in raw mode, non-blocking. Reads and writes never wait in
// the kernel; waits for the time-outs are done with poll().
class TermiosDevice final : public SerialDevice {
 public:
  TermiosDevice(int fd, dev_t device, std::string path)
      : fd_(fd), device_(device), path_(std::move(path)) {}
  TermiosDevice(const TermiosDevice&) = delete;
  TermiosDevice& operator=(const TermiosDevice&) = delete;

  ~TermiosDevice() override {
    // Exclusive use ends with the last descriptor of the terminal, which
    // need not be this one.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    ReleasePort(device_);
  }

  // Exclusive use and raw mode; false with `error` set when it is not a
  // terminal that can be used that way.
  bool Prepare(std::string& error) {
    if (::ioctl(fd_, TIOCEXCL) != 0) {
      error = CannotOpen(path_, std::strerror(errno));
      return false;
    }
    termios settings{};
    if (::tcgetattr(fd_, &settings) != 0) {
      error = CannotOpen(path_, std::strerror(errno));
      return false;
    }
    ::cfmakeraw(&settings);
    settings.c_iflag &= ~static_cast<tcflag_t>(IXOFF | IXANY | INPCK);
    settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (::tcsetattr(fd_, TCSANOW, &settings) != 0) {
      error = CannotOpen(path_, "cannot set raw mode: " + std::string(std::strerror(errno)));
      return false;
    }
    // The base for line errors; drivers without counters (pseudo-terminals
    // and some USB adapters) never report any.
    haveCounters_ = ::ioctl(fd_, TIOCGICOUNT, &counters_) == 0;
    return true;
  }

  // Rates with a Bnnn constant go through termios; others through termios2.
  // The rate the driver then reports must be within 2 % of the one asked
  // for: some drivers fall back to another rate instead of failing. Data
  // bits and parity are not read back, as a pseudo-terminal always reports
  // eight bits without parity whatever it was given. Parity errors are
  // counted by the driver but the bytes are passed on as received.
  bool SetLine(const SerialLine& line) override {
    if (line.baudRate <= 0 || line.dataBits < 5 || line.dataBits > 8 || line.parity < 0 ||
        line.parity > 4 || line.stopBits < 0 || line.stopBits > 2) {
      return false;
    }
    termios settings{};
    if (::tcgetattr(fd_, &settings) != 0) {
      return false;
    }
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    settings.c_cflag |= DataBitsFlag(line.dataBits) | ParityFlags(line.parity);
    if (line.stopBits != 0) {
      settings.c_cflag |= CSTOPB;  // one and a half stop bits are two here
    }
    const std::optional<speed_t> code = StandardRateCode(line.baudRate);
    if (code && (::cfsetispeed(&settings, *code) != 0 || ::cfsetospeed(&settings, *code) != 0)) {
      return false;
    }
    if (::tcsetattr(fd_, TCSANOW, &settings) != 0) {
      return false;
    }
    if (!code && !detail::SetArbitraryRate(fd_, line.baudRate)) {
      return false;
    }
    const int actual = detail::CurrentRate(fd_);
    if (actual >= 0 && std::abs(actual - line.baudRate) > line.baudRate / 50) {
      return false;
    }
    // A pseudo-terminal has no modem lines: failures here do not count.
    SetModemLine(TIOCM_DTR, line.dtr);
    SetModemLine(TIOCM_RTS, line.rts);
    return true;
  }

  // The kernel sizes its queues itself; there is nothing to set.
  bool SetQueueSizes(std::size_t, std::size_t) override { return true; }

  bool SetTimeouts(const SerialTimeouts& timeouts) override {
    timeouts_ = timeouts;
    return true;
  }

  bool QueuedBytes(std::size_t& count, bool& lineError) override {
    count = 0;
    lineError = false;
    // A hung-up terminal (unplugged adapter, closed pseudo-terminal master)
    // reports POLLHUP even when something is still queued.
    pollfd entry{fd_, POLLIN, 0};
    const int ready = PollOnce(entry, 0);
    if (ready < 0 || (ready > 0 && (entry.revents & kFailureEvents) != 0)) {
      return false;
    }
    int queued = 0;
    if (::ioctl(fd_, FIONREAD, &queued) != 0) {
      return false;
    }
    count = static_cast<std::size_t>(std::max(queued, 0));
    lineError = LineErrorsSinceLastCall();
    return true;
  }

  // Returns what is queued at once when no read total is set (the only way
  // the receiver reads). Otherwise waits up to readTotalConstant +
  // readTotalMultiplier x `size` ms for `size` bytes and returns what came;
  // readInterval is not used.
  long Read(char* buffer, std::size_t size) override {
    const bool wait = timeouts_.readTotalConstant > 0 || timeouts_.readTotalMultiplier > 0;
    const Clock::time_point deadline =
        DeadlineAfter(timeouts_.readTotalMultiplier, timeouts_.readTotalConstant, size);
    std::size_t done = 0;
    while (done < size) {
      const ssize_t count = ::read(fd_, buffer + done, size - done);
      if (count > 0) {
        done += static_cast<std::size_t>(count);
        continue;
      }
      if (count < 0 && errno == EINTR) {
        continue;
      }
      if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        return done > 0 ? static_cast<long>(done) : -1;
      }
      // Nothing queued: with VMIN and VTIME 0 the kernel returns 0 rather
      // than EAGAIN, as it does at the end of the input of a hung-up terminal.
      const int left = wait ? MillisecondsUntil(deadline) : 0;
      pollfd entry{fd_, POLLIN, 0};
      if (left == 0 || PollOnce(entry, left) <= 0 || (entry.revents & kFailureEvents) != 0) {
        break;
      }
    }
    return static_cast<long>(done);
  }

  // Writes until all is written or the deadline of the write time-outs has
  // passed, and returns how much was written. With both write totals 0 there
  // is no deadline.
  long Write(const char* data, std::size_t size) override {
    const bool limited = timeouts_.writeTotalConstant > 0 || timeouts_.writeTotalMultiplier > 0;
    const Clock::time_point deadline =
        DeadlineAfter(timeouts_.writeTotalMultiplier, timeouts_.writeTotalConstant, size);
    std::size_t done = 0;
    while (done < size) {
      const ssize_t count = ::write(fd_, data + done, size - done);
      if (count > 0) {
        done += static_cast<std::size_t>(count);
        continue;
      }
      if (count < 0 && errno == EINTR) {
        continue;
      }
      if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        return -1;
      }
      int left = -1;
      if (limited) {
        left = MillisecondsUntil(deadline);
        if (left == 0) {
          break;
        }
      }
      pollfd entry{fd_, POLLOUT, 0};
      const int ready = PollOnce(entry, left);
      if (ready < 0 || (ready > 0 && (entry.revents & kFailureEvents) != 0)) {
        return -1;
      }
    }
    return static_cast<long>(done);
  }

  void Purge() override { ::tcflush(fd_, TCIOFLUSH); }

  const std::string& Path() const override { return path_; }

 private:
  void SetModemLine(int line, bool raise) {
    int bits = line;
    ::ioctl(fd_, raise ? TIOCMBIS : TIOCMBIC, &bits);
  }

  bool LineErrorsSinceLastCall() {
    if (!haveCounters_) {
      return false;
    }
    serial_icounter_struct now{};
    if (::ioctl(fd_, TIOCGICOUNT, &now) != 0) {
      return false;
    }
    const bool errors = now.frame != counters_.frame || now.parity != counters_.parity ||
                        now.overrun != counters_.overrun ||
                        now.buf_overrun != counters_.buf_overrun;
    counters_ = now;
    return errors;
  }

  int fd_;
  dev_t device_;
  std::string path_;
  SerialTimeouts timeouts_;
  bool haveCounters_ = false;
  serial_icounter_struct counters_{};
};

}  // namespace

static_assert(std::is_same_v<speed_t, unsigned int>, "StandardSpeedCode returns a speed_t");

std::optional<unsigned int> StandardSpeedCode(int baudRate) { return StandardRateCode(baudRate); }

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& path, std::string& error) {
  error.clear();
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    error = OpenErrorText(path, errno);
    return nullptr;
  }
  if (!S_ISCHR(info.st_mode)) {
    error = NotASerialDevice(path);
    return nullptr;
  }
  // Checked before opening so that a port in use here is not disturbed.
  if (IsPortOpen(info.st_rdev)) {
    error = InUseHere(path);
    return nullptr;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = OpenErrorText(path, errno);
    return nullptr;
  }
  if (::isatty(fd) == 0 || ::fstat(fd, &info) != 0) {
    ::close(fd);
    error = NotASerialDevice(path);
    return nullptr;
  }
  if (!ClaimPort(info.st_rdev)) {
    ::close(fd);
    error = InUseHere(path);
    return nullptr;
  }
  auto device = std::make_unique<TermiosDevice>(fd, info.st_rdev, path);
  if (!device->Prepare(error)) {
    return nullptr;
  }
  return device;
}

}  // namespace halvex::platform
