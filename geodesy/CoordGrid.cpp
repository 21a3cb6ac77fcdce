// SPDX-License-Identifier: GPL-3.0-or-later
#include "geodesy/CoordGrid.hpp"

namespace halvex::geodesy {

void CoordGrid::Resize(std::size_t cols, std::size_t rows) {
  cells_.resize(rows);
  for (auto& row : cells_) {
    row.resize(cols);
  }
  cols_ = cols;
  rows_ = rows;
}

}  // namespace halvex::geodesy
