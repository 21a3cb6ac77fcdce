// SPDX-License-Identifier: GPL-3.0-or-later
//
// Argument parsing, help text, the chunked read loop and the JSON event
// writer of nmea-decode.
//
// Every event handler of the receiver appends one JSON line to an output
// buffer that is written out in blocks of kOutputBlock bytes, and also
// before the tool waits for input (a live receiver behind a pipe gets its
// events back at once). Input is read into one chunk buffer of the chosen
// size; the receiver itself keeps at most kMaxDelayedData bytes of an
// unterminated sentence, so memory does not grow with the input.

#include "tools/NmeaDecode.hpp"

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <istream>
#include <limits>
#include <optional>
#include <ostream>
#include <string_view>
#include <system_error>
#include <thread>
#include <type_traits>
#include <vector>

#include "nmea/CustomGpsReceiver.hpp"
#include "nmea/DateTime.hpp"
#include "nmea/GpsModel.hpp"
#include "nmea/GpsReceiver.hpp"
#include "nmea/GpsTypes.hpp"
#include "platform/SerialDevice.hpp"
#include "tools/CliSupport.hpp"

namespace halvex::tools {
namespace {

namespace n = halvex::nmea;

constexpr std::string_view kProgram = "nmea-decode";
constexpr std::size_t kOutputBlock = std::size_t{64} << 10;
constexpr std::size_t kDefaultChunk = 4096;
constexpr std::uint64_t kMaxRandomChunk = 64;

constexpr std::string_view kHelp =
    "Usage: nmea-decode [OPTIONS] [FILE...]\n"
    "\n"
    "Feeds NMEA 0183 text to the Halvex receiver and writes every event it\n"
    "fires as one JSON object per line, in firing order. The text is read from\n"
    "each FILE in turn (standard input when no FILE is given, and for \"-\") and\n"
    "fed in chunks to one receiver: a sentence cut at the end of one file\n"
    "continues in the next, and the decoded state carries over.\n"
    "\n"
    "Options:\n"
    "  --commands LIST       decode only these sentence kinds: names separated by\n"
    "                        commas from GPAAM GPBWC GPGGA GPGLL GPMSS GPRMB\n"
    "                        GPRMC GPGSA GPGSV GPVTG GPZDA GPWPL GPRTE GPXTE\n"
    "                        AllNMEA, or \"all\" for every kind (the default)\n"
    "  --no-checksum         accept sentences without a valid checksum\n"
    "  --chunk N             feed the text in chunks of N bytes (1 to 16777216,\n"
    "                        default 4096)\n"
    "  --random-chunks SEED  cut the text at pseudo-random places instead, into\n"
    "                        chunks of 1 to 64 bytes (the same cuts for the same\n"
    "                        SEED, a number up to 18446744073709551615); the\n"
    "                        events other than Receive must not depend on the\n"
    "                        cuts while lines are shorter than 4096 bytes and\n"
    "                        the raw log, if any, can be written\n"
    "  --log FILE            have the receiver append each accepted sentence to\n"
    "                        its raw log FILE, one per line (missing folders\n"
    "                        are created)\n"
    "  --log-datetime        with --log: each log line starts with the local\n"
    "                        date and time\n"
    "  --state               after the events of each decoded sentence, write a\n"
    "                        State line with the receiver's data model\n"
    "  --receive             also write the Receive event after each chunk; it\n"
    "                        carries the chunk's text, so these lines depend on\n"
    "                        the chunk size\n"
    "  --port COMn|PATH      decode live from a serial port (a COM name of the\n"
    "                        port map, or a device path such as /dev/ttyUSB0 or\n"
    "                        a pseudo-terminal), instead of files; adds the\n"
    "                        Connect, Disconnect, Idle and Timeout events\n"
    "  --baud N              with --port: the line speed (default 4800)\n"
    "  --delay MS            with --port: read the port every MS milliseconds\n"
    "                        (default 1000)\n"
    "  --duration S          with --port: stop after S seconds (default: run\n"
    "                        until the connection ends or the program is stopped)\n"
    "  --help                show this text and exit\n"
    "  --version             show the version and exit\n"
    "  --                    end of options: later arguments are input files\n"
    "\n"
    "Options take their value as the next argument or after '=' (--chunk=512)\n"
    "and may come before or after the files; of an option given twice the last\n"
    "one counts. A chunk is shorter than N bytes at the end of a file, and when\n"
    "the input has no more bytes ready (a live receiver behind a pipe), so\n"
    "events come out as the sentences arrive.\n"
    "\n"
    "Output lines, one per event (the handler's name without \"On\", and the\n"
    "names of its arguments):\n"
    "  {\"event\":\"NewCommand\",\"Command\":TEXT}       (also UnknownCommand)\n"
    "  {\"event\":\"LatitudeChange\",\"Degree\":N,\"Minute\":N,\"Second\":X,\n"
    "   \"Direction\":\"cpNorth\"|\"cpSouth\"|\"cpEast\"|\"cpWest\"}  (also LongitudeChange)\n"
    "  {\"event\":\"AltitudeChange\",\"Value\":X}  (also SpeedChange, HeadingChange)\n"
    "  {\"event\":\"Position2DChange\",\"Latitude\":X,\"Longitude\":X}\n"
    "  {\"event\":\"Position3DChange\",\"Latitude\":X,\"Longitude\":X,\"Altitude\":X}\n"
    "  {\"event\":\"SatelliteReceive\",\"Satellite\":{\"PseudoRandomCode\":N,\n"
    "   \"Elevation\":N,\"Azimuth\":N,\"SignalToNoiseRatio\":N}}\n"
    "  {\"event\":\"SatellitesReceive\"}       {\"event\":\"ActiveRouteReceive\"}\n"
    "  {\"event\":\"WayPointReceive\",\"WayPoint\":WAYPOINT}\n"
    "  {\"event\":\"Arrival\",\"WayPoint\":WAYPOINT|null,\"CircleRadius\":X}\n"
    "  {\"event\":\"LogError\",\"Message\":TEXT}\n"
    "  {\"event\":\"Receive\",\"Buffer\":TEXT}         (with --receive)\n"
    "  {\"event\":\"State\",...}                   (with --state)\n"
    "WAYPOINT is {\"Name\":TEXT,\"Latitude_Degree\":N,\"Latitude_Minute\":N,\n"
    "\"Latitude_Second\":X,\"Latitude_Direction\":...,\"Longitude_Degree\":N,...}.\n"
    "The State line holds \"Position\" (every field of the position by its name,\n"
    "LatitudeAsDecimalDegrees, LongitudeAsDecimalDegrees, DateTime as\n"
    "\"yyyy-mm-ddThh:mm:ss.zzz\" or null when the date is not valid, and\n"
    "SatellitesInList), \"ReceiverStatus\", \"NavigationInfo\", \"WayPoints\" (the\n"
    "names of the stored waypoints) and \"ActiveRoute\" ({\"Name\":TEXT,\n"
    "\"WayPoints\":[TEXT,...]}).\n"
    "Reals have 17 significant digits, or are null when not finite. In texts,\n"
    "control characters and bytes 0x7F to 0xFF are written as \\u00XX of the\n"
    "byte value, so the output is ASCII whatever the input holds.\n"
    "\n"
    "Exit status: 0 when all went well; 1 when an input file could not be read\n"
    "(the other files are still decoded) or the output could not be written;\n"
    "2 for a bad command line (unknown option or command name, bad number).\n";

// --- Command line ---

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
  int delay = 1000;                // polling period, ms
  std::optional<double> duration;  // seconds; none: until the line goes away
  bool liveOptions = false;        // --baud, --delay or --duration given
};

using cli::ParseNumber;
using cli::ParseOutcome;
using cli::ParseResult;

// The kinds of a --commands value: "all", or names separated by commas.
std::string ParseCommands(std::string_view text, n::TNMEACommands& commands) {
  if (text == "all") {
    commands = n::TNMEACommands::All();
    return {};
  }
  n::TNMEACommands set;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string name(text.substr(start, comma - start));
    n::TNMEACommand kind{};
    if (name.empty()) {
      return "--commands needs names separated by commas, or \"all\"";
    }
    if (!n::CommandFromName(name, kind)) {
      return "unknown command name '" + name + "' in --commands";
    }
    set.Include(kind);
    if (comma == std::string_view::npos) {
      break;
    }
    start = comma + 1;
  }
  commands = set;
  return {};
}

