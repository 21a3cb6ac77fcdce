// SPDX-License-Identifier: GPL-3.0-or-later
//
// Log parsing, pacing, and the serial port and pseudo-terminal outputs of
// nmea-replay.
//
// The whole input is read and cut into bursts before the output is opened,
// so a bad file is reported before a pty appears, and --loop can play
// standard input again. Output descriptors are non-blocking: a burst that
// cannot be written by the deadline of the next one is dropped (whole
// sentences only; a sentence cut by a full buffer is finished before the
// next one starts), so the replay keeps to real time whatever the reader
// does.

#include "tools/NmeaReplay.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <istream>
#include <ostream>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/SerialDevice.hpp"
#include "tools/CliSupport.hpp"

namespace halvex::tools {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kProgram = "nmea-replay";
constexpr std::int64_t kDayMs = 86'400'000;

// "dd.MM.yyyy hhnnsszzz ": the date and time the receiver writes before
// each sentence of its raw log.
constexpr std::size_t kStampLength = 21;

// --- Parsing ---

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int DigitsValue(std::string_view text, std::size_t pos, std::size_t count) {
  int value = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar, or
// nothing when there is no such date.
std::optional<std::int64_t> DayNumber(int year, int month, int day) {
  static constexpr std::array<int, 12> kMonthDays = {31, 28, 31, 30, 31, 30,
                                                     31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (year < 1 || month < 1 || month > 12 || day < 1) {
    return std::nullopt;
  }
  const std::size_t monthIndex = static_cast<std::size_t>(month - 1);
  if (day > kMonthDays[monthIndex] + (month == 2 && leap ? 1 : 0)) {
    return std::nullopt;
  }
  // Counted in years starting on the first of March, so that the leap day
  // is the last day of a year.
  const std::int64_t y = month <= 2 ? year - 1 : year;
  const std::int64_t era = y / 400;  // y >= 0 here
  const std::int64_t yearOfEra = y - era * 400;
  const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// Milliseconds from stamp `from` to stamp `to`, never negative.
std::int64_t StampGapMs(const ReplayStamp& from, const ReplayStamp& to) {
  std::int64_t gap = to.timeOfDayMs - from.timeOfDayMs;
  if (from.day && to.day) {
    gap += (*to.day - *from.day) * kDayMs;
  } else if (gap < 0) {
    gap += kDayMs;
  }
  return std::max<std::int64_t>(gap, 0);
}

enum class FixKind { kOther, kGga, kRmc };

// GGA and RMC whatever the talker ("$GPGGA", "$GNRMC", ...).
FixKind FixKindOf(std::string_view sentence) {
  if (sentence.empty() || sentence[0] != '$') {
    return FixKind::kOther;
  }
  const std::size_t end = sentence.find_first_of(",*", 1);
  const std::string_view address =
      sentence.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1);
  if (address.size() != 5) {
    return FixKind::kOther;
  }
  const std::string_view type = address.substr(2);
  if (type == "GGA") {
    return FixKind::kGga;
  }
  if (type == "RMC") {
    return FixKind::kRmc;
  }
  return FixKind::kOther;
}

struct LogLine {
  std::optional<ReplayStamp> stamp;
  std::string_view sentence;
};

// The sentences of a log, each with its stamp if it has one.
std::vector<LogLine> SentencesOf(std::string_view text) {
  std::vector<LogLine> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    LogLine entry;
    entry.stamp = ParseReplayStamp(line);
    entry.sentence = entry.stamp ? line.substr(kStampLength) : line;
    if (!entry.sentence.empty() && (entry.sentence[0] == '$' || entry.sentence[0] == '!')) {
      lines.push_back(entry);
    }
  }
  return lines;
}

std::vector<ReplayBurst> StampedBursts(const std::vector<LogLine>& lines) {
  std::vector<ReplayBurst> bursts;
  std::optional<ReplayStamp> previous;
  std::int64_t offsetMs = 0;
  for (const LogLine& line : lines) {
    if (line.stamp) {
      if (previous) {
        offsetMs += StampGapMs(*previous, *line.stamp);
      }
      previous = line.stamp;
      const std::chrono::microseconds offset = std::chrono::milliseconds(offsetMs);
      if (bursts.empty() || bursts.back().offset != offset) {
        bursts.push_back({offset, {}});
      }
    } else if (bursts.empty()) {
      bursts.push_back({});
    }
    bursts.back().sentences.emplace_back(line.sentence);
  }
  return bursts;
}

std::vector<ReplayBurst> RateBursts(const std::vector<LogLine>& lines, double rateHz) {
  const bool hasFixes = std::any_of(lines.begin(), lines.end(), [](const LogLine& line) {
    return FixKindOf(line.sentence) != FixKind::kOther;
  });
  std::vector<ReplayBurst> bursts;
  bool haveGga = false;
  bool haveRmc = false;
  for (const LogLine& line : lines) {
    const FixKind kind = FixKindOf(line.sentence);
    if (bursts.empty() || !hasFixes || (kind == FixKind::kGga && haveGga) ||
        (kind == FixKind::kRmc && haveRmc)) {
      // Burst k at k/rateHz seconds, each computed on its own so that no
      // rounding adds up.
      const double micros = static_cast<double>(bursts.size()) * 1e6 / rateHz;
      bursts.push_back({std::chrono::microseconds(std::llround(micros)), {}});
      haveGga = false;
      haveRmc = false;
    }
    haveGga = haveGga || kind == FixKind::kGga;
    haveRmc = haveRmc || kind == FixKind::kRmc;
    bursts.back().sentences.emplace_back(line.sentence);
  }
  return bursts;
}

}  // namespace

std::optional<ReplayStamp> ParseReplayStamp(std::string_view line) {
  if (line.size() < kStampLength) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i < kStampLength; ++i) {
    const char c = line[i];
    const bool ok = (i == 2 || i == 5) ? c == '.' : (i == 10 || i == 20) ? c == ' ' : IsDigit(c);
    if (!ok) {
      return std::nullopt;
    }
  }
  ReplayStamp stamp;
  stamp.day = DayNumber(DigitsValue(line, 6, 4), DigitsValue(line, 3, 2), DigitsValue(line, 0, 2));
  stamp.timeOfDayMs = std::int64_t{DigitsValue(line, 11, 2)} * 3'600'000 +
                      std::int64_t{DigitsValue(line, 13, 2)} * 60'000 +
                      std::int64_t{DigitsValue(line, 15, 2)} * 1'000 + DigitsValue(line, 17, 3);
  return stamp;
}

