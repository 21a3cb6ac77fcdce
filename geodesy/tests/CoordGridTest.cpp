// SPDX-License-Identifier: GPL-3.0-or-later
#include "geodesy/CoordGrid.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace halvex::geodesy {
namespace {

// The grid's behaviour, written the plain way: one string per cell.
struct ReferenceGrid {
  std::size_t cols = 0;
  std::vector<std::vector<std::string>> rows;

  void Resize(std::size_t c, std::size_t r) {
    rows.resize(r);
    for (auto& row : rows) {
      row.resize(c);
    }
    cols = c;
  }
};

void ExpectSame(const CoordGrid& grid, const ReferenceGrid& ref) {
  ASSERT_EQ(grid.RowCount(), ref.rows.size());
  ASSERT_EQ(grid.ColCount(), ref.cols);
  for (std::size_t row = 0; row < ref.rows.size(); ++row) {
    for (std::size_t col = 0; col < ref.cols; ++col) {
      ASSERT_EQ(grid.Cell(col, row), ref.rows[row][col]) << "col " << col << " row " << row;
    }
  }
}

// Random edits of every kind, checked against the plain grid after each one:
// in-place overwrites, growth, compaction, column moves, row insertion and
// removal all have to keep every other cell's text.
TEST(CoordGrid, RandomEditsKeepEveryCell) {
  std::mt19937 random(12345);
  CoordGrid grid(4, 3);
  ReferenceGrid ref;
  ref.Resize(4, 3);
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  for (int step = 0; step < 20000; ++step) {
    const std::size_t action = pick(100);
    if (action < 60 && !ref.rows.empty() && ref.cols > 0) {
      const std::size_t col = pick(ref.cols);
      const std::size_t row = pick(ref.rows.size());
      std::string text(pick(40), 'a');
      for (char& c : text) {
        c = static_cast<char>('a' + pick(26));
      }
      if (pick(10) == 0) {
        text.push_back('\0');
      }
      grid.SetCell(col, row, text);
      ref.rows[row][col] = text;
    } else if (action < 70) {
      const std::vector<std::string> texts = {"p" + std::to_string(step), "1.5", "", "-2"};
      std::vector<std::string_view> views(texts.begin(), texts.begin() + 1 + pick(4));
      grid.AppendRow(views);
      ref.rows.emplace_back(ref.cols);
      for (std::size_t i = 0; i < views.size() && i < ref.cols; ++i) {
        ref.rows.back()[i] = std::string(views[i]);
      }
    } else if (action < 75 && ref.cols > 0) {
      const std::size_t from = pick(ref.cols);
      const std::size_t to = pick(ref.cols);
      grid.MoveColumn(from, to);
      for (auto& row : ref.rows) {
        const std::string moved = row[from];
        row.erase(row.begin() + static_cast<std::ptrdiff_t>(from));
        row.insert(row.begin() + static_cast<std::ptrdiff_t>(to), moved);
      }
    } else if (action < 80) {
      const std::size_t first = pick(ref.rows.size() + 1);
      const std::size_t count = pick(4);
      grid.InsertRows(first, count);
      ref.rows.insert(ref.rows.begin() + static_cast<std::ptrdiff_t>(first), count,
                      std::vector<std::string>(ref.cols));
    } else if (action < 88 && !ref.rows.empty()) {
      const std::size_t first = pick(ref.rows.size());
      const std::size_t count = pick(6);
      grid.RemoveRows(first, count);
      const std::size_t last = std::min(ref.rows.size(), first + count);
      ref.rows.erase(ref.rows.begin() + static_cast<std::ptrdiff_t>(first),
                     ref.rows.begin() + static_cast<std::ptrdiff_t>(last));
    } else if (action < 95) {
      const std::size_t cols = 1 + pick(7);
      const std::size_t rows = pick(60);
      grid.Resize(cols, rows);
      ref.Resize(cols, rows);
    } else if (!ref.rows.empty()) {
      const std::size_t first = pick(ref.rows.size());
      grid.ClearRows(first);
      for (std::size_t row = first; row < ref.rows.size(); ++row) {
        ref.rows[row].assign(ref.cols, "");
      }
    }
    ExpectSame(grid, ref);
    if (testing::Test::HasFatalFailure()) {
      FAIL() << "after step " << step << " (action " << action << ")";
    }
  }
}

TEST(CoordGrid, CellTakenFromTheSameGridAndLongCells) {
  CoordGrid grid(2, 2);
  grid.SetCell(0, 0, "header text");
  // Copying a cell into another while the buffer grows must not read freed
  // memory, nor may a cell copied onto itself change.
  for (int i = 0; i < 200; ++i) {
    grid.SetCell(1, 1, grid.Cell(0, 0));
    grid.SetCell(0, 0, std::string(grid.Cell(1, 1)) + "x");
    grid.SetCell(0, 0, grid.Cell(0, 0));
  }
  EXPECT_EQ(grid.Cell(0, 0), "header text" + std::string(200, 'x'));

  // A text of 16 MiB or more keeps its length outside the cell word.
  const std::string huge((std::size_t{1} << 24) + 3, 'h');
  grid.SetCell(1, 0, huge);
  grid.SetCell(0, 1, "short");
  EXPECT_EQ(grid.Cell(1, 0), huge);
  EXPECT_EQ(grid.Cell(0, 1), "short");
  grid.SetCell(1, 0, "now short");  // released; the buffer compacts
  EXPECT_EQ(grid.Cell(1, 0), "now short");
  EXPECT_EQ(grid.Cell(0, 0), "header text" + std::string(200, 'x'));
  EXPECT_LT(grid.MemoryBytes(), std::size_t{1} << 25);
}

TEST(CoordGrid, CopiesAreIndependentAndCompareByText) {
  CoordGrid a(3, 2);
  a.SetCell(2, 1, "long text here");
  a.SetCell(2, 1, "short");  // overwritten in place: stale bytes stay behind
  CoordGrid b(3, 2);
  b.SetCell(2, 1, "short");
  EXPECT_EQ(a, b);
  CoordGrid c = a;
  c.SetCell(0, 0, "x");
  EXPECT_EQ(a.Cell(0, 0), "");
  EXPECT_FALSE(a == c);
  EXPECT_FALSE(a == CoordGrid(3, 3));
}

TEST(GridHelpers, ClearAndNumberRows) {
  CoordGrid grid(4, 50);
  for (std::size_t row = 0; row < 50; ++row) {
    grid.SetCell(1, row, "v" + std::to_string(row));
  }
  ClearGrid(grid);
  ASSERT_EQ(grid.RowCount(), 9U);
  EXPECT_EQ(grid.ColCount(), 4U);
  EXPECT_EQ(grid.Cell(1, 0), "v0");
  for (std::size_t row = 1; row < 9; ++row) {
    EXPECT_EQ(grid.Cell(1, row), "") << row;
  }
  NumberGridRows(grid);
  EXPECT_EQ(grid.Cell(0, 0), "");
  EXPECT_EQ(grid.Cell(0, 1), "1");
  EXPECT_EQ(grid.Cell(0, 8), "8");
  CoordGrid none;
  NumberGridRows(none);
  ClearGrid(none);
  EXPECT_EQ(none.RowCount(), 9U);
}

TEST(GridHelpers, HeaderPasses) {
  CoordGrid grid(7, 2);
  SetGridHeader(grid, "No Xwgs Ywgs Zwgs Xloc Yloc Zloc");
  EXPECT_EQ(grid.Cell(0, 0), "No");
  EXPECT_EQ(grid.Cell(6, 0), "Zloc");

  // Fewer words than columns: a pass, a skipped column, another pass.
  CoordGrid wide(9, 1);
  wide.SetCell(3, 0, "kept");
  SetGridHeader(wide, " A\tB  C ");
  const std::vector<std::string> expected = {"A", "B", "C", "kept", "A", "B", "C", "", "A"};
  for (std::size_t col = 0; col < 9; ++col) {
    EXPECT_EQ(wide.Cell(col, 0), expected[col]) << col;
  }

  // Words are cut at 11 characters, the rest is the next word; at most 12.
  CoordGrid cut(3, 1);
  SetGridHeader(cut, "Longitude12345 Z");
  EXPECT_EQ(cut.Cell(0, 0), "Longitude12");
  EXPECT_EQ(cut.Cell(1, 0), "345");
  EXPECT_EQ(cut.Cell(2, 0), "Z");
  CoordGrid many(14, 1);
  SetGridHeader(many, "a b c d e f g h i j k l m n");
  EXPECT_EQ(many.Cell(11, 0), "l");
  EXPECT_EQ(many.Cell(12, 0), "");
  EXPECT_EQ(many.Cell(13, 0), "a");

  CoordGrid empty(3, 1);
  SetGridHeader(empty, "   ");  // no words: nothing written, and it ends
  EXPECT_EQ(empty.Cell(0, 0), "");
}

TEST(GridHelpers, FitColumns) {
  EXPECT_EQ(FitGridColumns(410, 4), 100);
  EXPECT_EQ(FitGridColumns(413, 4), 100);
  EXPECT_EQ(FitGridColumns(5, 4), 0);
  EXPECT_EQ(FitGridColumns(400, 0), 0);
}

}  // namespace
}  // namespace halvex::geodesy
