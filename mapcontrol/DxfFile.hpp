// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "mapcontrol/DrawingModel.hpp"

namespace halvex::mapcontrol {

// DXF exchange of the chart's drawing, through dxflib.
//
// Texts: a file's texts are read in the code page its $DWGCODEPAGE names up
// to release 2004, as UTF-8 from 2007 on, and their "\U+XXXX" and "\M+nXXXX"
// escapes decoded; the drawing's texts are UTF-8. Files are written in code
// page ANSI_1252 with "\U+XXXX" for what it cannot hold (DxfText.hpp).
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
//   - Text: height = the text's world height, or for text of a fixed screen
//     size the scale of its font (1 without a font); style STANDARD; its
//     justify as groups 72 and 73 with the anchor as alignment point.
//     Reading gives text of the entity's height in world units (so a text
//     of fixed screen size comes back world-scaled, its font's scale high),
//     in a font named after the entity's style ("STANDARD" when none) with
//     that height as its scale, placed by groups 72 and 73 (MTEXT: by its
//     attachment point; aligned and fit TEXT: centred between its points).
//   - An arc with equal angles (the full circle) is written from a1 to a1+360.
//   - Pen widths, brush colours and selection are not written.
//
// Reading takes ASCII DXF of releases 12 to 2018: LINE, POINT, CIRCLE, ARC,
// TEXT, MTEXT (as plain text: its formatting codes removed, paragraph breaks
// as line breaks), POLYLINE/VERTEX and LWPOLYLINE, and INSERTs of blocks
// (expanded: the block's shapes scaled, rotated and moved to the insertion
// point; shapes on layer "0" of a block go to the INSERT's layer; arrays of
// columns and rows are repeated). Curved polyline segments (bulges) become
// straight segments at most 2 degrees of arc each. Under a non-uniform
// INSERT scale circles and arcs keep their centre and get the mean of the
// two scale magnitudes as radius (no ellipses in the drawing model).
// Entities given in their object coordinate system (extrusion, groups
// 210/220/230) are carried to world coordinates by the arbitrary-axis
// algorithm: CIRCLE, ARC, TEXT and INSERT in planes parallel to XY (a normal
// pointing down mirrors them: arcs run the other way, texts' horizontal
// justify flips), POLYLINE and LWPOLYLINE in any plane (projected onto XY);
// the others are counted as "<TYPE> (not parallel to the XY plane)". Z
// coordinates are otherwise ignored.
// Layers come first from the LAYER table in its order (layer "0" only when
// an entity lies on it), then those named only by entities, in the order met.
//
// Block expansion is bounded, as a few INSERTs with huge arrays or nested
// blocks could otherwise ask for billions of shapes:
//   - INSERTs nest at most 16 deep; a deeper one is not expanded;
//   - an INSERT within a block of a block whose expansion leads back to that
//     block (a block that inserts itself, directly or through others) is not
//     expanded;
//   - the instances of the ENTITIES section's INSERTs (each cell of an array
//     one instance) are drawn in file order while their content fits in
//     DxfLoadOptions::block_expansion_limit shapes in all (by default
//     kDxfBlockExpansionLimit, some 250 MB of drawing); an instance is drawn
//     whole or not at all, and those that no longer fit are counted, not
//     drawn. An instance's content counts one per shape (a polyline or text
//     one more, plus one per 3 vertices or 32 characters) and per INSERT not
//     expanded, and at least one for an empty block.
inline constexpr std::size_t kDxfBlockExpansionLimit = 4'000'000;

// A file is refused when it gives a list length that dxflib would allocate
// room for before reading the list (LWPOLYLINE vertices, SPLINE knots,
// control and fit points, LEADER vertices) and that is negative, larger than
// the rest of the file can hold, or above 10 million.
struct DxfLoadReport {
  // Entities of the ENTITIES and BLOCKS sections that were not read, by
  // entity type ("SPLINE", "HATCH", ...), and INSERTs not expanded:
  //   "INSERT (undefined block)", "INSERT (nested too deep)" and
  //   "INSERT (block inserts itself)": each time such an INSERT is met while
  //   expanding;
  //   "INSERT (over the block expansion limit)": instances not drawn because
  //   the expansion limit was reached.
  std::map<std::string, std::size_t> unsupported;
  std::size_t shapes = 0;  // shapes added to the drawing
  std::string version;     // $ACADVER of the file ("" when not given)
  // The code page its texts were read in ("ANSI_1252", "DOS850", "UTF-8"...).
  std::string code_page;
  // Remarks on how the file was read, one sentence each (an unknown code
  // page read as ANSI_1252).
  std::vector<std::string> notes;
};

// Writes `model` to `path` as DXF R12, replacing the file atomically (written
// beside it under a temporary name, then renamed). False with the reason in
// `error` on failure; an existing file is then left as it was.
bool SaveDxf(const DrawingModel& model, const std::string& path, std::string& error);

struct DxfLoadOptions {
  // The most shapes block expansion may add (see above).
  std::size_t block_expansion_limit = kDxfBlockExpansionLimit;
};

// Reads the DXF file into a new drawing and, when all of it was read,
// replaces `into` with it. A missing file, a binary DXF, a file that ends
// before its EOF marker or that dxflib cannot read returns false with the
// reason in `error`, and leaves `into` and `report` unchanged.
bool LoadDxf(const std::string& path, DrawingModel& into, DxfLoadReport& report, std::string& error,
             const DxfLoadOptions& options = {});

// A layer's name as written to DXF: "_" for the empty name, control
// characters as "_".
std::string DxfLayerName(const std::string& name);

// A text as written to a DXF group and back: line breaks as "\P", other
// control characters as blanks, the degree, plus-minus and diameter signs as
// %%d, %%p and %%c.
std::string ToDxfText(const std::string& text);
// `paragraphs`: read "\P" as a line break (TEXT; MTEXT's codes are read
// before).
std::string FromDxfText(const std::string& text, bool paragraphs);

// The nearest basic colour index (1..9) to a 0xBBGGRR colour, and back.
int NearestAci(int bgr);
int AciToBgr(int aci);
// A shape's colour index (1..255) as 0xBBGGRR, from the usual 256-colour
// palette; kLayerColor for 0 (by block), 256 (by layer) and anything else.
int ShapeAciToBgr(int aci);
// The colour index whose palette colour is exactly `bgr`, or 0 for none.
int ExactAci(int bgr);

}  // namespace halvex::mapcontrol