std::vector<ReplayBurst> ParseReplayLog(std::string_view text, double rateHz) {
  const std::vector<LogLine> lines = SentencesOf(text);
  const bool stamped =
      std::any_of(lines.begin(), lines.end(), [](const LogLine& line) { return line.stamp; });
  return stamped ? StampedBursts(lines) : RateBursts(lines, rateHz);
}

void AppendReplayLog(std::vector<ReplayBurst>& timeline, std::vector<ReplayBurst> log,
                     std::chrono::microseconds gap) {
  const std::chrono::microseconds shift =
      timeline.empty() ? std::chrono::microseconds{0} : timeline.back().offset + gap;
  for (ReplayBurst& burst : log) {
    burst.offset += shift;
    timeline.push_back(std::move(burst));
  }
}

// --- Playing ---

ReplayEnd PlayReplay(std::span<const ReplayBurst> bursts, const ReplayPlan& plan,
                     ReplayClock& clock, ReplaySink& sink) {
  if (bursts.empty()) {
    return ReplayEnd::kEndOfInput;
  }
  const ReplayTime start = clock.Now();
  const double passMicros = static_cast<double>((bursts.back().offset + plan.loopGap).count());
  const auto deadline = [&](std::int64_t pass, std::chrono::microseconds offset) {
    const double micros =
        static_cast<double>(pass) * passMicros + static_cast<double>(offset.count());
    const std::chrono::nanoseconds scaled(std::llround(micros * 1000.0 / plan.speed));
    return start + std::chrono::duration_cast<ReplayTime::duration>(scaled);
  };
  for (std::int64_t pass = 0;; ++pass) {
    for (std::size_t i = 0; i < bursts.size(); ++i) {
      if (!clock.SleepUntil(deadline(pass, bursts[i].offset))) {
        return ReplayEnd::kStopped;
      }
      const ReplayTime giveUp = i + 1 < bursts.size() ? deadline(pass, bursts[i + 1].offset)
                                                      : deadline(pass + 1, bursts[0].offset);
      if (!sink.Write(bursts[i], giveUp)) {
        return ReplayEnd::kWriteFailed;
      }
    }
    if (!plan.loop) {
      return ReplayEnd::kEndOfInput;
    }
  }
}

