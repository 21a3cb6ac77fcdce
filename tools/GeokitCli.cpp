// SPDX-License-Identifier: GPL-3.0-or-later
//
// Argument parsing, help texts and the per-line loop of geokit-cli.
//
// The loop reads lines with istream::getline into one fixed buffer of
// kMaxLineBytes + 1 bytes, so a file without line ends cannot make memory
// grow; the rest of an over-long line is skipped with ignore(). Results are
// collected in a string and written out in blocks of kOutputBlock bytes, and
// also whenever the input stream has nothing buffered (the next read may
// wait for a writer on the other end of a pipe, which may be waiting for our
// answers).

#include "tools/GeokitCli.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <functional>
#include <istream>
#include <limits>
#include <mutex>
#include <ostream>
#include <string_view>
#include <thread>
#include <vector>

#include "geodesy/Angles.hpp"
#include "geodesy/DatumTransform.hpp"
#include "geodesy/Geocentric.hpp"
#include "geodesy/Geodesic.hpp"
#include "geodesy/Helmert.hpp"
#include "geodesy/NumberText.hpp"
#include "geodesy/OutputPrecision.hpp"
#include "geodesy/TransverseMercator.hpp"
#include "tools/CliSupport.hpp"
#include "tools/GeokitLsqCommands.hpp"

