// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/lsq/SecondLengths.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "geodesy/NumberText.hpp"
#include "geotools/lsq/tests/TestEarths.hpp"

namespace halvex::geotools {
namespace {

using testing::kEarthEllipsoids;
using testing::Random;

// The closed forms stay far inside their bound of Vincenty's lengths on
// every ellipsoid and latitude they are taken for, the ends of the range
// included; Vincenty always has an answer there, so taking the closed forms
// never hides a failure the report would have had.
TEST(SecondLengths, ClosedFormsAgreeWithVincentyOverTheirWholeRange) {
  Random random{0x5DEECE66DULL};
  long double worst = 0.0L;
  for (const testing::Ellipsoid& e : kEarthEllipsoids) {
    const long double f = 1.0L / e.inverseFlattening;
    for (int i = 0; i < 12000; ++i) {
      long double lat = -89.5L + 179.0L * random.Next();
      long double lon = -180.0L + 360.0L * random.Next();
      if (i < 8) {  // the ends of the range and the equator
        const long double ends[] = {-89.5L, 89.5L, 0.0L, 31.91L};
        lat = ends[i % 4];
        lon = i < 4 ? 180.0L : -180.0L;
      }
      const auto exact = VincentySecondLengths(e.a, f, lat, lon);
      const auto quick = QuickSecondLengths(e.a, f, lat, lon);
      ASSERT_TRUE(exact && quick) << "lat " << static_cast<double>(lat);
      worst = std::max({worst, std::fabs(quick->north / exact->north - 1),
                        std::fabs(quick->east / exact->east - 1)});
    }
  }
  EXPECT_LT(worst, kQuickTolerance / 20) << static_cast<double>(worst);
}

TEST(SecondLengths, ClosedFormsAreNotTakenOutsideTheirRange) {
  const long double f = 1.0L / 298.257223563L;
  EXPECT_FALSE(QuickSecondLengths(6378137.0L, f, 89.51L, 10.0L));
  EXPECT_FALSE(QuickSecondLengths(6378137.0L, f, -90.0L, 10.0L));
  EXPECT_FALSE(QuickSecondLengths(1.0L, f, 45.0L, 10.0L));
  EXPECT_FALSE(QuickSecondLengths(6378137.0L, 0.0L, 45.0L, 10.0L));
  EXPECT_FALSE(QuickSecondLengths(6378137.0L, 1.0L / 200, 45.0L, 10.0L));
  EXPECT_FALSE(
      QuickSecondLengths(6378137.0L, f, std::numeric_limits<long double>::quiet_NaN(), 10.0L));
  EXPECT_FALSE(
      QuickSecondLengths(6378137.0L, f, 45.0L, std::numeric_limits<long double>::infinity()));
}

// Whenever a text is appended it is the text of every product within the
// bound, the ends of the interval included; next to a rounding boundary
// nothing is appended, so the caller measures exactly.
TEST(SecondLengths, AProductIsPrintedOnlyWhenItsTextIsCertain) {
  Random random{42};
  int certain = 0, refused = 0;
  for (int i = 0; i < 20000; ++i) {
    const int decimals = static_cast<int>(random.Next() * 11);
    const long double d = (random.Next() - 0.5L) * 0.02L;
    const long double m = 20.0L + 11.0L * random.Next();
    std::string out = "x";
    if (AppendCertainProduct(out, d, m, decimals)) {
      ++certain;
      for (long double factor : {1.0L - kQuickTolerance, 1.0L, 1.0L + kQuickTolerance}) {
        ASSERT_EQ(out, "x" + geodesy::FormatFixed(d * (m * factor), decimals))
            << static_cast<double>(d) << " " << decimals;
      }
    } else {
      ++refused;
      ASSERT_EQ(out, "x");
    }
  }
  // Both outcomes occur: coarse decimals are nearly always certain, ten
  // decimals of a centimetre residual rarely.
  EXPECT_GT(certain, 10000);
  EXPECT_GT(refused, 100);

  std::string out;
  // 0.0125 exactly halfway between two texts at three decimals.
  EXPECT_FALSE(AppendCertainProduct(out, 0.0125L, 1.0L, 3));
  EXPECT_FALSE(AppendCertainProduct(out, std::numeric_limits<long double>::infinity(), 1.0L, 3));
  EXPECT_FALSE(AppendCertainProduct(out, std::numeric_limits<long double>::quiet_NaN(), 1.0L, 3));
  EXPECT_EQ(out, "");
  EXPECT_TRUE(AppendCertainProduct(out, 0.012L, 30.87L, 3));
  EXPECT_EQ(out, geodesy::FormatFixed(0.012L * 30.87L, 3));
}

}  // namespace
}  // namespace halvex::geotools