ParseResult ParseArguments(std::span<const std::string> args, Settings& s) {
  using Kind = cli::OptionReader::Kind;
  cli::OptionReader reader(args, s.files);
  for (Kind kind = reader.Next(); kind != Kind::kEnd; kind = reader.Next()) {
    if (kind == Kind::kHelp) {
      return {ParseOutcome::kHelp, {}};
    }
    const std::string& arg = reader.Word();
    if (arg == "--version") {
      return {ParseOutcome::kVersion, {}};
    }
    const std::string& name = reader.Name();
    const auto flag = [&](bool& target) -> std::string {
      if (reader.HasInlineValue()) {
        return "option '" + name + "' takes no value";
      }
      target = true;
      return {};
    };
    std::string value;
    const auto takeValue = [&] { return reader.TakeValue(value); };
    std::string error;
    if (name == "--no-checksum") {
      bool off = false;
      error = flag(off);
      s.checksum = !off;
    } else if (name == "--log-datetime") {
      error = flag(s.logDateTime);
    } else if (name == "--state") {
      error = flag(s.state);
    } else if (name == "--receive") {
      error = flag(s.receive);
    } else if (name == "--port" || name == "--baud" || name == "--delay" || name == "--duration") {
      if (!takeValue()) {
        return {ParseOutcome::kUsageError, "option '" + name + "' needs a value"};
      }
      s.liveOptions = s.liveOptions || name != "--port";
      if (name == "--port") {
        if (value.empty()) {
          error = "--port needs a port name (COM1 ... COM255) or a device path";
        }
        s.port = value;
      } else if (name == "--baud") {
        if (!ParseNumber<int>(value, 50, 4000000, s.baud)) {
          error = "--baud needs a rate from 50 to 4000000, not '" + value + "'";
        }
      } else if (name == "--delay") {
        if (!ParseNumber<int>(value, 1, 60000, s.delay)) {
          error =
              "--delay needs a whole number of milliseconds from 1 to 60000, not '" + value + "'";
        }
      } else {
        double seconds = 0.0;
        if (!ParseNumber(value, 0.0, 1e7, seconds) || !(seconds > 0.0)) {
          error = "--duration needs a number of seconds above 0, not '" + value + "'";
        }
        s.duration = seconds;
      }
    } else if (name == "--commands" || name == "--chunk" || name == "--random-chunks" ||
               name == "--log") {
      if (!takeValue()) {
        return {ParseOutcome::kUsageError, "option '" + name + "' needs a value"};
      }
      if (name == "--commands") {
        error = ParseCommands(value, s.commands);
      } else if (name == "--chunk") {
        if (!ParseNumber<std::size_t>(value, 1, kNmeaDecodeMaxChunk, s.chunk)) {
          error = "--chunk needs a whole number from 1 to " + std::to_string(kNmeaDecodeMaxChunk) +
                  ", not '" + value + "'";
        }
        s.randomSeed.reset();
      } else if (name == "--random-chunks") {
        std::uint64_t seed = 0;
        if (!ParseNumber<std::uint64_t>(value, 0, std::numeric_limits<std::uint64_t>::max(),
                                        seed)) {
          error = "--random-chunks needs a whole number, not '" + value + "'";
        }
        s.randomSeed = seed;
      } else {
        if (value.empty()) {
          error = "--log needs a file name";
        }
        s.logFile = value;
      }
    } else {
      error = "unknown option '" + arg + "'";
    }
    if (!error.empty()) {
      return {ParseOutcome::kUsageError, error};
    }
  }
  if (s.logDateTime && !s.logFile) {
    return {ParseOutcome::kUsageError, "--log-datetime needs --log FILE"};
  }
  if (s.port && !s.files.empty()) {
    return {ParseOutcome::kUsageError, "--port reads the port, not files"};
  }
  if (!s.port && s.liveOptions) {
    return {ParseOutcome::kUsageError, "--baud, --delay and --duration go with --port"};
  }
  if (s.port && s.port->find('/') == std::string::npos &&
      n::TRaxGPSReceiver::StringToCommPort(*s.port) == n::TCommPort::spNone) {
    return {ParseOutcome::kUsageError,
            "'" + *s.port + "' is neither a port name COM1 ... COM255 nor a device path"};
  }
  return {};
}

