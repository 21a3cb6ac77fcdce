// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Datum transformations through WGS-84: ECEF on the first datum, Helmert
// forward to WGS-84, Helmert backward to the second datum.
//
// The datum pair text holds 18 numbers: a, f, ds, rx, ry, rz, tx, ty, tz of
// the first datum, then the same of the second (Helmert parameters carry each
// datum to WGS-84; units as in Helmert.hpp). Every step writes its result as
// text and the next step reads it again: 15 significant digits between the
// steps (about 1e-8 m at Earth radius) and the output decimals at the end.

#include <string>
#include <string_view>

#include "geodesy/OutputPrecision.hpp"

namespace halvex::geodesy {

// Geodetic text "lat lon h" on the first datum to the second datum; all
// texts read with double-precision conversions. Mode "XYZ" gives
// "X\tY\tZ"; any other word "lat\tlon\th" (see EcefToGeodetic). "0" for a
// coordinate text of fewer than three numbers, a pair of fewer than 18, or
// a failed step; the empty text when the result lies on the polar axis.
std::string DatumTransformGeodetic(std::string_view mode, std::string_view geodeticText,
                                   std::string_view pairText,
                                   const OutputPrecision& precision = {});

// The reverse chain, from the second datum of the pair to the first, for an
// ECEF text "X Y Z" (its first three numbers, read with double-precision
// conversions; anything after them is ignored); the pair read with extended
// conversions. Results and failures as above.
std::string DatumTransformEcef(std::string_view mode, std::string_view ecefText,
                               std::string_view pairText, const OutputPrecision& precision = {});

}  // namespace halvex::geodesy
