// SPDX-License-Identifier: GPL-3.0-or-later
// The geodesy core against GeographicLib, an independent implementation of
// the same geometry. Each sweep draws its points with a fixed seed, keeps
// the worst difference, prints it ("[  worst   ]" lines, also recorded as
// test properties) and holds it to a tolerance that says where it comes from.

#include <gtest/gtest.h>
#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/TransverseMercator.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "geodesy/DatumTransform.hpp"
#include "geodesy/Geocentric.hpp"
#include "geodesy/Geodesic.hpp"
#include "geodesy/TransverseMercator.hpp"

namespace halvex::geodesy {
namespace {

constexpr double kPiD = 3.14159265358979323846;
constexpr double kDeg = kPiD / 180.0;

struct Ellipsoid {
  const char* name;
  double a;
  double f;
};
constexpr Ellipsoid kWgs84{"WGS-84", 6378137.0, 1 / 298.257223563};
constexpr Ellipsoid kIntl1924{"International 1924", 6378388.0, 1 / 297.0};

// Output decimals finer than the tool's units window offers, so that the
// rounding of the texts stays well inside the 1e-6 m budgets below: 1e-12°
// is 1.1e-7 m on the ground, heights are written to 1e-7 m.
constexpr OutputPrecision kFine{7, 12, 6, 4};

// All numbers of an output text, read with strtod.
std::vector<double> Numbers(std::string_view text) {
  const std::string copy(text);
  std::vector<double> values;
  const char* p = copy.c_str();
  for (;;) {
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    if (end == p) {
      return values;
    }
    values.push_back(v);
    p = end;
  }
}

std::string Text(double v) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", v);
  return buffer;
}

std::string Text(double x, double y) { return Text(x) + " " + Text(y); }
std::string Text(double x, double y, double z) { return Text(x, y) + " " + Text(z); }

// The largest difference seen and where it was.
struct Worst {
  double value = 0.0;
  std::string where;

  void Update(double difference, const std::string& at) {
    if (!(difference <= value)) {  // NaN counts as worst
      value = difference;
      where = at;
    }
  }

  void Report(const std::string& what) const {
    std::printf("[  worst   ] %s: %.4g at %s\n", what.c_str(), value, where.c_str());
    ::testing::Test::RecordProperty(what, Text(value));
  }
};

class Uniform {
 public:
  explicit Uniform(std::uint64_t seed) : rng_(seed) {}
  double operator()(double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(rng_);
  }