// --- Output ---

constexpr std::size_t kRealTextBytes = 64;

// printf's "%.17Lg" of a finite value into `text`; returns the end.
//
// Reals are most of the output, and printf spends most of its time on them
// in multi-precision arithmetic. Values from 0.001 up to 1e17 whose long
// double has at most 64 significant bits (the x87 format) are converted
// here exactly: the value is m·2^-s with m < 2^64, so m·10^k fits in 128
// bits for the k ≤ 19 needed, and its quotient and remainder by 2^s give
// the 17 digits and the round-half-even decision printf makes. Other
// values go to std::to_chars, which writes what printf writes.
char* FormatReal(long double value, char* text) {
  if constexpr (std::numeric_limits<long double>::radix == 2 &&
                std::numeric_limits<long double>::digits <= 64) {
    __extension__ typedef unsigned __int128 u128;
    static constexpr auto kPow10 = [] {
      std::array<std::uint64_t, 20> powers{};
      std::uint64_t power = 1;
      for (std::uint64_t& p : powers) {
        p = power;
        power *= 10;  // wraps after the last entry, which is not used
      }
      return powers;
    }();
    const bool negative = std::signbit(value);
    const long double magnitude = negative ? -value : value;
    if (magnitude >= 1e-3L && magnitude < 1e17L) {
      int exponent2 = 0;
      const long double fraction = std::frexp(magnitude, &exponent2);  // in [0.5, 1)
      const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
      const int shift = 64 - exponent2;  // magnitude = mantissa / 2^shift, 7 <= shift <= 74
      // The decimal exponent, estimated from the binary one and corrected
      // until the quotient has 17 digits.
      int exponent10 = ((exponent2 - 1) * 78913) >> 18;
      std::uint64_t digits = 0;
      for (;;) {
        const int k = 16 - exponent10;
        if (k < 0 || k > 19) {
          digits = 0;
          break;
        }
        const u128 product = static_cast<u128>(mantissa) * kPow10[k];
        const auto quotient = static_cast<std::uint64_t>(product >> shift);
        if (quotient < kPow10[16]) {
          --exponent10;
          continue;
        }
        if (quotient >= kPow10[17]) {
          ++exponent10;
          continue;
        }
        const u128 rest = product & ((static_cast<u128>(1) << shift) - 1);
        const u128 half = static_cast<u128>(1) << (shift - 1);
        digits = quotient + ((rest > half || (rest == half && (quotient & 1) != 0)) ? 1 : 0);
        if (digits == kPow10[17]) {
          digits = kPow10[16];
          ++exponent10;
        }
        break;
      }
      if (digits != 0 && exponent10 >= -4 && exponent10 < 17) {
        char d[17];
        for (int i = 16; i >= 0; --i) {
          d[i] = static_cast<char>('0' + digits % 10);
          digits /= 10;
        }
        int last = 16;  // the last digit written: trailing zeros after the point go
        const int firstFraction = exponent10 >= 0 ? exponent10 + 1 : 0;
        while (last >= firstFraction && d[last] == '0') {
          --last;
        }
        char* out = text;
        if (negative) {
          *out++ = '-';
        }
        if (exponent10 >= 0) {
          for (int i = 0; i <= exponent10; ++i) {
            *out++ = d[i];
          }
          if (last > exponent10) {
            *out++ = '.';
            for (int i = exponent10 + 1; i <= last; ++i) {
              *out++ = d[i];
            }
          }
        } else {
          *out++ = '0';
          *out++ = '.';
          for (int i = -1; i > exponent10; --i) {
            *out++ = '0';
          }
          for (int i = 0; i <= last; ++i) {
            *out++ = d[i];
          }
        }
        return out;
      }
    }
  }
  return std::to_chars(text, text + kRealTextBytes, value, std::chars_format::general, 17).ptr;
}

