// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/NmeaReplay.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tools/tests/CliTestSupport.hpp"

extern char** environ;

namespace halvex::tools {
namespace {

using namespace std::chrono_literals;
using std::chrono::microseconds;
using std::chrono::milliseconds;

std::vector<std::string> Sentences(const std::vector<ReplayBurst>& bursts) {
  std::vector<std::string> all;
  for (const ReplayBurst& burst : bursts) {
    all.insert(all.end(), burst.sentences.begin(), burst.sentences.end());
  }
  return all;
}

std::vector<std::int64_t> OffsetsMs(const std::vector<ReplayBurst>& bursts) {
  std::vector<std::int64_t> offsets;
  offsets.reserve(bursts.size());
  for (const ReplayBurst& burst : bursts) {
    offsets.push_back(std::chrono::duration_cast<milliseconds>(burst.offset).count());
  }
  return offsets;
}

// --- Stamps and log parsing ---

TEST(NmeaReplayParse, StampsHaveOneExactLayout) {
  const auto stamp = ParseReplayStamp("02.01.1970 013005250 $GPGGA,1");
  ASSERT_TRUE(stamp);
  EXPECT_EQ(stamp->timeOfDayMs, ((1 * 60 + 30) * 60 + 5) * 1000 + 250);
  EXPECT_EQ(stamp->day, 1);
  EXPECT_EQ(ParseReplayStamp("29.02.2024 000000000 $X")->day, 19782);
  // A date that does not exist has no day number but is still a stamp.
  for (const char* line : {"29.02.2023 120000000 $X", "01.13.2023 120000000 $X"}) {
    ASSERT_TRUE(ParseReplayStamp(line));
    EXPECT_FALSE(ParseReplayStamp(line)->day) << line;
  }
  for (const char* line :
       {"$GPGGA,120000.00,,,,,0,00,,,M,,M,,*66", "01.02.2024 12000000 $GPGGA",
        "01.02.2024 1200000000 $GPGGA", "01-02-2024 120000000 $GPGGA", "1.02.2024 120000000 $GPGGA",
        "01.02.2024 120000000$GPGGA", "01.02.2024  120000000 $GPGGA", "01.02.2024 12000a000 $GPGGA",
        "01.02.2024 120000000"}) {
    EXPECT_FALSE(ParseReplayStamp(line)) << line;
  }
}

TEST(NmeaReplayParse, StampedOffsetsCountFromTheFirstStamp) {
  const std::string log =
      "01.02.2024 120000500 $GPGGA,a*00\r\n"
      "01.02.2024 120000500 $GPRMC,a*00\r\n"
      "01.02.2024 120001500 $GPGGA,b*00\r\n"
      "01.02.2024 120003000 !AIVDM,c*00\r\n"
      "01.02.2024 120103000 $GPGGA,d*00\r\n";
  const auto bursts = ParseReplayLog(log, 1.0);
  EXPECT_EQ(OffsetsMs(bursts), (std::vector<std::int64_t>{0, 1000, 2500, 62500}));
  ASSERT_EQ(bursts.size(), 4u);
  EXPECT_EQ(bursts[0].sentences, (std::vector<std::string>{"$GPGGA,a*00", "$GPRMC,a*00"}));
  EXPECT_EQ(bursts[2].sentences, (std::vector<std::string>{"!AIVDM,c*00"}));
  // --rate has nothing to say about a stamped log.
  EXPECT_EQ(ParseReplayLog(log, 5.0), bursts);
}

TEST(NmeaReplayParse, StampsCrossMidnight) {
  // The date moves on with the time.
  EXPECT_EQ(OffsetsMs(ParseReplayLog("31.12.2023 235959800 $A\n"
                                     "01.01.2024 000000300 $B\n"
                                     "01.01.2024 000001300 $C\n",
                                     1.0)),
            (std::vector<std::int64_t>{0, 500, 1500}));
  // Without a readable date, a time earlier than the one before is the next day.
  EXPECT_EQ(OffsetsMs(ParseReplayLog("31.02.2023 235959000 $A\n"
                                     "31.02.2023 000001000 $B\n"
                                     "31.02.2023 000002000 $C\n",
                                     1.0)),
            (std::vector<std::int64_t>{0, 2000, 3000}));
  // A gap of days is kept as recorded.
  EXPECT_EQ(OffsetsMs(ParseReplayLog("01.03.2024 120000000 $A\n03.03.2024 120000000 $B\n", 1.0)),
            (std::vector<std::int64_t>{0, std::int64_t{2} * 86'400'000}));
}

TEST(NmeaReplayParse, ClockSetBackAddsNoWait) {
  // An hour back on the same date (the end of summer time in a local log).
  const auto bursts = ParseReplayLog(
      "27.10.2024 025959000 $A\n"
      "27.10.2024 020000000 $B\n"
      "27.10.2024 020001000 $C\n",
      1.0);
  EXPECT_EQ(OffsetsMs(bursts), (std::vector<std::int64_t>{0, 1000}));
  EXPECT_EQ(bursts[0].sentences, (std::vector<std::string>{"$A", "$B"}));
}

TEST(NmeaReplayParse, UnstampedSentencesOfAStampedLogGoWithThePreviousOne) {
  const auto bursts = ParseReplayLog(
      "$GPTXT,before\n"
      "01.02.2024 120000000 $GPGGA,a\n"
      "$GPGSV,a\n"
      "01.02.2024 120001000 $GPGGA,b\n",
      1.0);
  ASSERT_EQ(bursts.size(), 2u);
  EXPECT_EQ(bursts[0].offset, microseconds{0});
  EXPECT_EQ(bursts[0].sentences,
            (std::vector<std::string>{"$GPTXT,before", "$GPGGA,a", "$GPGSV,a"}));
  EXPECT_EQ(bursts[1].offset, milliseconds{1000});
}

TEST(NmeaReplayParse, RawLogIsCutAtRepeatedGgaOrRmc) {
  const std::string log =
      "$GPGGA,1\r\n$GPGSA,1\r\n$GPGSV,1\r\n$GPGSV,1\r\n$GPRMC,1\r\n"
      "$GPGGA,2\r\n$GPGSA,2\r\n$GPRMC,2\r\n"
      "$GNRMC,3\r\n$GNGGA,3\r\n"
      "$GNRMC,4\r\n";
  const auto bursts = ParseReplayLog(log, 1.0);
  ASSERT_EQ(bursts.size(), 4u);
  EXPECT_EQ(bursts[0].sentences.size(), 5u);
  EXPECT_EQ(bursts[1].sentences, (std::vector<std::string>{"$GPGGA,2", "$GPGSA,2", "$GPRMC,2"}));
  EXPECT_EQ(bursts[2].sentences, (std::vector<std::string>{"$GNRMC,3", "$GNGGA,3"}));
  EXPECT_EQ(bursts[3].sentences, (std::vector<std::string>{"$GNRMC,4"}));
  EXPECT_EQ(OffsetsMs(bursts), (std::vector<std::int64_t>{0, 1000, 2000, 3000}));
  // Kinds are told by the address alone: neither a longer address nor a
  // proprietary one nor the text of a field cuts a burst.
  EXPECT_EQ(ParseReplayLog("$GPGGA,1\n$PGGA,x\n$GPGGAX,y\n$GPTXT,GGA\n$GPGGA*00\n", 1.0).size(),
            2u);
}

TEST(NmeaReplayParse, RateSpacesBurstsWithoutDrift) {
  const std::string log = "$GPGGA,1\n$GPGGA,2\n$GPGGA,3\n$GPGGA,4\n";
  EXPECT_EQ(OffsetsMs(ParseReplayLog(log, 5.0)), (std::vector<std::int64_t>{0, 200, 400, 600}));
  std::vector<microseconds> thirds;
  for (const ReplayBurst& burst : ParseReplayLog(log, 3.0)) {
    thirds.push_back(burst.offset);
  }
  EXPECT_EQ(thirds, (std::vector<microseconds>{0us, 333'333us, 666'667us, 1'000'000us}));
  // Without GGA and RMC, each sentence is a burst.
  EXPECT_EQ(OffsetsMs(ParseReplayLog("!AIVDM,1\n!AIVDM,2\n$GPZDA,3\n", 2.0)),
            (std::vector<std::int64_t>{0, 500, 1000}));
}

TEST(NmeaReplayParse, SkipsCommentsBlankLinesAndLineEnds) {
  const std::string crlf =
      "# recorded on the jetty\r\n\r\n$GPGGA,1*00\r\n  $GPGSA,indented\r\n"
      "01.02.2024 120000000 # stamped comment\r\n$GPRMC,1*00\r\r\n$GPGGA,2*00";
  const std::vector<std::string> expected = {"$GPGGA,1*00", "$GPRMC,1*00", "$GPGGA,2*00"};
  EXPECT_EQ(Sentences(ParseReplayLog(crlf, 1.0)), expected);
  std::string lf = crlf;
  std::erase(lf, '\r');
  EXPECT_EQ(ParseReplayLog(lf, 1.0), ParseReplayLog(crlf, 1.0));
  EXPECT_TRUE(ParseReplayLog("", 1.0).empty());
  EXPECT_TRUE(ParseReplayLog("# nothing\n\n", 1.0).empty());
}

TEST(NmeaReplayParse, LogsFollowEachOtherAfterAGap) {
  std::vector<ReplayBurst> timeline;
  AppendReplayLog(timeline, ParseReplayLog("$GPGGA,1\n$GPGGA,2\n", 1.0), 1s);
  AppendReplayLog(timeline, {}, 1s);
  AppendReplayLog(timeline,
                  ParseReplayLog("01.02.2024 120000000 $GPGGA,3\n01.02.2024 120000250 $X\n", 1.0),
                  1s);
  EXPECT_EQ(OffsetsMs(timeline), (std::vector<std::int64_t>{0, 1000, 2000, 2250}));
}

// --- Pacing ---

constexpr ReplayTime kStart = ReplayTime{} + 1h;

class FakeClock : public ReplayClock {
 public:
  ReplayTime now = kStart;
  std::vector<ReplayTime> sleeps;
  std::size_t stopAfter = std::size_t(-1);  // sleeps granted before a stop

