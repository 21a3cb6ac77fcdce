// SPDX-License-Identifier: GPL-3.0-or-later
// Placing what the DXF reader took in the drawing: block expansion, within
// its bounds, and the shapes added layer by layer.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "mapcontrol/DxfEntities.hpp"

namespace halvex::mapcontrol::dxf {
namespace {

constexpr int kMaxInsertDepth = 16;

// A placement of a block's shapes: scale about the block's base point, then
// rotation, then move to the insertion point.
struct Placement {
  double base_x = 0, base_y = 0, sx = 1, sy = 1, angle_deg = 0, x = 0, y = 0;
  PointXY Apply(double px, double py) const {
    const double ux = (px - base_x) * sx;
    const double uy = (py - base_y) * sy;
    const double c = std::cos(angle_deg * kDegree);
    const double s = std::sin(angle_deg * kDegree);
    return {x + c * ux - s * uy, y + s * ux + c * uy};
  }
};

Item Transformed(const Item& in, const Placement& p) {
  Item out = in;
  const PointXY a = p.Apply(in.x1, in.y1);
  out.x1 = a.x;
  out.y1 = a.y;
  switch (in.kind) {
    case ShapeKind::kLine: {
      const PointXY b = p.Apply(in.x2, in.y2);
      out.x2 = b.x;
      out.y2 = b.y;
      break;
    }
    case ShapeKind::kCircle:
    case ShapeKind::kArc:
      out.r = in.r * (std::abs(p.sx) + std::abs(p.sy)) / 2.0;
      if (in.kind == ShapeKind::kArc) {
        double a1 = in.a1;
        double a2 = in.a2;
        if (p.sx < 0 && p.sy < 0) {
          a1 += 180;
          a2 += 180;
        } else if (p.sx < 0) {
          std::tie(a1, a2) = std::pair(180 - in.a2, 180 - in.a1);
        } else if (p.sy < 0) {
          std::tie(a1, a2) = std::pair(-in.a2, -in.a1);
        }
        out.a1 = a1 + p.angle_deg;
        out.a2 = a2 + p.angle_deg;
      }
      break;
    case ShapeKind::kText:
      out.r = in.r * std::abs(p.sy);
      {
        // The text runs where the placement takes its direction.
        const double c = std::cos(in.rotation * kDegree) * p.sx;
        const double s = std::sin(in.rotation * kDegree) * p.sy;
        out.rotation = std::atan2(s, c) / kDegree + p.angle_deg;
      }
      break;
    case ShapeKind::kPolyline:
      for (PointXY& q : out.points) q = p.Apply(q.x, q.y);
      // A mirror turns each arc the other way; widths scale with the block.
      if ((p.sx < 0) != (p.sy < 0)) {
        for (double& b : out.bulges) b = -b;
      }
      out.width = in.width * (std::abs(p.sx) + std::abs(p.sy)) / 2.0;
      break;
    case ShapeKind::kPoint:
      break;
  }
  return out;
}

// The cost of expanding block content, in shapes, roughly in proportion to
// the memory the drawing takes for it: one per shape (a polyline or text one
// more, plus one per 3 vertices or 32 characters), one per INSERT that is not
// expanded, and for an expanded INSERT its instances times the cost of one
// instance, at least 1 even for an empty block. Sums and products saturate
// far above any budget.
constexpr uint64_t kCostCap = uint64_t{1} << 62;
uint64_t CostAdd(uint64_t a, uint64_t b) { return std::min(kCostCap, a + b); }
uint64_t CostMul(uint64_t a, uint64_t b) {
  return a != 0 && b > kCostCap / a ? kCostCap : std::min(kCostCap, a * b);
}
uint64_t ShapeCost(const Item& item) {
  switch (item.kind) {
    case ShapeKind::kPolyline:
      return 2 + item.points.size() / 3;
    case ShapeKind::kText:
      return 2 + item.text.size() / 32;
    default:
      return 1;
  }
}

const Block* FindBlock(const std::unordered_map<std::string, Block>& blocks,
                       const std::string& name) {
  const auto it = blocks.find(name);
  return it == blocks.end() ? nullptr : &it->second;
}

// Numbers the blocks so that two share a number exactly when the expansion of
// each reaches the other: the strongly connected components of the graph of
// INSERTs between blocks (Tarjan's algorithm, without recursion, as chains of
// blocks may be long).
std::unordered_map<const Block*, std::size_t> BlockCycles(
    const std::unordered_map<std::string, Block>& blocks) {
  struct Node {
    std::size_t index = 0;
    std::size_t low = 0;
    bool visited = false;
    bool on_stack = false;
  };
  struct Frame {
    const Block* block;
    std::size_t next_item;
  };
  std::unordered_map<const Block*, Node> nodes;
  std::unordered_map<const Block*, std::size_t> component;
  std::vector<const Block*> stack;
  std::vector<Frame> frames;
  std::size_t counter = 0;
  std::size_t components = 0;
  const auto enter = [&](const Block* block) {
    Node& node = nodes[block];
    node = {counter, counter, true, true};
    ++counter;
    stack.push_back(block);
    frames.push_back({block, 0});
  };
  for (const auto& entry : blocks) {
    if (nodes[&entry.second].visited) continue;
    enter(&entry.second);
    while (!frames.empty()) {
      const Block* block = frames.back().block;
      Node& node = nodes[block];
      if (frames.back().next_item < block->items.size()) {
        const Item& item = block->items[frames.back().next_item++];
        if (item.item != ItemKind::kInsert) continue;
        const Block* target = FindBlock(blocks, item.style);
        if (target == nullptr) continue;
        const Node& next = nodes[target];
        if (!next.visited) {
          enter(target);
        } else if (next.on_stack) {
          node.low = std::min(node.low, next.index);
        }
        continue;
      }
      if (node.low == node.index) {
        const Block* member = nullptr;
        do {
          member = stack.back();
          stack.pop_back();
          nodes[member].on_stack = false;
          component[member] = components;
        } while (member != block);
        ++components;
      }
      const std::size_t low = node.low;
      frames.pop_back();
      if (!frames.empty()) {
        Node& parent = nodes[frames.back().block];
        parent.low = std::min(parent.low, low);
      }
    }
  }
  return component;
}

constexpr const char* kOverExpansionLimit = "INSERT (over the block expansion limit)";

class Builder {
 public:
  Builder(const Entities& reader, DrawingModel& model, DxfLoadReport& report, uint64_t budget)
      : reader_(reader), model_(model), report_(report), budget_left_(budget) {}

