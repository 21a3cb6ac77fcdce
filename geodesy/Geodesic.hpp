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

}  // namespace halvex::geodesy
