// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The geokit-cli subcommands of the least-squares pages and the log merge:
//   affine | similarity | helmert-estimate --control FILE
//   affine-apply | similarity-apply --params "..." [--inverse] FILE
//   merge --gps FILE --sensor FILE [...]
// Each reads whole files (not lines of input) and runs the same functions
// as the geodesy tools' pages.

#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvex::tools {

// Runs the subcommand args[0] when it is one of these; nullopt otherwise.
std::optional<int> RunGeokitLsqCommand(std::span<const std::string> args, std::ostream& out,
                                       std::ostream& err);

// One line per subcommand for the general help: two blanks, the name padded
// to 19 characters, the summary.
void WriteGeokitLsqSummaries(std::ostream& out);

namespace lsq_cli {

// What the subcommands share: the option walk and the exit statuses.
struct Options {
  std::vector<std::string> files;
  std::vector<std::pair<std::string, std::string>> values;  // --name, value
  std::vector<std::string> flags;                           // --name
  bool help = false;
};

// Splits the command line into options with values (`valued`, names with
// their dashes), flags (`flags`) and files. Returns the error message, empty
// when all is well.
std::string ParseOptions(std::span<const std::string> args,
                         std::initializer_list<std::string_view> valued,
                         std::initializer_list<std::string_view> flags, Options& options);

// The value of the last occurrence of `name`, or nullopt.
std::optional<std::string> Value(const Options& options, std::string_view name);
bool Flag(const Options& options, std::string_view name);

// "geokit-cli: MESSAGE", the usage line and a pointer to --help; returns 2.
int UsageError(std::ostream& err, std::string_view command, std::string_view synopsis,
               std::string_view message);

// A decimal count from 0 to 10, or an error message.
std::string ParseDecimals(std::string_view name, const std::string& text, int& value);

int RunEstimate(std::string_view command, std::span<const std::string> args, std::ostream& out,
                std::ostream& err);
int RunApply(std::string_view command, std::span<const std::string> args, std::ostream& out,
             std::ostream& err);
int RunMerge(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace lsq_cli
}  // namespace halvex::tools
