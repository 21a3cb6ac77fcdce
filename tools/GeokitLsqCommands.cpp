// SPDX-License-Identifier: GPL-3.0-or-later
//
// Dispatch and option handling of the least-squares and merge subcommands.

#include "tools/GeokitLsqCommands.hpp"

#include <ostream>

#include "geodesy/OutputPrecision.hpp"
#include "tools/CliSupport.hpp"
#include "tools/GeokitCli.hpp"

namespace halvex::tools {

namespace {

struct Command {
  std::string_view name;
  std::string_view summary;
};

constexpr Command kCommands[] = {
    {"affine", "2-D affine parameters from control points, with the report"},
    {"similarity", "2-D similarity parameters from control points, with the report"},
    {"helmert-estimate", "seven datum parameters from ECEF control points, with the report"},
    {"affine-apply", "a plane point file through affine parameters"},
    {"similarity-apply", "a plane point file through similarity parameters"},
    {"merge", "echo-sounder log merged with the GPS log"},
};

}  // namespace

std::optional<int> RunGeokitLsqCommand(std::span<const std::string> args, std::ostream& out,
                                       std::ostream& err) {
  if (args.empty()) {
    return std::nullopt;
  }
  const std::string_view name = args[0];
  const std::span<const std::string> rest = args.subspan(1);
  if (name == "affine" || name == "similarity" || name == "helmert-estimate") {
    return lsq_cli::RunEstimate(name, rest, out, err);
  }
  if (name == "affine-apply" || name == "similarity-apply") {
    return lsq_cli::RunApply(name, rest, out, err);
  }
  if (name == "merge") {
    return lsq_cli::RunMerge(rest, out, err);
  }
  return std::nullopt;
}

void WriteGeokitLsqSummaries(std::ostream& out) {
  for (const Command& command : kCommands) {
    out << "  " << command.name;
    for (std::size_t i = command.name.size(); i < 19; ++i) {
      out << ' ';
    }
    out << command.summary << '\n';
  }
}

namespace lsq_cli {

std::string ParseOptions(std::span<const std::string> args,
                         std::initializer_list<std::string_view> valued,
                         std::initializer_list<std::string_view> flags, Options& options) {
  using Kind = cli::OptionReader::Kind;
  cli::OptionReader reader(args, options.files);
  for (Kind kind = reader.Next(); kind != Kind::kEnd; kind = reader.Next()) {
    if (kind == Kind::kHelp) {
      options.help = true;
      return {};
    }
    const std::string& name = reader.Name();
    bool known = false;
    for (std::string_view v : valued) {
      if (name == v) {
        std::string value;
        if (!reader.TakeValue(value)) {
          return "option '" + name + "' needs a value";
        }
        options.values.emplace_back(name, value);
        known = true;
      }
    }
    for (std::string_view f : flags) {
      if (name == f) {
        if (reader.HasInlineValue()) {
          return "option '" + name + "' takes no value";
        }
        options.flags.push_back(name);
        known = true;
      }
    }
    if (!known) {
      return "unknown option '" + reader.Word() + "'";
    }
  }
  return {};
}

std::optional<std::string> Value(const Options& options, std::string_view name) {
  std::optional<std::string> value;
  for (const auto& [n, v] : options.values) {
    if (n == name) {
      value = v;
    }
  }
  return value;
}

bool Flag(const Options& options, std::string_view name) {
  for (const std::string& f : options.flags) {
    if (f == name) {
      return true;
    }
  }
  return false;
}

int UsageError(std::ostream& err, std::string_view command, std::string_view synopsis,
               std::string_view message) {
  err << "geokit-cli: " << message << '\n'
      << "Usage: geokit-cli " << command << ' ' << synopsis << '\n'
      << "Try 'geokit-cli " << command << " --help' for more information.\n";
  return kExitUsage;
}

std::string ParseDecimals(std::string_view name, const std::string& text, int& value) {
  if (!cli::ParseNumber<int>(text, geodesy::OutputPrecision::kMinDecimals,
                             geodesy::OutputPrecision::kMaxDecimals, value)) {
    return std::string(name) + " must be a whole number from 0 to 10, not '" + text + "'";
  }
  return {};
}

}  // namespace lsq_cli
}  // namespace halvex::tools
