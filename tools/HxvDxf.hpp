// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// hxv-dxf: the chart's drawing between project files (.hxv) and DXF.
//
//   hxv-dxf info FILE                 one JSON object describing the file
//   hxv-dxf export PROJECT.hxv OUT.dxf
//   hxv-dxf import IN.dxf OUT.hxv     skipped entities reported on stderr
//
// See the --help text in HxvDxf.cpp.

#include <iosfwd>
#include <span>
#include <string>

namespace halvex::tools {

// Exit statuses of hxv-dxf.
inline constexpr int kHxvDxfOk = 0;
inline constexpr int kHxvDxfFailed = 1;  // a file refused, or not written
inline constexpr int kHxvDxfUsage = 2;   // bad command line

// Runs the tool on `args` (the command line without the program name).
// `in` is not read; output goes to `out`, diagnostics and usage errors to
// `err`.
int RunHxvDxf(std::span<const std::string> args, std::istream& in, std::ostream& out,
              std::ostream& err);

// The same for main()'s arguments.
int RunHxvDxf(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err);

// `text` as a JSON string, quotes included.
std::string HxvDxfJsonString(const std::string& text);

}  // namespace halvex::tools
