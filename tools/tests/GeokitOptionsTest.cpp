// SPDX-License-Identifier: GPL-3.0-or-later
// geokit-cli's option values: what cannot be meant is refused at start with
// exit status 2 and a message saying what was expected, by every subcommand
// that takes the option; the words of --direction, --mode and --form in any
// letter case.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/GeokitCli.hpp"
#include "tools/GeokitOptions.hpp"
#include "tools/tests/CliTestSupport.hpp"

namespace halvex::tools {
namespace {

using test_support::Has;
using CliRun = test_support::ToolRun;

constexpr const char* kWgs84 = "6378137 0.00335281066474748";
constexpr const char* kPair =
    "6378137 0.00335281066474748 0 0 0 0 0 0 0 "
    "6378388 0.00336700336700337 -1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7";
constexpr const char* kTm = "30 0 0.9996 500000 0";
constexpr const char* kParams = "-1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7";

CliRun RunCli(const std::vector<std::string>& args, const std::string& input = "41 29 0\n") {
  return test_support::RunTool(RunGeokitCli, args, input);
}

// The options each subcommand needs, with `option` set to `value`.
std::vector<std::string> Command(const std::string& name, const std::string& option,
                                 const std::string& value) {
  std::vector<std::string> args = {name};
  const auto add = [&](const std::string& o, const std::string& standard) {
    args.insert(args.end(), {o, o == option ? value : standard});
  };
  if (name == "helmert") {
    add("--params", kParams);
  }
  if (name == "datum" || name == "datum-ecef" || name == "to-grid" || name == "from-grid") {
    add("--pair", kPair);
  }
  if (name == "tm" || name == "tm-inverse" || name == "to-grid" || name == "from-grid" ||
      name == "scale-convergence") {
    add("--tm", kTm);
  }
  if (name != "helmert" && name != "datum" && name != "datum-ecef" && name != "dms") {
    add("--ellipsoid", kWgs84);
  }
  return args;
}

std::string Trace(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args) {
    text += "[" + arg + "]";
  }
  return text;
}

// Runs `args`, which must be refused with a message holding `expected`.
void ExpectRefused(const std::vector<std::string>& args, const std::string& expected) {
  SCOPED_TRACE(Trace(args));
  const CliRun run = RunCli(args);
  EXPECT_EQ(run.status, kExitUsage);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("geokit-cli: ", 0), 0U) << run.err;
  EXPECT_TRUE(Has(run.err, expected)) << run.err;
  EXPECT_TRUE(Has(run.err, "Usage: geokit-cli")) << run.err;
}

const std::vector<std::string> kEllipsoidCommands = {"ecef",       "geodetic",         "tm",
                                                     "tm-inverse", "to-grid",          "from-grid",
                                                     "distance",   "scale-convergence"};
const std::vector<std::string> kPairCommands = {"datum", "datum-ecef", "to-grid", "from-grid"};

TEST(GeokitOptions, AnInverseFlatteningIsRefusedWithTheFlatteningItStandsFor) {
  const std::string message =
      "F is the flattening, not its inverse: did you mean 1/298.257223563 = 0.00335281066474748?";
  for (const std::string& name : kEllipsoidCommands) {
    ExpectRefused(Command(name, "--ellipsoid", "6378137 298.257223563"), "--ellipsoid: " + message);
  }
  // The target of a navigation text, and either datum of a pair.
  ExpectRefused(Command("tm", "--ellipsoid", std::string(kWgs84) + " 6378388 297"),
                "did you mean 1/297 = 0.00336700336700337?");
  ExpectRefused(Command("datum", "--pair",
                        "6378137 298.257223563 0 0 0 0 0 0 0 "
                        "6378388 0.00336700336700337 0 0 0 0 0 0 0"),
                "--pair, first datum: " + message);
  ExpectRefused(Command("to-grid", "--pair",
                        "6378137 0.00335281066474748 0 0 0 0 0 0 0 "
                        "6378388 297 0 0 0 0 0 0 0"),
                "--pair, second datum: F is the flattening, not its inverse");
}

TEST(GeokitOptions, EllipsoidsWithoutAnAxisOrWithAFlatteningOutsideZeroToOne) {
  for (const std::string& name : kEllipsoidCommands) {
    ExpectRefused(Command(name, "--ellipsoid", "0 0"), "A, the semi-major axis in metres");
    ExpectRefused(Command(name, "--ellipsoid", "-6378137 0.0033"), "must be above 0, not -6378137");
    ExpectRefused(Command(name, "--ellipsoid", "6378137 1"),
                  "F, the flattening, must be at least 0");
    ExpectRefused(Command(name, "--ellipsoid", "6378137 -0.001"), "below 1, not -0.001");
    ExpectRefused(Command(name, "--ellipsoid", "1e400 0.003"), "1e+400 is too large a number");
  }
  ExpectRefused(Command("datum-ecef", "--pair", "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0"),
                "--pair, first datum: A, the semi-major axis");
  // A sphere (F = 0) is an ellipsoid.
  EXPECT_EQ(RunCli(Command("ecef", "--ellipsoid", "6371000 0")).status, kExitOk);
}