// JSON lines collected in a buffer written out in blocks.
class JsonOutput {
 public:
  JsonOutput(std::ostream& out, std::ostream& err) : out_(out), err_(err) {
    buffer_.reserve(kOutputBlock + 1024);
  }

  void BeginEvent(std::string_view name) {
    buffer_ += "{\"event\":\"";
    buffer_ += name;
    buffer_ += '"';
    comma_ = true;
  }
  void EndEvent() {
    buffer_ += "}\n";
    if (buffer_.size() >= kOutputBlock) {
      Write();
    }
  }

  void Key(std::string_view name) {
    if (comma_) {
      buffer_ += ',';
    }
    buffer_ += '"';
    buffer_ += name;
    buffer_ += "\":";
    comma_ = false;
  }
  void BeginObject() {
    Element();
    buffer_ += '{';
    comma_ = false;
  }
  void EndObject() {
    buffer_ += '}';
    comma_ = true;
  }
  void BeginArray() {
    Element();
    buffer_ += '[';
    comma_ = false;
  }
  void EndArray() {
    buffer_ += ']';
    comma_ = true;
  }

  void Null() {
    Element();
    buffer_ += "null";
  }
  void Integer(long long value) {
    Element();
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    buffer_.append(text, result.ptr);
  }
  void Real(long double value) {
    if (!std::isfinite(value)) {
      Null();
      return;
    }
    Element();
    char text[kRealTextBytes];
    buffer_.append(text, FormatReal(value, text));
  }
  void Text(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    Element();
    buffer_ += '"';
    std::size_t plain = 0;  // start of the run of characters copied as they are
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
        continue;
      }
      buffer_.append(text.data() + plain, i - plain);
      plain = i + 1;
      if (c == '"' || c == '\\') {
        buffer_ += '\\';
        buffer_ += static_cast<char>(c);
      } else {
        const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
        buffer_.append(escape, sizeof escape);
      }
    }
    buffer_.append(text.data() + plain, text.size() - plain);
    buffer_ += '"';
  }
  void Name(const char* name) { Text(name); }

  // Writes the buffer out and flushes the stream (before the tool waits for
  // input, and at the end).
  void Flush() {
    Write();
    out_.flush();
    CheckStream();
  }
  bool Failed() const { return failed_; }

 private:
  void Element() {
    if (comma_) {
      buffer_ += ',';
    }
    comma_ = true;
  }
  void Write() {
    if (!buffer_.empty() && !failed_) {
      out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
      CheckStream();
    }
    buffer_.clear();
  }
  void CheckStream() {
    if (!out_ && !failed_) {
      failed_ = true;
      err_ << kProgram << ": write error on standard output\n";
    }
  }

  std::ostream& out_;
  std::ostream& err_;
  std::string buffer_;
  bool comma_ = false;  // the next key or element needs a ',' before it
  bool failed_ = false;
};