namespace {

// --- Command line ---

constexpr double kMaxRate = 1000.0;
constexpr double kMinSpeed = 0.001;
constexpr double kMaxSpeed = 1e6;
constexpr unsigned kDefaultBaud = 4800;

// How often waits look at the stop flag.
constexpr auto kStopPoll = 50ms;
// At the end of the input: how long the pty's queue may stay unread, and
// for how long it must stay empty, before the master is closed (closing it
// throws away what the reader has not read yet).
constexpr auto kDrainStall = 250ms;
constexpr auto kDrainSettle = 50ms;
constexpr auto kDrainStep = 10ms;

constexpr std::string_view kHelp =
    "Usage: nmea-replay (--port PATH | --pty [--link PATH]) [OPTIONS] [FILE...]\n"
    "\n"
    "Plays a recorded NMEA 0183 log into a serial device or a pseudo-terminal,\n"
    "at the pace it was recorded. The log is read from each FILE in turn\n"
    "(standard input when no FILE is given, and for \"-\"); each file starts\n"
    "one burst period (see --rate) after the last burst of the one before.\n"
    "\n"
    "Input: one sentence per line, lines ending in CR LF or LF. A line that\n"
    "starts \"dd.MM.yyyy hhnnsszzz \" (the receiver's raw log with date and time)\n"
    "is stamped: the date and time are taken off, and each sentence is written\n"
    "at its recorded offset from the first one (dates count, so midnight is\n"
    "crossed; a clock set back adds no wait). Lines that do not start with\n"
    "'$' or '!' after that (blank lines, \"#\" comments) are skipped. In a log\n"
    "with stamps, a sentence without one goes out with the sentence before it.\n"
    "A log without stamps is written one fix per burst: a burst ends before a\n"
    "GGA or RMC sentence whose kind it already holds (a log with neither is\n"
    "written one sentence per burst). Sentences are written with CR LF. The\n"
    "whole input is read before the replay starts, so standard input can be\n"
    "played again with --loop.\n"
    "\n"
    "Output (one of):\n"
    "  --port PATH   an existing serial device or pty slave; a terminal is set\n"
    "                to raw mode at the --baud rate\n"
    "  --pty         create a pseudo-terminal in raw mode and write its slave's\n"
    "                path as the first line on standard output; programs open\n"
    "                that path as if it were a receiver's serial port\n"
    "  --link PATH   with --pty: also make PATH a symbolic link to the slave\n"
    "                (an existing symbolic link is replaced, any other file is\n"
    "                not); removed again at exit\n"
    "\n"
    "Options:\n"
    "  --rate HZ     bursts per second for logs without stamps (default 1,\n"
    "                up to 1000)\n"
    "  --speed X     time multiplier: 10 plays ten times faster (default 1,\n"
    "                from 0.001 to 1000000)\n"
    "  --loop        start again after the last burst, until stopped; the next\n"
    "                pass starts one burst period after the last burst\n"
    "  --baud N      line speed for --port (default 4800); also set on the pty\n"
    "  --help        show this text and exit\n"
    "  --version     show the version and exit\n"
    "  --            end of options: later arguments are input files\n"
    "\n"
    "Options take their value as the next argument or after '=' (--rate=5) and\n"
    "may come before or after the files; of an option given twice the last one\n"
    "counts.\n"
    "\n"
    "Pacing keeps to real time: every burst has its own deadline on a\n"
    "monotonic clock, and a burst that cannot be written before the next one\n"
    "is due (the device's or the pty's buffer is full: nobody reads, or the\n"
    "reader is too slow) is dropped, whole sentences at a time. The number of\n"
    "dropped sentences is reported on standard error at the end.\n"
    "\n"
    "With --pty the tool keeps the slave open itself, so a program may open\n"
    "and close it at any time without ending the replay. What is written while\n"
    "no program reads waits in the terminal's input queue (some kilobytes;\n"
    "after that, bursts are dropped) and is read first by the next program to\n"
    "open the slave, unless that program flushes its input when it opens the\n"
    "port, as serial programs usually do. What programs write to the slave is\n"
    "read and thrown away. At the end of the input the tool waits while a\n"
    "reader takes the rest of the queue (closing the pty would discard it).\n"
    "\n"
    "SIGINT, SIGTERM and SIGHUP stop the replay cleanly.\n"
    "\n"
    "Exit status: 0 at the end of the input (or when stopped by a signal);\n"
    "1 when an input could not be read or the output failed; 2 for a bad\n"
    "command line.\n";

struct Settings {
  std::optional<std::string> port;
  bool pty = false;
  std::optional<std::string> link;
  double rate = 1.0;
  double speed = 1.0;
  bool loop = false;
  unsigned baud = kDefaultBaud;
  std::vector<std::string> files;
};

using cli::ParseNumber;
using cli::ParseOutcome;
using cli::ParseResult;

// The termios code of a standard line speed, or nothing.
std::optional<speed_t> BaudCode(unsigned baud) {
  return platform::StandardSpeedCode(static_cast<int>(baud));
}

std::string FormatLimit(double value) {
  std::array<char, 32> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
  return std::string(text.data(), result.ptr);
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
    std::string error;
    if (name == "--pty" || name == "--loop") {
      if (reader.HasInlineValue()) {
        error = "option '" + name + "' takes no value";
      } else {
        (name == "--pty" ? s.pty : s.loop) = true;
      }
    } else if (name == "--port" || name == "--link" || name == "--rate" || name == "--speed" ||
               name == "--baud") {
      std::string value;
      if (!reader.TakeValue(value)) {
        return {ParseOutcome::kUsageError, "option '" + name + "' needs a value"};
      }
      if (name == "--port" || name == "--link") {
        if (value.empty()) {
          error = name + " needs a path";
        }
        (name == "--port" ? s.port : s.link) = value;
      } else if (name == "--rate") {
        if (!ParseNumber(value, 0.0, kMaxRate, s.rate) || s.rate <= 0.0) {
          error = "--rate needs a number of bursts per second above 0 and up to " +
                  FormatLimit(kMaxRate) + ", not '" + value + "'";
        }
      } else if (name == "--speed") {
        if (!ParseNumber(value, kMinSpeed, kMaxSpeed, s.speed)) {
          error = "--speed needs a number from " + FormatLimit(kMinSpeed) + " to " +
                  FormatLimit(kMaxSpeed) + ", not '" + value + "'";
        }
      } else if (!ParseNumber(value, 1u, 4'000'000u, s.baud) || !BaudCode(s.baud)) {
        error = "--baud needs a standard line speed (4800, 9600, 38400, 115200, ...), not '" +
                value + "'";
      }
    } else {
      error = "unknown option '" + arg + "'";
    }
    if (!error.empty()) {
      return {ParseOutcome::kUsageError, error};
    }
  }
  if (s.port && s.pty) {
    return {ParseOutcome::kUsageError, "--port and --pty cannot be used together"};
  }
  if (!s.port && !s.pty) {
    return {ParseOutcome::kUsageError, "an output is needed: --port PATH or --pty"};
  }
  if (s.link && !s.pty) {
    return {ParseOutcome::kUsageError, "--link needs --pty"};
  }
  return {};
}

