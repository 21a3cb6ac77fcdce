// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the DXF reader takes from a file before it becomes a drawing: shapes
// and INSERTs as read, the blocks and the LAYER table. DxfReader.cpp fills
// these in; DxfPlacement.cpp expands the blocks and adds the shapes to a
// drawing. Not part of the library's interface.

#include <cstdint>
#include <numbers>
#include <string>
#include <unordered_map>
#include <vector>

#include "mapcontrol/DrawingModel.hpp"
#include "mapcontrol/DxfFile.hpp"

namespace halvex::mapcontrol::dxf {

constexpr double kDegree = std::numbers::pi / 180.0;

enum class ItemKind { kShape, kInsert };

// A shape as read, before it is placed in a layer (or a block).
struct Item {
  ItemKind item = ItemKind::kShape;
  std::string layer;
  ShapeKind kind = ShapeKind::kPoint;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0, r = 0, a1 = 0, a2 = 0;
  std::string text;
  std::string style;  // text: font name; insert: block name
  int justify = 0;    // text: the anchor's place, as TextAdd takes it
  std::vector<PointXY> points;
  bool closed = false;
  int color = kLayerColor;     // the entity's own colour (groups 62 and 420), 0xBBGGRR
  double rotation = 0;         // text: degrees counter-clockwise
  std::vector<double> bulges;  // polyline: as ShapeData::bulges
  double width = 0;            // polyline: width in world units, 0 for none
  // Insert only.
  double sx = 1, sy = 1, angle = 0, col_spacing = 0, row_spacing = 0;
  int cols = 1, rows = 1;
};

struct Block {
  double base_x = 0, base_y = 0;
  std::vector<Item> items;
};

// Layers of the LAYER table in order, with colour and "off".
struct LayerEntry {
  std::string name;
  int color = 7;
  bool off = false;
};

// All that the reader takes from a file.
struct Entities {
  std::vector<LayerEntry> layer_table;
  std::vector<Item> items;  // the ENTITIES section's, in order
  std::unordered_map<std::string, Block> blocks;
};

// An entity's extrusion direction (groups 210, 220, 230) and elevation: the
// normal of the plane of its object coordinate system and the plane's
// distance from the origin along it.
struct Extrusion {
  double x = 0, y = 0, z = 1;
  double elevation = 0;
};

// Carries a shape or INSERT read in the object coordinate system of
// `extrusion` into world coordinates, with the arbitrary-axis algorithm.
// Polylines of any plane are projected onto the XY plane; circles, arcs,
// texts and INSERTs only in planes parallel to it (a mirrored one flips
// their direction). False when it cannot be placed. An extrusion of length
// 0 or not finite is taken as (0, 0, 1).
bool PlaceFromOcs(Item& item, const Extrusion& extrusion);

// Adds the layers and the shapes of `entities` to `model`, INSERTs expanded
// within `budget` shapes; what is not drawn is counted in `report`.
void BuildDrawing(const Entities& entities, DrawingModel& model, DxfLoadReport& report,
                  uint64_t budget);

}  // namespace halvex::mapcontrol::dxf