// --- Decoding ---

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

// The receiver with every handler writing its event to the output.
template <typename ReceiverType>
class Decoder {
 public:
  template <typename... ReceiverArgs>
  Decoder(const Settings& s, JsonOutput& json, ReceiverArgs&&... receiverArgs)
      : s_(s), json_(json), receiver_(std::forward<ReceiverArgs>(receiverArgs)...) {
    receiver_.SetForceCheckSum(s.checksum);
    receiver_.SetCommands(s.commands);
    if (s.logFile) {
      receiver_.SetNMEALog(true);
      receiver_.SetLogFile(*s.logFile);
      receiver_.SetLogDateTime(s.logDateTime);
    }
    AssignHandlers();
    if (s.state) {
      receiver_.AfterSentence = [this] { WriteState(); };
    }
  }

  void Feed(std::string_view chunk) { receiver_.FeedGPSReceiver(chunk); }
  ReceiverType& Get() { return receiver_; }

 private:
  void AssignHandlers() {
    using Receiver = n::TRaxCustomGPSReceiver;
    auto& r = receiver_;
    if (s_.receive) {
      r.OnReceive = [this](Receiver&, const std::string& buffer) {
        Event("Receive");
        Field("Buffer", buffer);
        json_.EndEvent();
      };
    }
    r.OnSend = [this](Receiver&, const std::string& buffer) {
      Event("Send");
      Field("Buffer", buffer);
      json_.EndEvent();
    };
    const auto coordinate = [this](const char* event) {
      return [this, event](Receiver&, int degree, int minute, long double second,
                           n::TCardinalPoint direction) {
        Event(event);
        json_.Key("Degree");
        json_.Integer(degree);
        json_.Key("Minute");
        json_.Integer(minute);
        json_.Key("Second");
        json_.Real(second);
        json_.Key("Direction");
        json_.Name(n::CardinalPointName(direction));
        json_.EndEvent();
      };
    };
    r.OnLatitudeChange = coordinate("LatitudeChange");
    r.OnLongitudeChange = coordinate("LongitudeChange");
    const auto parameter = [this](const char* event) {
      return [this, event](Receiver&, long double value) {
        Event(event);
        json_.Key("Value");
        json_.Real(value);
        json_.EndEvent();
      };
    };
    r.OnAltitudeChange = parameter("AltitudeChange");
    r.OnSpeedChange = parameter("SpeedChange");
    r.OnHeadingChange = parameter("HeadingChange");
    r.OnPosition2DChange = [this](Receiver&, long double latitude, long double longitude) {
      Event("Position2DChange");
      json_.Key("Latitude");
      json_.Real(latitude);
      json_.Key("Longitude");
      json_.Real(longitude);
      json_.EndEvent();
    };
    r.OnPosition3DChange = [this](Receiver&, long double latitude, long double longitude,
                                  long double altitude) {
      Event("Position3DChange");
      json_.Key("Latitude");
      json_.Real(latitude);
      json_.Key("Longitude");
      json_.Real(longitude);
      json_.Key("Altitude");
      json_.Real(altitude);
      json_.EndEvent();
    };
    r.OnSatelliteReceive = [this](Receiver&, const n::TSatellite& satellite) {
      Event("SatelliteReceive");
      json_.Key("Satellite");
      json_.BeginObject();
      json_.Key("PseudoRandomCode");
      json_.Integer(satellite.PseudoRandomCode());
      json_.Key("Elevation");
      json_.Integer(satellite.Elevation());
      json_.Key("Azimuth");
      json_.Integer(satellite.Azimuth());
      json_.Key("SignalToNoiseRatio");
      json_.Integer(satellite.SignalToNoiseRatio());
      json_.EndObject();
      json_.EndEvent();
    };
    const auto notify = [this](const char* event) {
      return [this, event](Receiver&) {
        Event(event);
        json_.EndEvent();
      };
    };
    r.OnSatellitesReceive = notify("SatellitesReceive");
    r.OnActiveRouteReceive = notify("ActiveRouteReceive");
    r.OnArrival = [this](Receiver&, const n::TWayPoint* wayPoint, long double circleRadius) {
      Event("Arrival");
      json_.Key("WayPoint");
      if (wayPoint != nullptr) {
        WayPoint(*wayPoint);
      } else {
        json_.Null();
      }
      json_.Key("CircleRadius");
      json_.Real(circleRadius);
      json_.EndEvent();
    };
    const auto command = [this](const char* event) {
      return [this, event](Receiver&, const std::string& text) {
        Event(event);
        Field("Command", text);
        json_.EndEvent();
      };
    };
    r.OnUnknownCommand = command("UnknownCommand");
    r.OnNewCommand = command("NewCommand");
    r.OnWayPointReceive = [this](Receiver&, const n::TWayPoint& wayPoint) {
      Event("WayPointReceive");
      json_.Key("WayPoint");
      WayPoint(wayPoint);
      json_.EndEvent();
    };
    r.OnLogError = [this](Receiver&, const std::string& message) {
      Event("LogError");
      Field("Message", message);
      json_.EndEvent();
    };
  }

