// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SerialDevice.hpp"

#include "platform/IniStore.hpp"
#include "platform/SerialCustomRate.hpp"

#include "TempFolder.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <set>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace halvex::platform {
namespace {

using namespace std::chrono_literals;
using test::TempFolder;
using test::WriteText;
using Clock = std::chrono::steady_clock;

// A pseudo-terminal; the test is the far end on the master side. A second
// descriptor of the slave, opened before the device under test, shows the
// line settings that the device made.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
      return;
    }
    slavePath_ = name;
    observer_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  ~PseudoTerminal() {
    CloseMaster();
    if (observer_ >= 0) {
      ::close(observer_);
    }
  }

  bool Ok() const { return master_ >= 0 && observer_ >= 0; }
  const std::string& SlavePath() const { return slavePath_; }
  int Observer() const { return observer_; }

  termios Settings() const {
    termios settings{};
    EXPECT_EQ(::tcgetattr(observer_, &settings), 0);
    return settings;
  }

  void Send(const std::string& data) {
    ASSERT_EQ(::write(master_, data.data(), data.size()), static_cast<ssize_t>(data.size()));
  }

  // What arrives at the master within a second, up to `size` bytes.
  std::string Receive(std::size_t size) {
    std::string received;
    const auto end = Clock::now() + 1s;
    while (received.size() < size && Clock::now() < end) {
      pollfd entry{master_, POLLIN, 0};
      if (::poll(&entry, 1, 50) > 0) {
        char buffer[256];
        const ssize_t count = ::read(master_, buffer, sizeof buffer);
        if (count <= 0) {
          break;
        }
        received.append(buffer, static_cast<std::size_t>(count));
      }
    }
    return received;
  }

  void CloseMaster() {
    if (master_ >= 0) {
      ::close(master_);
      master_ = -1;
    }
  }

 private:
  int master_ = -1;
  int observer_ = -1;
  std::string slavePath_;
};

// The kernel moves bytes from the master to the slave's queue
// asynchronously: waits up to two seconds for `expected` queued bytes.
std::size_t WaitForQueued(SerialDevice& device, std::size_t expected) {
  std::size_t count = 0;
  bool lineError = false;
  const auto end = Clock::now() + 2s;
  while (device.QueuedBytes(count, lineError) && count < expected && Clock::now() < end) {
    std::this_thread::sleep_for(1ms);
  }
  return count;
}

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// OpenSerialDevice(path) without the privileges of root, which would pass
// both TIOCEXCL and file permissions: as root, in a child process that
// becomes "nobody". The error text, "opened", or nullopt when root could
// not be given up.
std::optional<std::string> OpenWithoutPrivileges(const std::string& path) {
  if (::geteuid() != 0) {
    std::string error;
    return OpenSerialDevice(path, error) ? std::string("opened") : error;
  }
  int channel[2];
  if (::pipe(channel) != 0) {
    return std::nullopt;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    std::string result = "\x01";
    if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0) {
      std::string error;
      result = OpenSerialDevice(path, error) ? std::string("opened") : error;
    }
    [[maybe_unused]] const ssize_t written = ::write(channel[1], result.data(), result.size());
    ::_exit(0);
  }
  ::close(channel[1]);
  std::string result;
  char buffer[512];
  for (ssize_t count; (count = ::read(channel[0], buffer, sizeof buffer)) > 0;) {
    result.append(buffer, static_cast<std::size_t>(count));
  }
  ::close(channel[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (child < 0 || result == "\x01") {
    return std::nullopt;
  }
  return result;
}

class SerialDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.Ok()) << "no pseudo-terminal: " << std::strerror(errno);
    device = OpenSerialDevice(pty.SlavePath(), error);
    ASSERT_NE(device, nullptr) << error;
    EXPECT_EQ(error, "");
  }

  PseudoTerminal pty;
  std::string error;
  std::unique_ptr<SerialDevice> device;
};