 private:
  std::mt19937_64 rng_;
};

double Distance(const double p[3], double x, double y, double z) {
  return std::hypot(p[0] - x, p[1] - y, p[2] - z);
}

// Geodetic <-> ECEF, a few thousand points from the Earth's interior shell to
// 100 km up, on two ellipsoids.
TEST(OracleGeocentric, BothWaysOnTwoEllipsoids) {
  for (const Ellipsoid& e : {kWgs84, kIntl1924}) {
    SCOPED_TRACE(e.name);
    const GeographicLib::Geocentric oracle(e.a, e.f);
    Uniform u(20240611);
    Worst forward, reverse, polar;
    for (int i = 0; i < 4000; ++i) {
      double lat = u(-89.9, 89.9), lon = u(-180, 180), h = u(-5000, 100000);
      if (i < 32) {  // the polar caps, where the height is least well conditioned
        const double caps[] = {89.9, 89.5, 88, 85.5};
        lat = (i % 2 ? -1 : 1) * caps[i / 2 % 4];
        h = i < 16 ? 10000 : -5000;
      }
      const std::string at = Text(lat, lon, h);
      double xyz[3];
      oracle.Forward(lat, lon, h, xyz[0], xyz[1], xyz[2]);

      const auto ecef = Numbers(GeodeticToEcef(lat, lon, h, e.a, e.f));
      ASSERT_EQ(ecef.size(), 3u) << at;
      forward.Update(Distance(xyz, ecef[0], ecef[1], ecef[2]), at);

      // The position error of the answer: its own ECEF point, by the oracle.
      const auto geodetic = Numbers(EcefToGeodetic(xyz[0], xyz[1], xyz[2], e.a, e.f, kFine));
      ASSERT_EQ(geodetic.size(), 3u) << at;
      double back[3];
      oracle.Forward(geodetic[0], geodetic[1], geodetic[2], back[0], back[1], back[2]);
      (std::fabs(lat) <= 85.0 ? reverse : polar).Update(Distance(back, xyz[0], xyz[1], xyz[2]), at);
    }
    forward.Report(std::string("GeodeticToEcef m, ") + e.name);
    reverse.Report(std::string("EcefToGeodetic m |lat|<=85, ") + e.name);
    polar.Report(std::string("EcefToGeodetic m |lat|>85, ") + e.name);
    // 15 significant digits of a 6.5e6 m coordinate are 1e-8 m.
    EXPECT_LT(forward.value, 1e-6) << forward.where;
    EXPECT_LT(reverse.value, 1e-6) << reverse.where;
    // Near the poles the height h = p/cos φ − N multiplies the latitude
    // left over by the 1e-12 rad stop (a few 1e-15 rad) by (N+h)·tan φ:
    // measured 2.09e-5 m at 89.9° and h = 10 km; below 85°, 4.0e-7 m.
    EXPECT_LT(polar.value, 3e-5) << polar.where;
  }
}

// From 1 km of the polar axis down to a nanometre of it, where the bare
// height formula was off by millimetres (100 m away) up to kilometres.
TEST(OracleGeocentric, HeightsNearThePolarAxis) {
  const GeographicLib::Geocentric oracle(kWgs84.a, kWgs84.f);
  Worst worst;
  for (double axisDistance : {1100.0, 111.0, 11.0, 1.0, 0.1, 1e-3, 1e-6, 1e-9}) {
    for (double h : {-100.0, 0.0, 1000.0}) {
      for (double sign : {1.0, -1.0}) {
        const double lat = sign * (90.0 - axisDistance / kWgs84.a / kDeg);
        double xyz[3];
        oracle.Forward(lat, 17.3, h, xyz[0], xyz[1], xyz[2]);
        const auto geodetic =
            Numbers(EcefToGeodetic(xyz[0], xyz[1], xyz[2], kWgs84.a, kWgs84.f, kFine));
        ASSERT_EQ(geodetic.size(), 3u) << Text(lat, h);
        worst.Update(std::fabs(geodetic[2] - h), Text(lat, h));
        EXPECT_NEAR(geodetic[0], lat, 1e-11) << Text(lat, h);
      }
    }
  }
  worst.Report("EcefToGeodetic height m, near the axis");
  EXPECT_LT(worst.value, 1e-6) << worst.where;
}

// The poles as GeodeticToEcef writes them (cos of the double π/2 leaves
// X = 3.9e-10 m) must come back as latitude ±90 with the height put in; at
// the North Pole the latitude used to land on the double π/2 exactly and
// was taken for a point on the axis. Then points ever closer to the axis,
// from 2 mm down to 1e-14 m: each has the latitude and height GeographicLib
// finds.
TEST(OracleGeocentric, PolesAndPointsATinyDistanceFromTheAxis) {
  const GeographicLib::Geocentric oracle(kWgs84.a, kWgs84.f);
  for (const Ellipsoid& e : {kWgs84, kIntl1924}) {
    for (double lat : {90.0, -90.0}) {
      for (double h : {0.0, -50.0, 1234.5}) {
        const auto xyz = Numbers(GeodeticToEcef(lat, 0, h, e.a, e.f));
        ASSERT_EQ(xyz.size(), 3u);
        const std::string back = EcefToGeodetic(xyz[0], xyz[1], xyz[2], e.a, e.f);
        const auto geodetic = Numbers(back);
        ASSERT_EQ(geodetic.size(), 3u) << e.name << " " << Text(lat, h) << ": \"" << back << '"';
        EXPECT_EQ(geodetic[0], lat) << back;
        EXPECT_NEAR(geodetic[2], h, 1e-3) << back;
      }
    }
  }
  Worst worst;
  for (double sign : {1.0, -1.0}) {
    const double z = sign * kWgs84.a * (1 - kWgs84.f);
    for (double x = 1e-14; x < 2e-3; x *= 1.07) {
      for (double y : {0.0, x / 3, -x}) {
        const std::string text = EcefToGeodetic(x, y, z, kWgs84.a, kWgs84.f, kFine);
        const auto geodetic = Numbers(text);
        ASSERT_EQ(geodetic.size(), 3u) << Text(x, y, z) << ": \"" << text << '"';
        double lat = 0, lon = 0, h = 0;
        oracle.Reverse(x, y, z, lat, lon, h);
        EXPECT_NEAR(geodetic[0], lat, 1e-12) << Text(x, y, z) << ": " << text;
        worst.Update(std::fabs(geodetic[2] - h), Text(x, y, z));
      }
    }
  }
  worst.Report("EcefToGeodetic height m, within 2 mm of the axis");
  EXPECT_LT(worst.value, 1e-6) << worst.where;
  // On the axis itself there is no longitude: still the empty text.
  EXPECT_EQ(EcefToGeodetic(0, 0, kWgs84.a * (1 - kWgs84.f), kWgs84.a, kWgs84.f), "");
}

// Vincenty's inverse problem against GeographicLib's geodesics.
TEST(OracleGeodesic, DistanceWithinATenthOfAMillimetre) {
  const GeographicLib::Geodesic& oracle = GeographicLib::Geodesic::WGS84();
  const double a = kWgs84.a, f = kWgs84.f;
  Uniform u(1975);
  Worst random, shortLines, equator, meridian;
  int unanswered = 0;
  const auto check = [&](Worst& worst, double lat1, double lon1, double lat2, double lon2) {
    const std::string at = Text(lat1, lon1) + " to " + Text(lat2, lon2);
    double s12 = 0.0;
    oracle.Inverse(lat1, lon1, lat2, lon2, s12);
    const auto d = GeodesicDistance(a, f, lat1, lon1, lat2, lon2);
    if (!d) {
      ADD_FAILURE_AT(__FILE__, __LINE__) << "no distance for " << at << " (" << s12 << " m)";
      ++unanswered;
      return;
    }
    worst.Update(std::fabs(static_cast<double>(*d) - s12), at);
  };

  // An ordinary 15,000 km line, where λ once alternated between two values
  // one unit in the last place apart and the iteration gave up.
  check(random, -67, 0, 39, 114);
  for (int i = 0; i < 20000 && unanswered < 10; ++i) {
    // Uniform on the sphere; away from antipodes means the second point more
    // than 5° of arc from the first point's antipode.
    const double lat1 = std::asin(u(-1, 1)) / kDeg, lon1 = u(-180, 180);
    const double lat2 = std::asin(u(-1, 1)) / kDeg, lon2 = u(-180, 180);
    const double cosToAntipode =
        -std::sin(lat1 * kDeg) * std::sin(lat2 * kDeg) -
        std::cos(lat1 * kDeg) * std::cos(lat2 * kDeg) * std::cos((lon2 - lon1) * kDeg);
    if (cosToAntipode > std::cos(5 * kDeg)) {
      continue;
    }
    check(random, lat1, lon1, lat2, lon2);
  }
  for (int i = 0; i < 2000; ++i) {
    const double lat1 = u(-89.9, 89.9), lon1 = u(-180, 180);
    double lat2 = 0.0, lon2 = 0.0;
    oracle.Direct(lat1, lon1, u(-180, 180), 1.0, lat2, lon2);
    check(shortLines, lat1, lon1, lat2, lon2);
    // Beyond 179.4° (1−f times 180°) the equatorial geodesic goes over a pole.
    const double lonA = u(-180, 180);
    check(equator, 0, lonA, 0, lonA + u(-179, 179));
    check(meridian, u(-90, 90), lonA, u(-90, 90), lonA);
  }
  random.Report("GeodesicDistance m, random pairs");
  shortLines.Report("GeodesicDistance m, 1 m lines");
  equator.Report("GeodesicDistance m, equator");
  meridian.Report("GeodesicDistance m, meridians");
  // Measured 7.51e-5 m (7.53e-5 m over a million pairs), growing with the
  // length of the line; the short, equatorial and meridian lines stay below
  // 4e-6 m.
  for (const Worst* w : {&random, &shortLines, &equator, &meridian}) {
    EXPECT_LT(w->value, 1e-4) << w->where;
  }
}

TEST(OracleGeodesic, NearlyAntipodalPointsGiveNoAnswer) {
  const double a = kWgs84.a, f = kWgs84.f;
  // Vincenty's λ iteration does not settle for these; GeographicLib has
  // distances of 19,944 km, 20,004 km and 19,981 km for them. λ alternates
  // here too, but between far-apart values: taking either as the answer
  // would be some 130 km short.
  EXPECT_FALSE(GeodesicDistance(a, f, 0, 0, 0.5, 179.7));
  EXPECT_FALSE(GeodesicDistance(a, f, 0, 0, 0, 179.9999));
  EXPECT_FALSE(GeodesicDistance(a, f, -0.5, 0, 0.5, 179.5));
  EXPECT_FALSE(GeodesicDistance(a, f, std::nan(""), 0, 1, 1));
}

// Snyder's series against GeographicLib's sixth-order Krüger series (good to
// 5 nm), within 3° of the central meridian and 80° of the equator.
TEST(OracleTransverseMercator, ForwardInverseScaleAndConvergence) {
  struct Grid {
    const char* name;
    Ellipsoid e;
    double lambda0, phi0, k0, fe, fn;
  };
  const Grid grids[] = {
      {"UTM zone 32", kWgs84, 9, 0, 0.9996, 500000, 0},
      {"origin 49N 2W",
       {"Airy 1830", 6377563.396, 1 / 299.3249646},
       -2,
       49,
       0.9996012717,
       400000,
       -100000},
      {"origin 33S 147E", kIntl1924, 147, -33, 1.0, 300000, 5000000},
  };
  Worst forward, inverse, roundTrip, scale, convergence;
  for (const Grid& g : grids) {
    SCOPED_TRACE(g.name);
    const GeographicLib::TransverseMercator oracle(g.e.a, g.e.f, g.k0);
    // The oracle's grid has its origin on the equator and no false origin.
    double x0 = 0.0, y0 = 0.0;
    oracle.Forward(g.lambda0, g.phi0, g.lambda0, x0, y0);
    const std::string params = Text(g.lambda0, g.phi0) + " " + Text(g.k0) + " " + Text(g.fe, g.fn);
    const std::string ellipsoid = Text(g.e.a, g.e.f);
    Uniform u(1987);
    for (int i = 0; i < 3000; ++i) {
      double lat = u(-80, 80), lon = g.lambda0 + u(-3, 3);
      if (i % 10 == 0) {
        lon = g.lambda0 + (i % 20 == 0 ? 3 : -3);  // the edges, where the series are worst
      }
      const std::string at = std::string(g.name) + ": " + Text(lat, lon);
      double x = 0.0, y = 0.0, gamma = 0.0, k = 0.0;
      oracle.Forward(g.lambda0, lat, lon, x, y, gamma, k);
      const double easting = g.fe + x, northing = g.fn + y - y0;

      const auto grid = Numbers(TmForward(Text(lat, lon), params, ellipsoid));
      ASSERT_EQ(grid.size(), 2u) << at;
      forward.Update(std::hypot(grid[0] - easting, grid[1] - northing), at);

      // The inverse's error as a grid distance: its answer projected by the oracle.
      const auto geodetic = Numbers(TmInverse(Text(easting, northing), params, ellipsoid));
      ASSERT_EQ(geodetic.size(), 2u) << at;
      double xi = 0.0, yi = 0.0;
      oracle.Forward(g.lambda0, geodetic[0], geodetic[1], xi, yi);
      inverse.Update(std::hypot(xi - x, yi - y), at);

      const auto back =
          Numbers(TmInverse(TmForward(Text(lat, lon), params, ellipsoid), params, ellipsoid));
      ASSERT_EQ(back.size(), 2u) << at;
      roundTrip.Update(
          std::max(std::fabs(back[0] - lat), std::fabs(back[1] - lon) * std::cos(lat * kDeg)), at);

      // GeographicLib's γ is the bearing of grid north from true north; ours
      // is the grid bearing minus the true bearing.
      scale.Update(std::fabs(ScaleAndConvergence("PtScFac", g.e.a, g.e.f, lat, lon, g.lambda0,
                                                 g.phi0, g.k0, g.fe, g.fn) -
                             k),
                   at);
      convergence.Update(std::fabs(ScaleAndConvergence("GrdConv", g.e.a, g.e.f, lat, lon, g.lambda0,
                                                       g.phi0, g.k0, g.fe, g.fn) +
                                   gamma),
                         at);
    }
  }
  forward.Report("TmForward m");
  inverse.Report("TmInverse m");
  roundTrip.Report("TmInverse(TmForward) deg of arc");
  scale.Report("point scale factor");
  convergence.Report("grid convergence deg");
  // Measured 1.311 mm (origin 49N, at 70.4S). Snyder's meridian arc stops at
  // e^6: on its own it is 0.956 mm long at 70.5° (WGS-84), and the northing
  // carries M(φ) − M(φ0), so the errors at both latitudes add. The A^5 and
  // A^6 terms add less than 0.07 mm at 3°.
  EXPECT_LT(forward.value, 1.5e-3) << forward.where;
  // Measured 0.620 mm: the same meridian arc and its footpoint series (e1^4).
  EXPECT_LT(inverse.value, 0.7e-3) << inverse.where;
  // Latitude, and longitude times cos φ: degrees of arc. Measured 7.19e-9°,
  // the footpoint latitude not undoing the truncated arc exactly; the
  // longitude alone reaches 1.002e-8° at 80°, 3° off the meridian (0.2 mm).
  EXPECT_LT(roundTrip.value, 1e-8) << roundTrip.where;
  // Redfearn's series leave out terms of order ω^8 (ω = 3° = 0.052 rad,
  // 0.052^8 = 5e-11): measured 6.7e-11 in k and 5.1e-11° (0.18 mas) in γ.
  EXPECT_LT(scale.value, 1e-10) << scale.where;
  EXPECT_LT(convergence.value, 1e-10) << convergence.where;
}

// International 1924 to WGS-84 with a realistic seven-parameter set, against
// GeographicLib's ECEF conversions around a plain double-precision Helmert.
class OracleDatum : public ::testing::Test {
 protected:
  static constexpr double kParams[7] = {-1.2, 0.3, -0.2, 0.5, -84.1, -101.8, -129.7};
  const std::string intl = "6378388 0.00336700336700337";
  const std::string wgs = "6378137 0.00335281066474748";
  const std::string helmert = "-1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7";
  const std::string zeros = "0 0 0 0 0 0 0";
  const std::string toWgs = intl + " " + helmert + " " + wgs + " " + zeros;
  const std::string toIntl = wgs + " " + zeros + " " + intl + " " + helmert;
  // The ellipsoids exactly as the pair texts give them.
  const GeographicLib::Geocentric intlOracle{6378388, 0.00336700336700337};
  const GeographicLib::Geocentric wgsOracle{6378137, 0.00335281066474748};

