// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A table of text cells: row 0 is the header, rows 1 and on hold one point
// each, column 0 the point name and the next columns its coordinates as
// text. Cells are addressed column first, like the grids the pages show.
//
// The grid is built for point files of millions of lines: all cell texts live
// in one byte buffer and each cell is one 64-bit word (offset into the buffer
// and length), so a cell costs 8 bytes plus its text. A cell set to a text no
// longer than the one it holds is overwritten in place; a longer text goes to
// the end of the buffer, and the buffer is compacted when more than half of
// it is unused. Texts are bytes (UTF-8 where the caller cares); a cell may
// hold any byte, NUL included.
//
// The views that Cell() returns stay valid until the next change of the
// grid (any non-const call).

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace halvex::geodesy {

class CoordGrid {
 public:
  CoordGrid() = default;
  CoordGrid(std::size_t cols, std::size_t rows) { Resize(cols, rows); }

  std::size_t ColCount() const { return cols_; }
  std::size_t RowCount() const { return rows_; }

  // Changing a count keeps the cells that stay inside the grid; new cells
  // are empty.
  void SetColCount(std::size_t cols) { Resize(cols, rows_); }
  void SetRowCount(std::size_t rows) { Resize(cols_, rows); }
  void Resize(std::size_t cols, std::size_t rows);

  // The text of a cell; both indexes must be inside the grid.
  std::string_view Cell(std::size_t col, std::size_t row) const;
  void SetCell(std::size_t col, std::size_t row, std::string_view text);

  // Appends one row: cell i of the row gets texts[i]; cells beyond the given
  // texts are empty and texts beyond the column count are ignored.
  void AppendRow(std::span<const std::string_view> texts);
  void AppendRow(std::initializer_list<std::string_view> texts) {
    AppendRow(std::span<const std::string_view>(texts.begin(), texts.size()));
  }

  // Inserts `count` empty rows before row `first` (first <= RowCount()), or
  // removes rows first .. first + count - 1 (clamped to the grid).
  void InsertRows(std::size_t first, std::size_t count);
  void RemoveRows(std::size_t first, std::size_t count);

  // Moves column `from` to position `to`; the columns between shift by one
  // towards the gap, as when a user drags a column header. Indexes outside
  // the grid change nothing.
  void MoveColumn(std::size_t from, std::size_t to);

  // Empties every cell of rows first .. RowCount() - 1; the counts stay.
  void ClearRows(std::size_t first);

  // Room for `rows` rows and `textBytes` bytes of cell text, so that a
  // reader filling a grid of known size does not reallocate.
  void Reserve(std::size_t rows, std::size_t textBytes);

  // Bytes the grid holds in its buffers (cells and text), for measurements.
  std::size_t MemoryBytes() const;

  // Same counts and same cell texts.
  friend bool operator==(const CoordGrid& a, const CoordGrid& b);

 private:
  // A cell word: the offset into text_ in the high 40 bits, the length in the
  // low 24 bits. A text of kLongLength bytes or more stores its length as 8
  // bytes in front of the text, and the word holds kLongLength.
  static constexpr unsigned kLengthBits = 24;
  static constexpr std::uint64_t kLongLength = (std::uint64_t{1} << kLengthBits) - 1;

  std::uint64_t Store(std::string_view text);
  std::size_t StoredBytes(std::uint64_t word) const;
  std::string_view View(std::uint64_t word) const;
  void Release(std::uint64_t word);
  void CompactIfWasteful();

  std::size_t cols_ = 0;
  std::size_t rows_ = 0;
  std::vector<std::uint64_t> cells_;  // row by row, columns within a row
  std::string text_;
  std::size_t unused_ = 0;  // bytes of text_ no cell refers to
};

}  // namespace halvex::geodesy

namespace halvex::geodesy {

// The grid helpers the pages share.

// Every cell of rows 1 and on emptied, and the row count set to 9 (the
// header and eight empty rows). The header row and the column count stay.
void ClearGrid(CoordGrid& grid);

// Fills row 0 from the words of `header` (split at white space; at most 12
// words, a word longer than 11 characters is cut there and its rest is the
// next word). The words go into consecutive columns from column 0, then one
// column is skipped, and such passes repeat while columns remain; skipped
// columns keep their text. "No X Y Z" fills a 4-column header in one pass.
void SetGridHeader(CoordGrid& grid, std::string_view header);

// Column 0 of every data row set to its row number ("1", "2", ...).
void NumberGridRows(CoordGrid& grid);

// The default column width (pixels) that fits `columnCount` columns in a
// grid `gridWidthPixels` wide: (width - 10) / count in whole pixels, never
// negative; 0 for a grid without columns.
int FitGridColumns(int gridWidthPixels, std::size_t columnCount);

}  // namespace halvex::geodesy
