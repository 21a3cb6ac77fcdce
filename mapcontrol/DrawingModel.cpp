// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapcontrol/DrawingModel.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <numbers>

namespace halvex::mapcontrol {
namespace {

// A shape whose bounding box covers more cells than this goes to the layer's
// list of large shapes rather than into every cell.
constexpr int64_t kMaxCellsPerShape = 16;

bool Finite(double v) { return std::isfinite(v); }

uint64_t CellKey(int64_t cx, int64_t cy) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(cx)) << 32) |
         static_cast<uint64_t>(static_cast<uint32_t>(cy));
}

int64_t KeyX(uint64_t key) { return static_cast<int32_t>(static_cast<uint32_t>(key >> 32)); }
int64_t KeyY(uint64_t key) { return static_cast<int32_t>(static_cast<uint32_t>(key)); }

double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax;
  const double dy = by - ay;
  const double len2 = dx * dx + dy * dy;
  double t = 0;
  if (len2 > 0) {
    t = std::clamp(((px - ax) * dx + (py - ay) * dy) / len2, 0.0, 1.0);
  }
  return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

// Counter-clockwise sweep from start to end in degrees, in (0, 360].
double Sweep(double start, double end) {
  double s = std::fmod(end - start, 360.0);
  if (s <= 0) s += 360.0;
  return s;
}

// Whether the direction `deg` lies on the arc from `start` sweeping `sweep`.
bool OnSweep(double deg, double start, double sweep) {
  double d = std::fmod(deg - start, 360.0);
  if (d < 0) d += 360.0;
  return d <= sweep;
}

PointXY ArcPoint(double cx, double cy, double r, double deg) {
  const double rad = deg * std::numbers::pi / 180.0;
  return {cx + r * std::cos(rad), cy + r * std::sin(rad)};
}

void Grow(std::optional<Rect>& box, const Rect& r) {
  if (!box) {
    box = r;
    return;
  }
  box->min_x = std::min(box->min_x, r.min_x);
  box->min_y = std::min(box->min_y, r.min_y);
  box->max_x = std::max(box->max_x, r.max_x);
  box->max_y = std::max(box->max_y, r.max_y);
}

int16_t ClampPen(int width) { return static_cast<int16_t>(std::clamp(width, -1, 32767)); }

// Arc box of the counter-clockwise arc from `start` sweeping `sweep` degrees.
Rect ArcBox(double cx, double cy, double r, double start, double sweep) {
  std::optional<Rect> box;
  const PointXY p = ArcPoint(cx, cy, r, start);
  const PointXY q = ArcPoint(cx, cy, r, start + sweep);
  Grow(box, Rect{p.x, p.y, p.x, p.y});
  Grow(box, Rect{q.x, q.y, q.x, q.y});
  if (OnSweep(0, start, sweep)) Grow(box, Rect{cx + r, cy, cx + r, cy});
  if (OnSweep(90, start, sweep)) Grow(box, Rect{cx, cy + r, cx, cy + r});
  if (OnSweep(180, start, sweep)) Grow(box, Rect{cx - r, cy, cx - r, cy});
  if (OnSweep(270, start, sweep)) Grow(box, Rect{cx, cy - r, cx, cy - r});
  return *box;
}

// Distance from (x, y) to a polyline segment, straight or bulged.
double BulgeDistance(double x, double y, PointXY p, PointXY q, double bulge) {
  const std::optional<BulgeArc> arc = ArcOfBulge(p, q, bulge);
  if (!arc) return SegmentDistance(x, y, p.x, p.y, q.x, q.y);
  const double d = std::hypot(x - arc->cx, y - arc->cy);
  if (d > 0) {
    const double deg = std::atan2(y - arc->cy, x - arc->cx) * 180.0 / std::numbers::pi;
    const double start = arc->sweep_deg >= 0 ? arc->start_deg : arc->start_deg + arc->sweep_deg;
    if (OnSweep(deg, start, std::abs(arc->sweep_deg))) return std::abs(d - arc->r);
  }
  return std::min(std::hypot(x - p.x, y - p.y), std::hypot(x - q.x, y - q.y));
}

// The box a text is taken to cover without a measure: 0.6 of the capital
// height per character of its longest line, lines 1.6 apart, from a quarter
// below the baseline to the capitals' top.
Rect EstimateTextBox(std::string_view text, int justify) {
  size_t lines = 1;
  size_t longest = 0;
  size_t run = 0;
  for (const char c : text) {
    if (c == '\n') {
      ++lines;
      run = 0;
    } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {  // UTF-8 lead bytes
      longest = std::max(longest, ++run);
    }
  }
  const double w = 0.6 * static_cast<double>(longest);
  const double block = 1.6 * static_cast<double>(lines - 1);
  const double left = -w * 0.5 * JustifyHorizontal(justify);
  double base = 0;  // the last line's baseline
  if (JustifyVertical(justify) == 1) base = block / 2 - 0.5;
  if (JustifyVertical(justify) == 2) base = -block - 1;
  return Rect{left, base - 0.25, left + w, base + block + 1};
}

bool FiniteRect(const Rect& r) {
  return Finite(r.min_x) && Finite(r.min_y) && Finite(r.max_x) && Finite(r.max_y) &&
         r.min_x <= r.max_x && r.min_y <= r.max_y;
}

