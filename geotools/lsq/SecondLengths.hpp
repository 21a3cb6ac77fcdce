// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Metres per second of arc north and east of a position, as the Helmert
// report turns each point's residual in latitude and longitude into metres.
//
// The report measures them as the lengths of the geodesics from the mean
// position to the points one second of arc north and one second east of it,
// by Vincenty's inverse formula. On an east-west line Vincenty's λ takes
// about eight rounds of extended-precision trigonometry to settle, which
// was more than half of the report's time. Only the printed text of each
// residual (the difference in seconds times the length, rounded to the
// distance decimals) reaches the user, so the report first takes closed
// forms that stay within kQuickTolerance of Vincenty's lengths and prints a
// residual from them only when every product the exact length could give
// rounds to the same text. The rare residual next to a rounding boundary is
// measured by Vincenty as before; the report reads the same either way.

#include <optional>
#include <string>

namespace halvex::geotools {

struct SecondLengths {
  long double north = 0.0L;  // metres per second of latitude
  long double east = 0.0L;   // metres per second of longitude
};

// Vincenty's lengths (GeodesicDistance from the position to one second
// north and to one second east); nullopt where the formula gives none.
std::optional<SecondLengths> VincentySecondLengths(long double a, long double f,
                                                   long double latitudeDeg,
                                                   long double longitudeDeg);

// Relative bound between the closed forms and Vincenty's lengths where the
// closed forms are taken. Their largest difference, over every latitude
// and ellipsoid they are taken for, is about 1.5e-11 (Vincenty's series
// are truncated at the eighth power of the second eccentricity); the bound
// leaves a hundredfold margin.
inline constexpr long double kQuickTolerance = 1e-9L;

// The closed forms: north, the meridian's radius of curvature at the
// middle latitude times the step in latitude; east, the chord between the
// two points of the parallel, lengthened to the arc by c²/24N². nullopt
// outside the range they were checked over: earth-sized ellipsoids (a from
// 6,300 to 6,400 km, inverse flattening from 250 to 350) and latitudes up
// to 89.5° north or south.
std::optional<SecondLengths> QuickSecondLengths(long double a, long double f,
                                                long double latitudeDeg,
                                                long double longitudeDeg);

// Appends the text AppendFixed gives for d × m, rounded to `decimals`, for
// every length m within kQuickTolerance of `quick`, and returns true; when
// those products do not all give the same text (or are not finite),
// appends nothing and returns false.
bool AppendCertainProduct(std::string& out, long double d, long double quick, int decimals);

}  // namespace halvex::geotools
