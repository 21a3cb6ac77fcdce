// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Number-level forms of the text operations, for chaining them without
// writing and re-reading the intermediate texts. Each one gives exactly the
// numbers its text operation would write; the chains reproduce the rounding
// of every intermediate text with the RoundTrip functions of NumberText.

#include <optional>
#include <string>
#include <string_view>

#include "geodesy/OutputPrecision.hpp"

namespace halvex::geodesy::internal {

struct Triple {
  long double x = 0.0L;
  long double y = 0.0L;
  long double z = 0.0L;
};

Triple GeodeticToEcefValues(long double latitudeDeg, long double longitudeDeg, long double heightM,
                            long double a, long double f);

// Within 0.01° of the polar axis (p < |z|·tan 0.01°) EcefToGeodeticValues
// takes its height by another formula; callers that mirror it use the same
// boundary.
inline constexpr long double kNearAxisTangent = 1.7453e-4L;

// Latitude and longitude in degrees and height in metres; empty when
// EcefToGeodetic answers with the empty text.
std::optional<Triple> EcefToGeodeticValues(long double xM, long double yM, long double zM,
                                           long double a, long double f);

std::string FormatGeodetic(const Triple& geodetic, const OutputPrecision& precision);
std::string FormatEcef(const Triple& ecef);

// Seven Helmert parameters ready to apply: the rotation matrix, scale and
// shift, and the inverse of the scaled rotation for the backward direction.
struct PreparedHelmert {
  long double r[3][3] = {};
  long double scale = 1.0L;
  long double t[3] = {};
  long double inverse[3][3] = {};
  bool invertible = false;
};

// params: ds (ppm), rx, ry, rz (arc-seconds), tx, ty, tz (metres).
PreparedHelmert PrepareHelmert(const double params[7]);
Triple HelmertForward(const PreparedHelmert& h, double x, double y, double z);
Triple HelmertBackward(const PreparedHelmert& h, double x, double y, double z);

// The numbers of a datum pair text, and each datum's parameters as the
// Helmert step reads them after they were written with 15 digits.
struct PreparedPair {
  bool valid = false;
  long double numbers[18] = {};  // as read
  long double a1 = 0.0L, f1 = 0.0L, a2 = 0.0L, f2 = 0.0L;
  bool helmert1Valid = false, helmert2Valid = false;
  PreparedHelmert helmert1, helmert2;
};

// Read with double-precision conversions (the geodetic chain) or extended
// ones (the ECEF chain). Cached per thread for the last text seen.
const PreparedPair& PairForGeodetic(std::string_view pairText);
const PreparedPair& PairForEcef(std::string_view pairText);

// An ECEF text "X\tY\tZ" of 15 significant digits as read back with
// extended conversions; empty when a number would not read back.
std::optional<Triple> ReadBackExtended(const Triple& ecef);

// The geodetic chain up to its last step. Empty on failure (the text "0").
std::optional<Triple> DatumChainEcef(double latitudeDeg, double longitudeDeg, double heightM,
                                     const PreparedPair& pair);

}  // namespace halvex::geodesy::internal
