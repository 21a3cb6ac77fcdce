// SPDX-License-Identifier: GPL-3.0-or-later
#include "nmea/GpsUtils.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <initializer_list>
#include <limits>

#include "nmea/GpsModel.hpp"

namespace halvex::nmea {
namespace {

using CP = TCardinalPoint;

TEST(GpsUtils, RoundHalfEvenBreaksTiesToEven) {
  EXPECT_EQ(RoundHalfEven(0.5L), 0.0L);
  EXPECT_EQ(RoundHalfEven(1.5L), 2.0L);
  EXPECT_EQ(RoundHalfEven(2.5L), 2.0L);
  EXPECT_EQ(RoundHalfEven(-2.5L), -2.0L);
  EXPECT_EQ(RoundHalfEven(-3.5L), -4.0L);
  EXPECT_EQ(RoundHalfEven(2.5000000001L), 3.0L);
  EXPECT_EQ(RoundHalfEven(-0.4L), 0.0L);
  EXPECT_TRUE(std::isnan(RoundHalfEven(std::numeric_limits<long double>::quiet_NaN())));
}

TEST(GpsUtils, UnitFactorsAndDirections) {
  EXPECT_EQ(KmhToKnots(100.0L), 100.0L * 0.5397L);
  EXPECT_EQ(KnotsToKmh(0.5397L), 1.0L);
  EXPECT_EQ(MilesToKm(1.0L), 1.609344L);
  EXPECT_EQ(KmToMiles(1.609344L), 1.0L);
  EXPECT_EQ(MetersToFeet(1.0L), 3.2808399L);
  EXPECT_EQ(FeetToMeters(3.2808399L), 1.0L);
  EXPECT_EQ(NauticalMilesToKm(1.0L), 1.852L);
  EXPECT_EQ(KmToNauticalMiles(1.852L), 1.0L);
  // π at full extended precision, not the double value widened.
  EXPECT_GT(kGpsPi, static_cast<long double>(3.141592653589793));
  EXPECT_EQ(kGpsPi, std::acos(-1.0L));
  EXPECT_NEAR(static_cast<double>(DecimalDegreesToRadians(180.0L) - kGpsPi), 0.0, 1e-18);
  EXPECT_NEAR(static_cast<double>(RadiansToDecimalDegrees(kGpsPi / 2.0L)), 90.0, 1e-15);
}

TEST(GpsUtils, DmsToDecimalSignsAndConversions) {
  const long double d = 48.0L + 7.0L / 60.0L + 2.28L / 3600.0L;
  EXPECT_EQ(DMSToDecimalDegrees(48, 7, 2.28L, CP::cpNorth), d);
  EXPECT_EQ(DMSToDecimalDegrees(48, 7, 2.28L, CP::cpEast), d);
  EXPECT_EQ(DMSToDecimalDegrees(48, 7, 2.28L, CP::cpSouth), -d);
  EXPECT_EQ(DMSToDecimalDegrees(48, 7, 2.28L, CP::cpWest), -d);
  EXPECT_EQ(DMSToDecimalDegrees(0, 30, 0.0L, CP::cpNorth), 0.5L);  // real, not integer, division
  EXPECT_EQ(DMSToRadians(48, 7, 2.28L, CP::cpWest), -d * kGpsPi / 180.0L);

  int deg = 0, min = 0;
  long double sec = 0.0L;
  CP dir = CP::cpNorth;
  LatitudeDecimalDegreesToDMS(-d, deg, min, sec, dir);
  EXPECT_EQ(dir, CP::cpSouth);
  EXPECT_EQ(deg, 48);
  EXPECT_EQ(min, 7);
  EXPECT_NEAR(static_cast<double>(sec), 2.28, 1e-12);
  LatitudeDecimalDegreesToDMS(0.0L, deg, min, sec, dir);
  EXPECT_EQ(dir, CP::cpNorth);
  LongitudeDecimalDegreesToDMS(-11.5L, deg, min, sec, dir);
  EXPECT_EQ(dir, CP::cpWest);
  EXPECT_EQ(deg, 11);
  EXPECT_EQ(min, 30);
  EXPECT_EQ(sec, 0.0L);
  LongitudeDecimalDegreesToDMS(11.5L, deg, min, sec, dir);
  EXPECT_EQ(dir, CP::cpEast);
  LatitudeRadiansToDMS(-kGpsPi / 4.0L, deg, min, sec, dir);
  EXPECT_EQ(dir, CP::cpSouth);
  EXPECT_EQ(deg, 45);
  LongitudeRadiansToDMS(kGpsPi / 2.0L, deg, min, sec, dir);
  EXPECT_EQ(dir, CP::cpEast);
  EXPECT_EQ(deg + (min + sec / 60.0L) / 60.0L, RadiansToDecimalDegrees(kGpsPi / 2.0L));

  // Values no angle takes saturate the whole parts instead of overflowing.
  LatitudeDecimalDegreesToDMS(-1.0e30L, deg, min, sec, dir);
  EXPECT_EQ(dir, CP::cpSouth);
  EXPECT_EQ(deg, INT_MAX);
  EXPECT_EQ(min, 0);
  LongitudeDecimalDegreesToDMS(std::numeric_limits<long double>::quiet_NaN(), deg, min, sec, dir);
  EXPECT_EQ(deg, 0);
  EXPECT_EQ(min, 0);
}

TEST(GpsUtils, DegreeMinuteForms) {
  int deg = 0, min = 0;
  long double minutes = 0.0L, sec = 0.0L;
  DMSToDM(48, 7, 2.28L, deg, minutes);
  EXPECT_EQ(deg, 48);
  EXPECT_EQ(minutes, 7.0L + 2.28L / 60.0L);
  DMToDMS(11, 31.5L, deg, min, sec);
  EXPECT_EQ(deg, 11);
  EXPECT_EQ(min, 31);
  EXPECT_EQ(sec, 30.0L);
  DMToDMS(-3, -7.25L, deg, min, sec);  // parts keep the sign of the minute
  EXPECT_EQ(deg, -3);
  EXPECT_EQ(min, -7);
  EXPECT_EQ(sec, -15.0L);
}

TEST(GpsUtils, DistanceOnTheSphere) {
  const long double oneDegree = kEarthRadiusKm * kGpsPi / 180.0L;
  EXPECT_NEAR(static_cast<double>(Distance_KM(0.0L, 0.0L, 0.0L, 1.0L)),
              static_cast<double>(oneDegree), 1e-9);
  EXPECT_NEAR(static_cast<double>(Distance_KM(0.0L, 0.0L, 0.0L, 1.0L)), 111.32, 0.01);
  EXPECT_NEAR(static_cast<double>(Distance_KM(10.0L, 20.0L, 11.0L, 20.0L)),
              static_cast<double>(oneDegree), 1e-9);
  EXPECT_NEAR(static_cast<double>(Distance_KM(0.0L, 0.0L, 0.0L, 180.0L)),
              static_cast<double>(kEarthRadiusKm * kGpsPi), 1e-6);
  EXPECT_EQ(Distance_KM(12.5L, -30.25L, -40.0L, 100.0L),
            Distance_KM(-40.0L, 100.0L, 12.5L, -30.25L));
  EXPECT_EQ(Distance_Miles(0.0L, 0.0L, 0.0L, 1.0L), KmToMiles(Distance_KM(0.0L, 0.0L, 0.0L, 1.0L)));

  // The cosine of a zero angle rounds to either side of 1: identical points
  // are exactly 0 apart, never a few millimetres or NaN.
  for (long double lat = -89.75L; lat < 90.0L; lat += 3.125L) {
    for (long double lon = -179.5L; lon < 180.0L; lon += 7.3L) {
      ASSERT_EQ(Distance_KM(lat, lon, lat, lon), 0.0L) << lat << " " << lon;
    }
  }
  EXPECT_EQ(Distance_KM(48, 7, 2.28L, CP::cpNorth, 11, 31, 0.0L, CP::cpEast, 48, 7, 2.28L,
                        CP::cpNorth, 11, 31, 0.0L, CP::cpEast),
            0.0L);
  // Here the cosine rounds past 1: without the clamp arccos would be NaN.
  EXPECT_EQ(Distance_KM(-71.0L, -179.5L, -71.0L, -179.5L + 1e-12L), 0.0L);
  EXPECT_EQ(Distance_KM(-71.0L, -179.5L, -71.0L, 180.5L), 0.0L);
  // A few centimetres still read as a positive distance.
  EXPECT_GT(Distance_KM(48.1L, 11.5L, 48.1L + 1e-6L, 11.5L), 0.0L);

  // Degree-minute-second forms agree with signed decimal degrees.
  const long double lat1 = DMSToDecimalDegrees(48, 7, 2.28L, CP::cpSouth);
  const long double lon1 = DMSToDecimalDegrees(11, 31, 0.0L, CP::cpWest);
  const long double lat2 = DMSToDecimalDegrees(52, 30, 15.5L, CP::cpNorth);
  const long double lon2 = DMSToDecimalDegrees(4, 0, 1.0L, CP::cpEast);
  EXPECT_EQ(Distance_KM(48, 7, 2.28L, CP::cpSouth, 11, 31, 0.0L, CP::cpWest, 52, 30, 15.5L,
                        CP::cpNorth, 4, 0, 1.0L, CP::cpEast),
            Distance_KM(lat1, lon1, lat2, lon2));
  EXPECT_EQ(Distance_Miles(48, 7, 2.28L, CP::cpSouth, 11, 31, 0.0L, CP::cpWest, 52, 30, 15.5L,
                           CP::cpNorth, 4, 0, 1.0L, CP::cpEast),
            Distance_Miles(lat1, lon1, lat2, lon2));
  EXPECT_EQ(Bearing(48, 7, 2.28L, CP::cpSouth, 11, 31, 0.0L, CP::cpWest, 52, 30, 15.5L, CP::cpNorth,
                    4, 0, 1.0L, CP::cpEast),
            Bearing(lat1, lon1, lat2, lon2));
}

TEST(GpsUtils, BearingIsClockwiseFromNorthInRange) {
  EXPECT_NEAR(static_cast<double>(Bearing(0.0L, 0.0L, 0.0L, 1.0L)), 90.0, 1e-12);
  EXPECT_EQ(Bearing(0.0L, 0.0L, 1.0L, 0.0L), 0.0L);
  EXPECT_NEAR(static_cast<double>(Bearing(0.0L, 0.0L, -1.0L, 0.0L)), 180.0, 1e-12);
  EXPECT_NEAR(static_cast<double>(Bearing(0.0L, 0.0L, 0.0L, -1.0L)), 270.0, 1e-12);
  EXPECT_NEAR(static_cast<double>(Bearing(0.0L, 0.0L, 1.0L, -1.0L)), 315.0, 0.01);
  EXPECT_EQ(Bearing(20.0L, 30.0L, 20.0L, 30.0L), 0.0L);
  // Just west of due north the course is a hair below 0 and a hair below,
  // or exactly, a full turn after the modulo: still less than 360.
  for (const long double west : {1e-12L, 1e-17L, 1e-19L, 1e-30L}) {
    const long double b = Bearing(0.0L, 0.0L, 10.0L, -west);
    EXPECT_TRUE(b == 0.0L || (b > 359.999L && b < 360.0L)) << static_cast<double>(b);
  }
  for (long double lon = -180.0L; lon <= 180.0L; lon += 0.25L) {
    const long double b = Bearing(-33.0L, 151.0L, 51.5L, lon);
    ASSERT_GE(b, 0.0L) << lon;
    ASSERT_LT(b, 360.0L) << lon;
  }
}

TEST(GpsUtils, FromTheCurrentPosition) {
  TGPSPosition position;
  position.SetLatitude_Degree(48);
  position.SetLatitude_Minute(7);
  position.SetLatitude_Second(2.28L);
  position.SetLatitude_Direction(CP::cpSouth);
  position.SetLongitude_Degree(11);
  position.SetLongitude_Minute(31);
  position.SetLongitude_Direction(CP::cpWest);
  const long double lat = DMSToDecimalDegrees(48, 7, 2.28L, CP::cpSouth);
  const long double lon = DMSToDecimalDegrees(11, 31, 0.0L, CP::cpWest);

  EXPECT_EQ(DistanceTo_KM(position, lat, lon), 0.0L);
  EXPECT_EQ(DistanceTo_KM(position, 50.0L, 3.0L), Distance_KM(lat, lon, 50.0L, 3.0L));
  EXPECT_EQ(DistanceTo_Miles(position, 50.0L, 3.0L), Distance_Miles(lat, lon, 50.0L, 3.0L));
  EXPECT_EQ(BearingTo(position, 50.0L, 3.0L), Bearing(lat, lon, 50.0L, 3.0L));
  EXPECT_EQ(DistanceTo_KM(position, 50, 0, 0.0L, CP::cpNorth, 3, 0, 0.0L, CP::cpEast),
            Distance_KM(lat, lon, 50.0L, 3.0L));
  EXPECT_EQ(DistanceTo_Miles(position, 50, 0, 0.0L, CP::cpNorth, 3, 0, 0.0L, CP::cpEast),
            Distance_Miles(lat, lon, 50.0L, 3.0L));
  EXPECT_EQ(BearingTo(position, 50, 0, 0.0L, CP::cpNorth, 3, 0, 0.0L, CP::cpEast),
            Bearing(lat, lon, 50.0L, 3.0L));
}

}  // namespace
}  // namespace halvex::nmea