namespace halvex::tools {
namespace {

using geodesy::CountLeadingNumbers;
using geodesy::EllipsoidForm;
using geodesy::NumberScanner;
using geodesy::OutputPrecision;

constexpr std::string_view kProgram = "geokit-cli";
constexpr std::size_t kOutputBlock = std::size_t{64} << 10;
constexpr std::size_t kQuotedLineBytes = 60;

// Lines are converted in batches, in parallel when there are enough of them.
// A batch ends at kBatchLines lines, kBatchBytes bytes, or when the input has
// nothing more ready (so an interactive writer gets each answer at once).
constexpr std::size_t kBatchLines = 4096;
constexpr std::size_t kBatchBytes = std::size_t{4} << 20;
constexpr std::size_t kLinesPerThreadAtLeast = 32;
constexpr std::size_t kKeptLineCapacity = std::size_t{64} << 10;
constexpr int kMaxThreads = 64;

enum class Op {
  kEcef,
  kGeodetic,
  kHelmert,
  kDatum,
  kDatumEcef,
  kTm,
  kTmInverse,
  kToGrid,
  kFromGrid,
  kDistance,
  kScaleConvergence,
  kDms,
};

// Options of the subcommands, as bits of Subcommand::accepted/required.
enum OptionBit : unsigned {
  kOptEllipsoid = 1U << 0,
  kOptParams = 1U << 1,
  kOptPair = 1U << 2,
  kOptTm = 1U << 3,
  kOptDirection = 1U << 4,
  kOptMode = 1U << 5,
  kOptForm = 1U << 6,
  kOptDecimals = 1U << 7,  // the four --decimals-* options and --threads, taken by every subcommand
};

struct Subcommand {
  std::string_view name;
  Op op;
  unsigned required;
  unsigned optional;
  std::string_view synopsis;  // the options part of the usage line
  std::string_view summary;
  std::string_view help;  // the text below the usage line
};

// Help paragraphs shared by several subcommands.
#define GEOKIT_PAIR_OPTION                                                        \
  "  --pair \"18 NUMBERS\"\n"                                                     \
  "      the datum pair: A F DS RX RY RZ TX TY TZ of the first datum, then the\n" \
  "      same nine numbers of the second. A is the semi-major axis in metres,\n"  \
  "      F the flattening; the seven Helmert parameters carry each datum to\n"    \
  "      WGS-84 (DS in ppm, RX RY RZ in arc-seconds, TX TY TZ in metres,\n"       \
  "      coordinate-frame rotations as in 'geokit-cli helmert --help').\n"        \
  "      WGS-84 itself is \"6378137 0.00335281066474748 0 0 0 0 0 0 0\".\n"

#define GEOKIT_TM_OPTION                                                           \
  "  --tm \"CM LAT0 K0 FE FN\"\n"                                                  \
  "      central meridian and latitude of origin (degrees), scale factor on the\n" \
  "      central meridian, false easting and false northing (metres), e.g.\n"      \
  "      \"27 0 0.9996 500000 0\" for UTM zone 35 north. No zone and no\n"         \
  "      southern false northing is derived.\n"

#define GEOKIT_GRID_ELLIPSOID_OPTION(whose)                                       \
  "  --ellipsoid \"A F\" or \"A1 F1 A2 F2\"\n"                                    \
  "      " whose                                                                  \
  ": semi-major axis A (metres) and flattening F.\n"                              \
  "      A text of four or more numbers is read as the navigation program's\n"    \
  "      \"source A F, target A F\" text and its third and fourth numbers (the\n" \
  "      target ellipsoid) are used; three numbers are refused.\n"

#define GEOKIT_ELLIPSOID_OPTION                                                 \
  "  --ellipsoid \"A F\"\n"                                                     \
  "      semi-major axis A (metres) and flattening F (not its inverse), e.g.\n" \
  "      \"6378137 0.00335281066474748\" for WGS-84.\n"

#define GEOKIT_MODE_OPTION(on)                                                     \
  "  --mode BLH|XYZ\n"                                                             \
  "      XYZ: the result as ECEF \"X<TAB>Y<TAB>Z\" on " on                         \
  " (metres, 15\n"                                                                 \
  "      significant digits). BLH (the default, and any word other than XYZ):\n"   \
  "      \"lat<TAB>lon<TAB>h\", degrees with --decimals-degrees decimals, the\n"   \
  "      height in metres with --decimals-distance decimals; an empty line when\n" \
  "      the result lies on the polar axis.\n"

constexpr std::array<Subcommand, 12> kSubcommands = {{
    {"ecef", Op::kEcef, kOptEllipsoid, 0, "--ellipsoid \"A F\"",
     "geodetic \"lat lon h\" to ECEF \"X Y Z\"",
     "Geodetic coordinates to Earth-centred, Earth-fixed (ECEF) coordinates.\n"
     "Input line: \"lat lon h\" (degrees, degrees, metres above the ellipsoid).\n"
     "Output: \"X<TAB>Y<TAB>Z\" in metres, 15 significant digits; \"0\" for a line\n"
     "with fewer than three numbers.\n\n"
     "Options:\n" GEOKIT_ELLIPSOID_OPTION},
    {"geodetic", Op::kGeodetic, kOptEllipsoid, 0, "--ellipsoid \"A F\"",
     "ECEF \"X Y Z\" to geodetic \"lat lon h\"",
     "ECEF coordinates to geodetic coordinates (fixed-point iteration).\n"
     "Input line: \"X Y Z\" (metres).\n"
     "Output: \"lat<TAB>lon<TAB>h\", degrees with --decimals-degrees decimals, the\n"
     "height in metres with --decimals-distance decimals. An empty line when\n"
     "there is no answer: fewer than three numbers, a point on the polar axis\n"
     "(X = Y = 0), or an iteration that does not settle.\n\n"
     "Options:\n" GEOKIT_ELLIPSOID_OPTION},
    {"helmert", Op::kHelmert, kOptParams, kOptDirection,
     "--params \"DS RX RY RZ TX TY TZ\" [--direction WGS|Local]",
     "seven-parameter shift of ECEF \"X Y Z\" to or from WGS-84",
     "Seven-parameter (Bursa-Wolf) similarity transformation of ECEF\n"
     "coordinates between a local datum and WGS-84.\n"
     "Input line: \"X Y Z\" (metres). The parameters are appended to the line and\n"
     "the core reads the text \"X Y Z DS RX RY RZ TX TY TZ\", so a line must hold\n"
     "the three coordinates and nothing else.\n"
     "Output: \"X<TAB>Y<TAB>Z\" in metres, 15 significant digits; \"0\" when the\n"
     "text holds fewer than ten numbers or, backward, the scaled rotation\n"
     "cannot be inverted.\n\n"
     "Options:\n"
     "  --params \"DS RX RY RZ TX TY TZ\"\n"
     "      the parameters that carry the local datum to WGS-84: scale difference\n"
     "      DS in ppm, rotations RX RY RZ in arc-seconds, shifts TX TY TZ in metres.\n"
     "  --direction WORD\n"
     "      WGS (the default): local datum to WGS-84, X' = (1 + DS*1e-6)*R*X + T.\n"
     "      Any other word, e.g. Local: WGS-84 to the local datum,\n"
     "      X = ((1 + DS*1e-6)*R)^-1 * (X' - T).\n\n"
     "Rotation convention: coordinate frame. A positive rotation turns the\n"
     "coordinate frame, not the point; for small angles\n"
     "    R = [1, rz, -ry; -rz, 1, rx; ry, -rx, 1].\n"
     "The full rotation R3(rz)*R2(ry)*R1(rx) is used, without the small-angle\n"
     "simplification. Parameters published in the position-vector convention\n"
     "have RX, RY and RZ with the opposite sign.\n"},
    {"datum", Op::kDatum, kOptPair, kOptMode, "--pair \"18 NUMBERS\" [--mode BLH|XYZ]",
     "\"lat lon h\" from the first datum of a pair to the second",
     "Geodetic coordinates on the first datum of a pair to the second datum:\n"
     "ECEF on the first datum, Helmert forward to WGS-84 with the first datum's\n"
     "parameters, Helmert backward with the second's.\n"
     "Input line: \"lat lon h\" (degrees, degrees, metres).\n"
     "Output: see --mode; \"0\" for a line with fewer than three numbers or a\n"
     "failed step.\n\n"
     "Options:\n" GEOKIT_PAIR_OPTION GEOKIT_MODE_OPTION("the second datum")},
    {"datum-ecef", Op::kDatumEcef, kOptPair, kOptMode, "--pair \"18 NUMBERS\" [--mode BLH|XYZ]",
     "ECEF \"X Y Z\" from the second datum of a pair to the first",
     "The reverse chain: ECEF coordinates on the second datum of a pair to the\n"
     "first datum (Helmert forward with the second datum's parameters, backward\n"
     "with the first's).\n"
     "Input line: \"X Y Z\" (metres).\n"
     "Output: see --mode; \"0\" for a line with fewer than three numbers or a\n"
     "failed step.\n\n"
     "Options:\n" GEOKIT_PAIR_OPTION GEOKIT_MODE_OPTION("the first datum")},
    {"tm", Op::kTm, kOptTm | kOptEllipsoid, 0, "--tm \"CM LAT0 K0 FE FN\" --ellipsoid \"A F\"",
     "\"lat lon\" to transverse Mercator \"E N\"",
     "Transverse Mercator projection (Snyder's series: within 1.4 mm of an exact\n"
     "transverse Mercator within 3 degrees of the central meridian).\n"
     "Input line: \"lat lon\" (degrees).\n"
     "Output: \"E N\" in metres, 15 significant digits, one space; \"0\" for a line\n"
     "with fewer than two numbers.\n\n"
     "Options:\n" GEOKIT_TM_OPTION GEOKIT_GRID_ELLIPSOID_OPTION("the grid's ellipsoid")},
    {"tm-inverse", Op::kTmInverse, kOptTm | kOptEllipsoid, 0,
     "--tm \"CM LAT0 K0 FE FN\" --ellipsoid \"A F\"", "transverse Mercator \"E N\" to \"lat lon\"",
     "Inverse transverse Mercator projection (Snyder's series).\n"
     "Input line: \"E N\" (metres).\n"
     "Output: \"lat lon\" in degrees, 15 significant digits, one space; \"0\" for\n"
     "a line with fewer than two numbers.\n\n"
     "Options:\n" GEOKIT_TM_OPTION GEOKIT_GRID_ELLIPSOID_OPTION("the grid's ellipsoid")},
    {"to-grid", Op::kToGrid, kOptPair | kOptTm | kOptEllipsoid, 0,
     "--pair \"18 NUMBERS\" --tm \"CM LAT0 K0 FE FN\" --ellipsoid \"A F\"",
     "\"lat lon\" on the first datum to \"E N\" on the second datum's grid",
     "Geodetic coordinates on the first datum of a pair to grid coordinates on\n"
     "the second datum: the datum chain, then the transverse Mercator projection.\n"
     "Input line: \"lat lon\" or \"lat lon h\" (degrees, metres; the height is 0\n"
     "when the line has two numbers and nothing else).\n"
     "Output: \"E N\" in metres, 15 significant digits, one space. The datum\n"
     "step's latitude and longitude are rounded to --decimals-degrees decimals\n"
     "before the projection. \"0\" when the line has fewer than two numbers, two\n"
     "numbers followed by other text, or a step fails.\n\n"
     "Options:\n" GEOKIT_PAIR_OPTION GEOKIT_TM_OPTION GEOKIT_GRID_ELLIPSOID_OPTION(
         "the grid's ellipsoid, that of the second datum")},
    {"from-grid", Op::kFromGrid, kOptPair | kOptTm | kOptEllipsoid, 0,
     "--pair \"18 NUMBERS\" --tm \"CM LAT0 K0 FE FN\" --ellipsoid \"A F\"",
     "\"E N\" on the first datum's grid to \"lat lon\" on the second datum",
     "Grid coordinates on the first datum of a pair to geodetic coordinates on\n"
     "the second datum: the inverse projection, then the datum chain at height 0.\n"
     "Input line: \"E N\" (metres).\n"
     "Output: \"lat lon\" in degrees, 15 significant digits, one space, from the\n"
     "datum step's --decimals-degrees decimals; \"0\" when the line has fewer\n"
     "than two numbers or a step fails.\n\n"
     "Options:\n" GEOKIT_PAIR_OPTION GEOKIT_TM_OPTION GEOKIT_GRID_ELLIPSOID_OPTION(
         "the grid's ellipsoid, that of the first datum")},
    {"distance", Op::kDistance, kOptEllipsoid, 0, "--ellipsoid \"A F\"",
     "ellipsoidal distance of \"lat1 lon1 lat2 lon2\"",
     "Ellipsoidal distance between two points (Vincenty's inverse formula,\n"
     "about 0.1 mm on WGS-84).\n"
     "Input line: \"lat1 lon1 lat2 lon2\" (degrees).\n"
     "Output: the distance in the unit of A (metres), 15 significant digits.\n"
     "\"0\" for a line with fewer than four numbers or when the iteration does\n"
     "not settle (nearly antipodal points); such lines count as failed, while\n"
     "the zero distance of two equal points does not.\n\n"
     "Options:\n" GEOKIT_ELLIPSOID_OPTION},
    {"scale-convergence", Op::kScaleConvergence, kOptEllipsoid | kOptTm, 0,
     "--ellipsoid \"A F\" --tm \"CM LAT0 K0 FE FN\"",
     "point scale factor and grid convergence at \"lat lon\"",
     "Point scale factor k and grid convergence gamma of a transverse Mercator\n"
     "grid (Redfearn's series, within 1e-10 in k and 1e-10 degrees in gamma\n"
     "within 3 degrees of the central meridian), computed in double precision.\n"
     "Input line: \"lat lon\" (degrees).\n"
     "Output: \"k gamma\", 15 significant digits each, one space. gamma is in\n"
     "degrees, negative east of the central meridian in the northern\n"
     "hemisphere (grid bearing = true bearing + gamma). \"0\" for a line with\n"
     "fewer than two numbers; a result that is not finite also counts as\n"
     "failed.\n\n"
     "Options:\n" GEOKIT_ELLIPSOID_OPTION GEOKIT_TM_OPTION
     "      LAT0, FE and FN are accepted and do not change k or gamma.\n"},
    {"dms", Op::kDms, kOptForm, 0, "--form D|DM|DMS", "angle texts to D, DM or DMS form",
     "Angle texts to one form.\n"
     "Input line: an angle in decimal degrees (\"41.50416667\"), degrees and\n"
     "minutes (\"41 30.25\") or degrees, minutes and seconds (\"41 30 15\"): up to\n"
     "three numbers, the sign carried by the degrees field (no hemisphere\n"
     "letters).\n"
     "Output: the angle in the form of --form. A line that does not start with a\n"
     "number gives the angle 0 in that form and counts as failed.\n\n"
     "Options:\n"
     "  --form D|DM|DMS\n"
     "      D: decimal degrees with --decimals-degrees decimals. DM: whole degrees\n"
     "      and decimal minutes (--decimals-minutes). DMS: whole degrees, whole\n"
     "      minutes and decimal seconds (--decimals-seconds). Fields are separated\n"
     "      by two spaces and rounded each on its own, so seconds may read 60.\n"
     "      Lower case d, dm and dms are accepted too.\n"},
}};

#undef GEOKIT_PAIR_OPTION
#undef GEOKIT_TM_OPTION
#undef GEOKIT_GRID_ELLIPSOID_OPTION
#undef GEOKIT_ELLIPSOID_OPTION
#undef GEOKIT_MODE_OPTION

constexpr std::string_view kCommonOptionsHelp =
    "Common options (every subcommand):\n"
    "  --decimals-degrees N   decimals of decimal-degree results (default 8)\n"
    "  --decimals-distance N  decimals of heights in metres (default 3)\n"
    "  --decimals-minutes N   decimals of the minutes of DM results (default 6)\n"
    "  --decimals-seconds N   decimals of the seconds of DMS results (default 4)\n"
    "      N is 0 to 10. They apply where an operation writes fixed decimals;\n"
    "      results of 15 significant digits do not change.\n"
    "  --threads N            convert with N threads (1 to 64; default: one per\n"
    "                         processor, at most 8); the results are the same\n"
    "                         and in the same order for any N\n"
    "  --help                 show the help text and exit\n"
    "  --                     end of options: later arguments are input files\n";

constexpr std::string_view kGeneralHelp1 =
    "Usage: geokit-cli SUBCOMMAND [OPTIONS] [FILE...]\n"
    "       geokit-cli SUBCOMMAND --help\n"
    "       geokit-cli --help | --version\n"
    "\n"
    "Batch conversions with the Halvex geodesy core. A subcommand reads one\n"
    "input text per line from each FILE in turn (standard input when no FILE is\n"
    "given, and for \"-\") and writes one line per input line to standard output:\n"
    "the text the core operation returns for it. A line without a result gets\n"
    "\"0\" or an empty line (see the subcommand's help), is reported on standard\n"
    "error with its file name and line number, and makes the exit status 1.\n"
    "\n"
    "Subcommands:\n";

constexpr std::string_view kGeneralHelp2 =
    "\n"
    "Units: angles in decimal degrees unless a DM or DMS form is named; axes,\n"
    "heights, coordinates and distances in metres; the flattening F as a number\n"
    "(0.00335281066474748, not 298.257223563); Helmert scale differences in\n"
    "ppm and rotations in arc-seconds, coordinate-frame convention (see\n"
    "'geokit-cli helmert --help'). Numbers are read with the full stop as the\n"
    "decimal separator whatever the locale; \"inf\" and \"nan\" are not numbers.\n"
    "Output fields are separated as the core writes them: tabs in\n"
    "\"lat lon h\" and \"X Y Z\" results, one space in \"E N\", \"lat lon\" and\n"
    "\"k gamma\" results.\n"
    "\n"
    "Input lines:\n"
    "  - A trailing CR is removed, so files with CR LF line ends work as they are.\n"
    "  - Blank lines and lines whose first non-blank character is '#' are copied\n"
    "    to the output unchanged, are not converted and do not count as failed,\n"
    "    so a commented point file keeps its line alignment.\n"
    "  - Lines longer than 1048576 bytes are not converted: they get the\n"
    "    subcommand's failure text (\"0\" or an empty line) and count as failed.\n"
    "\n"
    "Options take their value as the next argument or after '=' (--mode=XYZ); a\n"
    "value of several numbers is one quoted argument. Options may come before or\n"
    "after the files; of an option given twice the last one counts.\n"
    "\n";

constexpr std::string_view kExitStatusHelp =
    "\n"
    "Exit status: 0 when every converted line gave a result; 1 when a line did\n"
    "not or an input file could not be read (the other files are still\n"
    "converted); 2 for a bad command line.\n";

const Subcommand* FindSubcommand(std::string_view name) {
  for (const Subcommand& command : kSubcommands) {
    if (command.name == name) {
      return &command;
    }
  }
  return nullptr;
}

void WriteGeneralHelp(std::ostream& out) {
  out << kGeneralHelp1;
  for (const Subcommand& command : kSubcommands) {
    out << "  " << command.name;
    for (std::size_t i = command.name.size(); i < 19; ++i) {
      out << ' ';
    }
    out << command.summary << '\n';
  }
  WriteGeokitLsqSummaries(out);
  out << kGeneralHelp2 << kCommonOptionsHelp << kExitStatusHelp;
}

void WriteUsageLine(std::ostream& out, const Subcommand& command) {
  out << "Usage: " << kProgram << ' ' << command.name << ' ' << command.synopsis
      << " [OPTIONS] [FILE...]\n";
}

void WriteSubcommandHelp(std::ostream& out, const Subcommand& command) {
  WriteUsageLine(out, command);
  out << '\n' << command.help << '\n' << kCommonOptionsHelp;
  out << "\nInput lines and exit status as in 'geokit-cli --help'.\n";
}

// Everything the command line sets.
struct Settings {
  const Subcommand* command = nullptr;
  std::string ellipsoid;
  std::string params;
  std::string pair;
  std::string tm;
  std::string direction = "WGS";
  std::string mode = "BLH";
  std::string form;  // "D", "DM" or "DMS"
  OutputPrecision precision;
  int threads = 0;  // 0: one per processor, at most 8
  std::vector<std::string> files;