int UsageError(std::ostream& err, const std::string& message) {
  err << kProgram << ": " << message << '\n'
      << "Usage: " << kProgram << " (--port PATH | --pty [--link PATH]) [--rate HZ] [--speed X]\n"
      << "       [--loop] [--baud N] [FILE...]\n"
      << "Try '" << kProgram << " --help' for more information.\n";
  return kNmeaReplayUsage;
}

std::string ErrnoText(int error) { return std::generic_category().message(error); }

// --- Input ---

bool ReadStream(std::istream& in, std::string& text) {
  std::array<char, 65536> buffer{};
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    text.append(buffer.data(), static_cast<std::size_t>(in.gcount()));
  }
  return !in.bad();
}

// The whole of file `path`, or the reason it cannot be read.
std::string ReadFile(const std::string& path, std::string& text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return ErrnoText(errno);
  }
  std::array<char, 65536> buffer{};
  std::string reason;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n > 0) {
      text.append(buffer.data(), static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      reason = ErrnoText(errno);
      break;
    }
  }
  ::close(fd);
  return reason;
}

// --- Output ---

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int Get() const { return fd_; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// Raw mode (no echo, no line editing, no CR or NL translation, 8 bits) at
// `baud`, ignoring the modem lines.
std::string SetRawMode(int fd, speed_t baud) {
  termios mode{};
  if (::tcgetattr(fd, &mode) != 0) {
    return ErrnoText(errno);
  }
  ::cfmakeraw(&mode);
  mode.c_cflag |= CLOCAL | CREAD;
  mode.c_cc[VMIN] = 1;
  mode.c_cc[VTIME] = 0;
  if (::cfsetispeed(&mode, baud) != 0 || ::cfsetospeed(&mode, baud) != 0 ||
      ::tcsetattr(fd, TCSANOW, &mode) != 0) {
    return ErrnoText(errno);
  }
  return {};
}

std::string SetNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    return ErrnoText(errno);
  }
  return {};
}

