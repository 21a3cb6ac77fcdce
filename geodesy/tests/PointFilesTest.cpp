// SPDX-License-Identifier: GPL-3.0-or-later
#include "geodesy/PointFiles.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "geodesy/NumberText.hpp"
#include "platform/FileIo.hpp"

namespace halvex::geodesy {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Rows = std::vector<std::vector<std::string>>;

// The data rows of a grid (row 0, the header, left out).
Rows DataRows(const CoordGrid& grid) {
  Rows rows;
  for (std::size_t row = 1; row < grid.RowCount(); ++row) {
    rows.emplace_back();
    for (std::size_t col = 0; col < grid.ColCount(); ++col) {
      rows.back().emplace_back(grid.Cell(col, row));
    }
  }
  return rows;
}

struct Read {
  CoordGrid grid;
  PointReadResult result;
};

Read ReadText(PointReader reader, std::string_view text) {
  Read read;
  read.result = ReadPointText(reader, text, read.grid);
  return read;
}

Rows ReadRows(PointReader reader, std::string_view text) {
  return DataRows(ReadText(reader, text).grid);
}

class TempFolder {
 public:
  TempFolder() {
    path_ = fs::temp_directory_path() /
            ("halvex-points-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempFolder() { fs::remove_all(path_); }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

TEST(PointFiles, GeodeticLineForms) {
  // Named forms with heights, then the numbers-only forms.
  EXPECT_EQ(ReadRows(PointReader::kGeodetic,
                     "P7 41 30 15.5 29 10 5 120.0\n"
                     "P5 41 30.25 29 10.5 7\n"
                     "P3 41.5 -29.25 0.000\n"
                     "41 30 15.5 29 10 5 120\n"
                     "41 30.25 29 10.5 7\n"
                     "41.5 29.25\n"),
            (Rows{{"P7", "41 30 15.5", "29 10 5", "120"},
                  {"P5", "41 30.25", "29 10.5", "7"},
                  {"P3", "41.5", "-29.25", "0"},
                  {"", "41 30 15.5", "29 10 5", "120"},
                  {"", "41 30.25", "29 10.5", "7"},
                  {"", "41.5", "29.25", ""}}));
  // sscanf's reading: a numeric first token is a name, so four or six
  // numbers are a named point; later tokens are ignored; "41.5.3" is the
  // number 41.5 followed by a field that is not one.
  EXPECT_EQ(ReadRows(PointReader::kGeodetic,
                     "1 41.5 29.25 10\n"
                     "41 30 29 10\n"
                     "P1 1 2 3 4 5 6 7 8 9 extra\n"
                     "P2 41.5x 29 10\n"
                     "P3 41 north 12\n"
                     "nan 41 29\n"
                     "\n"
                     "   \t\n"
                     "41\n"),
            (Rows{{"1", "41.5", "29.25", "10"},
                  {"41", "30", "29", "10"},
                  {"P1", "1 2 3", "4 5 6", "7"},
                  {"nan", "41", "29", ""}}));
}

TEST(PointFiles, GeodeticReadsItsOwnSavesBack) {
  CoordGrid saved(4, 1);
  SetGridHeader(saved, PointReaderHeader(PointReader::kGeodetic));
  saved.AppendRow({"P1", "41.504305556", "29.16805", ""});
  saved.AppendRow({"P2", "41 30 15.5", "-29 10 5", ""});
  saved.AppendRow({"P3", "41 30.25", "29 10.5", ""});
  saved.AppendRow({"P4", "41 30.25", "29 10.5", "12.5"});
  CoordGrid read(4, 1);
  SetGridHeader(read, PointReaderHeader(PointReader::kGeodetic));
  const PointReadResult result = ReadPointText(PointReader::kGeodetic, GridText(saved), read);
  EXPECT_EQ(result.points, 4U);
  EXPECT_EQ(read, saved);

  // Lines that an older reading took as numbers only are read as before:
  // a numeric name with two numbers is latitude, longitude and height.
  EXPECT_EQ(ReadRows(PointReader::kGeodetic, "1\t41.5\t29.25\t\t\r\n"),
            (Rows{{"", "1", "41.5", "29.25"}}));
}

TEST(PointFiles, NotGeographicalWarning) {
  const std::string projected = "P1 4595000.123 512345.5 10\nP2 4595100 512400.25 11\n";
  const Read read = ReadText(PointReader::kGeodetic, projected);
  EXPECT_TRUE(read.result.notGeographical);
  EXPECT_EQ(read.result.result, 1);
  EXPECT_EQ(DataRows(read.grid)[1], (std::vector<std::string>{"P2", "4595100", "512400.25", "11"}));

  // The last second number decides, from a line read with a name or without
  // one, and from a line that is skipped; 60 itself is still geographical.
  EXPECT_FALSE(ReadText(PointReader::kGeodetic, projected + "P3 41 29 1\n").result.notGeographical);
  EXPECT_FALSE(ReadText(PointReader::kGeodetic, projected + "41 60\n").result.notGeographical);
  EXPECT_TRUE(ReadText(PointReader::kGeodetic, "P1 41 29 1\n41 60.001\n").result.notGeographical);
  // Minutes above 60 count too: the second number of a DMS line.
  EXPECT_TRUE(ReadText(PointReader::kGeodetic, "P1 41 61 0 29 0 0 1\n").result.notGeographical);
  // A skipped line gives no second number.
  EXPECT_TRUE(ReadText(PointReader::kGeodetic, projected + "x y\nP3 41\n").result.notGeographical);
  EXPECT_FALSE(ReadText(PointReader::kXyz, projected).result.notGeographical);
}

TEST(PointFiles, XyzAndPlaneForms) {
  EXPECT_EQ(ReadRows(PointReader::kXyz,
                     "P1 4208800.1 2334000 4171000.25\n"
                     "1 2 3 4\n"
                     "4208800.1 2334000 4171000.25\n"
                     "P2 1 2\n"
                     "12abc 1 2 3\n"
                     "P3 1e20 -0 0.1 trailing words\n"),
            (Rows{{"P1", "4208800.1", "2334000", "4171000.25"},
                  {"1", "2", "3", "4"},
                  {"", "4208800.1", "2334000", "4171000.25"},
                  {"12abc", "1", "2", "3"},
                  {"P3", "1e+20", "-0", "0.1"}}));
  EXPECT_EQ(ReadRows(PointReader::kPlane,
                     "A 500000 4500000 12\n"
                     "B 500000 4500000\n"
                     "500000 4500000\n"
                     "C 500000\n"
                     "1.5\n"),
            (Rows{{"A", "500000", "4500000", "12"},
                  {"B", "500000", "4500000", ""},
                  {"", "500000", "4500000", ""}}));
  // Numbers are written with 15 significant digits of the double read.
  EXPECT_EQ(ReadRows(PointReader::kXyz, "P 0.123456789012345678 1234567.89012345678 3\n")[0],
            (std::vector<std::string>{"P", "0.123456789012346", "1234567.89012346", "3"}));
}

// Cells hold "%.15g" of the double read, however the number was written
// (texts already in that form are copied, the others formatted).
TEST(PointFiles, NumbersAreWrittenAsG15WhateverTheirForm) {
  std::mt19937 random(99);
  const auto digits = [&](int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
      text.push_back(static_cast<char>('0' + random() % 10));
    }
    return text;
  };
  std::string file;
  std::vector<std::string> numbers;
  for (int i = 0; i < 20000; ++i) {
    std::string number = (random() % 3 == 0) ? "-" : (random() % 10 == 0 ? "+" : "");
    number += digits(static_cast<int>(random() % 18));
    if (random() % 3 != 0) {
      number += "." + std::string(random() % 5 == 0 ? random() % 6 : 0, '0') +
                digits(static_cast<int>(random() % 18));
    }
    if (random() % 8 == 0) {
      number += "e" + std::to_string(static_cast<int>(random() % 40) - 20);
    }
    NumberScanner scanner(number);
    double value = 0.0;
    if (!scanner.ReadDouble(value) || !scanner.Rest().empty()) {
      continue;  // "-", "." and the like
    }
    numbers.push_back(number);
    file += "P " + number + " 0 0\n";
  }
  const Read read = ReadText(PointReader::kXyz, file);
  ASSERT_EQ(read.result.points, numbers.size());
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    NumberScanner scanner(numbers[i]);
    double value = 0.0;
    scanner.ReadDouble(value);
    ASSERT_EQ(read.grid.Cell(1, i + 1), FormatG15(value)) << numbers[i];
  }
}

TEST(PointFiles, LinesNamesAndLineEnds) {
  // A line longer than 99 characters is one line, read whole.
  const std::string longLine = "P1" + std::string(120, ' ') + "1 2 3\n";
  EXPECT_EQ(ReadRows(PointReader::kXyz, longLine), (Rows{{"P1", "1", "2", "3"}}));
  const std::string longNumber = "P2 1." + std::string(150, '0') + "1 2 3\n";
  EXPECT_EQ(ReadRows(PointReader::kXyz, longNumber), (Rows{{"P2", "1", "2", "3"}}));

  // A name is cut at 51 characters and its rest read as the next field.
  const std::string name51(51, 'N');
  EXPECT_EQ(ReadRows(PointReader::kXyz, name51 + "9 8 7\n"), (Rows{{name51, "9", "8", "7"}}));
  EXPECT_EQ(ReadRows(PointReader::kXyz, name51 + "X 8 7 6\n"), (Rows{{"", "", "", ""}}));

  // LF, CR LF, a last line without a line end; a lone CR is white space;
  // a NUL ends its line.
  const Rows expected = {{"A", "1", "2", "3"}, {"B", "4", "5", "6"}};
  EXPECT_EQ(ReadRows(PointReader::kXyz, "A 1 2 3\nB 4 5 6\n"), expected);
  EXPECT_EQ(ReadRows(PointReader::kXyz, "A 1 2 3\r\nB 4 5 6\r\n"), expected);
  EXPECT_EQ(ReadRows(PointReader::kXyz, "A 1 2 3\r\nB 4 5 6"), expected);
  EXPECT_EQ(ReadRows(PointReader::kXyz, "A 1\r2 3\nB 4 5 6\n"), expected);
  EXPECT_EQ(ReadRows(PointReader::kXyz, "A 1 2 3\0 junk\nB 4 5\0 6\nB 4 5 6"s), expected);
  // Bytes beyond ASCII pass through in names.
  EXPECT_EQ(ReadRows(PointReader::kXyz, "Pünkt 1 2 3\n")[0][0], "Pünkt");
}

TEST(PointFiles, ControlReadersNeedThreePointsOfTheExactForm) {
  const std::string two =
      "A 1 2 3 4 5 6\n"
      "B 1 2 3 4 5 6 7\n"
      "C 1 2 3 4 5\n";
  const Read helmert = ReadText(PointReader::kHelmertControl, two);
  EXPECT_EQ(helmert.result.result, 0);
  EXPECT_EQ(helmert.grid.ColCount(), 7U);
  EXPECT_EQ(DataRows(helmert.grid),
            (Rows{{"A", "1", "2", "3", "4", "5", "6"}, {"B", "1", "2", "3", "4", "5", "6"}}));
  EXPECT_EQ(ReadText(PointReader::kHelmertControl, two + "D 6 5 4 3 2 1\n").result.result, 1);

  const Read control = ReadText(PointReader::kControlPoint, "A 1 2 3 4\nB 1 2 3\nC 1 2 3 4\n");
  EXPECT_EQ(control.result.result, 0);
  EXPECT_EQ(DataRows(control.grid), (Rows{{"A", "1", "2", "3", "4"}, {"C", "1", "2", "3", "4"}}));
  EXPECT_EQ(ReadText(PointReader::kControlPoint, "A 1 2 3 4\nB 1 2 3 4\nC 1 2 3 4\n").result.result,
            1);
}

TEST(PointFiles, GridBeforeAndAfterReading) {
  // The header stays, the old points go, the column count follows the
  // reader; nothing read leaves one empty row.
  CoordGrid grid(3, 5);
  grid.SetCell(0, 0, "No");
  grid.SetCell(1, 1, "old");
  PointReadResult result = ReadPointText(PointReader::kXyz, "", grid);
  EXPECT_EQ(result.result, 1);
  EXPECT_EQ(result.points, 0U);
  ASSERT_EQ(grid.RowCount(), 2U);
  ASSERT_EQ(grid.ColCount(), 4U);
  EXPECT_EQ(grid.Cell(0, 0), "No");
  EXPECT_EQ(DataRows(grid), (Rows{{"", "", "", ""}}));

  ReadPointText(PointReader::kXyz, "P 1 2 3\n", grid);
  EXPECT_EQ(grid.RowCount(), 2U);
  EXPECT_EQ(grid.Cell(0, 0), "No");

  CoordGrid empty;
  ReadPointText(PointReader::kHelmertControl, "P 1 2 3 4 5 6\n", empty);
  EXPECT_EQ(empty.RowCount(), 2U);
  EXPECT_EQ(empty.ColCount(), 7U);

  // A file that cannot be read is an empty file, with the reason given.
  TempFolder folder;
  CoordGrid missing(4, 3);
  missing.SetCell(1, 2, "old");
  result = ReadXyzFile(folder / "missing.txt", missing);
  EXPECT_EQ(result.result, 1);
  EXPECT_NE(result.error.find("missing.txt"), std::string::npos);
  EXPECT_EQ(missing.RowCount(), 2U);
  result = ReadControlPointFile(folder / "missing.txt", missing);
  EXPECT_EQ(result.result, 0);
  EXPECT_FALSE(result.error.empty());
}

TEST(PointFiles, SaveWritesEveryCellLiterallyAndAtomically) {
  TempFolder folder;
  CoordGrid grid(4, 1);
  SetGridHeader(grid, "No X Y Z");
  grid.AppendRow({"P%d", "1", "2\\n", "3 4"});
  const fs::path file = folder / "points.txt";
  SaveGridText(grid, file);
  EXPECT_EQ(platform::ReadWholeFile(file).value(), "No\tX\tY\tZ\t\r\nP%d\t1\t2\\n\t3 4\t\r\n");

  // Read back: the header line is not a point, the rest is.
  CoordGrid back(4, 1);
  ReadPlaneFile(file, back);
  EXPECT_EQ(DataRows(back), (Rows{{"P%d", "1", "2", ""}}));

  // A grid written back with its own reader is the same grid.
  CoordGrid xyz(4, 1);
  SetGridHeader(xyz, "No X Y Z");
  xyz.AppendRow({"A", "4208800.1", "-2334000", "4171000.25"});
  xyz.AppendRow({"", "1", "2", "3"});
  SaveGridText(xyz, file);
  CoordGrid again(4, 1);
  SetGridHeader(again, "No X Y Z");
  ReadXyzFile(file, again);
  EXPECT_EQ(again, xyz);

  // A save that fails says why and leaves the old file as it was.
  const std::string before = platform::ReadWholeFile(file).value();
  fs::create_directory(folder / "folder");
  EXPECT_THROW(SaveGridText(grid, folder / "folder"), std::runtime_error);
  EXPECT_THROW(SaveGridText(grid, file / "below-a-file"), std::runtime_error);
  EXPECT_EQ(platform::ReadWholeFile(file).value(), before);
}

}  // namespace
}  // namespace halvex::geodesy