// Axis-aligned box of `box` turned by `deg` about the origin, scaled by
// `scale` and moved to (x, y).
Rect TurnedBox(const Rect& box, double deg, double scale, double x, double y) {
  if (deg == 0) {
    return Rect{x + box.min_x * scale, y + box.min_y * scale, x + box.max_x * scale,
                y + box.max_y * scale};
  }
  const double rad = deg * std::numbers::pi / 180.0;
  const double c = std::cos(rad);
  const double s = std::sin(rad);
  std::optional<Rect> out;
  for (const double bx : {box.min_x, box.max_x}) {
    for (const double by : {box.min_y, box.max_y}) {
      const double px = x + (bx * c - by * s) * scale;
      const double py = y + (bx * s + by * c) * scale;
      Grow(out, Rect{px, py, px, py});
    }
  }
  return *out;
}

double Reach(const Rect& box) {
  return std::max({std::hypot(box.min_x, box.min_y), std::hypot(box.min_x, box.max_y),
                   std::hypot(box.max_x, box.min_y), std::hypot(box.max_x, box.max_y)});
}

}  // namespace

std::optional<BulgeArc> ArcOfBulge(PointXY from, PointXY to, double bulge) {
  if (bulge == 0 || !Finite(bulge) || from == to) return std::nullopt;
  // The centre lies on the chord's perpendicular bisector, (1/b - b) / 2
  // half-chords to the left of the direction of travel.
  const double mx = (from.x + to.x) / 2;
  const double my = (from.y + to.y) / 2;
  const double k = (1.0 / bulge - bulge) / 2;
  BulgeArc arc;
  arc.cx = mx - k * (to.y - from.y) / 2;
  arc.cy = my + k * (to.x - from.x) / 2;
  arc.r = std::hypot(from.x - arc.cx, from.y - arc.cy);
  arc.start_deg = std::atan2(from.y - arc.cy, from.x - arc.cx) * 180.0 / std::numbers::pi;
  arc.sweep_deg = 4.0 * std::atan(bulge) * 180.0 / std::numbers::pi;
  if (!Finite(arc.cx) || !Finite(arc.cy) || !Finite(arc.r)) return std::nullopt;
  return arc;
}

Rect BulgeBounds(PointXY from, PointXY to, double bulge) {
  Rect chord{std::min(from.x, to.x), std::min(from.y, to.y), std::max(from.x, to.x),
             std::max(from.y, to.y)};
  const std::optional<BulgeArc> arc = ArcOfBulge(from, to, bulge);
  if (!arc) return chord;
  const double start = arc->sweep_deg >= 0 ? arc->start_deg : arc->start_deg + arc->sweep_deg;
  Rect box = ArcBox(arc->cx, arc->cy, arc->r, start, std::abs(arc->sweep_deg));
  // The ends exactly as given, whatever the rounding of the arc's points.
  box.min_x = std::min(box.min_x, chord.min_x);
  box.min_y = std::min(box.min_y, chord.min_y);
  box.max_x = std::max(box.max_x, chord.max_x);
  box.max_y = std::max(box.max_y, chord.max_y);
  return box;
}

DrawingModel::DrawingModel(double cell_size)
    : cell_size_(cell_size > 0 && Finite(cell_size) ? cell_size : 64.0) {}

// ---------------------------------------------------------------- layers

uint16_t DrawingModel::LayerOpen(std::string_view name) {
  const uint16_t found = LayerFindByName(name);
  if (found != kNoLayer) return found;
  if (layers_.size() >= kNoLayer) return kNoLayer;
  const auto number = static_cast<uint16_t>(layers_.size());
  layers_.emplace_back();
  layers_.back().name = std::string(name);
  layer_by_name_.emplace(std::string(name), number);
  return number;
}

uint16_t DrawingModel::LayerFindByName(std::string_view name) const {
  const auto it = layer_by_name_.find(std::string(name));
  return it == layer_by_name_.end() ? kNoLayer : it->second;
}

std::string DrawingModel::LayerName(uint16_t layer) const {
  return LayerExists(layer) ? layers_[layer].name : std::string();
}

int DrawingModel::LayerPenColor(uint16_t layer) const {
  return LayerExists(layer) ? layers_[layer].pen_color : kDefaultPenColor;
}
void DrawingModel::LayerSetPenColor(uint16_t layer, int color) {
  if (!LayerExists(layer) || layers_[layer].pen_color == (color & 0xFFFFFF)) return;
  layers_[layer].pen_color = color & 0xFFFFFF;
  Touch(layer);
}
int DrawingModel::LayerPenWidth(uint16_t layer) const {
  return LayerExists(layer) ? layers_[layer].pen_width : kDefaultPenWidth;
}
void DrawingModel::LayerSetPenWidth(uint16_t layer, int width) {
  if (!LayerExists(layer) || layers_[layer].pen_width == std::max(width, 0)) return;
  layers_[layer].pen_width = std::max(width, 0);
  Touch(layer);
}
int DrawingModel::LayerBrushColor(uint16_t layer) const {
  return LayerExists(layer) ? layers_[layer].brush_color : kDefaultBrushColor;
}
void DrawingModel::LayerSetBrushColor(uint16_t layer, int color) {
  if (!LayerExists(layer) || layers_[layer].brush_color == (color & 0xFFFFFF)) return;
  layers_[layer].brush_color = color & 0xFFFFFF;
  Touch(layer);
}
BrushStyle DrawingModel::LayerBrushStyle(uint16_t layer) const {
  return LayerExists(layer) ? layers_[layer].brush_style : BrushStyle::kNone;
}
void DrawingModel::LayerSetBrushStyle(uint16_t layer, BrushStyle style) {
  if (!LayerExists(layer) || static_cast<uint8_t>(style) > kBrushStyleMax ||
      layers_[layer].brush_style == style) {
    return;
  }
  layers_[layer].brush_style = style;
  Touch(layer);
}
uint32_t DrawingModel::LayerAction(uint16_t layer) const {
  return LayerExists(layer) ? layers_[layer].action : kDefaultAction;
}
void DrawingModel::LayerSetAction(uint16_t layer, uint32_t action) {
  if (!LayerExists(layer) || layers_[layer].action == (action & kActionAll)) return;
  layers_[layer].action = action & kActionAll;
  Touch(layer);
}
size_t DrawingModel::LayerShapeCount(uint16_t layer) const {
  return LayerExists(layer) ? layers_[layer].records.size() : 0;
}
uint64_t DrawingModel::LayerStamp(uint16_t layer) const {
  return LayerExists(layer) ? layers_[layer].stamp : 0;
}
size_t DrawingModel::LayerTextCount(uint16_t layer) const {
  return LayerExists(layer) ? layers_[layer].texts.size() : 0;
}
uint64_t DrawingModel::NewStamp() {
  static std::atomic<uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}
