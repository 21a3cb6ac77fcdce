// SPDX-License-Identifier: GPL-3.0-or-later
// The stateless rules of the navigation window: parameter texts, fix
// colours, HDT headings, integer fields, the vessel symbol, measuring and
// the wheel.

#include "navigator/core/NavMath.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace halvex::navigator {
namespace {

constexpr const char* kEllips = "6378137.0  0.0033528106647474  6378388.0  0.0033670033670034";
constexpr const char* kDatum =
    "6378137 0.0033528106647474 0 0 0 0 0 0 0 6378388 0.0033670033670034 0 0 0 0 -84 -107 -120";
constexpr const char* kProjection = "27.0 0.0 1.0 500000.0 0.0 ED50-GK";

TEST(GeodeticParams, UsableTextsGiveTheTargetEllipsoidAndFiveNumbers) {
  const ParamsReading r = ReadGeodeticParams(kEllips, kDatum, kProjection);
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.params.targetA, 6378388.0L);
  EXPECT_EQ(r.params.targetF, 0.0033670033670034L);
  EXPECT_EQ(r.params.tm[0], 27.0L);
  EXPECT_EQ(r.params.tm[3], 500000.0L);

  // The two leading words are skipped whole, whatever they hold and however
  // long they are.
  EXPECT_EQ(ReadGeodeticParams("WGS84 GRS80 6378137 0.00335", kDatum, kProjection).params.targetA,
            6378137.0L);
  const ParamsReading longWord =
      ReadGeodeticParams("ABCDEFGHIJKLMNOPQRSTUVWXYZ 6378137 6378388 0.0033", kDatum, kProjection);
  EXPECT_EQ(longWord.params.targetA, 6378388.0L);
}

TEST(GeodeticParams, TextsThatCannotWorkAreRefusedWithAReason) {
  struct Case {
    const char* ellips;
    const char* datum;
    const char* projection;
    const char* error;
  };
  const Case cases[] = {
      {"6378137 0.0033 6378388", kDatum, kProjection, "target ellipsoid's a and f"},
      {"6378137 0.0033 6378388 298.257", kDatum, kProjection, "0 <= f < 1"},
      {"6378137 0.0033 nan nan", kDatum, kProjection, "target ellipsoid's a and f"},
      {"6378137 0.0033 -6378388 0.0033", kDatum, kProjection, "0 <= f < 1"},
      {kEllips, kDatum, "27 0 1 500000", "five numbers"},
      {kEllips, kDatum, "27 0 0 500000 0", "scale factor"},
      {kEllips, "6378137 0.0033 0 0 0", kProjection, "18 numbers"},
      {kEllips, "6378137 298.257 0 0 0 0 0 0 0 6378388 0.0033 0 0 0 0 0 0 0", kProjection,
       "each ellipsoid"},
  };
  for (const Case& c : cases) {
    const ParamsReading r = ReadGeodeticParams(c.ellips, c.datum, c.projection);
    EXPECT_NE(r.error.find(c.error), std::string::npos)
        << c.ellips << " | " << c.datum << " | " << c.projection << " -> " << r.error;
  }
}

TEST(FixQuality, ColoursAndTrackLayers) {
  EXPECT_EQ(FixQualityColor(4), kColorLime);
  EXPECT_EQ(FixQualityColor(0), kColorRed);
  EXPECT_EQ(FixQualityColor(1), kColorRed);
  EXPECT_EQ(FixQualityColor(2), kColorAqua);
  for (const int q : {-1, 3, 5, 6, 9}) EXPECT_EQ(FixQualityColor(q), kColorYellow) << q;
  for (const int q : {2, 4, 5}) EXPECT_TRUE(IsFixedQuality(q)) << q;
  for (const int q : {-1, 0, 1, 3, 6, 7}) EXPECT_FALSE(IsFixedQuality(q)) << q;
}

TEST(HdtHeading, OnlyHdtSentencesOfAnyTalkerMoveTheGyro) {
  EXPECT_EQ(ReadHdtHeading("$HEHDT,271.5,T*2B"), 271.5);
  EXPECT_EQ(ReadHdtHeading("$GPHDT,0.25,T*00"), 0.25);
  EXPECT_EQ(ReadHdtHeading("$HEHDT,,T*00"), std::nullopt) << "empty heading field";
  // "HDT" elsewhere in the sentence is not a heading.
  EXPECT_EQ(ReadHdtHeading("$GPWPL,4807.038,N,01131.000,E,SHDT*00"), std::nullopt);
  EXPECT_EQ(ReadHdtHeading("$GPHDG,98.3,0.0,E,12.6,W*00"), std::nullopt);
  EXPECT_EQ(ReadHdtHeading("$HDT"), std::nullopt);
  EXPECT_EQ(ReadHdtHeading("$HEHDT,nan,T*00"), std::nullopt);
}

