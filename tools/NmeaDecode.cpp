// SPDX-License-Identifier: GPL-3.0-or-later
//
// Argument parsing, help text and the chunked read loop of nmea-decode over
// files and standard input. The events are written by the receivers of
// NmeaDecodeEvents.hpp; the live serial mode is in NmeaDecodeLive.cpp.
//
// Input is read into one chunk buffer of the chosen size; the receiver
// itself keeps at most kMaxDelayedData bytes of an unterminated sentence,
// so memory does not grow with the input.

#include "tools/NmeaDecode.hpp"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <limits>
#include <optional>
#include <ostream>
#include <string_view>
#include <system_error>
#include <vector>

#include "nmea/CustomGpsReceiver.hpp"
#include "nmea/GpsReceiver.hpp"
#include "nmea/GpsTypes.hpp"
#include "tools/CliSupport.hpp"
#include "tools/NmeaDecodeEvents.hpp"
#include "tools/NmeaDecodeJson.hpp"

namespace halvex::tools {
namespace {

using namespace nmea_decode;

constexpr std::uint64_t kMaxRandomChunk = 64;
constexpr int kMaxSilenceSeconds = 86400;

constexpr std::string_view kHelp =
    "Usage: nmea-decode [OPTIONS] [FILE...]\n"
    "\n"
    "Feeds NMEA 0183 text to the Halvex receiver and writes every event it\n"
    "fires as one JSON object per line, in firing order. The text is read from\n"
    "each FILE in turn (standard input when no FILE is given, and for \"-\") and\n"
    "fed in chunks to one receiver: a sentence cut at the end of one file\n"
    "continues in the next, and the decoded state carries over. Lines may end\n"
    "with CR LF, as a serial line ends them, or with LF alone.\n"
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
    "                        are created); when a line cannot be written, the\n"
    "                        LogError event says why, decoding goes on, and\n"
    "                        the exit status is 1\n"
    "  --log-datetime        with --log: each log line starts with the local\n"
    "                        date and time\n"
    "  --state               after the events of each decoded sentence, write a\n"
    "                        State line with the receiver's data model\n"
    "  --receive             also write the Receive event after each chunk; it\n"
    "                        carries the chunk's text as fed (with a CR before\n"
    "                        each LF that had none), so these lines depend on\n"
    "                        the chunk size\n"
    "  --port COMn|PATH      decode live from a serial port (a COM name of the\n"
    "                        port map, or a device path such as /dev/ttyUSB0 or\n"
    "                        a pseudo-terminal), instead of files; adds the\n"
    "                        Connect, Disconnect, Idle and Timeout events.\n"
    "                        SIGINT and SIGTERM close the port: the last line\n"
    "                        is Disconnect, and the exit status 0\n"
    "  --baud N              with --port: the line speed (default 4800)\n"
    "  --delay MS            with --port: read the port every MS milliseconds\n"
    "                        (default 1000)\n"
    "  --duration S          with --port: stop after S seconds (default: run\n"
    "                        until the connection ends or the program is stopped)\n"
    "  --idle S              with --port: after S whole seconds without data\n"
    "                        write Idle, once per silence (default 3; 0: off)\n"
    "  --timeout S           with --port: after S whole seconds without data\n"
    "                        write Timeout and end the connection (Disconnect);\n"
    "                        default 0: off\n"
    "  --ini FILE            with --port COMn: ports named in section SERIALCOMM\n"
    "                        of this INI file (\"COM3=/dev/ttyUSB0\") come before\n"
    "                        the machine's serial devices\n"
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
    "  {\"event\":\"Connect\",\"Port\":TEXT}  (also Disconnect; with --port)\n"
    "  {\"event\":\"Idle\"}    {\"event\":\"Timeout\"}  (with --port)\n"
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
    "(the other files are still decoded), the raw log or the output could not\n"
    "be written, or the port could not be opened;\n"
    "2 for a bad command line (unknown option or command name, bad number).\n";

// --- Command line ---

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
    } else if (name == "--port" || name == "--baud" || name == "--delay" || name == "--duration" ||
               name == "--idle" || name == "--timeout" || name == "--ini") {
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
      } else if (name == "--idle" || name == "--timeout") {
        int& seconds = name == "--idle" ? s.idle : s.timeout;
        if (!ParseNumber<int>(value, 0, kMaxSilenceSeconds, seconds)) {
          error = name + " needs a whole number of seconds from 0 (off) to " +
                  std::to_string(kMaxSilenceSeconds) + ", not '" + value + "'";
        }
      } else if (name == "--ini") {
        if (value.empty()) {
          error = "--ini needs a file name";
        } else if (std::error_code ec; !std::filesystem::is_regular_file(value, ec)) {
          error = "--ini: cannot read '" + value + "'";
        }
        s.iniFile = value;
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
    return {ParseOutcome::kUsageError,
            "--baud, --delay, --duration, --idle, --timeout and --ini go with --port"};
  }
  if (s.port && s.port->find('/') == std::string::npos &&
      n::TRaxGPSReceiver::StringToCommPort(*s.port) == n::TCommPort::spNone) {
    return {ParseOutcome::kUsageError,
            "'" + *s.port + "' is neither a port name COM1 ... COM255 nor a device path"};
  }
  return {};
}