void DrawingModel::Touch(uint16_t layer) {
  if (LayerExists(layer)) layers_[layer].stamp = NewStamp();
}

// ---------------------------------------------------------------- fonts

int32_t DrawingModel::FontOpen(std::string_view name, double scale) {
  for (size_t i = 0; i < fonts_.size(); ++i) {
    if (fonts_[i].name == name && fonts_[i].scale == scale) return static_cast<int32_t>(i + 1);
  }
  fonts_.push_back(Font{std::string(name), scale});
  return static_cast<int32_t>(fonts_.size());
}

std::optional<Font> DrawingModel::FontGet(int32_t handle) const {
  if (handle < 1 || static_cast<size_t>(handle) > fonts_.size()) return std::nullopt;
  return fonts_[static_cast<size_t>(handle - 1)];
}

// ---------------------------------------------------------------- drawing

int64_t DrawingModel::Cell(double v) const {
  const double c = std::floor(v / cell_size_);
  constexpr double lo = std::numeric_limits<int32_t>::min();
  constexpr double hi = std::numeric_limits<int32_t>::max();
  return static_cast<int64_t>(std::clamp(c, lo, hi));
}

uint32_t DrawingModel::Add(uint16_t layer_number, const Record& record, uint32_t number) {
  Layer& layer = layers_[layer_number];
  Record rec = record;
  rec.number = number;
  const auto index = static_cast<uint32_t>(layer.records.size());
  layer.records.push_back(rec);
  Index(layer, index);
  ++shape_count_;
  next_number_ = std::max(next_number_, number + 1);
  return number;
}

// Puts record `index` into the cells its bounding box covers, or into the
// list of large shapes, and grows the layer's extents.
void DrawingModel::Index(Layer& layer, uint32_t index) {
  const Rect box = Bounds(layer, layer.records[index]);
  Grow(layer.extents, box);
  const int64_t x0 = Cell(box.min_x), x1 = Cell(box.max_x);
  const int64_t y0 = Cell(box.min_y), y1 = Cell(box.max_y);
  // Each span alone is checked first: the product of two spans of the
  // whole cell range would overflow.
  if (x1 - x0 + 1 > kMaxCellsPerShape || y1 - y0 + 1 > kMaxCellsPerShape ||
      (x1 - x0 + 1) * (y1 - y0 + 1) > kMaxCellsPerShape) {
    layer.large.push_back(index);
  } else {
    for (int64_t cx = x0; cx <= x1; ++cx) {
      for (int64_t cy = y0; cy <= y1; ++cy) layer.cells[CellKey(cx, cy)].push_back(index);
    }
  }
}

void DrawingModel::Unindex(Layer& layer, uint32_t index) {
  auto drop = [index](std::vector<uint32_t>& list) {
    list.erase(std::remove(list.begin(), list.end(), index), list.end());
  };
  drop(layer.large);
  const Rect box = Bounds(layer, layer.records[index]);
  const int64_t x0 = Cell(box.min_x), x1 = Cell(box.max_x);
  const int64_t y0 = Cell(box.min_y), y1 = Cell(box.max_y);
  if (x1 - x0 + 1 > kMaxCellsPerShape || y1 - y0 + 1 > kMaxCellsPerShape) return;
  for (int64_t cx = x0; cx <= x1; ++cx) {
    for (int64_t cy = y0; cy <= y1; ++cy) {
      const auto it = layer.cells.find(CellKey(cx, cy));
      if (it == layer.cells.end()) continue;
      drop(it->second);
      if (it->second.empty()) layer.cells.erase(it);
    }
  }
}

uint32_t DrawingModel::DrawLine(double x1, double y1, double x2, double y2, uint16_t layer) {
  if (!Drawable(layer) || !Finite(x1) || !Finite(y1) || !Finite(x2) || !Finite(y2)) return 0;
  return Add(layer, Record{x1, y1, x2, y2, 0, 0, -1, ShapeKind::kLine, 0}, next_number_);
}

uint32_t DrawingModel::DrawPoint(double x, double y, uint16_t layer) {
  if (!Drawable(layer) || !Finite(x) || !Finite(y)) return 0;
  return Add(layer, Record{x, y, 0, 0, 0, 0, -1, ShapeKind::kPoint, 0}, next_number_);
}

