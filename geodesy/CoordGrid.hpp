// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A table of text cells: row 0 is the header, rows 1 and on hold one point
// each, column 0 the point name and the next columns its coordinates as
// text. Cells are addressed column first, like the grids the pages show.

#include <cstddef>
#include <string>
#include <vector>

namespace halvex::geodesy {

class CoordGrid {
 public:
  CoordGrid() = default;
  CoordGrid(std::size_t cols, std::size_t rows) { Resize(cols, rows); }

  std::size_t ColCount() const { return cols_; }
  std::size_t RowCount() const { return rows_; }

  // Changing a count keeps the cells that stay inside the grid.
  void SetColCount(std::size_t cols) { Resize(cols, rows_); }
  void SetRowCount(std::size_t rows) { Resize(cols_, rows); }
  void Resize(std::size_t cols, std::size_t rows);

  std::string& Cell(std::size_t col, std::size_t row) { return cells_[row][col]; }
  const std::string& Cell(std::size_t col, std::size_t row) const { return cells_[row][col]; }

 private:
  std::size_t cols_ = 0;
  std::size_t rows_ = 0;
  std::vector<std::vector<std::string>> cells_;  // by row, then column
};

}  // namespace halvex::geodesy