struct Pty {
  UniqueFd master;
  UniqueFd slave;  // held open by the tool: see the help text
  std::string path;
};

std::string OpenPty(speed_t baud, Pty& pty) {
  pty.master.Reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (pty.master.Get() < 0) {
    return "cannot create a pseudo-terminal: " + ErrnoText(errno);
  }
  std::array<char, 256> name{};
  if (::grantpt(pty.master.Get()) != 0 || ::unlockpt(pty.master.Get()) != 0 ||
      ::ptsname_r(pty.master.Get(), name.data(), name.size()) != 0) {
    return "cannot set up the pseudo-terminal: " + ErrnoText(errno);
  }
  pty.path = name.data();
  pty.slave.Reset(::open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (pty.slave.Get() < 0) {
    return "cannot open " + pty.path + ": " + ErrnoText(errno);
  }
  if (std::string reason = SetRawMode(pty.slave.Get(), baud); !reason.empty()) {
    return "cannot set the mode of " + pty.path + ": " + reason;
  }
  if (std::string reason = SetNonBlocking(pty.master.Get()); !reason.empty()) {
    return "cannot set up the pseudo-terminal: " + reason;
  }
  return {};
}

std::string OpenPort(const std::string& path, speed_t baud, const std::atomic<bool>* stop,
                     UniqueFd& port) {
  // Non-blocking, so that a serial device does not wait for its carrier.
  port.Reset(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  int error = errno;
  struct stat info {};
  if (port.Get() < 0 && error == ENXIO && ::stat(path.c_str(), &info) == 0 &&
      S_ISFIFO(info.st_mode)) {
    // A FIFO without a reader: wait for one (a signal ends the wait).
    do {
      if (stop != nullptr && stop->load()) {
        return {};
      }
      port.Reset(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
      error = errno;
    } while (port.Get() < 0 && error == EINTR);
  }
  if (port.Get() < 0) {
    return "cannot open " + path + ": " + ErrnoText(error);
  }
  if (::fstat(port.Get(), &info) != 0) {
    return "cannot open " + path + ": " + ErrnoText(errno);
  }
  if (S_ISREG(info.st_mode)) {
    return "--port needs a device, " + path + " is a regular file";
  }
  if (::isatty(port.Get()) != 0) {
    if (std::string reason = SetRawMode(port.Get(), baud); !reason.empty()) {
      return "cannot set the mode of " + path + ": " + reason;
    }
  }
  if (std::string reason = SetNonBlocking(port.Get()); !reason.empty()) {
    return "cannot set up " + path + ": " + reason;
  }
  return {};
}

// A symbolic link to the pty's slave, removed when the replay ends unless
// something else has taken its place meanwhile.
class SlaveLink {
 public:
  SlaveLink() = default;
  SlaveLink(const SlaveLink&) = delete;
  SlaveLink& operator=(const SlaveLink&) = delete;
  ~SlaveLink() {
    if (!path_.empty() && Target() == target_) {
      ::unlink(path_.c_str());
    }
  }

  std::string Create(const std::string& path, const std::string& target) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
      return "refusing to replace " + path + ": it is not a symbolic link";
    }
    // Made under a temporary name and renamed, so that an existing link is
    // replaced in one step.
    const std::string temporary = path + ".nmea-replay-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0) {
      return "cannot create the link " + path + ": " + ErrnoText(errno);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
      const int error = errno;
      ::unlink(temporary.c_str());
      return "cannot create the link " + path + ": " + ErrnoText(error);
    }
    path_ = path;
    target_ = target;
    return {};
  }

 private:
  std::string Target() const {
    std::array<char, 4096> text{};
    const ssize_t n = ::readlink(path_.c_str(), text.data(), text.size());
    return n > 0 ? std::string(text.data(), static_cast<std::size_t>(n)) : std::string();
  }

  std::string path_;
  std::string target_;
};