uint32_t DrawingModel::DrawCircle(double cx, double cy, double r, uint16_t layer) {
  if (!Drawable(layer) || !Finite(cx) || !Finite(cy) || !Finite(r) || r < 0) return 0;
  return Add(layer, Record{cx, cy, r, 0, 0, 0, -1, ShapeKind::kCircle, 0}, next_number_);
}

uint32_t DrawingModel::TextAdd(uint16_t layer, std::string_view text, double x, double y,
                               int32_t font, double height, int justify, double rotation_deg) {
  if (!Drawable(layer) || !Finite(x) || !Finite(y) || !Finite(rotation_deg)) return 0;
  if (!Finite(height) || height < 0) height = 0;
  if (justify < 0 || justify > kJustifyMax) justify = 0;
  Layer& l = layers_[layer];
  const auto aux = static_cast<uint32_t>(l.texts.size());
  TextItem item{std::string(text), font, rotation_deg, Rect{}};
  Measure(l, item, justify, height);
  l.texts.push_back(std::move(item));
  return Add(layer,
             Record{x, y, height, static_cast<double>(justify), 0, aux, -1, ShapeKind::kText, 0},
             next_number_);
}

void DrawingModel::Measure(Layer& layer, TextItem& item, int justify, double height) const {
  std::string_view font_name;
  if (item.font >= 1 && static_cast<size_t>(item.font) <= fonts_.size()) {
    font_name = fonts_[static_cast<size_t>(item.font - 1)].name;
  }
  item.box = measure_ ? measure_(item.text, font_name, justify) : Rect{};
  if (!measure_ || !FiniteRect(item.box)) item.box = EstimateTextBox(item.text, justify);
  if (height <= 0) {
    const std::optional<Font> font = FontGet(item.font);
    const double pixels = (font ? font->scale : 1.0) * kScreenTextPixelsPerScale;
    const double reach = Reach(item.box) * std::abs(pixels);
    if (Finite(reach)) layer.screen_text_reach = std::max(layer.screen_text_reach, reach);
  }
}

uint32_t DrawingModel::DrawPolyline(const std::vector<PointXY>& points, bool closed,
                                    uint16_t layer) {
  return DrawPolyline(points, {}, closed, layer, 0);
}

uint32_t DrawingModel::DrawPolyline(const std::vector<PointXY>& points,
                                    const std::vector<double>& bulges, bool closed, uint16_t layer,
                                    double world_width) {
  if (!Drawable(layer) || points.empty()) return 0;
  if (!bulges.empty() && bulges.size() != points.size()) return 0;
  if (!Finite(world_width) || world_width < 0) return 0;
  std::optional<Rect> box;
  for (const PointXY& p : points) {
    if (!Finite(p.x) || !Finite(p.y)) return 0;
    Grow(box, Rect{p.x, p.y, p.x, p.y});
  }
  bool curved = false;
  for (const double b : bulges) {
    if (!Finite(b)) return 0;
    curved = curved || b != 0;
  }
  if (curved) {
    const size_t n = points.size();
    for (size_t i = 0; i + 1 < n; ++i) Grow(box, BulgeBounds(points[i], points[i + 1], bulges[i]));
    if (closed && n > 1) Grow(box, BulgeBounds(points[n - 1], points[0], bulges[n - 1]));
  }
  Layer& l = layers_[layer];
  const auto aux = static_cast<uint32_t>(l.polylines.size());
  l.polylines.push_back(
      PolylineItem{points, closed, curved ? bulges : std::vector<double>{}, world_width});
  return Add(
      layer,
      Record{box->min_x, box->min_y, box->max_x, box->max_y, 0, aux, -1, ShapeKind::kPolyline, 0},
      next_number_);
}

uint32_t DrawingModel::DrawArc(double cx, double cy, double r, double start_deg, double end_deg,
                               uint16_t layer) {
  if (!Drawable(layer) || !Finite(cx) || !Finite(cy) || !Finite(r) || r < 0 || !Finite(start_deg) ||
      !Finite(end_deg)) {
    return 0;
  }
  Layer& l = layers_[layer];
  const auto aux = static_cast<uint32_t>(l.arcs.size());
  l.arcs.push_back(ArcItem{start_deg, end_deg});
  return Add(layer, Record{cx, cy, r, 0, 0, aux, -1, ShapeKind::kArc, 0}, next_number_);
}

uint32_t DrawingModel::DrawShape(const ShapeData& s, uint16_t layer) {
  uint32_t number = 0;
  switch (s.kind) {
    case ShapeKind::kLine:
      number = DrawLine(s.x1, s.y1, s.x2, s.y2, layer);
      break;
    case ShapeKind::kPoint:
      number = DrawPoint(s.x1, s.y1, layer);
      break;
    case ShapeKind::kCircle:
      number = DrawCircle(s.x1, s.y1, s.r, layer);
      break;
    case ShapeKind::kText:
      number = TextAdd(layer, s.text, s.x1, s.y1, s.font, s.text_height, s.justify, s.rotation);
      break;
    case ShapeKind::kPolyline:
      number = DrawPolyline(s.points, s.bulges, s.closed, layer, s.width);
      break;
    case ShapeKind::kArc:
      number = DrawArc(s.x1, s.y1, s.r, s.a1, s.a2, layer);
      break;
  }
  if (number != 0 && s.pen_width >= 0) ShapePenWidth(number, s.pen_width);
  if (number != 0 && s.color != kLayerColor) ShapeColor(number, s.color);
  return number;
}

