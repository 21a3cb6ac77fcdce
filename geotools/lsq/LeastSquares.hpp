// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Least-squares adjustment of the geodesy tools' three transformations
// (2-D affine, 2-D similarity, 3-D Helmert) by indirect observations with
// equal weights: for the design matrix A, observations L and the identity
// weight matrix P,
//
//   N = (AᵀP)·A,  X̂ = N⁻¹·(Aᵀ·L),  v = A·X̂ − L,  Qₗ = (A·N⁻¹)·Aᵀ,
//   Ω = (vᵀP)·v,
//
// every product in extended precision, accumulated from 0 in index order,
// and N inverted with MatInvert (Gauss-Jordan without pivoting).
//
// The adjustment never builds A, P or Qₗ: a model gives the rows of A one
// point at a time, and the sums run over the rows in the order the dense
// products would take them. A product with P gives the other operand
// exactly, and a term with a zero factor leaves a sum that started at +0
// unchanged, so the results equal the dense products bit for bit (the test
// LeastSquaresTest compares both) while memory grows with the number of
// observations only: two extended values per observation (v and the
// diagonal of Qₗ).
//
// The dense builders below give the matrices of the textbook formulation;
// they exist for that comparison and for small checks, not for the pages.

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "geodesy/CoordGrid.hpp"
#include "geodesy/Matrix.hpp"

namespace halvex::geotools {

// A cell or caption that holds no leading number.
class NotANumber : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The leading number of a cell or label text, read as C's "%Lf" would read
// it (white space skipped, the longest prefix that forms a number). Throws
// NotANumber when there is none.
long double ParseLeadingNumber(std::string_view text);

// A control point of the 2-D pages: source easting x and northing y,
// target easting X and northing Y (metres).
struct PlanePair {
  long double x = 0.0L, y = 0.0L, X = 0.0L, Y = 0.0L;
};

// A control point of the Helmert page: WGS-84 ECEF (the observations) and
// local-datum ECEF, metres.
struct SpacePair {
  std::array<long double, 3> wgs{};
  std::array<long double, 3> local{};
};

// Rows 1 .. RowCount()-1 of a control point grid (columns 1 to 4, or 1 to 6
// for the Helmert grid). Throws NotANumber naming the cell on the first cell
// that is not a number.
std::vector<PlanePair> ReadPlanePairs(const geodesy::CoordGrid& grid);
std::vector<SpacePair> ReadSpacePairs(const geodesy::CoordGrid& grid);

// The result of one adjustment. Observations are counted m = 0 .. l-1 in the
// order of the design rows (X then Y for the 2-D models, X, Y, Z for the
// Helmert model).
struct Adjustment {
  std::vector<long double> parameters;  // X̂, in the order of the unknowns
  std::vector<long double> residuals;   // v = A·X̂ − L
  std::vector<long double> cofactors;   // Qₗ[m][m]
  long double omega = 0.0L;             // vᵀ·P·v
  geodesy::Matrix inverseNormal;        // N⁻¹
};

// The models: their rows of A, given one control point at a time.
struct AffineModel {
  static constexpr std::size_t kUnknowns = 6;  // A0 A1 A2 B0 B1 B2
  static constexpr std::size_t kRows = 2;
};
struct SimilarityModel {
  static constexpr std::size_t kUnknowns = 4;  // tx ty a b
  static constexpr std::size_t kRows = 2;
};
struct HelmertModel {
  static constexpr std::size_t kUnknowns = 7;  // k ωx ωy ωz tx ty tz
  static constexpr std::size_t kRows = 3;
};

// Adjusts the model to the points. Throws geodesy::ArithmeticFault for a
// singular normal matrix or any value that is not finite (overflow,
// invalid operation). `scale` is the s at which the Helmert rotation
// columns are evaluated. Without `keepObservations` the residuals and
// cofactors are computed (for Ω and the finiteness checks) but not kept.
Adjustment AdjustAffine(const std::vector<PlanePair>& points, bool keepObservations = true);
Adjustment AdjustSimilarity(const std::vector<PlanePair>& points, bool keepObservations = true);
Adjustment AdjustHelmert(const std::vector<SpacePair>& points, long double scale,
                         bool keepObservations = true);

// Only the parameters (the first Helmert pass).
std::vector<long double> HelmertParametersOnly(const std::vector<SpacePair>& points,
                                               long double scale);

// The dense formulation, for small point counts: the l × u design matrices,
// the l × l identity weight matrix and the l × 1 target vector of a control
// point grid (target columns 3, 4 of the 2-D grids; WGS-84 columns 1 to 3 of
// the Helmert grid).
geodesy::Matrix AffineDesignMatrix(const geodesy::CoordGrid& grid);
geodesy::Matrix SimilarityDesignMatrix(const geodesy::CoordGrid& grid);
geodesy::Matrix HelmertDesignMatrix(const geodesy::CoordGrid& grid, long double scale);
geodesy::Matrix IdentityWeightMatrix(std::size_t observations);
geodesy::Matrix TargetVector(const geodesy::CoordGrid& grid);
geodesy::Matrix HelmertObservationVector(const geodesy::CoordGrid& grid);

}  // namespace halvex::geotools