  ReplayTime Now() override { return now; }
  bool SleepUntil(ReplayTime deadline) override {
    if (sleeps.size() >= stopAfter) {
      return false;
    }
    sleeps.push_back(deadline);
    now = std::max(now, deadline);
    return true;
  }
};

struct WriteRecord {
  milliseconds at;
  milliseconds giveUp;
  std::string first;
};

class RecordingSink : public ReplaySink {
 public:
  explicit RecordingSink(FakeClock& clock) : clock_(clock) {}

  std::vector<WriteRecord> writes;
  ReplayTime::duration cost{0};  // how long each write takes
  bool fail = false;

  bool Write(const ReplayBurst& burst, ReplayTime giveUp) override {
    writes.push_back({std::chrono::duration_cast<milliseconds>(clock_.now - kStart),
                      std::chrono::duration_cast<milliseconds>(giveUp - kStart),
                      burst.sentences.empty() ? std::string() : burst.sentences.front()});
    clock_.now += cost;
    return !fail;
  }

 private:
  FakeClock& clock_;
};

std::vector<std::int64_t> WriteTimes(const RecordingSink& sink) {
  std::vector<std::int64_t> times;
  for (const WriteRecord& w : sink.writes) {
    times.push_back(w.at.count());
  }
  return times;
}

TEST(NmeaReplayPacing, SpeedDividesTheOffsets) {
  const auto bursts = ParseReplayLog(
      "01.02.2024 120000000 $A\n01.02.2024 120001000 $B\n01.02.2024 120003500 $C\n", 1.0);
  FakeClock clock;
  RecordingSink sink(clock);
  ReplayPlan plan;
  plan.speed = 10.0;
  EXPECT_EQ(PlayReplay(bursts, plan, clock, sink), ReplayEnd::kEndOfInput);
  EXPECT_EQ(WriteTimes(sink), (std::vector<std::int64_t>{0, 100, 350}));
  // Each burst may take until the next one is due; the last one its period.
  EXPECT_EQ(sink.writes[0].giveUp, milliseconds{100});
  EXPECT_EQ(sink.writes[1].giveUp, milliseconds{350});
  EXPECT_EQ(sink.writes[2].giveUp, milliseconds{450});
}

TEST(NmeaReplayPacing, RateFiveSpacesBurstsTwoHundredMilliseconds) {
  const auto bursts = ParseReplayLog("$GPGGA,1\n$GPRMC,1\n$GPGGA,2\n$GPGGA,3\n", 5.0);
  FakeClock clock;
  RecordingSink sink(clock);
  EXPECT_EQ(PlayReplay(bursts, ReplayPlan{}, clock, sink), ReplayEnd::kEndOfInput);
  EXPECT_EQ(WriteTimes(sink), (std::vector<std::int64_t>{0, 200, 400}));
  EXPECT_EQ(sink.writes[1].first, "$GPGGA,2");
}

TEST(NmeaReplayPacing, LateWritesDoNotDelayLaterDeadlines) {
  const auto bursts = ParseReplayLog("$GPGGA,1\n$GPGGA,2\n$GPGGA,3\n$GPGGA,4\n", 10.0);
  FakeClock clock;
  RecordingSink sink(clock);
  sink.cost = 150ms;  // each write overruns the 100 ms slot
  ReplayPlan plan;
  plan.loopGap = 100ms;
  PlayReplay(bursts, plan, clock, sink);
  EXPECT_EQ(WriteTimes(sink), (std::vector<std::int64_t>{0, 150, 300, 450}));
  EXPECT_EQ(clock.sleeps,
            (std::vector<ReplayTime>{kStart, kStart + 100ms, kStart + 200ms, kStart + 300ms}));
  EXPECT_EQ(sink.writes[3].giveUp, milliseconds{400});
}

TEST(NmeaReplayPacing, LoopStartsAgainAfterOnePeriod) {
  const auto bursts = ParseReplayLog("$GPGGA,1\n$GPGGA,2\n$GPGGA,3\n", 2.0);
  FakeClock clock;
  clock.stopAfter = 8;
  RecordingSink sink(clock);
  ReplayPlan plan;
  plan.loop = true;
  plan.loopGap = 500ms;
  plan.speed = 2.0;
  EXPECT_EQ(PlayReplay(bursts, plan, clock, sink), ReplayEnd::kStopped);
  // A pass lasts 1.5 s of log time, 750 ms at double speed.
  EXPECT_EQ(WriteTimes(sink),
            (std::vector<std::int64_t>{0, 250, 500, 750, 1000, 1250, 1500, 1750}));
  std::vector<std::string> firsts;
  for (const WriteRecord& w : sink.writes) {
    firsts.push_back(w.first);
  }
  EXPECT_EQ(firsts, (std::vector<std::string>{"$GPGGA,1", "$GPGGA,2", "$GPGGA,3", "$GPGGA,1",
                                              "$GPGGA,2", "$GPGGA,3", "$GPGGA,1", "$GPGGA,2"}));
  EXPECT_EQ(sink.writes[2].giveUp, milliseconds{750});
}

TEST(NmeaReplayPacing, StopAndWriteFailureEndThePlay) {
  const auto bursts = ParseReplayLog("$GPGGA,1\n$GPGGA,2\n", 1.0);
  FakeClock clock;
  clock.stopAfter = 1;
  RecordingSink sink(clock);
  EXPECT_EQ(PlayReplay(bursts, ReplayPlan{}, clock, sink), ReplayEnd::kStopped);
  EXPECT_EQ(sink.writes.size(), 1u);

  FakeClock clock2;
  RecordingSink failing(clock2);
  failing.fail = true;
  EXPECT_EQ(PlayReplay(bursts, ReplayPlan{}, clock2, failing), ReplayEnd::kWriteFailed);
  EXPECT_EQ(failing.writes.size(), 1u);

  FakeClock clock3;
  RecordingSink none(clock3);
  ReplayPlan loop;
  loop.loop = true;
  EXPECT_EQ(PlayReplay({}, loop, clock3, none), ReplayEnd::kEndOfInput);
}

// --- Command line ---

using test_support::Has;
using test_support::TempFolder;
using test_support::ToolRun;

ToolRun Replay(const std::vector<std::string>& args, const std::string& input = {}) {
  return test_support::RunTool(
      [](std::span<const std::string> a, std::istream& in, std::ostream& out, std::ostream& err) {
        return RunNmeaReplay(a, in, out, err);
      },
      args, input);
}

TEST(NmeaReplayCommandLine, BadCommandLinesAreUsageErrors) {
  for (const char* line :
       {"", "--port /dev/null --pty", "--link /tmp/x", "--port /dev/null --link /tmp/x",
        "--pty --rate 0", "--pty --rate -1", "--pty --rate 1001", "--pty --rate nan",
        "--pty --speed 0", "--pty --speed=fast", "--pty --speed inf", "--pty --baud 4801",
        "--pty --baud", "--pty=yes", "--pty --port=", "--pty --frobnicate"}) {
    std::vector<std::string> args;
    std::istringstream words(line);
    for (std::string word; words >> word;) {
      args.push_back(word);
    }
    const ToolRun run = Replay(args, "$GPGGA,1\n");
    EXPECT_EQ(run.status, kNmeaReplayUsage) << line;
    EXPECT_TRUE(Has(run.err, "Usage: nmea-replay")) << line;
    EXPECT_TRUE(run.out.empty());
  }
}

TEST(NmeaReplayCommandLine, HelpVersionAndEmptyInput) {
  const ToolRun help = Replay({"--help"});
  EXPECT_EQ(help.status, kNmeaReplayOk);
  EXPECT_TRUE(Has(help.out, "--pty"));
  EXPECT_TRUE(Has(Replay({"--version"}).out, "nmea-replay (Halvex)"));
  // No sentences: nothing is opened, no pty path is written.
  const ToolRun empty = Replay({"--pty", "--loop"}, "# only a comment\n");
  EXPECT_EQ(empty.status, kNmeaReplayOk);
  EXPECT_TRUE(empty.out.empty());
  EXPECT_TRUE(Has(empty.err, "no sentences"));
}

TEST(NmeaReplayCommandLine, UnreadableInputAndBadPortAreIoErrors) {
  TempFolder folder;
  const ToolRun missing = Replay({"--pty", folder.Path("missing.log")});
  EXPECT_EQ(missing.status, kNmeaReplayIoError);
  EXPECT_TRUE(Has(missing.err, "missing.log"));
  EXPECT_TRUE(missing.out.empty());  // the input is read before the pty exists
  EXPECT_EQ(Replay({"--pty", folder.Path("")}).status, kNmeaReplayIoError);  // a folder
  const std::string log = folder.Write("a.log", "$GPGGA,1\n");
  EXPECT_EQ(Replay({"--port", folder.Path("no-such-device"), log}).status, kNmeaReplayIoError);
  const ToolRun regular = Replay({"--port", log, log});
  EXPECT_EQ(regular.status, kNmeaReplayIoError);
  EXPECT_TRUE(Has(regular.err, "regular file"));
}

// --- Runs over real pseudo-terminals ---

// A stream buffer the tool writes its standard output to while a test reads
// it from another thread.
class SharedOutput : public std::streambuf {
 public:
  std::string WaitForLine(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, limit, [&] { return text_.find('\n') != std::string::npos; });
    const std::size_t end = text_.find('\n');
    return end == std::string::npos ? std::string() : text_.substr(0, end);
  }
  std::string Text() {
    std::lock_guard lock(mutex_);
    return text_;
  }

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      const char ch = traits_type::to_char_type(c);
      xsputn(&ch, 1);
    }
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    std::lock_guard lock(mutex_);
    text_.append(s, static_cast<std::size_t>(n));
    changed_.notify_all();
    return n;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string text_;
};

