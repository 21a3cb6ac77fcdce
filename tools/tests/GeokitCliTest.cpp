// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/GeokitCli.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "geodesy/Angles.hpp"
#include "geodesy/DatumTransform.hpp"
#include "geodesy/Geocentric.hpp"
#include "geodesy/Geodesic.hpp"
#include "geodesy/Helmert.hpp"
#include "geodesy/NumberText.hpp"
#include "geodesy/TransverseMercator.hpp"
#include "tools/tests/CliTestSupport.hpp"

namespace halvex::tools {
namespace {

namespace g = halvex::geodesy;

constexpr const char* kWgs84 = "6378137 0.00335281066474748";
constexpr long double kWgs84A = 6378137.0L;
constexpr long double kWgs84F = 0.00335281066474748L;
constexpr const char* kHayford = "6378388 0.00336700336700337";
constexpr const char* kPair =
    "6378137 0.00335281066474748 0 0 0 0 0 0 0 "
    "6378388 0.00336700336700337 -1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7";
constexpr const char* kTm = "30 0 0.9996 500000 0";
constexpr const char* kParams = "-1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7";

using test_support::Joined;
using test_support::Lines;
using test_support::PieceAtATimeBuffer;
using test_support::TempFolder;
using CliRun = test_support::ToolRun;

CliRun RunCli(const std::vector<std::string>& args, const std::string& input = {}) {
  return test_support::RunTool(RunGeokitCli, args, input);
}

// One subcommand run over some lines, and the core call each line must match.
struct OperationCase {
  std::vector<std::string> args;
  std::vector<std::string> lines;
  std::function<std::string(const std::string&)> expected;
};

long double Number(const std::string& line, int index) {
  g::NumberScanner scanner(line);
  long double value = 0.0L;
  for (int i = 0; i <= index; ++i) {
    EXPECT_TRUE(scanner.ReadExtended(value)) << line;
  }
  return value;
}

TEST(GeokitCliTest, EachSubcommandWritesTheCoreResultPerLine) {
  g::OutputPrecision coarse;
  coarse.degrees = 5;
  coarse.distance = 1;
  coarse.minutes = 2;
  coarse.seconds = 0;
  // Trailing text after the numbers (a point number, a code) is ignored.
  const std::vector<std::string> geodetic = {"41.0 29.0 38.5", "-33.85 151.21 12 P7"};
  const std::vector<std::string> latLon = {"41.0 29.0", "-33.85 151.21 12", "41.05 29.03 0"};
  const std::vector<std::string> grid = {"376830.2 4540118.7", "500000 4550000 7"};
  const std::vector<std::string> ecef = {"4208830.6 2333183.1 4162353.9",
                                         "4208900 2333100 4162400 P7"};
  const std::vector<OperationCase> cases = {
      {{"ecef", "--ellipsoid", kWgs84},
       geodetic,
       [](const std::string& l) {
         return g::GeodeticToEcef(Number(l, 0), Number(l, 1), Number(l, 2), kWgs84A, kWgs84F);
       }},
      {{"geodetic", "--ellipsoid", kWgs84, "--decimals-degrees", "5", "--decimals-distance=1"},
       ecef,
       [&](const std::string& l) {
         return g::EcefToGeodetic(Number(l, 0), Number(l, 1), Number(l, 2), kWgs84A, kWgs84F,
                                  coarse);
       }},
      {{"helmert", "--params", kParams},
       {ecef[0]},
       [](const std::string& l) { return g::HelmertTransform("WGS", l + " " + kParams); }},
      {{"helmert", "--params", kParams, "--direction", "Local"},
       {ecef[0]},
       [](const std::string& l) { return g::HelmertTransform("Local", l + " " + kParams); }},
      {{"helmert", "--direction", "LOCAL", "--params", kParams},
       {ecef[0]},
       [](const std::string& l) { return g::HelmertTransform("Local", l + " " + kParams); }},
      {{"helmert", "--direction", "wgs", "--params", kParams},
       {ecef[0]},
       [](const std::string& l) { return g::HelmertTransform("WGS", l + " " + kParams); }},
      {{"datum", "--pair", kPair},
       geodetic,
       [](const std::string& l) { return g::DatumTransformGeodetic("BLH", l, kPair); }},
      {{"datum", "--pair", kPair, "--mode", "XYZ"},
       geodetic,
       [](const std::string& l) { return g::DatumTransformGeodetic("XYZ", l, kPair); }},
      {{"datum", "--pair", kPair, "--mode", "xyz"},
       geodetic,
       [](const std::string& l) { return g::DatumTransformGeodetic("XYZ", l, kPair); }},
      {{"datum", "--pair", kPair, "--mode", "Blh", "--decimals-degrees", "5", "--decimals-distance",
        "1"},
       geodetic,
       [&](const std::string& l) { return g::DatumTransformGeodetic("BLH", l, kPair, coarse); }},
      {{"datum-ecef", "--pair", kPair},
       ecef,
       [](const std::string& l) { return g::DatumTransformEcef("BLH", l, kPair); }},
      {{"datum-ecef", "--pair", kPair, "--mode=XYZ"},
       ecef,
       [](const std::string& l) { return g::DatumTransformEcef("XYZ", l, kPair); }},
      {{"tm", "--tm", kTm, "--ellipsoid", kHayford},
       latLon,
       [](const std::string& l) { return g::TmForward(l, kTm, kHayford); }},
      {{"tm", "--tm", kTm, "--ellipsoid", std::string(kWgs84) + " " + kHayford},
       latLon,
       [](const std::string& l) {
         return g::TmForward(l, kTm, std::string(kWgs84) + " " + kHayford,
                             g::EllipsoidForm::kTarget);
       }},
      {{"tm-inverse", "--tm", kTm, "--ellipsoid", kHayford},
       grid,
       [](const std::string& l) { return g::TmInverse(l, kTm, kHayford); }},
      {{"to-grid", "--pair", kPair, "--tm", kTm, "--ellipsoid", kHayford, "--decimals-degrees",
        "5"},
       latLon,
       [&](const std::string& l) { return g::GeodeticToGrid(l, kPair, kTm, kHayford, coarse); }},
      {{"from-grid", "--pair", kPair, "--tm", kTm, "--ellipsoid", kWgs84},
       grid,
       [](const std::string& l) { return g::GridToGeodetic(l, kPair, kTm, kWgs84); }},
      {{"from-grid", "--pair", kPair, "--tm", kTm, "--ellipsoid",
        std::string(kHayford) + " " + kWgs84},
       grid,
       [](const std::string& l) {
         return g::GridToGeodetic(l, kPair, kTm, std::string(kHayford) + " " + kWgs84, {},
                                  g::EllipsoidForm::kTarget);
       }},
      {{"distance", "--ellipsoid", kWgs84},
       {"41 29 41.1 29.2", "-33.85 151.21 51.47 -0.45"},
       [](const std::string& l) {
         return g::FormatG15(*g::GeodesicDistance(kWgs84A, kWgs84F, Number(l, 0), Number(l, 1),
                                                  Number(l, 2), Number(l, 3)));
       }},
      {{"scale-convergence", "--ellipsoid", kWgs84, "--tm", kTm},
       {"41 29", "-20.5 31.5"},
       [](const std::string& l) {
         const auto k = [&](const char* what) {
           return g::ScaleAndConvergence(
               what, 6378137.0, 0.00335281066474748, static_cast<double>(Number(l, 0)),
               static_cast<double>(Number(l, 1)), 30, 0, 0.9996, 500000, 0);
         };
         return g::FormatG15(k("PtScFac")) + " " + g::FormatG15(k("GrdConv"));
       }},
      {{"dms", "--form", "D", "--decimals-degrees", "5"},
       {"41 30 15.5", "-41 30", "29.25"},
       [&](const std::string& l) { return g::FormatFixed(g::DmsToDegrees(l), 5); }},
      {{"dms", "--form", "DM"},
       {"41 30 15.5", "-41.504166"},
       [](const std::string& l) { return g::DegreesToDms(g::DmsToDegrees(l), "DM"); }},
      {{"dms", "--form", "dms", "--decimals-seconds", "0"},
       {"41.5041666", "-41 30.25"},
       [&](const std::string& l) { return g::DegreesToDms(g::DmsToDegrees(l), "DMS", coarse); }},
  };
  for (const OperationCase& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1] + " " + c.args[2]);
    const CliRun run = RunCli(c.args, Joined(c.lines));
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> out = Lines(run.out);
    ASSERT_EQ(out.size(), c.lines.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
      EXPECT_EQ(out[i], c.expected(c.lines[i])) << c.lines[i];
      EXPECT_NE(out[i], "0");
    }
  }
}

