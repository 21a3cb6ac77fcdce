// SPDX-License-Identifier: GPL-3.0-or-later
//
// The subcommand table of geokit-cli and its help texts.

#include "tools/GeokitCommands.hpp"

#include <array>
#include <ostream>

#include "tools/GeokitLsqCommands.hpp"

namespace halvex::tools::geokit {
namespace {

// Latitude positions of the input lines (Subcommand::latitudeInputs).
constexpr unsigned kLat1 = 1U << 0;  // "lat lon ..."
constexpr unsigned kLat3 = 1U << 2;  // "lat1 lon1 lat2 lon2"

#define GEOKIT_PAIR_OPTION                                                        \
  "  --pair \"18 NUMBERS\"\n"                                                     \
  "      the datum pair: A F DS RX RY RZ TX TY TZ of the first datum, then the\n" \
  "      same nine numbers of the second. A is the semi-major axis in metres,\n"  \
  "      F the flattening; the seven Helmert parameters carry each datum to\n"    \
  "      WGS-84 (DS in ppm, RX RY RZ in arc-seconds, TX TY TZ in metres,\n"       \
  "      coordinate-frame rotations as in 'geokit-cli helmert --help').\n"        \
  "      WGS-84 itself is \"6378137 0.00335281066474748 0 0 0 0 0 0 0\".\n"       \
  "      Exactly 18 numbers; each A above 0 and each F at least 0 and below 1.\n"

#define GEOKIT_DATUM_FILES_OPTION(pair, ellipsoid)                                \
  "  --from-datum FILE --to-datum FILE\n"                                         \
  "      in place of --pair" ellipsoid                                            \
  ": two datum files of the geodesy tools\n"                                      \
  "      (ten lines: name, DS, RX, RY, RZ, TX, TY, TZ, A, 1/F); the conversion\n" \
  "      runs from the first file's datum to the second's. " pair "\n"

#define GEOKIT_TM_OPTION                                                           \
  "  --tm \"CM LAT0 K0 FE FN\"\n"                                                  \
  "      central meridian and latitude of origin (degrees), scale factor on the\n" \
  "      central meridian, false easting and false northing (metres), e.g.\n"      \
  "      \"27 0 0.9996 500000 0\" for UTM zone 35 north. No zone and no\n"         \
  "      southern false northing is derived. K0 must be above 0 and LAT0 within\n" \
  "      -90 to 90; further words (a name) are ignored. A longitude is taken as\n" \
  "      its meridian: 391 and -329 are 31.\n"

#define GEOKIT_GRID_ELLIPSOID_OPTION(whose)                                       \
  "  --ellipsoid \"A F\" or \"A1 F1 A2 F2\"\n"                                    \
  "      " whose                                                                  \
  ": semi-major axis A (metres) and flattening F.\n"                              \
  "      A text of four numbers is read as the navigation program's\n"            \
  "      \"source A F, target A F\" text and its third and fourth numbers (the\n" \
  "      target ellipsoid) are used. Other counts are refused, and so is an A\n"  \
  "      not above 0 or an F outside 0 (included) to 1 (excluded).\n"

#define GEOKIT_ELLIPSOID_OPTION                                                 \
  "  --ellipsoid \"A F\"\n"                                                     \
  "      semi-major axis A (metres) and flattening F (not its inverse), e.g.\n" \
  "      \"6378137 0.00335281066474748\" for WGS-84. A must be above 0 and F\n" \
  "      at least 0 and below 1. Of \"A1 F1 A2 F2\" the first two are used;\n"  \
  "      other counts of numbers are refused.\n"

#define GEOKIT_MODE_OPTION(on)                                                     \
  "  --mode BLH|XYZ\n"                                                             \
  "      XYZ: the result as ECEF \"X<TAB>Y<TAB>Z\" on " on                         \
  " (metres, 15\n"                                                                 \
  "      significant digits). BLH (the default): \"lat<TAB>lon<TAB>h\", degrees\n" \
  "      with --decimals-degrees decimals, the height in metres with\n"            \
  "      --decimals-distance decimals; an empty line when the result lies on\n"    \
  "      the polar axis. Either word in any letter case.\n"

constexpr std::array<Subcommand, 12> kSubcommandTable = {{
    {"ecef", Op::kEcef, kOptEllipsoid, 0, kLat1, "--ellipsoid \"A F\"",
     "geodetic \"lat lon h\" to ECEF \"X Y Z\"",
     "Geodetic coordinates to Earth-centred, Earth-fixed (ECEF) coordinates.\n"
     "Input line: \"lat lon h\" (degrees, degrees, metres above the ellipsoid).\n"
     "Output: \"X<TAB>Y<TAB>Z\" in metres, 15 significant digits; \"0\" for a line\n"
     "with fewer than three numbers.\n\n"
     "Options:\n" GEOKIT_ELLIPSOID_OPTION},
    {"geodetic", Op::kGeodetic, kOptEllipsoid, 0, 0, "--ellipsoid \"A F\"",
     "ECEF \"X Y Z\" to geodetic \"lat lon h\"",
     "ECEF coordinates to geodetic coordinates (fixed-point iteration).\n"
     "Input line: \"X Y Z\" (metres).\n"
     "Output: \"lat<TAB>lon<TAB>h\", degrees with --decimals-degrees decimals, the\n"
     "height in metres with --decimals-distance decimals. An empty line when\n"
     "there is no answer: fewer than three numbers, a point on the polar axis\n"
     "(X = Y = 0), or an iteration that does not settle.\n\n"
     "Options:\n" GEOKIT_ELLIPSOID_OPTION},
    {"helmert", Op::kHelmert, kOptParams, kOptDirection, 0,
     "--params \"DS RX RY RZ TX TY TZ\" [--direction WGS|Local]",
     "seven-parameter shift of ECEF \"X Y Z\" to or from WGS-84",
     "Seven-parameter (Bursa-Wolf) similarity transformation of ECEF\n"
     "coordinates between a local datum and WGS-84.\n"
     "Input line: \"X Y Z\" (metres); anything after the third number (a point\n"
     "number, a code) is ignored. The core reads the coordinates followed by\n"
     "the parameters, \"X Y Z DS RX RY RZ TX TY TZ\".\n"
     "Output: \"X<TAB>Y<TAB>Z\" in metres, 15 significant digits; \"0\" when the\n"
     "text holds fewer than ten numbers or, backward, the scaled rotation\n"
     "cannot be inverted.\n\n"
     "Options:\n"
     "  --params \"DS RX RY RZ TX TY TZ\"\n"
     "      the parameters that carry the local datum to WGS-84: scale difference\n"
     "      DS in ppm, rotations RX RY RZ in arc-seconds, shifts TX TY TZ in metres.\n"
     "  --direction WGS|Local\n"
     "      WGS (the default): local datum to WGS-84, X' = (1 + DS*1e-6)*R*X + T.\n"
     "      Local: WGS-84 to the local datum, X = ((1 + DS*1e-6)*R)^-1 * (X' - T).\n"
     "      Either word in any letter case.\n\n"
     "Rotation convention: coordinate frame. A positive rotation turns the\n"
     "coordinate frame, not the point; for small angles\n"
     "    R = [1, rz, -ry; -rz, 1, rx; ry, -rx, 1].\n"
     "The full rotation R3(rz)*R2(ry)*R1(rx) is used, without the small-angle\n"
     "simplification. Parameters published in the position-vector convention\n"
     "have RX, RY and RZ with the opposite sign.\n"},
    {"datum", Op::kDatum, kOptPair, kOptMode | kOptDatumFiles, kLat1,
     "--pair \"18 NUMBERS\" [--mode BLH|XYZ]",
     "\"lat lon h\" from the first datum of a pair to the second",
     "Geodetic coordinates on the first datum of a pair to the second datum:\n"
     "ECEF on the first datum, Helmert forward to WGS-84 with the first datum's\n"
     "parameters, Helmert backward with the second's.\n"
     "Input line: \"lat lon h\" (degrees, degrees, metres).\n"
     "Output: see --mode; \"0\" for a line with fewer than three numbers or a\n"
     "failed step.\n\n"
     "Options:\n" GEOKIT_PAIR_OPTION GEOKIT_DATUM_FILES_OPTION("The pair is\n      (from, to).", "")
         GEOKIT_MODE_OPTION("the second datum")},
    {"datum-ecef", Op::kDatumEcef, kOptPair, kOptMode | kOptDatumFiles, 0,
     "--pair \"18 NUMBERS\" [--mode BLH|XYZ]",
     "ECEF \"X Y Z\" from the second datum of a pair to the first",
     "The reverse chain: ECEF coordinates on the second datum of a pair to the\n"
     "first datum (Helmert forward with the second datum's parameters, backward\n"
     "with the first's).\n"
     "Input line: \"X Y Z\" (metres); anything after the third number (a point\n"
     "number, a code) is ignored.\n"
     "Output: see --mode; \"0\" for a line with fewer than three numbers or a\n"
     "failed step.\n\n"
     "Options:\n" GEOKIT_PAIR_OPTION GEOKIT_DATUM_FILES_OPTION("The pair is\n      (to, from).", "")
         GEOKIT_MODE_OPTION("the first datum")},
    {"tm", Op::kTm, kOptTm | kOptEllipsoid, 0, kLat1,
     "--tm \"CM LAT0 K0 FE FN\" --ellipsoid \"A F\"", "\"lat lon\" to transverse Mercator \"E N\"",
     "Transverse Mercator projection (Snyder's series: within 1.4 mm of an exact\n"
     "transverse Mercator within 3 degrees of the central meridian).\n"
     "Input line: \"lat lon\" (degrees).\n"
     "Output: \"E N\" in metres, 15 significant digits, one space; \"0\" for a line\n"
     "with fewer than two numbers.\n\n"
     "Options:\n" GEOKIT_TM_OPTION GEOKIT_GRID_ELLIPSOID_OPTION("the grid's ellipsoid")},
    {"tm-inverse", Op::kTmInverse, kOptTm | kOptEllipsoid, 0, 0,
     "--tm \"CM LAT0 K0 FE FN\" --ellipsoid \"A F\"", "transverse Mercator \"E N\" to \"lat lon\"",
     "Inverse transverse Mercator projection (Snyder's series).\n"
     "Input line: \"E N\" (metres).\n"
     "Output: \"lat lon\" in degrees, 15 significant digits, one space; \"0\" for\n"
     "a line with fewer than two numbers.\n\n"
     "Options:\n" GEOKIT_TM_OPTION GEOKIT_GRID_ELLIPSOID_OPTION("the grid's ellipsoid")},
    {"to-grid", Op::kToGrid, kOptPair | kOptTm | kOptEllipsoid, kOptDatumFiles, kLat1,
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
         "the grid's ellipsoid, that of the second datum")
         GEOKIT_DATUM_FILES_OPTION(
             "The pair is\n      (from, to), the ellipsoid that of the to-datum.",
             " and --ellipsoid")},
    {"from-grid", Op::kFromGrid, kOptPair | kOptTm | kOptEllipsoid, kOptDatumFiles, 0,
     "--pair \"18 NUMBERS\" --tm \"CM LAT0 K0 FE FN\" --ellipsoid \"A F\"",
     "\"E N\" on the first datum's grid to \"lat lon\" on the second datum",
     "Grid coordinates on the first datum of a pair to geodetic coordinates on\n"
     "the second datum: the inverse projection, then the datum chain at height 0.\n"
     "Input line: \"E N\" (metres).\n"
     "Output: \"lat lon\" in degrees, 15 significant digits, one space, from the\n"
     "datum step's --decimals-degrees decimals; \"0\" when the line has fewer\n"
     "than two numbers or a step fails.\n\n"
     "Options:\n" GEOKIT_PAIR_OPTION GEOKIT_TM_OPTION GEOKIT_GRID_ELLIPSOID_OPTION(
         "the grid's ellipsoid, that of the first datum")
         GEOKIT_DATUM_FILES_OPTION(
             "The pair is\n      (from, to), the ellipsoid that of the from-datum.",
             " and --ellipsoid")},
    {"distance", Op::kDistance, kOptEllipsoid, 0, kLat1 | kLat3, "--ellipsoid \"A F\"",
     "ellipsoidal distance of \"lat1 lon1 lat2 lon2\"",
     "Ellipsoidal distance between two points (Vincenty's inverse formula,\n"
     "about 0.1 mm on WGS-84).\n"
     "Input line: \"lat1 lon1 lat2 lon2\" (degrees).\n"
     "Output: the distance in the unit of A (metres), 15 significant digits.\n"
     "\"0\" for a line with fewer than four numbers or when the iteration does\n"
     "not settle (nearly antipodal points); such lines count as failed, while\n"
     "the zero distance of two equal points does not.\n\n"
     "Options:\n" GEOKIT_ELLIPSOID_OPTION},
    {"scale-convergence", Op::kScaleConvergence, kOptEllipsoid | kOptTm, 0, kLat1,
     "--ellipsoid \"A F\" --tm \"CM LAT0 K0 FE FN\"",
     "point scale factor and grid convergence at \"lat lon\"",
     "Point scale factor k and grid convergence gamma of a transverse Mercator\n"
     "grid (Redfearn's series, within 1e-10 in k and 1e-10 degrees in gamma\n"
     "within 3 degrees of the central meridian), computed in double precision.\n"
     "Input line: \"lat lon\" (degrees).\n"
     "Output: \"k gamma\", 15 significant digits each, one space. gamma is in\n"
     "degrees, negative east of the central meridian in the northern\n"
     "hemisphere (grid bearing = true bearing + gamma). \"0\" for a line with\n"
     "fewer than two numbers.\n\n"
     "Options:\n" GEOKIT_ELLIPSOID_OPTION GEOKIT_TM_OPTION
     "      LAT0, FE and FN are accepted and do not change k or gamma.\n"},
    {"dms", Op::kDms, kOptForm, 0, 0, "--form D|DM|DMS", "angle texts to D, DM or DMS form",
     "Angle texts to one form.\n"
     "Input line: an angle in decimal degrees (\"41.50416667\"), degrees and\n"
     "minutes (\"41 30.25\") or degrees, minutes and seconds (\"41 30 15\"): up to\n"
     "three numbers, the sign carried by the degrees field (no hemisphere\n"
     "letters), a minus on a zero included: \"-0 30\" is -0.5.\n"
     "Output: the angle in the form of --form. A line that does not start with a\n"
     "number gives the angle 0 in that form and counts as failed.\n\n"
     "Options:\n"
     "  --form D|DM|DMS\n"
     "      D: decimal degrees with --decimals-degrees decimals. DM: whole degrees\n"
     "      and decimal minutes (--decimals-minutes). DMS: whole degrees, whole\n"
     "      minutes and decimal seconds (--decimals-seconds). Fields are separated\n"
     "      by two spaces and rounded each on its own, so seconds may read 60.\n"
     "      The word in any letter case.\n"},
}};

#undef GEOKIT_PAIR_OPTION
#undef GEOKIT_DATUM_FILES_OPTION
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
    "  - So do lines with a latitude beyond 90 degrees north or south, and lines\n"
    "    whose result holds a number too large for a double (about 1.8e308) or\n"
    "    a latitude beyond 90 degrees.\n"
    "  - In the report of a failed line a tab shows as \\t, other control\n"
    "    characters and bytes outside ASCII as '?'.\n"
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

}  // namespace

std::span<const Subcommand> Subcommands() { return kSubcommandTable; }

const Subcommand* FindSubcommand(std::string_view name) {
  for (const Subcommand& command : kSubcommandTable) {
    if (command.name == name) {
      return &command;
    }
  }
  return nullptr;
}

void WriteGeneralHelp(std::ostream& out) {
  out << kGeneralHelp1;
  for (const Subcommand& command : kSubcommandTable) {
    out << "  " << command.name;
    for (std::size_t i = command.name.size(); i < 19; ++i) {
      out << ' ';
    }
    out << command.summary << '\n';
  }
  WriteGeokitLsqSummaries(out);
  out << "  read-points        a point file as the geodesy tools read it into a grid\n";
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

}  // namespace halvex::tools::geokit