// The tool on a thread of its own, with --pty or --port.
class BackgroundReplay {
 public:
  BackgroundReplay(std::vector<std::string> args, std::string input = {})
      : args_(std::move(args)), in_(std::move(input)), out_(&output_) {
    result_ = std::async(std::launch::async,
                         [this] { return RunNmeaReplay(args_, in_, out_, err_, &stop_); });
  }
  ~BackgroundReplay() {
    stop_ = true;
    if (result_.valid()) {
      result_.wait();
    }
  }

  std::string SlavePath() { return output_.WaitForLine(10s); }
  void Stop() { stop_ = true; }
  // The exit status, or -1 when the run does not end within `limit`.
  int Wait(std::chrono::milliseconds limit = 20s) {
    if (result_.wait_for(limit) != std::future_status::ready) {
      return -1;
    }
    return result_.get();
  }
  std::string Err() const { return err_.str(); }

 private:
  std::vector<std::string> args_;
  std::istringstream in_;
  SharedOutput output_;
  std::ostream out_;
  std::ostringstream err_;
  std::atomic<bool> stop_{false};
  std::future<int> result_;
};

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  int Get() const { return fd_; }

 private:
  int fd_;
};

// Reads lines from `fd` until the other end hangs up, `count` lines have
// come (when given), or `limit` passes.
std::vector<std::string> ReadLines(int fd, std::chrono::milliseconds limit,
                                   std::size_t count = std::size_t(-1)) {
  std::string text;
  std::vector<std::string> lines;
  const auto end = std::chrono::steady_clock::now() + limit;
  while (lines.size() < count && std::chrono::steady_clock::now() < end) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, 50) <= 0) {
      continue;
    }
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) {
      if (n < 0 && errno == EAGAIN) {
        continue;
      }
      break;  // hung up
    }
    text.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t pos; (pos = text.find('\n')) != std::string::npos;) {
      lines.push_back(text.substr(0, pos + 1));
      text.erase(0, pos + 1);
    }
  }
  // One read may bring more lines than were asked for when the machine is
  // busy; the caller gets the first `count`, whole lines before a partial one.
  if (!text.empty() && lines.size() < count) {
    lines.push_back(text);
  }
  if (lines.size() > count) {
    lines.resize(count);
  }
  return lines;
}

