// SPDX-License-Identifier: GPL-3.0-or-later
//
// nmea-decode --port: the serial receiver on a port, its events as they
// come, plus Connect, Disconnect, Idle and Timeout.

#include <signal.h>

#include <chrono>
#include <csignal>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "nmea/GpsReceiver.hpp"
#include "platform/SerialDevice.hpp"
#include "tools/NmeaDecode.hpp"
#include "tools/NmeaDecodeEvents.hpp"

namespace halvex::tools::nmea_decode {

namespace {

// Set by SIGINT and SIGTERM while the port is read.
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void OnStopSignal(int) { stopSignal = 1; }

// Catches SIGINT and SIGTERM for its lifetime, then restores the former
// handlers.
class StopSignals {
 public:
  StopSignals() {
    stopSignal = 0;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &oldInt_);
    ::sigaction(SIGTERM, &action, &oldTerm_);
  }
  ~StopSignals() {
    ::sigaction(SIGINT, &oldInt_, nullptr);
    ::sigaction(SIGTERM, &oldTerm_, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
  bool Raised() const { return stopSignal != 0; }

 private:
  struct sigaction oldInt_ {};
  struct sigaction oldTerm_ {};
};

// "Cannot connect to port COMn." of the receiver with the port as the user
// named it: the device path, or the COM name with its path when mapped.
std::string ConnectFailure(const std::string& receiverMessage, const std::string& shownPort) {
  const std::size_t lineEnd = receiverMessage.find('\n');
  std::string message = "Cannot connect to port " + shownPort + ".";
  if (lineEnd != std::string::npos) {
    message += receiverMessage.substr(lineEnd);
  }
  return message;
}

}  // namespace

int RunLive(const Settings& s, std::ostream& out, std::ostream& err) {
  JsonOutput json(out, err);
  const std::string& port = *s.port;
  const bool path = port.find('/') != std::string::npos;
  // A device path is opened as it is, under a port name of its own.
  n::TRaxGPSReceiver::DeviceOpener opener;
  n::TRaxGPSReceiver::PortLister lister;
  if (path) {
    opener = [port](const std::string&, std::string& error) {
      return platform::OpenSerialDevice(port, error);
    };
    lister = [] { return std::vector<int>{1}; };
  }
  Decoder<Observed<n::TRaxGPSReceiver>> decoder(s, json, opener, lister);
  n::TRaxGPSReceiver& r = decoder.Get();
  if (s.iniFile) {
    r.SetPortMapIni(*s.iniFile);
  }
  const n::TCommPort comPort =
      path ? n::TCommPort::spCOM1 : n::TRaxGPSReceiver::StringToCommPort(port);
  r.SetPort(comPort);
  r.SetCustomBaudRate(s.baud);
  r.SetBaudRate(n::TRaxGPSReceiver::IntToBaudRate(s.baud));
  r.SetDelay(s.delay);
  r.SetIdleInterval(s.idle);
  r.SetConnectionTimeout(s.timeout);
  const auto portEvent = [&json, port](const char* name) {
    return [&json, port, name](n::TRaxGPSReceiver&, n::TCommPort) {
      json.BeginEvent(name);
      json.Key("Port");
      json.Text(port);
      json.EndEvent();
      json.Flush();
    };
  };
  r.OnConnect = portEvent("Connect");
  r.OnDisconnect = portEvent("Disconnect");
  const auto notify = [&json](const char* name) {
    return [&json, name](n::TRaxGPSReceiver&) {
      json.BeginEvent(name);
      json.EndEvent();
      json.Flush();
    };
  };
  r.OnIdle = notify("Idle");
  r.OnTimeout = notify("Timeout");
  // Each chunk's events are written at once.
  auto receive = r.OnReceive;
  r.OnReceive = [receive, &json](n::TRaxCustomGPSReceiver& sender, const std::string& buffer) {
    if (receive) {
      receive(sender, buffer);
    }
    json.Flush();
  };
  const StopSignals signals;
  try {
    r.Open();
  } catch (const n::EGPSError& e) {
    json.Flush();
    std::string shown = port;
    if (!path) {
      if (const auto device = r.PortMap().PathOf(port)) {
        shown += " (" + *device + ")";
      }
    }
    err << kProgram << ": " << ConnectFailure(e.what(), shown) << '\n';
    return kNmeaDecodeUnreadable;
  }
  const auto end = s.duration ? std::chrono::steady_clock::now() +
                                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                        std::chrono::duration<double>(*s.duration))
                              : std::chrono::steady_clock::time_point::max();
  while (r.IsConnected() && std::chrono::steady_clock::now() < end && !json.Failed() &&
         !signals.Raised()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  r.Close();
  json.Flush();
  if (json.Failed()) {
    return kNmeaDecodeUnreadable;
  }
  return decoder.LogFailed() ? ReportLogFailure(s, err) : kNmeaDecodeOk;
}

}  // namespace halvex::tools::nmea_decode