  void Build() {
    cycles_ = BlockCycles(reader_.blocks);
    // Shapes of a block on layer "0" take their INSERT's layer, so layer "0"
    // is used exactly when an entity of the ENTITIES section lies on it.
    const bool zero_used = std::any_of(reader_.items.begin(), reader_.items.end(),
                                       [](const Item& item) { return item.layer == "0"; });
    for (const LayerEntry& entry : reader_.layer_table) {
      if (entry.name == "0" && !zero_used) continue;
      const uint16_t layer = model_.LayerOpen(entry.name);
      model_.LayerSetPenColor(layer, AciToBgr(entry.color));
      if (entry.off) model_.LayerSetAction(layer, kDefaultAction & ~kActionVisible);
    }
    for (const Item& item : reader_.items) Emit(item, nullptr, "", 0);
  }

 private:
  static const std::string& LayerOf(const Item& item, const std::string& parent_layer) {
    return (item.layer == "0" || item.layer.empty()) && !parent_layer.empty() ? parent_layer
                                                                              : item.layer;
  }

  // The block that an INSERT at `depth` within `container` (nullptr: the
  // ENTITIES section) expands, or nullptr and the reason it is not expanded.
  // An INSERT within a block of a block whose expansion leads back to it is
  // not expanded, so expansion never runs round in circles.
  std::pair<const Block*, const char*> Resolve(const Item& insert, const Block* container,
                                               int depth) const {
    const Block* block = FindBlock(reader_.blocks, insert.style);
    if (block == nullptr) return {nullptr, "INSERT (undefined block)"};
    if (depth >= kMaxInsertDepth) return {nullptr, "INSERT (nested too deep)"};
    if (container != nullptr && cycles_.at(container) == cycles_.at(block)) {
      return {nullptr, "INSERT (block inserts itself)"};
    }
    return {block, nullptr};
  }

  static uint64_t Instances(const Item& insert) {
    return static_cast<uint64_t>(insert.rows) * static_cast<uint64_t>(insert.cols);
  }

  // The cost of one instance of `block` whose content lies at `depth`.
  uint64_t InstanceCost(const Block* block, int depth) {
    // 0: not known yet (a cost is at least 1).
    uint64_t& cost = costs_[block][static_cast<std::size_t>(depth)];
    if (cost != 0) return cost;
    uint64_t sum = 0;
    for (const Item& item : block->items) {
      if (item.item != ItemKind::kInsert) {
        sum = CostAdd(sum, ShapeCost(item));
        continue;
      }
      const Block* inner = Resolve(item, block, depth).first;
      sum = CostAdd(
          sum, inner == nullptr ? 1 : CostMul(Instances(item), InstanceCost(inner, depth + 1)));
    }
    cost = std::max<uint64_t>(1, sum);
    return cost;
  }

