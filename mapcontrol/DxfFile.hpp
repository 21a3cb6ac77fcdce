// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "mapcontrol/DrawingModel.hpp"

namespace halvex::mapcontrol {

// DXF exchange of the chart's drawing, through dxflib.
//
// Writing gives an ASCII DXF of release 12 (AC1009): a LAYER table entry per
// layer (plus layer "0", which DXF requires, when the drawing has none), and
// per shape a LINE, POINT, CIRCLE, ARC, TEXT or POLYLINE with its VERTEXes
// (flag 1 when closed), layer by layer in drawing order.
//   - Colours: R12 has only colour indices, so a layer's pen colour (0xBBGGRR)
//     becomes the nearest of the basic indices 1 red, 2 yellow, 3 green,
//     4 cyan, 5 blue, 6 magenta, 7 black or white, 8 dark grey (128) and
//     9 light grey (192), by squared RGB distance. Reading turns those
//     indices back into the same colours (7 into black, the pen colour of a
//     new layer); other indices read as black.
//   - A layer without kActionVisible is written "off" (negative colour);
//     reading an "off" layer clears kActionVisible, every other layer gets
//     kDefaultAction.
//   - Text: height = the scale of the shape's font (1 without a font), style
//     STANDARD. Reading opens a font named after the entity's style
//     ("STANDARD" when none) with the text height as its scale.
//   - An arc with equal angles (the full circle) is written from a1 to a1+360.
//   - Pen widths, brush colours and selection are not written.
//
// Reading takes ASCII DXF of releases 12 to 2018: LINE, POINT, CIRCLE, ARC,
// TEXT, MTEXT (as text: "\P" becomes a line break, other formatting codes are
// kept as they are), POLYLINE/VERTEX and LWPOLYLINE, and INSERTs of blocks
// (expanded: the block's shapes scaled, rotated and moved to the insertion
// point; shapes on layer "0" of a block go to the INSERT's layer; arrays of
// columns and rows are repeated). Curved polyline segments (bulges) become
// straight segments at most 2 degrees of arc each. Under a non-uniform
// INSERT scale circles and arcs keep their centre and get the mean of the
// two scale magnitudes as radius (no ellipses in the drawing model).
// Z coordinates and extrusion directions are ignored.
// Layers come first from the LAYER table in its order (layer "0" only when
// an entity lies on it), then those named only by entities, in the order met.
struct DxfLoadReport {
  // Entities of the ENTITIES and BLOCKS sections that were not read, by
  // entity type ("SPLINE", "HATCH", ...).
  std::map<std::string, std::size_t> unsupported;
  std::size_t shapes = 0;  // shapes added to the drawing
  std::string version;     // $ACADVER of the file ("" when not given)
};

// Writes `model` to `path` as DXF R12, replacing the file atomically (written
// beside it under a temporary name, then renamed). False with the reason in
// `error` on failure; an existing file is then left as it was.
bool SaveDxf(const DrawingModel& model, const std::string& path, std::string& error);

// Reads the DXF file into a new drawing and, when all of it was read,
// replaces `into` with it. A missing file, a binary DXF, a file that ends
// before its EOF marker or that dxflib cannot read returns false with the
// reason in `error`, and leaves `into` and `report` unchanged.
bool LoadDxf(const std::string& path, DrawingModel& into, DxfLoadReport& report,
             std::string& error);

// The nearest basic colour index (1..9) to a 0xBBGGRR colour, and back.
int NearestAci(int bgr);
int AciToBgr(int aci);

}  // namespace halvex::mapcontrol
