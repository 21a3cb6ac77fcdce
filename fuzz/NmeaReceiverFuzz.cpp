// SPDX-License-Identifier: GPL-3.0-or-later
//
// Fuzz entry point over the NMEA receiver: framing, checksums, the raw log
// and the decoding of every sentence kind, with every event handler
// assigned.
//
// An input is a four-byte header and the received text:
//   byte 0    settings: bit 0 checksum check off, bit 1 raw log on, bit 2
//             date and time in the log, bit 3 a log that cannot be written
//             (bit 4: no file name, else a file as folder)
//   bytes 1-2 the kinds NOT decoded (little-endian mask of TNMEACommands
//             bits), so zero bytes decode everything
//   byte 3    seed of the chunk sizes: mostly 1 to 64 bytes, now and then
//             up to 9000 (more than the receiver keeps of a remainder)
// Shorter inputs are text only, with the defaults.
//
// Besides sanitizer findings, the entry point aborts when the receiver
// breaks a promise:
//   - after each chunk the kept remainder is at most kMaxDelayedData
//     characters and starts with "$"; GetRawData() and OnReceive give the
//     chunk;
//   - a sentence passed on starts with "$", holds no CR LF, has a valid
//     checksum when checksums are checked and is of a kind asked for;
//   - the satellite list stays within kMaxSatellites;
//   - a log that never works is reported once;
//   - without the raw log, and when no stretch of text between line ends
//     is long enough for the remainder limit to apply, the events are the
//     same as for the whole text fed at once (framing does not depend on
//     where the text is cut).

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "nmea/CustomGpsReceiver.hpp"
#include "nmea/GpsModel.hpp"
#include "nmea/NmeaText.hpp"
#include "platform/Clock.hpp"

namespace {

namespace n = halvex::nmea;
using Receiver = n::TRaxCustomGPSReceiver;

// More than any receiver reports on one talker (GPS, SBAS and the rest fit
// in PRNs below 256); a longer list grows with the input.
constexpr int kMaxSatellites = 256;
// Stretches between line ends up to this long never reach the remainder
// limit, whatever the cuts.
constexpr std::size_t kShortStretch = Receiver::kMaxDelayedData - 8;

[[noreturn]] void Broken(const char* what, std::string_view detail) {
  std::fprintf(stderr, "broken promise: %s: %.*s\n", what,
               static_cast<int>(std::min<std::size_t>(detail.size(), 120)), detail.data());
  std::abort();
}

struct Settings {
  bool checksum = true;
  bool log = false;
  bool logDateTime = false;
  bool logFails = false;
  bool logUnnamed = false;
  n::TNMEACommands commands = n::TNMEACommands::All();
  std::uint64_t seed = 0;
};

class ChunkSizes {
 public:
  explicit ChunkSizes(std::uint64_t seed) : state_(seed) {}
  std::size_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    if ((z >> 60) == 0) {
      return 1 + static_cast<std::size_t>((z >> 8) % 9000);
    }
    return 1 + static_cast<std::size_t>(z % 64);
  }

 private:
  std::uint64_t state_;
};

// The raw log of this process (removed after each input), and a plain file
// whose name is used as a folder for a log that cannot be written (one for
// all processes; only its existence counts).
const std::string& LogPath() {
  static const std::string path = "/tmp/fuzz_nmea_receiver_" + std::to_string(::getpid()) + ".log";
  return path;
}
const std::string& NotAFolder() {
  static const std::string path = [] {
    std::string p = "/tmp/fuzz_nmea_receiver.not-a-folder";
    if (std::FILE* f = std::fopen(p.c_str(), "a")) {
      std::fclose(f);
    }
    return p;
  }();
  return path;
}

void AppendReal(std::string& log, long double value) {
  char text[64];
  std::snprintf(text, sizeof text, " %La", value);
  log += text;
}

void AppendWayPoint(std::string& log, const n::TWayPoint& w) {
  log += " " + w.Name;
  log += " " + std::to_string(w.Latitude_Degree()) + " " + std::to_string(w.Latitude_Minute());
  AppendReal(log, w.Latitude_Second());
  log += n::CardinalPointName(w.Latitude_Direction());
  log += " " + std::to_string(w.Longitude_Degree()) + " " + std::to_string(w.Longitude_Minute());
  AppendReal(log, w.Longitude_Second());
  log += n::CardinalPointName(w.Longitude_Direction());
}