  void Event(std::string_view name) { json_.BeginEvent(name); }
  // One key and its value: a real, a whole number, a cardinal point or a text.
  template <typename T>
  void Field(std::string_view key, const T& value) {
    json_.Key(key);
    if constexpr (std::is_same_v<T, n::TCardinalPoint>) {
      json_.Name(n::CardinalPointName(value));
    } else if constexpr (std::is_floating_point_v<T>) {
      json_.Real(value);
    } else if constexpr (std::is_integral_v<T>) {
      json_.Integer(value);
    } else {
      json_.Text(value);
    }
  }

  void WayPoint(const n::TWayPoint& w) {
    json_.BeginObject();
    Field("Name", w.Name);
    Field("Latitude_Degree", w.Latitude_Degree());
    Field("Latitude_Minute", w.Latitude_Minute());
    Field("Latitude_Second", w.Latitude_Second());
    Field("Latitude_Direction", w.Latitude_Direction());
    Field("Longitude_Degree", w.Longitude_Degree());
    Field("Longitude_Minute", w.Longitude_Minute());
    Field("Longitude_Second", w.Longitude_Second());
    Field("Longitude_Direction", w.Longitude_Direction());
    json_.EndObject();
  }

  void WriteState() {
    const n::TRaxCustomGPSReceiver& r = receiver_;
    const n::TGPSPosition& p = r.Position();
    Event("State");
    json_.Key("Position");
    json_.BeginObject();
    Field("FLatitude", p.FLatitude);
    Field("FLongitude", p.FLongitude);
    Field("Latitude_Degree", p.Latitude_Degree());
    Field("Latitude_Minute", p.Latitude_Minute());
    Field("Latitude_Second", p.Latitude_Second());
    Field("Latitude_Direction", p.Latitude_Direction());
    Field("Longitude_Degree", p.Longitude_Degree());
    Field("Longitude_Minute", p.Longitude_Minute());
    Field("Longitude_Second", p.Longitude_Second());
    Field("Longitude_Direction", p.Longitude_Direction());
    Field("Altitude", p.Altitude());
    Field("Heading", p.Heading());
    Field("Speed_Knots", p.Speed_Knots());
    Field("Speed_KMH", p.Speed_KMH());
    Field("Magnetic_Variation", p.Magnetic_Variation());
    Field("Magnetic_Variation_Direction", p.Magnetic_Variation_Direction());
    Field("Magnetic_Heading", p.Magnetic_Heading());
    Field("Day", p.Day());
    Field("Month", p.Month());
    Field("Year", p.Year());
    Field("Hour", p.Hour());
    Field("Minute", p.Minute());
    Field("Second", p.Second());
    Field("Millisecond", p.Millisecond());
    Field("Satellite_Count", p.Satellite_Count());
    Field("PDOP", p.PDOP());
    Field("HDOP", p.HDOP());
    Field("VDOP", p.VDOP());
    Field("Geo_Height", p.Geo_Height());
    Field("Fix", p.Fix());
    Field("Mode1", p.Mode1());
    Field("Mode2", p.Mode2());
    Field("LatitudeAsDecimalDegrees", r.GetLatitudeAsDecimalDegrees());
    Field("LongitudeAsDecimalDegrees", r.GetLongitudeAsDecimalDegrees());
    json_.Key("DateTime");
    const n::TDateTime dateTime = r.GetUTCDateTime();
    if (dateTime != 0.0) {
      json_.Text(n::DateTimeToIso(dateTime));
    } else {
      json_.Null();
    }
    Field("SatellitesInList", p.Satellites().Count());
    json_.EndObject();

    const n::TReceiverStatus& status = r.GetReceiverStatus();
    json_.Key("ReceiverStatus");
    json_.BeginObject();
    Field("SignalStrength", status.SignalStrength);
    Field("SNR", status.SNR);
    Field("Frequency", status.Frequency);
    Field("DataRate", status.DataRate);
    json_.EndObject();

    const n::TNavigationInfo& navigation = r.GetNavigationInfo();
    json_.Key("NavigationInfo");
    json_.BeginObject();
    Field("Origin", navigation.Origin);
    Field("Destination", navigation.Destination);
    Field("RangeToDestination", navigation.RangeToDestination);
    Field("TrueBearingToDestination", navigation.TrueBearingToDestination);
    Field("MagneticBearingToDestination", navigation.MagneticBearingToDestination);
    Field("VelocityTowardsDestination", navigation.VelocityTowardsDestination);
    Field("CrossTrackError", navigation.CrossTrackError);
    json_.Key("DirectionToSteer");
    json_.Name(n::DirectionName(navigation.DirectionToSteer));
    json_.EndObject();

    json_.Key("WayPoints");
    json_.BeginArray();
    n::TWayPoints& wayPoints = receiver_.WayPoints();
    for (int i = 0; i < wayPoints.Count(); ++i) {
      json_.Text(wayPoints.GetItem(i)->Name);
    }
    json_.EndArray();

    const n::TRoute& route = receiver_.ActiveRoute();
    json_.Key("ActiveRoute");
    json_.BeginObject();
    Field("Name", route.Name);
    json_.Key("WayPoints");
    json_.BeginArray();
    for (const std::string& name : route.WayPoints) {
      json_.Text(name);
    }
    json_.EndArray();
    json_.EndObject();
    json_.EndEvent();
  }

