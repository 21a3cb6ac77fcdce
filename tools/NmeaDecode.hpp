// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// nmea-decode: a thin front end over the NMEA receiver, for checking
// receivers and logs. It feeds files or standard input to one receiver in
// chunks and writes every event the receiver fires as one JSON object per
// line, in firing order, optionally followed by the receiver's state after
// each decoded sentence. See the --help text in NmeaDecode.cpp.

#include <cstddef>
#include <iosfwd>
#include <span>
#include <string>

namespace halvex::tools {

// Exit statuses of nmea-decode.
inline constexpr int kNmeaDecodeOk = 0;
inline constexpr int kNmeaDecodeUnreadable = 1;  // an input could not be read or output written
inline constexpr int kNmeaDecodeUsage = 2;       // bad command line

// --chunk accepts 1 to this many bytes.
inline constexpr std::size_t kNmeaDecodeMaxChunk = std::size_t{1} << 24;

// Runs the tool on `args` (the command line without the program name).
// Files named in `args` are opened by name; "-" and the no-file case read
// `in`. Events go to `out`, diagnostics and usage errors to `err`.
int RunNmeaDecode(std::span<const std::string> args, std::istream& in, std::ostream& out,
                  std::ostream& err);

// The same for main()'s arguments.
int RunNmeaDecode(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err);

// A real as the tool writes it: what printf's "%.17Lg" writes in the "C"
// locale, or "null" when the value is not finite.
std::string NmeaDecodeReal(long double value);

}  // namespace halvex::tools