TEST_F(SerialDeviceTest, RawModePassesEveryByteUnchangedBothWays) {
  const termios settings = pty.Settings();
  EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(settings.c_iflag & (ICRNL | IXON | IXOFF | ISTRIP), 0u);
  EXPECT_EQ(settings.c_oflag & OPOST, 0u);
  EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(settings.c_cc[VMIN], 0);
  EXPECT_EQ(settings.c_cc[VTIME], 0);
  EXPECT_EQ(device->Path(), pty.SlavePath());

  // Line ends, interrupt, flow-control and NUL bytes are data.
  std::string incoming = "$GPGGA,1*2B\r\n";
  incoming += std::string("\x03\x11\x13\x7f\xff\0z", 7);
  pty.Send(incoming);
  ASSERT_EQ(WaitForQueued(*device, incoming.size()), incoming.size());
  std::string buffer(64, '-');
  ASSERT_EQ(device->Read(buffer.data(), buffer.size()), static_cast<long>(incoming.size()));
  EXPECT_EQ(buffer.substr(0, incoming.size()), incoming);

  const auto start = Clock::now();
  EXPECT_EQ(device->Read(buffer.data(), buffer.size()), 0);
  EXPECT_LT(MillisecondsSince(start), 100);

  const std::string outgoing("$PSRF100,1\r\n\0\x03\n", 15);
  EXPECT_EQ(device->Write(outgoing.data(), outgoing.size()), static_cast<long>(outgoing.size()));
  EXPECT_EQ(pty.Receive(outgoing.size()), outgoing);
}

TEST_F(SerialDeviceTest, ReadWithATotalTimeoutWaitsForTheRest) {
  SerialTimeouts timeouts;
  timeouts.readTotalConstant = 1000;  // room for a busy machine
  ASSERT_TRUE(device->SetTimeouts(timeouts));

  pty.Send("ab");
  std::thread later([this] {
    std::this_thread::sleep_for(50ms);
    pty.Send("cd");
  });
  char buffer[4] = {};
  auto start = Clock::now();
  const long count = device->Read(buffer, sizeof buffer);
  later.join();
  EXPECT_EQ(count, 4);
  EXPECT_EQ(std::string(buffer, 4), "abcd");
  EXPECT_LT(MillisecondsSince(start), 950);

  start = Clock::now();
  EXPECT_EQ(device->Read(buffer, sizeof buffer), 0);
  EXPECT_GE(MillisecondsSince(start), 990);
}

TEST_F(SerialDeviceTest, WriteStopsAtTheDeadlineOfItsTimeouts) {
  // Nobody reads the master: the pseudo-terminal fills up.
  SerialTimeouts timeouts;
  timeouts.writeTotalMultiplier = 0;
  timeouts.writeTotalConstant = 200;
  ASSERT_TRUE(device->SetTimeouts(timeouts));
  const std::string big(1 << 20, 'x');
  auto start = Clock::now();
  const long written = device->Write(big.data(), big.size());
  EXPECT_GT(written, 0);
  EXPECT_LT(written, static_cast<long>(big.size()));
  EXPECT_GE(MillisecondsSince(start), 195);
  EXPECT_LT(MillisecondsSince(start), 3000);

  // Now full: 1 ms per byte for 100 bytes, nothing written.
  timeouts.writeTotalMultiplier = 1;
  timeouts.writeTotalConstant = 0;
  ASSERT_TRUE(device->SetTimeouts(timeouts));
  start = Clock::now();
  EXPECT_EQ(device->Write(big.data(), 100), 0);
  EXPECT_GE(MillisecondsSince(start), 95);
  EXPECT_LT(MillisecondsSince(start), 3000);
}

