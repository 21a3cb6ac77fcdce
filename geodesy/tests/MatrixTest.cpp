// SPDX-License-Identifier: GPL-3.0-or-later
#include "geodesy/Matrix.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace halvex::geodesy {
namespace {

void ExpectNear(const Matrix& actual, const Matrix& expected, std::size_t rows, std::size_t cols,
                long double tolerance) {
  for (std::size_t i = 0; i < rows; ++i) {
    for (std::size_t j = 0; j < cols; ++j) {
      EXPECT_NEAR(static_cast<double>(actual[i][j]), static_cast<double>(expected[i][j]),
                  static_cast<double>(tolerance))
          << "element [" << i << "][" << j << "] differs by "
          << static_cast<double>(actual[i][j] - expected[i][j]);
    }
  }
}

Matrix Identity(std::size_t n) {
  Matrix m(n, n);
  for (std::size_t i = 0; i < n; ++i) {
    m[i][i] = 1.0L;
  }
  return m;
}

TEST(Matrix, ElementwiseOperationsAndTranspose) {
  const Matrix a{{1, 2, 3}, {4, 5, 6}};
  const Matrix b{{6, 5, 4}, {3, 2, 1}};
  EXPECT_EQ(MatAdd(a, b, 2, 3), (Matrix{{7, 7, 7}, {7, 7, 7}}));
  EXPECT_EQ(MatSubtract(a, b, 2, 3), (Matrix{{-5, -3, -1}, {1, 3, 5}}));
  EXPECT_EQ(MatTranspose(a, 2, 3), (Matrix{{1, 4}, {2, 5}, {3, 6}}));
  EXPECT_EQ(MatMultiply(a, MatTranspose(b, 2, 3), 2, 3, 2), (Matrix{{28, 10}, {73, 28}}));
  // Only the sizes given take part: a 1 × 2 product of the top-left corners.
  EXPECT_EQ(MatMultiply(a, MatTranspose(b, 2, 3), 1, 2, 2), (Matrix{{16, 7}}));
}

TEST(Matrix, InverseOfIdentityIsIdentity) {
  Matrix m = Identity(4);
  MatInvert(m, 4);
  EXPECT_EQ(m, Identity(4));
}

TEST(Matrix, InverseOfSymmetricPositiveDefiniteGivesIdentity) {
  // A normal matrix AᵀA of a well-conditioned 8 × 6 design.
  Matrix design(8, 6);
  for (std::size_t i = 0; i < 8; ++i) {
    for (std::size_t j = 0; j < 6; ++j) {
      design[i][j] = std::sin(static_cast<long double>(i * 7 + j * 3 + 1)) + (i == j ? 2.0L : 0.0L);
    }
  }
  const Matrix normal = MatMultiply(MatTranspose(design, 8, 6), design, 6, 8, 6);
  Matrix inverse = normal;
  MatInvert(inverse, 6);
  ExpectNear(MatMultiply(inverse, normal, 6, 6, 6), Identity(6), 6, 6, 1e-16L);
  ExpectNear(MatMultiply(normal, inverse, 6, 6, 6), Identity(6), 6, 6, 1e-16L);
}

TEST(Matrix, InverseOfScaledRotationIsTransposeOverScale) {
  const long double a = 0.3L, b = -1.1L, s = 1.0000042L;
  // Rotation about Z by a, then about X by b.
  const Matrix rz{{std::cos(a), std::sin(a), 0}, {-std::sin(a), std::cos(a), 0}, {0, 0, 1}};
  const Matrix rx{{1, 0, 0}, {0, std::cos(b), std::sin(b)}, {0, -std::sin(b), std::cos(b)}};
  const Matrix r = MatMultiply(rz, rx, 3, 3, 3);
  Matrix m(3, 3);
  Matrix expected(3, 3);
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t j = 0; j < 3; ++j) {
      m[i][j] = s * r[i][j];
      expected[j][i] = r[i][j] / s;
    }
  }
  MatInvert(m, 3);
  ExpectNear(m, expected, 3, 3, 1e-18L);
}

TEST(Matrix, ZeroPivotAndOverflowRaiseArithmeticFault) {
  Matrix zero{{0, 1}, {1, 0}};  // invertible, but the sweep has no pivoting
  EXPECT_THROW(MatInvert(zero, 2), ArithmeticFault);
  Matrix singular{{1, 2}, {2, 4}};
  EXPECT_THROW(MatInvert(singular, 2), ArithmeticFault);
  Matrix tiny{{1e-4940L, 0}, {0, 1}};
  EXPECT_THROW(MatInvert(tiny, 2), ArithmeticFault);
}

}  // namespace
}  // namespace halvex::geodesy
