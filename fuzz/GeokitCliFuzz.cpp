// SPDX-License-Identifier: GPL-3.0-or-later
//
// Fuzz entry point over geokit-cli: its option values (the ellipsoid, datum
// pair, projection and word options, checked at start) and the input lines
// of the subcommand they set up.
//
// An input is a subcommand name on the first line, then one option per line
// as "name=value" (run as "--name=value", so no word is ever taken for a
// file name), then an empty line and the text that goes to standard input.
// The run always uses one thread.
//
// What a run must keep to, else the entry point aborts:
//   - the exit status is 0, 1 or 2;
//   - a refused command line (2) writes nothing to standard output;
//   - a run writes one output line per input line, and reports nothing
//     when its status is 0.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/GeokitCli.hpp"

namespace {

[[noreturn]] void Broken(const char* what, const std::string& detail) {
  std::fprintf(stderr, "broken promise: %s: %s\n", what, detail.c_str());
  std::abort();
}

std::size_t LineCount(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) {
    count += c == '\n' ? 1 : 0;
  }
  return count + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args;
  bool first = true;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.empty()) {
      break;
    }
    if (first) {
      // The subcommand, or "help", "--help", "--version"; never a file.
      args.emplace_back(line);
      first = false;
    } else {
      args.push_back("--" + std::string(line));
    }
  }
  if (args.empty()) {
    return 0;
  }
  args.emplace_back("--threads=1");

  // Input lines longer than the tool's limit are skipped unread; keep the
  // inputs small enough that the check below stays simple.
  const std::string input(rest.substr(0, std::min<std::size_t>(rest.size(), 1 << 16)));
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  const int status = halvex::tools::RunGeokitCli(args, in, out, err);
  const std::string output = out.str();
  const std::string detail = args[0] + " | " + input.substr(0, 200);
  if (status < 0 || status > 2) {
    Broken("exit status out of range", detail);
  }
  if (status == halvex::tools::kExitUsage) {
    if (!output.empty()) {
      Broken("output after a usage error", detail);
    }
    return 0;
  }
  const bool ran = args[0] != "help" && args[0] != "--help" && args[0] != "-h" &&
                   args[0] != "--version" && output.rfind("Usage:", 0) != 0;
  if (ran && LineCount(output) != LineCount(input)) {
    Broken("not one output line per input line", detail);
  }
  if (status == halvex::tools::kExitOk && !err.str().empty()) {
    Broken("a report with exit status 0", detail + " | " + err.str());
  }
  return 0;
}