  void Emit(const Item& item, const Block* container, const std::string& parent_layer, int depth) {
    const std::string& layer_name = LayerOf(item, parent_layer);
    if (item.item == ItemKind::kInsert) {
      EmitInsert(item, container, layer_name, depth);
      return;
    }
    const uint16_t layer = model_.LayerOpen(layer_name);
    uint32_t number = 0;
    switch (item.kind) {
      case ShapeKind::kLine:
        number = model_.DrawLine(item.x1, item.y1, item.x2, item.y2, layer);
        break;
      case ShapeKind::kPoint:
        number = model_.DrawPoint(item.x1, item.y1, layer);
        break;
      case ShapeKind::kCircle:
        number = model_.DrawCircle(item.x1, item.y1, item.r, layer);
        break;
      case ShapeKind::kArc:
        number = model_.DrawArc(item.x1, item.y1, item.r, item.a1, item.a2, layer);
        break;
      case ShapeKind::kText: {
        const int32_t font = model_.FontOpen(item.style.empty() ? "STANDARD" : item.style, item.r);
        number = model_.TextAdd(layer, item.text, item.x1, item.y1, font, item.r, item.justify,
                                item.rotation);
        break;
      }
      case ShapeKind::kPolyline:
        number =
            model_.DrawPolyline(item.points, item.bulges, item.closed, layer,
                                std::isfinite(item.width) && item.width > 0 ? item.width : 0.0);
        break;
    }
    if (number != 0 && item.color != kLayerColor) model_.ShapeColor(number, item.color);
    if (number != 0) {
      ++report_.shapes;
    } else {
      ++report_.unsupported["invalid geometry"];
    }
  }

  // Instances of an INSERT of the ENTITIES section are drawn whole while
  // their cost fits in what is left of the budget; the rest are counted. The
  // cost of an instance covers all the INSERTs nested in it, so these need no
  // check of their own.
  void EmitInsert(const Item& insert, const Block* container, const std::string& layer_name,
                  int depth) {
    const auto [block, reason] = Resolve(insert, container, depth);
    if (block == nullptr) {
      ++report_.unsupported[reason];
      return;
    }
    const uint64_t cost = InstanceCost(block, depth + 1);
    const double c = std::cos(insert.angle * kDegree);
    const double s = std::sin(insert.angle * kDegree);
    for (int row = 0; row < insert.rows; ++row) {
      for (int col = 0; col < insert.cols; ++col) {
        if (depth == 0) {
          if (cost > budget_left_) {
            const uint64_t placed =
                static_cast<uint64_t>(row) * static_cast<uint64_t>(insert.cols) +
                static_cast<uint64_t>(col);
            report_.unsupported[kOverExpansionLimit] += Instances(insert) - placed;
            return;
          }
          budget_left_ -= cost;
        }
        const double ox = col * insert.col_spacing;
        const double oy = row * insert.row_spacing;
        const Placement placement{block->base_x,
                                  block->base_y,
                                  insert.sx,
                                  insert.sy,
                                  insert.angle,
                                  insert.x1 + c * ox - s * oy,
                                  insert.y1 + s * ox + c * oy};
        for (const Item& child : block->items) {
          if (child.item == ItemKind::kInsert) {
            Item nested = child;
            const PointXY at = placement.Apply(child.x1, child.y1);
            nested.x1 = at.x;
            nested.y1 = at.y;
            nested.sx = child.sx * insert.sx;
            nested.sy = child.sy * insert.sy;
            nested.angle = child.angle + insert.angle;
            Emit(nested, block, layer_name, depth + 1);
          } else {
            Emit(Transformed(child, placement), block, layer_name, depth + 1);
          }
        }
      }
    }
  }

