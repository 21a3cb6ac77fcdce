// SPDX-License-Identifier: GPL-3.0-or-later
#include "nmea/GpsReceiver.hpp"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <chrono>

#include "nmea/NmeaOutput.hpp"
#include "platform/IniStore.hpp"

namespace halvex::nmea {
namespace {

constexpr std::array<int, 22> kRates = {75,     110,    134,    150,    300,    600,   1200,  1800,
                                        2400,   4800,   7200,   9600,   14400,  19200, 38400, 57600,
                                        115200, 128000, 230400, 256000, 460800, 921600};
constexpr std::size_t kQueueSize = 4096;

int NiceOf(TThreadPriority priority) {
  switch (priority) {
    case TThreadPriority::tpIdle:
      return 19;
    case TThreadPriority::tpLowest:
      return 10;
    case TThreadPriority::tpLower:
      return 5;
    case TThreadPriority::tpNormal:
      return 0;
    case TThreadPriority::tpHigher:
      return -5;
    case TThreadPriority::tpHighest:
      return -10;
    case TThreadPriority::tpTimeCritical:
      return -20;
  }
  return 0;
}

void SleepMilliseconds(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace

// The reader thread: polls the device every Delay ms and feeds the owner.
class TRaxGPSReceiver::TComThread {
 public:
  TComThread(TRaxGPSReceiver& owner, std::unique_ptr<platform::SerialDevice> device,
             std::string portName, const platform::SerialLine& line,
             const platform::SerialTimeouts& timeouts)
      : owner_(owner),
        device_(std::move(device)),
        portName_(std::move(portName)),
        line_(line),
        timeouts_(timeouts) {}

  ~TComThread() {
    RequestStop();
    if (thread_.joinable()) {
      if (OnThisThread()) {
        thread_.detach();
      } else {
        thread_.join();
      }
    }
  }

  void Start() {
    if (!started_) {
      started_ = true;
      thread_ = std::thread([this] { Run(); });
    }
  }
  bool Started() const { return started_; }

  void RequestStop() {
    {
      const std::lock_guard lock(wakeMutex_);
      terminate_ = true;
    }
    wake_.notify_all();
  }
  bool StopRequested() const { return terminate_.load(); }

  bool Finished() const { return finished_.load(); }
  bool OnThisThread() const { return std::this_thread::get_id() == thread_.get_id(); }
  // True on the thread that runs one of this reader's events through the
  // host's dispatcher, while the reader waits for it.
  bool RunningEventHere() const { return eventThread_.load() == std::this_thread::get_id(); }

  // Waits up to `milliseconds` for the thread to end.
  bool WaitFinished(int milliseconds) {
    std::unique_lock lock(wakeMutex_);
    return finishedCv_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                [this] { return finished_.load(); });
  }

  void Join() {
    if (thread_.joinable() && !OnThisThread()) {
      thread_.join();
    }
  }

  // A Close that could not wait for this thread: the data model is reset
  // when the connection ends, before OnDisconnect.
  void ResetOnEnd() { resetOnEnd_ = true; }
  // The connection's closing events have run.
  bool EndEventsDone() const { return endEventsDone_.load(); }
  // The owner has moved on to another connection: the end of this thread
  // leaves the owner's connection state alone.
  void Retire() { retired_ = true; }

  // Ends the connection: the reset a Close asked for and OnDisconnect
  // (once, through the dispatcher when `dispatch`, else here), then the
  // device is released. The thread runs it as it ends; the owner runs it
  // itself, without dispatching, when it must open again from inside one
  // of this thread's events.
  void EndConnection(bool dispatch) {
    if (!endEventsDone_.exchange(true)) {
      const TCommPort port = owner_.ConnectedTo();
      const auto events = [this, port] {
        if (resetOnEnd_) {
          owner_.ResetAll();
        }
        if (owner_.OnDisconnect && port != TCommPort::spNone) {
          owner_.OnDisconnect(owner_, port);
        }
      };
      if (dispatch) {
        Dispatch(events);
      } else {
        events();
      }
    }
    const std::lock_guard lock(deviceMutex_);
    if (device_) {
      device_->Purge();
      device_.reset();
    }
  }

  // New line settings: applied at once, and kept for reopening.
  void ApplyLine(const platform::SerialLine& line) {
    const std::lock_guard lock(deviceMutex_);
    line_ = line;
    if (device_) {
      device_->SetLine(line_);
    }
  }

  // Runs `fn` with the device, or returns false when it is gone.
  template <typename F>
  bool WithDevice(F&& fn) {
    const std::lock_guard lock(deviceMutex_);
    if (!device_) {
      return false;
    }
    fn(*device_);
    return true;
  }

  std::string Buffer() const {
    const std::lock_guard lock(bufferMutex_);
    return buffer_;
  }

 private:
  // Runs `fn` through the owner's dispatcher (or here), one event at a time
  // across all readers of the owner, marking the thread that runs it.
  void Dispatch(const std::function<void()>& fn) {
    owner_.RunSynchronized([this, &fn] {
      const std::lock_guard lock(owner_.eventMutex_);
      struct Mark {
        std::atomic<std::thread::id>& slot;
        std::thread::id previous;
        ~Mark() { slot = previous; }
      } mark{eventThread_, eventThread_.exchange(std::this_thread::get_id())};
      fn();
    });
  }

  void ApplyPriority(TThreadPriority& applied) {
    const TThreadPriority wanted = owner_.FPriority.load();
    if (wanted != applied) {
      applied = wanted;
      // Best effort: raising the priority needs privileges.
      ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), NiceOf(wanted));
    }
  }