  // Numbers read from the option texts where the tool itself computes.
  long double a = 0.0L;
  long double f = 0.0L;
  std::array<long double, 5> tmValues{};
  EllipsoidForm ellipsoidForm = EllipsoidForm::kLeading;
};

struct OptionName {
  std::string_view name;
  OptionBit bit;
  int* number;  // the --decimals-* options and --threads; null for the others
  std::string* text;
};

using cli::ParseOutcome;
using cli::ParseResult;

bool ParseDecimals(std::string_view text, int& value) {
  return cli::ParseNumber<int>(text, OutputPrecision::kMinDecimals, OutputPrecision::kMaxDecimals,
                               value);
}

// Checks the option texts and reads the numbers the tool needs from them.
// Returns the error message, empty when all is well.
std::string ValidateOptionValues(Settings& s) {
  const unsigned used = s.command->required | s.command->optional;
  const Op op = s.command->op;
  if ((used & kOptEllipsoid) != 0) {
    const bool grid =
        op == Op::kTm || op == Op::kTmInverse || op == Op::kToGrid || op == Op::kFromGrid;
    if (grid) {
      const int count = CountLeadingNumbers(s.ellipsoid, 4);
      if (count == 2) {
        s.ellipsoidForm = EllipsoidForm::kLeading;
      } else if (count == 4) {
        s.ellipsoidForm = EllipsoidForm::kTarget;
      } else {
        return "--ellipsoid needs \"A F\" or \"A1 F1 A2 F2\"";
      }
    } else {
      NumberScanner scanner(s.ellipsoid);
      if (!scanner.ReadExtended(s.a) || !scanner.ReadExtended(s.f)) {
        return "--ellipsoid needs two numbers \"A F\"";
      }
    }
  }
  if ((used & kOptParams) != 0 && CountLeadingNumbers(s.params, 7) < 7) {
    return "--params needs seven numbers \"DS RX RY RZ TX TY TZ\"";
  }
  if ((used & kOptPair) != 0 && CountLeadingNumbers(s.pair, 18) < 18) {
    return "--pair needs 18 numbers (A F DS RX RY RZ TX TY TZ of each datum)";
  }
  if ((used & kOptTm) != 0) {
    NumberScanner scanner(s.tm);
    if (scanner.ReadExtendeds(s.tmValues.data(), 5) < 5) {
      return "--tm needs five numbers \"CM LAT0 K0 FE FN\"";
    }
  }
  if ((used & kOptForm) != 0) {
    if (s.form == "D" || s.form == "d") {
      s.form = "D";
    } else if (s.form == "DM" || s.form == "dm") {
      s.form = "DM";
    } else if (s.form == "DMS" || s.form == "dms") {
      s.form = "DMS";
    } else {
      return "--form must be D, DM or DMS, not '" + s.form + "'";
    }
  }
  return {};
}

std::string OptionListText(unsigned bits) {
  static constexpr std::array<std::pair<OptionBit, std::string_view>, 7> kNames = {{
      {kOptEllipsoid, "--ellipsoid"},
      {kOptParams, "--params"},
      {kOptPair, "--pair"},
      {kOptTm, "--tm"},
      {kOptDirection, "--direction"},
      {kOptMode, "--mode"},
      {kOptForm, "--form"},
  }};
  std::string text;
  for (const auto& [bit, name] : kNames) {
    if ((bits & bit) != 0) {
      if (!text.empty()) {
        text += ", ";
      }
      text += name;
    }
  }
  return text;
}

ParseResult ParseArguments(std::span<const std::string> args, Settings& s) {
  if (args.empty()) {
    return {ParseOutcome::kUsageError, "no subcommand given"};
  }
  const std::string_view first = args[0];
  if (first == "--help" || first == "-h" || first == "help") {
    if (args.size() > 1 && first == "help") {
      s.command = FindSubcommand(args[1]);
      if (s.command == nullptr) {
        return {ParseOutcome::kUsageError, "unknown subcommand '" + args[1] + "'"};
      }
    }
    return {ParseOutcome::kHelp, {}};
  }
  if (first == "--version") {
    return {ParseOutcome::kVersion, {}};
  }
  s.command = FindSubcommand(first);
  if (s.command == nullptr) {
    if (!first.empty() && first[0] == '-') {
      return {ParseOutcome::kUsageError, "expected a subcommand before '" + args[0] + "'"};
    }
    return {ParseOutcome::kUsageError, "unknown subcommand '" + args[0] + "'"};
  }

  std::array<int*, 4> decimals = {&s.precision.degrees, &s.precision.distance, &s.precision.minutes,
                                  &s.precision.seconds};
  const std::array<OptionName, 12> options = {{
      {"ellipsoid", kOptEllipsoid, nullptr, &s.ellipsoid},
      {"params", kOptParams, nullptr, &s.params},
      {"pair", kOptPair, nullptr, &s.pair},
      {"tm", kOptTm, nullptr, &s.tm},
      {"direction", kOptDirection, nullptr, &s.direction},
      {"mode", kOptMode, nullptr, &s.mode},
      {"form", kOptForm, nullptr, &s.form},
      {"decimals-degrees", kOptDecimals, decimals[0], nullptr},
      {"decimals-distance", kOptDecimals, decimals[1], nullptr},
      {"decimals-minutes", kOptDecimals, decimals[2], nullptr},
      {"decimals-seconds", kOptDecimals, decimals[3], nullptr},
      {"threads", kOptDecimals, &s.threads, nullptr},
  }};
  const unsigned accepted = s.command->required | s.command->optional | kOptDecimals;
  unsigned given = 0;
  using Kind = cli::OptionReader::Kind;
  cli::OptionReader reader(args.subspan(1), s.files);
  for (Kind kind = reader.Next(); kind != Kind::kEnd; kind = reader.Next()) {
    if (kind == Kind::kHelp) {
      return {ParseOutcome::kHelp, {}};
    }
    const std::string& arg = reader.Word();
    if (arg.size() < 3 || arg[1] != '-') {
      return {ParseOutcome::kUsageError, "unknown option '" + arg + "'"};
    }
    const std::string_view name = std::string_view(reader.Name()).substr(2);
    const OptionName* option = nullptr;
    for (const OptionName& candidate : options) {
      if (candidate.name == name) {
        option = &candidate;
      }
    }
    if (option == nullptr) {
      return {ParseOutcome::kUsageError, "unknown option '--" + std::string(name) + "'"};
    }
    if ((accepted & option->bit) == 0) {
      return {ParseOutcome::kUsageError, "option '--" + std::string(name) + "' does not apply to " +
                                             std::string(s.command->name)};
    }
    std::string value;
    if (!reader.TakeValue(value)) {
      return {ParseOutcome::kUsageError, "option '--" + std::string(name) + "' needs a value"};
    }
    if (option->number == &s.threads) {
      if (!cli::ParseNumber(value, 1, kMaxThreads, s.threads)) {
        return {ParseOutcome::kUsageError, "--threads must be a whole number from 1 to " +
                                               std::to_string(kMaxThreads) + ", not '" + value +
                                               "'"};
      }
    } else if (option->number != nullptr) {
      if (!ParseDecimals(value, *option->number)) {
        return {
            ParseOutcome::kUsageError,
            "--" + std::string(name) + " must be a whole number from 0 to 10, not '" + value + "'"};
      }
    } else {
      *option->text = std::move(value);
    }
    given |= option->bit;
  }
  const unsigned missing = s.command->required & ~given;
  if (missing != 0) {
    return {ParseOutcome::kUsageError,
            std::string(s.command->name) + " needs " + OptionListText(missing)};
  }
  std::string error = ValidateOptionValues(s);
  if (!error.empty()) {
    return {ParseOutcome::kUsageError, std::move(error)};
  }
  return {ParseOutcome::kRun, {}};
}

// The result of one input line: the text to write, and whether it counts as
// a result.
struct LineResult {
  std::string text;
  bool ok = false;
};

// The failure text of a subcommand, for lines that are not converted.
std::string_view FailureText(Op op) { return op == Op::kGeodetic ? std::string_view() : "0"; }

// The result of a core operation whose failure texts are "0" and "".
LineResult FromCore(std::string text) {
  const bool ok = !text.empty() && text != "0";
  return {std::move(text), ok};
}

// Converts lines with the operation of one subcommand.
class Converter {
 public:
  explicit Converter(const Settings& s) : s_(s) {
    if (s_.command->op == Op::kScaleConvergence) {
      for (std::size_t i = 0; i < tm_.size(); ++i) {
        tm_[i] = static_cast<double>(s_.tmValues[i]);
      }
    }
  }

