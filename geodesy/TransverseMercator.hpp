// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Transverse Mercator projection, its chains with the datum transformation,
// and the point scale factor and grid convergence.
//
// Forward and inverse use the series of Snyder, "Map Projections: A Working
// Manual" (USGS Professional Paper 1395, 1987, eqs. 3-21, 8-9 to 8-10 and
// 8-12 to 8-18): meridian arc to e^6, easting to A^5, northing to A^6,
// footpoint latitude through e1^4. Within 3° of the central meridian and
// 80° of the equator they agree with an exact transverse Mercator
// (GeographicLib, Krüger's series to 5 nm) to 1.4 mm forward and 0.7 mm
// inverse, most of it from the meridian arc cut off at e^6; the inverse
// of the forward returns a point to 1e-8° of arc. The scale factor and
// convergence are Redfearn's series as given in the GDA technical manual
// (ICSM 2002), within 1e-10 in k and 1e-10° in γ over the same range.
//
// The forward projection and the scale factor and convergence take a
// longitude as a meridian: 391° and −329° are 31°. One more than 180° from
// the central meridian is moved by whole turns until λ − λ0 lies in
// (−180°, 180°].
//
// UTM is an ordinary transverse Mercator here: the caller supplies all five
// parameters; no zone and no southern false northing is derived.

#include <string>
#include <string_view>

#include "geodesy/OutputPrecision.hpp"

namespace halvex::platform {
class IniStore;
}

namespace halvex::geodesy {

// Which two numbers of an ellipsoid text describe the grid's ellipsoid.
enum class EllipsoidForm {
  kLeading,  // "a f ...": the first two numbers (the geodesy tools)
  kTarget,   // "a1 f1 a2 f2": skip two tokens, use the third and fourth (navigation)
};

// geodeticText "lat lon" (degrees) to "E N" (metres, 15 significant digits,
// one space). tmParams "λ0 φ0 k0 FE FN" (degrees, degrees, -, metres, metres;
// further tokens ignored). "0" when a text lacks numbers.
std::string TmForward(std::string_view geodeticText, std::string_view tmParams,
                      std::string_view ellipsoidText, EllipsoidForm form = EllipsoidForm::kLeading);

// gridText "E N" (metres) to "lat lon" (degrees, 15 significant digits).
std::string TmInverse(std::string_view gridText, std::string_view tmParams,
                      std::string_view ellipsoidText, EllipsoidForm form = EllipsoidForm::kLeading);

// "lat lon" on the first datum of the pair to "E N" on the second datum's
// grid (the ellipsoid text names the grid's ellipsoid). The datum step
// writes latitude and longitude with precision.degrees decimals.
std::string GeodeticToGrid(std::string_view geodeticText, std::string_view pairText,
                           std::string_view tmParams, std::string_view ellipsoidText,
                           const OutputPrecision& precision = {},
                           EllipsoidForm form = EllipsoidForm::kLeading);

// "E N" on the grid of the first datum (ellipsoid text of that datum) to
// "lat lon" on the second datum, 15 significant digits.
std::string GridToGeodetic(std::string_view gridText, std::string_view pairText,
                           std::string_view tmParams, std::string_view ellipsoidText,
                           const OutputPrecision& precision = {},
                           EllipsoidForm form = EllipsoidForm::kLeading);

// The five parameter fields as typed. The central meridian and reference
// latitude may be D, DM or DMS texts.
struct TmFields {
  std::string centralMeridian;
  std::string referenceLatitude;
  std::string scaleFactor;
  std::string falseEasting;
  std::string falseNorthing;

  friend bool operator==(const TmFields&, const TmFields&) = default;
};

// "λ0 φ0 k0 FE FN": the two angles in decimal degrees (15 digits), the
// other three as typed, single spaces between.
std::string TmParamsFromFields(const TmFields& fields);

// Section "UTM" of the settings file; missing keys read as empty texts.
TmFields LoadTmSettings(const platform::IniStore& ini);
void SaveTmSettings(platform::IniStore& ini, const TmFields& fields);

// "PtScFac": point scale factor k; "GrdConv": grid convergence γ in degrees
// (negative east of the central meridian in the northern hemisphere; grid
// bearing = true bearing + γ); any other word: 0. Angles in degrees; the
// reference latitude and false origin are accepted and not used.
double ScaleAndConvergence(std::string_view what, double a, double f, double latitudeDeg,
                           double longitudeDeg, double centralMeridianDeg,
                           double referenceLatitudeDeg, double k0, double falseEastingM,
                           double falseNorthingM);

}  // namespace halvex::geodesy