  // Reads what is queued; empty when nothing (or the device is gone).
  std::string Poll(std::chrono::steady_clock::time_point& lastReopen) {
    const auto now = std::chrono::steady_clock::now();
    const std::lock_guard lock(deviceMutex_);
    if (!device_) {
      // Gone: open the same port again once a second, with its settings.
      if (now - lastReopen >= std::chrono::seconds(1)) {
        lastReopen = now;
        std::string error;
        if (auto device = owner_.opener_(portName_, error)) {
          device->SetLine(line_);
          device->SetQueueSizes(kQueueSize, kQueueSize);
          device->SetTimeouts(timeouts_);
          device_ = std::move(device);
        }
      }
      return {};
    }
    std::size_t count = 0;
    bool lineError = false;
    if (!device_->QueuedBytes(count, lineError)) {
      device_.reset();  // unplugged or hung up: release it, reopen later
      lastReopen = now;
      return {};
    }
    if (count == 0) {
      return {};
    }
    std::string chunk(count, '\0');
    const long n = device_->Read(chunk.data(), count);
    chunk.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return chunk;
  }

  void Run() {
    double idle = 0.0;  // seconds without a byte, in steps of Delay
    bool idleFired = false;
    TThreadPriority priority = TThreadPriority::tpNormal;
    auto lastReopen = std::chrono::steady_clock::now();
    while (!terminate_) {
      ApplyPriority(priority);
      try {
        std::string chunk = Poll(lastReopen);
        if (!chunk.empty() && !terminate_) {
          idle = 0.0;
          idleFired = false;
          {
            const std::lock_guard lock(bufferMutex_);
            buffer_ = chunk;
          }
          Dispatch([this, &chunk] {
            if (!terminate_) {
              // A Close from a handler stops the decoding of this chunk.
              struct Feeding {
                TRaxGPSReceiver& owner;
                ~Feeding() {
                  owner.feeding_ = false;
                  owner.stopDecoding_ = false;
                }
              } feeding{owner_};
              owner_.stopDecoding_ = false;
              owner_.feeding_ = true;
              owner_.FeedGPSReceiver(chunk);
            }
          });
        }
      } catch (...) {
        // Read and decoding failures are ignored; polling goes on.
      }
      if (terminate_) {
        break;
      }
      const int delay = owner_.Delay();
      {
        std::unique_lock lock(wakeMutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(delay),
                       [this] { return terminate_.load(); });
      }
      if (terminate_) {
        break;
      }
      idle += delay / 1000.0;
      const int idleInterval = owner_.IdleInterval();
      if (!idleFired && idleInterval > 0 && idle >= idleInterval) {
        idleFired = true;
        Dispatch([this] {
          if (terminate_) {
            return;
          }
          owner_.ResetPosition();
          if (owner_.OnIdle && owner_.IsConnected()) {
            owner_.OnIdle(owner_);
          }
        });
      }
      const int timeout = owner_.ConnectionTimeout();
      if (!terminate_ && timeout > 0 && idle >= timeout) {
        Dispatch([this] {
          if (!terminate_ && owner_.OnTimeout && owner_.IsConnected()) {
            owner_.OnTimeout(owner_);
          }
        });
        terminate_ = true;
      }
    }
    try {
      EndConnection(true);
    } catch (...) {
      // A failing handler must not keep the thread from ending.
    }
    if (!retired_) {
      owner_.connectedTo_ = TCommPort::spNone;
    }
    {
      const std::lock_guard lock(wakeMutex_);
      finished_ = true;
    }
    finishedCv_.notify_all();
  }