// ---------------------------------------------------------------- shapes

// Numbers increase along each layer's records, so a binary search per layer
// finds a shape without a table of every number.
std::optional<DrawingModel::Location> DrawingModel::Find(uint32_t number) const {
  if (number == 0 || number >= next_number_) return std::nullopt;
  for (size_t l = 0; l < layers_.size(); ++l) {
    const std::vector<Record>& recs = layers_[l].records;
    if (recs.empty() || number < recs.front().number || number > recs.back().number) continue;
    const auto it = std::lower_bound(recs.begin(), recs.end(), number,
                                     [](const Record& r, uint32_t n) { return r.number < n; });
    if (it != recs.end() && it->number == number) {
      return Location{static_cast<uint16_t>(l), static_cast<uint32_t>(it - recs.begin())};
    }
  }
  return std::nullopt;
}

DrawingModel::Record* DrawingModel::FindRecord(uint32_t number) {
  const auto loc = Find(number);
  return loc ? &layers_[loc->layer].records[loc->index] : nullptr;
}

bool DrawingModel::ShapeExists(uint32_t number) const { return Find(number).has_value(); }

std::optional<ShapeKind> DrawingModel::ShapeKindOf(uint32_t number) const {
  const auto loc = Find(number);
  if (!loc) return std::nullopt;
  return layers_[loc->layer].records[loc->index].kind;
}

uint16_t DrawingModel::ShapeLayer(uint32_t number) const {
  const auto loc = Find(number);
  return loc ? loc->layer : kNoLayer;
}

int DrawingModel::ShapePenWidth(uint32_t number) const {
  const auto loc = Find(number);
  return loc ? layers_[loc->layer].records[loc->index].pen : -1;
}

bool DrawingModel::ShapePenWidth(uint32_t number, int width) {
  Record* rec = FindRecord(number);
  if (rec == nullptr) return false;
  rec->pen = ClampPen(width);
  Touch(ShapeLayer(number));
  return true;
}

int DrawingModel::ShapeColor(uint32_t number) const {
  const auto loc = Find(number);
  return loc ? layers_[loc->layer].records[loc->index].color : kLayerColor;
}

bool DrawingModel::ShapeColor(uint32_t number, int color) {
  Record* rec = FindRecord(number);
  if (rec == nullptr) return false;
  const int value = color < 0 ? kLayerColor : color & 0xFFFFFF;
  if (rec->color != value) {
    rec->color = value;
    Touch(ShapeLayer(number));
  }
  return true;
}

bool DrawingModel::ShapeSelect(uint32_t number) {
  Record* rec = FindRecord(number);
  if (rec == nullptr) return false;
  rec->selected = 1;
  Touch(ShapeLayer(number));
  return true;
}

bool DrawingModel::ShapeDeselect(uint32_t number) {
  Record* rec = FindRecord(number);
  if (rec == nullptr) return false;
  rec->selected = 0;
  Touch(ShapeLayer(number));
  return true;
}

bool DrawingModel::MovePoint(uint32_t number, double x, double y) {
  const auto loc = Find(number);
  if (!loc || !Finite(x) || !Finite(y)) return false;
  Layer& layer = layers_[loc->layer];
  Record& rec = layer.records[loc->index];
  if (rec.kind != ShapeKind::kPoint) return false;
  Unindex(layer, loc->index);
  rec.a = x;
  rec.b = y;
  Index(layer, loc->index);
  Touch(loc->layer);
  return true;
}

bool DrawingModel::ShapeSelected(uint32_t number) const {
  const auto loc = Find(number);
  return loc && layers_[loc->layer].records[loc->index].selected != 0;
}

ShapeData DrawingModel::ToData(uint16_t layer_number, const Layer& layer, const Record& rec) const {
  ShapeData s;
  s.number = rec.number;
  s.layer = layer_number;
  s.kind = rec.kind;
  s.pen_width = rec.pen;
  s.color = rec.color;
  s.selected = rec.selected != 0;
  switch (rec.kind) {
    case ShapeKind::kLine:
      s.x1 = rec.a, s.y1 = rec.b, s.x2 = rec.c, s.y2 = rec.d;
      break;
    case ShapeKind::kPoint:
      s.x1 = rec.a, s.y1 = rec.b;
      break;
    case ShapeKind::kCircle:
      s.x1 = rec.a, s.y1 = rec.b, s.r = rec.c;
      break;
    case ShapeKind::kText:
      s.x1 = rec.a, s.y1 = rec.b;
      s.text = layer.texts[rec.aux].text;
      s.font = layer.texts[rec.aux].font;
      s.text_height = rec.c;
      s.justify = static_cast<int>(rec.d);
      s.rotation = layer.texts[rec.aux].rotation;
      break;
    case ShapeKind::kPolyline:
      s.points = layer.polylines[rec.aux].points;
      s.closed = layer.polylines[rec.aux].closed;
      s.bulges = layer.polylines[rec.aux].bulges;
      s.width = layer.polylines[rec.aux].width;
      break;
    case ShapeKind::kArc:
      s.x1 = rec.a, s.y1 = rec.b, s.r = rec.c;
      s.a1 = layer.arcs[rec.aux].start;
      s.a2 = layer.arcs[rec.aux].end;
      break;
  }
  return s;
}