  LineResult Convert(std::string_view line) {
    using geodesy::DatumTransformEcef;
    using geodesy::DatumTransformGeodetic;
    using geodesy::DegreesToDms;
    using geodesy::DmsToDegrees;
    using geodesy::EcefToGeodetic;
    using geodesy::FormatFixed;
    using geodesy::FormatG15;
    using geodesy::GeodesicDistance;
    using geodesy::GeodeticToEcef;
    using geodesy::GeodeticToGrid;
    using geodesy::GridToGeodetic;
    using geodesy::HelmertTransform;
    using geodesy::TmForward;
    using geodesy::TmInverse;
    const OutputPrecision& precision = s_.precision;
    switch (s_.command->op) {
      case Op::kEcef: {
        long double v[3];
        if (NumberScanner(line).ReadExtendeds(v, 3) < 3) {
          return {"0", false};
        }
        return FromCore(GeodeticToEcef(v[0], v[1], v[2], s_.a, s_.f));
      }
      case Op::kGeodetic: {
        long double v[3];
        if (NumberScanner(line).ReadExtendeds(v, 3) < 3) {
          return {{}, false};
        }
        return FromCore(EcefToGeodetic(v[0], v[1], v[2], s_.a, s_.f, precision));
      }
      case Op::kHelmert:
        scratch_.assign(line);
        scratch_ += ' ';
        scratch_ += s_.params;
        return FromCore(HelmertTransform(s_.direction, scratch_));
      case Op::kDatum:
        return FromCore(DatumTransformGeodetic(s_.mode, line, s_.pair, precision));
      case Op::kDatumEcef:
        return FromCore(DatumTransformEcef(s_.mode, line, s_.pair, precision));
      case Op::kTm:
        return FromCore(TmForward(line, s_.tm, s_.ellipsoid, s_.ellipsoidForm));
      case Op::kTmInverse:
        return FromCore(TmInverse(line, s_.tm, s_.ellipsoid, s_.ellipsoidForm));
      case Op::kToGrid:
        return FromCore(
            GeodeticToGrid(line, s_.pair, s_.tm, s_.ellipsoid, precision, s_.ellipsoidForm));
      case Op::kFromGrid:
        return FromCore(
            GridToGeodetic(line, s_.pair, s_.tm, s_.ellipsoid, precision, s_.ellipsoidForm));
      case Op::kDistance: {
        long double v[4];
        if (NumberScanner(line).ReadExtendeds(v, 4) < 4) {
          return {"0", false};
        }
        const auto distance = GeodesicDistance(s_.a, s_.f, v[0], v[1], v[2], v[3]);
        if (!distance) {
          return {"0", false};
        }
        return {FormatG15(*distance), true};
      }
      case Op::kScaleConvergence:
        return ScaleConvergence(line);
      case Op::kDms: {
        const long double degrees = DmsToDegrees(line);
        const bool ok = CountLeadingNumbers(line, 1) > 0;
        if (s_.form == "D") {
          return {FormatFixed(degrees, precision.degrees), ok};
        }
        return {DegreesToDms(degrees, s_.form, precision), ok};
      }
    }
    return {"0", false};
  }