  TRaxGPSReceiver& owner_;
  std::mutex deviceMutex_;
  std::unique_ptr<platform::SerialDevice> device_;
  std::string portName_;
  platform::SerialLine line_;          // guarded by deviceMutex_
  platform::SerialTimeouts timeouts_;  // guarded by deviceMutex_
  mutable std::mutex bufferMutex_;
  std::string buffer_;
  bool started_ = false;
  std::atomic<bool> terminate_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> resetOnEnd_{false};
  std::atomic<bool> endEventsDone_{false};
  std::atomic<bool> retired_{false};
  std::atomic<std::thread::id> eventThread_{};
  std::mutex wakeMutex_;
  std::condition_variable wake_;
  std::condition_variable finishedCv_;
  std::thread thread_;
};

TRaxGPSReceiver::TRaxGPSReceiver(DeviceOpener opener, PortLister lister,
                                 const platform::Clock* clock)
    : TRaxCustomGPSReceiver(clock), opener_(std::move(opener)), lister_(std::move(lister)) {
  if (!opener_) {
    opener_ = [this](const std::string& portName, std::string& error) {
      const auto path = PortMap().PathOf(portName);
      if (!path) {
        error = "there is no serial port " + portName + " on this machine";
        return std::unique_ptr<platform::SerialDevice>();
      }
      return platform::OpenSerialDevice(*path, error);
    };
  }
  if (!lister_) {
    lister_ = [this] {
      std::vector<int> ports;
      const platform::SerialPortMap map = PortMap();
      for (const auto& [number, path] : map.Ports()) {
        ports.push_back(number);
      }
      return ports;
    };
  }
}

TRaxGPSReceiver::~TRaxGPSReceiver() {
  if (thread_) {
    thread_->RequestStop();
    WaitForReader(*thread_);
    thread_.reset();
  }
  for (const auto& retired : retired_) {
    WaitForReader(*retired);
  }
}

void TRaxGPSReceiver::SetPortMapIni(std::filesystem::path iniFile) {
  const std::lock_guard lock(iniMutex_);
  portMapIni_ = std::move(iniFile);
}

std::filesystem::path TRaxGPSReceiver::PortMapIni() const {
  const std::lock_guard lock(iniMutex_);
  return portMapIni_;
}

platform::SerialPortMap TRaxGPSReceiver::PortMap() const {
  const std::filesystem::path iniFile = PortMapIni();
  if (iniFile.empty()) {
    return platform::SerialPortMap::Scan(nullptr);
  }
  const platform::IniStore ini(iniFile);
  return platform::SerialPortMap::Scan(&ini);
}

// Waits for a reader thread that was asked to stop; the host's messages are
// processed meanwhile, so that a dispatched event it waits for can run.
void TRaxGPSReceiver::WaitForReader(TComThread& reader) {
  reader.Start();  // stopped before it ran (a Close in OnConnect): it ends at once
  int wait = Delay();
  while (!reader.Finished()) {
    Process();
    reader.WaitFinished(wait);
    wait = 10;
  }
  reader.Join();
}

bool TRaxGPSReceiver::InsideEventOf(const TComThread& reader) const {
  return reader.OnThisThread() || reader.RunningEventHere();
}

