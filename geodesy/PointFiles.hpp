// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Plain-text point files: the readers that fill a coordinate grid from them
// and the writer that saves a grid.
//
// A point file holds one point per line, fields separated by white space,
// numbers with a full stop. Each reader tries its line forms the way C's
// sscanf would: a word of at most 51 characters ("%51s": a longer word is
// cut there and its rest is read as the next field), then numbers ("%lf",
// read by NumberScanner, so "nan", "inf" and overflowing numbers are not
// numbers); what follows the last conversion is ignored, and a numeric first
// token counts as the name. A line of no accepted form is skipped. Lines end
// at LF or CR LF (a lone CR stays in the line as white space), a NUL ends the
// line, and lines are read whole whatever their length. Numbers go into the
// cells as "%.15g" of the double read.
//
// A reader keeps the grid's header row, sets the column count of its grid
// and replaces every data row with the points it read; when it read none,
// the grid has the header and one empty row.
//
//   Reader           line forms (in the order tried)              columns
//   xyz              name X Y Z | X Y Z                           name X Y Z
//   geodetic         see ReadGeodeticFile                         name lat lon h
//   plane            name x y z | name x y | x y                  name x y z
//   Helmert control  name and six numbers                         name X1 Y1 Z1 X2 Y2 Z2
//   control point    name and four numbers                        name x y X Y

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "geodesy/CoordGrid.hpp"

namespace halvex::geodesy {

enum class PointReader { kXyz, kGeodetic, kPlane, kHelmertControl, kControlPoint };

// The warning of the geodetic reader (the line break is part of it).
inline constexpr std::string_view kNotGeographicalMessage =
    "The coordinates seems are not geographical. \nCheck the fields before processing it.";

struct PointReadResult {
  // The reader's result: 1, except for the two control readers, which give
  // 0 when fewer than three points were read.
  int result = 1;
  // The geodetic reader raised kNotGeographicalMessage.
  bool notGeographical = false;
  // Lines accepted (data rows written).
  std::size_t points = 0;
  // Why the file could not be read; empty when it was. A file that cannot be
  // read counts as an empty one for the grid and the result.
  std::string error;
};

// "xyz", "geodetic", "plane", "helmert", "control".
std::optional<PointReader> PointReaderFromName(std::string_view name);
std::string_view PointReaderName(PointReader reader);

// Columns of the grid a reader fills, and the header of such a grid ("No X Y
// Z" for xyz; "No Latitude  Longitude Height", "No Easting Northing
// Elevation", "No Xwgs Ywgs Zwgs Xloc Yloc Zloc", "No X(E)old Y(N)old
// X(E)new Y(N)new").
std::size_t PointReaderColumns(PointReader reader);
std::string_view PointReaderHeader(PointReader reader);

// Reads the text of a point file (already in memory) into `grid`.
PointReadResult ReadPointText(PointReader reader, std::string_view text, CoordGrid& grid);

// Reads a point file into `grid`.
PointReadResult ReadPointFile(PointReader reader, const std::filesystem::path& file,
                              CoordGrid& grid);

PointReadResult ReadXyzFile(const std::filesystem::path& file, CoordGrid& grid);

// Line forms, tried in this order (word = the name, n1 .. n7 = numbers):
//   word n1..n7   name, "n1 n2 n3" (latitude d m s), "n4 n5 n6", height n7
//   word n1..n5   name, "n1 n2" (d m), "n3 n4", height n5
//   word n1..n3   name, latitude, longitude, height
//   then the line read again as numbers only (no name):
//   7, 5 or 3 numbers as above; 2 numbers: latitude, longitude
//   then, for lines no form above takes (the grids a page saves with an
//   empty height column):
//   word n1..n6 / n1..n4 / n1 n2   name, latitude, longitude, empty height
// After the file, `notGeographical` is set when the last value read as
// "second number" by either read of any line (skipped lines too) is above
// 60: a file of northings and eastings read as degrees.
PointReadResult ReadGeodeticFile(const std::filesystem::path& file, CoordGrid& grid);

PointReadResult ReadPlaneFile(const std::filesystem::path& file, CoordGrid& grid);
PointReadResult ReadHelmertControlFile(const std::filesystem::path& file, CoordGrid& grid);
PointReadResult ReadControlPointFile(const std::filesystem::path& file, CoordGrid& grid);

// The saved form of a grid: every row from the header on, each cell's text
// followed by a tab, each line ended by CR LF. Cells are written as they are.
std::string GridText(const CoordGrid& grid);
void AppendGridText(std::string& out, const CoordGrid& grid);

// Writes GridText(grid) to `file` atomically (the old file stays until the
// new one is complete). Throws std::runtime_error naming the file and the
// reason when it cannot be written; the old file is then unchanged.
void SaveGridText(const CoordGrid& grid, const std::filesystem::path& file);

}  // namespace halvex::geodesy
