// SPDX-License-Identifier: GPL-3.0-or-later
//
// The compact adjustment against the dense textbook products, bit for bit.

#include "geotools/lsq/LeastSquares.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "geodesy/NumberText.hpp"

namespace halvex::geotools {
namespace {

using geodesy::CoordGrid;
using geodesy::MatInvert;
using geodesy::MatMultiply;
using geodesy::Matrix;
using geodesy::MatSubtract;
using geodesy::MatTranspose;

// Equal including the sign of zero.
void ExpectSameBits(long double compact, long double dense, const std::string& what) {
  EXPECT_TRUE(compact == dense && std::signbit(compact) == std::signbit(dense))
      << what << ": compact " << geodesy::FormatG15(compact) << " dense "
      << geodesy::FormatG15(dense) << " differ by " << static_cast<double>(compact - dense);
}

struct Dense {
  Matrix parameters, residuals, cofactors, omega;
};

// The products exactly as the textbook writes them, P included.
Dense DenseAdjust(const Matrix& a, const Matrix& l, std::size_t obs, std::size_t u) {
  const Matrix p = IdentityWeightMatrix(obs);
  const Matrix at = MatTranspose(a, obs, u);
  const Matrix atp = MatMultiply(at, p, u, obs, obs);
  Matrix n = MatMultiply(atp, a, u, obs, u);
  MatInvert(n, u);
  const Matrix atl = MatMultiply(at, l, u, obs, 1);
  Dense d;
  d.parameters = MatMultiply(n, atl, u, u, 1);
  d.residuals = MatSubtract(MatMultiply(a, d.parameters, obs, u, 1), l, obs, 1);
  d.cofactors = MatMultiply(MatMultiply(a, n, obs, u, u), at, obs, u, obs);
  const Matrix vt = MatTranspose(d.residuals, obs, 1);
  d.omega = MatMultiply(MatMultiply(vt, p, 1, obs, obs), d.residuals, 1, obs, 1);
  return d;
}

void ExpectSame(const Adjustment& compact, const Dense& dense, std::size_t obs, std::size_t u) {
  for (std::size_t i = 0; i < u; ++i) {
    ExpectSameBits(compact.parameters[i], dense.parameters[i][0], "parameter " + std::to_string(i));
  }
  ASSERT_EQ(compact.residuals.size(), obs);
  for (std::size_t m = 0; m < obs; ++m) {
    ExpectSameBits(compact.residuals[m], dense.residuals[m][0], "v " + std::to_string(m));
    ExpectSameBits(compact.cofactors[m], dense.cofactors[m][m], "Ql " + std::to_string(m));
  }
  ExpectSameBits(compact.omega, dense.omega[0][0], "omega");
}

// Deterministic awkward numbers: survey-sized coordinates with many digits,
// some exact zeros and negative values.
long double Value(unsigned i, long double base, long double spread) {
  const long double s = std::sin(static_cast<long double>(i) * 1.7L + 0.3L);
  return base + spread * s + static_cast<long double>(i % 7) * 0.0137L;
}

CoordGrid PlaneGrid(unsigned points, bool withZeros) {
  CoordGrid grid(5, 1);
  for (unsigned i = 0; i < points; ++i) {
    const long double x = withZeros && i == 1 ? 0.0L : Value(i, 412345.678L, 2500.0L);
    const long double y = withZeros && i == 2 ? 0.0L : Value(i + 11, 4512345.123L, 1800.0L);
    // A rotation, a scale and a little noise.
    const long double X = 1.0002L * (0.8L * x - 0.6L * y) + 12.5L + Value(i + 3, 0.0L, 0.02L);
    const long double Y = 0.9999L * (0.6L * x + 0.8L * y) - 7.25L + Value(i + 5, 0.0L, 0.02L);
    grid.AppendRow({std::to_string(i + 1), geodesy::FormatG15(x), geodesy::FormatG15(y),
                    geodesy::FormatG15(X), geodesy::FormatG15(Y)});
  }
  return grid;
}

CoordGrid SpaceGrid(unsigned points) {
  CoordGrid grid(7, 1);
  for (unsigned i = 0; i < points; ++i) {
    const long double x = Value(i, 4200000.0L, 30000.0L);
    const long double y = Value(i + 7, 2300000.0L, 30000.0L);
    const long double z = Value(i + 13, 4300000.0L, 30000.0L);
    const long double s = 1.0000031L, w = 4e-6L;
    const long double X = s * x + w * y - 2e-6L * z - 87.3L + Value(i + 2, 0.0L, 0.05L);
    const long double Y = -w * x + s * y + 1e-6L * z - 98.1L + Value(i + 4, 0.0L, 0.05L);
    const long double Z = 2e-6L * x - 1e-6L * y + s * z - 121.7L + Value(i + 6, 0.0L, 0.05L);
    grid.AppendRow({std::to_string(i + 1), geodesy::FormatG15(X), geodesy::FormatG15(Y),
                    geodesy::FormatG15(Z), geodesy::FormatG15(x), geodesy::FormatG15(y),
                    geodesy::FormatG15(z)});
  }
  return grid;
}

// The sums are taken over blocks of points, so the sizes include several
// whole blocks and a part of one.
TEST(LeastSquares, CompactEqualsDenseToTheBit) {
  for (unsigned n : {3U, 4U, 9U, 40U, 131U}) {
    for (bool zeros : {false, true}) {
      SCOPED_TRACE("points " + std::to_string(n) + (zeros ? " with zero coordinates" : ""));
      const CoordGrid grid = PlaneGrid(n, zeros);
      const std::vector<PlanePair> points = ReadPlanePairs(grid);
      {
        SCOPED_TRACE("affine");
        ExpectSame(AdjustAffine(points),
                   DenseAdjust(AffineDesignMatrix(grid), TargetVector(grid), 2 * n, 6), 2 * n, 6);
      }
      {
        SCOPED_TRACE("similarity");
        ExpectSame(AdjustSimilarity(points),
                   DenseAdjust(SimilarityDesignMatrix(grid), TargetVector(grid), 2 * n, 4), 2 * n,
                   4);
      }
    }
  }
  for (unsigned n : {3U, 5U, 17U, 150U}) {
    SCOPED_TRACE("Helmert, points " + std::to_string(n));
    const CoordGrid grid = SpaceGrid(n);
    const std::vector<SpacePair> points = ReadSpacePairs(grid);
    for (long double scale : {1.0L, 1.0000031234L}) {
      ExpectSame(
          AdjustHelmert(points, scale),
          DenseAdjust(HelmertDesignMatrix(grid, scale), HelmertObservationVector(grid), 3 * n, 7),
          3 * n, 7);
      const std::vector<long double> only = HelmertParametersOnly(points, scale);
      const Adjustment full = AdjustHelmert(points, scale);
      for (std::size_t i = 0; i < 7; ++i) {
        ExpectSameBits(only[i], full.parameters[i], "first pass parameter");
      }
    }
  }
}

// Enough points for the residuals and cofactors to be shared among threads:
// Ω summed over the kept residuals is the Ω of one pass in order, and each
// point's residuals sit at its own place (the first, a middle and the last
// point against the dense formulation of that point alone with the same
// parameters).
TEST(LeastSquares, ResidualsSharedAmongThreadsKeepTheirOrder) {
  const std::size_t n = 30000;
  const CoordGrid grid = SpaceGrid(static_cast<unsigned>(n));
  const std::vector<SpacePair> points = ReadSpacePairs(grid);
  const long double scale = 1.0000031234L;
  const Adjustment kept = AdjustHelmert(points, scale, true);
  const Adjustment passed = AdjustHelmert(points, scale, false);
  ExpectSameBits(kept.omega, passed.omega, "omega");
  ASSERT_EQ(kept.residuals.size(), 3 * n);
  ASSERT_EQ(kept.cofactors.size(), 3 * n);
  for (std::size_t i : {std::size_t{0}, n / 2 + 1, n - 1}) {
    CoordGrid one(7, 1);
    geodesy::SetGridHeader(one, "No Xwgs Ywgs Zwgs Xloc Yloc Zloc");
    std::vector<std::string> row;
    for (std::size_t col = 0; col < 7; ++col) {
      row.emplace_back(grid.Cell(col, i + 1));
    }
    one.AppendRow({row[0], row[1], row[2], row[3], row[4], row[5], row[6]});
    const Matrix a = HelmertDesignMatrix(one, scale);
    const Matrix l = HelmertObservationVector(one);
    for (std::size_t r = 0; r < 3; ++r) {
      long double adjusted = 0.0L;
      for (std::size_t p = 0; p < 7; ++p) {
        adjusted += a[r][p] * kept.parameters[p];
      }
      ExpectSameBits(kept.residuals[3 * i + r], adjusted - l[r][0], "residual");
    }
  }
}

TEST(LeastSquares, DesignRowsFollowTheModels) {
  CoordGrid grid(7, 1);
  grid.AppendRow({"P", "10", "20", "30", "2", "3", "5"});
  // Affine and similarity read columns 1..4 (x = 10, y = 20, X = 30, Y = 2).
  EXPECT_EQ(AffineDesignMatrix(grid), (Matrix{{1, 10, 20, 0, 0, 0}, {0, 0, 0, 1, 10, 20}}));
  EXPECT_EQ(SimilarityDesignMatrix(grid), (Matrix{{1, 0, 10, 20}, {0, 1, 20, -10}}));
  EXPECT_EQ(TargetVector(grid), (Matrix{{30}, {2}}));
  // Helmert: local (2, 3, 5) at scale 2; observations the WGS-84 columns.
  EXPECT_EQ(HelmertDesignMatrix(grid, 2),
            (Matrix{{2, 0, -10, 6, 1, 0, 0}, {3, 10, 0, -4, 0, 1, 0}, {5, -6, 4, 0, 0, 0, 1}}));
  EXPECT_EQ(HelmertObservationVector(grid), (Matrix{{10}, {20}, {30}}));
}

TEST(LeastSquares, RefusesWhatCannotBeAdjusted) {
  // All points on one spot: the normal matrix is singular.
  std::vector<PlanePair> same(4, PlanePair{1, 2, 3, 4});
  EXPECT_THROW(AdjustAffine(same), geodesy::ArithmeticFault);
  // Numbers whose squares overflow even the extended range.
  std::vector<PlanePair> huge = {{1e3000L, 1, 2, 3}, {2, 1e3000L, 4, 5}, {3, 4, 5, 6}};
  EXPECT_THROW(AdjustAffine(huge), geodesy::ArithmeticFault);

  CoordGrid grid(5, 1);
  grid.AppendRow({"1", "12.5", "north", "1", "2"});
  EXPECT_THROW(ReadPlanePairs(grid), NotANumber);
  // A leading number is read as C's %Lf reads it; "inf" and "nan" are not numbers.
  EXPECT_EQ(ParseLeadingNumber("  12.5m"), 12.5L);
  EXPECT_THROW(ParseLeadingNumber("nan"), NotANumber);
  EXPECT_THROW(ParseLeadingNumber(""), NotANumber);
}

}  // namespace
}  // namespace halvex::geotools