// Writes bursts to a non-blocking descriptor: the pty's master, or the port.
class FdSink : public ReplaySink {
 public:
  // `queueFd` is the pty slave the tool holds (-1 for a port): its input
  // queue tells whether a reader has taken everything.
  FdSink(int fd, int queueFd, std::string name, const std::atomic<bool>* stop)
      : fd_(fd), queueFd_(queueFd), name_(std::move(name)), stop_(stop) {}

  bool Write(const ReplayBurst& burst, ReplayTime giveUp) override {
    if (!tail_.empty()) {
      std::size_t done = 0;
      const Put put = PutBytes(tail_, done, giveUp);
      tail_.erase(0, done);
      if (put == Put::kFailed) {
        return false;
      }
      if (put == Put::kTimedOut) {
        dropped_ += burst.sentences.size();
        return true;
      }
    }
    for (std::size_t i = 0; i < burst.sentences.size(); ++i) {
      line_ = burst.sentences[i];
      line_ += "\r\n";
      std::size_t done = 0;
      const Put put = PutBytes(line_, done, giveUp);
      if (put == Put::kFailed) {
        return false;
      }
      if (put == Put::kTimedOut) {
        std::size_t unwritten = burst.sentences.size() - i;
        if (done > 0) {
          // The reader has the start of this sentence: the rest goes first
          // next time, so that no sentence is cut.
          tail_ = line_.substr(done);
          ++written_;
          --unwritten;
        }
        dropped_ += unwritten;
        return true;
      }
      ++written_;
    }
    return true;
  }