TEST_F(SerialDeviceTest, SetLineSetsRateStopBitsAndParityMode) {
  SerialLine line;
  line.baudRate = 4800;
  ASSERT_TRUE(device->SetLine(line));  // 8N1; a pseudo-terminal has no DTR or RTS
  termios settings = pty.Settings();
  EXPECT_EQ(::cfgetospeed(&settings), static_cast<speed_t>(B4800));
  EXPECT_EQ(::cfgetispeed(&settings), static_cast<speed_t>(B4800));
  EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(settings.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB), 0u);

  // A pseudo-terminal keeps eight bits without parity whatever it is given,
  // but it keeps the parity mode and stop bits.
  struct Case {
    int parity;
    int stopBits;
    tcflag_t flags;
  };
  for (const Case& c : {Case{1, 0, PARODD}, Case{2, 1, CSTOPB},
                        Case{3, 2, PARODD | CMSPAR | CSTOPB}, Case{4, 0, CMSPAR}}) {
    line.parity = c.parity;
    line.stopBits = c.stopBits;
    line.dataBits = 7;
    EXPECT_TRUE(device->SetLine(line)) << c.parity;
    EXPECT_EQ(pty.Settings().c_cflag & (PARODD | CMSPAR | CSTOPB), c.flags) << c.parity;
  }

  // A rate without a Bnnn constant, then back to a standard one.
  line = SerialLine{};
  line.baudRate = 250000;
  if (device->SetLine(line)) {
    EXPECT_EQ(detail::CurrentRate(pty.Observer()), 250000);
  }
  line.baudRate = 115200;
  ASSERT_TRUE(device->SetLine(line));
  settings = pty.Settings();
  EXPECT_EQ(::cfgetospeed(&settings), static_cast<speed_t>(B115200));
  EXPECT_EQ(detail::CurrentRate(pty.Observer()), 115200);

  // Impossible settings are refused and change nothing.
  for (const auto& change : std::initializer_list<void (*)(SerialLine&)>{
           [](SerialLine& l) { l.baudRate = 0; }, [](SerialLine& l) { l.baudRate = -9600; },
           [](SerialLine& l) { l.dataBits = 4; }, [](SerialLine& l) { l.dataBits = 9; },
           [](SerialLine& l) { l.parity = 5; }, [](SerialLine& l) { l.parity = -1; },
           [](SerialLine& l) { l.stopBits = 3; }}) {
    SerialLine bad;
    change(bad);
    EXPECT_FALSE(device->SetLine(bad));
  }
  settings = pty.Settings();
  EXPECT_EQ(::cfgetospeed(&settings), static_cast<speed_t>(B115200));
}

TEST_F(SerialDeviceTest, PurgeDropsWhatIsQueued) {
  EXPECT_TRUE(device->SetQueueSizes(16384, 4096));
  pty.Send("$GPRMC,stale*00\r\n");
  ASSERT_EQ(WaitForQueued(*device, 17), 17u);
  device->Purge();
  std::size_t count = 99;
  bool lineError = true;
  EXPECT_TRUE(device->QueuedBytes(count, lineError));
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(lineError);
  char buffer[32];
  EXPECT_EQ(device->Read(buffer, sizeof buffer), 0);
}

TEST_F(SerialDeviceTest, ClosedFarEndIsADeviceFailure) {
  pty.Send("$GP");
  ASSERT_EQ(WaitForQueued(*device, 3), 3u);
  pty.CloseMaster();
  std::size_t count = 0;
  bool lineError = false;
  EXPECT_FALSE(device->QueuedBytes(count, lineError));
  EXPECT_FALSE(device->QueuedBytes(count, lineError));
  EXPECT_EQ(device->Write("x", 1), -1);
}

TEST_F(SerialDeviceTest, TheProgramOpensAPortOnlyOnceUnderAnyName) {
  std::string second;
  EXPECT_EQ(OpenSerialDevice(pty.SlavePath(), second), nullptr);
  EXPECT_EQ(second,
            "cannot open " + pty.SlavePath() + ": the port is already in use by this program");

  TempFolder temp;
  const fs::path link = temp / "gps";
  fs::create_symlink(pty.SlavePath(), link);
  EXPECT_EQ(OpenSerialDevice(link.string(), second), nullptr);
  EXPECT_TRUE(Contains(second, "in use")) << second;

  device.reset();
  EXPECT_NE(OpenSerialDevice(link.string(), second), nullptr) << second;
}

