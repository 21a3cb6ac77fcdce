// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/ReadPoints.hpp"

#include <istream>
#include <iterator>
#include <optional>
#include <ostream>
#include <vector>

#include "geodesy/CoordGrid.hpp"
#include "geodesy/PointFiles.hpp"
#include "tools/CliSupport.hpp"
#include "tools/GeokitCli.hpp"

namespace halvex::tools {
namespace {

using geodesy::PointReader;

constexpr std::string_view kHelp =
    "Usage: geokit-cli read-points --reader xyz|geodetic|plane|helmert|control FILE\n"
    "\n"
    "Reads a point file with one of the point readers of the geodesy tools and\n"
    "writes the grid it fills to standard output, exactly as the program saves\n"
    "a grid: the header row of the grid that reader serves, then one line per\n"
    "point, every cell followed by a tab, lines ended by CR LF. Standard error\n"
    "gets the reader's result (1, or 0 when a control reader found fewer than\n"
    "three points) on one line, then the geodetic reader's warning when the\n"
    "coordinates do not look geographical. FILE \"-\" is standard input.\n"
    "\n"
    "Readers and the line forms they take (fields separated by white space):\n"
    "  xyz       name X Y Z | X Y Z\n"
    "  geodetic  name lat(d m s) lon(d m s) h | name lat(d m) lon(d m) h |\n"
    "            name lat lon h | the same without name | lat lon |\n"
    "            name lat lon (d, d m or d m s; the height left empty)\n"
    "  plane     name x y z | name x y | x y\n"
    "  helmert   name X1 Y1 Z1 X2 Y2 Z2\n"
    "  control   name x y X Y\n"
    "Other lines are skipped.\n"
    "\n"
    "Exit status: 0 when the file was read, 1 when it could not be read (the\n"
    "empty grid is still written), 2 for a bad command line.\n";

int Usage(std::ostream& err, const std::string& error) {
  err << "geokit-cli: read-points: " << error << "\n"
      << "Usage: geokit-cli read-points --reader xyz|geodetic|plane|helmert|control FILE\n"
      << "Try 'geokit-cli read-points --help' for more information.\n";
  return kExitUsage;
}

}  // namespace

int RunReadPoints(std::span<const std::string> args, std::istream& in, std::ostream& out,
                  std::ostream& err) {
  std::vector<std::string> files;
  cli::OptionReader reader(args, files);
  std::optional<PointReader> kind;
  for (auto next = reader.Next(); next != cli::OptionReader::Kind::kEnd; next = reader.Next()) {
    if (next == cli::OptionReader::Kind::kHelp) {
      out << kHelp;
      out.flush();
      return kExitOk;
    }
    if (reader.Name() != "--reader") {
      return Usage(err, "unknown option '" + reader.Name() + "'");
    }
    std::string value;
    if (!reader.TakeValue(value)) {
      return Usage(err, "option '--reader' needs a value");
    }
    kind = geodesy::PointReaderFromName(value);
    if (!kind) {
      return Usage(err, "unknown reader '" + value + "'");
    }
  }
  if (!kind) {
    return Usage(err, "--reader is required");
  }
  if (files.size() != 1) {
    return Usage(err, files.empty() ? "no file given" : "give one file");
  }

  geodesy::CoordGrid grid(geodesy::PointReaderColumns(*kind), 1);
  geodesy::SetGridHeader(grid, geodesy::PointReaderHeader(*kind));
  geodesy::PointReadResult result;
  if (files[0] == "-") {
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    result = geodesy::ReadPointText(*kind, text, grid);
  } else {
    result = geodesy::ReadPointFile(*kind, files[0], grid);
  }
  const std::string text = geodesy::GridText(grid);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.flush();
  err << result.result << '\n';
  if (result.notGeographical) {
    err << geodesy::kNotGeographicalMessage << '\n';
  }
  if (!result.error.empty()) {
    err << "geokit-cli: " << result.error << '\n';
  }
  err.flush();
  if (!out) {
    err << "geokit-cli: cannot write the output\n";
    return kExitFailedLines;
  }
  return result.error.empty() ? kExitOk : kExitFailedLines;
}

}  // namespace halvex::tools
