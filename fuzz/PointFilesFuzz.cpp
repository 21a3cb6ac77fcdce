// SPDX-License-Identifier: GPL-3.0-or-later
//
// Fuzz entry point over the point file readers and the datum file reader of
// the geodesy core.
//
// The first byte of an input picks the reader (its value modulo 5: xyz,
// geodetic, plane, Helmert control, control point); the rest is the file.
// Besides running the reader, the entry point aborts when a promise of the
// readers is broken:
//   - the grid has the reader's columns and one row per point read plus the
//     header (the header and one empty row when none was read), and the
//     result follows the point count;
//   - a name is one word of at most 51 bytes; every other cell is empty or
//     numbers separated by single blanks, each written as "%.15g" writes it;
//   - the saved text of the grid read again gives the same grid (for the
//     geodetic reader only where no name could be read as a number).
// The whole input (the first byte included) is also read as a datum file
// into datum B, and the entry point aborts when
//   - a file of ten lines or more reports an error, or a shorter one does not;
//   - a whole datum saved and loaded again is not the same datum;
//   - a pair text with WGS-84 is not 18 numbers, or is given with a failure.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "geodesy/CoordGrid.hpp"
#include "geodesy/DatumDefinition.hpp"
#include "geodesy/NumberText.hpp"
#include "geodesy/PointFiles.hpp"

namespace {

namespace g = halvex::geodesy;

void Check(bool ok, const char* what, std::string_view detail = {}) {
  if (!ok) {
    std::fprintf(stderr, "point files fuzz: %s: '%.*s'\n", what, static_cast<int>(detail.size()),
                 detail.data());
    std::abort();
  }
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Empty, or numbers in the form FormatG15 writes, separated by single blanks.
bool IsNumberCell(std::string_view cell) {
  std::size_t start = 0;
  while (start < cell.size()) {
    std::size_t end = cell.find(' ', start);
    if (end == std::string_view::npos) {
      end = cell.size();
    }
    const std::string_view piece = cell.substr(start, end - start);
    g::NumberScanner scanner(piece);
    double value = 0.0;
    if (!scanner.ReadDouble(value) || !scanner.Rest().empty() || g::FormatG15(value) != piece) {
      return false;
    }
    start = end + 1;
    if (end < cell.size() && start == cell.size()) {
      return false;  // a trailing blank
    }
  }
  return true;
}

bool CouldStartANumber(std::string_view name) {
  if (name.empty()) {
    return false;
  }
  const char c = name[0];
  return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

void CheckDatumFile(std::string_view text) {
  g::DatumFields wgs84;
  wgs84.texts = {"WGS84", "0", "0", "0", "0", "0", "0", "0", "6378137", "298.257223563"};
  g::DatumFields fields;
  const g::DatumFileLoad load = g::LoadDatumText(text, "fuzz", fields);
  Check(load.fieldsSet <= g::kDatumFieldCount, "datum fields set");
  Check(load.error.empty() == (load.fieldsSet == g::kDatumFieldCount), "datum error");
  if (load.error.empty()) {
    g::DatumFields again;
    Check(g::LoadDatumText(g::DatumFileText(fields), "again", again).error.empty(), "datum again");
    Check(again == fields, "datum saved and loaded");
  }
  const g::PairResult pair = g::DatumPairFromFields(wgs84, fields, "WGS84", fields.Name());
  Check(pair.Ok() != pair.text.empty(), "pair text", pair.text);
  if (pair.Ok()) {
    Check(g::CountLeadingNumbers(pair.text, 19) == 18, "pair numbers", pair.text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const auto reader = static_cast<g::PointReader>(data[0] % 5);
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  g::CoordGrid grid;
  const g::PointReadResult result = g::ReadPointText(reader, text, grid);
  Check(grid.ColCount() == g::PointReaderColumns(reader), "column count");
  Check(grid.RowCount() == (result.points == 0 ? 2 : result.points + 1), "row count");
  const bool control =
      reader == g::PointReader::kHelmertControl || reader == g::PointReader::kControlPoint;
  Check(result.result == (control && result.points < 3 ? 0 : 1), "result");
  Check(reader == g::PointReader::kGeodetic || !result.notGeographical, "warning");

  bool numericName = false;
  for (std::size_t row = 1; row < grid.RowCount(); ++row) {
    const std::string_view name = grid.Cell(0, row);
    Check(name.size() <= 51, "name length");
    for (const char c : name) {
      Check(!IsBlank(c) && c != '\0', "name character");
    }
    numericName = numericName || CouldStartANumber(name);
    for (std::size_t col = 1; col < grid.ColCount(); ++col) {
      Check(IsNumberCell(grid.Cell(col, row)), "number cell", grid.Cell(col, row));
    }
  }

  if (reader != g::PointReader::kGeodetic || !numericName) {
    g::CoordGrid again;
    g::ReadPointText(reader, g::GridText(grid), again);
    Check(again == grid, "saved grid read back");
  }
  CheckDatumFile(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
