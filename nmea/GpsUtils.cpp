// SPDX-License-Identifier: GPL-3.0-or-later
#include "nmea/GpsUtils.hpp"

#include <algorithm>
#include <climits>
#include <cmath>

#include "nmea/GpsModel.hpp"
#include "nmea/NmeaText.hpp"

namespace halvex::nmea {
namespace {

constexpr long double kKnotsPerKmh = 0.5397L;
constexpr long double kKmPerMile = 1.609344L;
constexpr long double kFeetPerMeter = 3.2808399L;
constexpr long double kKmPerNauticalMile = 1.852L;

// The whole part of a value as an int, saturating outside the range of int
// and 0 for NaN, so that no conversion is undefined.
int WholePart(long double value) {
  if (std::isnan(value)) {
    return 0;
  }
  const long double whole = std::trunc(value);
  if (whole >= static_cast<long double>(INT_MAX)) {
    return INT_MAX;
  }
  if (whole <= static_cast<long double>(INT_MIN)) {
    return INT_MIN;
  }
  return static_cast<int>(whole);
}

void DecimalDegreesToDMS(long double DecDegree, int& Degree, int& Minute, long double& Second) {
  const long double a = std::fabs(DecDegree);
  Degree = WholePart(a);
  // The fractions come from the extended whole parts, so a value beyond the
  // range of int still leaves minutes and seconds below 60.
  const long double b = (a - std::trunc(a)) * 60.0L;
  Minute = WholePart(b);
  Second = (b - std::trunc(b)) * 60.0L;
}

// Distance in kilometres between two points in radians.
long double DistanceKm(long double phi1, long double lambda1, long double phi2,
                       long double lambda2) {
  // The cosine of a zero angle comes out a hair on either side of 1:
  // identical points are 0 apart, not a few millimetres.
  if (phi1 == phi2 && lambda1 == lambda2) {
    return 0.0L;
  }
  const long double halfPi = kGpsPi / 2.0L;
  const long double c =
      std::cos(halfPi - phi1) * std::cos(halfPi - phi2) +
      std::sin(halfPi - phi1) * std::sin(halfPi - phi2) * std::cos(lambda1 - lambda2);
  // Rounding can push the cosine of a tiny angle past 1 (or of nearly π
  // past -1), where arccos has no value; a NaN coordinate stays NaN.
  return std::acos(std::isnan(c) ? c : std::clamp(c, -1.0L, 1.0L)) * kEarthRadiusKm;
}

// Initial course in degrees, in [0, 360), between two points in radians.
long double BearingDeg(long double phi1, long double lambda1, long double phi2,
                       long double lambda2) {
  const long double course =
      std::atan2(std::sin(lambda2 - lambda1) * std::cos(phi2),
                 std::cos(phi1) * std::sin(phi2) -
                     std::sin(phi1) * std::cos(phi2) * std::cos(lambda2 - lambda1));
  const long double degrees = RadiansToDecimalDegrees(FloatMod(course, 2.0L * kGpsPi));
  // A course a hair below 0 is a hair below a full turn after the modulo
  // and may round to 360 in degrees: that is north again.
  return degrees >= 360.0L ? 0.0L : degrees;
}

struct Radians {
  long double lat;
  long double lon;
};

Radians FromDegrees(long double Latitude, long double Longitude) {
  return {DecimalDegreesToRadians(Latitude), DecimalDegreesToRadians(Longitude)};
}

Radians FromDMS(int LatDegree, int LatMinute, long double LatSecond, TCardinalPoint LatDirection,
                int LonDegree, int LonMinute, long double LonSecond, TCardinalPoint LonDirection) {
  return {DMSToRadians(LatDegree, LatMinute, LatSecond, LatDirection),
          DMSToRadians(LonDegree, LonMinute, LonSecond, LonDirection)};
}

Radians FromPosition(const TGPSPosition& p) {
  return FromDMS(p.Latitude_Degree(), p.Latitude_Minute(), p.Latitude_Second(),
                 p.Latitude_Direction(), p.Longitude_Degree(), p.Longitude_Minute(),
                 p.Longitude_Second(), p.Longitude_Direction());
}

long double DistanceKm(Radians p1, Radians p2) {
  return DistanceKm(p1.lat, p1.lon, p2.lat, p2.lon);
}
long double BearingDeg(Radians p1, Radians p2) {
  return BearingDeg(p1.lat, p1.lon, p2.lat, p2.lon);
}

}  // namespace

long double RoundHalfEven(long double x) {
  if (!std::isfinite(x)) {
    return x;
  }
  long double r = std::round(x);  // ties away from zero
  // x − r is exact: both lie within one unit of each other.
  if (std::fabs(x - r) == 0.5L && std::fmod(r, 2.0L) != 0.0L) {
    r -= std::copysign(1.0L, x);
  }
  return r;
}

long double KmhToKnots(long double pSpeed) { return pSpeed * kKnotsPerKmh; }
long double KnotsToKmh(long double pSpeed) { return pSpeed / kKnotsPerKmh; }
long double KmToMiles(long double pDist) { return pDist / kKmPerMile; }
long double MilesToKm(long double pDist) { return pDist * kKmPerMile; }
long double MetersToFeet(long double pDist) { return pDist * kFeetPerMeter; }
long double FeetToMeters(long double pDist) { return pDist / kFeetPerMeter; }
long double KmToNauticalMiles(long double pDist) { return pDist / kKmPerNauticalMile; }
long double NauticalMilesToKm(long double pDist) { return pDist * kKmPerNauticalMile; }

long double DecimalDegreesToRadians(long double Degree) { return Degree * kGpsPi / 180.0L; }
long double RadiansToDecimalDegrees(long double Radian) { return Radian * 180.0L / kGpsPi; }

long double DMSToDecimalDegrees(int Degree, int Minute, long double Second,
                                TCardinalPoint Direction) {
  const long double degrees = Degree + Minute / 60.0L + Second / 3600.0L;
  return Direction == TCardinalPoint::cpSouth || Direction == TCardinalPoint::cpWest ? -degrees
                                                                                     : degrees;
}

long double DMSToRadians(int Degree, int Minute, long double Second, TCardinalPoint Direction) {
  return DMSToDecimalDegrees(Degree, Minute, Second, Direction) * kGpsPi / 180.0L;
}

void LatitudeDecimalDegreesToDMS(long double DecDegree, int& Degree, int& Minute,
                                 long double& Second, TCardinalPoint& Direction) {
  Direction = DecDegree < 0.0L ? TCardinalPoint::cpSouth : TCardinalPoint::cpNorth;
  DecimalDegreesToDMS(DecDegree, Degree, Minute, Second);
}

void LongitudeDecimalDegreesToDMS(long double DecDegree, int& Degree, int& Minute,
                                  long double& Second, TCardinalPoint& Direction) {
  Direction = DecDegree < 0.0L ? TCardinalPoint::cpWest : TCardinalPoint::cpEast;
  DecimalDegreesToDMS(DecDegree, Degree, Minute, Second);
}

void LatitudeRadiansToDMS(long double Radian, int& Degree, int& Minute, long double& Second,
                          TCardinalPoint& Direction) {
  LatitudeDecimalDegreesToDMS(RadiansToDecimalDegrees(Radian), Degree, Minute, Second, Direction);
}

void LongitudeRadiansToDMS(long double Radian, int& Degree, int& Minute, long double& Second,
                           TCardinalPoint& Direction) {
  LongitudeDecimalDegreesToDMS(RadiansToDecimalDegrees(Radian), Degree, Minute, Second, Direction);
}

void DMSToDM(int dmsDegree, int dmsMinute, long double dmsSecond, int& Degree,
             long double& Minute) {
  Degree = dmsDegree;
  Minute = dmsMinute + dmsSecond / 60.0L;
}

void DMToDMS(int dmDegree, long double dmMinute, int& Degree, int& Minute, long double& Second) {
  Degree = dmDegree;
  Minute = WholePart(dmMinute);
  Second = (dmMinute - std::trunc(dmMinute)) * 60.0L;
}

long double Distance_KM(long double Latitude1, long double Longitude1, long double Latitude2,
                        long double Longitude2) {
  return DistanceKm(FromDegrees(Latitude1, Longitude1), FromDegrees(Latitude2, Longitude2));
}

long double Distance_KM(int LatDegree1, int LatMinute1, long double LatSecond1,
                        TCardinalPoint LatDirection1, int LonDegree1, int LonMinute1,
                        long double LonSecond1, TCardinalPoint LonDirection1, int LatDegree2,
                        int LatMinute2, long double LatSecond2, TCardinalPoint LatDirection2,
                        int LonDegree2, int LonMinute2, long double LonSecond2,
                        TCardinalPoint LonDirection2) {
  return DistanceKm(FromDMS(LatDegree1, LatMinute1, LatSecond1, LatDirection1, LonDegree1,
                            LonMinute1, LonSecond1, LonDirection1),
                    FromDMS(LatDegree2, LatMinute2, LatSecond2, LatDirection2, LonDegree2,
                            LonMinute2, LonSecond2, LonDirection2));
}

long double Distance_Miles(long double Latitude1, long double Longitude1, long double Latitude2,
                           long double Longitude2) {
  return KmToMiles(Distance_KM(Latitude1, Longitude1, Latitude2, Longitude2));
}

long double Distance_Miles(int LatDegree1, int LatMinute1, long double LatSecond1,
                           TCardinalPoint LatDirection1, int LonDegree1, int LonMinute1,
                           long double LonSecond1, TCardinalPoint LonDirection1, int LatDegree2,
                           int LatMinute2, long double LatSecond2, TCardinalPoint LatDirection2,
                           int LonDegree2, int LonMinute2, long double LonSecond2,
                           TCardinalPoint LonDirection2) {
  return KmToMiles(Distance_KM(LatDegree1, LatMinute1, LatSecond1, LatDirection1, LonDegree1,
                               LonMinute1, LonSecond1, LonDirection1, LatDegree2, LatMinute2,
                               LatSecond2, LatDirection2, LonDegree2, LonMinute2, LonSecond2,
                               LonDirection2));
}

long double Bearing(long double Latitude1, long double Longitude1, long double Latitude2,
                    long double Longitude2) {
  return BearingDeg(FromDegrees(Latitude1, Longitude1), FromDegrees(Latitude2, Longitude2));
}

long double Bearing(int LatDegree1, int LatMinute1, long double LatSecond1,
                    TCardinalPoint LatDirection1, int LonDegree1, int LonMinute1,
                    long double LonSecond1, TCardinalPoint LonDirection1, int LatDegree2,
                    int LatMinute2, long double LatSecond2, TCardinalPoint LatDirection2,
                    int LonDegree2, int LonMinute2, long double LonSecond2,
                    TCardinalPoint LonDirection2) {
  return BearingDeg(FromDMS(LatDegree1, LatMinute1, LatSecond1, LatDirection1, LonDegree1,
                            LonMinute1, LonSecond1, LonDirection1),
                    FromDMS(LatDegree2, LatMinute2, LatSecond2, LatDirection2, LonDegree2,
                            LonMinute2, LonSecond2, LonDirection2));
}

long double DistanceTo_KM(const TGPSPosition& Position, long double Latitude,
                          long double Longitude) {
  return DistanceKm(FromPosition(Position), FromDegrees(Latitude, Longitude));
}

long double DistanceTo_KM(const TGPSPosition& Position, int LatDegree, int LatMinute,
                          long double LatSecond, TCardinalPoint LatDirection, int LonDegree,
                          int LonMinute, long double LonSecond, TCardinalPoint LonDirection) {
  return DistanceKm(FromPosition(Position), FromDMS(LatDegree, LatMinute, LatSecond, LatDirection,
                                                    LonDegree, LonMinute, LonSecond, LonDirection));
}

long double DistanceTo_Miles(const TGPSPosition& Position, long double Latitude,
                             long double Longitude) {
  return KmToMiles(DistanceTo_KM(Position, Latitude, Longitude));
}

long double DistanceTo_Miles(const TGPSPosition& Position, int LatDegree, int LatMinute,
                             long double LatSecond, TCardinalPoint LatDirection, int LonDegree,
                             int LonMinute, long double LonSecond, TCardinalPoint LonDirection) {
  return KmToMiles(DistanceTo_KM(Position, LatDegree, LatMinute, LatSecond, LatDirection, LonDegree,
                                 LonMinute, LonSecond, LonDirection));
}

long double BearingTo(const TGPSPosition& Position, long double Latitude, long double Longitude) {
  return BearingDeg(FromPosition(Position), FromDegrees(Latitude, Longitude));
}

long double BearingTo(const TGPSPosition& Position, int LatDegree, int LatMinute,
                      long double LatSecond, TCardinalPoint LatDirection, int LonDegree,
                      int LonMinute, long double LonSecond, TCardinalPoint LonDirection) {
  return BearingDeg(FromPosition(Position), FromDMS(LatDegree, LatMinute, LatSecond, LatDirection,
                                                    LonDegree, LonMinute, LonSecond, LonDirection));
}

}  // namespace halvex::nmea
