// SPDX-License-Identifier: GPL-3.0-or-later
//
// The compact adjustment: the sums of the dense products taken row by row.
//
// Why the results equal the dense products exactly: every dense sum starts
// at +0 and adds its terms in index order. A term with a zero factor and a
// finite other factor is ±0, and adding ±0 to a sum that started at +0
// leaves it as it was (round to nearest never makes such a sum −0). So
// skipping those terms, and taking the terms that remain in the same order,
// changes no bit. (AᵀP)[p][m] is A[m][p] and (vᵀP)[m] is v[m] up to the sign
// of zeros, which by the same argument changes no sum. Non-finite values are
// the one case where a zero factor matters (0·∞ is NaN); they are refused
// as arithmetic faults, as the dense computation would fail on them too.

#include "geotools/lsq/LeastSquares.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "geodesy/NumberText.hpp"
#include "geotools/lsq/Slices.hpp"
#include "platform/PageWarmer.hpp"

namespace halvex::geotools {

using geodesy::ArithmeticFault;
using geodesy::CoordGrid;
using geodesy::Matrix;

long double ParseLeadingNumber(std::string_view text) {
  geodesy::NumberScanner scanner(text);
  long double value = 0.0L;
  if (!scanner.ReadExtended(value)) {
    throw NotANumber("'" + std::string(text) + "' is not a number");
  }
  return value;
}

namespace {

long double CellNumber(const CoordGrid& grid, std::size_t col, std::size_t row) {
  if (col >= grid.ColCount()) {
    throw NotANumber("row " + std::to_string(row) + " has no column " + std::to_string(col));
  }
  geodesy::NumberScanner scanner(grid.Cell(col, row));
  long double value = 0.0L;
  if (!scanner.ReadExtended(value)) {
    throw NotANumber("cell " + std::to_string(col) + " of row " + std::to_string(row) + " ('" +
                     std::string(grid.Cell(col, row)) + "') is not a number");
  }
  return value;
}

template <std::size_t U, std::size_t R>
struct PointRows {
  long double a[R][U];
  long double obs[R];
};

// The places of the design rows that can be other than zero. Terms at the
// other places are ±0 and left out (see the top of the file); the loops
// over these constant masks unroll into straight code.
template <std::size_t U, std::size_t R>
using Mask = std::array<std::array<bool, U>, R>;

constexpr Mask<4, 2> kSimilarityMask = {{{1, 0, 1, 1}, {0, 1, 1, 1}}};
constexpr Mask<7, 3> kHelmertMask = {
    {{1, 0, 1, 1, 1, 0, 0}, {1, 1, 0, 1, 0, 1, 0}, {1, 1, 1, 0, 0, 0, 1}}};

void FillAffine(const PlanePair& p, PointRows<6, 2>& r) {
  r.a[0][0] = 1.0L, r.a[0][1] = p.x, r.a[0][2] = p.y, r.a[0][3] = 0.0L, r.a[0][4] = 0.0L,
  r.a[0][5] = 0.0L;
  r.a[1][0] = 0.0L, r.a[1][1] = 0.0L, r.a[1][2] = 0.0L, r.a[1][3] = 1.0L, r.a[1][4] = p.x,
  r.a[1][5] = p.y;
  r.obs[0] = p.X;
  r.obs[1] = p.Y;
}

void FillSimilarity(const PlanePair& p, PointRows<4, 2>& r) {
  r.a[0][0] = 1.0L, r.a[0][1] = 0.0L, r.a[0][2] = p.x, r.a[0][3] = p.y;
  r.a[1][0] = 0.0L, r.a[1][1] = 1.0L, r.a[1][2] = p.y, r.a[1][3] = -p.x;
  r.obs[0] = p.X;
  r.obs[1] = p.Y;
}

// The Helmert rows of one point: the local coordinates x, y, z with the
// rotation columns evaluated at scale s.
void FillHelmert(const SpacePair& p, long double s, PointRows<7, 3>& r) {
  const long double x = p.local[0], y = p.local[1], z = p.local[2];
  const long double row0[7] = {x, 0.0L, -(s * z), s * y, 1.0L, 0.0L, 0.0L};
  const long double row1[7] = {y, s * z, 0.0L, -(s * x), 0.0L, 1.0L, 0.0L};
  const long double row2[7] = {z, -(s * y), s * x, 0.0L, 0.0L, 0.0L, 1.0L};
  for (std::size_t q = 0; q < 7; ++q) {
    r.a[0][q] = row0[q];
    r.a[1][q] = row1[q];
    r.a[2][q] = row2[q];
  }
  r.obs[0] = p.wgs[0];
  r.obs[1] = p.wgs[1];
  r.obs[2] = p.wgs[2];
}

void RequireFinite(long double value) {
  if (!std::isfinite(value)) {
    throw ArithmeticFault("arithmetic fault: a value of the adjustment is not finite");
  }
}

// N and Aᵀ·L summed over the rows, then N inverted and X̂ = N⁻¹·(Aᵀ·L).
//
// Every sum of N and Aᵀ·L takes its terms point by point in the order of
// the rows, and the sums are independent of one another. So the points are
// taken in blocks: a block's rows are filled first, then each sum runs
// through the whole block at once. The terms and their order are those of
// one pass point by point (the results are the same to the bit), but a sum
// stays in a register through the block instead of being loaded and stored
// for every term, which for extended precision costs more than the term.
template <std::size_t U, std::size_t R, const Mask<U, R>& M, class Points, class Fill>
void Solve(const Points& points, Fill fill, Matrix& inverse, std::vector<long double>& x) {
  constexpr std::size_t kBlock = 64;
  long double n[U][U] = {};
  long double atl[U] = {};
  std::array<PointRows<U, R>, kBlock> block;
  const std::size_t count = points.size();
  for (std::size_t start = 0; start < count; start += kBlock) {
    const std::size_t size = std::min(kBlock, count - start);
    for (std::size_t i = 0; i < size; ++i) {
      fill(points[start + i], block[i]);
    }
    for (std::size_t p = 0; p < U; ++p) {
      for (std::size_t q = p; q < U; ++q) {
        bool used = false;
        for (std::size_t r = 0; r < R; ++r) {
          used = used || (M[r][p] && M[r][q]);
        }
        if (!used) {
          continue;
        }
        long double sum = n[p][q];
        for (std::size_t i = 0; i < size; ++i) {
          for (std::size_t r = 0; r < R; ++r) {
            if (M[r][p] && M[r][q]) {
              sum += block[i].a[r][p] * block[i].a[r][q];
            }
          }
        }
        n[p][q] = sum;
      }
      long double sum = atl[p];
      for (std::size_t i = 0; i < size; ++i) {
        for (std::size_t r = 0; r < R; ++r) {
          if (M[r][p]) {
            sum += block[i].a[r][p] * block[i].obs[r];
          }
        }
      }
      atl[p] = sum;
    }
  }
  inverse = Matrix(U, U);
  Matrix atlMatrix(U, 1);
  for (std::size_t p = 0; p < U; ++p) {
    for (std::size_t q = p; q < U; ++q) {
      RequireFinite(n[p][q]);
      inverse[p][q] = n[p][q];
      inverse[q][p] = n[p][q];
    }
    RequireFinite(atl[p]);
    atlMatrix[p][0] = atl[p];
  }
  geodesy::MatInvert(inverse, U);
  const Matrix solution = geodesy::MatMultiply(inverse, atlMatrix, U, U, 1);
  x.resize(U);
  for (std::size_t p = 0; p < U; ++p) {
    RequireFinite(solution[p][0]);
    x[p] = solution[p][0];
  }
}

template <std::size_t U, std::size_t R, const Mask<U, R>& M, class Points, class Fill>
Adjustment Adjust(const Points& points, Fill fill, bool keepObservations) {
  Adjustment out;
  Solve<U, R, M>(points, fill, out.inverseNormal, out.parameters);
  long double ni[U][U];
  for (std::size_t p = 0; p < U; ++p) {
    for (std::size_t q = 0; q < U; ++q) {
      ni[p][q] = out.inverseNormal[p][q];
    }
  }
  const long double* xh = out.parameters.data();
  // The residual v and the cofactor Qₗ[m][m] of each observation m.
  const auto observe = [&](const PointRows<U, R>& rows, std::size_t r, long double& v,
                           long double& q) {
    const long double* a = rows.a[r];
    long double adjusted = 0.0L;
    for (std::size_t p = 0; p < U; ++p) {
      if (M[r][p]) {
        adjusted += a[p] * xh[p];
      }
    }
    v = adjusted - rows.obs[r];
    // Qₗ[m][m] = Σ_q (Σ_p A[m][p]·N⁻¹[p][q]) · A[m][q].
    q = 0.0L;
    for (std::size_t c = 0; c < U; ++c) {
      if (!M[r][c]) {
        continue;
      }
      long double an = 0.0L;
      for (std::size_t p = 0; p < U; ++p) {
        if (M[r][p]) {
          an += a[p] * ni[p][c];
        }
      }
      q += an * a[c];
    }
  };
  bool finite = true;
  long double omega = 0.0L;
  if (keepObservations) {
    // Every point's residuals and cofactors are its own, so the points are
    // shared among threads; Ω is then summed over them in order, as one
    // pass would.
    for (std::vector<long double>* kept : {&out.residuals, &out.cofactors}) {
      kept->reserve(points.size() * R);
      platform::AdviseHugePages(kept->data(), kept->capacity() * sizeof(long double));
      kept->resize(points.size() * R);
    }
    std::vector<char> sliceFinite(SliceCount(0, points.size()), 1);
    ForEachSlice(points.size(), static_cast<unsigned>(sliceFinite.size()),
                 [&](unsigned slice, std::size_t first, std::size_t last) {
                   PointRows<U, R> rows;
                   bool ok = true;
                   for (std::size_t i = first; i < last; ++i) {
                     fill(points[i], rows);
                     for (std::size_t r = 0; r < R; ++r) {
                       long double& v = out.residuals[R * i + r];
                       long double& q = out.cofactors[R * i + r];
                       observe(rows, r, v, q);
                       ok = ok && std::isfinite(v) && std::isfinite(q);
                     }
                   }
                   sliceFinite[slice] = ok ? 1 : 0;
                 });
    for (const long double v : out.residuals) {
      omega += v * v;
    }
    finite = std::all_of(sliceFinite.begin(), sliceFinite.end(), [](char ok) { return ok != 0; });
  } else {
    PointRows<U, R> rows;
    for (const auto& point : points) {
      fill(point, rows);
      for (std::size_t r = 0; r < R; ++r) {
        long double v = 0.0L, q = 0.0L;
        observe(rows, r, v, q);
        finite = finite && std::isfinite(v) && std::isfinite(q);
        omega += v * v;
      }
    }
  }
  if (!finite) {
    throw ArithmeticFault("arithmetic fault: a residual or cofactor is not finite");
  }
  RequireFinite(omega);
  out.omega = omega;
  return out;
}

}  // namespace

std::vector<PlanePair> ReadPlanePairs(const CoordGrid& grid) {
  std::vector<PlanePair> points;
  points.reserve(grid.RowCount() > 0 ? grid.RowCount() - 1 : 0);
  for (std::size_t row = 1; row < grid.RowCount(); ++row) {
    PlanePair p;
    p.x = CellNumber(grid, 1, row);
    p.y = CellNumber(grid, 2, row);
    p.X = CellNumber(grid, 3, row);
    p.Y = CellNumber(grid, 4, row);
    points.push_back(p);
  }
  return points;
}

std::vector<SpacePair> ReadSpacePairs(const CoordGrid& grid) {
  // Rows are read in slices on several threads; the first cell that is not
  // a number is still the one named, as the slices' errors are taken in
  // row order.
  const std::size_t count = grid.RowCount() > 0 ? grid.RowCount() - 1 : 0;
  std::vector<SpacePair> points;
  points.reserve(count);
  platform::AdviseHugePages(points.data(), count * sizeof(SpacePair));
  points.resize(count);
  ForEachSlice(count, SliceCount(0, count), [&](unsigned, std::size_t first, std::size_t last) {
    for (std::size_t i = first; i < last; ++i) {
      SpacePair& p = points[i];
      for (std::size_t k = 0; k < 3; ++k) {
        p.wgs[k] = CellNumber(grid, 1 + k, i + 1);
      }
      for (std::size_t k = 0; k < 3; ++k) {
        p.local[k] = CellNumber(grid, 4 + k, i + 1);
      }
    }
  });
  return points;
}

// The affine model written out: its two rows per point have the same
// non-zero columns (1, x, y) in the two halves of the unknowns, so both
// diagonal blocks of N are the same sums in the same order and are summed
// once; every sum below takes its terms in the order of the dense product.
Adjustment AdjustAffine(const std::vector<PlanePair>& points, bool keepObservations) {
  long double s1 = 0.0L, sx = 0.0L, sy = 0.0L, sxx = 0.0L, sxy = 0.0L, syy = 0.0L;
  long double nX0 = 0.0L, nX1 = 0.0L, nX2 = 0.0L, nY0 = 0.0L, nY1 = 0.0L, nY2 = 0.0L;
  for (const PlanePair& p : points) {
    s1 += 1.0L;
    sx += p.x;
    sy += p.y;
    sxx += p.x * p.x;
    sxy += p.x * p.y;
    syy += p.y * p.y;
    nX0 += p.X;
    nX1 += p.x * p.X;
    nX2 += p.y * p.X;
    nY0 += p.Y;
    nY1 += p.x * p.Y;
    nY2 += p.y * p.Y;
  }
  const long double block[3][3] = {{s1, sx, sy}, {sx, sxx, sxy}, {sy, sxy, syy}};
  Adjustment out;
  out.inverseNormal = Matrix(6, 6);
  Matrix atl(6, 1);
  const long double n[6] = {nX0, nX1, nX2, nY0, nY1, nY2};
  for (std::size_t p = 0; p < 3; ++p) {
    for (std::size_t q = 0; q < 3; ++q) {
      RequireFinite(block[p][q]);
      out.inverseNormal[p][q] = block[p][q];
      out.inverseNormal[p + 3][q + 3] = block[p][q];
    }
  }
  for (std::size_t p = 0; p < 6; ++p) {
    RequireFinite(n[p]);
    atl[p][0] = n[p];
  }
  geodesy::MatInvert(out.inverseNormal, 6);
  const Matrix solution = geodesy::MatMultiply(out.inverseNormal, atl, 6, 6, 1);
  out.parameters.resize(6);
  for (std::size_t p = 0; p < 6; ++p) {
    RequireFinite(solution[p][0]);
    out.parameters[p] = solution[p][0];
  }
  const long double* xh = out.parameters.data();
  long double ni[6][6];
  for (std::size_t p = 0; p < 6; ++p) {
    for (std::size_t q = 0; q < 6; ++q) {
      ni[p][q] = out.inverseNormal[p][q];
    }
  }
  if (keepObservations) {
    out.residuals.resize(2 * points.size());
    out.cofactors.resize(2 * points.size());
  }
  long double* v = out.residuals.data();
  long double* qd = out.cofactors.data();
  long double omega = 0.0L;
  bool finite = true;
  for (const PlanePair& p : points) {
    for (std::size_t half = 0; half < 2; ++half) {
      const std::size_t o = 3 * half;
      const long double adjusted = ((0.0L + xh[o]) + p.x * xh[o + 1]) + p.y * xh[o + 2];
      const long double r = adjusted - (half == 0 ? p.X : p.Y);
      long double t[3];
      for (std::size_t c = 0; c < 3; ++c) {
        t[c] = ((0.0L + ni[o][o + c]) + p.x * ni[o + 1][o + c]) + p.y * ni[o + 2][o + c];
      }
      const long double q = ((0.0L + t[0]) + t[1] * p.x) + t[2] * p.y;
      finite = finite && std::isfinite(r) && std::isfinite(q);
      omega += r * r;
      if (keepObservations) {
        *v++ = r;
        *qd++ = q;
      }
    }
  }
  if (!finite) {
    throw ArithmeticFault("arithmetic fault: a residual or cofactor is not finite");
  }
  RequireFinite(omega);
  out.omega = omega;
  return out;
}

Adjustment AdjustSimilarity(const std::vector<PlanePair>& points, bool keepObservations) {
  return Adjust<4, 2, kSimilarityMask>(points, FillSimilarity, keepObservations);
}

Adjustment AdjustHelmert(const std::vector<SpacePair>& points, long double scale,
                         bool keepObservations) {
  return Adjust<7, 3, kHelmertMask>(
      points, [scale](const SpacePair& p, PointRows<7, 3>& r) { FillHelmert(p, scale, r); },
      keepObservations);
}

std::vector<long double> HelmertParametersOnly(const std::vector<SpacePair>& points,
                                               long double scale) {
  Matrix inverse;
  std::vector<long double> x;
  Solve<7, 3, kHelmertMask>(
      points, [scale](const SpacePair& p, PointRows<7, 3>& r) { FillHelmert(p, scale, r); },
      inverse, x);
  return x;
}

namespace {

template <std::size_t U, std::size_t R, class Points, class Fill>
Matrix DenseDesign(const Points& points, Fill fill) {
  Matrix a(points.size() * R, U);
  PointRows<U, R> rows;
  std::size_t m = 0;
  for (const auto& point : points) {
    fill(point, rows);
    for (std::size_t r = 0; r < R; ++r, ++m) {
      for (std::size_t q = 0; q < U; ++q) {
        a[m][q] = rows.a[r][q];
      }
    }
  }
  return a;
}

}  // namespace

Matrix AffineDesignMatrix(const CoordGrid& grid) {
  return DenseDesign<6, 2>(ReadPlanePairs(grid), FillAffine);
}

Matrix SimilarityDesignMatrix(const CoordGrid& grid) {
  return DenseDesign<4, 2>(ReadPlanePairs(grid), FillSimilarity);
}

Matrix HelmertDesignMatrix(const CoordGrid& grid, long double scale) {
  return DenseDesign<7, 3>(ReadSpacePairs(grid), [scale](const SpacePair& p, PointRows<7, 3>& r) {
    FillHelmert(p, scale, r);
  });
}

Matrix IdentityWeightMatrix(std::size_t observations) {
  Matrix p(observations, observations);
  for (std::size_t i = 0; i < observations; ++i) {
    p[i][i] = 1.0L;
  }
  return p;
}

Matrix TargetVector(const CoordGrid& grid) {
  const std::vector<PlanePair> points = ReadPlanePairs(grid);
  Matrix l(points.size() * 2, 1);
  for (std::size_t i = 0; i < points.size(); ++i) {
    l[2 * i][0] = points[i].X;
    l[2 * i + 1][0] = points[i].Y;
  }
  return l;
}

Matrix HelmertObservationVector(const CoordGrid& grid) {
  const std::vector<SpacePair> points = ReadSpacePairs(grid);
  Matrix l(points.size() * 3, 1);
  for (std::size_t i = 0; i < points.size(); ++i) {
    for (std::size_t k = 0; k < 3; ++k) {
      l[3 * i + k][0] = points[i].wgs[k];
    }
  }
  return l;
}

}  // namespace halvex::geotools
