// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geodesy/CoordGrid.hpp"
#include "geodesy/PointFiles.hpp"
#include "platform/FileIo.hpp"
#include "tools/GeokitCli.hpp"
#include "tools/tests/CliTestSupport.hpp"

namespace halvex::tools {
namespace {

using test_support::Has;
using test_support::TempFolder;

test_support::ToolRun RunCli(const std::vector<std::string>& args, const std::string& input = {}) {
  return test_support::RunTool(RunGeokitCli, args, input);
}

// The output is the file the program would save after loading the same
// file into its grid: the same bytes as SaveGridText.
TEST(ReadPoints, OutputIsTheSavedGrid) {
  TempFolder folder;
  const std::string text = "P1 41 30 15.5 29 10 5 120\r\nP2 41.5 29.25\r\n";
  const std::string file = folder.Write("points.txt", text);
  const auto run = RunCli({"read-points", "--reader", "geodetic", file});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "1\n");

  geodesy::CoordGrid grid(4, 1);
  geodesy::SetGridHeader(grid, "No Latitude  Longitude Height");
  geodesy::ReadGeodeticFile(file, grid);
  geodesy::SaveGridText(grid, folder.Path("saved.txt"));
  EXPECT_EQ(run.out, platform::ReadWholeFile(folder.Path("saved.txt")).value());

  // Standard input reads the same.
  const auto piped = RunCli({"read-points", "--reader=geodetic", "-"}, text);
  EXPECT_EQ(piped.out, run.out);
}

TEST(ReadPoints, ResultAndWarningOnStandardError) {
  const auto projected =
      RunCli({"read-points", "--reader", "geodetic", "-"}, "N1 4595000 512345 10\n");
  EXPECT_EQ(projected.status, 0);
  EXPECT_EQ(projected.err, "1\n" + std::string(geodesy::kNotGeographicalMessage) + "\n");

  const auto control = RunCli({"read-points", "--reader", "control", "-"}, "A 1 2 3 4\n");
  EXPECT_EQ(control.status, 0);
  EXPECT_EQ(control.err, "0\n");
  EXPECT_EQ(control.out, "No\tX(E)old\tY(N)old\tX(E)new\tY(N)new\t\r\nA\t1\t2\t3\t4\t\r\n");
}

TEST(ReadPoints, BadCommandLinesAndUnreadableFiles) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"read-points", "-"},
           {"read-points", "--reader", "polar", "-"},
           {"read-points", "--reader"},
           {"read-points", "--reader", "xyz"},
           {"read-points", "--reader", "xyz", "a.txt", "b.txt"},
           {"read-points", "--pair", "1", "--reader", "xyz", "-"}}) {
    const auto run = RunCli(args);
    EXPECT_EQ(run.status, kExitUsage) << args.back();
    EXPECT_TRUE(run.out.empty());
    EXPECT_TRUE(Has(run.err, "Usage: geokit-cli read-points")) << run.err;
  }
  const auto help = RunCli({"read-points", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(Has(help.out, "--reader xyz|geodetic|plane|helmert|control"));
  EXPECT_TRUE(Has(RunCli({"--help"}).out, "read-points"));

  TempFolder folder;
  const auto missing = RunCli({"read-points", "--reader", "helmert", folder.Path("none.txt")});
  EXPECT_EQ(missing.status, kExitFailedLines);
  EXPECT_EQ(missing.out, "No\tXwgs\tYwgs\tZwgs\tXloc\tYloc\tZloc\t\r\n\t\t\t\t\t\t\t\r\n");
  EXPECT_TRUE(Has(missing.err, "0\ngeokit-cli: cannot read"));
  EXPECT_TRUE(Has(missing.err, "none.txt"));
}

}  // namespace
}  // namespace halvex::tools