 private:
  LineResult ScaleConvergence(std::string_view line) const {
    using geodesy::ScaleAndConvergence;
    long double v[2];
    if (NumberScanner(line).ReadExtendeds(v, 2) < 2) {
      return {"0", false};
    }
    const auto a = static_cast<double>(s_.a);
    const auto f = static_cast<double>(s_.f);
    const auto latitude = static_cast<double>(v[0]);
    const auto longitude = static_cast<double>(v[1]);
    const double k = ScaleAndConvergence("PtScFac", a, f, latitude, longitude, tm_[0], tm_[1],
                                         tm_[2], tm_[3], tm_[4]);
    const double gamma = ScaleAndConvergence("GrdConv", a, f, latitude, longitude, tm_[0], tm_[1],
                                             tm_[2], tm_[3], tm_[4]);
    std::string text = geodesy::FormatG15(k);
    text += ' ';
    geodesy::AppendG15(text, gamma);
    return {std::move(text), std::isfinite(k) && std::isfinite(gamma)};
  }

  const Settings& s_;
  std::array<double, 5> tm_{};
  std::string scratch_;
};

bool IsPassThrough(std::string_view line) {
  const std::size_t first = line.find_first_not_of(" \t\v\f\r");
  return first == std::string_view::npos || line[first] == '#';
}

// The line as it appears in a diagnostic: at most kQuotedLineBytes bytes,
// control characters and bytes outside ASCII shown as '?'.
std::string Quoted(std::string_view line) {
  std::string text = "\"";
  for (std::size_t i = 0; i < line.size() && i < kQuotedLineBytes; ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    text += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
  }
  text += line.size() > kQuotedLineBytes ? "...\"" : "\"";
  return text;
}

// Runs one part of a task on each of a few threads: the calling thread takes
// part 0, helper threads (started when first needed, kept until the end)
// take the others. Run() returns when every part is done and rethrows the
// first exception a part raised.
class WorkerPool {
 public:
  WorkerPool() = default;
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  ~WorkerPool() {
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) {
      thread.join();
    }
  }