constexpr std::string_view kStampedLog =
    "# a short recording\r\n"
    "05.06.2024 235959000 $GPGGA,235959.00,5957.0,N,01043.0,E,1,08,0.9,12.0,M,,M,,*00\r\n"
    "05.06.2024 235959000 $GPRMC,235959.00,A,5957.0,N,01043.0,E,0.0,0.0,050624,,,A*00\r\n"
    "05.06.2024 235959500 $GPGSV,1,1,01,05,40,120,45*00\r\n"
    "06.06.2024 000000000 $GPGGA,000000.00,5957.0,N,01043.0,E,1,08,0.9,12.0,M,,M,,*00\r\n"
    "06.06.2024 000000000 $GPRMC,000000.00,A,5957.0,N,01043.0,E,0.0,0.0,060624,,,A*00\r\n"
    "\r\n"
    "06.06.2024 000001000 $GPGGA,000001.00,5957.0,N,01043.0,E,1,08,0.9,12.0,M,,M,,*00\r\n"
    "06.06.2024 000001000 !AIVDM,1,1,,A,13u?etPv2;0n:dDPwUM1U1Cb069D,0*00\r\n"
    "06.06.2024 000002000 $GPGGA,000002.00,5957.0,N,01043.0,E,1,08,0.9,12.0,M,,M,,*00\r\n";

