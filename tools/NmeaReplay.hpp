// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// nmea-replay: plays a recorded NMEA log into a serial device or a
// pseudo-terminal, at the pace it was recorded (or faster), so that the
// demo, the tests and anyone training on recorded data get a live-looking
// receiver. See the --help text in NmeaReplay.cpp.
//
// The work is split in three parts that are tested on their own:
//  - ParseReplayLog turns the text of a log into bursts: the sentences that
//    go out together, each burst with its time offset from the first;
//  - PlayReplay writes the bursts at their deadlines through a clock and a
//    sink, both injectable;
//  - RunNmeaReplay is the command line around them, with the real clock and
//    the file descriptor sinks.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace halvex::tools {

// Exit statuses of nmea-replay.
inline constexpr int kNmeaReplayOk = 0;       // end of the input, or stopped by a signal
inline constexpr int kNmeaReplayIoError = 1;  // an input, the port or the pty failed
inline constexpr int kNmeaReplayUsage = 2;    // bad command line

// Sentences that go out together, `offset` after the first burst of the log.
// The sentences are kept without their line end; the tool writes CR LF.
struct ReplayBurst {
  std::chrono::microseconds offset{0};
  std::vector<std::string> sentences;

  bool operator==(const ReplayBurst&) const = default;
};

// Splits the text of one log into bursts.
//
// Lines end in LF or CR LF. A line starting "dd.MM.yyyy hhnnsszzz " (the
// raw log of the receiver with date and time on) is stamped: the stamp is
// taken off and gives the sentence its time. What is left of a line must
// start with '$' or '!' to be a sentence; other lines (blank, "#" comments)
// are skipped.
//
// A log with at least one stamped sentence is paced by its stamps: a burst
// holds the sentences of one time stamp, at the stamp's offset from the
// first one. The gap between two stamps is taken from dates and times
// together, so midnight is crossed when the date moves on; when a date
// cannot be read, a time earlier than the one before counts as the next day.
// A clock set back (same date, earlier time) adds no wait. An unstamped
// sentence in such a log goes out with the sentence before it.
//
// A log without stamps is cut into one burst per fix: a burst ends before a
// GGA or RMC sentence whose kind the burst already holds. A log with no GGA
// and no RMC at all gets one sentence per burst. Burst k goes out k/rateHz
// seconds after the first.
std::vector<ReplayBurst> ParseReplayLog(std::string_view text, double rateHz);

// The stamp of a stamped line, or nothing when `line` has none: the time of
// day in milliseconds and, when the date is a real one, the day number
// (days since 1970-01-01).
struct ReplayStamp {
  std::optional<std::int64_t> day;
  std::int64_t timeOfDayMs = 0;
};
std::optional<ReplayStamp> ParseReplayStamp(std::string_view line);

// Appends the bursts of one more log to `timeline`: its first burst comes
// `gap` after the last burst already there.
void AppendReplayLog(std::vector<ReplayBurst>& timeline, std::vector<ReplayBurst> log,
                     std::chrono::microseconds gap);

// --- Playing ---

using ReplayTime = std::chrono::steady_clock::time_point;

class ReplayClock {
 public:
  virtual ~ReplayClock() = default;
  virtual ReplayTime Now() = 0;
  // Waits until `deadline` (at once when it has passed). Returns false when
  // the replay is to stop instead.
  virtual bool SleepUntil(ReplayTime deadline) = 0;
};

class ReplaySink {
 public:
  virtual ~ReplaySink() = default;
  // Writes the sentences of `burst`, each followed by CR LF. A sink that
  // cannot take them by `giveUp` drops what is left of the burst (whole
  // sentences) and returns true; false means an I/O error.
  virtual bool Write(const ReplayBurst& burst, ReplayTime giveUp) = 0;
};

struct ReplayPlan {
  double speed = 1.0;  // time multiplier, > 0: offsets are divided by it
  bool loop = false;   // start again after the last burst, until stopped
  // With `loop`, the first burst of the next pass comes this long after the
  // last burst of a pass (before dividing by `speed`).
  std::chrono::microseconds loopGap{1'000'000};
};

enum class ReplayEnd { kEndOfInput, kStopped, kWriteFailed };

// Writes every burst at the time of the first call to clock.Now() plus its
// offset divided by plan.speed (pass n of a loop adds n times the length of
// a pass). Deadlines are absolute, so a late write does not delay the ones
// after it. A burst may be written until the deadline of the next one.
ReplayEnd PlayReplay(std::span<const ReplayBurst> bursts, const ReplayPlan& plan,
                     ReplayClock& clock, ReplaySink& sink);

// --- Command line ---

// Runs the tool on `args` (the command line without the program name). Files
// named in `args` are read by name; "-" and the no-file case read `in`. With
// --pty the slave's path is the first line on `out`; diagnostics and usage
// errors go to `err`. The replay stops cleanly (the link removed) soon after
// `*stop` becomes true.
int RunNmeaReplay(std::span<const std::string> args, std::istream& in, std::ostream& out,
                  std::ostream& err, const std::atomic<bool>* stop = nullptr);

// The same for main()'s arguments.
int RunNmeaReplay(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err,
                  const std::atomic<bool>* stop = nullptr);

}  // namespace halvex::tools
