// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The receiver on a serial port. A reader thread polls the port every
// Delay ms, hands each chunk of text to FeedGPSReceiver, and watches for
// silence: after IdleInterval seconds without a byte the position is reset
// and OnIdle fires (once per silence); after ConnectionTimeout seconds
// OnTimeout fires and the connection closes. A device that disappears
// (unplugged, hung up) is opened again every second until it is back, with
// the same line settings, and reception resumes by itself.
//
// Threads: Open, Close, Send, the setters and detection belong to the host's
// main thread. With NeedSynchronization off the reader thread itself runs
// the decoder and every event; with it on, chunks and the disconnect, idle
// and time-out events run through the host's dispatcher (a callable that
// runs a function on the main thread and waits for it). Events run one at
// a time. Close waits for the reader thread to end, processing the host's
// pending messages meanwhile, so no event fires after Close returns.
//
// Close called from one of the receiver's own event handlers (on the reader
// thread, or on the main thread through the dispatcher) cannot wait, as the
// reader waits for that handler: it asks the reader to stop and returns.
// The rest of the chunk being decoded is passed over, and when the reader
// has ended the data model is reset and OnDisconnect fires (through the
// dispatcher), the last event of that connection. An Open right after such
// a Close, in the same handler, finishes that close at once (reset,
// OnDisconnect, port released) and opens again; an Open, Close or the
// destructor later on the main thread waits for a reader still ending. A class derived from this one
// that overrides ExtractPosition must Close in its destructor.

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "nmea/CommPort.hpp"
#include "nmea/CustomGpsReceiver.hpp"
#include "platform/SerialDevice.hpp"

namespace halvex::nmea {

enum class TBaudRate {
  br000075,
  br000110,
  br000134,
  br000150,
  br000300,
  br000600,
  br001200,
  br001800,
  br002400,
  br004800,
  br007200,
  br009600,
  br014400,
  br019200,
  br038400,
  br057600,
  br115200,
  br128000,
  br230400,
  br256000,
  br460800,
  br921600,
  brCustom,
};
enum class TDataWidth { dw5Bits, dw6Bits, dw7Bits, dw8Bits };
enum class TStopBits { sb1Bit, sb1_5Bits, sb2Bits };
enum class TParityBits { pbNone, pbOdd, pbEven, pbMark, pbSpace };
// Priorities of the reader thread, mapped to nice values (best effort).
enum class TThreadPriority {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

class TRaxGPSReceiver;
using TConnectEvent = std::function<void(TRaxGPSReceiver& Sender, TCommPort Port)>;
using TDetectEvent =
    std::function<void(TRaxGPSReceiver& Sender, TCommPort Port, TBaudRate BaudRate, bool& Cancel)>;
using TReceiverNotifyEvent = std::function<void(TRaxGPSReceiver& Sender)>;

class TRaxGPSReceiver : public TRaxCustomGPSReceiver {
 public:
  // Opens the device behind a port name ("COM3"); null and the reason
  // when it cannot.
  using DeviceOpener = std::function<std::unique_ptr<platform::SerialDevice>(
      const std::string& portName, std::string& error)>;
  // The port numbers present on the machine.
  using PortLister = std::function<std::vector<int>()>;
  // Runs a function on the host's main thread and waits for it.
  using Dispatcher = std::function<void(const std::function<void()>&)>;

  // Defaults: ports through the machine's serial port map (section
  // "SERIALCOMM" of the INI file given by SetPortMapIni first, then the
  // kernel's devices), scanned at each Open, reopening and port listing.
  // Tests give their own.
  explicit TRaxGPSReceiver(DeviceOpener opener = {}, PortLister lister = {},
                           const platform::Clock* clock = nullptr);
  ~TRaxGPSReceiver() override;

  // The program's INI file whose "SERIALCOMM" entries name ports for the
  // default opener and lister (empty: the kernel's devices only).
  void SetPortMapIni(std::filesystem::path iniFile);
  std::filesystem::path PortMapIni() const;
  // The map the default opener and lister use now.
  platform::SerialPortMap PortMap() const;

