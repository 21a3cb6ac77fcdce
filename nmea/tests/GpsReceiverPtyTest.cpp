// SPDX-License-Identifier: GPL-3.0-or-later
// The serial receiver on real pseudo-terminals.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "nmea/GpsReceiver.hpp"
#include "nmea/NmeaText.hpp"
#include "platform/IniStore.hpp"
#include "platform/SerialDevice.hpp"

namespace halvex::nmea {
namespace {

using namespace std::chrono_literals;

class Pty {
 public:
  Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(master_, 0);
    EXPECT_EQ(::grantpt(master_), 0);
    EXPECT_EQ(::unlockpt(master_), 0);
    char name[128] = {};
    EXPECT_EQ(::ptsname_r(master_, name, sizeof name), 0);
    slave_ = name;
  }
  ~Pty() { Hangup(); }
  void Write(const std::string& text) const {
    EXPECT_EQ(::write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  // Writes without waiting; what does not fit is dropped (no reader).
  void Offer(const std::string& text) const {
    const int flags = ::fcntl(master_, F_GETFL);
    ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    [[maybe_unused]] const ssize_t n = ::write(master_, text.data(), text.size());
    ::fcntl(master_, F_SETFL, flags);
  }
  void Hangup() {
    if (master_ >= 0) {
      ::close(master_);
      master_ = -1;
    }
  }
  const std::string& Slave() const { return slave_; }

 private:
  int master_ = -1;
  std::string slave_;
};

std::string Gga(int minute) {
  char body[100];
  std::snprintf(body, sizeof body,
                "$GPGGA,120000.00,41%02d.0000,N,02901.0000,E,1,08,0.9,5.0,M,37.1,M,,", minute);
  return AddCrLfToNMEA(AddCheckSumToNMEA(body));
}

TRaxGPSReceiver::DeviceOpener OpenPath(const std::string& path) {
  return [path](const std::string&, std::string& error) {
    return platform::OpenSerialDevice(path, error);
  };
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) {
      return true;
    }
    std::this_thread::sleep_for(5ms);
  }
  return condition();
}

TEST(GpsReceiverPty, ASecondOpenOfThePortIsRefusedWithItsReason) {
  Pty pty;
  TRaxGPSReceiver first(OpenPath(pty.Slave()), [] { return std::vector<int>{1}; });
  TRaxGPSReceiver second(OpenPath(pty.Slave()), [] { return std::vector<int>{1}; });
  first.SetPort(TCommPort::spCOM1);
  second.SetPort(TCommPort::spCOM1);
  first.Open();
  try {
    second.Open();
    FAIL() << "the port was opened twice";
  } catch (const EGPSError& e) {
    const std::string message = e.what();
    EXPECT_EQ(message.rfind("Cannot connect to port COM1.\n", 0), 0U) << message;
    EXPECT_NE(message.find("in use"), std::string::npos) << message;
  }
  EXPECT_TRUE(first.IsConnected());
  first.Close();
  second.Open();  // free again after Close
  EXPECT_TRUE(second.IsConnected());
}

TEST(GpsReceiverPty, CloseDuringABurstEndsEverything) {
  Pty pty;
  TRaxGPSReceiver r(OpenPath(pty.Slave()), [] { return std::vector<int>{1}; });
  r.SetPort(TCommPort::spCOM1);
  r.SetDelay(1);
  std::atomic<int> fixes{0};
  std::atomic<bool> closed{false};
  std::atomic<bool> afterClose{false};
  r.OnPosition3DChange = [&](TRaxCustomGPSReceiver&, long double, long double, long double) {
    ++fixes;
    if (closed) {
      afterClose = true;
    }
  };
  r.Open();
  std::atomic<bool> writing{true};
  std::thread writer([&] {
    for (int i = 0; writing; ++i) {
      pty.Offer(Gga(i % 60));
      std::this_thread::sleep_for(200us);
    }
  });
  ASSERT_TRUE(WaitUntil([&] { return fixes > 20; }, 5000ms));
  r.Close();
  closed = true;
  std::this_thread::sleep_for(50ms);
  writing = false;
  writer.join();
  EXPECT_FALSE(afterClose) << "an event fired after Close returned";
  EXPECT_FALSE(r.IsConnected());
}

TEST(GpsReceiverPty, ReceptionResumesWhenTheDeviceComesBack) {
  const auto folder =
      std::filesystem::temp_directory_path() / ("halvex-pty-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const auto link = folder / "gps";
  auto first = std::make_unique<Pty>();
  std::filesystem::create_symlink(first->Slave(), link);

  TRaxGPSReceiver r(OpenPath(link.string()), [] { return std::vector<int>{1}; });
  r.SetPort(TCommPort::spCOM1);
  r.SetDelay(10);
  r.SetIdleInterval(1);
  std::atomic<int> fixes{0};
  std::atomic<int> idles{0};
  r.OnPosition3DChange = [&](TRaxCustomGPSReceiver&, long double, long double, long double) {
    ++fixes;
  };
  r.OnIdle = [&](TRaxGPSReceiver&) { ++idles; };
  r.Open();
  first->Write(Gga(1));
  ASSERT_TRUE(WaitUntil([&] { return fixes == 1; }, 3000ms));

  // Unplugged: the line hangs up. A new device appears behind the same link.
  first->Hangup();
  ASSERT_TRUE(WaitUntil([&] { return idles == 1; }, 3000ms)) << "idle once while gone";
  Pty second;
  std::filesystem::remove(link);
  std::filesystem::create_symlink(second.Slave(), link);
  const auto sent = std::chrono::steady_clock::now();
  bool resumed = false;
  while (!resumed && std::chrono::steady_clock::now() - sent < 5s) {
    second.Write(Gga(2));  // sent until the receiver has the new device
    resumed = WaitUntil([&] { return fixes >= 2; }, 200ms);
  }
  EXPECT_TRUE(resumed) << "reception did not resume";
  EXPECT_TRUE(r.IsConnected());
  EXPECT_EQ(idles, 1);
  r.Close();
  first.reset();
  std::filesystem::remove_all(folder);
}

TEST(GpsReceiverPty, PortsMappedInTheProgramsIniAreFound) {
  Pty pty;
  const auto folder =
      std::filesystem::temp_directory_path() / ("halvex-ini-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const auto iniFile = folder / "marnav.INI";
  platform::IniStore(iniFile).WriteString("SERIALCOMM", "COM200", pty.Slave());

  TRaxGPSReceiver r;  // the default opener and lister
  r.SetPort(TCommPort::spCOM200);
  EXPECT_THROW(r.Open(), EGPSError) << "without the INI there is no COM200";
  EXPECT_FALSE(r.GetExistingCommPorts().Contains(TCommPort::spCOM200));

  r.SetPortMapIni(iniFile);
  EXPECT_TRUE(r.GetExistingCommPorts().Contains(TCommPort::spCOM200));
  std::atomic<int> fixes{0};
  r.OnPosition3DChange = [&](TRaxCustomGPSReceiver&, long double, long double, long double) {
    ++fixes;
  };
  r.SetDelay(10);
  r.Open();
  EXPECT_EQ(r.ConnectedTo(), TCommPort::spCOM200);
  pty.Write(Gga(3));
  EXPECT_TRUE(WaitUntil([&] { return fixes == 1; }, 3000ms));
  r.Close();
  std::filesystem::remove_all(folder);
}

// The host's GUI thread: this test's thread runs what the receiver posts.
class GuiQueue {
 public:
  void Post(const std::function<void()>& fn) {
    std::promise<void> done;
    {
      const std::lock_guard lock(mutex_);
      queue_.emplace_back([&] {
        fn();
        done.set_value();
      });
    }
    done.get_future().wait();
  }
  void Process() {
    std::deque<std::function<void()>> batch;
    {
      const std::lock_guard lock(mutex_);
      batch.swap(queue_);
    }
    for (auto& fn : batch) {
      fn();
    }
  }

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> queue_;
};

TEST(GpsReceiverPty, ReopenedFromAHandlerOnTheGuiThreadWithTheSamePort) {
  Pty pty;
  GuiQueue gui;
  TRaxGPSReceiver r(OpenPath(pty.Slave()), [] { return std::vector<int>{1}; });
  r.SetPort(TCommPort::spCOM1);
  r.SetDelay(5);
  r.NeedSynchronization = true;
  r.Synchronize = [&](const std::function<void()>& fn) { gui.Post(fn); };
  r.ProcessMessages = [&] { gui.Process(); };
  int fixes = 0;
  int connects = 0;
  std::string failure;
  r.OnConnect = [&](TRaxGPSReceiver&, TCommPort) { ++connects; };
  r.OnPosition3DChange = [&](TRaxCustomGPSReceiver&, long double, long double, long double) {
    if (++fixes == 1) {
      r.Close();
      try {
        r.Open();  // the exclusive port must have been released
      } catch (const EGPSError& e) {
        failure = e.what();
      }
    }
  };
  r.Open();
  pty.Write(Gga(1));
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (fixes < 2 && std::chrono::steady_clock::now() < end) {
    gui.Process();
    if (connects == 2) {
      pty.Offer(Gga(2));
    }
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(failure, "");
  EXPECT_EQ(connects, 2);
  EXPECT_GE(fixes, 2) << "reception after reopening";
  r.Close();
  EXPECT_FALSE(r.IsConnected());
}

}  // namespace
}  // namespace halvex::nmea