TEST(GeokitOptions, CountsOfNumbersAreRefusedAlikeByEverySubcommand) {
  for (const std::string& name : kEllipsoidCommands) {
    for (const char* count : {"6378137", "6378137 0.0033 6378388", "1 0 1 0 1"}) {
      ExpectRefused(Command(name, "--ellipsoid", count), "--ellipsoid needs \"A F\"");
    }
    // The navigation program's four numbers are an ellipsoid pair.
    EXPECT_NE(RunCli(Command(name, "--ellipsoid", std::string(kWgs84) + " " + kWgs84)).status,
              kExitUsage)
        << name;
  }
  const std::string seventeen = "6378137 0.0033 0 0 0 0 0 0 0 6378388 0.0033 0 0 0 0 0 0";
  for (const std::string& name : kPairCommands) {
    ExpectRefused(Command(name, "--pair", seventeen), "--pair needs exactly 18 numbers");
    ExpectRefused(Command(name, "--pair", std::string(kPair) + " 7"), "not 19");
    ExpectRefused(Command(name, "--pair", ""), "not 0");
  }
  ExpectRefused(Command("helmert", "--params", "1 2 3 4 5 6"), "exactly seven numbers");
  ExpectRefused(Command("helmert", "--params", std::string(kParams) + " 0"), "not 8");
  // A name after the five projection numbers is the navigation text's.
  EXPECT_EQ(RunCli(Command("tm", "--tm", "30.0 0.0 1.0 500000.0 0.0 ITRF-GK"), "41 29\n").status,
            kExitOk);
}

TEST(GeokitOptions, ProjectionsWithoutScaleOrWithAnImpossibleOrigin) {
  for (const char* name : {"tm", "tm-inverse", "to-grid", "from-grid", "scale-convergence"}) {
    ExpectRefused(Command(name, "--tm", "27 0 0 500000 0"),
                  "--tm: K0, the scale factor on the central meridian, must be above 0, not 0");
    ExpectRefused(Command(name, "--tm", "27 0 -0.9996 500000 0"), "not -0.9996");
    ExpectRefused(Command(name, "--tm", "27 91 0.9996 500000 0"), "LAT0, the latitude of origin");
    ExpectRefused(Command(name, "--tm", "27 0 0.9996 500000"), "needs five numbers");
  }
  // A central meridian beyond 180 degrees is still a meridian.
  EXPECT_EQ(RunCli(Command("tm", "--tm", "387 0 0.9996 500000 0"), "41 29\n").status, kExitOk);
}

TEST(GeokitOptions, WordsInAnyLetterCaseAndNothingElse) {
  for (const char* word : {"WGS", "wgs", "Local", "LOCAL", "local"}) {
    EXPECT_EQ(RunCli(Command("helmert", "--direction", word)).status, kExitOk) << word;
  }
  for (const char* word : {"BLH", "blh", "XYZ", "xyz", "Xyz"}) {
    EXPECT_EQ(RunCli(Command("datum", "--mode", word)).status, kExitOk) << word;
  }
  for (const char* word : {"D", "dm", "Dms"}) {
    EXPECT_EQ(RunCli({"dms", "--form", word}).status, kExitOk) << word;
  }
  for (const char* word : {"backwards", "WGS84", "", "Locale"}) {
    ExpectRefused(
        {"helmert", "--params", kParams, "--direction", word},
        "--direction must be WGS or Local (in any letter case), not '" + std::string(word) + "'");
  }
  for (const char* word : {"xyzz", "LLH", ""}) {
    ExpectRefused({"datum-ecef", "--pair", kPair, "--mode", word}, "--mode must be BLH or XYZ");
  }
  ExpectRefused({"dms", "--form", "DMM"}, "--form must be D, DM or DMS");
}

// The checks the command line uses, called directly as a datum file reader
// would call them.
TEST(GeokitOptions, ReadersFillTheirValuesOnlyWhenTheTextIsGood) {
  geokit::EllipsoidOption ellipsoid;
  EXPECT_EQ(geokit::ReadEllipsoidOption("--from-datum", "6378388 297", ellipsoid),
            "--from-datum: F is the flattening, not its inverse: did you mean 1/297 = "
            "0.00336700336700337?");
  EXPECT_EQ(ellipsoid.text, "");
  EXPECT_EQ(geokit::ReadEllipsoidOption("--ellipsoid",
                                        "6378137.0  0.0033528106647474  6378388 "
                                        "0.00336700336700337",
                                        ellipsoid),
            "");
  EXPECT_EQ(ellipsoid.form, geodesy::EllipsoidForm::kTarget);
  EXPECT_EQ(ellipsoid.a, 6378137.0L);

  geokit::DatumPairOption pair;
  EXPECT_EQ(geokit::ReadDatumPairOption("--pair", kPair, pair), "");
  EXPECT_EQ(pair.text, kPair);
  EXPECT_EQ(pair.numbers[9], 6378388.0L);
  EXPECT_EQ(pair.numbers[17], -129.7L);

  std::string word;
  const std::string_view words[] = {"WGS", "Local"};
  EXPECT_EQ(geokit::ReadWordOption("--direction", "lOcAl", words, word), "");
  EXPECT_EQ(word, "Local");
}

}  // namespace
}  // namespace halvex::tools