  const Settings& s_;
  JsonOutput& json_;
  ReceiverType receiver_;
};

// splitmix64: the same chunk sizes for a seed on every platform.
class ChunkSizes {
 public:
  explicit ChunkSizes(std::uint64_t seed) : state_(seed) {}
  std::size_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<std::size_t>(1 + z % kMaxRandomChunk);
  }

 private:
  std::uint64_t state_;
};

class Runner : public cli::InputConsumer {
 public:
  Runner(const Settings& s, std::ostream& out, std::ostream& err)
      : err_(err), json_(out, err), decoder_(s, json_) {
    if (s.randomSeed) {
      sizes_.emplace(*s.randomSeed);
      chunk_.resize(kMaxRandomChunk);
    } else {
      chunk_.resize(s.chunk);
    }
  }

  // Decodes all of `in`. False when it could not be read to its end.
  bool ProcessStream(std::istream& in, std::string_view name) override {
    while (!json_.Failed()) {
      const std::size_t want = sizes_ ? sizes_->Next() : chunk_.size();
      const std::size_t got = ReadChunk(in, want);
      if (got == 0) {
        break;
      }
      decoder_.Feed(std::string_view(chunk_.data(), got));
    }
    if (in.bad()) {
      json_.Flush();
      err_ << kProgram << ": " << name << ": read error\n";
      return false;
    }
    return true;
  }

