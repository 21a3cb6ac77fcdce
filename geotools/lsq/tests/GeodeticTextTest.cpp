// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/lsq/GeodeticText.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "geodesy/Geocentric.hpp"
#include "geodesy/Matrix.hpp"
#include "geodesy/NumberText.hpp"
#include "geodesy/internal/Values.hpp"
#include "geotools/lsq/CertainText.hpp"
#include "geotools/lsq/tests/TestEarths.hpp"

namespace halvex::geotools {
namespace {

namespace internal = geodesy::internal;

using testing::kEarthEllipsoids;
using testing::Random;

// The closed form stays far inside its bounds of the iteration over the
// whole range it is taken for, the ends included, and the iteration always
// has an answer there, so taking the closed form never hides a failure.
TEST(GeodeticText, ClosedFormAgreesWithTheIterationOverItsWholeRange) {
  Random random{0x5DEECE66DULL};
  long double worstLat = 0.0L, worstH = 0.0L;
  int taken = 0;
  for (const testing::Ellipsoid& e : kEarthEllipsoids) {
    const long double f = 1.0L / e.inverseFlattening;
    for (int i = 0; i < 20000; ++i) {
      long double lat = -89.5L + 179.0L * random.Next();
      long double h = -1e4L + 1.1e5L * random.Next();
      if (i < 8) {  // the corners of the range
        lat = i % 2 == 0 ? 89.499L : -89.499L;
        h = i < 4 ? -9999.0L : 99999.0L;
      }
      const long double lon = -180.0L + 360.0L * random.Next();
      const auto ecef = internal::GeodeticToEcefValues(lat, lon, h, e.a, f);
      const auto exact = internal::EcefToGeodeticValues(ecef.x, ecef.y, ecef.z, e.a, f);
      ASSERT_TRUE(exact.has_value()) << static_cast<double>(lat);
      const auto quick = QuickEcefToGeodetic(ecef.x, ecef.y, ecef.z, e.a, f);
      ASSERT_TRUE(quick.has_value()) << static_cast<double>(lat) << " " << static_cast<double>(h);
      ++taken;
      worstLat =
          std::max(worstLat, std::fabs(quick->latitudeDeg - exact->x) / quick->latitudeTolerance);
      worstH = std::max(worstH, std::fabs(quick->heightM - exact->z) / quick->heightTolerance);
    }
  }
  EXPECT_EQ(taken, 6 * 20000);
  // Fractions of the bounds: both stay below a fiftieth.
  EXPECT_LT(worstLat, 0.02L) << static_cast<double>(worstLat);
  EXPECT_LT(worstH, 0.02L) << static_cast<double>(worstH);
}

TEST(GeodeticText, ClosedFormIsNotTakenOutsideItsRange) {
  const long double a = 6378137.0L, f = 1.0L / 298.257223563L;
  const auto at = [&](long double lat, long double h, long double aa, long double ff) {
    const auto e = internal::GeodeticToEcefValues(lat, 12.5L, h, aa, ff);
    return QuickEcefToGeodetic(e.x, e.y, e.z, aa, ff).has_value();
  };
  EXPECT_TRUE(at(45.0L, 100.0L, a, f));
  EXPECT_FALSE(at(89.6L, 100.0L, a, f));
  EXPECT_FALSE(at(-89.6L, 100.0L, a, f));
  EXPECT_FALSE(at(45.0L, 2e5L, a, f));
  EXPECT_FALSE(at(45.0L, -2e4L, a, f));
  EXPECT_FALSE(at(45.0L, 100.0L, 1.0L, f));
  EXPECT_FALSE(at(45.0L, 100.0L, a, 1.0L / 200));
  EXPECT_FALSE(QuickEcefToGeodetic(0.0L, 0.0L, 6356752.0L, a, f));  // on the axis
  EXPECT_FALSE(QuickEcefToGeodetic(1.0L, 0.0L, 6356752.0L, a, f));  // next to it
  const long double nan = std::numeric_limits<long double>::quiet_NaN();
  EXPECT_FALSE(QuickEcefToGeodetic(nan, 0.0L, 0.0L, a, f));
  EXPECT_FALSE(QuickEcefToGeodetic(4e6L, std::numeric_limits<long double>::infinity(), 0.0L, a, f));
}

// The text is the library's text for the point and the numbers are what
// that text reads as, whether the closed form printed it or the iteration
// did: at coarse and fine decimals, near the poles and on the axis, and at
// points placed on a rounding boundary of the latitude and the height, where
// the closed form cannot be certain.
TEST(GeodeticText, TextIsTheLibrarysTextAndNumbersWhatItReadsAs) {
  const long double a = 6378137.0L, f = 1.0L / 298.257223563L;
  Random random{7};
  const auto check = [&](long double x, long double y, long double z,
                         const geodesy::OutputPrecision& precision) {
    const std::string expected = geodesy::EcefToGeodetic(x, y, z, a, f, precision);
    std::string out = "name\t";
    const PrintedGeodetic printed = AppendGeodeticText(out, x, y, z, a, f, precision);
    ASSERT_EQ(out, "name\t" + expected);
    geodesy::NumberScanner scanner(expected);
    long double lat = 0.0L, lon = 0.0L, h = 0.0L;
    ASSERT_TRUE(scanner.ReadExtended(lat) && scanner.ReadExtended(lon) && scanner.ReadExtended(h));
    EXPECT_EQ(printed.lat, lat);
    EXPECT_EQ(printed.lon, lon);
    EXPECT_EQ(printed.h, h);
    EXPECT_EQ(std::signbit(printed.lat), std::signbit(lat));
  };
  for (int i = 0; i < 4000; ++i) {
    geodesy::OutputPrecision precision;
    precision.degrees = static_cast<int>(random.Next() * 13);
    precision.distance = static_cast<int>(random.Next() * 10);
    const long double lat = -90.0L + 180.0L * random.Next();
    const long double lon = -180.0L + 360.0L * random.Next();
    const auto e = internal::GeodeticToEcefValues(lat, lon, 3000.0L * random.Next(), a, f);
    check(e.x, e.y, e.z, precision);
  }
  geodesy::OutputPrecision fine;
  fine.degrees = 8;
  fine.distance = 3;
  // A latitude and a height halfway between two printed values.
  const auto tie = internal::GeodeticToEcefValues(38.123456785L, 23.5L, 150.0005L, a, f);
  check(tie.x, tie.y, tie.z, fine);
  // On the equator's both sides: "-0.00000000" against "0.00000000".
  for (long double lat : {1e-12L, -1e-12L, 0.0L}) {
    const auto e = internal::GeodeticToEcefValues(lat, 23.5L, 10.0L, a, f);
    check(e.x, e.y, e.z, fine);
  }
  check(0.5L, 0.0L, 6356752.0L, fine);  // beside the axis
  std::string out;
  EXPECT_THROW(AppendGeodeticText(out, 0.0L, 0.0L, 0.0L, a, f, fine), geodesy::ArithmeticFault);
}

TEST(CertainText, PrintsOnlyWhatEveryValueOfTheIntervalPrints) {
  std::string out = "x";
  const auto value = AppendCertainFixed(out, 2.12341L, 2.12349L, 3);
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(out, "x2.123");
  EXPECT_EQ(*value, geodesy::RoundTripFixedToExtended(2.123L, 3));
  // Across a rounding boundary, or across zero: nothing.
  EXPECT_FALSE(AppendCertainFixed(out, 2.12349L, 2.12351L, 3));
  EXPECT_FALSE(AppendCertainFixed(out, -1e-9L, 1e-9L, 3));
  EXPECT_FALSE(AppendCertainFixed(out, 1.0L, std::numeric_limits<long double>::infinity(), 3));
  EXPECT_EQ(out, "x2.123");
  const auto negative = AppendCertainFixed(out, -2e-9L, -1e-9L, 3);
  ASSERT_TRUE(negative.has_value());
  EXPECT_EQ(out, "x2.123-0.000");
  EXPECT_TRUE(std::signbit(*negative));
}

}  // namespace
}  // namespace halvex::geotools