TEST(SerialDeviceOpenTest, ErrorsNameThePathAndTheReason) {
  TempFolder temp;
  std::string error;
  const std::string missing = (temp / "ttyUSB9").string();
  EXPECT_EQ(OpenSerialDevice(missing, error), nullptr);
  EXPECT_EQ(error, "cannot open " + missing + ": no such device");

  EXPECT_EQ(OpenSerialDevice("/dev/null", error), nullptr);
  EXPECT_EQ(error, "cannot open /dev/null: not a serial device");

  const fs::path file = temp / "ttyS0";
  WriteText(file, "$GPGGA\r\n");
  EXPECT_EQ(OpenSerialDevice(file.string(), error), nullptr);
  EXPECT_EQ(error, "cannot open " + file.string() + ": not a serial device");
  EXPECT_EQ(OpenSerialDevice(temp.path().string(), error), nullptr);
  EXPECT_TRUE(Contains(error, "not a serial device")) << error;
}

TEST(SerialDeviceOpenTest, PortHeldByAnotherProgramIsInUse) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.Ok());
  // The other program: exclusive use, as OpenSerialDevice takes it.
  ASSERT_EQ(::ioctl(pty.Observer(), TIOCEXCL), 0);
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0666), 0);
  const std::optional<std::string> error = OpenWithoutPrivileges(pty.SlavePath());
  if (!error) {
    GTEST_SKIP() << "cannot run as an unprivileged user";
  }
  EXPECT_EQ(*error, "cannot open " + pty.SlavePath() + ": the port is in use by another program");
}

TEST(SerialDeviceOpenTest, PermissionDeniedNamesTheGroupThatHasAccess) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.Ok());
  const char* path = pty.SlavePath().c_str();
  if (::geteuid() == 0) {
    const group* dialout = ::getgrnam("dialout");
    const group* owner = dialout != nullptr ? dialout : ::getgrnam("tty");
    ASSERT_NE(owner, nullptr);
    ASSERT_EQ(::chown(path, 0, owner->gr_gid), 0);
    ASSERT_EQ(::chmod(path, 0660), 0);
  } else {
    ASSERT_EQ(::chmod(path, 0), 0);
  }
  struct stat info {};
  ASSERT_EQ(::stat(path, &info), 0);
  const group* owner = ::getgrgid(info.st_gid);
  ASSERT_NE(owner, nullptr);
  const std::string groupName = owner->gr_name;

  const std::optional<std::string> error = OpenWithoutPrivileges(pty.SlavePath());
  if (!error) {
    GTEST_SKIP() << "cannot run as an unprivileged user";
  }
  const std::string start = "cannot open " + pty.SlavePath() + ": Permission denied (";
  EXPECT_EQ(error->rfind(start, 0), 0u) << *error;
  if (info.st_gid != 0) {
    EXPECT_TRUE(Contains(*error, "the user must be in the group '" + groupName + "' to use it"))
        << *error;
  }
}

// ---------------------------------------------------------------------------
// Port numbers

// The numbering's hash, written out again here and checked against
// published FNV-1a values.
std::uint32_t Fnv1a(std::string_view text) {
  std::uint32_t hash = 2166136261u;
  for (const char c : text) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  }
  return hash;
}

int HashedNumber(std::string_view name) { return 33 + static_cast<int>(Fnv1a(name) % 223u); }

std::string Com(int number) { return "COM" + std::to_string(number); }

TEST(SerialPortHashTest, IsFnv1a) {
  EXPECT_EQ(Fnv1a(""), 0x811c9dc5u);
  EXPECT_EQ(Fnv1a("a"), 0xe40c292cu);
  EXPECT_EQ(Fnv1a("foobar"), 0xbf9cf968u);
}

class SerialPortMapTest : public ::testing::Test {
 protected:
  SerialPortMapTest() { fs::create_directories(dev / "serial" / "by-id"); }

  void Plug(const std::string& name, const std::string& byId = {}) {
    WriteText(dev / name, "");
    if (!byId.empty()) {
      fs::create_symlink("../../" + name, dev / "serial" / "by-id" / byId);
    }
  }
  void Unplug(const std::string& name, const std::string& byId = {}) {
    fs::remove(dev / name);
    if (!byId.empty()) {
      fs::remove(dev / "serial" / "by-id" / byId);
    }
  }
  void Uart(const std::string& name, const std::string& type) {
    const fs::path entry = sys / "class" / "tty" / name;
    fs::create_directories(entry / "device" / "driver");
    WriteText(entry / "type", type + "\n");
  }
  SerialPortMap Scan(const IniStore* ini = nullptr) {
    return SerialPortMap::Scan(ini, dev.string(), sys.string());
  }
  std::string Dev(const std::string& name) const { return (dev / name).string(); }
  std::string ById(const std::string& name) const {
    return (dev / "serial" / "by-id" / name).string();
  }