TEST(GeokitCliTest, FailedLinesKeepTheirPlaceAndSetExitStatusOne) {
  const CliRun datum = RunCli({"datum", "--pair", kPair}, "41 29 0\nnot a point\n41 29\n");
  EXPECT_EQ(datum.status, kExitFailedLines);
  const auto out = Lines(datum.out);
  ASSERT_EQ(out.size(), 3U);
  EXPECT_EQ(out[0], g::DatumTransformGeodetic("BLH", "41 29 0", kPair));
  EXPECT_EQ(out[1], "0");
  EXPECT_EQ(out[2], "0");
  EXPECT_NE(datum.err.find("geokit-cli: <stdin>:2: no result for \"not a point\""),
            std::string::npos)
      << datum.err;
  EXPECT_NE(datum.err.find("<stdin>:3:"), std::string::npos);
  EXPECT_EQ(datum.err.find("<stdin>:1:"), std::string::npos);

  // geodetic fails with an empty line: a point on the polar axis.
  const CliRun polar = RunCli({"geodetic", "--ellipsoid", kWgs84}, "0 0 6356752\n1 2\n");
  EXPECT_EQ(polar.status, kExitFailedLines);
  EXPECT_EQ(polar.out, "\n\n");

  const CliRun helmert = RunCli({"helmert", "--params", kParams}, "1 2\n");
  EXPECT_EQ(helmert.status, kExitFailedLines);
  EXPECT_EQ(helmert.out, "0\n");

  const CliRun scale = RunCli({"scale-convergence", "--ellipsoid", kWgs84, "--tm", kTm}, "41\n");
  EXPECT_EQ(scale.status, kExitFailedLines);
  EXPECT_EQ(scale.out, "0\n");
}

