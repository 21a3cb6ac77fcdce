// SPDX-License-Identifier: GPL-3.0-or-later
//
// Snyder's transverse Mercator series (USGS PP 1395, 1987, pp. 60-64) and
// Redfearn's scale factor and convergence (GDA technical manual, 2002),
// transcribed term by term. Departures from the printed formulas, all for
// reproducibility: every product is evaluated left to right as printed,
// squares are x*x and higher powers powl, and the reciprocals 1/6, 1/24,
// 1/120 and 1/720 are multiplications by their extended values. One
// departure for the sake of the answer: a longitude more than 180° from the
// central meridian is first moved by whole turns to the same meridian within
// 180° of it (the series take λ − λ0 as an angle, not as a meridian, and
// gave eastings of 2.5e9 m for 391°); longitudes within range are untouched.
//
// Constants that depend only on the projection and ellipsoid texts (the
// meridian-arc coefficients, M(φ0), e1 and its powers) are computed once per
// thread and text; they are the same numbers the formulas would compute for
// every point.

#include "geodesy/TransverseMercator.hpp"

#include <cmath>

#include "geodesy/Angles.hpp"
#include "geodesy/DatumTransform.hpp"
#include "geodesy/NumberText.hpp"
#include "geodesy/internal/Values.hpp"
#include "platform/IniStore.hpp"

