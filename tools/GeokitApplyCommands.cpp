// SPDX-License-Identifier: GPL-3.0-or-later
//
// geokit-cli affine-apply | similarity-apply: a plane point file through
// the parameters given as the page's label texts, printed as the page saves
// its target grid.

#include <ostream>

#include "geodesy/PointFiles.hpp"
#include "geotools/lsq/Applications.hpp"
#include "tools/GeokitCli.hpp"
#include "tools/GeokitLsqCommands.hpp"

namespace halvex::tools::lsq_cli {

namespace {

// The words of a parameter text, each one label.
std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
      ++i;
    }
    const std::size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t') {
      ++i;
    }
    if (i > start) {
      words.emplace_back(text.substr(start, i - start));
    }
  }
  return words;
}

}  // namespace

int RunApply(std::string_view command, std::span<const std::string> args, std::ostream& out,
             std::ostream& err) {
  const bool affine = command == "affine-apply";
  const std::string synopsis =
      std::string(affine ? "--params \"A0 A1 A2 B0 B1 B2\"" : "--params \"TX TY ROTATION SCALE\"") +
      " [--inverse] [--decimals-distance N] FILE";
  Options options;
  std::string error =
      ParseOptions(args, {"--params", "--decimals-distance"}, {"--inverse"}, options);
  if (!error.empty()) {
    return UsageError(err, command, synopsis, error);
  }
  if (options.help) {
    out << "Usage: geokit-cli " << command << ' ' << synopsis << "\n\n"
        << "Reads FILE as a plane point file (\"name E N [h]\") and writes the points\n"
           "transformed with the "
        << (affine ? "affine parameters A0 .. B2"
                   : "similarity parameters (TX TY in metres,\n"
                     "ROTATION in degrees, SCALE a factor)")
        << ", or with --inverse back, as the\n"
           "geodesy tools save a grid: header, then one line per point, each cell\n"
           "followed by a tab, CR LF line ends. Coordinates with --decimals-distance\n"
           "decimals (default 3); the height is copied. Exit status 1 when the\n"
           "parameters or a point cannot be used (the message on standard error).\n";
    return kExitOk;
  }
  const auto params = Value(options, "--params");
  if (!params) {
    return UsageError(err, command, synopsis, "--params is required");
  }
  if (options.files.size() != 1) {
    return UsageError(err, command, synopsis, "one FILE is required");
  }
  int decimals = 3;
  if (auto v = Value(options, "--decimals-distance")) {
    error = ParseDecimals("--decimals-distance", *v, decimals);
    if (!error.empty()) {
      return UsageError(err, command, synopsis, error);
    }
  }
  const geodesy::PointReader reader = geodesy::PointReader::kPlane;
  geodesy::CoordGrid source(geodesy::PointReaderColumns(reader), 1);
  geodesy::SetGridHeader(source, geodesy::PointReaderHeader(reader));
  const geodesy::PointReadResult read = geodesy::ReadPointFile(reader, options.files[0], source);
  if (!read.error.empty()) {
    err << "geokit-cli: " << read.error << '\n';
    return kExitFailedLines;
  }
  geodesy::CoordGrid target(geodesy::PointReaderColumns(reader), 1);
  geodesy::SetGridHeader(target, geodesy::PointReaderHeader(reader));
  const std::vector<std::string> labels = Words(*params);
  const bool inverse = Flag(options, "--inverse");
  const geotools::ApplyResult result =
      affine ? geotools::ApplyAffine(source, target, labels, inverse, decimals)
             : geotools::ApplySimilarity(source, target, labels, inverse, decimals);
  if (!result.ok) {
    err << result.message << '\n';
    return kExitFailedLines;
  }
  out << geodesy::GridText(target);
  out.flush();
  return out ? kExitOk : kExitFailedLines;
}

}  // namespace halvex::tools::lsq_cli
