// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Dense matrices of extended reals (80-bit long double) for the datum shift
// and the least-squares adjustments.
//
// A Matrix owns its rows and frees itself. The operations keep the
// classic calling style of the toolkit: the caller passes the sizes it
// works with, and every operation returns a new matrix except MatInvert,
// which inverts in place. The sizes given must not exceed the matrix's own.

#include <cstddef>
#include <initializer_list>
#include <stdexcept>
#include <vector>

namespace halvex::geodesy {

// Raised by MatInvert for a zero pivot or a result that is not finite:
// floating point does not trap, so the inversion reports the arithmetic
// fault itself and callers show their own failure message.
class ArithmeticFault : public std::runtime_error {
 public:
  explicit ArithmeticFault(const char* what) : std::runtime_error(what) {}
};

class Matrix {
 public:
  Matrix() = default;
  Matrix(std::size_t rows, std::size_t cols);
  Matrix(std::initializer_list<std::initializer_list<long double>> rows);

  std::size_t Rows() const { return rows_; }
  std::size_t Cols() const { return cols_; }

  long double* operator[](std::size_t row) { return &data_[row * cols_]; }
  const long double* operator[](std::size_t row) const { return &data_[row * cols_]; }

  friend bool operator==(const Matrix&, const Matrix&) = default;

 private:
  std::size_t rows_ = 0;
  std::size_t cols_ = 0;
  std::vector<long double> data_;
};

// T[j][i] = M[i][j]; T is cols × rows.
Matrix MatTranspose(const Matrix& m, std::size_t rows, std::size_t cols);

// C[i][j] = Σ_{m<k} A[i][m]·B[m][j], accumulated from 0 in order of m.
Matrix MatMultiply(const Matrix& a, const Matrix& b, std::size_t rows, std::size_t inner,
                   std::size_t cols);

Matrix MatAdd(const Matrix& a, const Matrix& b, std::size_t rows, std::size_t cols);
Matrix MatSubtract(const Matrix& a, const Matrix& b, std::size_t rows, std::size_t cols);

// In-place Gauss-Jordan inversion without pivoting, in the sweep form
//   N[i][i] = -1/N[i][i]; column i scaled by it; the rest updated;
//   row i scaled by it; finally every element negated.
// Throws ArithmeticFault on a zero pivot or a non-finite result; the matrix
// is then left partly swept.
Matrix& MatInvert(Matrix& n, std::size_t size);

}  // namespace halvex::geodesy
