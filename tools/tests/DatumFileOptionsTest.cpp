// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geodesy/DatumDefinition.hpp"
#include "geodesy/NumberText.hpp"
#include "tools/GeokitCli.hpp"
#include "tools/tests/CliTestSupport.hpp"

namespace halvex::tools {
namespace {

namespace g = halvex::geodesy;
using test_support::Has;
using test_support::TempFolder;

constexpr const char* kWgs84Numbers = "6378137 0.00335281066474748 0 0 0 0 0 0 0";
constexpr const char* kEd50Numbers =
    "6378388 0.00336700336700337 -1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7";
constexpr const char* kTm = "30 0 0.9996 500000 0";
const std::string kPoints = "41.5 29.25 100\n-12.125 31.5 0\n40 30 -20.5\n";

test_support::ToolRun RunCli(const std::vector<std::string>& args, const std::string& input) {
  return test_support::RunTool(RunGeokitCli, args, input);
}

// Datum files written by the program's own writer.
struct DatumFiles {
  TempFolder folder;
  std::string wgs84;
  std::string ed50;

  DatumFiles() {
    g::DatumFields w;
    w.texts = {"WGS84", "0", "0", "0", "0", "0", "0", "0", "6378137", "298.257223563"};
    wgs84 = folder.Path("WGS84.datum");
    g::SaveDatumFile(w, wgs84);
    g::DatumFields e;
    e.texts = {"ED50 / Europe", "-1.2",   "0.3",    "-0.2",    "0.5",
               "-84.1",         "-101.8", "-129.7", "6378388", "297"};
    ed50 = folder.Path(g::ProposedDatumFileName(e.Name()) + ".datum");
    g::SaveDatumFile(e, ed50);
  }
};

std::vector<std::string> Args(std::vector<std::string> args, const std::string& from,
                              const std::string& to) {
  args.insert(args.end(), {"--from-datum", from, "--to-datum", to});
  return args;
}

// Each subcommand with two datum files gives what it gives with the pair
// and ellipsoid texts written out, in the order its direction needs.
TEST(DatumFileOptions, StandForThePairAndEllipsoidTexts) {
  const DatumFiles files;
  const std::string forward = std::string(kWgs84Numbers) + " " + kEd50Numbers;
  const std::string backward = std::string(kEd50Numbers) + " " + kWgs84Numbers;
  struct Case {
    std::vector<std::string> withFiles;
    std::vector<std::string> withTexts;
    std::string input;
  };
  const std::string ecef = "4208800.1 2334000 4171000.25\n";
  const std::vector<Case> cases = {
      {Args({"datum"}, files.wgs84, files.ed50), {"datum", "--pair", forward}, kPoints},
      {Args({"datum", "--mode", "XYZ"}, files.ed50, files.wgs84),
       {"datum", "--mode", "XYZ", "--pair", backward},
       kPoints},
      {Args({"datum-ecef"}, files.wgs84, files.ed50), {"datum-ecef", "--pair", backward}, ecef},
      {Args({"to-grid", "--tm", kTm}, files.wgs84, files.ed50),
       {"to-grid", "--tm", kTm, "--pair", forward, "--ellipsoid", "6378388 0.00336700336700337"},
       kPoints},
      {Args({"from-grid", "--tm", kTm}, files.ed50, files.wgs84),
       {"from-grid", "--tm", kTm, "--pair", backward, "--ellipsoid", "6378388 0.00336700336700337"},
       "500000 4500000\n612345.5 4400000\n"},
  };
  for (const Case& c : cases) {
    const auto withFiles = RunCli(c.withFiles, c.input);
    const auto withTexts = RunCli(c.withTexts, c.input);
    EXPECT_EQ(withFiles.status, 0) << c.withFiles[0] << ": " << withFiles.err;
    EXPECT_EQ(withFiles.out, withTexts.out) << c.withFiles[0];
    EXPECT_FALSE(withFiles.out.empty());
  }
}

// Independent of how the pair is ordered inside: a conversion from one
// datum to the other and back lands where it started.
TEST(DatumFileOptions, ThereAndBackAgain) {
  const DatumFiles files;
  const auto xyz = RunCli(Args({"datum", "--mode", "XYZ"}, files.wgs84, files.ed50), kPoints);
  ASSERT_EQ(xyz.status, 0) << xyz.err;
  const auto back =
      RunCli(Args({"datum-ecef", "--decimals-degrees", "9"}, files.ed50, files.wgs84), xyz.out);
  ASSERT_EQ(back.status, 0) << back.err;
  const auto grid = RunCli(Args({"to-grid", "--tm", kTm}, files.wgs84, files.ed50), kPoints);
  const auto geo = RunCli(Args({"from-grid", "--tm", kTm}, files.ed50, files.wgs84), grid.out);
  ASSERT_EQ(geo.status, 0) << geo.err;

  const auto lines = [](const std::string& text) { return test_support::Lines(text); };
  const std::vector<std::string> start = lines(kPoints);
  const std::vector<std::string> ecefBack = lines(back.out);
  const std::vector<std::string> gridBack = lines(geo.out);
  ASSERT_EQ(ecefBack.size(), start.size());
  ASSERT_EQ(gridBack.size(), start.size());
  for (std::size_t i = 0; i < start.size(); ++i) {
    g::NumberScanner s0(start[i]), s1(ecefBack[i]), s2(gridBack[i]);
    for (int k = 0; k < 2; ++k) {
      long double v0 = 0, v1 = 0, v2 = 0;
      ASSERT_TRUE(s0.ReadExtended(v0) && s1.ReadExtended(v1) && s2.ReadExtended(v2));
      EXPECT_NEAR(static_cast<double>(v1), static_cast<double>(v0), 1e-8) << start[i];
      EXPECT_NEAR(static_cast<double>(v2), static_cast<double>(v0), 1e-7) << start[i];
    }
  }
}

TEST(DatumFileOptions, BadUseAndBadFiles) {
  const DatumFiles files;
  const auto usage = [&](const std::vector<std::string>& args, const std::string& part) {
    const auto run = RunCli(args, kPoints);
    EXPECT_EQ(run.status, kExitUsage) << part;
    EXPECT_TRUE(run.out.empty());
    EXPECT_TRUE(Has(run.err, part)) << run.err;
  };
  usage({"datum", "--from-datum", files.wgs84}, "go together");
  usage({"datum", "--to-datum", files.wgs84}, "go together");
  usage(Args({"datum", "--pair", std::string(kWgs84Numbers) + " " + kEd50Numbers}, files.wgs84,
             files.ed50),
        "in place of --pair");
  usage(Args({"to-grid", "--tm", kTm, "--ellipsoid", "6378388 0.00336700336700337"}, files.wgs84,
             files.ed50),
        "in place of --pair and --ellipsoid");
  usage(Args({"ecef"}, files.wgs84, files.ed50), "does not apply to ecef");
  usage(Args({"to-grid"}, files.wgs84, files.ed50), "needs --tm");

  const std::string missing = files.folder.Path("none.datum");
  usage(Args({"datum"}, files.wgs84, missing), "none.datum");
  const std::string shortFile = files.folder.Write("short.datum", "ED50\r\n-1.2\r\n");
  usage(Args({"datum"}, shortFile, files.wgs84), "--from-datum: The datum file");
  usage(Args({"datum"}, shortFile, files.wgs84), "2 of its ten lines");

  // Fields that are not one number name the file and the line.
  g::DatumFields spaced;
  spaced.texts = {"LOCAL", "0", "0", "0", "0", "500 000", "0", "0", "6378137", "298.257223563"};
  const std::string spacedFile = files.folder.Path("spaced.datum");
  g::SaveDatumFile(spaced, spacedFile);
  usage(Args({"datum-ecef"}, files.wgs84, spacedFile), "spaced.datum', line 6 (shift X)");
  g::DatumFields flat = spaced;
  flat.Set(g::DatumField::kShiftX, "0");
  flat.Set(g::DatumField::kInverseFlattening, "0");
  const std::string flatFile = files.folder.Path("flat.datum");
  g::SaveDatumFile(flat, flatFile);
  usage(Args({"from-grid", "--tm", kTm}, flatFile, files.wgs84), "line 10 (inverse flattening)");
  usage(Args({"from-grid", "--tm", kTm}, flatFile, files.wgs84), "must not be zero");

  // The same file on both sides is the identity, whatever its name.
  const auto same = RunCli(Args({"datum"}, files.ed50, files.ed50), "41.5 29.25 100\n");
  EXPECT_EQ(same.status, 0) << same.err;
  EXPECT_EQ(same.out, "41.50000000\t29.25000000\t100.000\n");
}

}  // namespace
}  // namespace halvex::tools
