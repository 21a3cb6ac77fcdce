// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/lsq/Applications.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geodesy/NumberText.hpp"

namespace halvex::geotools {
namespace {

using geodesy::CoordGrid;

CoordGrid PlaneList(std::initializer_list<std::initializer_list<std::string_view>> rows) {
  CoordGrid grid(4, 1);
  geodesy::SetGridHeader(grid, "No Easting Northing Elevation");
  for (const auto& row : rows) {
    grid.AppendRow(row);
  }
  return grid;
}

CoordGrid EmptyTarget() {
  CoordGrid grid(4, 1);
  geodesy::SetGridHeader(grid, "No Easting Northing Elevation");
  return grid;
}

std::vector<std::string> Row(const CoordGrid& grid, std::size_t row) {
  std::vector<std::string> cells;
  for (std::size_t c = 0; c < grid.ColCount(); ++c) {
    cells.emplace_back(grid.Cell(c, row));
  }
  return cells;
}

TEST(AffineApply, ForwardWritesDistanceDecimalsAndCarriesNameAndElevation) {
  const CoordGrid source = PlaneList({{"A", "1", "2", "15.25"}, {"B", "-3", "0.5", ""}});
  CoordGrid target = EmptyTarget();
  const std::vector<std::string> labels = {"10", "2", "0", "20", "0", "3"};
  std::vector<std::size_t> progress;
  const ApplyResult r = ApplyAffine(source, target, labels, false, 3,
                                    [&](std::size_t row) { progress.push_back(row); });
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.rowsWritten, 2U);
  EXPECT_EQ(target.RowCount(), 3U);
  EXPECT_EQ(target.Cell(1, 0), "Easting");
  EXPECT_EQ(Row(target, 1), (std::vector<std::string>{"A", "12.000", "26.000", "15.25"}));
  EXPECT_EQ(Row(target, 2), (std::vector<std::string>{"B", "4.000", "21.500", ""}));
  EXPECT_EQ(progress, (std::vector<std::size_t>{1, 2}));
  // Zero decimals write whole metres.
  ASSERT_TRUE(ApplyAffine(source, target, labels, false, 0).ok);
  EXPECT_EQ(target.Cell(2, 2), "22");  // 21.5 rounds half to even
}

TEST(AffineApply, InverseUndoesForward) {
  const CoordGrid source =
      PlaneList({{"1", "412345.678", "4512345.123", "1"}, {"2", "413000.5", "4511000.25", "2"}});
  const std::vector<std::string> labels = {"-1203.52", "1.00012", "0.00031",
                                           "850.25",   "-0.0004", "0.99991"};
  CoordGrid forward = EmptyTarget();
  ASSERT_TRUE(ApplyAffine(source, forward, labels, false, 6).ok);
  CoordGrid back = EmptyTarget();
  ASSERT_TRUE(ApplyAffine(forward, back, labels, true, 3).ok);
  EXPECT_EQ(back.Cell(1, 1), "412345.678");
  EXPECT_EQ(back.Cell(2, 1), "4512345.123");
  EXPECT_EQ(back.Cell(1, 2), "413000.500");
  EXPECT_EQ(back.Cell(2, 2), "4511000.250");
}

TEST(AffineApply, FailuresKeepTheRowsWrittenAndNeverWriteInfOrNan) {
  const CoordGrid source =
      PlaneList({{"1", "1", "2", ""}, {"2", "3", "x", ""}, {"3", "5", "6", ""}});
  CoordGrid target = EmptyTarget();
  // A cell that is not a number: the first row stays.
  ApplyResult r =
      ApplyAffine(source, target, std::vector<std::string>{"0", "1", "0", "0", "0", "1"}, false, 3);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, kApplyFailure);
  EXPECT_EQ(r.rowsWritten, 1U);
  EXPECT_EQ(target.Cell(1, 1), "1.000");
  EXPECT_EQ(target.Cell(1, 2), "");

  // Labels still empty (nothing computed): the target is left cleared.
  target = EmptyTarget();
  target.SetRowCount(20);
  r = ApplyAffine(source, target, std::vector<std::string>(6), false, 3);
  EXPECT_EQ(r.message, kApplyFailure);
  EXPECT_EQ(target.RowCount(), 9U);

  // A singular transformation cannot be inverted (D = 0).
  const CoordGrid good = PlaneList({{"1", "1", "2", ""}});
  r = ApplyAffine(good, target, std::vector<std::string>{"0", "1", "2", "0", "2", "4"}, true, 3);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.rowsWritten, 0U);
  // A result beyond the extended range.
  r = ApplyAffine(good, target, std::vector<std::string>{"0", "1", "0", "0", "0", "1.1e4932"},
                  false, 3);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(target.Cell(1, 1), "");
}

TEST(SimilarityApply, ForwardAndInverseIncludingNinetyDegrees) {
  const CoordGrid source = PlaneList({{"P", "100", "50", "7"}});
  CoordGrid target = EmptyTarget();
  // Rotation 45°, scale √2: a = b = 1, so X = 10 + x + y, Y = 20 − x + y.
  const std::vector<std::string> labels = {"10", "20", "45", "1.4142135623731"};
  ASSERT_TRUE(ApplySimilarity(source, target, labels, false, 3).ok);
  EXPECT_EQ(Row(target, 1), (std::vector<std::string>{"P", "160.000", "-30.000", "7"}));
  CoordGrid back = EmptyTarget();
  ASSERT_TRUE(ApplySimilarity(target, back, labels, true, 3).ok);
  EXPECT_EQ(Row(back, 1), (std::vector<std::string>{"P", "100.000", "50.000", "7"}));

  // At exactly 90° cos θ is tiny and the inverse must still come back.
  const std::vector<std::string> quarter = {"1000", "2000", "90", "2"};
  ASSERT_TRUE(ApplySimilarity(source, target, quarter, false, 6).ok);
  ASSERT_TRUE(ApplySimilarity(target, back, quarter, true, 3).ok);
  EXPECT_EQ(back.Cell(1, 1), "100.000");
  EXPECT_EQ(back.Cell(2, 1), "50.000");

  // Scale 0 cannot be inverted.
  const ApplyResult r =
      ApplySimilarity(target, back, std::vector<std::string>{"0", "0", "10", "0"}, true, 3);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, kApplyFailure);
}

}  // namespace
}  // namespace halvex::geotools