TEST(GeokitCliTest, DistanceTellsZeroDistanceFromNoAnswer) {
  const CliRun same = RunCli({"distance", "--ellipsoid", kWgs84}, "41 29 41 29\n");
  EXPECT_EQ(same.status, kExitOk) << same.err;
  EXPECT_EQ(same.out, "0\n");

  // Nearly antipodal points: the iteration does not settle.
  const std::string antipodal = "0 0 0.5 179.7";
  ASSERT_FALSE(g::GeodesicDistance(kWgs84A, kWgs84F, 0, 0, 0.5L, 179.7L).has_value());
  const CliRun run = RunCli({"distance", "--ellipsoid", kWgs84}, antipodal + "\n41 29 41\n");
  EXPECT_EQ(run.status, kExitFailedLines);
  EXPECT_EQ(run.out, "0\n0\n");
  EXPECT_NE(run.err.find("<stdin>:1:"), std::string::npos);
  EXPECT_NE(run.err.find("<stdin>:2:"), std::string::npos);
}

TEST(GeokitCliTest, DmsLineWithoutANumberFails) {
  const CliRun run = RunCli({"dms", "--form", "D", "--decimals-degrees", "0"}, "0\nN41\n");
  EXPECT_EQ(run.status, kExitFailedLines);
  EXPECT_EQ(run.out, "0\n0\n");
  EXPECT_EQ(run.err.find("<stdin>:1:"), std::string::npos);
  EXPECT_NE(run.err.find("<stdin>:2:"), std::string::npos);
}