  TempFolder temp;
  fs::path dev = temp / "dev";
  fs::path sys = temp / "sys";  // no sysfs unless a test makes one
};

TEST_F(SerialPortMapTest, AStableLinkKeepsTheNumberAcrossReplugging) {
  const std::string gps = "usb-FTDI_FT232R_USB_UART_A12B3C4D-if00-port0";
  const std::string other = "usb-Prolific_USB-Serial_Controller-if00-port0";
  Plug("ttyUSB0", gps);
  const int number = HashedNumber(gps);
  EXPECT_EQ(Scan().Ports(), (std::map<int, std::string>{{number, ById(gps)}}));

  Unplug("ttyUSB0", gps);
  Plug("ttyUSB0", other);
  Plug("ttyACM0");
  EXPECT_EQ(Scan().PathOf(Com(number)), std::nullopt);

  Plug("ttyUSB1", gps);
  const SerialPortMap map = Scan();
  EXPECT_EQ(map.PathOf(Com(number)), ById(gps));
  EXPECT_EQ(map.Ports().size(), 3u);
  EXPECT_EQ(Scan().Ports(), map.Ports());
}

TEST_F(SerialPortMapTest, DevicesWithoutStableLinkAreNumberedByKernelName) {
  Plug("ttyACM0");
  Plug("ttyAMA0");
  Plug("rfcomm0");
  fs::create_symlink("../../ttyUSB7", dev / "serial" / "by-id" / "usb-unplugged");
  ASSERT_NE(HashedNumber("ttyACM0"), HashedNumber("ttyAMA0"));
  ASSERT_NE(HashedNumber("ttyACM0"), HashedNumber("rfcomm0"));
  ASSERT_NE(HashedNumber("ttyAMA0"), HashedNumber("rfcomm0"));
  EXPECT_EQ(Scan().Ports(),
            (std::map<int, std::string>{{HashedNumber("ttyACM0"), Dev("ttyACM0")},
                                        {HashedNumber("ttyAMA0"), Dev("ttyAMA0")},
                                        {HashedNumber("rfcomm0"), Dev("rfcomm0")}}));
}

TEST_F(SerialPortMapTest, OnlyRealUartsAndSerialNamesCount) {
  for (const char* name :
       {"ttyS0", "ttyS1", "ttyS2", "ttyS40", "ttySAC0", "tty0", "ttyUSB", "ttyUSB3x", "console"}) {
    Plug(name);
  }
  fs::create_directory(dev / "ttyUSB9");
  Uart("ttyS0", "4");
  Uart("ttyS1", "0");  // placeholder of a port that is not there
  Uart("ttyS40", "4");
  // ttyS2 has no sysfs entry.
  EXPECT_EQ(Scan().Ports(), (std::map<int, std::string>{{1, Dev("ttyS0")},
                                                        {HashedNumber("ttyS40"), Dev("ttyS40")}}));

  fs::remove_all(sys);
  ASSERT_NE(HashedNumber("ttyS40"), 1);
  EXPECT_EQ(Scan().Ports(), (std::map<int, std::string>{{1, Dev("ttyS0")},
                                                        {2, Dev("ttyS1")},
                                                        {3, Dev("ttyS2")},
                                                        {HashedNumber("ttyS40"), Dev("ttyS40")}}));
}