// --- Reading ---

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

// The receiver frames sentences by CR LF, as a serial line ends them; logs
// saved on other systems often end lines with LF alone. In text read from
// files and standard input, a CR is put before each LF that has none, so
// that such a LF ends the line too.
class LineEnds {
 public:
  // The chunk with the missing CRs added (the chunk itself when none is
  // missing); valid until the next call.
  std::string_view Mend(std::string_view chunk) {
    if (chunk.empty()) {
      return chunk;
    }
    const bool crBefore = lastWasCr_;
    lastWasCr_ = chunk.back() == '\r';
    const auto lone = [&](std::size_t i) { return i > 0 ? chunk[i - 1] != '\r' : !crBefore; };
    std::size_t lf = chunk.find('\n');
    while (lf != std::string_view::npos && !lone(lf)) {
      lf = chunk.find('\n', lf + 1);
    }
    if (lf == std::string_view::npos) {
      return chunk;
    }
    mended_.assign(chunk.substr(0, lf));
    for (std::size_t i = lf; i < chunk.size(); ++i) {
      if (chunk[i] == '\n' && lone(i)) {
        mended_ += '\r';
      }
      mended_ += chunk[i];
    }
    return mended_;
  }

 private:
  bool lastWasCr_ = false;  // the previous chunk ended with a CR
  std::string mended_;
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
      decoder_.Feed(lineEnds_.Mend(std::string_view(chunk_.data(), got)));
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
  bool LogFailed() const { return decoder_.LogFailed(); }

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
  LineEnds lineEnds_;
};

int UsageError(std::ostream& err, const std::string& message) {
  err << kProgram << ": " << message << '\n'
      << "Usage: " << kProgram
      << " [--commands LIST|all] [--no-checksum] [--chunk N] [--random-chunks SEED]\n"
      << "       [--log FILE [--log-datetime]] [--state] [--receive] [FILE...]\n"
      << "       " << kProgram
      << " --port COMn|PATH [--baud N] [--delay MS] [--duration S] [--idle S]\n"
      << "       [--timeout S] [--ini FILE] [...]\n"
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
  if (!inputsRead || runner.OutputFailed()) {
    return kNmeaDecodeUnreadable;
  }
  return runner.LogFailed() ? ReportLogFailure(settings, err) : kNmeaDecodeOk;
}

int RunNmeaDecode(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err) {
  return RunNmeaDecode(cli::Arguments(argc, argv), in, out, err);
}

}  // namespace halvex::tools
