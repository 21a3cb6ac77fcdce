// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "mapcontrol/DrawingModel.hpp"

namespace halvex::mapcontrol {

// The chart's project file (extension ".hxv"): one SQLite database.
//
// Schema, version 3 (written):
//
//   meta(key TEXT PRIMARY KEY, value TEXT)
//     format = 'halvex-chart', version = '3', next_shape = the number the
//     next drawn shape gets (so numbers are not reused after loading).
//   layers(number INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE,
//          pen_color INTEGER, pen_width INTEGER, brush_color INTEGER,
//          action INTEGER, brush_style INTEGER)
//     numbers 0 .. n-1 without gaps; colours 0xBBGGRR; action the kAction* bits;
//     brush_style a BrushStyle (0 none .. 7).
//   fonts(handle INTEGER PRIMARY KEY, name TEXT NOT NULL, scale REAL NOT NULL)
//     handles 1 .. n without gaps.
//   blocks(id INTEGER PRIMARY KEY, layer INTEGER NOT NULL,
//          count INTEGER NOT NULL, data BLOB NOT NULL)
//     The shapes of one layer, `count` (at least 1) of them packed in `data`
//     in drawing order. A layer's blocks follow each other in id order and
//     its shape numbers increase along them; a writer starts a new block
//     after kBlockShapes shapes or once the data passes kBlockBytes. Each
//     shape is an 8-byte head and the values of its kind, all little-endian
//     (u = unsigned, i = signed integer, f64 = IEEE double):
//       u32 number   (1 .. 0xFFFFFFFE, unique in the file)
//       u8  kind     1 line, 2 point, 3 circle, 4 text, 5 polyline, 6 arc
//       u8  flags    bit 0 selected, bit 1 closed (polylines only), bit 2
//                    coloured, bit 3 curved and bit 4 wide (polylines
//                    only); others 0
//       i16 pen      pen width in pixels, -1 for the layer's (-1 .. 32767)
//     then, when coloured, i32 colour (0xBBGGRR) of the shape's own, and by
//     kind:
//       line      f64 x1, y1, x2, y2                       (40 bytes in all)
//       point     f64 x, y                                 (24)
//       circle    f64 x, y (centre), r                     (32)
//       text      f64 x, y (anchor), f64 height in world units (0: fixed
//                 on the screen), i32 font handle, u8 justify (0 .. 8),
//                 f64 rotation in degrees, u32 n, n bytes of text (UTF-8)
//                                                          (49 + n)
//       polyline  u32 n (at least 1), n times f64 x, y, then when curved
//                 n times f64 bulge, then when wide f64 width in world
//                 units                                    (12 + 16 n ...)
//       arc       f64 x, y (centre), r, start and end angle in degrees
//                                                          (48)
//     Coordinates and angles are finite; radii and text heights are not
//     negative. The data ends with the last shape.
//
// Version 2 files are still read: the same but for the brush_style column
// (no brush), the flags 2 to 4 and the text's rotation (0).
//
// Version 1 files are still read (their texts get height 0 and justify 0).
// They hold the same meta, layers and fonts, and one row per shape instead of
// the blocks:
//   shapes(number INTEGER PRIMARY KEY, layer INTEGER NOT NULL,
//          kind INTEGER NOT NULL, pen_width INTEGER NOT NULL,
//          selected INTEGER NOT NULL, x1 REAL, y1 REAL, x2 REAL, y2 REAL,
//          r REAL, a1 REAL, a2 REAL, text TEXT, font INTEGER,
//          points BLOB, closed INTEGER)
//     kind as above; the columns used by each kind are those of ShapeData.
//     points holds the polyline's vertices as x, y pairs of IEEE doubles,
//     little-endian.
//
// A reader refuses a file whose format is not 'halvex-chart' or whose version
// is newer than it knows.
class ProjectFile {
 public:
  static constexpr const char* kFormat = "halvex-chart";
  static constexpr int kVersion = 3;
  static constexpr size_t kBlockShapes = 1024;
  static constexpr size_t kBlockBytes = 64 * 1024;

  // What a project file holds, copied out of a drawing in one go so that it
  // can be written while the drawing goes on changing, on another thread.
  // Shapes are copied as the drawing stores them, without its spatial index.
  class Snapshot {
   public:
    size_t ShapeCount() const;

   private:
    friend class ProjectFile;
    struct Layer {
      std::string name;
      int pen_color = kDefaultPenColor;
      int pen_width = kDefaultPenWidth;
      int brush_color = kDefaultBrushColor;
      BrushStyle brush_style = BrushStyle::kNone;
      uint32_t action = kDefaultAction;
      std::vector<DrawingModel::Record> records;
      std::vector<DrawingModel::TextItem> texts;
      std::vector<DrawingModel::PolylineItem> polylines;
      std::vector<DrawingModel::ArcItem> arcs;
    };
    std::vector<Layer> layers_;
    std::vector<Font> fonts_;
    uint32_t next_number_ = 1;
  };

  // Copies the drawing into `into`, reusing the memory it already holds.
  // Throws std::bad_alloc when memory runs out (`into` is then undefined but
  // valid).
  static void TakeSnapshot(const DrawingModel& model, Snapshot& into);
  static Snapshot TakeSnapshot(const DrawingModel& model);

  // Writes the snapshot to `path`, replacing it atomically: the database is
  // built in a temporary file beside the target, flushed to disk and renamed
  // over it. On failure (out of memory included) returns false with the
  // reason in `error`, removes the temporary and leaves an existing file as
  // it was. Saves to the same path may run on several threads at once; the
  // last to finish wins.
  static bool Save(const Snapshot& snapshot, const std::filesystem::path& path, std::string& error);
  // The same for the drawing as it is now.
  static bool Save(const DrawingModel& model, const std::filesystem::path& path,
                   std::string& error);

  // Reads the file into a new drawing and, only when all of it was read and
  // checked, replaces `into` with it (layer, shape and font numbers as saved).
  // A missing, damaged or foreign file, or one of a newer version, returns
  // false with the reason in `error` and leaves `into` unchanged.
  static bool Load(const std::filesystem::path& path, DrawingModel& into, std::string& error);

 private:
  // The reading and writing, which see the drawing's storage.
  struct Io;
};

}  // namespace halvex::mapcontrol