std::vector<std::string> ExpectedLines(std::string_view log) {
  std::vector<std::string> lines;
  for (const std::string& sentence : Sentences(ParseReplayLog(log, 1.0))) {
    lines.push_back(sentence + "\r\n");
  }
  return lines;
}

TEST(NmeaReplayPty, PlaysAStampedLogToAReaderOfTheSlave) {
  const auto started = std::chrono::steady_clock::now();
  BackgroundReplay replay({"--pty", "--speed", "20"}, std::string(kStampedLog));
  const std::string path = replay.SlavePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  Fd slave(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK));
  ASSERT_GE(slave.Get(), 0);
  // Everything, in order, each once, until the pty goes away at the end.
  const std::vector<std::string> lines = ReadLines(slave.Get(), 20s);
  EXPECT_EQ(lines, ExpectedLines(kStampedLog));
  EXPECT_EQ(replay.Wait(), kNmeaReplayOk);
  EXPECT_EQ(replay.Err(), "");
  // Three seconds of log at twenty times the speed.
  EXPECT_GE(std::chrono::steady_clock::now() - started, 140ms);
}

TEST(NmeaReplayPty, LinkFollowsTheSlaveAndGoesAtTheEnd) {
  TempFolder folder;
  const std::string link = folder.Path("gps");
  std::filesystem::create_symlink("/dev/null", link);  // an old link is replaced
  BackgroundReplay replay({"--pty", "--loop", "--rate", "50", "--link", link},
                          "$GPGGA,1\n$GPGGA,2\n");
  const std::string path = replay.SlavePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);
  // Opened through the link; the loop plays both sentences again and again.
  {
    Fd slave(::open(link.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK));
    ASSERT_GE(slave.Get(), 0);
    const std::vector<std::string> lines = ReadLines(slave.Get(), 10s, 5);
    EXPECT_EQ(lines, (std::vector<std::string>{"$GPGGA,1\r\n", "$GPGGA,2\r\n", "$GPGGA,1\r\n",
                                               "$GPGGA,2\r\n", "$GPGGA,1\r\n"}));
  }
  // A reader going away does not end the replay; the next one gets sentences
  // (after the rest of what the first one read only in part).
  {
    Fd slave(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK));
    ASSERT_GE(slave.Get(), 0);
    const std::vector<std::string> lines = ReadLines(slave.Get(), 10s, 4);
    ASSERT_EQ(lines.size(), 4u);
    for (std::size_t i = 1; i < lines.size(); ++i) {
      EXPECT_TRUE(lines[i] == "$GPGGA,1\r\n" || lines[i] == "$GPGGA,2\r\n") << lines[i];
      EXPECT_NE(lines[i], lines[i - 1]);
    }
  }
  replay.Stop();
  EXPECT_EQ(replay.Wait(), kNmeaReplayOk);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(NmeaReplayPty, LinkNeverReplacesAFile) {
  TempFolder folder;
  const std::string file = folder.Write("gps", "keep me\n");
  const ToolRun run = Replay({"--pty", "--link", file}, "$GPGGA,1\n");
  EXPECT_EQ(run.status, kNmeaReplayIoError);
  EXPECT_TRUE(Has(run.err, "not a symbolic link"));
  EXPECT_TRUE(run.out.empty());
  std::ifstream kept(file);
  std::string text;
  std::getline(kept, text);
  EXPECT_EQ(text, "keep me");
}

