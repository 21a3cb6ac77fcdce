// SPDX-License-Identifier: GPL-3.0-or-later
// geokit-cli on odd but real input lines: coordinates that cannot exist,
// results that are no point, the poles, a minus on zero degrees, point
// numbers after the coordinates, longitudes given a turn away, tabs in a
// failure report.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/GeokitCli.hpp"
#include "tools/tests/CliTestSupport.hpp"

namespace halvex::tools {
namespace {

using test_support::Has;
using test_support::Joined;
using test_support::Lines;
using CliRun = test_support::ToolRun;

constexpr const char* kWgs84 = "6378137 0.00335281066474748";
constexpr const char* kPair =
    "6378137 0.00335281066474748 0 0 0 0 0 0 0 "
    "6378388 0.00336700336700337 -1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7";
constexpr const char* kTm = "30 0 0.9996 500000 0";
constexpr const char* kParams = "-1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7";

CliRun RunCli(const std::vector<std::string>& args, const std::string& input) {
  return test_support::RunTool(RunGeokitCli, args, input);
}

// A good line, the line under test, a good line: the middle one must fail
// with `failure` as its output and `report` on standard error, the others
// keep their results.
void ExpectMiddleLineFails(const std::vector<std::string>& args, const std::string& good,
                           const std::string& bad, const std::string& failure,
                           const std::string& report) {
  SCOPED_TRACE(args[0] + " on \"" + bad + "\"");
  const CliRun alone = RunCli(args, good + "\n");
  ASSERT_EQ(alone.status, kExitOk) << alone.err;
  const CliRun run = RunCli(args, Joined({good, bad, good}));
  EXPECT_EQ(run.status, kExitFailedLines);
  EXPECT_EQ(run.out, alone.out + failure + "\n" + alone.out);
  EXPECT_TRUE(Has(run.err, "geokit-cli: <stdin>:2: " + report)) << run.err;
  EXPECT_EQ(Lines(run.err).size(), 1U) << run.err;
}

TEST(GeokitLines, LatitudesBeyondNinetyDegreesHaveNoAnswer) {
  const std::string latitude = "latitude beyond 90 degrees in ";
  const std::vector<std::string> ecef = {"ecef", "--ellipsoid", kWgs84};
  ExpectMiddleLineFails(ecef, "41 29 0", "91 0 0", "0", latitude + "\"91 0 0\"");
  ExpectMiddleLineFails(ecef, "41 29 0", "-90.000001 0 0", "0", latitude);
  ExpectMiddleLineFails({"datum", "--pair", kPair}, "41 29 0", "91 0 0", "0",
                        latitude + "\"91 0 0\"");
  ExpectMiddleLineFails({"datum", "--pair", kPair, "--mode", "XYZ"}, "41 29 0", "1e300 0 0", "0",
                        latitude);
  ExpectMiddleLineFails({"tm", "--tm", kTm, "--ellipsoid", kWgs84}, "41 29", "95 29", "0",
                        latitude);
  ExpectMiddleLineFails({"to-grid", "--pair", kPair, "--tm", kTm, "--ellipsoid", kWgs84}, "41 29",
                        "-91 29", "0", latitude);
  ExpectMiddleLineFails({"scale-convergence", "--ellipsoid", kWgs84, "--tm", kTm}, "41 29", "91 29",
                        "0", latitude);
  // Either point of a distance.
  const std::vector<std::string> distance = {"distance", "--ellipsoid", kWgs84};
  ExpectMiddleLineFails(distance, "0 0 1 1", "91 0 1 1", "0", latitude);
  ExpectMiddleLineFails(distance, "0 0 1 1", "0 0 -96.9 1", "0", latitude);
  // The poles themselves are points, and a longitude has no such limit.
  const CliRun poles = RunCli(ecef, "90 0 0\n-90 0 0\n45 400 0\n");
  EXPECT_EQ(poles.status, kExitOk) << poles.err;
  // Numbers that are not latitudes are not held to it.
  EXPECT_EQ(RunCli({"distance", "--ellipsoid", kWgs84}, "0 91 0 179\n").status, kExitOk);
}

TEST(GeokitLines, ResultsThatAreNoPointHaveNoAnswer) {
  const std::string notFinite = "no finite result for ";
  // A latitude of 9e294 degrees from an easting far beyond the grid.
  ExpectMiddleLineFails({"tm-inverse", "--tm", kTm, "--ellipsoid", kWgs84}, "500000 4500000",
                        "45 1e300", "0", notFinite + "\"45 1e300\"");
  // A height of 400 digits: the empty line of geodetic.
  ExpectMiddleLineFails({"geodetic", "--ellipsoid", kWgs84}, "4208830 2334850 4171267", "1e400 0 0",
                        "", notFinite + "\"1e400 0 0\"");
  ExpectMiddleLineFails({"ecef", "--ellipsoid", kWgs84}, "41 29 0", "41 29 1e4000", "0", notFinite);
  ExpectMiddleLineFails({"dms", "--form", "D"}, "41 30", "1e400", "0", notFinite);
  ExpectMiddleLineFails({"dms", "--form", "DMS"}, "41 30", "-1e400 30", "0", notFinite);
}

TEST(GeokitLines, ThePolesComeBackFromEcef) {
  const std::vector<std::string> ecef = {"ecef", "--ellipsoid", kWgs84};
  const std::vector<std::string> geodetic = {"geodetic", "--ellipsoid", kWgs84};
  const CliRun there = RunCli(ecef, "90 0 0\n-90 0 0\n90 0 1234.5\n-90 45 -20\n");
  ASSERT_EQ(there.status, kExitOk) << there.err;
  const CliRun back = RunCli(geodetic, there.out);
  EXPECT_EQ(back.status, kExitOk) << back.err;
  const std::vector<std::string> lines = Lines(back.out);
  ASSERT_EQ(lines.size(), 4U) << back.out;
  EXPECT_EQ(lines[0], "90.00000000\t0.00000000\t0.000");
  EXPECT_EQ(lines[1], "-90.00000000\t0.00000000\t0.000");
  EXPECT_EQ(lines[2], "90.00000000\t0.00000000\t1234.500");
  EXPECT_EQ(lines[3].substr(0, 13), "-90.00000000\t");
  EXPECT_EQ(lines[3].substr(lines[3].size() - 8), "\t-20.000");
  // X = 3.8e-10, 3.9e-10 (the pole as ecef writes it) and 4e-10 alike.
  const CliRun sweep = RunCli(geodetic,
                              "3.8e-10 0 6356752.31424518\n"
                              "3.91862092481447e-10 0 6356752.31424518\n"
                              "4e-10 0 6356752.31424518\n");
  EXPECT_EQ(sweep.status, kExitOk) << sweep.err;
  EXPECT_EQ(sweep.out,
            "90.00000000\t0.00000000\t0.000\n"
            "90.00000000\t0.00000000\t0.000\n"
            "90.00000000\t0.00000000\t0.000\n");
  // On the axis itself there is still no longitude.
  EXPECT_EQ(RunCli(geodetic, "0 0 6356752.31424518\n").status, kExitFailedLines);
}

TEST(GeokitLines, AMinusOnZeroDegreesIsTheSignOfTheAngle) {
  const std::string input = "-0 30\n-0 30 15\n0 30\n-1 30\n";
  EXPECT_EQ(RunCli({"dms", "--form", "D"}, input).out,
            "-0.50000000\n-0.50416667\n0.50000000\n-1.50000000\n");
  EXPECT_EQ(RunCli({"dms", "--form", "DMS"}, input).out,
            "-0  30  0.0000\n-0  30  15.0000\n0  30  0.0000\n-1  30  0.0000\n");
}

TEST(GeokitLines, APointNumberAfterTheCoordinatesChangesNothing) {
  const std::string point = "4208830 2334850 4171267";
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"datum-ecef", "--pair", kPair},
           {"datum-ecef", "--pair", kPair, "--mode", "XYZ"},
           {"helmert", "--params", kParams},
           {"helmert", "--params", kParams, "--direction", "Local"},
       }) {
    SCOPED_TRACE(args[0]);
    const CliRun plain = RunCli(args, point + "\n");
    ASSERT_EQ(plain.status, kExitOk) << plain.err;
    const CliRun numbered = RunCli(args, point + " 7\n" + point + "\tP7\n");
    EXPECT_EQ(numbered.status, kExitOk) << numbered.err;
    EXPECT_EQ(numbered.out, plain.out + plain.out);
  }
  // Two coordinates and a point number are still two coordinates.
  EXPECT_EQ(RunCli({"helmert", "--params", kParams}, "4208830 2334850 P7\n").out, "0\n");
}

