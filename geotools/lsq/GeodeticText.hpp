// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The geodetic text of an ECEF point, as the Helmert report prints it for
// every adjusted and every initial position.
//
// The geodesy library finds the latitude by fixed-point iteration, about
// six rounds of extended-precision atan, sin and cos, which made these two
// conversions per point the largest part of the report's time. Only the
// printed text reaches the user (and the residuals, which are computed
// from the printed values), so the report first takes a closed form (two
// steps of Bowring's formula, no trigonometry but one atan) and prints from
// it only when every latitude and height within the iteration's own error
// of it prints the same text. The rare value next to a rounding boundary,
// and every point outside the range the closed form was checked over, go
// through the iteration as before; the report reads the same either way.

#include <optional>
#include <string>

#include "geodesy/OutputPrecision.hpp"

namespace halvex::geotools {

// A point's latitude, longitude (degrees) and height as its report line
// reads them: the numbers its text parses back to.
struct PrintedGeodetic {
  long double lat = 0.0L;
  long double lon = 0.0L;
  long double h = 0.0L;
};

// Appends "lat\tlon\th" exactly as geodesy::EcefToGeodetic writes it for
// the ECEF point on the ellipsoid (a, f) and returns what that text reads
// as. Throws ArithmeticFault where the point has no geodetic coordinates.
PrintedGeodetic AppendGeodeticText(std::string& out, long double x, long double y, long double z,
                                   long double a, long double f,
                                   const geodesy::OutputPrecision& precision);

// The closed form's latitude and height with the bounds within which the
// iteration's values lie.
struct QuickGeodetic {
  long double latitudeDeg = 0.0L;
  long double heightM = 0.0L;
  long double latitudeTolerance = 0.0L;  // degrees
  long double heightTolerance = 0.0L;    // metres
};

// The iteration stops when a round moves the latitude by at most 1e-12
// rad. Each round shrinks the error at least a hundredfold on earth-sized
// ellipsoids (its factor is about e² ≤ 0.008), so the iteration's latitude
// is within 1e-14 rad of the true one, and two Bowring steps in extended
// precision are closer still. The latitude bound is that last move, 1e-12
// rad, in degrees: a hundredfold margin over the largest difference seen.
inline constexpr long double kQuickLatitudeTolerance = 6e-11L;

// nullopt outside the range the closed form was checked over: earth-sized
// ellipsoids (a from 6,300 to 6,400 km, inverse flattening from 250 to
// 350), latitudes up to 89.5° north or south and heights from -10 to
// +100 km.
std::optional<QuickGeodetic> QuickEcefToGeodetic(long double x, long double y, long double z,
                                                 long double a, long double f);

}  // namespace halvex::geotools
