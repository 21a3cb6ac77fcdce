// SPDX-License-Identifier: GPL-3.0-or-later
//
// nmea-decode --port: the serial receiver on a port, its events as they
// come, plus Connect, Disconnect, Idle and Timeout.

#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "nmea/GpsReceiver.hpp"
#include "platform/SerialDevice.hpp"
#include "tools/NmeaDecode.hpp"
#include "tools/NmeaDecodeEvents.hpp"

namespace halvex::tools::nmea_decode {

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
  const n::TCommPort comPort =
      path ? n::TCommPort::spCOM1 : n::TRaxGPSReceiver::StringToCommPort(port);
  r.SetPort(comPort);
  r.SetCustomBaudRate(s.baud);
  r.SetBaudRate(n::TRaxGPSReceiver::IntToBaudRate(s.baud));
  r.SetDelay(s.delay);
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
  try {
    r.Open();
  } catch (const n::EGPSError& e) {
    json.Flush();
    err << kProgram << ": " << e.what() << '\n';
    return kNmeaDecodeUnreadable;
  }
  const auto end = s.duration ? std::chrono::steady_clock::now() +
                                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                        std::chrono::duration<double>(*s.duration))
                              : std::chrono::steady_clock::time_point::max();
  while (r.IsConnected() && std::chrono::steady_clock::now() < end && !json.Failed()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  r.Close();
  json.Flush();
  return json.Failed() ? kNmeaDecodeUnreadable : kNmeaDecodeOk;
}

}  // namespace halvex::tools::nmea_decode
