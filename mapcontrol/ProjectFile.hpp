// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

#include "mapcontrol/DrawingModel.hpp"

namespace halvex::mapcontrol {

// The chart's project file (extension ".hxv"): one SQLite database.
//
// Schema, version 1:
//
//   meta(key TEXT PRIMARY KEY, value TEXT)
//     format = 'halvex-chart', version = '1', next_shape = the number the
//     next drawn shape gets (so numbers are not reused after loading).
//   layers(number INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE,
//          pen_color INTEGER, pen_width INTEGER, brush_color INTEGER,
//          action INTEGER)
//     numbers 0 .. n-1 without gaps; colours 0xBBGGRR; action the kAction* bits.
//   fonts(handle INTEGER PRIMARY KEY, name TEXT NOT NULL, scale REAL NOT NULL)
//     handles 1 .. n without gaps.
//   shapes(number INTEGER PRIMARY KEY, layer INTEGER NOT NULL,
//          kind INTEGER NOT NULL, pen_width INTEGER NOT NULL,
//          selected INTEGER NOT NULL, x1 REAL, y1 REAL, x2 REAL, y2 REAL,
//          r REAL, a1 REAL, a2 REAL, text TEXT, font INTEGER,
//          points BLOB, closed INTEGER)
//     kind: 1 line, 2 point, 3 circle, 4 text, 5 polyline, 6 arc; the
//     columns used by each kind are those of ShapeData. points holds the
//     polyline's vertices as x, y pairs of IEEE doubles, little-endian.
//
// A reader refuses a file whose format is not 'halvex-chart' or whose version
// is newer than it knows.
class ProjectFile {
 public:
  static constexpr const char* kFormat = "halvex-chart";
  static constexpr int kVersion = 1;

  // Writes the drawing to `path`, replacing it atomically: the database is
  // built in a temporary file beside the target, flushed to disk and renamed
  // over it. On failure returns false with the reason in `error`, removes the
  // temporary and leaves an existing file as it was.
  static bool Save(const DrawingModel& model, const std::filesystem::path& path,
                   std::string& error);

  // Reads the file into a new drawing and, only when all of it was read and
  // checked, replaces `into` with it (layer, shape and font numbers as saved).
  // A missing, damaged or foreign file, or one of a newer version, returns
  // false with the reason in `error` and leaves `into` unchanged.
  static bool Load(const std::filesystem::path& path, DrawingModel& into, std::string& error);

 private:
  // Reads the file into `fresh` and returns it; throws on any fault.
  static DrawingModel Read(const std::filesystem::path& path, DrawingModel fresh);
};

}  // namespace halvex::mapcontrol