// Finishes the close of the current reader here (its reset, OnDisconnect,
// the port released) while it waits for the event handler that called,
// and keeps the thread until it has ended.
void TRaxGPSReceiver::RetireReader() {
  thread_->RequestStop();
  thread_->EndConnection(false);
  thread_->Retire();
  retired_.push_back(std::move(thread_));
  connectedTo_ = TCommPort::spNone;
}

// Joins the retired readers that have ended.
void TRaxGPSReceiver::ReapRetired() {
  for (auto it = retired_.begin(); it != retired_.end();) {
    if ((*it)->Finished() && !(*it)->OnThisThread()) {
      (*it)->Join();
      it = retired_.erase(it);
    } else {
      ++it;
    }
  }
}

bool TRaxGPSReceiver::DecodingStopped() const { return stopDecoding_.load(); }

void TRaxGPSReceiver::SetPort(TCommPort value) {
  const std::string name = CommPortToString(value);
  if (name != FPort) {
    FPort = name;
  }
}

void TRaxGPSReceiver::SetBaudRate(TBaudRate value) {
  FBaudRate = BaudRateToInt(value);
  ApplySettings();
}

void TRaxGPSReceiver::SetCustomBaudRate(int value) {
  const bool custom = BaudRate() == TBaudRate::brCustom;
  FCustomBaudRate = value;
  if (custom) {
    FBaudRate = value;
  }
  ApplySettings();
}

void TRaxGPSReceiver::SetDataWidth(TDataWidth value) {
  const TStopBits stop = StopBits();
  if ((value == TDataWidth::dw5Bits && stop == TStopBits::sb2Bits) ||
      (value != TDataWidth::dw5Bits && stop == TStopBits::sb1_5Bits)) {
    throw EGPSError("Invalid data-width and stop-bits combination.");
  }
  FDataWidth = static_cast<int>(value) + 5;
  ApplySettings();
}

void TRaxGPSReceiver::SetStopBits(TStopBits value) {
  FStopBits = static_cast<int>(value);
  ApplySettings();
}

void TRaxGPSReceiver::SetParity(TParityBits value) {
  FParity = static_cast<int>(value);
  ApplySettings();
}

void TRaxGPSReceiver::SetEnableDTROnOpen(bool value) {
  if (value != FEnableDTROnOpen) {
    FEnableDTROnOpen = value;
  }
  ApplySettings();
}

void TRaxGPSReceiver::SetEnableRTSOnOpen(bool value) {
  if (value != FEnableRTSOnOpen) {
    FEnableRTSOnOpen = value;
  }
  ApplySettings();
}

void TRaxGPSReceiver::SetPriority(TThreadPriority value) {
  FPriority = value;  // the reader thread applies it at its next poll
}

platform::SerialLine TRaxGPSReceiver::Line() const {
  platform::SerialLine line;
  line.baudRate = FBaudRate;
  line.dataBits = FDataWidth;
  line.parity = FParity;
  line.stopBits = FStopBits;
  line.dtr = FEnableDTROnOpen;
  line.rts = FEnableRTSOnOpen;
  return line;
}

void TRaxGPSReceiver::ApplySettings() {
  if (thread_) {
    thread_->ApplyLine(Line());
  }
}

void TRaxGPSReceiver::RunSynchronized(const std::function<void()>& fn) {
  if (NeedSynchronization && Synchronize) {
    Synchronize(fn);
  } else {
    fn();
  }
}

void TRaxGPSReceiver::ResetAll() {
  ResetPosition();
  ResetActiveRoute();
  ClearWayPoints();
  ResetNavigationInfo();
  ResetReceiverStatus();
}

void TRaxGPSReceiver::Pause(int milliseconds) {
  if (SleepFor) {
    SleepFor(milliseconds);
  } else {
    SleepMilliseconds(milliseconds);
  }
}

void TRaxGPSReceiver::Process() {
  if (ProcessMessages) {
    ProcessMessages();
  }
}

