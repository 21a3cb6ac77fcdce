// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// nmea-decode's settings and its receivers: every handler of a receiver
// writes its event as one JSON line, and the State line follows each
// decoded sentence when asked for. Shared by the file mode
// (NmeaDecode.cpp) and the live serial mode (NmeaDecodeLive.cpp).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "nmea/CustomGpsReceiver.hpp"
#include "nmea/GpsReceiver.hpp"
#include "nmea/GpsTypes.hpp"
#include "tools/NmeaDecodeJson.hpp"

namespace halvex::tools::nmea_decode {

namespace n = halvex::nmea;

inline constexpr std::size_t kDefaultChunk = 4096;

struct Settings {
  n::TNMEACommands commands = n::TNMEACommands::All();
  bool checksum = true;
  std::size_t chunk = kDefaultChunk;
  std::optional<std::uint64_t> randomSeed;
  std::optional<std::string> logFile;
  bool logDateTime = false;
  bool state = false;
  bool receive = false;
  std::vector<std::string> files;
  // Live decoding from a serial port ("COMn" or a device path).
  std::optional<std::string> port;
  int baud = 4800;
  int delay = 1000;                    // polling period, ms
  std::optional<double> duration;      // seconds; none: until the line goes away
  int idle = 3;                        // seconds of silence before Idle; 0 off
  int timeout = 0;                     // seconds of silence that end the connection; 0 off
  std::optional<std::string> iniFile;  // its SERIALCOMM entries name COM ports
  bool liveOptions = false;            // an option other than --port that needs it
};

// Connects every handler of a receiver to the output.
class EventWriter {
 public:
  EventWriter(const Settings& s, JsonOutput& json, n::TRaxCustomGPSReceiver& receiver)
      : s_(s), json_(json), receiver_(receiver) {}

  void AssignHandlers();
  // A LogError event was written.
  bool LogFailed() const { return logFailed_.load(); }
  // The State line: the receiver's whole data model.
  void WriteState();

 private:
  void Event(std::string_view name);
  // One key and its value: a real, a whole number, a cardinal point or a text.
  template <typename T>
  void Field(std::string_view key, const T& value);
  void WayPoint(const n::TWayPoint& w);

  const Settings& s_;
  JsonOutput& json_;
  n::TRaxCustomGPSReceiver& receiver_;
  std::atomic<bool> logFailed_{false};
};

// A receiver that reports the end of each sentence's decoding, for the
// State lines (they follow every sentence, early ends included).
template <typename Base>
class Observed : public Base {
 public:
  using Base::Base;
  ~Observed() override {
    if constexpr (std::is_base_of_v<n::TRaxGPSReceiver, Base>) {
      this->Close();  // the reader thread must not call the override below any more
    }
  }

  std::function<void()> AfterSentence;

  void ExtractPosition(std::string_view sentence) override {
    Base::ExtractPosition(sentence);
    if (AfterSentence) {
      AfterSentence();
    }
  }
};
// The receiver set up from the settings, with every handler writing its
// event to the output.
template <typename ReceiverType>
class Decoder {
 public:
  template <typename... ReceiverArgs>
  Decoder(const Settings& s, JsonOutput& json, ReceiverArgs&&... receiverArgs)
      : receiver_(std::forward<ReceiverArgs>(receiverArgs)...), writer_(s, json, receiver_) {
    receiver_.SetForceCheckSum(s.checksum);
    receiver_.SetCommands(s.commands);
    if (s.logFile) {
      receiver_.SetNMEALog(true);
      receiver_.SetLogFile(*s.logFile);
      receiver_.SetLogDateTime(s.logDateTime);
    }
    writer_.AssignHandlers();
    if (s.state) {
      receiver_.AfterSentence = [this] { writer_.WriteState(); };
    }
  }

  void Feed(std::string_view chunk) { receiver_.FeedGPSReceiver(chunk); }
  ReceiverType& Get() { return receiver_; }
  bool LogFailed() const { return writer_.LogFailed(); }

 private:
  ReceiverType receiver_;
  EventWriter writer_;
};

// Reports that the raw log could not be written (the LogError events say
// why); the exit status for it.
int ReportLogFailure(const Settings& s, std::ostream& err);

// Decodes live from the serial port of the settings until the connection
// ends, the duration runs out or the program is asked to stop.
int RunLive(const Settings& s, std::ostream& out, std::ostream& err);

}  // namespace halvex::tools::nmea_decode