TEST(GeokitCliTest, CommentsAndBlankLinesPassThroughAndCountInLineNumbers) {
  const std::string input = "# Bosphorus points\n\n   \n  # indented\n41 29 0\nbad\n";
  const CliRun run = RunCli({"ecef", "--ellipsoid", kWgs84}, input);
  EXPECT_EQ(run.status, kExitFailedLines);
  const auto out = Lines(run.out);
  ASSERT_EQ(out.size(), 6U);
  EXPECT_EQ(out[0], "# Bosphorus points");
  EXPECT_EQ(out[1], "");
  EXPECT_EQ(out[2], "   ");
  EXPECT_EQ(out[3], "  # indented");
  EXPECT_EQ(out[4], g::GeodeticToEcef(41, 29, 0, kWgs84A, kWgs84F));
  EXPECT_EQ(out[5], "0");
  EXPECT_NE(run.err.find("<stdin>:6:"), std::string::npos) << run.err;
  EXPECT_EQ(Lines(run.err).size(), 1U);
}

TEST(GeokitCliTest, CrLfLineEndsGiveTheSameResults) {
  const std::vector<std::string> lines = {"# header", "41 29 38.5", "41.1 29.1 40"};
  const std::vector<std::string> args = {"datum", "--pair", kPair};
  const CliRun lf = RunCli(args, Joined(lines));
  const CliRun crlf = RunCli(args, Joined(lines, "\r\n"));
  EXPECT_EQ(crlf.status, kExitOk) << crlf.err;
  EXPECT_EQ(crlf.out, lf.out);
  EXPECT_EQ(crlf.out.find('\r'), std::string::npos);
}

TEST(GeokitCliTest, LastLineWithoutLineEndAndEmptyInput) {
  const CliRun run = RunCli({"tm", "--tm", kTm, "--ellipsoid", kHayford}, "41 29\n41.1 29.1");
  EXPECT_EQ(run.status, kExitOk);
  EXPECT_EQ(run.out, g::TmForward("41 29", kTm, kHayford) + "\n" +
                         g::TmForward("41.1 29.1", kTm, kHayford) + "\n");

  const CliRun empty = RunCli({"tm", "--tm", kTm, "--ellipsoid", kHayford}, "");
  EXPECT_EQ(empty.status, kExitOk);
  EXPECT_EQ(empty.out, "");
}