std::optional<ShapeData> DrawingModel::GetShape(uint32_t number) const {
  const auto loc = Find(number);
  if (!loc) return std::nullopt;
  const Layer& layer = layers_[loc->layer];
  return ToData(loc->layer, layer, layer.records[loc->index]);
}

std::optional<Rect> DrawingModel::ShapeBounds(uint32_t number) const {
  const auto loc = Find(number);
  if (!loc) return std::nullopt;
  const Layer& layer = layers_[loc->layer];
  return Bounds(layer, layer.records[loc->index]);
}

void DrawingModel::ForEachShape(uint16_t layer,
                                const std::function<void(const ShapeData&)>& visit) const {
  if (!LayerExists(layer)) return;
  const Layer& l = layers_[layer];
  for (const Record& rec : l.records) visit(ToData(layer, l, rec));
}

// ---------------------------------------------------------------- clearing

void DrawingModel::ClearLayer(Layer& layer) {
  shape_count_ -= layer.records.size();
  layer.records.clear();
  layer.texts.clear();
  layer.polylines.clear();
  layer.arcs.clear();
  layer.cells.clear();
  layer.large.clear();
  layer.extents.reset();
  layer.screen_text_reach = 0;
  layer.stamp = NewStamp();
}

void DrawingModel::CadClearShapes(int32_t layer) {
  if (layer == -1) {
    for (Layer& l : layers_) ClearLayer(l);
  } else if (layer >= 0 && static_cast<size_t>(layer) < layers_.size()) {
    ClearLayer(layers_[static_cast<size_t>(layer)]);
  }
}

void DrawingModel::CadClearAll() {
  layers_.clear();
  layer_by_name_.clear();
  shape_count_ = 0;
}

// ---------------------------------------------------------------- geometry

// Text of a fixed screen size has no extent in world units but its anchor
// (the drawing code widens its window by LayerScreenTextReach for them).
// Text of a world height covers its measured box, turned.
Rect DrawingModel::Bounds(const Layer& layer, const Record& rec) const {
  switch (rec.kind) {
    case ShapeKind::kLine:
      return Rect{std::min(rec.a, rec.c), std::min(rec.b, rec.d), std::max(rec.a, rec.c),
                  std::max(rec.b, rec.d)};
    case ShapeKind::kPoint:
      return Rect{rec.a, rec.b, rec.a, rec.b};
    case ShapeKind::kText: {
      if (rec.c <= 0) return Rect{rec.a, rec.b, rec.a, rec.b};
      const TextItem& item = layer.texts[rec.aux];
      return TurnedBox(item.box, item.rotation, rec.c, rec.a, rec.b);
    }
    case ShapeKind::kCircle:
      return Rect{rec.a - rec.c, rec.b - rec.c, rec.a + rec.c, rec.b + rec.c};
    case ShapeKind::kPolyline:
      return Rect{rec.a, rec.b, rec.c, rec.d};
    case ShapeKind::kArc: {
      const ArcItem& arc = layer.arcs[rec.aux];
      return ArcBox(rec.a, rec.b, rec.c, arc.start, Sweep(arc.start, arc.end));
    }
  }
  return Rect{rec.a, rec.b, rec.a, rec.b};
}

Rect DrawingModel::TextWorldBox(const Layer& layer, const Record& rec,
                                double units_per_pixel) const {
  const TextItem& item = layer.texts[rec.aux];
  double scale = rec.c;
  if (scale <= 0) {
    const std::optional<Font> font = FontGet(item.font);
    scale = (font ? font->scale : 1.0) * kScreenTextPixelsPerScale * units_per_pixel;
  }
  return Rect{item.box.min_x * scale, item.box.min_y * scale, item.box.max_x * scale,
              item.box.max_y * scale};
}

double DrawingModel::Distance(const Layer& layer, const Record& rec, double x, double y,
                              double units_per_pixel) const {
  switch (rec.kind) {
    case ShapeKind::kLine:
      return SegmentDistance(x, y, rec.a, rec.b, rec.c, rec.d);
    case ShapeKind::kPoint:
      return std::hypot(x - rec.a, y - rec.b);
    case ShapeKind::kText: {
      // Anywhere on the text's box counts as on the text: the point is
      // taken into the text's own axes, turned with it.
      if (rec.c <= 0 && !(units_per_pixel > 0)) return std::hypot(x - rec.a, y - rec.b);
      const Rect box = TextWorldBox(layer, rec, units_per_pixel);
      const double rad = layer.texts[rec.aux].rotation * std::numbers::pi / 180.0;
      const double c = std::cos(rad);
      const double s = std::sin(rad);
      const double lx = (x - rec.a) * c + (y - rec.b) * s;
      const double ly = -(x - rec.a) * s + (y - rec.b) * c;
      const double dx = std::max({box.min_x - lx, 0.0, lx - box.max_x});
      const double dy = std::max({box.min_y - ly, 0.0, ly - box.max_y});
      return std::hypot(dx, dy);
    }
    case ShapeKind::kCircle:
      return std::abs(std::hypot(x - rec.a, y - rec.b) - rec.c);
    case ShapeKind::kPolyline: {
      const PolylineItem& pl = layer.polylines[rec.aux];
      const std::vector<PointXY>& p = pl.points;
      const std::vector<double>& b = pl.bulges;
      double best = std::hypot(x - p[0].x, y - p[0].y);
      for (size_t i = 1; i < p.size(); ++i) {
        best =
            std::min(best, b.empty() ? SegmentDistance(x, y, p[i - 1].x, p[i - 1].y, p[i].x, p[i].y)
                                     : BulgeDistance(x, y, p[i - 1], p[i], b[i - 1]));
      }
      // Two points with a bulge closing them make a shape of their own.
      if (pl.closed && (p.size() > 2 || (p.size() == 2 && !b.empty() && b.back() != 0))) {
        best = std::min(best, BulgeDistance(x, y, p.back(), p[0], b.empty() ? 0.0 : b.back()));
      }
      return best;
    }
    case ShapeKind::kArc: {
      const ArcItem& arc = layer.arcs[rec.aux];
      const double sweep = Sweep(arc.start, arc.end);
      const double d = std::hypot(x - rec.a, y - rec.b);
      if (d > 0) {
        const double deg = std::atan2(y - rec.b, x - rec.a) * 180.0 / std::numbers::pi;
        if (OnSweep(deg, arc.start, sweep)) return std::abs(d - rec.c);
      }
      const PointXY p = ArcPoint(rec.a, rec.b, rec.c, arc.start);
      const PointXY q = ArcPoint(rec.a, rec.b, rec.c, arc.start + sweep);
      return std::min(std::hypot(x - p.x, y - p.y), std::hypot(x - q.x, y - q.y));
    }
  }
  return std::numeric_limits<double>::infinity();
}