  // --- Properties ---
  TCommPort Port() const { return StringToCommPort(FPort); }
  void SetPort(TCommPort value);
  TBaudRate BaudRate() const { return IntToBaudRate(FBaudRate); }
  void SetBaudRate(TBaudRate value);
  int CustomBaudRate() const { return FCustomBaudRate; }
  void SetCustomBaudRate(int value);
  TDataWidth DataWidth() const { return static_cast<TDataWidth>(FDataWidth - 5); }
  void SetDataWidth(TDataWidth value);
  TStopBits StopBits() const { return static_cast<TStopBits>(FStopBits); }
  void SetStopBits(TStopBits value);
  TParityBits Parity() const { return static_cast<TParityBits>(FParity); }
  void SetParity(TParityBits value);
  bool EnableDTROnOpen() const { return FEnableDTROnOpen; }
  void SetEnableDTROnOpen(bool value);
  bool EnableRTSOnOpen() const { return FEnableRTSOnOpen; }
  void SetEnableRTSOnOpen(bool value);
  TThreadPriority Priority() const { return FPriority.load(); }
  void SetPriority(TThreadPriority value);
  int Delay() const { return FDelay.load(); }  // polling period, ms
  void SetDelay(int value) { FDelay = value < 1 ? 1 : value; }
  int ConnectionTimeout() const { return FTimeout.load(); }  // seconds; 0 off
  void SetConnectionTimeout(int value) { FTimeout = value; }
  int IdleInterval() const { return FIdleInterval.load(); }  // seconds; 0 off
  void SetIdleInterval(int value) { FIdleInterval = value; }
  platform::SerialTimeouts Timeouts() const { return FTimeouts; }
  void SetTimeouts(const platform::SerialTimeouts& value) { FTimeouts = value; }

  bool NeedSynchronization = false;
  Dispatcher Synchronize;
  // Lets the host's user interface process its pending messages while
  // Close waits and between detection attempts.
  std::function<void()> ProcessMessages;
  // How the component sleeps between detection attempts (tests shorten it).
  std::function<void(int milliseconds)> SleepFor;

  // --- Events ---
  TConnectEvent OnConnect;
  TConnectEvent OnDisconnect;
  TDetectEvent OnDetect;
  TReceiverNotifyEvent OnIdle;
  TReceiverNotifyEvent OnTimeout;

  // --- Operations ---
  // Opens the port named by Port (nothing when already open on it); raises
  // EGPSError "Cannot connect to port COMn." with the reason appended when
  // it cannot.
  void Open();
  void Close();
  bool IsConnected() const { return ConnectedTo() != TCommPort::spNone; }
  TCommPort ConnectedTo() const { return connectedTo_.load(); }
  // Writes the text (up to its first NUL); the number of bytes written.
  // Raises "Port COMn is not open." when closed or when the write fails.
  int Send(std::string_view text);
  int UploadWaypoint(const TWayPoint& wayPoint);
  int UploadRoute(const TRoute& route);

  static TCommPort StringToCommPort(std::string_view port);
  static std::string CommPortToString(TCommPort port);
  int BaudRateToInt(TBaudRate rate) const;
  static TBaudRate IntToBaudRate(int value);
  TCommPortSet GetExistingCommPorts() const;

  bool DetectGPS(TCommPort startPort, TBaudRate startBaudRate, TBaudRate endBaudRate,
                 TCommPort& pPort, TBaudRate& pBaudRate);
  bool DetectGPS(TBaudRate startBaudRate, TBaudRate endBaudRate, TCommPort& pPort,
                 TBaudRate& pBaudRate);
  bool DetectGPS(TCommPort startPort, TCommPort& pPort, TBaudRate& pBaudRate);
  bool DetectGPS(TCommPort& pPort, TBaudRate& pBaudRate);
  bool FastDetectGPS(TCommPort& pPort, TBaudRate& pBaudRate);

  // The last chunk read.
  std::string Buffer() const;

 private:
  class TComThread;
  friend class TComThread;

  bool DecodingStopped() const override;
  platform::SerialLine Line() const;
  // Applies the line settings again while open.
  void ApplySettings();
  // Runs `fn` on the main thread when NeedSynchronization is on, else here.
  void RunSynchronized(const std::function<void()>& fn);
  void ResetAll();
  void Pause(int milliseconds);
  void Process();
  void WaitForReader(TComThread& reader);
  bool InsideEventOf(const TComThread& reader) const;
  void RetireReader();
  void ReapRetired();

  std::string FPort;
  int FBaudRate = 4800;
  int FCustomBaudRate = 0;
  int FDataWidth = 8;
  int FParity = 0;
  int FStopBits = 0;
  bool FEnableDTROnOpen = true;
  bool FEnableRTSOnOpen = true;
  platform::SerialTimeouts FTimeouts;
  std::atomic<TThreadPriority> FPriority{TThreadPriority::tpNormal};
  std::atomic<int> FDelay{1000};
  std::atomic<int> FTimeout{0};
  std::atomic<int> FIdleInterval{0};

  DeviceOpener opener_;
  PortLister lister_;
  std::atomic<TCommPort> connectedTo_{TCommPort::spNone};
  std::unique_ptr<TComThread> thread_;
  // Readers closed from inside their own events, until they have ended.
  std::vector<std::unique_ptr<TComThread>> retired_;
  // Held while an event of any reader runs (one at a time).
  std::recursive_mutex eventMutex_;
  std::atomic<bool> feeding_{false};  // a reader is decoding a chunk
  std::atomic<bool> stopDecoding_{false};
  mutable std::mutex iniMutex_;
  std::filesystem::path portMapIni_;
};

}  // namespace halvex::nmea
