// SPDX-License-Identifier: GPL-3.0-or-later
//
// geokit-cli affine | similarity | helmert-estimate: a control point file
// read as the page reads it, the estimation, the report on standard output
// followed by "PARAMETERS" and the parameter label texts, one per line.

#include <ostream>

#include "geodesy/PointFiles.hpp"
#include "geotools/lsq/Estimations.hpp"
#include "tools/GeokitCli.hpp"
#include "tools/GeokitLsqCommands.hpp"

namespace halvex::tools::lsq_cli {

namespace {

constexpr std::string_view kPlaneSynopsis = "--control FILE";
constexpr std::string_view kHelmertSynopsis =
    "--control FILE [--semi-major A] [--inverse-flattening IF] [--decimals-distance N] "
    "[--decimals-degrees N] [--decimals-seconds N]";

void WriteHelp(std::ostream& out, std::string_view command) {
  const bool helmert = command == "helmert-estimate";
  out << "Usage: geokit-cli " << command << ' ' << (helmert ? kHelmertSynopsis : kPlaneSynopsis)
      << "\n\n";
  if (helmert) {
    out << "Estimates the seven parameters that carry local-datum ECEF coordinates to\n"
           "WGS-84 from control points \"name Xwgs Ywgs Zwgs Xloc Yloc Zloc\" (metres),\n"
           "by least squares, and prints the calculation report. The parameters are\n"
           "published negated: scale difference (ppm), rotations (arc-seconds) and\n"
           "shifts (metres).\n\n"
           "  --semi-major A, --inverse-flattening IF\n"
           "      the WGS-84 ellipsoid of the report's ellipsoidal sections, as texts\n"
           "      (default \"6378137\" and \"298.257223563\").\n"
           "  --decimals-distance N (default 3), --decimals-degrees N (8),\n"
           "  --decimals-seconds N (4): decimals of the report.\n";
  } else {
    out << "Estimates the " << (command == "affine" ? "six affine" : "four similarity")
        << " parameters from control points \"name x y X Y\"\n"
           "(source, then target easting and northing, metres) by least squares, and\n"
           "prints the calculation report.\n";
  }
  out << "\nOutput: the report, a line \"PARAMETERS\", then the parameter texts one per\n"
         "line. The messages of reading the file go to standard error after \"load: \".\n"
         "Exit status 1 when the estimation fails (its warning on standard error).\n";
}

}  // namespace

int RunEstimate(std::string_view command, std::span<const std::string> args, std::ostream& out,
                std::ostream& err) {
  const bool helmert = command == "helmert-estimate";
  const std::string_view synopsis = helmert ? kHelmertSynopsis : kPlaneSynopsis;
  Options options;
  std::string error =
      helmert ? ParseOptions(args,
                             {"--control", "--semi-major", "--inverse-flattening",
                              "--decimals-distance", "--decimals-degrees", "--decimals-seconds"},
                             {}, options)
              : ParseOptions(args, {"--control"}, {}, options);
  if (!error.empty()) {
    return UsageError(err, command, synopsis, error);
  }
  if (options.help) {
    WriteHelp(out, command);
    return kExitOk;
  }
  const auto control = Value(options, "--control");
  if (!control) {
    return UsageError(err, command, synopsis, "--control FILE is required");
  }
  if (!options.files.empty()) {
    return UsageError(err, command, synopsis, "unexpected argument '" + options.files[0] + "'");
  }
  geotools::HelmertInputs inputs;
  if (helmert) {
    if (auto v = Value(options, "--semi-major")) {
      inputs.semiMajor = *v;
    }
    if (auto v = Value(options, "--inverse-flattening")) {
      inputs.inverseFlattening = *v;
    }
    const std::pair<std::string_view, int*> decimals[] = {
        {"--decimals-distance", &inputs.precision.distance},
        {"--decimals-degrees", &inputs.precision.degrees},
        {"--decimals-seconds", &inputs.precision.seconds}};
    for (const auto& [name, target] : decimals) {
      if (auto v = Value(options, name)) {
        error = ParseDecimals(name, *v, *target);
        if (!error.empty()) {
          return UsageError(err, command, synopsis, error);
        }
      }
    }
  }

  // Loading, as the page does: a fresh grid with its header, the reader,
  // then the page's message about the number of points.
  const geodesy::PointReader reader =
      helmert ? geodesy::PointReader::kHelmertControl : geodesy::PointReader::kControlPoint;
  geodesy::CoordGrid grid(geodesy::PointReaderColumns(reader), 1);
  geodesy::SetGridHeader(grid, geodesy::PointReaderHeader(reader));
  const geodesy::PointReadResult read = geodesy::ReadPointFile(reader, *control, grid);
  if (!read.error.empty()) {
    err << "load: " << read.error << '\n';
  }
  const std::string_view message =
      helmert ? geotools::HelmertLoadMessage(grid.RowCount())
              : geotools::PlaneLoadMessage(command == "affine" ? geotools::PlaneModel::kAffine
                                                               : geotools::PlaneModel::kSimilarity,
                                           grid.RowCount());
  if (!message.empty()) {
    err << "load: " << message << '\n';
  }

  std::string report;
  std::vector<std::string> labels;
  if (helmert) {
    geotools::HelmertEstimate e = geotools::EstimateHelmert(grid, inputs);
    if (!e.ok) {
      out.flush();
      err << e.message << '\n';
      return kExitFailedLines;
    }
    report = std::move(e.report);
    labels.assign(e.labels.begin(), e.labels.end());
  } else {
    geotools::PlaneEstimate e =
        command == "affine" ? geotools::EstimateAffine(grid) : geotools::EstimateSimilarity(grid);
    if (!e.ok) {
      out.flush();
      err << e.message << '\n';
      return kExitFailedLines;
    }
    report = std::move(e.report);
    labels = std::move(e.labels);
  }
  out << report << "PARAMETERS\n";
  for (const std::string& label : labels) {
    out << label << '\n';
  }
  out.flush();
  return out ? kExitOk : kExitFailedLines;
}

}  // namespace halvex::tools::lsq_cli
