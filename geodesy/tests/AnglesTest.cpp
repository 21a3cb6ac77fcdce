// SPDX-License-Identifier: GPL-3.0-or-later
#include "geodesy/Angles.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "geodesy/CoordGrid.hpp"

namespace halvex::geodesy {
namespace {

TEST(Angles, ConstantsAreTheDocumentedExtendedValues) {
  // The reciprocal of the double value of π, and 1/180, 1/3600 in extended.
  EXPECT_EQ(kPi, static_cast<long double>(3.141592653589793));
  EXPECT_EQ(kInvPi, 0.3183098861837906839522896462746359702578L);
  EXPECT_EQ(kInv180, 0.005555555555555555555395560443296409935954L);
  EXPECT_EQ(kInv3600, 0.0002777777777777777777750719780851598739169L);
}

TEST(Angles, ConvertAngleUnitLetters) {
  EXPECT_EQ(ConvertAngle(180.0L, "r"), kPi * 180.0L * kInv180);
  EXPECT_EQ(ConvertAngle(180.0L, "R"), ConvertAngle(180.0L, "r"));
  EXPECT_EQ(ConvertAngle(kPi, "d"), kPi * 180.0L * kInvPi);
  EXPECT_EQ(ConvertAngle(kPi, "D"), ConvertAngle(kPi, "d"));
  EXPECT_EQ(ConvertAngle(1.0L, "deg"), 0.0L);
  EXPECT_EQ(ConvertAngle(1.0L, ""), 0.0L);
}

TEST(Angles, DmsToDegreesReadsOneToThreeNumbers) {
  EXPECT_EQ(DmsToDegrees("41 30 15"), 41.0L + 30.0L * kInv60 + 15.0L * kInv3600);
  EXPECT_NEAR(static_cast<double>(DmsToDegrees("41 30 15")), 41.5041666666667, 1e-12);
  EXPECT_EQ(DmsToDegrees("-41 30 15"), -41.0L - 30.0L * kInv60 - 15.0L * kInv3600);
  EXPECT_EQ(DmsToDegrees("41 30"), 41.5L);
  EXPECT_EQ(DmsToDegrees("41.5"), 41.5L);
  EXPECT_EQ(DmsToDegrees("\t41.5 junk 7"), 41.5L);
  EXPECT_EQ(DmsToDegrees("N41 30"), 0.0L);
  EXPECT_EQ(DmsToDegrees(""), 0.0L);
}

// The minus of a zero degrees field is the sign of the angle: half a degree
// west is typed "-0 30". Only texts whose degrees are a negative zero read
// differently from a plain "d < 0" test.
TEST(Angles, DmsToDegreesTakesTheSignOfANegativeZeroDegreesField) {
  EXPECT_EQ(DmsToDegrees("-0 30 00"), -0.5L);
  EXPECT_EQ(DmsToDegrees("-0 30"), -0.5L);
  EXPECT_EQ(DmsToDegrees("-0.0 0 36"), -0.01L);
  EXPECT_EQ(DmsToDegrees("-0 30 15"), -(30.0L * kInv60 + 15.0L * kInv3600));
  EXPECT_TRUE(std::signbit(DmsToDegrees("-0 0 0")));
  EXPECT_TRUE(std::signbit(DmsToDegrees("-0")));
  // A zero without a minus stays east and north.
  EXPECT_EQ(DmsToDegrees("0 30"), 0.5L);
  EXPECT_EQ(DmsToDegrees("+0 30"), 0.5L);
  EXPECT_FALSE(std::signbit(DmsToDegrees("0 0 0")));
  // Written back in DMS form the sign survives the round trip.
  EXPECT_EQ(DegreesToDms(DmsToDegrees("-0 30 15"), "DMS"), "-0  30  15.0000");
}

TEST(Angles, DegreesToDmsFieldsAndRounding) {
  EXPECT_EQ(DegreesToDms(41.504166666L, "DMS"), "41  30  15.0000");
  EXPECT_EQ(DegreesToDms(41.504166666L, "dms"), "41  30  15.0000");
  EXPECT_EQ(DegreesToDms(41.504166666L, "dm"), "41  30.250000");
  EXPECT_EQ(DegreesToDms(-41.5L, "DMS"), "-41  30  0.0000");
  EXPECT_EQ(DegreesToDms(41.0841666666666L, "DMS"), "41  5  3.0000");
  EXPECT_EQ(DegreesToDms(-0.5L, "DMS"), "-0  30  0.0000");
  EXPECT_EQ(DegreesToDms(41.5L, "D"), "");
  EXPECT_EQ(DegreesToDms(41.5L, "Dms"), "");
  // Each field rounds on its own: no carry from seconds into minutes.
  EXPECT_EQ(DegreesToDms(10.0L + 59.0L / 60.0L + 59.99999L / 3600.0L, "DMS"), "10  59  60.0000");
  OutputPrecision coarse;
  coarse.seconds = 1;
  coarse.minutes = 2;
  EXPECT_EQ(DegreesToDms(41.504166666L, "DMS", coarse), "41  30  15.0");
  EXPECT_EQ(DegreesToDms(41.504166666L, "DM", coarse), "41  30.25");
}

TEST(Angles, CycleAngleFormatTurnsDToDmToDmsToD) {
  std::string lat = "41.50416667";
  std::string lon = "-29.25";
  CycleAngleFormat(lat, lon);
  EXPECT_EQ(lat, "41  30.250000");
  EXPECT_EQ(lon, "-29  15.000000");
  CycleAngleFormat(lat, lon);
  EXPECT_EQ(lat, "41  30  15.0000");
  EXPECT_EQ(lon, "-29  15  0.0000");
  CycleAngleFormat(lat, lon);
  EXPECT_EQ(lat, "41.50416667");
  EXPECT_EQ(lon, "-29.25000000");
}

TEST(Angles, CycleAngleFormatDecidesByTheFirstFieldThatHoldsANumber) {
  std::string lat = "";
  std::string lon = "29 15";
  CycleAngleFormat(lat, lon);  // decided by the second: DM to DMS; the empty field reads as 0
  EXPECT_EQ(lat, "0  0  0.0000");
  EXPECT_EQ(lon, "29  15  0.0000");

  lat = "41.5";  // D decides although the second field is DMS
  lon = "29 15 0";
  CycleAngleFormat(lat, lon);
  EXPECT_EQ(lat, "41  30.000000");
  EXPECT_EQ(lon, "29  15.000000");

  lat = "north";
  lon = "east";
  CycleAngleFormat(lat, lon);
  EXPECT_EQ(lat, "north");
  EXPECT_EQ(lon, "east");
}

TEST(Angles, CycleGridAngleFormatRewritesEveryRow) {
  CoordGrid grid(4, 3);
  grid.SetCell(0, 0, "No");
  grid.SetCell(1, 1, "41 30 15");
  grid.SetCell(2, 1, "29 10 5");
  grid.SetCell(3, 1, "120");
  grid.SetCell(1, 2, "40 0 0");
  grid.SetCell(2, 2, "");
  CycleGridAngleFormat(grid);
  EXPECT_EQ(grid.Cell(1, 1), "41.504166667");
  EXPECT_EQ(grid.Cell(2, 1), "29.168055556");
  EXPECT_EQ(grid.Cell(3, 1), "120");
  EXPECT_EQ(grid.Cell(1, 2), "40.000000000");
  EXPECT_EQ(grid.Cell(2, 2), "0.000000000");
  EXPECT_EQ(grid.Cell(0, 0), "No");
  CycleGridAngleFormat(grid);
  EXPECT_EQ(grid.Cell(1, 1), "41  30.250000");

  CoordGrid empty(4, 2);
  CycleGridAngleFormat(empty);
  EXPECT_EQ(empty.Cell(1, 1), "");
}

}  // namespace
}  // namespace halvex::geodesy
