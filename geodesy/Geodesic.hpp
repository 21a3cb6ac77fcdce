// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The ellipsoidal distance between two points (the inverse geodetic
// problem) by Vincenty's iteration: T. Vincenty, "Direct and inverse
// solutions of geodesics on the ellipsoid with application of nested
// equations", Survey Review 23 (176), 1975. Accurate to about 0.1 mm on
// the WGS-84 ellipsoid; the iteration converges slowly or not at all for
// nearly antipodal points, where this gives no answer.

#include <optional>

namespace halvex::geodesy {

// Distance in the unit of a; angles in degrees. Empty when the iteration
// does not settle within 200 rounds (points within a degree or two of each
// other's antipode) or the numbers are not finite.
std::optional<long double> GeodesicDistance(long double a, long double f, long double latitude1Deg,
                                            long double longitude1Deg, long double latitude2Deg,
                                            long double longitude2Deg);

// The sine and cosine of a point's reduced latitude, atan((1 − f)·tan φ),
// for computing several distances from one latitude without repeating them.
struct ReducedLatitude {
  long double sinU = 0.0L;
  long double cosU = 1.0L;
};
ReducedLatitude ReduceLatitude(long double f, long double latitudeDeg);

// The same distance from the reduced latitudes of both points; equal, bit
// for bit, to the form above with the latitudes they were reduced from.
std::optional<long double> GeodesicDistance(long double a, long double f,
                                            const ReducedLatitude& point1,
                                            long double longitude1Deg,
                                            const ReducedLatitude& point2,
                                            long double longitude2Deg);

}  // namespace halvex::geodesy
