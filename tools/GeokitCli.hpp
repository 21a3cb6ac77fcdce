// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// geokit-cli: a batch front end over the geodesy core. Each subcommand reads
// one input text per line and writes, per line, the text the core operation
// returns for it, so scripts can convert point files and compare any line's
// result with the operation itself. See the --help texts in GeokitCli.cpp.

#include <iosfwd>
#include <span>
#include <string>

namespace halvex::tools {

// Exit statuses of the tool.
inline constexpr int kExitOk = 0;           // every line gave a result (or help was shown)
inline constexpr int kExitFailedLines = 1;  // a line had no result, or an input was unreadable
inline constexpr int kExitUsage = 2;        // bad command line

// Lines longer than this are not converted: they get the subcommand's failure
// text and count as failed, and the rest of the line is skipped unread, so
// memory stays bounded whatever the input holds.
inline constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;

// Runs the tool on `args` (the command line without the program name).
// Input files named in `args` are opened by name; "-" and the no-file case
// read `in`. Results go to `out`, diagnostics and usage errors to `err`.
// Output is buffered and written out whenever `in` has no input ready, so
// a program feeding the tool one line at a time gets each answer back.
int RunGeokitCli(std::span<const std::string> args, std::istream& in, std::ostream& out,
                 std::ostream& err);

// The same for main()'s arguments.
int RunGeokitCli(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace halvex::tools
