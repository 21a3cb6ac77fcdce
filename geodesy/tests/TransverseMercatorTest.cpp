// SPDX-License-Identifier: GPL-3.0-or-later
// Projection behaviour, and the chains checked against the same chains built
// literally from texts: every intermediate result written with C's printf
// and read back with strtod/strtold, as the operations are defined.

#include "geodesy/TransverseMercator.hpp"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "geodesy/DatumTransform.hpp"
#include "geodesy/Geocentric.hpp"
#include "geodesy/Helmert.hpp"
#include "platform/IniStore.hpp"

namespace halvex::geodesy {
namespace {

constexpr const char* kWgs84 = "6378137 0.0033528106647474";
constexpr const char* kNavProjection = "30.0   0.0  1.0  500000.0  0.0  ITRF-GK";
constexpr const char* kIdentityPair =
    "6378137.0  0.0033528106647474  0.0  0.0  0.0  0.0  0.0  0.0  0.0  "
    "6378137.0  0.0033528106647474  0.0  0.0  0.0  0.0  0.0  0.0  0.0";
// International 1924 datum to WGS-84 (parameters of a plausible local datum).
constexpr const char* kLocalToWgs =
    "6378388 0.00336700336700337 -1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7 "
    "6378137 0.00335281066474748 0 0 0 0 0 0 0";
constexpr const char* kWgsToLocal =
    "6378137 0.00335281066474748 0 0 0 0 0 0 0 "
    "6378388 0.00336700336700337 -1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7";
constexpr const char* kLocalEllipsoid = "6378388 0.00336700336700337";

std::string G15(long double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15Lg", v);
  return buffer;
}

// Reads up to n numbers like a chain of sscanf("%lf") conversions.
template <typename T>
int ScanC(const std::string& text, T* out, int n) {
  const char* p = text.c_str();
  int count = 0;
  while (count < n) {
    char* end = nullptr;
    T v{};
    if constexpr (std::is_same_v<T, double>) {
      v = std::strtod(p, &end);
    } else {
      v = std::strtold(p, &end);
    }
    if (end == p) {
      break;
    }
    out[count++] = v;
    p = end;
  }
  return count;
}

std::string LiteralDatumGeodetic(const std::string& mode, const std::string& geodetic,
                                 const std::string& pairText, const OutputPrecision& precision) {
  double v[3];
  double pair[18];
  if (ScanC(geodetic, v, 3) < 3 || ScanC(pairText, pair, 18) < 18) {
    return "0";
  }
  std::string text = GeodeticToEcef(v[0], v[1], v[2], pair[0], pair[1]);
  for (int i = 2; i < 9; ++i) {
    text += ' ';
    text += G15(pair[i]);
  }
  text = HelmertTransform("WGS", text);
  for (int i = 11; i < 18; ++i) {
    text += ' ';
    text += G15(pair[i]);
  }
  text = HelmertTransform("Local", text);
  if (mode == "XYZ") {
    return text;
  }
  long double x[3];
  if (ScanC(text, x, 3) < 3) {
    return "0";
  }
  return EcefToGeodetic(x[0], x[1], x[2], pair[9], pair[10], precision);
}

std::string LiteralGeodeticToGrid(const std::string& geodetic, const std::string& pair,
                                  const std::string& tm, const std::string& ellipsoid,
                                  const OutputPrecision& precision) {
  const std::string transformed = LiteralDatumGeodetic("BLH", geodetic + " 0", pair, precision);
  long double latLon[2];
  if (ScanC(transformed, latLon, 2) < 2) {
    return "0";
  }
  std::string text = G15(latLon[0]);
  text += ' ';
  text += G15(latLon[1]);
  return TmForward(text, tm, ellipsoid);
}

// The text of the first three numbers of `text` (all of it when it holds
// fewer): what the ECEF chain hands to its first Helmert step.
std::string FirstThreeNumbers(const std::string& text) {
  const char* p = text.c_str();
  for (int i = 0; i < 3; ++i) {
    char* end = nullptr;
    std::strtod(p, &end);
    if (end == p) {
      return text;
    }
    p = end;
  }
  return text.substr(0, static_cast<std::size_t>(p - text.c_str()));
}

std::string LiteralDatumEcef(const std::string& mode, const std::string& ecef,
                             const std::string& pairText, const OutputPrecision& precision) {
  long double pair[18];
  if (ScanC(pairText, pair, 18) < 18) {
    return "0";
  }
  std::string text = FirstThreeNumbers(ecef);
  for (int i = 11; i < 18; ++i) {
    text += ' ';
    text += G15(pair[i]);
  }
  text = HelmertTransform("WGS", text);
  for (int i = 2; i < 9; ++i) {
    text += ' ';
    text += G15(pair[i]);
  }
  text = HelmertTransform("Local", text);
  if (text == "0" || mode == "XYZ") {
    return text;
  }
  long double x[3];
  if (ScanC(text, x, 3) < 3) {
    return "0";
  }
  return EcefToGeodetic(x[0], x[1], x[2], pair[0], pair[1], precision);
}

TEST(DatumChains, EqualTheLiteralTextChains) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> lat(-89.0, 89.0), lon(-180.0, 180.0), h(-100.0, 3000.0);
  const std::string tm = "30 0 0.9996 500000 0";
  for (int i = 0; i < 4000; ++i) {
    OutputPrecision precision;
    precision.degrees = static_cast<int>(rng() % 11);
    precision.distance = static_cast<int>(rng() % 11);
    char point[96];
    std::snprintf(point, sizeof point, "%.*f %.*f %.3f", static_cast<int>(rng() % 12), lat(rng),
                  static_cast<int>(rng() % 12), lon(rng), h(rng));
    for (const char* pair : {kIdentityPair, kLocalToWgs, kWgsToLocal}) {
      for (const char* mode : {"BLH", "XYZ"}) {
        ASSERT_EQ(DatumTransformGeodetic(mode, point, pair, precision),
                  LiteralDatumGeodetic(mode, point, pair, precision))
            << point << " | " << pair << " | " << mode;
      }
      const std::string ecef = DatumTransformGeodetic("XYZ", point, pair, precision);
      ASSERT_EQ(DatumTransformEcef("BLH", ecef, pair, precision),
                LiteralDatumEcef("BLH", ecef, pair, precision))
          << ecef;
      const std::string latLon = std::string(point).substr(0, std::string(point).rfind(' '));
      ASSERT_EQ(GeodeticToGrid(latLon, pair, tm, kLocalEllipsoid, precision),
                LiteralGeodeticToGrid(latLon, pair, tm, kLocalEllipsoid, precision))
          << latLon;
    }
  }
}

TEST(DatumChains, OddTextsFollowTheLiteralChainsToo) {
  const OutputPrecision precision;
  for (const char* ecef : {"1 2 3 4", "4000000 3000000", "4000000 3000000 4000000x", "",
                           "4e6\t3e6\t4e6\r\n", "4000000 3000000 4000000 junk"}) {
    for (const char* mode : {"BLH", "XYZ"}) {
      EXPECT_EQ(DatumTransformEcef(mode, ecef, kLocalToWgs, precision),
                LiteralDatumEcef(mode, ecef, kLocalToWgs, precision))
          << '"' << ecef << '"';
    }
  }
  for (const char* point : {"41.5 29", "41.5 29 junk", "41.5", "41.5 29 12 7", "x"}) {
    EXPECT_EQ(GeodeticToGrid(point, kLocalToWgs, kNavProjection, kWgs84, precision),
              LiteralGeodeticToGrid(point, kLocalToWgs, kNavProjection, kWgs84, precision))
        << '"' << point << '"';
  }
}

// A point number after the coordinates, common in point files, is not a
// Helmert parameter: it used to shift the seven parameters by one place.
TEST(DatumChains, OnlyTheThreeCoordinatesEnterTheEcefChain) {
  const std::string point = "4208830 2334850 4171267";
  for (const char* mode : {"BLH", "XYZ"}) {
    const std::string plain = DatumTransformEcef(mode, point, kLocalToWgs);
    ASSERT_NE(plain, "0");
    for (const char* tail : {" 7", "\t7\r\n", " P7", " 7 8 9 10 11 12 13", "x"}) {
      EXPECT_EQ(DatumTransformEcef(mode, point + tail, kLocalToWgs), plain) << mode << tail;
    }
  }
  EXPECT_EQ(DatumTransformEcef("BLH", "4208830 2334850 P7", kLocalToWgs), "0");
}

TEST(DatumChains, FailuresGiveZero) {
  EXPECT_EQ(DatumTransformGeodetic("BLH", "41.5 29", kIdentityPair), "0");
  EXPECT_EQ(DatumTransformGeodetic("BLH", "41.5 29 0", "6378137 0.003 0 0 0"), "0");
  EXPECT_EQ(DatumTransformEcef("BLH", "4e6 3e6 4e6", "6378137 0.003"), "0");
  EXPECT_EQ(HelmertTransform("Local", "1 2 3 0 0 0 0 0 0"), "0");
  // Mode words are exact: only "XYZ" gives ECEF.
  EXPECT_EQ(DatumTransformGeodetic("xyz", "41.5 29.25 100", kIdentityPair),
            "41.50000000\t29.25000000\t100.000");
  EXPECT_EQ(GeodeticToGrid("41.5", kIdentityPair, kNavProjection, kWgs84), "0");
  EXPECT_EQ(GridToGeodetic("500000", kIdentityPair, kNavProjection, kWgs84), "0");
}

TEST(TransverseMercator, OnTheCentralMeridianAndAtTheOrigin) {
  const std::string onMeridian = TmForward("41.5 30", kNavProjection, kWgs84);
  EXPECT_EQ(onMeridian.substr(0, onMeridian.find(' ')), "500000");
  EXPECT_EQ(TmForward("40 30", "30 40 0.9996 500000 100", kWgs84), "500000 100");
  EXPECT_EQ(TmForward("-40 30", "30 -40 1 0 0", kWgs84), "0 0");
  // The sixth token of the navigation text is a name and is ignored.
  EXPECT_EQ(TmForward("41.5 31", kNavProjection, kWgs84),
            TmForward("41.5 31", "30 0 1 500000 0", kWgs84));
  // No southern false northing is added.
  const std::string south = TmForward("-33.9 30.5", kNavProjection, kWgs84);
  EXPECT_LT(std::strtod(south.c_str() + south.find(' '), nullptr), 0.0);
}

// A longitude names a meridian: λ and λ ± 360° project to the same point,
// and so does everything derived from the projection.
TEST(TransverseMercator, LongitudesOfOneMeridianGiveOnePoint) {
  const std::string tm = "30 0 0.9996 500000 0";
  const std::string near = TmForward("41 31", tm, kWgs84);
  for (const char* same : {"41 391", "41 -329", "41 751", "41 -689"}) {
    EXPECT_EQ(TmForward(same, tm, kWgs84), near) << same;
  }
  // Far from the central meridian too: 170° west is 160° east of 30° E.
  EXPECT_EQ(TmForward("10 -170", tm, kWgs84), TmForward("10 190", tm, kWgs84));
  const std::string west = TmForward("10 -170", tm, kWgs84);
  EXPECT_GT(std::strtod(west.c_str(), nullptr), 500000.0) << west;
  // The edge: λ − λ0 = 180° is kept, −180° is the same meridian.
  EXPECT_EQ(TmForward("10 -150", tm, kWgs84), TmForward("10 210", tm, kWgs84));
  // A central meridian given outside ±180° works the same way.
  EXPECT_EQ(TmForward("41 31", "390 0 0.9996 500000 0", kWgs84), near);

  const double a = 6378137.0, f = 0.0033528106647474;
  for (const char* what : {"PtScFac", "GrdConv"}) {
    const double k31 = ScaleAndConvergence(what, a, f, 41.0, 31.0, 30.0, 0.0, 0.9996, 0.0, 0.0);
    EXPECT_EQ(ScaleAndConvergence(what, a, f, 41.0, 391.0, 30.0, 0.0, 0.9996, 0.0, 0.0), k31);
    EXPECT_EQ(ScaleAndConvergence(what, a, f, 41.0, -329.0, 30.0, 0.0, 0.9996, 0.0, 0.0), k31);
    // The meridians of 391° and 390° differ by 1° to the last bit or so.
    EXPECT_NEAR(ScaleAndConvergence(what, a, f, 41.0, 31.0, 390.0, 0.0, 0.9996, 0.0, 0.0), k31,
                1e-14);
  }
  // On the datum chain the longitude comes from atan2, within ±180°: the
  // grid point of 170° W with a central meridian at 30° E is the one of
  // 190° E, not one 200° west of the meridian.
  EXPECT_EQ(GeodeticToGrid("10 -170", kIdentityPair, tm, kWgs84),
            TmForward("10.00000000 190", tm, kWgs84));
}

TEST(TransverseMercator, EllipsoidTextForms) {
  const std::string both = "6378137.0  0.0033528106647474  6378388 0.00336700336700337";
  EXPECT_EQ(TmForward("41.5 31", kNavProjection, both, EllipsoidForm::kTarget),
            TmForward("41.5 31", kNavProjection, kLocalEllipsoid));
  EXPECT_EQ(TmForward("41.5 31", kNavProjection, both, EllipsoidForm::kLeading),
            TmForward("41.5 31", kNavProjection, kWgs84));
  // Tokens of any length are skipped whole.
  EXPECT_EQ(TmForward("41.5 31", kNavProjection,
                      "6378137.000000000000000000 0.00335281066474748071984 6378388 "
                      "0.00336700336700337",
                      EllipsoidForm::kTarget),
            TmForward("41.5 31", kNavProjection, kLocalEllipsoid));
  EXPECT_EQ(TmForward("41.5 31", kNavProjection, kWgs84, EllipsoidForm::kTarget), "0");
  EXPECT_EQ(TmForward("41.5 31", "30 0 1 500000", kWgs84), "0");
  EXPECT_EQ(TmForward("41.5", kNavProjection, kWgs84), "0");
  EXPECT_EQ(TmInverse("500000", kNavProjection, kWgs84), "0");
}

TEST(TransverseMercator, GridAndBackThroughTwoDatums) {
  const std::string tm = "27 0 0.9996 500000 0";
  for (const char* point : {"41.0123 28.9876", "36.5 25.1", "42.25 29.99"}) {
    const std::string grid = GeodeticToGrid(point, kWgsToLocal, tm, kLocalEllipsoid);
    const std::string back = GridToGeodetic(grid, kLocalToWgs, tm, kLocalEllipsoid);
    double in[2], out[2];
    ASSERT_EQ(ScanC(point, in, 2), 2);
    ASSERT_EQ(ScanC(back, out, 2), 2) << back;
    // Rounding to 8 decimals in each datum step and the series inverse.
    EXPECT_NEAR(out[0], in[0], 2e-8) << point;
    EXPECT_NEAR(out[1], in[1], 2e-8) << point;
  }
}

TEST(ScaleAndConvergence, SignsAndSymmetry) {
  const double a = 6378137.0, f = 0.0033528106647474;
  auto gamma = [&](double lat, double lon) {
    return ScaleAndConvergence("GrdConv", a, f, lat, lon, 30.0, 0.0, 0.9996, 500000.0, 0.0);
  };
  auto k = [&](double lat, double lon) {
    return ScaleAndConvergence("PtScFac", a, f, lat, lon, 30.0, 0.0, 0.9996, 500000.0, 0.0);
  };
  EXPECT_EQ(gamma(41.5, 30.0), 0.0);
  EXPECT_EQ(k(41.5, 30.0), 0.9996);
  EXPECT_LT(gamma(41.5, 31.5), 0.0);
  EXPECT_GT(k(41.5, 31.5), 0.9996);
  EXPECT_GT(gamma(-41.5, 31.5), 0.0);
  EXPECT_NEAR(gamma(41.5, 28.5), -gamma(41.5, 31.5), 1e-13);
  EXPECT_NEAR(k(41.5, 28.5), k(41.5, 31.5), 1e-15);
  // About -Δλ·sin φ: 1.5° east at 41.5° N.
  EXPECT_NEAR(gamma(41.5, 31.5), -0.9937, 1e-3);
  EXPECT_EQ(ScaleAndConvergence("grdconv", a, f, 41.5, 31.5, 30.0, 0.0, 0.9996, 0.0, 0.0), 0.0);
}

TEST(TmSettings, FieldsTextAndTheUtmSection) {
  TmFields fields{"30 30", "-0 30", "0.9996", "500000", "0"};
  EXPECT_EQ(TmParamsFromFields(fields), "30.5 -0.5 0.9996 500000 0");

  const auto folder =
      std::filesystem::temp_directory_path() / ("halvex-tm-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const auto file = folder / "geokit.INI";
  platform::IniStore ini(file);
  EXPECT_EQ(LoadTmSettings(ini), TmFields{});
  SaveTmSettings(ini, fields);
  EXPECT_EQ(LoadTmSettings(ini), fields);
  EXPECT_EQ(ini.ReadString("UTM", "ReferenceLatidute", ""), "-0 30");
  EXPECT_EQ(ini.ReadString("utm", "centralmeridian", ""), "30 30");
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace halvex::geodesy