void TRaxGPSReceiver::Open() {
  ReapRetired();
  if (thread_ && thread_->StopRequested()) {
    if (InsideEventOf(*thread_)) {
      // Closed from inside one of the reader's events: that close is
      // finished now, so that the port can be opened again at once.
      RetireReader();
    } else {
      Close();  // a reader still ending: waited for, then a new connection
    }
  }
  const TCommPort wanted = StringToCommPort(FPort);
  if (wanted == ConnectedTo()) {
    return;
  }
  ResetAll();
  if (thread_) {
    Close();
    if (thread_) {
      RetireReader();  // the close had to be deferred: finished here
    }
  }
  connectedTo_ = TCommPort::spNone;
  std::string error;
  std::unique_ptr<platform::SerialDevice> device = opener_(FPort, error);
  bool ready = device != nullptr;
  if (ready) {
    device->SetLine(Line());  // its result is ignored, as a driver may refuse a setting
    ready = device->SetQueueSizes(kQueueSize, kQueueSize) && device->SetTimeouts(FTimeouts);
    if (!ready) {
      error = "the port " + device->Path() + " cannot be configured";
    }
  }
  if (!ready) {
    std::string message = "Cannot connect to port " + FPort + ".";
    if (!error.empty()) {
      message += "\n" + error;
    }
    throw EGPSError(message.c_str());
  }
  connectedTo_ = wanted == TCommPort::spNone ? TCommPort::spNone : wanted;
  thread_ = std::make_unique<TComThread>(*this, std::move(device), FPort, Line(), FTimeouts);
  if (OnConnect && ConnectedTo() != TCommPort::spNone) {
    OnConnect(*this, ConnectedTo());
  }
  if (thread_) {
    thread_->Start();
  }
}

void TRaxGPSReceiver::Close() {
  ReapRetired();
  if (thread_) {
    thread_->RequestStop();
    if (feeding_) {
      stopDecoding_ = true;  // the rest of the chunk being decoded is passed over
    }
    if (InsideEventOf(*thread_)) {
      // Called from one of the reader's events: the reader waits for the
      // handler, so it cannot be waited for here. It ends once the handler
      // returns, and the reset and OnDisconnect follow then.
      if (thread_->EndEventsDone()) {
        ResetAll();  // from OnDisconnect itself
      } else {
        thread_->ResetOnEnd();
      }
      return;
    }
    WaitForReader(*thread_);
    thread_.reset();
  }
  connectedTo_ = TCommPort::spNone;
  ResetAll();
}

int TRaxGPSReceiver::Send(std::string_view text) {
  const std::string_view data = text.substr(0, text.find('\0'));
  long written = -1;
  if (thread_ && IsConnected()) {
    thread_->WithDevice(
        [&](platform::SerialDevice& device) { written = device.Write(data.data(), data.size()); });
  }
  if (written < 0) {
    throw EGPSError(("Port " + FPort + " is not open.").c_str());
  }
  if (written >= 1 && OnSend) {
    OnSend(*this, std::string(data.substr(0, static_cast<std::size_t>(written))));
  }
  return static_cast<int>(written);
}

int TRaxGPSReceiver::UploadWaypoint(const TWayPoint& wayPoint) {
  return Send(WayPointToNMEA(wayPoint));
}

int TRaxGPSReceiver::UploadRoute(const TRoute& route) { return Send(RouteToNMEA(route)); }

TCommPort TRaxGPSReceiver::StringToCommPort(std::string_view port) {
  if (port.size() < 4 || port.size() > 6 || port.substr(0, 3) != "COM" || port[3] == '0') {
    return TCommPort::spNone;
  }
  int n = 0;
  for (const char c : port.substr(3)) {
    if (c < '0' || c > '9') {
      return TCommPort::spNone;
    }
    n = n * 10 + (c - '0');
  }
  return CommPortNumber(n);
}

std::string TRaxGPSReceiver::CommPortToString(TCommPort port) {
  return port == TCommPort::spNone ? std::string() : "COM" + std::to_string(CommPortIndex(port));
}

int TRaxGPSReceiver::BaudRateToInt(TBaudRate rate) const {
  return rate == TBaudRate::brCustom ? FCustomBaudRate : kRates[static_cast<std::size_t>(rate)];
}