  const Entities& reader_;
  DrawingModel& model_;
  DxfLoadReport& report_;
  std::unordered_map<const Block*, std::size_t> cycles_;
  std::unordered_map<const Block*, std::array<uint64_t, kMaxInsertDepth + 1>> costs_;
  uint64_t budget_left_;
};

// The arbitrary-axis algorithm: the axes of the object coordinate system of
// the plane with normal n.
struct Axes {
  std::array<double, 3> ax, ay, n;
};

std::array<double, 3> Cross(const std::array<double, 3>& a, const std::array<double, 3>& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

std::array<double, 3> Normalised(const std::array<double, 3>& v) {
  const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  return {v[0] / length, v[1] / length, v[2] / length};
}

Axes OcsAxes(const std::array<double, 3>& normal) {
  constexpr double kNearPole = 1.0 / 64.0;
  const std::array<double, 3> n = Normalised(normal);
  const std::array<double, 3> ax = std::abs(n[0]) < kNearPole && std::abs(n[1]) < kNearPole
                                       ? Normalised(Cross({0, 1, 0}, n))
                                       : Normalised(Cross({0, 0, 1}, n));
  return {ax, Normalised(Cross(n, ax)), n};
}

// The points of a polyline with its bulges (the tangent of a quarter of
// each segment's angle, positive counter-clockwise; the last one closes a
// closed polyline) as straight segments of at most 2 degrees of arc.
std::vector<PointXY> ArcsAsSegments(const std::vector<PointXY>& points,
                                    const std::vector<double>& bulges, bool closed) {
  std::vector<PointXY> out;
  const size_t n = points.size();
  for (size_t i = 0; i < n; ++i) {
    out.push_back(points[i]);
    if (i + 1 == n && !closed) break;
    const PointXY p = points[i];
    const PointXY q = points[(i + 1) % n];
    const double bulge = i < bulges.size() ? bulges[i] : 0.0;
    const double chord = std::hypot(q.x - p.x, q.y - p.y);
    if (bulge == 0 || chord == 0 || !std::isfinite(bulge)) continue;
    const double theta = 4.0 * std::atan(bulge);
    const double d = (chord / 2.0) / std::tan(theta / 2.0);
    const double cx = (p.x + q.x) / 2.0 - (q.y - p.y) / chord * d;
    const double cy = (p.y + q.y) / 2.0 + (q.x - p.x) / chord * d;
    const double radius = std::hypot(p.x - cx, p.y - cy);
    const double start = std::atan2(p.y - cy, p.x - cx);
    const int steps = std::max(1, static_cast<int>(std::ceil(std::abs(theta) / (2.0 * kDegree))));
    for (int k = 1; k < steps; ++k) {
      const double a = start + theta * k / steps;
      out.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a)});
    }
  }
  return out;
}

}  // namespace

bool PlaceFromOcs(Item& item, const Extrusion& extrusion) {
  const std::array<double, 3> normal = {extrusion.x, extrusion.y, extrusion.z};
  const double length =
      std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
  if (!std::isfinite(length) || length == 0) return true;
  if (normal[0] == 0 && normal[1] == 0 && normal[2] > 0) return true;  // the XY plane itself
  const Axes axes = OcsAxes(normal);
  const auto to_world = [&](double x, double y, double z) {
    return PointXY{x * axes.ax[0] + y * axes.ay[0] + z * axes.n[0],
                   x * axes.ax[1] + y * axes.ay[1] + z * axes.n[1]};
  };
  if (item.item == ItemKind::kShape && item.kind == ShapeKind::kPolyline) {
    // Seen at a slant its arcs are ellipses: they go as short segments.
    if (std::hypot(axes.n[0], axes.n[1]) > 1e-12 && !item.bulges.empty()) {
      item.points = ArcsAsSegments(item.points, item.bulges, item.closed);
      item.bulges.clear();
    }
    for (PointXY& p : item.points) p = to_world(p.x, p.y, extrusion.elevation);
    // Seen from below, its arcs turn the other way.
    if (axes.n[2] < 0) {
      for (double& b : item.bulges) b = -b;
    }
    return true;
  }
  if (item.item == ItemKind::kShape &&
      (item.kind == ShapeKind::kLine || item.kind == ShapeKind::kPoint)) {
    return true;  // given in world coordinates
  }
  // A plane parallel to XY: its x axis at angle phi in the XY plane, its
  // y axis 90 degrees on (normal up) or back (normal down, mirrored).
  if (std::hypot(axes.n[0], axes.n[1]) > 1e-12) return false;
  const bool mirrored = axes.n[2] < 0;
  const double phi = std::atan2(axes.ax[1], axes.ax[0]) / kDegree;
  const PointXY at = to_world(item.x1, item.y1, 0);
  item.x1 = at.x;
  item.y1 = at.y;
  if (item.item == ItemKind::kInsert) {
    // Mirroring after the INSERT's rotation: the rotation goes the other
    // way and the block's y axis (and the rows of an array) flip.
    item.angle = mirrored ? phi - item.angle : phi + item.angle;
    if (mirrored) {
      item.sy = -item.sy;
      item.row_spacing = -item.row_spacing;
    }
    return true;
  }
  switch (item.kind) {
    case ShapeKind::kArc:
      if (mirrored) {
        std::tie(item.a1, item.a2) = std::pair(phi - item.a2, phi - item.a1);
      } else {
        item.a1 += phi;
        item.a2 += phi;
      }
      break;
    case ShapeKind::kText:
      // A mirrored text runs the other way from its anchor.
      if (mirrored) {
        const int horizontal = item.justify % 3;
        item.justify += (2 - horizontal) - horizontal;
      }
      // Mirrored, it is read upright, leftwards from its anchor.
      item.rotation = mirrored ? phi - 180 - item.rotation : phi + item.rotation;
      break;
    default:
      break;
  }
  return true;
}

void BuildDrawing(const Entities& entities, DrawingModel& model, DxfLoadReport& report,
                  uint64_t budget) {
  Builder(entities, model, report, budget).Build();
}

}  // namespace halvex::mapcontrol::dxf