TEST_F(SerialPortMapTest, IniEntriesTakeTheirNumbersFirst) {
  // ttyS0 loses COM1 and its hashed number to the INI and so moves on to
  // the number after; ttyACM0 does the same.
  const int serialHash = HashedNumber("ttyS0");
  const int usbHash = HashedNumber("ttyACM0");
  const auto after = [](int number) { return number == 255 ? 33 : number + 1; };
  ASSERT_EQ(std::set<int>({serialHash, after(serialHash), usbHash, after(usbHash)}).size(), 4u);
  WriteText(temp / "halvex.ini",
            "[SerialComm]\n"
            "COM1 = /dev/custom\n"
            "com" +
                std::to_string(serialHash) + " = /dev/other\n" + Com(usbHash) +
                " = /dev/reserved\n"
                "COM0 = /dev/zero0\n"
                "COM256 = /dev/big\n"
                "COM07 = /dev/padded\n"
                "Port = /dev/named\n"
                "COM5 =\n");
  const IniStore ini(temp / "halvex.ini");
  Plug("ttyS0");
  Plug("ttyACM0");
  EXPECT_EQ(Scan(&ini).Ports(), (std::map<int, std::string>{{1, "/dev/custom"},
                                                            {serialHash, "/dev/other"},
                                                            {after(serialHash), Dev("ttyS0")},
                                                            {usbHash, "/dev/reserved"},
                                                            {after(usbHash), Dev("ttyACM0")}}));
}

TEST_F(SerialPortMapTest, ADeviceNamedInTheIniIsNotListedAgain) {
  Plug("ttyUSB0", "usb-u-blox_GNSS_receiver-if00");
  Plug("ttyACM0");
  const IniStore ini(temp / "halvex.ini");
  WriteText(ini.Path(), "[SERIALCOMM]\nCOM7=" + ById("usb-u-blox_GNSS_receiver-if00") +
                            "\nCOM8=" + Dev("ttyACM0") + "\n");
  EXPECT_EQ(Scan(&ini).Ports(),
            (std::map<int, std::string>{{7, ById("usb-u-blox_GNSS_receiver-if00")},
                                        {8, Dev("ttyACM0")}}));
}

TEST_F(SerialPortMapTest, ACollisionTakesTheNextFreeNumberInNameOrder) {
  std::map<int, std::string> byNumber;
  std::string first;
  std::string second;
  for (int i = 0; second.empty(); ++i) {
    const std::string name = "ttyUSB" + std::to_string(i);
    const auto [it, added] = byNumber.emplace(HashedNumber(name), name);
    if (!added) {
      first = std::min(it->second, name);
      second = std::max(it->second, name);
    }
  }
  Plug(first);
  Plug(second);
  const int number = HashedNumber(first);
  EXPECT_EQ(Scan().Ports(),
            (std::map<int, std::string>{{number, Dev(first)},
                                        {number == 255 ? 33 : number + 1, Dev(second)}}));
}

TEST_F(SerialPortMapTest, MoreDevicesThanNumbersFillEveryNumberOnce) {
  for (int i = 0; i < 240; ++i) {
    Plug("ttyUSB" + std::to_string(i));
  }
  const SerialPortMap map = Scan();
  ASSERT_EQ(map.Ports().size(), 223u);
  EXPECT_EQ(map.Ports().begin()->first, 33);
  EXPECT_EQ(map.Ports().rbegin()->first, 255);
  std::set<std::string> paths;
  for (const auto& [number, path] : map.Ports()) {
    paths.insert(path);
  }
  EXPECT_EQ(paths.size(), 223u);
  EXPECT_EQ(Scan().Ports(), map.Ports());
}

TEST_F(SerialPortMapTest, PathOfTakesOnlyExactPortNames) {
  const IniStore ini(temp / "halvex.ini");
  WriteText(ini.Path(), "[SERIALCOMM]\nCOM1=/dev/a\nCOM3=/dev/b\nCOM255=/dev/c\n");
  const SerialPortMap map = SerialPortMap::Scan(&ini, (temp / "nodev").string(), sys.string());
  EXPECT_EQ(map.PathOf("COM1"), "/dev/a");
  EXPECT_EQ(map.PathOf("COM3"), "/dev/b");
  EXPECT_EQ(map.PathOf("COM255"), "/dev/c");
  EXPECT_EQ(map.PathOf("COM4"), std::nullopt);
  for (const char* name : {"com3", "Com3", "COM03", "COM0", "COM256", "COM1000", "COM", "COM3 ",
                           " COM3", "COM+3", "COM-1", "COMx", "LPT1", ""}) {
    EXPECT_EQ(map.PathOf(name), std::nullopt) << name;
  }
  EXPECT_EQ(map.Ports().size(), 3u);
}

}  // namespace
}  // namespace halvex::platform
