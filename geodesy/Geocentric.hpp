// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Geodetic coordinates (latitude, longitude in degrees, ellipsoidal height in
// metres) to Earth-centred, Earth-fixed Cartesian coordinates and back, on an
// ellipsoid of semi-major axis a (metres) and flattening f.
//
// The reverse conversion is the classical fixed-point iteration on latitude
// and height (Heiskanen and Moritz 1967, ch. 5); it converges to 1e-12 rad
// within a handful of rounds for points from the Earth's interior shell to
// satellite heights. Departures from the bare iteration: at most 1000 rounds;
// points on the polar axis (X = Y = 0), at non-finite coordinates, or where
// the iteration does not settle give the empty text instead of looping or
// printing "nan"; a latitude that reaches the double value of π/2 while the
// point is off the axis (the North Pole as GeodeticToEcef writes it, at
// X = 3.9e-10 m) is an answer like any other, latitude 90 at both poles;
// and within 0.01° of the polar axis the height comes from
// the well-conditioned p·cos φ + z·sin φ − a²/N (the bare p/cos φ − N is
// off by millimetres 100 m from the axis and by kilometres 1e-9 m from it).

#include <string>

#include "geodesy/OutputPrecision.hpp"

namespace halvex::geodesy {

// "X\tY\tZ" (metres), 15 significant digits each.
std::string GeodeticToEcef(long double latitudeDeg, long double longitudeDeg, long double heightM,
                           long double a, long double f);

// "lat\tlon\th": degrees fixed-point with precision.degrees decimals, the
// height with precision.distance decimals; empty when there is no answer.
std::string EcefToGeodetic(long double xM, long double yM, long double zM, long double a,
                           long double f, const OutputPrecision& precision = {});

}  // namespace halvex::geodesy
