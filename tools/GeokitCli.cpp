// SPDX-License-Identifier: GPL-3.0-or-later
//
// The per-line loop of geokit-cli: reading, converting in batches on a few
// threads, writing in order, and reporting failed lines. The subcommand
// table and help texts, the options and the conversion of one line have
// files of their own (GeokitCommands, GeokitOptions, GeokitConvert).
//
// The loop reads lines with istream::getline into one fixed buffer of
// kMaxLineBytes + 1 bytes, so a file without line ends cannot make memory
// grow; the rest of an over-long line is skipped with ignore(). Results are
// collected in a string and written out in blocks of kOutputBlock bytes, and
// also whenever the input stream has nothing buffered (the next read may
// wait for a writer on the other end of a pipe, which may be waiting for our
// answers).

#include "tools/GeokitCli.hpp"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <functional>
#include <istream>
#include <limits>
#include <mutex>
#include <ostream>
#include <string_view>
#include <thread>
#include <vector>

#include "tools/CliSupport.hpp"
#include "tools/GeokitCommands.hpp"
#include "tools/GeokitConvert.hpp"
#include "tools/GeokitLsqCommands.hpp"
#include "tools/GeokitOptions.hpp"
#include "tools/ReadPoints.hpp"

namespace halvex::tools {
namespace {

using cli::ParseOutcome;
using geokit::Converter;
using geokit::kProgram;
using geokit::LineFailure;
using geokit::LineResult;
using geokit::Settings;

constexpr std::size_t kOutputBlock = std::size_t{64} << 10;
constexpr std::size_t kQuotedLineBytes = 60;

// Lines are converted in batches, in parallel when there are enough of them.
// A batch ends at kBatchLines lines, kBatchBytes bytes, or when the input has
// nothing more ready (so an interactive writer gets each answer at once).
constexpr std::size_t kBatchLines = 4096;
constexpr std::size_t kBatchBytes = std::size_t{4} << 20;
constexpr std::size_t kLinesPerThreadAtLeast = 32;
constexpr std::size_t kKeptLineCapacity = std::size_t{64} << 10;

bool IsPassThrough(std::string_view line) {
  const std::size_t first = line.find_first_not_of(" \t\v\f\r");
  return first == std::string_view::npos || line[first] == '#';
}

// The line as it appears in a diagnostic: at most kQuotedLineBytes bytes,
// a tab shown as "\t", other control characters and bytes outside ASCII as
// '?'.
std::string Quoted(std::string_view line) {
  std::string text = "\"";
  for (std::size_t i = 0; i < line.size() && i < kQuotedLineBytes; ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    if (c == '\t') {
      text += "\\t";
    } else {
      text += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
    }
  }
  text += line.size() > kQuotedLineBytes ? "...\"" : "\"";
  return text;
}

// The report of a failed line.
std::string FailureReport(LineFailure failure, std::string_view line) {
  switch (failure) {
    case LineFailure::kLatitudeRange:
      return "latitude beyond 90 degrees in " + Quoted(line);
    case LineFailure::kResultOutOfRange:
      return "no finite result for " + Quoted(line);
    case LineFailure::kNoResult:
    case LineFailure::kNone:
      break;
  }
  return "no result for " + Quoted(line);
}

// Runs one part of a task on each of a few threads: the calling thread takes
// part 0, helper threads (started when first needed, kept until the end)
// take the others. Run() returns when every part is done and rethrows the
// first exception a part raised.
class WorkerPool {
 public:
  WorkerPool() = default;
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  ~WorkerPool() {
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) {
      thread.join();
    }
  }

  void Run(unsigned parts, const std::function<void(unsigned)>& task) {
    while (threads_.size() + 1 < parts) {
      const auto index = static_cast<unsigned>(threads_.size());
      threads_.emplace_back([this, index] { Loop(index + 1); });
    }
    {
      const std::lock_guard lock(mutex_);
      task_ = &task;
      parts_ = parts;
      pending_ = parts - 1;
      error_ = nullptr;
      ++generation_;
    }
    wake_.notify_all();
    RunPart(task, 0);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
    if (error_) {
      std::rethrow_exception(error_);
    }
  }

 private:
  void Loop(unsigned part) {
    std::uint64_t seen = 0;
    for (;;) {
      const std::function<void(unsigned)>* task = nullptr;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
        if (stop_) {
          return;
        }
        seen = generation_;
        if (part >= parts_) {
          continue;
        }
        task = task_;
      }
      RunPart(*task, part);
      const std::lock_guard lock(mutex_);
      if (--pending_ == 0) {
        done_.notify_one();
      }
    }
  }