TEST(GeokitLines, LongitudesATurnApartProjectAlike) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"tm", "--tm", kTm, "--ellipsoid", kWgs84},
           {"scale-convergence", "--ellipsoid", kWgs84, "--tm", kTm},
       }) {
    SCOPED_TRACE(args[0]);
    const CliRun run = RunCli(args, "41 31\n41 391\n41 -329\n");
    EXPECT_EQ(run.status, kExitOk) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3U);
    EXPECT_EQ(lines[1], lines[0]);
    EXPECT_EQ(lines[2], lines[0]);
  }
  // The same meridian through the datum chain gives the same grid point.
  const CliRun tm = RunCli({"tm", "--tm", kTm, "--ellipsoid", kWgs84}, "10 -170\n");
  const CliRun grid = RunCli({"to-grid", "--pair",
                              "6378137 0.00335281066474748 0 0 0 0 0 0 0 "
                              "6378137 0.00335281066474748 0 0 0 0 0 0 0",
                              "--tm", kTm, "--ellipsoid", kWgs84},
                             "10 -170\n");
  EXPECT_EQ(grid.out, tm.out);
}

TEST(GeokitLines, ATabInAFailedLineIsShownAsBackslashT) {
  const CliRun run = RunCli({"datum", "--pair", kPair}, "a\tb\x01\xc3\xa9\n");
  EXPECT_EQ(run.status, kExitFailedLines);
  EXPECT_TRUE(Has(run.err, "no result for \"a\\tb???\"")) << run.err;
}

}  // namespace
}  // namespace halvex::tools