namespace halvex::geodesy {
namespace {

constexpr long double kInv6 = 1.0L / 6.0L;
constexpr long double kInv24 = 1.0L / 24.0L;
constexpr long double kInv120 = 1.0L / 120.0L;
constexpr long double kInv720 = 1.0L / 720.0L;

struct Projection {
  bool valid = false;
  long double centralMeridianDeg = 0.0L;
  long double lambda0 = 0.0L;  // radians
  long double phi0 = 0.0L;     // radians
  long double k0 = 0.0L;
  long double falseEasting = 0.0L;
  long double falseNorthing = 0.0L;
  long double a = 0.0L;
  long double e2 = 0.0L;
  long double ep2 = 0.0L;  // second eccentricity squared
  // M(x) = a·(c1·x − c2·sin 2x + c3·sin 4x − c4·sin 6x)
  long double c1 = 0.0L, c2 = 0.0L, c3 = 0.0L, c4 = 0.0L;
  long double m0 = 0.0L;  // M(φ0)
  // Footpoint latitude coefficients of sin 2μ ... sin 8μ.
  long double d2 = 0.0L, d4 = 0.0L, d6 = 0.0L, d8 = 0.0L;
};

// The longitude of the same meridian that lies within 180° of the central
// meridian, λ − λ0 in (−180°, 180°]. A longitude already there comes back
// as it is, to the bit; one outside moves by whole turns. The remainder of
// a division by 360 is exact, and so is adding or taking 360 from it
// (Sterbenz), so 391° and −329° become the very 31° they stand for.
long double NearCentralMeridian(long double longitudeDeg, long double centralMeridianDeg) {
  const long double offset = longitudeDeg - centralMeridianDeg;
  if (!(offset > 180.0L || offset <= -180.0L)) {
    return longitudeDeg;  // within range (or not a number, which stays as it is)
  }
  long double reduced = std::fmod(offset, 360.0L);
  if (reduced > 180.0L) {
    reduced -= 360.0L;
  } else if (reduced <= -180.0L) {
    reduced += 360.0L;
  }
  return centralMeridianDeg + reduced;
}

long double MeridianArc(const Projection& p, long double x) {
  return p.a * (p.c1 * x - p.c2 * std::sin(2.0L * x) + p.c3 * std::sin(4.0L * x) -
                p.c4 * std::sin(6.0L * x));
}

bool ReadEllipsoid(std::string_view text, EllipsoidForm form, long double& a, long double& f) {
  NumberScanner scanner(text);
  if (form == EllipsoidForm::kTarget && !(scanner.SkipToken() && scanner.SkipToken())) {
    return false;
  }
  return scanner.ReadExtended(a) && scanner.ReadExtended(f);
}

Projection Prepare(std::string_view tmParams, std::string_view ellipsoidText, EllipsoidForm form) {
  Projection p;
  long double v[5];
  NumberScanner scanner(tmParams);
  long double a = 0.0L, f = 0.0L;
  if (scanner.ReadExtendeds(v, 5) < 5 || !ReadEllipsoid(ellipsoidText, form, a, f)) {
    return p;
  }
  p.valid = true;
  p.centralMeridianDeg = v[0];
  p.lambda0 = ConvertAngle(v[0], "R");
  p.phi0 = ConvertAngle(v[1], "R");
  p.k0 = v[2];
  p.falseEasting = v[3];
  p.falseNorthing = v[4];
  p.a = a;

  const long double e = std::sqrt((2.0L - f) * f);
  const long double e2 = e * e;
  const long double e4 = std::pow(e, 4.0L);
  const long double e6 = std::pow(e, 6.0L);
  const long double ep = std::sqrt(e2 / (1.0L - e2));
  p.e2 = e2;
  p.ep2 = ep * ep;
  p.c1 = 1.0L - e2 / 4.0L - 3.0L * e4 / 64.0L - 5.0L * e6 / 256.0L;
  p.c2 = 3.0L * e2 / 8.0L + 3.0L * e4 / 32.0L + 45.0L * e6 / 1024.0L;
  p.c3 = 15.0L * e4 / 256.0L + 45.0L * e6 / 1024.0L;
  p.c4 = 35.0L * e6 / 3072.0L;
  p.m0 = MeridianArc(p, p.phi0);

  const long double root = std::pow(1.0L - e2, 0.5L);
  const long double e1 = (1.0L - root) / (1.0L + root);
  const long double e1p3 = std::pow(e1, 3.0L);
  const long double e1p4 = std::pow(e1, 4.0L);
  p.d2 = 3.0L * e1 / 2.0L - 27.0L * e1p3 / 32.0L;
  p.d4 = 21.0L * (e1 * e1) / 16.0L - 55.0L * e1p4 / 32.0L;
  p.d6 = 151.0L * e1p3 / 96.0L;
  p.d8 = 1097.0L * e1p4 / 512.0L;
  return p;
}

const Projection& CachedProjection(std::string_view tmParams, std::string_view ellipsoidText,
                                   EllipsoidForm form) {
  thread_local std::string params;
  thread_local std::string ellipsoid;
  thread_local EllipsoidForm cachedForm = EllipsoidForm::kLeading;
  thread_local Projection prepared;
  thread_local bool filled = false;
  if (!filled || cachedForm != form || params != tmParams || ellipsoid != ellipsoidText) {
    prepared = Prepare(tmParams, ellipsoidText, form);
    params.assign(tmParams);
    ellipsoid.assign(ellipsoidText);
    cachedForm = form;
    filled = true;
  }
  return prepared;
}

struct Pair {
  long double first = 0.0L;
  long double second = 0.0L;
};

Pair Forward(const Projection& p, long double latitudeDeg, long double longitudeDeg) {
  const long double phi = ConvertAngle(latitudeDeg, "R");
  const long double lambda =
      ConvertAngle(NearCentralMeridian(longitudeDeg, p.centralMeridianDeg), "R");
  const long double sinPhi = std::sin(phi);
  const long double cosPhi = std::cos(phi);
  const long double tanPhi = std::tan(phi);
  const long double t = tanPhi * tanPhi;
  const long double c = p.e2 * (cosPhi * cosPhi) / (1.0L - p.e2);
  const long double a = cosPhi * (lambda - p.lambda0);
  const long double n = p.a / std::sqrt(1.0L - p.e2 * (sinPhi * sinPhi));
  const long double a3 = std::pow(a, 3.0L);
  const long double a4 = std::pow(a, 4.0L);
  const long double a5 = std::pow(a, 5.0L);
  const long double a6 = std::pow(a, 6.0L);

  const long double easting =
      p.falseEasting + p.k0 * n *
                           (a + (1.0L - t + c) * a3 * kInv6 +
                            (5.0L - 18.0L * t + t * t + 72.0L * c - 58.0L * p.ep2) * a5 * kInv120);
  const long double northing =
      p.falseNorthing +
      p.k0 * (MeridianArc(p, phi) - p.m0 +
              n * tanPhi *
                  (a * a / 2.0L + (5.0L - t + 9.0L * c + 4.0L * (c * c)) * a4 * kInv24 +
                   (61.0L - 58.0L * t + t * t + 600.0L * c - 330.0L * p.ep2) * a6 * kInv720));
  return {easting, northing};
}

Pair Inverse(const Projection& p, long double x, long double y) {
  const long double m = (y - p.falseNorthing) / p.k0 + p.m0;
  const long double mu = m / (p.a * p.c1);
  const long double phi1 = mu + p.d2 * std::sin(2.0L * mu) + p.d4 * std::sin(4.0L * mu) +
                           p.d6 * std::sin(6.0L * mu) + p.d8 * std::sin(8.0L * mu);
  const long double sin1 = std::sin(phi1);
  const long double cos1 = std::cos(phi1);
  const long double tan1 = std::tan(phi1);
  const long double r1 = p.a * (1.0L - p.e2) / std::pow(1.0L - p.e2 * (sin1 * sin1), 1.5L);
  const long double t1 = tan1 * tan1;
  const long double c1 = p.ep2 * (cos1 * cos1);
  const long double n1 = p.a / std::sqrt(1.0L - p.e2 * (sin1 * sin1));
  const long double d = (x - p.falseEasting) / (n1 * p.k0);
  const long double d3 = std::pow(d, 3.0L);
  const long double d4 = std::pow(d, 4.0L);
  const long double d5 = std::pow(d, 5.0L);
  const long double d6 = std::pow(d, 6.0L);

  const long double phi =
      phi1 - n1 * tan1 / r1 *
                 (d * d / 2.0L -
                  (5.0L + 3.0L * t1 + 10.0L * c1 - 4.0L * (c1 * c1) - 9.0L * p.ep2) * d4 * kInv24 +
                  (61.0L + 90.0L * t1 + 298.0L * c1 + 45.0L * (t1 * t1) - 252.0L * p.ep2 -
                   3.0L * (c1 * c1)) *
                      d6 * kInv720);
  const long double lambda =
      p.lambda0 +
      (d - (1.0L + 2.0L * t1 + c1) * d3 * kInv6 +
       (5.0L - 2.0L * c1 + 28.0L * t1 - 3.0L * (c1 * c1) + 8.0L * p.ep2 + 24.0L * (t1 * t1)) * d5 *
           kInv120) /
          cos1;
  return {ConvertAngle(phi, "D"), ConvertAngle(lambda, "D")};
}

std::string PairText(const Pair& pair) {
  std::string text;
  text.reserve(48);
  AppendG15(text, pair.first);
  text.push_back(' ');
  AppendG15(text, pair.second);
  return text;
}

// The two numbers of a 15-digit "x y" text as an extended reader gets them.
bool ReadBack15(long double x, long double y, Pair& out) {
  const auto rx = RoundTripG15ToExtended(x);
  const auto ry = RoundTripG15ToExtended(y);
  if (!rx || !ry) {
    return false;
  }
  out = {*rx, *ry};
  return true;
}

bool ReadTwo(std::string_view text, Pair& out) {
  NumberScanner scanner(text);
  return scanner.ReadExtended(out.first) && scanner.ReadExtended(out.second);
}

}  // namespace

std::string TmForward(std::string_view geodeticText, std::string_view tmParams,
                      std::string_view ellipsoidText, EllipsoidForm form) {
  Pair geodetic;
  if (!ReadTwo(geodeticText, geodetic)) {
    return "0";
  }
  const Projection& p = CachedProjection(tmParams, ellipsoidText, form);
  if (!p.valid) {
    return "0";
  }
  return PairText(Forward(p, geodetic.first, geodetic.second));
}

std::string TmInverse(std::string_view gridText, std::string_view tmParams,
                      std::string_view ellipsoidText, EllipsoidForm form) {
  Pair grid;
  if (!ReadTwo(gridText, grid)) {
    return "0";
  }
  const Projection& p = CachedProjection(tmParams, ellipsoidText, form);
  if (!p.valid) {
    return "0";
  }
  return PairText(Inverse(p, grid.first, grid.second));
}

std::string GeodeticToGrid(std::string_view geodeticText, std::string_view pairText,
                           std::string_view tmParams, std::string_view ellipsoidText,
                           const OutputPrecision& precision, EllipsoidForm form) {
  // The datum step reads "<text> 0": the text's own numbers, then a zero
  // height where the text has no third number.
  NumberScanner scanner(geodeticText);
  double v[3] = {0.0, 0.0, 0.0};
  const int count = scanner.ReadDoubles(v, 3);
  if (count < 2) {
    return "0";
  }
  if (count == 2 && !scanner.Rest().empty() &&
      scanner.Rest().find_first_not_of(" \t\n\v\f\r") != std::string_view::npos) {
    // Something that is not a number follows: " 0" cannot be read after it.
    return "0";
  }
  const internal::PreparedPair& pair = internal::PairForGeodetic(pairText);
  const auto ecef = internal::DatumChainEcef(v[0], v[1], v[2], pair);
  if (!ecef) {
    return "0";
  }
  // The datum step's ECEF text, read back with extended conversions.
  const auto read = internal::ReadBackExtended(*ecef);
  if (!read) {
    return "0";
  }
  const auto geodetic = internal::EcefToGeodeticValues(read->x, read->y, read->z, pair.a2, pair.f2);
  if (!geodetic) {
    return "0";
  }
  const auto lat = RoundTripFixedToExtended(geodetic->x, precision.degrees);
  const auto lon = RoundTripFixedToExtended(geodetic->y, precision.degrees);
  Pair projected;
  if (!lat || !lon || !ReadBack15(*lat, *lon, projected)) {
    return "0";
  }
  const Projection& p = CachedProjection(tmParams, ellipsoidText, form);
  if (!p.valid) {
    return "0";
  }
  return PairText(Forward(p, projected.first, projected.second));
}

std::string GridToGeodetic(std::string_view gridText, std::string_view pairText,
                           std::string_view tmParams, std::string_view ellipsoidText,
                           const OutputPrecision& precision, EllipsoidForm form) {
  const std::string geodetic = TmInverse(gridText, tmParams, ellipsoidText, form);
  if (geodetic == "0") {
    return "0";
  }
  const std::string transformed =
      DatumTransformGeodetic("BLH", geodetic + " 0", pairText, precision);
  Pair result;
  if (!ReadTwo(transformed, result) || transformed == "0") {
    return "0";
  }
  return PairText(result);
}

std::string TmParamsFromFields(const TmFields& fields) {
  std::string text;
  AppendG15(text, DmsToDegrees(fields.centralMeridian));
  text.push_back(' ');
  AppendG15(text, DmsToDegrees(fields.referenceLatitude));
  text.push_back(' ');
  text += fields.scaleFactor;
  text.push_back(' ');
  text += fields.falseEasting;
  text.push_back(' ');
  text += fields.falseNorthing;
  return text;
}

namespace {
constexpr const char* kSection = "UTM";
constexpr const char* kCentralMeridian = "CentralMeridian";
constexpr const char* kReferenceLatitude = "ReferenceLatidute";  // the key as stored
constexpr const char* kScaleFactor = "ScaleFactor";
constexpr const char* kFalseEasting = "FalseEasting";
constexpr const char* kFalseNorthing = "FalseNorthing";
}  // namespace

TmFields LoadTmSettings(const platform::IniStore& ini) {
  TmFields fields;
  fields.centralMeridian = ini.ReadString(kSection, kCentralMeridian, "");
  fields.referenceLatitude = ini.ReadString(kSection, kReferenceLatitude, "");
  fields.scaleFactor = ini.ReadString(kSection, kScaleFactor, "");
  fields.falseEasting = ini.ReadString(kSection, kFalseEasting, "");
  fields.falseNorthing = ini.ReadString(kSection, kFalseNorthing, "");
  return fields;
}

void SaveTmSettings(platform::IniStore& ini, const TmFields& fields) {
  ini.WriteString(kSection, kCentralMeridian, fields.centralMeridian);
  ini.WriteString(kSection, kReferenceLatitude, fields.referenceLatitude);
  ini.WriteString(kSection, kScaleFactor, fields.scaleFactor);
  ini.WriteString(kSection, kFalseEasting, fields.falseEasting);
  ini.WriteString(kSection, kFalseNorthing, fields.falseNorthing);
}

double ScaleAndConvergence(std::string_view what, double a, double f, double latitudeDeg,
                           double longitudeDeg, double centralMeridianDeg,
                           double /*referenceLatitudeDeg*/, double k0, double /*falseEastingM*/,
                           double /*falseNorthingM*/) {
  const bool scale = what == "PtScFac";
  if (!scale && what != "GrdConv") {
    return 0.0;
  }
  // Named quantities are held in double; expressions run in extended.
  const auto phi = static_cast<double>(DegToRad(latitudeDeg));
  const auto longitude = static_cast<double>(NearCentralMeridian(longitudeDeg, centralMeridianDeg));
  const auto lambda = static_cast<double>(DegToRad(longitude));
  const auto lambda0 = static_cast<double>(DegToRad(centralMeridianDeg));
  const auto e = static_cast<double>(std::sqrt(static_cast<long double>(f) * (2.0L - f)));
  const auto e2 = static_cast<double>(static_cast<long double>(e) * e);
  const long double sinPhi = std::sin(static_cast<long double>(phi));
  const long double cosPhi = std::cos(static_cast<long double>(phi));
  const long double w = 1.0L - e2 * (sinPhi * sinPhi);
  const auto rho =
      static_cast<double>(static_cast<long double>(a) * (1.0L - e2) / std::pow(w, 1.5L));
  const auto nu = static_cast<double>(a / std::pow(w, 0.5L));
  const auto psi = static_cast<double>(static_cast<long double>(nu) / rho);
  const auto t = static_cast<double>(std::tan(static_cast<long double>(phi)));
  const auto omega = static_cast<double>(static_cast<long double>(lambda) - lambda0);

  const long double om = omega;
  const long double ps = psi;
  const long double tt = static_cast<long double>(t) * t;
  if (!scale) {
    const long double gamma =
        -om * sinPhi -
        std::pow(om, 3.0L) / 3.0L * sinPhi * (cosPhi * cosPhi) * (2.0L * (ps * ps) - ps) -
        std::pow(om, 5.0L) / 15.0L * sinPhi * std::pow(cosPhi, 4.0L) *
            (std::pow(ps, 4.0L) * (11.0L - 24.0L * tt) - std::pow(ps, 3.0L) * (11.0L - 36.0L * tt) +
             2.0L * (ps * ps) * (1.0L - 7.0L * tt) + ps * tt) -
        std::pow(om, 7.0L) / 315.0L * sinPhi * std::pow(cosPhi, 6.0L) *
            (17.0L - 26.0L * tt + 2.0L * std::pow(static_cast<long double>(t), 4.0L));
    return static_cast<double>(gamma * 180.0L * kInvPi);
  }
  const long double kk0 = k0;
  const long double k =
      kk0 + kk0 * (om * om / 2.0L) * ps * (cosPhi * cosPhi) +
      kk0 * (std::pow(om, 4.0L) * kInv24) * std::pow(cosPhi, 4.0L) *
          (4.0L * std::pow(ps, 3.0L) * (1.0L - 6.0L * tt) + ps * ps * (1.0L + 24.0L * tt) -
           4.0L * ps * tt) +
      kk0 * (std::pow(om, 6.0L) * kInv720) * std::pow(cosPhi, 6.0L) *
          (61.0L - 148.0L * tt + 16.0L * std::pow(static_cast<long double>(t), 4.0L));
  return static_cast<double>(k);
}

}  // namespace halvex::geodesy
