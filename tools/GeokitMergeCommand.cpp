// SPDX-License-Identifier: GPL-3.0-or-later
//
// geokit-cli merge: the log merge of the geodesy tools from the command
// line, with the page's filters in the page's order.

#include <ostream>

#include "geotools/lsq/LogMerge.hpp"
#include "platform/FileIo.hpp"
#include "tools/GeokitCli.hpp"
#include "tools/GeokitLsqCommands.hpp"

namespace halvex::tools::lsq_cli {

namespace {

constexpr std::string_view kSynopsis =
    "--gps FILE --sensor FILE [--interval MS] [--gga-format TEXT] [--sensor-format TEXT] "
    "[--clean-fix TEXT] [--only-keep-fix TEXT]";

constexpr std::string_view kHelp =
    "Gives every record of a sensor (echo-sounder) log the position interpolated\n"
    "in time between the GPS fixes around it. Both logs hold \"DATE hhnnsszzz\n"
    "DATA\" lines as the navigation program records them; the GPS data is an\n"
    "NMEA GGA sentence.\n"
    "\n"
    "  --interval MS        the GPS interval in milliseconds (default 1000); a\n"
    "                       record matches a fix within half of it\n"
    "  --gga-format TEXT    GPS lines kept: those containing TEXT (default $GPGGA)\n"
    "  --sensor-format TEXT sensor lines kept: those containing TEXT (default \" 3 \")\n"
    "  --clean-fix TEXT     then drops the GPS lines containing TEXT (e.g. \",,,,,\")\n"
    "  --only-keep-fix TEXT then keeps only the GPS lines containing TEXT (e.g.\n"
    "                       \",E,4,\")\n"
    "\n"
    "Output: \"BEGIN\", one line per merged record (latitude, longitude as ddmm\n"
    "with 9 decimals, altitude, \"Fix\" and the quality, then the raw lines),\n"
    "\"END\". The line counts after filtering go to standard error. Exit status 1\n"
    "when a log cannot be read or the interval is not an integer.\n";

bool ReadLog(const std::string& file, geotools::LogLines& lines, std::ostream& err) {
  try {
    const std::optional<std::string> text = platform::ReadWholeFile(file);
    if (!text) {
      err << "geokit-cli: cannot read '" << file << "': no such file\n";
      return false;
    }
    lines = geotools::LogLines(*text);
    return true;
  } catch (const std::exception& e) {
    err << "geokit-cli: " << e.what() << '\n';
    return false;
  }
}

}  // namespace

int RunMerge(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  Options options;
  const std::string error = ParseOptions(args,
                                         {"--gps", "--sensor", "--interval", "--gga-format",
                                          "--sensor-format", "--clean-fix", "--only-keep-fix"},
                                         {}, options);
  if (!error.empty()) {
    return UsageError(err, "merge", kSynopsis, error);
  }
  if (options.help) {
    out << "Usage: geokit-cli merge " << kSynopsis << "\n\n" << kHelp;
    return kExitOk;
  }
  const auto gpsFile = Value(options, "--gps");
  const auto sensorFile = Value(options, "--sensor");
  if (!gpsFile || !sensorFile) {
    return UsageError(err, "merge", kSynopsis, "--gps FILE and --sensor FILE are required");
  }
  if (!options.files.empty()) {
    return UsageError(err, "merge", kSynopsis, "unexpected argument '" + options.files[0] + "'");
  }
  geotools::LogLines gps, sensor;
  if (!ReadLog(*gpsFile, gps, err) || !ReadLog(*sensorFile, sensor, err)) {
    return kExitFailedLines;
  }
  geotools::KeepContaining(gps, Value(options, "--gga-format").value_or("$GPGGA"));
  if (auto text = Value(options, "--clean-fix")) {
    geotools::CleanFix(gps, *text);
  }
  if (auto text = Value(options, "--only-keep-fix")) {
    geotools::OnlyKeepFix(gps, *text);
  }
  geotools::KeepContaining(sensor, Value(options, "--sensor-format").value_or(" 3 "));
  err << geotools::GpsCountText(gps.size()) << '\n'
      << geotools::SensorCountText(sensor.size()) << '\n';
  const geotools::MergeSummary merged = geotools::MergeLogsTo(
      gps, sensor, Value(options, "--interval").value_or("1000"), [&](std::string_view text) {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
      });
  out.flush();
  if (!merged.ok) {
    err << merged.error << '\n';
    return kExitFailedLines;
  }
  return out ? kExitOk : kExitFailedLines;
}

}  // namespace halvex::tools::lsq_cli