// The kind letters of a sentence and whether the settings let it through.
bool KindAllowed(std::string_view sentence, n::TNMEACommands commands) {
  if (commands.Contains(n::TNMEACommand::AllNMEA)) {
    return true;
  }
  static constexpr std::pair<std::string_view, n::TNMEACommand> kKinds[] = {
      {"AAM", n::TNMEACommand::GPAAM}, {"BWC", n::TNMEACommand::GPBWC},
      {"GGA", n::TNMEACommand::GPGGA}, {"GLL", n::TNMEACommand::GPGLL},
      {"MSS", n::TNMEACommand::GPMSS}, {"RMB", n::TNMEACommand::GPRMB},
      {"RMC", n::TNMEACommand::GPRMC}, {"GSA", n::TNMEACommand::GPGSA},
      {"GSV", n::TNMEACommand::GPGSV}, {"VTG", n::TNMEACommand::GPVTG},
      {"ZDA", n::TNMEACommand::GPZDA}, {"WPL", n::TNMEACommand::GPWPL},
      {"RTE", n::TNMEACommand::GPRTE}, {"XTE", n::TNMEACommand::GPXTE}};
  if (sentence.size() < 6) {
    return false;
  }
  for (const auto& [letters, kind] : kKinds) {
    if (sentence.substr(3, 3) == letters) {
      return commands.Contains(kind);
    }
  }
  return false;
}

// A receiver with every handler assigned; each handler reads its
// arguments, checks what it can and writes them to an event log (reals in
// hexadecimal, exactly).
class Harness {
 public:
  Harness(const Settings& s, const halvex::platform::Clock& clock, bool useLog)
      : settings_(s), receiver_(&clock) {
    receiver_.SetForceCheckSum(s.checksum);
    receiver_.SetCommands(s.commands);
    if (useLog && s.log) {
      receiver_.SetNMEALog(true);
      receiver_.SetLogDateTime(s.logDateTime);
      receiver_.SetLogFile(s.logFails ? (s.logUnnamed ? std::string() : NotAFolder() + "/x.log")
                                      : LogPath());
    }
    Assign();
  }

  void Feed(std::string_view chunk) {
    received_.clear();
    receiver_.FeedGPSReceiver(chunk);
    if (received_ != chunk || receiver_.GetRawData() != chunk) {
      Broken("OnReceive or GetRawData is not the chunk", chunk);
    }
    const std::string& delayed = receiver_.GetDelayedData();
    if (delayed.size() > Receiver::kMaxDelayedData) {
      Broken("the remainder is longer than kMaxDelayedData", delayed);
    }
    if (!delayed.empty() && delayed[0] != '$') {
      Broken("the remainder does not start with $", delayed);
    }
    CheckSatellites();
    if (logErrors_ > 1) {
      Broken("OnLogError fired again without a successful write between", "");
    }
  }

  const std::string& Events() const { return events_; }

 private:
  void CheckSatellites() const {
    const n::TSatellites& satellites = receiver_.GetSatellites();
    if (satellites.Count() > kMaxSatellites) {
      Broken("the satellite list grows with the input", std::to_string(satellites.Count()));
    }
  }

  void CheckSentence(const std::string& command) const {
    if (command.empty() || command[0] != '$') {
      Broken("a sentence does not start with $", command);
    }
    if (command.find("\r\n") != std::string::npos) {
      Broken("a sentence holds CR LF", command);
    }
    if (settings_.checksum && !n::IsCheckSumOk(command)) {
      Broken("a sentence with a bad checksum passed", command);
    }
    if (!KindAllowed(command, settings_.commands)) {
      Broken("a sentence of a kind not asked for passed", command);
    }
  }