  void RunPart(const std::function<void(unsigned)>& task, unsigned part) {
    try {
      task(part);
    } catch (...) {
      const std::lock_guard lock(mutex_);
      if (!error_) {
        error_ = std::current_exception();
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::vector<std::thread> threads_;
  const std::function<void(unsigned)>* task_ = nullptr;
  unsigned parts_ = 0;
  unsigned pending_ = 0;
  std::uint64_t generation_ = 0;
  std::exception_ptr error_;
  bool stop_ = false;
};

unsigned ThreadCount(const Settings& s) {
  if (s.threads > 0) {
    return static_cast<unsigned>(s.threads);
  }
  const unsigned processors = std::thread::hardware_concurrency();
  return std::clamp(processors, 1U, 8U);
}

class Runner : public cli::InputConsumer {
 public:
  Runner(const Settings& s, std::ostream& out, std::ostream& err)
      : s_(s), threads_(ThreadCount(s)), out_(out), err_(err), line_(kMaxLineBytes + 1) {
    output_.reserve(kOutputBlock + 256);
    for (unsigned i = 0; i < threads_; ++i) {
      converters_.emplace_back(s);
    }
    batch_.resize(kBatchLines);
    results_.resize(kBatchLines);
  }

  // Converts every line of `in`. False when the stream could not be read to
  // its end or the output could not be written.
  bool ProcessStream(std::istream& in, std::string_view name) override {
    std::uint64_t lineNumber = 0;
    bool end = false;
    bool readError = false;
    while (!end && !outputFailed_) {
      if (in.rdbuf()->in_avail() <= 0) {
        Flush();  // the next read may wait for a writer that waits for us
      }
      used_ = 0;
      std::size_t bytes = 0;
      while (used_ < kBatchLines && bytes < kBatchBytes) {
        if (used_ > 0 && in.rdbuf()->in_avail() <= 0) {
          break;  // answer the lines at hand before waiting for more
        }
        const ReadOutcome outcome = ReadLine(in, lineNumber);
        if (outcome == ReadOutcome::kEnd || outcome == ReadOutcome::kError) {
          end = true;
          readError = outcome == ReadOutcome::kError;
          break;
        }
        bytes += batch_[used_ - 1].text.size();
      }
      ConvertBatch();
      EmitBatch(name);
    }
    if (readError) {
      Flush();
      err_ << kProgram << ": " << name << ": read error\n";
      return false;
    }
    Flush();
    return !outputFailed_;
  }

  bool AnyLineFailed() const { return anyLineFailed_; }
  bool OutputFailed() const override { return outputFailed_; }

  void Flush() override {
    if (!output_.empty() && !outputFailed_) {
      out_.write(output_.data(), static_cast<std::streamsize>(output_.size()));
    }
    output_.clear();
    out_.flush();
    if (!out_ && !outputFailed_) {
      outputFailed_ = true;
      err_ << kProgram << ": write error on standard output\n";
    }
  }

 private:
  enum class Kind { kConvert, kPassThrough, kTooLong };
  struct Entry {
    Kind kind = Kind::kConvert;
    std::uint64_t lineNumber = 0;
    std::string text;
  };
  enum class ReadOutcome { kLine, kEnd, kError };

  // Reads one line into the next entry of the batch.
  ReadOutcome ReadLine(std::istream& in, std::uint64_t& lineNumber) {
    in.getline(line_.data(), static_cast<std::streamsize>(line_.size()));
    const std::streamsize count = in.gcount();
    if (in.bad()) {
      return ReadOutcome::kError;
    }
    Entry& entry = batch_[used_];
    if (in.fail()) {
      if (count == 0) {
        return ReadOutcome::kEnd;
      }
      // The buffer filled up before the line ended.
      in.clear();
      in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
      entry.kind = Kind::kTooLong;
      entry.lineNumber = ++lineNumber;
      entry.text.clear();
      ++used_;
      return ReadOutcome::kLine;
    }
    // Without eof the line end was read and counted.
    std::string_view line(line_.data(), static_cast<std::size_t>(in.eof() ? count : count - 1));
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    entry.kind = IsPassThrough(line) ? Kind::kPassThrough : Kind::kConvert;
    entry.lineNumber = ++lineNumber;
    if (entry.text.capacity() > kKeptLineCapacity && line.size() <= kKeptLineCapacity) {
      std::string().swap(entry.text);  // do not keep a long line's memory
    }
    entry.text.assign(line);
    ++used_;
    return ReadOutcome::kLine;
  }

  void ConvertRange(Converter& converter, std::size_t first, std::size_t last) {
    for (std::size_t i = first; i < last; ++i) {
      if (batch_[i].kind == Kind::kConvert) {
        results_[i] = converter.Convert(batch_[i].text);
      }
    }
  }

  void ConvertBatch() {
    const std::size_t parts =
        std::min<std::size_t>(threads_, std::max<std::size_t>(1, used_ / kLinesPerThreadAtLeast));
    if (parts <= 1) {
      ConvertRange(converters_[0], 0, used_);
      return;
    }
    const std::size_t share = (used_ + parts - 1) / parts;
    pool_.Run(static_cast<unsigned>(parts), [&](unsigned part) {
      const std::size_t first = std::min(used_, part * share);
      ConvertRange(converters_[part], first, std::min(used_, first + share));
    });
  }

  void EmitBatch(std::string_view name) {
    for (std::size_t i = 0; i < used_ && !outputFailed_; ++i) {
      const Entry& entry = batch_[i];
      switch (entry.kind) {
        case Kind::kPassThrough:
          Emit(entry.text);
          break;
        case Kind::kTooLong:
          Emit(geokit::FailureText(s_.command->op));
          Report(name, entry.lineNumber,
                 "line longer than " + std::to_string(kMaxLineBytes) + " bytes");
          break;
        case Kind::kConvert:
          Emit(results_[i].text);
          if (!results_[i].ok()) {
            Report(name, entry.lineNumber, FailureReport(results_[i].failure, entry.text));
          }
          break;
      }
    }
  }

  void Emit(std::string_view text) {
    output_ += text;
    output_ += '\n';
    if (output_.size() >= kOutputBlock) {
      out_.write(output_.data(), static_cast<std::streamsize>(output_.size()));
      output_.clear();
      if (!out_ && !outputFailed_) {
        outputFailed_ = true;
        err_ << kProgram << ": write error on standard output\n";
      }
    }
  }

  void Report(std::string_view name, std::uint64_t lineNumber, const std::string& what) {
    anyLineFailed_ = true;
    // Results written first, so the two streams interleave in order when
    // they go to the same place.
    Flush();
    err_ << kProgram << ": " << name << ':' << lineNumber << ": " << what << '\n';
  }

  const Settings& s_;
  const unsigned threads_;
  std::vector<Converter> converters_;  // one per thread: each keeps its own scratch text
  WorkerPool pool_;
  std::ostream& out_;
  std::ostream& err_;
  std::vector<char> line_;
  std::vector<Entry> batch_;
  std::vector<LineResult> results_;
  std::size_t used_ = 0;  // entries of batch_ filled
  std::string output_;
  bool anyLineFailed_ = false;
  bool outputFailed_ = false;
};

int UsageError(std::ostream& err, const Settings& s, const std::string& message) {
  err << kProgram << ": " << message << '\n';
  if (s.command != nullptr) {
    geokit::WriteUsageLine(err, *s.command);
    err << "Try '" << kProgram << ' ' << s.command->name << " --help' for more information.\n";
  } else {
    err << "Usage: " << kProgram << " SUBCOMMAND [OPTIONS] [FILE...]\n"
        << "Try '" << kProgram << " --help' for more information.\n";
  }
  return kExitUsage;
}

}  // namespace

int RunGeokitCli(std::span<const std::string> args, std::istream& in, std::ostream& out,
                 std::ostream& err) {
  if (const std::optional<int> status = RunGeokitLsqCommand(args, out, err)) {
    return *status;
  }
  if (!args.empty() && args[0] == "read-points") {
    return RunReadPoints(args.subspan(1), in, out, err);
  }
  Settings settings;
  const cli::ParseResult parsed = geokit::ParseArguments(args, settings);
  switch (parsed.outcome) {
    case ParseOutcome::kUsageError:
      return UsageError(err, settings, parsed.error);
    case ParseOutcome::kHelp:
      if (settings.command != nullptr) {
        geokit::WriteSubcommandHelp(out, *settings.command);
      } else {
        geokit::WriteGeneralHelp(out);
      }
      out.flush();
      return kExitOk;
    case ParseOutcome::kVersion:
      cli::WriteVersion(out, kProgram);
      return kExitOk;
    case ParseOutcome::kRun:
      break;
  }

  Runner runner(settings, out, err);
  const bool inputsRead = cli::ProcessInputs(settings.files, in, kProgram, err, runner);
  runner.Flush();
  if (!inputsRead || runner.AnyLineFailed() || runner.OutputFailed()) {
    return kExitFailedLines;
  }
  return kExitOk;
}

int RunGeokitCli(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err) {
  return RunGeokitCli(cli::Arguments(argc, argv), in, out, err);
}

}  // namespace halvex::tools