// ---------------------------------------------------------------- queries

std::optional<Rect> DrawingModel::Extents() const {
  std::optional<Rect> box;
  for (const Layer& l : layers_) {
    if (l.extents) Grow(box, *l.extents);
  }
  return box;
}

// Calls visit(index) for every record of the layer that may meet `rect`, each
// once: a shape listed in several cells is reported only from the first of its
// cells that lies in the query.
template <typename Visit>
void DrawingModel::VisitCandidates(const Layer& layer, const Rect& rect, Visit&& visit) const {
  if (layer.records.empty() || !layer.extents || !layer.extents->Intersects(rect)) return;
  const int64_t qx0 = Cell(rect.min_x), qx1 = Cell(rect.max_x);
  const int64_t qy0 = Cell(rect.min_y), qy1 = Cell(rect.max_y);
  auto report = [&](int64_t cx, int64_t cy, const std::vector<uint32_t>& bucket) {
    for (uint32_t index : bucket) {
      const Rect box = Bounds(layer, layer.records[index]);
      if (std::max(Cell(box.min_x), qx0) == cx && std::max(Cell(box.min_y), qy0) == cy) {
        visit(index);
      }
    }
  };
  const auto span = static_cast<double>(qx1 - qx0 + 1) * static_cast<double>(qy1 - qy0 + 1);
  if (span > static_cast<double>(layer.cells.size())) {
    for (const auto& [key, bucket] : layer.cells) {
      const int64_t cx = KeyX(key), cy = KeyY(key);
      if (cx >= qx0 && cx <= qx1 && cy >= qy0 && cy <= qy1) report(cx, cy, bucket);
    }
  } else {
    for (int64_t cx = qx0; cx <= qx1; ++cx) {
      for (int64_t cy = qy0; cy <= qy1; ++cy) {
        const auto it = layer.cells.find(CellKey(cx, cy));
        if (it != layer.cells.end()) report(cx, cy, it->second);
      }
    }
  }
  for (uint32_t index : layer.large) visit(index);
}

void DrawingModel::QueryRect(uint16_t layer, const Rect& rect,
                             const std::function<void(uint32_t)>& visit) const {
  if (!LayerExists(layer)) return;
  const Layer& l = layers_[layer];
  VisitCandidates(l, rect, [&](uint32_t index) {
    const Record& rec = l.records[index];
    if (Bounds(l, rec).Intersects(rect)) visit(rec.number);
  });
}

void DrawingModel::QueryRect(const Rect& rect,
                             const std::function<void(uint16_t, uint32_t)>& visit) const {
  for (size_t l = 0; l < layers_.size(); ++l) {
    const auto number = static_cast<uint16_t>(l);
    QueryRect(number, rect, [&](uint32_t shape) { visit(number, shape); });
  }
}

std::optional<PickResult> DrawingModel::Pick(double x, double y, double tolerance,
                                             double units_per_pixel) const {
  if (!Finite(x) || !Finite(y) || !(tolerance >= 0)) return std::nullopt;
  if (!(units_per_pixel > 0) || !Finite(units_per_pixel)) units_per_pixel = 0;
  std::optional<PickResult> best;
  for (size_t l = 0; l < layers_.size(); ++l) {
    const Layer& layer = layers_[l];
    if ((layer.action & (kActionVisible | kActionSelectable)) !=
        (kActionVisible | kActionSelectable)) {
      continue;
    }
    // Texts of a fixed screen size are indexed at their anchors.
    const double grow = tolerance + layer.screen_text_reach * units_per_pixel;
    const Rect around{x - grow, y - grow, x + grow, y + grow};
    VisitCandidates(layer, around, [&](uint32_t index) {
      const Record& rec = layer.records[index];
      const double d = Distance(layer, rec, x, y, units_per_pixel);
      if (d > tolerance) return;
      if (!best || d < best->distance || (d == best->distance && rec.number > best->number)) {
        best = PickResult{rec.number, static_cast<uint16_t>(l), d};
      }
    });
  }
  return best;
}

// ---------------------------------------------------------------- direct access