TEST(NmeaReplayPty, WithoutAReaderBurstsAreDroppedAndTimeIsKept) {
  // About 200 kB at 100 000 bursts a second: far more than the pty holds.
  std::string log;
  for (int i = 0; i < 3000; ++i) {
    log += "$GPGGA,120000.00,5957.0000,N,01043.0000,E,1,08,0.9,12.0,M,40.0,M,," +
           std::to_string(i) + "*00\n";
  }
  const auto started = std::chrono::steady_clock::now();
  BackgroundReplay replay({"--pty", "--rate", "1000", "--speed", "100"}, log);
  ASSERT_FALSE(replay.SlavePath().empty());
  ASSERT_EQ(replay.Wait(20s), kNmeaReplayOk) << "the replay blocked on a full pty";
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
  const std::string err = replay.Err();
  const std::size_t at = err.find("dropped ");
  ASSERT_NE(at, std::string::npos) << err;
  const long dropped = std::strtol(err.c_str() + at + 8, nullptr, 10);
  EXPECT_GT(dropped, 0);
  EXPECT_LT(dropped, 3000);
  EXPECT_TRUE(Has(err, " of 3000 sentences")) << err;
}

TEST(NmeaReplayPty, WritesToAnExistingPortInRawModeAtItsBaud) {
  Fd master(::posix_openpt(O_RDWR | O_NOCTTY));
  ASSERT_GE(master.Get(), 0);
  ASSERT_EQ(::grantpt(master.Get()), 0);
  ASSERT_EQ(::unlockpt(master.Get()), 0);
  const std::string path = ::ptsname(master.Get());
  Fd held(::open(path.c_str(), O_RDWR | O_NOCTTY));  // keeps the settings for the check
  ASSERT_GE(held.Get(), 0);
  const ToolRun run = Replay({"--port", path, "--baud", "9600", "--rate", "50", "-"},
                             "$GPGGA,1*00\n$GPRMC,1*00\n$GPGGA,2*00\r\n");
  EXPECT_EQ(run.status, kNmeaReplayOk) << run.err;
  ASSERT_EQ(::fcntl(master.Get(), F_SETFL, O_NONBLOCK), 0);
  // Raw mode: CR LF arrives as written, not as CR CR LF.
  EXPECT_EQ(ReadLines(master.Get(), 2s, 3),
            (std::vector<std::string>{"$GPGGA,1*00\r\n", "$GPRMC,1*00\r\n", "$GPGGA,2*00\r\n"}));
  termios mode{};
  ASSERT_EQ(::tcgetattr(held.Get(), &mode), 0);
  EXPECT_EQ(::cfgetospeed(&mode), static_cast<speed_t>(B9600));
  EXPECT_EQ(mode.c_lflag & (ICANON | ECHO), 0u);
  EXPECT_EQ(mode.c_oflag & OPOST, 0u);
}

// The executable itself: a signal ends a looping replay cleanly.
TEST(NmeaReplayPty, SignalStopsTheExecutableAndRemovesTheLink) {
  TempFolder folder;
  const std::string log = folder.Write("a.log", "$GPGGA,1\n$GPGGA,2\n");
  const std::string link = folder.Path("gps");
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  Fd readEnd(pipeFds[0]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
  std::vector<std::string> args = {NMEA_REPLAY_EXECUTABLE, "--pty", "--loop", "--link", link, log};
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& a : args) {
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  ASSERT_EQ(spawned, 0);

  const std::vector<std::string> first = ReadLines(readEnd.Get(), 10s, 1);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(std::filesystem::read_symlink(link).string() + "\n", first[0]);
  ::kill(pid, SIGTERM);
  int status = 0;
  pid_t waited = 0;
  for (int i = 0; i < 200 && (waited = ::waitpid(pid, &status, WNOHANG)) == 0; ++i) {
    std::this_thread::sleep_for(50ms);
  }
  if (waited == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    FAIL() << "nmea-replay did not stop on SIGTERM";
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kNmeaReplayOk);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

}  // namespace
}  // namespace halvex::tools