TEST(GeokitCliTest, OverlongLineFailsAndTheNextLineIsRead) {
  // A line of exactly the limit is converted; one byte more is not.
  std::string atLimit = "41 29 0";
  atLimit.resize(kMaxLineBytes, ' ');
  std::string overLimit = "41 29 0";
  overLimit.resize(kMaxLineBytes + 1, ' ');
  const std::string input = atLimit + "\n" + overLimit + "\n41 29 0\n" + overLimit;
  const CliRun run = RunCli({"ecef", "--ellipsoid", kWgs84}, input);
  EXPECT_EQ(run.status, kExitFailedLines);
  const std::string point = g::GeodeticToEcef(41, 29, 0, kWgs84A, kWgs84F);
  EXPECT_EQ(run.out, point + "\n0\n" + point + "\n0\n");
  EXPECT_NE(run.err.find("<stdin>:2: line longer than"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("<stdin>:4: line longer than"), std::string::npos) << run.err;
}

TEST(GeokitCliTest, FilesAreReadInOrderAndStandardInputForADash) {
  TempFolder folder;
  const std::string a = folder.Write("a.txt", "41 29 0\n");
  const std::string b = folder.Write("b.txt", "# b\r\nbad\r\n");
  const std::string missing = folder.Path("missing.txt");
  const CliRun run = RunCli({"ecef", a, "--ellipsoid", kWgs84, missing, "-", b}, "42 30 0\n");
  EXPECT_EQ(run.status, kExitFailedLines);
  const std::string point41 = g::GeodeticToEcef(41, 29, 0, kWgs84A, kWgs84F);
  const std::string point42 = g::GeodeticToEcef(42, 30, 0, kWgs84A, kWgs84F);
  EXPECT_EQ(run.out, point41 + "\n" + point42 + "\n# b\n0\n");
  EXPECT_NE(run.err.find("cannot read '" + missing + "'"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(b + ":2: no result"), std::string::npos) << run.err;

  // A folder and a missing file do not stop the files after them.
  const CliRun folderRun = RunCli({"ecef", "--ellipsoid", kWgs84, "--", folder.Path(""), a}, "");
  EXPECT_EQ(folderRun.status, kExitFailedLines);
  EXPECT_EQ(folderRun.out, point41 + "\n");
  EXPECT_NE(folderRun.err.find("is a directory"), std::string::npos) << folderRun.err;

  const CliRun good = RunCli({"ecef", "--ellipsoid", kWgs84, a, a});
  EXPECT_EQ(good.status, kExitOk);
  EXPECT_EQ(good.out, point41 + "\n" + point41 + "\n");
}

TEST(GeokitCliTest, BadCommandLinesAreUsageErrors) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"nonsense"},
      {"--ellipsoid", kWgs84},
      {"ecef"},                                          // required option missing
      {"ecef", "--ellipsoid"},                           // value missing
      {"ecef", "--ellipsoid", "6378137"},                // one number
      {"ecef", "--ellipsoid", kWgs84, "--bogus", "1"},   // unknown option
      {"ecef", "--ellipsoid", kWgs84, "-x"},             // unknown short option
      {"ecef", "--ellipsoid", kWgs84, "--pair", kPair},  // not an option of ecef
      {"ecef", "--ellipsoid", kWgs84, "--decimals-degrees", "11"},
      {"ecef", "--ellipsoid", kWgs84, "--decimals-degrees", "-1"},
      {"ecef", "--ellipsoid", kWgs84, "--decimals-seconds", "3x"},
      {"ecef", "--ellipsoid", kWgs84, "--decimals-minutes="},
      {"helmert", "--params", "1 2 3 4 5 6"},
      {"datum", "--pair", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17"},
      {"datum-ecef", "--mode", "XYZ"},
      {"tm", "--tm", "30 0 0.9996 500000", "--ellipsoid", kHayford},
      {"tm", "--tm", kTm, "--ellipsoid", "6378388 0.0033670 6378137"},
      {"to-grid", "--pair", kPair, "--tm", kTm},
      {"scale-convergence", "--ellipsoid", kWgs84, "--tm", "30"},
      {"dms"},
      {"dms", "--form", "DMM"},
      {"ecef", "--ellipsoid", kWgs84, "--threads", "0"},
      {"ecef", "--ellipsoid", kWgs84, "--threads", "65"},
      {"ecef", "--ellipsoid", kWgs84, "--threads=two"},
      {"help", "nonsense"},
  };
  for (const auto& args : bad) {
    std::string joined;
    for (const auto& arg : args) {
      joined += "[" + arg + "]";
    }
    SCOPED_TRACE(joined);
    const CliRun run = RunCli(args, "41 29 0\n");
    EXPECT_EQ(run.status, kExitUsage);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("geokit-cli: ", 0), 0U) << run.err;
    EXPECT_NE(run.err.find("Usage: geokit-cli"), std::string::npos) << run.err;
  }
}