  void Assign() {
    Receiver& r = receiver_;
    r.OnReceive = [this](Receiver&, const std::string& buffer) { received_ = buffer; };
    r.OnSend = [](Receiver&, const std::string&) { Broken("OnSend fired", ""); };
    const auto coordinate = [this](const char* name) {
      return [this, name](Receiver&, int degree, int minute, long double second,
                          n::TCardinalPoint direction) {
        events_ += name;
        events_ += " " + std::to_string(degree) + " " + std::to_string(minute);
        AppendReal(events_, second);
        events_ += n::CardinalPointName(direction);
        events_ += '\n';
      };
    };
    r.OnLatitudeChange = coordinate("lat");
    r.OnLongitudeChange = coordinate("lon");
    const auto parameter = [this](const char* name) {
      return [this, name](Receiver&, long double value) {
        events_ += name;
        AppendReal(events_, value);
        events_ += '\n';
      };
    };
    r.OnAltitudeChange = parameter("alt");
    r.OnSpeedChange = parameter("speed");
    r.OnHeadingChange = parameter("heading");
    r.OnPosition2DChange = [this](Receiver&, long double latitude, long double longitude) {
      events_ += "2d";
      AppendReal(events_, latitude);
      AppendReal(events_, longitude);
      events_ += '\n';
    };
    r.OnPosition3DChange = [this](Receiver&, long double latitude, long double longitude,
                                  long double altitude) {
      events_ += "3d";
      AppendReal(events_, latitude);
      AppendReal(events_, longitude);
      AppendReal(events_, altitude);
      events_ += '\n';
    };
    r.OnSatelliteReceive = [this](Receiver&, const n::TSatellite& s) {
      events_ += "sat " + std::to_string(s.PseudoRandomCode()) + " " +
                 std::to_string(s.Elevation()) + " " + std::to_string(s.Azimuth()) + " " +
                 std::to_string(s.SignalToNoiseRatio()) + "\n";
    };
    r.OnSatellitesReceive = [this](Receiver& sender) {
      events_ += "sats " + std::to_string(sender.GetSatellites().Count()) + "\n";
      CheckSatellites();
    };
    r.OnArrival = [this](Receiver&, const n::TWayPoint* wayPoint, long double radius) {
      events_ += "arrival";
      if (wayPoint != nullptr) {
        AppendWayPoint(events_, *wayPoint);
      }
      AppendReal(events_, radius);
      events_ += '\n';
    };
    r.OnUnknownCommand = [this](Receiver&, const std::string& command) {
      CheckSentence(command);
      events_ += "unknown " + command + "\n";
    };
    r.OnNewCommand = [this](Receiver&, const std::string& command) {
      CheckSentence(command);
      events_ += "new " + command + "\n";
    };
    r.OnWayPointReceive = [this](Receiver&, const n::TWayPoint& wayPoint) {
      events_ += "waypoint";
      AppendWayPoint(events_, wayPoint);
      events_ += '\n';
    };
    r.OnActiveRouteReceive = [this](Receiver& sender) {
      events_ += "route " + sender.ActiveRoute().Name + " " +
                 sender.ActiveRoute().WayPointListToStr() + "\n";
    };
    r.OnLogError = [this](Receiver&, const std::string& message) {
      if (message.empty()) {
        Broken("OnLogError without a message", "");
      }
      ++logErrors_;
    };
  }

  const Settings& settings_;
  Receiver receiver_;
  std::string events_;
  std::string received_;
  int logErrors_ = 0;
};

bool StretchesAreShort(std::string_view text) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find("\r\n", start);
    const std::size_t stop = end == std::string_view::npos ? text.size() : end;
    if (stop - start > kShortStretch) {
      return false;
    }
    if (end == std::string_view::npos) {
      return true;
    }
    start = end + 2;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Settings s;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (size >= 4) {
    s.checksum = (data[0] & 1) == 0;
    s.log = (data[0] & 2) != 0;
    s.logDateTime = (data[0] & 4) != 0;
    s.logFails = (data[0] & 8) != 0;
    s.logUnnamed = (data[0] & 16) != 0;
    const auto skipped = static_cast<std::uint16_t>(data[1] | (data[2] << 8));
    s.commands = n::TNMEACommands(static_cast<std::uint16_t>(~skipped & n::TNMEACommands::kAll));
    s.seed = data[3];
    text.remove_prefix(4);
  }
  const halvex::platform::FixedClock clock({2024, 6, 15, 12, 30, 45, 123});

  std::string chunkedEvents;
  {
    Harness harness(s, clock, true);
    ChunkSizes sizes(s.seed);
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t length = std::min(sizes.Next(), text.size() - at);
      harness.Feed(text.substr(at, length));
      at += length;
    }
    chunkedEvents = harness.Events();
  }
  if (s.log) {
    std::remove(LogPath().c_str());
  }

  if (!s.log && !text.empty() && StretchesAreShort(text)) {
    Harness whole(s, clock, false);
    whole.Feed(text);
    if (whole.Events() != chunkedEvents) {
      Broken("the events depend on where the text is cut", text);
    }
  }
  return 0;
}