  // At the end of the input: writes what is left of a cut sentence and,
  // for a pty, waits while a reader empties the queue. Gives up when
  // nothing moves for kDrainStall.
  bool Finish() {
    while (!tail_.empty() && !Stopped()) {
      std::size_t done = 0;
      const Put put = PutBytes(tail_, done, std::chrono::steady_clock::now() + kDrainStall);
      tail_.erase(0, done);
      if (put == Put::kFailed) {
        return false;
      }
      if (put == Put::kTimedOut && done == 0) {
        --written_;
        ++dropped_;
        tail_.clear();
      }
    }
    if (queueFd_ < 0) {
      return true;
    }
    int lastQueued = -1;
    auto lastChange = std::chrono::steady_clock::now();
    auto emptySince = lastChange;
    bool empty = false;
    while (!Stopped()) {
      DiscardInput();
      int queued = 0;
      if (::ioctl(queueFd_, TIOCINQ, &queued) != 0) {
        break;
      }
      const auto now = std::chrono::steady_clock::now();
      if (queued == 0) {
        if (!empty) {
          empty = true;
          emptySince = now;
        } else if (now - emptySince >= kDrainSettle) {
          break;
        }
      } else {
        empty = false;
      }
      if (queued != lastQueued) {
        lastQueued = queued;
        lastChange = now;
      } else if (queued > 0 && now - lastChange >= kDrainStall) {
        break;  // nobody reads
      }
      std::this_thread::sleep_for(kDrainStep);
    }
    return true;
  }

  std::uint64_t Written() const { return written_; }
  std::uint64_t Dropped() const { return dropped_; }
  const std::string& Error() const { return error_; }

 private:
  enum class Put { kDone, kTimedOut, kFailed };

  bool Stopped() const { return stop_ != nullptr && stop_->load(); }

  // Reads and throws away what programs wrote to the slave (pty only), so
  // that its queue never fills.
  void DiscardInput() {
    if (queueFd_ < 0) {
      return;
    }
    std::array<char, 4096> buffer{};
    while (::read(fd_, buffer.data(), buffer.size()) > 0) {
    }
  }

  // Writes `bytes` from `done` on until all are written (kDone), the
  // descriptor stays full until `giveUp` or the replay stops (kTimedOut),
  // or an error (kFailed). `done` counts the bytes written.
  Put PutBytes(std::string_view bytes, std::size_t& done, ReplayTime giveUp) {
    for (;;) {
      DiscardInput();
      if (done == bytes.size()) {
        return Put::kDone;
      }
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        error_ = "cannot write to " + name_ + ": " + ErrnoText(errno);
        return Put::kFailed;
      }
      if (!WaitWritable(giveUp)) {
        return error_.empty() ? Put::kTimedOut : Put::kFailed;
      }
    }
  }

  // Waits until the descriptor takes bytes again; false when `giveUp`
  // comes first, the replay stops, or poll fails (then error_ tells).
  bool WaitWritable(ReplayTime giveUp) {
    const short events = queueFd_ >= 0 ? POLLOUT | POLLIN : POLLOUT;
    for (;;) {
      const auto now = std::chrono::steady_clock::now();
      if (Stopped() || now >= giveUp) {
        return false;
      }
      const auto wait = std::min<std::chrono::steady_clock::duration>(giveUp - now, kStopPoll);
      const int timeoutMs =
          static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
      pollfd entry{fd_, events, 0};
      const int ready = ::poll(&entry, 1, timeoutMs);
      if (ready < 0) {
        if (errno == EINTR) {
          continue;
        }
        error_ = "cannot wait for " + name_ + ": " + ErrnoText(errno);
        return false;
      }
      if (ready > 0) {
        if ((entry.revents & (POLLOUT | POLLERR | POLLHUP | POLLNVAL)) != 0) {
          return true;  // a write tells what happened
        }
        DiscardInput();
      }
    }
  }

  int fd_;
  int queueFd_;
  std::string name_;
  const std::atomic<bool>* stop_;
  std::string tail_;
  std::string line_;
  std::uint64_t written_ = 0;
  std::uint64_t dropped_ = 0;
  std::string error_;
};

// The monotonic clock, sleeping in short steps to see a stop request.
class SteadyClock : public ReplayClock {
 public:
  explicit SteadyClock(const std::atomic<bool>* stop) : stop_(stop) {}

  ReplayTime Now() override { return std::chrono::steady_clock::now(); }

  bool SleepUntil(ReplayTime deadline) override {
    for (;;) {
      if (stop_ != nullptr && stop_->load()) {
        return false;
      }
      const ReplayTime now = std::chrono::steady_clock::now();
      if (now >= deadline) {
        return true;
      }
      std::this_thread::sleep_until(std::min<ReplayTime>(deadline, now + kStopPoll));
    }
  }

