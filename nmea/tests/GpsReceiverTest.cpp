// SPDX-License-Identifier: GPL-3.0-or-later
// The serial receiver against scripted devices: connection, reader loop,
// idle and time-out, a device that disappears and comes back, sending,
// settings, detection, and events through a host dispatcher.

#include "nmea/GpsReceiver.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "nmea/NmeaText.hpp"

namespace halvex::nmea {
namespace {

using namespace std::chrono_literals;

// What a scripted device holds; shared with the test, which feeds it.
struct Line {
  std::mutex mutex;
  std::string pending;     // bytes waiting to be read
  std::string written;     // bytes the receiver wrote
  std::vector<int> rates;  // every SetLine's baud rate
  bool failed = false;     // unplugged
  bool readFails = false;  // reads fail while the line stays
  int talksAt = 0;         // with non-zero: text only appears at this rate
  std::string talk;        // the text the device repeats at that rate
  int currentRate = 0;

  void Push(const std::string& text) {
    const std::lock_guard lock(mutex);
    pending += text;
  }
};

class ScriptedDevice : public platform::SerialDevice {
 public:
  explicit ScriptedDevice(std::shared_ptr<Line> line) : line_(std::move(line)) {}
  bool SetLine(const platform::SerialLine& settings) override {
    const std::lock_guard lock(line_->mutex);
    line_->rates.push_back(settings.baudRate);
    line_->currentRate = settings.baudRate;
    return true;
  }
  bool SetQueueSizes(std::size_t, std::size_t) override { return true; }
  bool SetTimeouts(const platform::SerialTimeouts&) override { return true; }
  bool QueuedBytes(std::size_t& count, bool& lineError) override {
    const std::lock_guard lock(line_->mutex);
    lineError = false;
    if (line_->failed) {
      return false;
    }
    if (line_->talksAt != 0 && line_->currentRate == line_->talksAt) {
      line_->pending += line_->talk;
    }
    count = line_->pending.size();
    return true;
  }
  long Read(char* buffer, std::size_t size) override {
    const std::lock_guard lock(line_->mutex);
    if (line_->readFails) {
      return -1;
    }
    const std::size_t n = std::min(size, line_->pending.size());
    line_->pending.copy(buffer, n);
    line_->pending.erase(0, n);
    return static_cast<long>(n);
  }
  long Write(const char* data, std::size_t size) override {
    const std::lock_guard lock(line_->mutex);
    if (line_->failed) {
      return -1;
    }
    line_->written.append(data, size);
    return static_cast<long>(size);
  }
  void Purge() override {
    const std::lock_guard lock(line_->mutex);
    line_->pending.clear();
  }
  const std::string& Path() const override { return path_; }