TEST(GeokitCliTest, ThreadsChangeNeitherResultsNorTheirOrder) {
  // Several batches of points, failed lines and comments, converted by one
  // thread and by several: output and diagnostics must be the same bytes.
  std::string input;
  for (int i = 0; i < 9000; ++i) {
    if (i % 997 == 0) {
      input += "# block " + std::to_string(i) + "\n";
    } else if (i % 1301 == 0) {
      input += "not a point\n";
    } else {
      input += g::FormatFixed(36.0L + (i % 600) * 0.01L, 9) + " " +
               g::FormatFixed(27.0L + (i % 700) * 0.01L, 9) + " 0\n";
    }
  }
  const std::vector<std::string> args = {"to-grid", "--pair",      kPair,   "--tm",
                                         kTm,       "--ellipsoid", kHayford};
  auto withThreads = [&](const char* n) {
    std::vector<std::string> a = args;
    a.insert(a.end(), {"--threads", n});
    return RunCli(a, input);
  };
  const CliRun one = withThreads("1");
  EXPECT_EQ(one.status, kExitFailedLines);
  EXPECT_EQ(Lines(one.out).size(), 9000U);
  EXPECT_NE(one.err.find("<stdin>:1302: no result"), std::string::npos) << one.err;
  for (const char* n : {"2", "3", "8"}) {
    SCOPED_TRACE(n);
    const CliRun many = withThreads(n);
    EXPECT_EQ(many.status, one.status);
    EXPECT_TRUE(many.out == one.out);
    EXPECT_EQ(many.err, one.err);
  }
}

TEST(GeokitCliTest, HelpForTheToolAndEverySubcommand) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"}, {"-h"}, {"help"}}) {
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_EQ(run.err, "");
    for (const char* name :
         {"ecef", "geodetic", "helmert", "datum", "datum-ecef", "tm", "tm-inverse", "to-grid",
          "from-grid", "distance", "scale-convergence", "dms", "--decimals-seconds", "'#'", "CR"}) {
      EXPECT_NE(run.out.find(name), std::string::npos) << name;
    }
  }
  const CliRun helmert = RunCli({"helmert", "--help"});
  EXPECT_EQ(helmert.status, kExitOk);
  for (const char* text : {"ppm", "arc-seconds", "metres", "coordinate frame",
                           "R = [1, rz, -ry; -rz, 1, rx; ry, -rx, 1]"}) {
    EXPECT_NE(helmert.out.find(text), std::string::npos) << text;
  }
  // Help wins over missing required options and over the input.
  for (const char* name : {"ecef", "geodetic", "datum", "datum-ecef", "tm", "tm-inverse", "to-grid",
                           "from-grid", "distance", "scale-convergence", "dms"}) {
    const CliRun run = RunCli({name, "--help"}, "41 29 0\n");
    EXPECT_EQ(run.status, kExitOk) << name;
    EXPECT_EQ(run.out.rfind(std::string("Usage: geokit-cli ") + name + " ", 0), 0U) << name;
    EXPECT_EQ(RunCli({"help", name}).out, run.out);
  }
  EXPECT_NE(RunCli({"to-grid", "--help"}).out.find("A1 F1 A2 F2"), std::string::npos);
  EXPECT_EQ(RunCli({"--version"}).status, kExitOk);
}

TEST(GeokitCliTest, EachAnswerIsWrittenBeforeWaitingForMoreInput) {
  std::ostringstream out;
  std::ostringstream err;
  PieceAtATimeBuffer buffer({"41 29 0\n", "42 30 0\n"}, out);
  std::istream in(&buffer);
  const std::vector<std::string> args = {"ecef", "--ellipsoid", kWgs84};
  EXPECT_EQ(RunGeokitCli(args, in, out, err), kExitOk);
  const std::string first = g::GeodeticToEcef(41, 29, 0, kWgs84A, kWgs84F) + "\n";
  ASSERT_GE(buffer.outputAtRead.size(), 2U);
  EXPECT_EQ(buffer.outputAtRead[0], "");
  EXPECT_EQ(buffer.outputAtRead[1], first);
  EXPECT_EQ(out.str(), first + g::GeodeticToEcef(42, 30, 0, kWgs84A, kWgs84F) + "\n");
}

}  // namespace
}  // namespace halvex::tools
