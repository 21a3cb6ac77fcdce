// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Unit conversions, angle forms, and distance and bearing on a sphere for
// the receiver's positions. Signed decimal degrees count north and east
// positive; all reals are extended precision.

#include "nmea/GpsTypes.hpp"

namespace halvex::nmea {

class TGPSPosition;

// π at full extended precision.
inline constexpr long double kGpsPi = 3.141592653589793238462643383279502884L;
// Radius of the sphere of the distance functions, in kilometres.
inline constexpr long double kEarthRadiusKm = 6378.14L;

// Round to the nearest integer, ties to the even one, whatever the
// floating-point rounding mode; NaN and infinities come back unchanged.
long double RoundHalfEven(long double x);

// --- Units ---
long double KmhToKnots(long double pSpeed);  // × 0.5397
long double KnotsToKmh(long double pSpeed);  // ÷ 0.5397
long double KmToMiles(long double pDist);    // statute miles
long double MilesToKm(long double pDist);
long double MetersToFeet(long double pDist);
long double FeetToMeters(long double pDist);
long double KmToNauticalMiles(long double pDist);
long double NauticalMilesToKm(long double pDist);

// --- Angles ---
long double DecimalDegreesToRadians(long double Degree);
long double RadiansToDecimalDegrees(long double Radian);

// Degree + Minute/60 + Second/3600, negated for south or west.
long double DMSToDecimalDegrees(int Degree, int Minute, long double Second,
                                TCardinalPoint Direction);
long double DMSToRadians(int Degree, int Minute, long double Second, TCardinalPoint Direction);

// The whole degrees and minutes of |DecDegree| and the remaining seconds;
// south (latitude) or west (longitude) for a negative value. Whole parts
// beyond the range of int saturate; NaN gives 0 for them.
void LatitudeDecimalDegreesToDMS(long double DecDegree, int& Degree, int& Minute,
                                 long double& Second, TCardinalPoint& Direction);
void LongitudeDecimalDegreesToDMS(long double DecDegree, int& Degree, int& Minute,
                                  long double& Second, TCardinalPoint& Direction);
void LatitudeRadiansToDMS(long double Radian, int& Degree, int& Minute, long double& Second,
                          TCardinalPoint& Direction);
void LongitudeRadiansToDMS(long double Radian, int& Degree, int& Minute, long double& Second,
                           TCardinalPoint& Direction);

// Degree, minute, second to degree and decimal minute, and back (the whole
// minutes and the fraction of a minute as seconds, both keeping the sign).
void DMSToDM(int dmsDegree, int dmsMinute, long double dmsSecond, int& Degree, long double& Minute);
void DMToDMS(int dmDegree, long double dmMinute, int& Degree, int& Minute, long double& Second);

// --- Distance and bearing ---
// Great-circle distance (spherical law of cosines) between two points in
// signed decimal degrees, and in degree, minute, second and direction.
long double Distance_KM(long double Latitude1, long double Longitude1, long double Latitude2,
                        long double Longitude2);
long double Distance_KM(int LatDegree1, int LatMinute1, long double LatSecond1,
                        TCardinalPoint LatDirection1, int LonDegree1, int LonMinute1,
                        long double LonSecond1, TCardinalPoint LonDirection1, int LatDegree2,
                        int LatMinute2, long double LatSecond2, TCardinalPoint LatDirection2,
                        int LonDegree2, int LonMinute2, long double LonSecond2,
                        TCardinalPoint LonDirection2);
long double Distance_Miles(long double Latitude1, long double Longitude1, long double Latitude2,
                           long double Longitude2);
long double Distance_Miles(int LatDegree1, int LatMinute1, long double LatSecond1,
                           TCardinalPoint LatDirection1, int LonDegree1, int LonMinute1,
                           long double LonSecond1, TCardinalPoint LonDirection1, int LatDegree2,
                           int LatMinute2, long double LatSecond2, TCardinalPoint LatDirection2,
                           int LonDegree2, int LonMinute2, long double LonSecond2,
                           TCardinalPoint LonDirection2);

// Initial great-circle course from point 1 to point 2, in degrees clockwise
// from true north, in [0, 360).
long double Bearing(long double Latitude1, long double Longitude1, long double Latitude2,
                    long double Longitude2);
long double Bearing(int LatDegree1, int LatMinute1, long double LatSecond1,
                    TCardinalPoint LatDirection1, int LonDegree1, int LonMinute1,
                    long double LonSecond1, TCardinalPoint LonDirection1, int LatDegree2,
                    int LatMinute2, long double LatSecond2, TCardinalPoint LatDirection2,
                    int LonDegree2, int LonMinute2, long double LonSecond2,
                    TCardinalPoint LonDirection2);

// The same from the current position of a receiver to a point.
long double DistanceTo_KM(const TGPSPosition& Position, long double Latitude,
                          long double Longitude);
long double DistanceTo_KM(const TGPSPosition& Position, int LatDegree, int LatMinute,
                          long double LatSecond, TCardinalPoint LatDirection, int LonDegree,
                          int LonMinute, long double LonSecond, TCardinalPoint LonDirection);
long double DistanceTo_Miles(const TGPSPosition& Position, long double Latitude,
                             long double Longitude);
long double DistanceTo_Miles(const TGPSPosition& Position, int LatDegree, int LatMinute,
                             long double LatSecond, TCardinalPoint LatDirection, int LonDegree,
                             int LonMinute, long double LonSecond, TCardinalPoint LonDirection);
long double BearingTo(const TGPSPosition& Position, long double Latitude, long double Longitude);
long double BearingTo(const TGPSPosition& Position, int LatDegree, int LatMinute,
                      long double LatSecond, TCardinalPoint LatDirection, int LonDegree,
                      int LonMinute, long double LonSecond, TCardinalPoint LonDirection);

}  // namespace halvex::nmea