  void Run(unsigned parts, const std::function<void(unsigned)>& task) {
    while (threads_.size() + 1 < parts) {
      const auto index = static_cast<unsigned>(threads_.size());
      threads_.emplace_back([this, index] { Loop(index + 1); });
    }
    {
      const std::lock_guard lock(mutex_);
      task_ = &task;
      parts_ = parts;
      pending_ = parts - 1;
      error_ = nullptr;
      ++generation_;
    }
    wake_.notify_all();
    RunPart(task, 0);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
    if (error_) {
      std::rethrow_exception(error_);
    }
  }

 private:
  void Loop(unsigned part) {
    std::uint64_t seen = 0;
    for (;;) {
      const std::function<void(unsigned)>* task = nullptr;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
        if (stop_) {
          return;
        }
        seen = generation_;
        if (part >= parts_) {
          continue;
        }
        task = task_;
      }
      RunPart(*task, part);
      const std::lock_guard lock(mutex_);
      if (--pending_ == 0) {
        done_.notify_one();
      }
    }
  }

  void RunPart(const std::function<void(unsigned)>& task, unsigned part) {
    try {
      task(part);
    } catch (...) {
      const std::lock_guard lock(mutex_);
      if (!error_) {
        error_ = std::current_exception();
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::vector<std::thread> threads_;
  const std::function<void(unsigned)>* task_ = nullptr;
  unsigned parts_ = 0;
  unsigned pending_ = 0;
  std::uint64_t generation_ = 0;
  std::exception_ptr error_;
  bool stop_ = false;
};

unsigned ThreadCount(const Settings& s) {
  if (s.threads > 0) {
    return static_cast<unsigned>(s.threads);
  }
  const unsigned processors = std::thread::hardware_concurrency();
  return std::clamp(processors, 1U, 8U);
}

class Runner : public cli::InputConsumer {
 public:
  Runner(const Settings& s, std::ostream& out, std::ostream& err)
      : s_(s), threads_(ThreadCount(s)), out_(out), err_(err), line_(kMaxLineBytes + 1) {
    output_.reserve(kOutputBlock + 256);
    for (unsigned i = 0; i < threads_; ++i) {
      converters_.emplace_back(s);
    }
    batch_.resize(kBatchLines);
    results_.resize(kBatchLines);
  }

  // Converts every line of `in`. False when the stream could not be read to
  // its end or the output could not be written.
  bool ProcessStream(std::istream& in, std::string_view name) override {
    std::uint64_t lineNumber = 0;
    bool end = false;
    bool readError = false;
    while (!end && !outputFailed_) {
      if (in.rdbuf()->in_avail() <= 0) {
        Flush();  // the next read may wait for a writer that waits for us
      }
      used_ = 0;
      std::size_t bytes = 0;
      while (used_ < kBatchLines && bytes < kBatchBytes) {
        if (used_ > 0 && in.rdbuf()->in_avail() <= 0) {
          break;  // answer the lines at hand before waiting for more
        }
        const ReadOutcome outcome = ReadLine(in, lineNumber);
        if (outcome == ReadOutcome::kEnd || outcome == ReadOutcome::kError) {
          end = true;
          readError = outcome == ReadOutcome::kError;
          break;
        }
        bytes += batch_[used_ - 1].text.size();
      }
      ConvertBatch();
      EmitBatch(name);
    }
    if (readError) {
      Flush();
      err_ << kProgram << ": " << name << ": read error\n";
      return false;
    }
    Flush();
    return !outputFailed_;
  }

  bool AnyLineFailed() const { return anyLineFailed_; }
  bool OutputFailed() const override { return outputFailed_; }

  void Flush() override {
    if (!output_.empty() && !outputFailed_) {
      out_.write(output_.data(), static_cast<std::streamsize>(output_.size()));
    }
    output_.clear();
    out_.flush();
    if (!out_ && !outputFailed_) {
      outputFailed_ = true;
      err_ << kProgram << ": write error on standard output\n";
    }
  }

 private:
  enum class Kind { kConvert, kPassThrough, kTooLong };
  struct Entry {
    Kind kind = Kind::kConvert;
    std::uint64_t lineNumber = 0;
    std::string text;
  };
  enum class ReadOutcome { kLine, kEnd, kError };

  // Reads one line into the next entry of the batch.
  ReadOutcome ReadLine(std::istream& in, std::uint64_t& lineNumber) {
    in.getline(line_.data(), static_cast<std::streamsize>(line_.size()));
    const std::streamsize count = in.gcount();
    if (in.bad()) {
      return ReadOutcome::kError;
    }
    Entry& entry = batch_[used_];
    if (in.fail()) {
      if (count == 0) {
        return ReadOutcome::kEnd;
      }
      // The buffer filled up before the line ended.
      in.clear();
      in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
      entry.kind = Kind::kTooLong;
      entry.lineNumber = ++lineNumber;
      entry.text.clear();
      ++used_;
      return ReadOutcome::kLine;
    }
    // Without eof the line end was read and counted.
    std::string_view line(line_.data(), static_cast<std::size_t>(in.eof() ? count : count - 1));
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    entry.kind = IsPassThrough(line) ? Kind::kPassThrough : Kind::kConvert;
    entry.lineNumber = ++lineNumber;
    if (entry.text.capacity() > kKeptLineCapacity && line.size() <= kKeptLineCapacity) {
      std::string().swap(entry.text);  // do not keep a long line's memory
    }
    entry.text.assign(line);
    ++used_;
    return ReadOutcome::kLine;
  }

  void ConvertRange(Converter& converter, std::size_t first, std::size_t last) {
    for (std::size_t i = first; i < last; ++i) {
      if (batch_[i].kind == Kind::kConvert) {
        results_[i] = converter.Convert(batch_[i].text);
      }
    }
  }

  void ConvertBatch() {
    const std::size_t parts =
        std::min<std::size_t>(threads_, std::max<std::size_t>(1, used_ / kLinesPerThreadAtLeast));
    if (parts <= 1) {
      ConvertRange(converters_[0], 0, used_);
      return;
    }
    const std::size_t share = (used_ + parts - 1) / parts;
    pool_.Run(static_cast<unsigned>(parts), [&](unsigned part) {
      const std::size_t first = std::min(used_, part * share);
      ConvertRange(converters_[part], first, std::min(used_, first + share));
    });
  }

  void EmitBatch(std::string_view name) {
    for (std::size_t i = 0; i < used_ && !outputFailed_; ++i) {
      const Entry& entry = batch_[i];
      switch (entry.kind) {
        case Kind::kPassThrough:
          Emit(entry.text);
          break;
        case Kind::kTooLong:
          Emit(FailureText(s_.command->op));
          Report(name, entry.lineNumber,
                 "line longer than " + std::to_string(kMaxLineBytes) + " bytes");
          break;
        case Kind::kConvert:
          Emit(results_[i].text);
          if (!results_[i].ok) {
            Report(name, entry.lineNumber, "no result for " + Quoted(entry.text));
          }
          break;
      }
    }
  }

  void Emit(std::string_view text) {
    output_ += text;
    output_ += '\n';
    if (output_.size() >= kOutputBlock) {
      out_.write(output_.data(), static_cast<std::streamsize>(output_.size()));
      output_.clear();
      if (!out_ && !outputFailed_) {
        outputFailed_ = true;
        err_ << kProgram << ": write error on standard output\n";
      }
    }
  }

  void Report(std::string_view name, std::uint64_t lineNumber, const std::string& what) {
    anyLineFailed_ = true;
    // Results written first, so the two streams interleave in order when
    // they go to the same place.
    Flush();
    err_ << kProgram << ": " << name << ':' << lineNumber << ": " << what << '\n';
  }

  const Settings& s_;
  const unsigned threads_;
  std::vector<Converter> converters_;  // one per thread: each keeps its own scratch text
  WorkerPool pool_;
  std::ostream& out_;
  std::ostream& err_;
  std::vector<char> line_;
  std::vector<Entry> batch_;
  std::vector<LineResult> results_;
  std::size_t used_ = 0;  // entries of batch_ filled
  std::string output_;
  bool anyLineFailed_ = false;
  bool outputFailed_ = false;
};

int UsageError(std::ostream& err, const Settings& s, const std::string& message) {
  err << kProgram << ": " << message << '\n';
  if (s.command != nullptr) {
    WriteUsageLine(err, *s.command);
    err << "Try '" << kProgram << ' ' << s.command->name << " --help' for more information.\n";
  } else {
    err << "Usage: " << kProgram << " SUBCOMMAND [OPTIONS] [FILE...]\n"
        << "Try '" << kProgram << " --help' for more information.\n";
  }
  return kExitUsage;
}

}  // namespace

int RunGeokitCli(std::span<const std::string> args, std::istream& in, std::ostream& out,
                 std::ostream& err) {
  if (const std::optional<int> status = RunGeokitLsqCommand(args, out, err)) {
    return *status;
  }
  Settings settings;
  const ParseResult parsed = ParseArguments(args, settings);
  switch (parsed.outcome) {
    case ParseOutcome::kUsageError:
      return UsageError(err, settings, parsed.error);
    case ParseOutcome::kHelp:
      if (settings.command != nullptr) {
        WriteSubcommandHelp(out, *settings.command);
      } else {
        WriteGeneralHelp(out);
      }
      out.flush();
      return kExitOk;
    case ParseOutcome::kVersion:
      cli::WriteVersion(out, kProgram);
      return kExitOk;
    case ParseOutcome::kRun:
      break;
  }

  Runner runner(settings, out, err);
  const bool inputsRead = cli::ProcessInputs(settings.files, in, kProgram, err, runner);
  runner.Flush();
  if (!inputsRead || runner.AnyLineFailed() || runner.OutputFailed()) {
    return kExitFailedLines;
  }
  return kExitOk;
}

int RunGeokitCli(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err) {
  return RunGeokitCli(cli::Arguments(argc, argv), in, out, err);
}

}  // namespace halvex::tools