const std::vector<DrawingModel::Record>& DrawingModel::LayerRecords(uint16_t layer) const {
  static const std::vector<Record> kNone;
  return LayerExists(layer) ? layers_[layer].records : kNone;
}

std::optional<Rect> DrawingModel::LayerExtents(uint16_t layer) const {
  return LayerExists(layer) ? layers_[layer].extents : std::nullopt;
}

const std::vector<double>& DrawingModel::RecordBulges(uint16_t layer, const Record& rec) const {
  return layers_[layer].polylines[rec.aux].bulges;
}

double DrawingModel::RecordWorldWidth(uint16_t layer, const Record& rec) const {
  return layers_[layer].polylines[rec.aux].width;
}

double DrawingModel::RecordRotation(uint16_t layer, const Record& rec) const {
  return layers_[layer].texts[rec.aux].rotation;
}

const Rect& DrawingModel::RecordTextBox(uint16_t layer, const Record& rec) const {
  return layers_[layer].texts[rec.aux].box;
}

void DrawingModel::SetTextMeasure(TextMeasure measure) {
  measure_ = std::move(measure);
  for (Layer& layer : layers_) {
    if (layer.texts.empty()) continue;
    layer.screen_text_reach = 0;
    for (const Record& rec : layer.records) {
      if (rec.kind == ShapeKind::kText) {
        Measure(layer, layer.texts[rec.aux], static_cast<int>(rec.d), rec.c);
      }
    }
    // The boxes changed: index the layer again.
    layer.cells.clear();
    layer.large.clear();
    layer.extents.reset();
    for (uint32_t i = 0; i < layer.records.size(); ++i) Index(layer, i);
    layer.stamp = NewStamp();
  }
}

std::optional<Rect> DrawingModel::TextBox(uint32_t number) const {
  const auto loc = Find(number);
  if (!loc) return std::nullopt;
  const Layer& layer = layers_[loc->layer];
  const Record& rec = layer.records[loc->index];
  if (rec.kind != ShapeKind::kText) return std::nullopt;
  return TextWorldBox(layer, rec, 1.0);
}

double DrawingModel::LayerScreenTextReach(uint16_t layer) const {
  return LayerExists(layer) ? layers_[layer].screen_text_reach : 0.0;
}

const std::string& DrawingModel::RecordText(uint16_t layer, const Record& rec) const {
  return layers_[layer].texts[rec.aux].text;
}

int32_t DrawingModel::RecordFont(uint16_t layer, const Record& rec) const {
  return layers_[layer].texts[rec.aux].font;
}

const std::vector<PointXY>& DrawingModel::RecordPoints(uint16_t layer, const Record& rec) const {
  return layers_[layer].polylines[rec.aux].points;
}

bool DrawingModel::RecordClosed(uint16_t layer, const Record& rec) const {
  return layers_[layer].polylines[rec.aux].closed;
}

std::pair<double, double> DrawingModel::RecordArc(uint16_t layer, const Record& rec) const {
  const ArcItem& arc = layers_[layer].arcs[rec.aux];
  return {arc.start, arc.end};
}

Rect DrawingModel::RecordBounds(uint16_t layer, const Record& rec) const {
  return Bounds(layers_[layer], rec);
}

void DrawingModel::CollectInRect(uint16_t layer, const Rect& rect,
                                 std::vector<uint32_t>& out) const {
  out.clear();
  if (!LayerExists(layer)) return;
  const Layer& l = layers_[layer];
  VisitCandidates(l, rect, [&](uint32_t index) {
    if (Bounds(l, l.records[index]).Intersects(rect)) out.push_back(index);
  });
  std::sort(out.begin(), out.end());
}

std::optional<PointXY> DrawingModel::Snap(double x, double y, double tolerance) const {
  if (!Finite(x) || !Finite(y) || !(tolerance >= 0)) return std::nullopt;
  std::optional<PointXY> best;
  double best_d = tolerance;
  auto consider = [&](double px, double py) {
    const double d = std::hypot(px - x, py - y);
    if (d <= best_d) {
      best_d = d;
      best = PointXY{px, py};
    }
  };
  const Rect around{x - tolerance, y - tolerance, x + tolerance, y + tolerance};
  for (const Layer& layer : layers_) {
    if ((layer.action & (kActionVisible | kActionSnappable)) !=
        (kActionVisible | kActionSnappable)) {
      continue;
    }
    VisitCandidates(layer, around, [&](uint32_t index) {
      const Record& rec = layer.records[index];
      switch (rec.kind) {
        case ShapeKind::kLine:
          consider(rec.a, rec.b);
          consider(rec.c, rec.d);
          consider((rec.a + rec.c) / 2, (rec.b + rec.d) / 2);
          break;
        case ShapeKind::kPoint:
        case ShapeKind::kText:
        case ShapeKind::kCircle:
          consider(rec.a, rec.b);
          break;
        case ShapeKind::kArc: {
          const ArcItem& arc = layer.arcs[rec.aux];
          consider(rec.a, rec.b);
          const PointXY p = ArcPoint(rec.a, rec.b, rec.c, arc.start);
          const PointXY q = ArcPoint(rec.a, rec.b, rec.c, arc.start + Sweep(arc.start, arc.end));
          consider(p.x, p.y);
          consider(q.x, q.y);
          break;
        }
        case ShapeKind::kPolyline:
          for (const PointXY& p : layer.polylines[rec.aux].points) consider(p.x, p.y);
          break;
      }
    });
  }
  return best;
}

}  // namespace halvex::mapcontrol