 private:
  const std::atomic<bool>* stop_;
};

}  // namespace

int RunNmeaReplay(std::span<const std::string> args, std::istream& in, std::ostream& out,
                  std::ostream& err, const std::atomic<bool>* stop) {
  Settings settings;
  const ParseResult parsed = ParseArguments(args, settings);
  switch (parsed.outcome) {
    case ParseOutcome::kUsageError:
      return UsageError(err, parsed.error);
    case ParseOutcome::kHelp:
      out << kHelp;
      out.flush();
      return kNmeaReplayOk;
    case ParseOutcome::kVersion:
      cli::WriteVersion(out, kProgram);
      return kNmeaReplayOk;
    case ParseOutcome::kRun:
      break;
  }

  // One burst period: between files, and between passes with --loop.
  const std::chrono::microseconds period(std::llround(1e6 / settings.rate));
  std::vector<ReplayBurst> timeline;
  if (settings.files.empty()) {
    settings.files.emplace_back("-");
  }
  for (const std::string& file : settings.files) {
    std::string text;
    if (file == "-") {
      if (!ReadStream(in, text)) {
        err << kProgram << ": cannot read standard input\n";
        return kNmeaReplayIoError;
      }
    } else if (const std::string reason = ReadFile(file, text); !reason.empty()) {
      err << kProgram << ": cannot read " << file << ": " << reason << '\n';
      return kNmeaReplayIoError;
    }
    AppendReplayLog(timeline, ParseReplayLog(text, settings.rate), period);
  }
  if (timeline.empty()) {
    err << kProgram << ": no sentences in the input\n";
    return kNmeaReplayOk;
  }

  const speed_t baud = *BaudCode(settings.baud);
  Pty pty;
  UniqueFd port;
  SlaveLink link;
  std::string outputName;
  if (settings.pty) {
    if (const std::string reason = OpenPty(baud, pty); !reason.empty()) {
      err << kProgram << ": " << reason << '\n';
      return kNmeaReplayIoError;
    }
    if (settings.link) {
      if (const std::string reason = link.Create(*settings.link, pty.path); !reason.empty()) {
        err << kProgram << ": " << reason << '\n';
        return kNmeaReplayIoError;
      }
    }
    outputName = pty.path;
    out << pty.path << '\n' << std::flush;
    if (!out) {
      err << kProgram << ": cannot write to standard output\n";
      return kNmeaReplayIoError;
    }
  } else {
    if (const std::string reason = OpenPort(*settings.port, baud, stop, port); !reason.empty()) {
      err << kProgram << ": " << reason << '\n';
      return kNmeaReplayIoError;
    }
    if (port.Get() < 0) {
      return kNmeaReplayOk;  // stopped while waiting for a FIFO's reader
    }
    outputName = *settings.port;
  }

  FdSink sink(settings.pty ? pty.master.Get() : port.Get(), settings.pty ? pty.slave.Get() : -1,
              outputName, stop);
  SteadyClock clock(stop);
  ReplayPlan plan;
  plan.speed = settings.speed;
  plan.loop = settings.loop;
  plan.loopGap = period;
  const ReplayEnd end = PlayReplay(timeline, plan, clock, sink);
  int status = kNmeaReplayOk;
  if (end == ReplayEnd::kWriteFailed || (end == ReplayEnd::kEndOfInput && !sink.Finish())) {
    err << kProgram << ": " << sink.Error() << '\n';
    status = kNmeaReplayIoError;
  }
  if (sink.Dropped() > 0) {
    err << kProgram << ": dropped " << sink.Dropped() << " of " << sink.Written() + sink.Dropped()
        << " sentences: " << outputName << " took no more (nobody reading, or too slowly)\n";
  }
  return status;
}

int RunNmeaReplay(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err,
                  const std::atomic<bool>* stop) {
  return RunNmeaReplay(cli::Arguments(argc, argv), in, out, err, stop);
}

}  // namespace halvex::tools