TBaudRate TRaxGPSReceiver::IntToBaudRate(int value) {
  for (std::size_t i = 0; i < kRates.size(); ++i) {
    if (kRates[i] == value) {
      return static_cast<TBaudRate>(i);
    }
  }
  return TBaudRate::brCustom;
}

TCommPortSet TRaxGPSReceiver::GetExistingCommPorts() const {
  TCommPortSet ports;
  for (const int n : lister_()) {
    const TCommPort port = CommPortNumber(n);
    if (port != TCommPort::spNone) {
      ports.Include(port);
    }
  }
  return ports;
}

std::string TRaxGPSReceiver::Buffer() const { return thread_ ? thread_->Buffer() : std::string(); }

bool TRaxGPSReceiver::DetectGPS(TCommPort startPort, TBaudRate startBaudRate, TBaudRate endBaudRate,
                                TCommPort& pPort, TBaudRate& pBaudRate) {
  pPort = TCommPort::spNone;
  const TCommPortSet existing = GetExistingCommPorts();
  std::unique_ptr<platform::SerialDevice> device;
  auto release = [&] {
    if (device) {
      device->Purge();
      device.reset();
    }
  };
  for (int n = std::max(1, CommPortIndex(startPort)); n <= 255; ++n) {
    const TCommPort port = CommPortNumber(n);
    if (!existing.Contains(port)) {
      continue;
    }
    if (device) {
      release();
      Pause(50);
    }
    std::string error;
    device = opener_(CommPortToString(port), error);
    if (!device) {
      continue;
    }
    for (int r = static_cast<int>(startBaudRate); r <= static_cast<int>(endBaudRate); ++r) {
      const auto rate = static_cast<TBaudRate>(r);
      bool cancel = false;
      if (OnDetect) {
        OnDetect(*this, port, rate, cancel);
      }
      if (cancel) {
        release();
        pPort = TCommPort::spNone;
        return false;
      }
      platform::SerialLine line;
      line.baudRate = BaudRateToInt(rate);
      device->SetQueueSizes(kQueueSize, kQueueSize);
      device->SetTimeouts(FTimeouts);
      if (!device->SetLine(line)) {
        continue;
      }
      for (int attempt = 0; attempt < 4; ++attempt) {
        std::size_t count = 0;
        bool lineError = false;
        if (!device->QueuedBytes(count, lineError) || lineError) {
          continue;
        }
        if (count > 0) {
          std::string text(count, '\0');
          const long got = device->Read(text.data(), count);
          text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
          for (const char* kind : {"$GPRMC", "$GPGSV", "$GPGSA", "$GPGGA", "$GPGLL"}) {
            if (text.find(kind) != std::string::npos) {
              pPort = port;
              pBaudRate = rate;
              release();
              Pause(50);
              return true;
            }
          }
        }
        Process();
        Pause(900);
      }
    }
    Pause(50);
    Process();
    release();
  }
  return false;
}

bool TRaxGPSReceiver::DetectGPS(TBaudRate startBaudRate, TBaudRate endBaudRate, TCommPort& pPort,
                                TBaudRate& pBaudRate) {
  return DetectGPS(TCommPort::spCOM1, startBaudRate, endBaudRate, pPort, pBaudRate);
}

bool TRaxGPSReceiver::DetectGPS(TCommPort startPort, TCommPort& pPort, TBaudRate& pBaudRate) {
  return DetectGPS(startPort, TBaudRate::br000075, TBaudRate::br921600, pPort, pBaudRate);
}

bool TRaxGPSReceiver::DetectGPS(TCommPort& pPort, TBaudRate& pBaudRate) {
  return DetectGPS(TCommPort::spCOM1, TBaudRate::br000075, TBaudRate::br921600, pPort, pBaudRate);
}

bool TRaxGPSReceiver::FastDetectGPS(TCommPort& pPort, TBaudRate& pBaudRate) {
  return DetectGPS(TCommPort::spCOM1, TBaudRate::br004800, TBaudRate::br115200, pPort, pBaudRate);
}

}  // namespace halvex::nmea