TEST(IntegerField, IntegersOrTheFallback) {
  EXPECT_EQ(IntegerFieldOr("10", 3), 10);
  EXPECT_EQ(IntegerFieldOr(" -2 ", 3), -2);
  EXPECT_EQ(IntegerFieldOr("+7", 3), 7);
  for (const char* bad : {"", " ", "1.5", "abc", "12a", "0x10", "-", "99999999999"})
    EXPECT_EQ(IntegerFieldOr(bad, 3), 3) << bad;
}

TEST(VesselSymbolShape, PointsAlongTheHeading) {
  // Heading 0: bow due grid north, starboard east, port west.
  const VesselSymbol north = MakeVesselSymbol(1000, 2000, 0);
  EXPECT_NEAR(north.lines[0].x2, 1000, 1e-9);
  EXPECT_NEAR(north.lines[0].y2, 2100, 1e-9);
  EXPECT_NEAR(north.lines[1].x2, 1010, 1e-9);
  EXPECT_NEAR(north.lines[1].y2, 2000, 1e-9);
  EXPECT_NEAR(north.lines[2].x2, 990, 1e-9);
  // B-S and B-P close the triangle.
  EXPECT_EQ(north.lines[3].x1, north.lines[0].x2);
  EXPECT_EQ(north.lines[3].x2, north.lines[1].x2);
  EXPECT_EQ(north.lines[4].x2, north.lines[2].x2);
  EXPECT_EQ(north.radii[0], 10);
  EXPECT_EQ(north.radii[1], 20);

  // 90°: bow east; +1.5° turns it clockwise, towards the east.
  const VesselSymbol east = MakeVesselSymbol(0, 0, 90);
  EXPECT_NEAR(east.lines[0].x2, 100, 1e-9);
  EXPECT_NEAR(east.lines[0].y2, 0, 1e-9);
  const VesselSymbol turned = MakeVesselSymbol(0, 0, 1.5);
  EXPECT_NEAR(turned.lines[0].x2, 100 * std::sin(1.5 * M_PI / 180), 1e-9);
  EXPECT_GT(turned.lines[0].x2, 0);
}

TEST(Measuring, DistanceAndGridBearing) {
  EXPECT_EQ(DistanceText(MeasureFrom(1000, 1000, 1000, 900)), "Distance: 100.00 Bearing: 180.00");
  EXPECT_EQ(DistanceText(MeasureFrom(1000, 1000, 900, 1000)), "Distance: 100.00 Bearing: 270.00");
  EXPECT_EQ(DistanceText(MeasureFrom(1000, 1000, 1000, 1000)), "Distance: 0.00 Bearing: 0.00");
  EXPECT_EQ(DistanceText(MeasureFrom(1000, 1000, 1100, 1000)), "Distance: 100.00 Bearing: 90.00");
  EXPECT_EQ(DistanceText(MeasureFrom(0, 0, 3, 4)), "Distance: 5.00 Bearing: 36.87");
  EXPECT_EQ(DistanceText(MeasureFrom(0, 0, -3, 4)), "Distance: 5.00 Bearing: 323.13");
  EXPECT_EQ(CoordinatesText(1000, -900.004), "E:1000.00,N:-900.00");
}

TEST(MouseWheel, PanTowardsTheCursorThenZoomAboutIt) {
  const WheelStep up = MakeWheelStep(true, 110, 220, 100, 200);
  EXPECT_DOUBLE_EQ(up.panX, 1);
  EXPECT_DOUBLE_EQ(up.panY, 2);
  EXPECT_EQ(up.zoom, 0.1);
  const WheelStep down = MakeWheelStep(false, 110, 220, 100, 200);
  EXPECT_DOUBLE_EQ(down.panX, 0.1);
  EXPECT_DOUBLE_EQ(down.panY, 0.2);
  EXPECT_EQ(down.zoom, -0.1);
}

}  // namespace
}  // namespace halvex::navigator