  void Flush() override { json_.Flush(); }
  bool OutputFailed() const override { return json_.Failed(); }

 private:
  // Up to `want` bytes: fewer at the end of the input, and when the input
  // has nothing more ready; the output is flushed before a read that may
  // wait.
  std::size_t ReadChunk(std::istream& in, std::size_t want) {
    std::size_t got = 0;
    while (got < want) {
      const std::streamsize count =
          in.readsome(chunk_.data() + got, static_cast<std::streamsize>(want - got));
      if (count > 0) {
        got += static_cast<std::size_t>(count);
        continue;
      }
      if (got > 0 || !in) {
        break;
      }
      json_.Flush();
      if (!in.read(chunk_.data(), 1)) {
        break;
      }
      got = 1;
    }
    return got;
  }

  std::ostream& err_;
  JsonOutput json_;
  Decoder<Observed<n::TRaxCustomGPSReceiver>> decoder_;
  std::vector<char> chunk_;
  std::optional<ChunkSizes> sizes_;
};

// Live decoding: the serial receiver on a port, its events as they come,
// plus Connect, Disconnect, Idle and Timeout.
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

int UsageError(std::ostream& err, const std::string& message) {
  err << kProgram << ": " << message << '\n'
      << "Usage: " << kProgram
      << " [--commands LIST|all] [--no-checksum] [--chunk N] [--random-chunks SEED]\n"
      << "       [--log FILE [--log-datetime]] [--state] [--receive] [FILE...]\n"
      << "       " << kProgram << " --port COMn|PATH [--baud N] [--delay MS] [--duration S] [...]\n"
      << "Try '" << kProgram << " --help' for more information.\n";
  return kNmeaDecodeUsage;
}

}  // namespace

std::string NmeaDecodeReal(long double value) {
  if (!std::isfinite(value)) {
    return "null";
  }
  char text[kRealTextBytes];
  return std::string(text, FormatReal(value, text));
}

int RunNmeaDecode(std::span<const std::string> args, std::istream& in, std::ostream& out,
                  std::ostream& err) {
  Settings settings;
  const ParseResult parsed = ParseArguments(args, settings);
  switch (parsed.outcome) {
    case ParseOutcome::kUsageError:
      return UsageError(err, parsed.error);
    case ParseOutcome::kHelp:
      out << kHelp;
      out.flush();
      return kNmeaDecodeOk;
    case ParseOutcome::kVersion:
      cli::WriteVersion(out, kProgram);
      return kNmeaDecodeOk;
    case ParseOutcome::kRun:
      break;
  }
  if (settings.port) {
    return RunLive(settings, out, err);
  }

  Runner runner(settings, out, err);
  const bool inputsRead = cli::ProcessInputs(settings.files, in, kProgram, err, runner);
  runner.Flush();
  return !inputsRead || runner.OutputFailed() ? kNmeaDecodeUnreadable : kNmeaDecodeOk;
}

int RunNmeaDecode(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err) {
  return RunNmeaDecode(cli::Arguments(argc, argv), in, out, err);
}

}  // namespace halvex::tools
