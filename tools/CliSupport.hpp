// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Plumbing the command-line tools have in common: main()'s arguments as
// strings, numbers within a range, walking the words of a command line, the
// version line, the loop over the input files (or standard input), and
// main()'s last-resort error report.

#include <charconv>
#include <functional>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace halvex::tools::cli {

// The arguments of main() without the program name.
std::vector<std::string> Arguments(int argc, char** argv);

// Reads all of `text` as one number from `low` to `high` into `value`; false
// (and `value` unchanged) when it is not such a number. NaN is refused.
template <typename Number>
bool ParseNumber(std::string_view text, Number low, Number high, Number& value) {
  Number parsed{};
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, parsed);
  // The comparisons are false for NaN, which is refused with them.
  if (text.empty() || ec != std::errc() || ptr != end || !(parsed >= low && parsed <= high)) {
    return false;
  }
  value = parsed;
  return true;
}

enum class ParseOutcome { kRun, kHelp, kVersion, kUsageError };

struct ParseResult {
  ParseOutcome outcome = ParseOutcome::kRun;
  std::string error;  // for kUsageError
};

// Walks the words of a command line. "--" ends the options: every word after
// it is a file, and so are "-", the empty word and any word not starting
// with '-'; files are appended to `files` as they come. "--help" and "-h"
// ask for help. Every other word is an option, which may carry its value
// after '=' ("--rate=5") or take the next word as its value.
class OptionReader {
 public:
  enum class Kind { kEnd, kHelp, kOption };

  OptionReader(std::span<const std::string> args, std::vector<std::string>& files)
      : args_(args), files_(files) {}

  // Moves to the next option or request for help, taking in the files on
  // the way.
  Kind Next();
  // The whole word of the current option.
  const std::string& Word() const { return args_[index_]; }
  // The option's name: its word up to any '=', dashes included.
  const std::string& Name() const { return name_; }
  // Whether the option's word holds a value after '='.
  bool HasInlineValue() const { return inlineValue_.has_value(); }
  // The option's value: the text after '=', or else the next word, which
  // is then used up. False when there is neither.
  bool TakeValue(std::string& value);

 private:
  std::span<const std::string> args_;
  std::vector<std::string>& files_;
  std::size_t index_ = 0;  // the current word
  std::size_t next_ = 0;   // the word Next() looks at
  bool optionsEnded_ = false;
  std::string name_;
  std::optional<std::string> inlineValue_;
};

// Writes "PROGRAM (Halvex) VERSION" and flushes.
void WriteVersion(std::ostream& out, std::string_view program);

// What reads the inputs of a tool, one stream after the other.
class InputConsumer {
 public:
  virtual ~InputConsumer() = default;
  // Reads all of `in`, called `name` in messages. False when it could not
  // be read to its end (the consumer has said so).
  virtual bool ProcessStream(std::istream& in, std::string_view name) = 0;
  // Writes out what waits to be written.
  virtual void Flush() = 0;
  // Whether writing the output has failed (no more inputs are read then).
  virtual bool OutputFailed() const = 0;
};

// Hands `consumer` each input in turn: the files named in `files`, standard
// input `in` for "-" and when no file is named. A file that cannot be opened
// (or is a directory) is reported on `err` as "PROGRAM: cannot read 'FILE':
// REASON" after the output so far is flushed, and the next one is read.
// Stops early when the output fails. False when an input could not be read.
bool ProcessInputs(std::span<const std::string> files, std::istream& in, std::string_view program,
                   std::ostream& err, InputConsumer& consumer);

// Returns what `run` returns. An exception escaping it is reported on
// standard error as "PROGRAM: WHAT" (standard output flushed first), and
// `failureStatus` returned.
int RunReportingErrors(std::string_view program, int failureStatus,
                       const std::function<int()>& run);

}  // namespace halvex::tools::cli
