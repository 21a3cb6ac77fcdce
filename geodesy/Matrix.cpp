// SPDX-License-Identifier: GPL-3.0-or-later
#include "geodesy/Matrix.hpp"

#include <cmath>

namespace halvex::geodesy {

Matrix::Matrix(std::size_t rows, std::size_t cols)
    : rows_(rows), cols_(cols), data_(rows * cols, 0.0L) {}

Matrix::Matrix(std::initializer_list<std::initializer_list<long double>> rows)
    : rows_(rows.size()), cols_(rows.size() == 0 ? 0 : rows.begin()->size()) {
  data_.reserve(rows_ * cols_);
  for (const auto& row : rows) {
    if (row.size() != cols_) {
      throw std::invalid_argument("Matrix rows differ in length");
    }
    data_.insert(data_.end(), row.begin(), row.end());
  }
}

Matrix MatTranspose(const Matrix& m, std::size_t rows, std::size_t cols) {
  Matrix t(cols, rows);
  for (std::size_t i = 0; i < rows; ++i) {
    for (std::size_t j = 0; j < cols; ++j) {
      t[j][i] = m[i][j];
    }
  }
  return t;
}

Matrix MatMultiply(const Matrix& a, const Matrix& b, std::size_t rows, std::size_t inner,
                   std::size_t cols) {
  Matrix c(rows, cols);
  for (std::size_t i = 0; i < rows; ++i) {
    for (std::size_t j = 0; j < cols; ++j) {
      long double sum = 0.0L;
      for (std::size_t m = 0; m < inner; ++m) {
        sum += a[i][m] * b[m][j];
      }
      c[i][j] = sum;
    }
  }
  return c;
}

Matrix MatAdd(const Matrix& a, const Matrix& b, std::size_t rows, std::size_t cols) {
  Matrix c(rows, cols);
  for (std::size_t i = 0; i < rows; ++i) {
    for (std::size_t j = 0; j < cols; ++j) {
      c[i][j] = a[i][j] + b[i][j];
    }
  }
  return c;
}

Matrix MatSubtract(const Matrix& a, const Matrix& b, std::size_t rows, std::size_t cols) {
  Matrix c(rows, cols);
  for (std::size_t i = 0; i < rows; ++i) {
    for (std::size_t j = 0; j < cols; ++j) {
      c[i][j] = a[i][j] - b[i][j];
    }
  }
  return c;
}

Matrix& MatInvert(Matrix& n, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (n[i][i] == 0.0L) {
      throw ArithmeticFault("arithmetic fault: zero pivot in matrix inversion");
    }
    n[i][i] = -1.0L / n[i][i];
    const long double pivot = n[i][i];
    for (std::size_t j = 0; j < size; ++j) {
      if (j != i) {
        n[j][i] = pivot * n[j][i];
      }
    }
    for (std::size_t j = 0; j < size; ++j) {
      if (j == i) {
        continue;
      }
      for (std::size_t k = 0; k < size; ++k) {
        if (k != i) {
          n[j][k] = n[j][i] * n[i][k] + n[j][k];
        }
      }
    }
    for (std::size_t j = 0; j < size; ++j) {
      if (j != i) {
        n[i][j] = pivot * n[i][j];
      }
    }
  }
  for (std::size_t i = 0; i < size; ++i) {
    for (std::size_t j = 0; j < size; ++j) {
      n[i][j] = -n[i][j];
      if (!std::isfinite(n[i][j])) {
        throw ArithmeticFault("arithmetic fault: matrix inversion overflowed");
      }
    }
  }
  return n;
}

}  // namespace halvex::geodesy