 private:
  std::shared_ptr<Line> line_;
  std::string path_ = "/dev/scripted";
};

// Ports by name; each open gives a new device on the port's line, as
// opening a real device again does.
class Ports {
 public:
  std::shared_ptr<Line> Add(const std::string& name) {
    auto line = std::make_shared<Line>();
    lines_[name] = line;
    return line;
  }
  TRaxGPSReceiver::DeviceOpener Opener() {
    return [this](const std::string& name,
                  std::string& error) -> std::unique_ptr<platform::SerialDevice> {
      const std::lock_guard lock(mutex_);
      ++opens_[name];
      const auto it = lines_.find(name);
      bool failed = false;
      if (it != lines_.end()) {
        const std::lock_guard lineLock(it->second->mutex);
        failed = it->second->failed;
      }
      if (it == lines_.end() || failed) {
        error = "cannot open " + name + ": no such device";
        return nullptr;
      }
      return std::make_unique<ScriptedDevice>(it->second);
    };
  }
  TRaxGPSReceiver::PortLister Lister() {
    return [this] {
      std::vector<int> numbers;
      for (const auto& [name, line] : lines_) {
        numbers.push_back(std::stoi(name.substr(3)));
      }
      return numbers;
    };
  }
  int Opens(const std::string& name) {
    const std::lock_guard lock(mutex_);
    return opens_[name];
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Line>> lines_;
  std::map<std::string, int> opens_;
};

// Events of the receiver, from any thread.
class Log {
 public:
  void Add(std::string event) {
    const std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }
  int Count(const std::string& event) {
    const std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(events_.begin(), events_.end(), event));
  }
  // Waits until `event` was recorded `times` times, at most `limit`.
  bool WaitFor(const std::string& event, int times = 1, std::chrono::milliseconds limit = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      if (Count(event) >= times) {
        return true;
      }
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }
  std::vector<std::string> All() {
    const std::lock_guard lock(mutex_);
    return events_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> events_;
};

const std::string kGga = AddCrLfToNMEA(
    AddCheckSumToNMEA("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));

// Something in the data model for a reset to clear.
void AddWayPoint(TRaxCustomGPSReceiver& receiver) {
  auto wayPoint = std::make_unique<TWayPoint>();
  wayPoint->Name = "W1";
  receiver.WayPoints().Add(wayPoint);
}

class GpsReceiverTest : public ::testing::Test {
 protected:
  GpsReceiverTest() : receiver_(ports_.Opener(), ports_.Lister()) {
    receiver_.SetDelay(10);
    receiver_.SleepFor = [](int) {};
    receiver_.OnConnect = [this](TRaxGPSReceiver&, TCommPort p) {
      log_.Add("Connect " + TRaxGPSReceiver::CommPortToString(p));
    };
    receiver_.OnDisconnect = [this](TRaxGPSReceiver&, TCommPort p) {
      log_.Add("Disconnect " + TRaxGPSReceiver::CommPortToString(p));
    };
    receiver_.OnIdle = [this](TRaxGPSReceiver&) { log_.Add("Idle"); };
    receiver_.OnTimeout = [this](TRaxGPSReceiver&) { log_.Add("Timeout"); };
    receiver_.OnNewCommand = [this](TRaxCustomGPSReceiver&, const std::string&) {
      log_.Add("NewCommand");
    };
  }

  // Waits until the reader has ended the connection by itself.
  bool WaitUntilClosed() {
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (receiver_.IsConnected() && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(1ms);
    }
    return !receiver_.IsConnected();
  }

  Ports ports_;
  Log log_;
  TRaxGPSReceiver receiver_;
};

TEST_F(GpsReceiverTest, OpenReadCloseInOrder) {
  const auto com3 = ports_.Add("COM3");
  receiver_.Open();  // no port set and nothing open: nothing happens
  EXPECT_FALSE(receiver_.IsConnected());

  receiver_.SetPort(TCommPort::spCOM3);
  receiver_.Open();
  EXPECT_EQ(receiver_.ConnectedTo(), TCommPort::spCOM3);
  com3->Push(kGga.substr(0, 20));
  com3->Push(kGga.substr(20) + kGga);
  ASSERT_TRUE(log_.WaitFor("NewCommand", 2));
  receiver_.Open();  // the same port again keeps the connection
  EXPECT_EQ(log_.Count("Connect COM3"), 1);
  EXPECT_EQ(receiver_.GetLatitudeDegree(), 48) << "no reset by the second Open";

  // A failing read is passed over; polling goes on.
  {
    const std::lock_guard lock(com3->mutex);
    com3->readFails = true;
  }
  com3->Push(kGga);
  std::this_thread::sleep_for(50ms);
  {
    const std::lock_guard lock(com3->mutex);
    com3->readFails = false;
  }
  ASSERT_TRUE(log_.WaitFor("NewCommand", 3));
  EXPECT_TRUE(receiver_.IsConnected());

  receiver_.Close();
  EXPECT_FALSE(receiver_.IsConnected());
  EXPECT_EQ(log_.All().back(), "Disconnect COM3") << "disconnect fires before Close returns";
  com3->Push(kGga);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(log_.Count("NewCommand"), 3) << "nothing is read after Close";
  EXPECT_EQ(receiver_.GetLatitudeDegree(), 0) << "Close resets the position";
}

TEST_F(GpsReceiverTest, AFailedOpenSaysWhyAndStaysClosed) {
  receiver_.SetPort(TCommPort::spCOM7);
  try {
    receiver_.Open();
    FAIL() << "no error";
  } catch (const EGPSError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot connect to port COM7.\ncannot open COM7: no such device");
  }
  EXPECT_FALSE(receiver_.IsConnected());
  EXPECT_EQ(log_.Count("Connect COM7"), 0);
}

TEST_F(GpsReceiverTest, IdleOncePerSilenceAndTimeoutCloses) {
  const auto com1 = ports_.Add("COM1");
  receiver_.SetPort(TCommPort::spCOM1);
  receiver_.SetDelay(20);
  receiver_.SetIdleInterval(1);
  receiver_.Open();
  com1->Push(kGga);
  ASSERT_TRUE(log_.WaitFor("NewCommand"));
  ASSERT_TRUE(log_.WaitFor("Idle"));
  EXPECT_EQ(receiver_.GetLatitudeDegree(), 0) << "idle resets the position";
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(log_.Count("Idle"), 1) << "once per silence";
  com1->Push(kGga);
  ASSERT_TRUE(log_.WaitFor("Idle", 2));

  receiver_.SetConnectionTimeout(1);
  ASSERT_TRUE(log_.WaitFor("Disconnect COM1"));
  EXPECT_EQ(log_.Count("Timeout"), 1);
  EXPECT_FALSE(receiver_.IsConnected());
  receiver_.Open();  // a new connection after the time-out
  EXPECT_EQ(log_.Count("Connect COM1"), 2);
  receiver_.Close();
}

TEST_F(GpsReceiverTest, ADeviceThatDisappearsIsOpenedAgain) {
  const auto com4 = ports_.Add("COM4");
  receiver_.SetPort(TCommPort::spCOM4);
  receiver_.SetBaudRate(TBaudRate::br038400);
  receiver_.Open();
  com4->Push(kGga);
  ASSERT_TRUE(log_.WaitFor("NewCommand"));
  {
    const std::lock_guard lock(com4->mutex);
    com4->failed = true;  // unplugged
  }
  std::this_thread::sleep_for(1200ms);
  EXPECT_TRUE(receiver_.IsConnected()) << "the connection waits for the device";
  {
    const std::lock_guard lock(com4->mutex);
    com4->failed = false;  // plugged in again
    com4->rates.clear();
  }
  com4->Push(kGga);
  ASSERT_TRUE(log_.WaitFor("NewCommand", 2, 3000ms));
  EXPECT_GE(ports_.Opens("COM4"), 2);
  {
    const std::lock_guard lock(com4->mutex);
    ASSERT_FALSE(com4->rates.empty());
    EXPECT_EQ(com4->rates.front(), 38400) << "the line settings are restored";
  }
  receiver_.Close();
}

TEST_F(GpsReceiverTest, SendingAndSettings) {
  const auto com2 = ports_.Add("COM2");
  receiver_.SetPort(TCommPort::spCOM2);
  std::string sent;
  receiver_.OnSend = [&](TRaxCustomGPSReceiver&, const std::string& b) { sent = b; };
  EXPECT_THROW(receiver_.Send("x"), EGPSError);
  try {
    receiver_.Send("x");
  } catch (const EGPSError& e) {
    EXPECT_EQ(std::string(e.what()), "Port COM2 is not open.");
  }
  receiver_.Open();
  EXPECT_EQ(receiver_.Send(std::string("$PX\0tail", 8)), 3);
  EXPECT_EQ(sent, "$PX");
  TRoute route;
  route.Name = "R1";
  route.WayPoints = {"A", "B"};
  receiver_.UploadRoute(route);
  {
    const std::lock_guard lock(com2->mutex);
    EXPECT_EQ(com2->written, "$PX" + AddCrLfToNMEA(AddCheckSumToNMEA("$GPRTE,1,1,c,R1,A,B")));
  }

  receiver_.SetCustomBaudRate(250000);
  EXPECT_EQ(receiver_.BaudRate(), TBaudRate::br004800);
  receiver_.SetBaudRate(TBaudRate::brCustom);
  receiver_.SetCustomBaudRate(500000);  // applied at once while custom
  {
    const std::lock_guard lock(com2->mutex);
    EXPECT_EQ(com2->rates.back(), 500000);
  }
  EXPECT_EQ(receiver_.BaudRate(), TBaudRate::brCustom);
  receiver_.SetStopBits(TStopBits::sb1_5Bits);
  EXPECT_THROW(receiver_.SetDataWidth(TDataWidth::dw8Bits), EGPSError);
  EXPECT_EQ(receiver_.DataWidth(), TDataWidth::dw8Bits);
  EXPECT_NO_THROW(receiver_.SetDataWidth(TDataWidth::dw5Bits));
  receiver_.SetStopBits(TStopBits::sb2Bits);
  try {
    receiver_.SetDataWidth(TDataWidth::dw5Bits);
  } catch (const EGPSError& e) {
    EXPECT_EQ(std::string(e.what()), "Invalid data-width and stop-bits combination.");
  }
  receiver_.Close();
  {
    const std::lock_guard lock(com2->mutex);
    com2->failed = true;
  }
}

TEST(GpsReceiverNames, PortsAndRates) {
  EXPECT_EQ(TRaxGPSReceiver::StringToCommPort("COM1"), TCommPort::spCOM1);
  EXPECT_EQ(TRaxGPSReceiver::StringToCommPort("COM255"), TCommPort::spCOM255);
  for (const char* bad : {"com1", "COM0", "COM256", "COM01", "COM", "COM1 ", ""}) {
    EXPECT_EQ(TRaxGPSReceiver::StringToCommPort(bad), TCommPort::spNone) << bad;
  }
  EXPECT_EQ(TRaxGPSReceiver::CommPortToString(TCommPort::spCOM12), "COM12");
  EXPECT_EQ(TRaxGPSReceiver::CommPortToString(TCommPort::spNone), "");
  EXPECT_EQ(TRaxGPSReceiver::IntToBaudRate(4800), TBaudRate::br004800);
  EXPECT_EQ(TRaxGPSReceiver::IntToBaudRate(921600), TBaudRate::br921600);
  EXPECT_EQ(TRaxGPSReceiver::IntToBaudRate(4801), TBaudRate::brCustom);
  TRaxGPSReceiver r([](const std::string&, std::string&) { return nullptr; },
                    [] { return std::vector<int>{}; });
  EXPECT_EQ(r.BaudRateToInt(TBaudRate::br000134), 134);
  EXPECT_EQ(r.BaudRate(), TBaudRate::br004800);
}

TEST_F(GpsReceiverTest, DetectionFindsTheTalkingPortAndRate) {
  ports_.Add("COM2");  // silent
  const auto com5 = ports_.Add("COM5");
  com5->talksAt = 9600;
  com5->talk = kGga.substr(0, 30);
  std::vector<std::string> tried;
  receiver_.OnDetect = [&](TRaxGPSReceiver&, TCommPort p, TBaudRate r, bool&) {
    tried.push_back(TRaxGPSReceiver::CommPortToString(p) + "@" +
                    std::to_string(receiver_.BaudRateToInt(r)));
  };
  TCommPort port = TCommPort::spNone;
  TBaudRate rate = TBaudRate::br000075;
  ASSERT_TRUE(receiver_.FastDetectGPS(port, rate));
  EXPECT_EQ(port, TCommPort::spCOM5);
  EXPECT_EQ(rate, TBaudRate::br009600);
  ASSERT_GE(tried.size(), 2U);
  EXPECT_EQ(tried.front(), "COM2@4800");
  EXPECT_EQ(tried.back(), "COM5@9600");

  // A GN talker is not recognised; a cancel stops at once.
  com5->talk = "$GNGGA,1,2";
  EXPECT_FALSE(receiver_.FastDetectGPS(port, rate));
  int calls = 0;
  receiver_.OnDetect = [&](TRaxGPSReceiver&, TCommPort, TBaudRate, bool& cancel) {
    cancel = ++calls == 3;
  };
  EXPECT_FALSE(receiver_.FastDetectGPS(port, rate));
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(port, TCommPort::spNone);
}

TEST(GpsReceiverDetection, NoPortsNoDetectEvent) {
  TRaxGPSReceiver r([](const std::string&, std::string&) { return nullptr; },
                    [] { return std::vector<int>{}; });
  bool detected = false;
  r.OnDetect = [&](TRaxGPSReceiver&, TCommPort, TBaudRate, bool&) { detected = true; };
  TCommPort port = TCommPort::spCOM1;
  TBaudRate rate = TBaudRate::br000075;
  EXPECT_FALSE(r.FastDetectGPS(port, rate));
  EXPECT_FALSE(detected);
  EXPECT_EQ(port, TCommPort::spNone);
}

// The host's main thread: a queue of functions it runs when it processes
// its messages, as a desktop program's event loop does.
class MainThreadQueue {
 public:
  void Post(const std::function<void()>& fn) {
    std::mutex done;
    std::condition_variable doneCv;
    bool finished = false;
    {
      const std::lock_guard lock(mutex_);
      queue_.push_back([&] {
        fn();
        const std::lock_guard l(done);
        finished = true;
        doneCv.notify_all();
      });
    }
    std::unique_lock l(done);
    doneCv.wait(l, [&] { return finished; });
  }
  bool Pending() {
    const std::lock_guard lock(mutex_);
    return !queue_.empty();
  }
  // The host's event loop: runs what is posted until `done`, at most `limit`.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) {
        return false;
      }
      Process();
      std::this_thread::sleep_for(1ms);
    }
    return true;
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

TEST_F(GpsReceiverTest, EventsThroughTheHostDispatcher) {
  const auto com6 = ports_.Add("COM6");
  MainThreadQueue main;
  const auto mainId = std::this_thread::get_id();
  bool allOnMain = true;
  receiver_.NeedSynchronization = true;
  receiver_.Synchronize = [&](const std::function<void()>& fn) { main.Post(fn); };
  receiver_.ProcessMessages = [&] { main.Process(); };
  receiver_.OnNewCommand = [&](TRaxCustomGPSReceiver&, const std::string&) {
    allOnMain = allOnMain && std::this_thread::get_id() == mainId;
    log_.Add("NewCommand");
  };
  receiver_.SetPort(TCommPort::spCOM6);
  receiver_.Open();
  com6->Push(kGga + kGga);
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (log_.Count("NewCommand") < 2 && std::chrono::steady_clock::now() < end) {
    main.Process();
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(log_.Count("NewCommand"), 2);
  EXPECT_TRUE(allOnMain);
  receiver_.Close();  // must not wait forever for the dispatched disconnect
  EXPECT_EQ(log_.Count("Disconnect COM6"), 1);
}

TEST_F(GpsReceiverTest, CloseFromAReaderThreadHandlerResetsBeforeDisconnect) {
  const auto com3 = ports_.Add("COM3");
  receiver_.SetPort(TCommPort::spCOM3);
  int latitudeAtDisconnect = -1;
  receiver_.OnDisconnect = [&](TRaxGPSReceiver& r, TCommPort) {
    latitudeAtDisconnect = r.GetLatitudeDegree();
    log_.Add("Disconnect");
  };
  receiver_.OnNewCommand = [&](TRaxCustomGPSReceiver&, const std::string&) {
    log_.Add("NewCommand");
    AddWayPoint(receiver_);
    receiver_.Close();  // on the reader thread: only asks it to end
  };
  receiver_.OnReceive = [&](TRaxCustomGPSReceiver&, const std::string&) { log_.Add("Receive"); };
  receiver_.Open();
  com3->Push(kGga + kGga);
  ASSERT_TRUE(log_.WaitFor("Disconnect"));
  EXPECT_EQ(latitudeAtDisconnect, 0) << "the position is reset before OnDisconnect";
  EXPECT_EQ(receiver_.WayPoints().Count(), 0);
  EXPECT_EQ(log_.All(), (std::vector<std::string>{"Connect COM3", "NewCommand", "Disconnect"}))
      << "the rest of the chunk is passed over after Close";
  ASSERT_TRUE(WaitUntilClosed());
  receiver_.Open();  // joins the old thread and connects again
  EXPECT_EQ(log_.Count("Connect COM3"), 2);
  receiver_.OnNewCommand = nullptr;
  receiver_.Close();
}

TEST_F(GpsReceiverTest, CloseInsideOnConnect) {
  ports_.Add("COM2");
  receiver_.SetPort(TCommPort::spCOM2);
  receiver_.OnConnect = [this](TRaxGPSReceiver& r, TCommPort) {
    log_.Add("Connect");
    r.Close();  // the reader has not started yet: it must not be waited for in vain
  };
  receiver_.Open();
  EXPECT_FALSE(receiver_.IsConnected());
  EXPECT_EQ(log_.All(), (std::vector<std::string>{"Connect", "Disconnect COM2"}));
  receiver_.OnConnect = nullptr;
  receiver_.Open();
  EXPECT_TRUE(receiver_.IsConnected());
  receiver_.Close();
}

// Ends the test program when a scenario does not finish: a deadlock would
// otherwise hang the run until CTest's time limit.
class Watchdog {
 public:
  explicit Watchdog(const char* what, std::chrono::seconds limit = 20s)
      : thread_([this, what, limit] {
          std::unique_lock lock(mutex_);
          if (!cv_.wait_for(lock, limit, [this] { return done_; })) {
            std::fprintf(stderr, "deadlock: %s did not finish\n", what);
            std::_Exit(1);
          }
        }) {}
  ~Watchdog() {
    {
      const std::lock_guard lock(mutex_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

// A host whose main thread is a GUI event loop (this test's thread): every
// event of the receiver is dispatched to it while the reader waits.
class GuiThreadTest : public GpsReceiverTest {
 protected:
  GuiThreadTest() {
    receiver_.NeedSynchronization = true;
    receiver_.Synchronize = [this](const std::function<void()>& fn) { gui_.Post(fn); };
    receiver_.ProcessMessages = [this] { gui_.Process(); };
    receiver_.OnDisconnect = [this](TRaxGPSReceiver& r, TCommPort p) {
      log_.Add("Disconnect " + TRaxGPSReceiver::CommPortToString(p) + " at " +
               std::to_string(r.GetLatitudeDegree()));
    };
  }
  MainThreadQueue gui_;
};

TEST_F(GuiThreadTest, CloseInADispatchedHandlerReturnsAndFinishesLater) {
  Watchdog watchdog("Close in a dispatched OnNewCommand");
  const auto com6 = ports_.Add("COM6");
  receiver_.SetPort(TCommPort::spCOM6);
  bool returned = false;
  receiver_.OnNewCommand = [&](TRaxCustomGPSReceiver& r, const std::string&) {
    log_.Add("NewCommand");
    AddWayPoint(r);
    receiver_.Close();
    returned = true;
    EXPECT_TRUE(receiver_.IsConnected()) << "the close ends with the reader";
  };
  receiver_.Open();
  com6->Push(kGga + kGga);
  ASSERT_TRUE(gui_.RunUntil([&] { return log_.Count("Disconnect COM6 at 0") == 1; }))
      << ::testing::PrintToString(log_.All());
  EXPECT_TRUE(returned);
  EXPECT_EQ(receiver_.WayPoints().Count(), 0) << "reset when the reader ended";
  ASSERT_TRUE(gui_.RunUntil([&] { return !receiver_.IsConnected(); }));
  com6->Push(kGga);
  gui_.RunUntil([] { return false; }, 100ms);
  EXPECT_EQ(log_.All(),
            (std::vector<std::string>{"Connect COM6", "NewCommand", "Disconnect COM6 at 0"}))
      << "OnDisconnect is the last event";
  {
    const std::lock_guard lock(com6->mutex);
    EXPECT_EQ(com6->pending, kGga) << "the port is no longer read";
  }
  receiver_.Close();  // joins the ended reader; nothing more fires
  EXPECT_EQ(log_.All().size(), 3U);
}

TEST_F(GuiThreadTest, CloseAndOpenInADispatchedHandlerThenDestroy) {
  Watchdog watchdog("Close and Open in a dispatched OnNewCommand");
  const auto com6 = ports_.Add("COM6");
  auto receiver = std::make_unique<TRaxGPSReceiver>(ports_.Opener(), ports_.Lister());
  TRaxGPSReceiver& r = *receiver;
  r.SetDelay(10);
  r.NeedSynchronization = true;
  r.Synchronize = [this](const std::function<void()>& fn) { gui_.Post(fn); };
  r.ProcessMessages = [this] { gui_.Process(); };
  r.OnConnect = [this](TRaxGPSReceiver&, TCommPort) { log_.Add("Connect"); };
  r.OnDisconnect = [this](TRaxGPSReceiver& sender, TCommPort) {
    log_.Add("Disconnect at " + std::to_string(sender.GetLatitudeDegree()));
  };
  int commands = 0;
  r.OnNewCommand = [&](TRaxCustomGPSReceiver&, const std::string&) {
    log_.Add("NewCommand");
    if (++commands == 1) {
      r.Close();
      r.Open();  // the same port at once: the first connection is finished here
      EXPECT_TRUE(r.IsConnected());
    }
  };
  r.SetPort(TCommPort::spCOM6);
  r.Open();
  com6->Push(kGga + kGga);
  ASSERT_TRUE(gui_.RunUntil([&] { return log_.Count("Connect") == 2; }));
  EXPECT_EQ(ports_.Opens("COM6"), 2);
  com6->Push(kGga);
  ASSERT_TRUE(gui_.RunUntil([&] { return log_.Count("NewCommand") == 2; }));
  EXPECT_EQ(log_.All(), (std::vector<std::string>{"Connect", "NewCommand", "Disconnect at 0",
                                                  "Connect", "NewCommand"}));
  com6->Push(kGga);
  receiver.reset();  // waits for both readers, running what they dispatch
  const std::vector<std::string> events = log_.All();
  EXPECT_EQ(events.back().rfind("Disconnect", 0), 0U) << events.back();
  EXPECT_EQ(std::count_if(events.begin(), events.end(),
                          [](const std::string& e) { return e.rfind("Disconnect", 0) == 0; }),
            2);
  EXPECT_FALSE(gui_.Pending());
}

TEST_F(GuiThreadTest, OpenWhileADeferredCloseIsEndingConnectsAgain) {
  Watchdog watchdog("Open after a deferred Close");
  const auto com6 = ports_.Add("COM6");
  receiver_.SetPort(TCommPort::spCOM6);
  bool closed = false;
  receiver_.OnNewCommand = [&](TRaxCustomGPSReceiver&, const std::string&) {
    log_.Add("NewCommand");
    if (!closed) {
      closed = true;
      receiver_.Close();
    }
  };
  receiver_.Open();
  com6->Push(kGga);
  ASSERT_TRUE(gui_.RunUntil([&] { return closed; }));
  receiver_.Open();  // the old reader has not ended yet: it is waited for
  EXPECT_EQ(log_.Count("Disconnect COM6 at 0"), 1);
  EXPECT_EQ(log_.Count("Connect COM6"), 2);
  com6->Push(kGga);
  ASSERT_TRUE(gui_.RunUntil([&] { return log_.Count("NewCommand") == 2; }));
  EXPECT_TRUE(receiver_.IsConnected());
  receiver_.Close();
}

TEST_F(GuiThreadTest, CloseWhileAChunkWaitsForTheMainThread) {
  Watchdog watchdog("Close with a pending dispatched chunk");
  const auto com6 = ports_.Add("COM6");
  receiver_.SetPort(TCommPort::spCOM6);
  receiver_.Open();
  com6->Push(kGga);
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (!gui_.Pending() && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_TRUE(gui_.Pending());
  receiver_.Close();  // runs the pending chunk's dispatch while it waits
  EXPECT_FALSE(receiver_.IsConnected());
  EXPECT_EQ(log_.Count("NewCommand"), 0) << "a chunk pending at Close is not decoded";
  EXPECT_EQ(log_.All().back(), "Disconnect COM6 at 0");
  EXPECT_FALSE(gui_.Pending());
}

}  // namespace
}  // namespace halvex::nmea