  // Coordinate frame rotation: X' = s·R·X + T, R = R3(rz)·R2(ry)·R1(rx).
  static void Helmert(const double in[3], double out[3]) {
    const double arcsec = kDeg / 3600.0;
    const double w = kParams[1] * arcsec, p = kParams[2] * arcsec, k = kParams[3] * arcsec;
    const double s = 1.0 + kParams[0] * 1e-6;
    const double cw = std::cos(w), sw = std::sin(w), cp = std::cos(p), sp = std::sin(p);
    const double ck = std::cos(k), sk = std::sin(k);
    const double r[3][3] = {{cp * ck, cw * sk + sw * sp * ck, sw * sk - cw * sp * ck},
                            {-cp * sk, cw * ck - sw * sp * sk, sw * ck + cw * sp * sk},
                            {sp, -sw * cp, cw * cp}};
    for (int i = 0; i < 3; ++i) {
      out[i] = s * (r[i][0] * in[0] + r[i][1] * in[1] + r[i][2] * in[2]) + kParams[4 + i];
    }
  }
};

TEST_F(OracleDatum, GeodeticThereAndBack) {
  Uniform u(1924);
  Worst there, back;
  for (int i = 0; i < 2000; ++i) {
    const double lat = u(-80, 80), lon = u(-180, 180), h = u(-5000, 10000);
    const std::string at = Text(lat, lon, h);
    double local[3], global[3];
    intlOracle.Forward(lat, lon, h, local[0], local[1], local[2]);
    Helmert(local, global);

    const std::string result = DatumTransformGeodetic("BLH", Text(lat, lon, h), toWgs, kFine);
    const auto geodetic = Numbers(result);
    ASSERT_EQ(geodetic.size(), 3u) << at << ": " << result;
    double p[3];
    wgsOracle.Forward(geodetic[0], geodetic[1], geodetic[2], p[0], p[1], p[2]);
    there.Update(Distance(p, global[0], global[1], global[2]), at);

    const auto returned = Numbers(DatumTransformGeodetic("BLH", result, toIntl, kFine));
    ASSERT_EQ(returned.size(), 3u) << at;
    intlOracle.Forward(returned[0], returned[1], returned[2], p[0], p[1], p[2]);
    back.Update(Distance(p, local[0], local[1], local[2]), at);
  }
  there.Report("DatumTransformGeodetic m");
  back.Report("DatumTransformGeodetic there and back m");
  // Measured 1.9e-7 m there, 2.8e-7 m there and back; output rounding is
  // 5.6e-8 m per angle and 5e-8 m in height, each way.
  EXPECT_LT(there.value, 1e-6) << there.where;
  EXPECT_LT(back.value, 1e-6) << back.where;
}

TEST_F(OracleDatum, EcefBothWays) {
  Uniform u(297);
  Worst toGlobal, toLocal, geodetic;
  for (int i = 0; i < 2000; ++i) {
    const double lat = u(-89.9, 89.9), lon = u(-180, 180), h = u(-5000, 100000);
    double local[3], global[3];
    intlOracle.Forward(lat, lon, h, local[0], local[1], local[2]);
    Helmert(local, global);
    const std::string localText = Text(local[0], local[1], local[2]);
    const std::string globalText = Text(global[0], global[1], global[2]);

    // The ECEF chain runs from the pair's second datum to its first.
    const auto xyz = Numbers(DatumTransformEcef("XYZ", localText, toIntl));
    ASSERT_EQ(xyz.size(), 3u) << localText;
    toGlobal.Update(Distance(global, xyz[0], xyz[1], xyz[2]), localText);

    // Backward, checked by taking the answer forward again.
    const auto xyzLocal = Numbers(DatumTransformEcef("XYZ", globalText, toWgs));
    ASSERT_EQ(xyzLocal.size(), 3u) << globalText;
    double again[3];
    Helmert(xyzLocal.data(), again);
    toLocal.Update(Distance(again, global[0], global[1], global[2]), globalText);

    if (std::fabs(lat) <= 85.0) {  // the polar caps: see OracleGeocentric
      const auto blh = Numbers(DatumTransformEcef("BLH", localText, toIntl, kFine));
      ASSERT_EQ(blh.size(), 3u) << localText;
      double p[3];
      wgsOracle.Forward(blh[0], blh[1], blh[2], p[0], p[1], p[2]);
      geodetic.Update(Distance(p, global[0], global[1], global[2]), localText);
    }
  }
  toGlobal.Report("DatumTransformEcef XYZ m, to WGS-84");
  toLocal.Report("DatumTransformEcef XYZ m, from WGS-84");
  geodetic.Report("DatumTransformEcef BLH m");
  // Two 15-digit texts between the steps: 1e-8 m each.
  EXPECT_LT(toGlobal.value, 1e-6) << toGlobal.where;
  EXPECT_LT(toLocal.value, 1e-6) << toLocal.where;
  EXPECT_LT(geodetic.value, 1e-6) << geodetic.where;
}

}  // namespace
}  // namespace halvex::geodesy
