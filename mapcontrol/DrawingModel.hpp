// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace halvex::mapcontrol {

// The chart's drawing in world units (grid metres, x east, y north). It knows
// nothing of screens: the chart widget asks it what lies in its window and
// which shape is under the mouse.
//
// Layers are numbered 0, 1, 2, ... in the order they were opened and are
// never removed except by CadClearAll. The number kNoLayer stands for "no such
// layer": every drawing call on it does nothing and returns 0, and every read
// gives the default, so callers may use the result of LayerFindByName without
// checking it.
//
// Shapes are numbered from 1, across the whole drawing, in the order they are
// drawn; numbers are never reused, not even after a clear. 0 means "no shape".
// Coordinates must be finite; a drawing call with NaN or infinity draws
// nothing and returns 0.

inline constexpr uint16_t kNoLayer = 0xFFFF;

// Layer action bits. 1 alone: the layer is drawn and nothing else; 15: drawn,
// picked by the mouse, editable and offering snap points.
inline constexpr uint32_t kActionVisible = 1;
inline constexpr uint32_t kActionSelectable = 2;
inline constexpr uint32_t kActionEditable = 4;
inline constexpr uint32_t kActionSnappable = 8;
inline constexpr uint32_t kActionAll = 15;

// Style a new layer starts with (and reads of kNoLayer give).
inline constexpr int kDefaultPenColor = 0x000000;  // black
inline constexpr int kDefaultPenWidth = 1;
inline constexpr int kDefaultBrushColor = 0xFFFFFF;  // white
// How a layer fills its closed shapes (closed polylines, circles).
enum class BrushStyle : uint8_t {
  kNone = 0,  // outlines only (a new layer's)
  kSolid,
  kHorizontal,  // hatches of thin lines
  kVertical,
  kForwardDiagonal,  // rising to the right
  kBackwardDiagonal,
  kCross,
  kDiagonalCross,
};
inline constexpr uint8_t kBrushStyleMax = static_cast<uint8_t>(BrushStyle::kDiagonalCross);
// The shape's colour when it has none of its own: the layer's pen colour.
inline constexpr int kLayerColor = -1;
inline constexpr uint32_t kDefaultAction = kActionAll;

// Text placement (the justify of TextAdd, the chart's CadFontJustify): the
// anchor is at the text's left, centre or right (justify % 3 = 0, 1, 2) and
// at its baseline, middle or top (justify / 3 = 0, 1, 2). So 0 starts the
// text at the point, 1 centres it above the point, 4 centres it on the point.
// Values outside 0..8 read as 0.
inline constexpr int kJustifyMax = 8;
inline int JustifyHorizontal(int justify) {
  return justify >= 0 && justify <= kJustifyMax ? justify % 3 : 0;
}
inline int JustifyVertical(int justify) {
  return justify >= 0 && justify <= kJustifyMax ? justify / 3 : 0;
}
// Text heights are the height of a capital letter. Text of height 0 is drawn
// with capitals this many pixels high per unit of its font's scale, whatever
// the zoom.
inline constexpr double kScreenTextPixelsPerScale = 6.0;

enum class ShapeKind : uint8_t { kLine = 1, kPoint, kCircle, kText, kPolyline, kArc };

struct PointXY {
  double x = 0;
  double y = 0;
  friend bool operator==(const PointXY&, const PointXY&) = default;
};

// Closed rectangle; min <= max on both axes.
struct Rect {
  double min_x = 0;
  double min_y = 0;
  double max_x = 0;
  double max_y = 0;
  bool Intersects(const Rect& o) const {
    return min_x <= o.max_x && o.min_x <= max_x && min_y <= o.max_y && o.min_y <= max_y;
  }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Font {
  std::string name;
  double scale = 1;
};

// Measures a text for its box: the box that `text` in the font named
// `font_name` covers when its capitals are 1 high, relative to its anchor
// placed as `justify` says, x along the text's baseline and y up. The
// drawing code supplies it (the drawing itself knows no fonts); without one
// a text is taken as 0.6 wide per character, lines 1.6 apart.
using TextMeasure =
    std::function<Rect(std::string_view text, std::string_view font_name, int justify)>;

// Everything about one shape, as a copy. Which fields mean something depends
// on the kind:
//   line      (x1, y1) to (x2, y2)
//   point     (x1, y1)
//   circle    centre (x1, y1), radius r
//   text      anchor (x1, y1), text, font handle, text_height, justify and
//             rotation as TextAdd took them
//   polyline  points, closed, bulges, width
//   arc       centre (x1, y1), radius r, from angle a1 counter-clockwise to a2
//             (degrees from east; equal angles make the full circle)
struct ShapeData {
  uint32_t number = 0;
  uint16_t layer = kNoLayer;
  ShapeKind kind = ShapeKind::kPoint;
  int pen_width = -1;       // -1: the layer's pen width
  int color = kLayerColor;  // 0xBBGGRR, or kLayerColor for the layer's pen colour
  bool selected = false;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0, r = 0, a1 = 0, a2 = 0;
  std::string text;
  int32_t font = 0;
  double text_height = 0;
  int justify = 0;
  double rotation = 0;  // text: degrees counter-clockwise from east
  std::vector<PointXY> points;
  // Polyline: empty when every segment is straight, else one per point: the
  // bulge of the segment from that point to the next (for a closed polyline
  // the last closes it), tan(a / 4) of its arc's angle a, positive
  // counter-clockwise, 0 for a straight segment.
  std::vector<double> bulges;
  bool closed = false;
  // Polyline: pen width in world units, scaling with the zoom; 0 for the
  // pen width in pixels.
  double width = 0;
  friend bool operator==(const ShapeData&, const ShapeData&) = default;
};

// The arc of a polyline segment from `from` to `to` with bulge `bulge`:
// centre, radius, the direction of `from` seen from the centre (degrees from
// east) and the signed sweep to `to` (degrees, positive counter-clockwise).
// nullopt for a straight segment (bulge 0, or both ends at one place).
struct BulgeArc {
  double cx = 0, cy = 0, r = 0, start_deg = 0, sweep_deg = 0;
};
std::optional<BulgeArc> ArcOfBulge(PointXY from, PointXY to, double bulge);
// Bounding box of the segment from `from` to `to` with `bulge`.
Rect BulgeBounds(PointXY from, PointXY to, double bulge);

struct PickResult {
  uint32_t number = 0;
  uint16_t layer = kNoLayer;
  double distance = 0;
};

class ProjectFile;

class DrawingModel {
 public:
  // `cell_size` is the side of the spatial index's square cells in world
  // units; the default suits tracks with fixes metres apart.
  explicit DrawingModel(double cell_size = 64.0);

  // --- Layers ---
  // Number of the layer with exactly this name (case-sensitive), created with
  // the default style when missing. kNoLayer when all numbers are used.
  uint16_t LayerOpen(std::string_view name);
  // Number of the existing layer, or kNoLayer.
  uint16_t LayerFindByName(std::string_view name) const;
  size_t LayerCount() const { return layers_.size(); }
  bool LayerExists(uint16_t layer) const { return layer < layers_.size(); }
  std::string LayerName(uint16_t layer) const;  // "" for no layer

  int LayerPenColor(uint16_t layer) const;  // 0xBBGGRR
  void LayerSetPenColor(uint16_t layer, int color);
  int LayerPenWidth(uint16_t layer) const;  // pixels
  void LayerSetPenWidth(uint16_t layer, int width);
  int LayerBrushColor(uint16_t layer) const;  // 0xBBGGRR
  void LayerSetBrushColor(uint16_t layer, int color);
  BrushStyle LayerBrushStyle(uint16_t layer) const;  // kNone for no layer
  void LayerSetBrushStyle(uint16_t layer, BrushStyle style);
  uint32_t LayerAction(uint16_t layer) const;  // kAction* bits
  void LayerSetAction(uint16_t layer, uint32_t action);
  size_t LayerShapeCount(uint16_t layer) const;
  // Changes other than shapes added at the end of a layer (a clear, a style,
  // a selection, a moved point) give the layer a new stamp, unique across
  // every drawing of the process; a new layer starts with one too. A cache
  // of the drawing is good for a layer while its stamp is the same, and
  // then only the records beyond the count it saw are new.
  uint64_t LayerStamp(uint16_t layer) const;  // 0 for no layer
  size_t LayerTextCount(uint16_t layer) const;

  // --- Fonts ---
  // Handle (from 1) of the font; the same name and scale give the same handle.
  int32_t FontOpen(std::string_view name, double scale);
  std::optional<Font> FontGet(int32_t handle) const;
  size_t FontCount() const { return fonts_.size(); }

  // --- Drawing --- Each returns the new shape's number, 0 when nothing was drawn.
  uint32_t DrawLine(double x1, double y1, double x2, double y2, uint16_t layer);
  uint32_t DrawPoint(double x, double y, uint16_t layer);
  uint32_t DrawCircle(double cx, double cy, double r, uint16_t layer);
  // Text anchored at (x, y). `height` is the height of its capitals in world
  // units, or 0 for text drawn at a fixed size on the screen (the font's
  // scale times kScreenTextPixelsPerScale pixels); `justify` places the
  // anchor (see TextJustify); the text turns about the anchor by
  // `rotation_deg` counter-clockwise.
  uint32_t TextAdd(uint16_t layer, std::string_view text, double x, double y, int32_t font,
                   double height = 0, int justify = 0, double rotation_deg = 0);
  // A polyline needs at least one point.
  uint32_t DrawPolyline(const std::vector<PointXY>& points, bool closed, uint16_t layer);
  // The same with arcs: `bulges` is empty or has one finite value per point
  // (see ShapeData::bulges); `world_width` (world units, finite, not
  // negative) is its pen width, 0 for the layer's or the shape's in pixels.
  uint32_t DrawPolyline(const std::vector<PointXY>& points, const std::vector<double>& bulges,
                        bool closed, uint16_t layer, double world_width = 0);
  uint32_t DrawArc(double cx, double cy, double r, double start_deg, double end_deg,
                   uint16_t layer);
  // A copy of `shape` (its kind, geometry, text, colour and pen width; not
  // its number, layer or selection) as a new shape on `layer`.
  uint32_t DrawShape(const ShapeData& shape, uint16_t layer);

  // --- Shapes ---
  bool ShapeExists(uint32_t number) const;
  std::optional<ShapeKind> ShapeKindOf(uint32_t number) const;
  uint16_t ShapeLayer(uint32_t number) const;  // kNoLayer for no shape
  int ShapePenWidth(uint32_t number) const;    // -1: the layer's (and for no shape)
  bool ShapePenWidth(uint32_t number, int width);
  int ShapeColor(uint32_t number) const;  // kLayerColor for the layer's (and for no shape)
  // 0xBBGGRR, or kLayerColor; false for no shape.
  bool ShapeColor(uint32_t number, int color);
  bool ShapeSelect(uint32_t number);
  bool ShapeDeselect(uint32_t number);
  bool ShapeSelected(uint32_t number) const;
  // Moves point shape `number` to (x, y); false, changing nothing, for any
  // other shape or a non-finite coordinate. The layer's extents grow to the
  // new place but keep the old one until the layer is cleared.
  bool MovePoint(uint32_t number, double x, double y);
  std::optional<ShapeData> GetShape(uint32_t number) const;
  std::optional<Rect> ShapeBounds(uint32_t number) const;
  size_t ShapeCount() const { return shape_count_; }
  // Number the next shape will get.
  uint32_t NextShapeNumber() const { return next_number_; }

  // Visits the layer's shapes in drawing order.
  void ForEachShape(uint16_t layer, const std::function<void(const ShapeData&)>& visit) const;

  // --- Text boxes ---
  // Measures every text from now on, and again those already drawn; an
  // empty function goes back to the estimate.
  void SetTextMeasure(TextMeasure measure);
  const TextMeasure& GetTextMeasure() const { return measure_; }
  // The box of text shape `number` in world units, before its rotation:
  // relative to its anchor, x along its baseline. For text of a fixed
  // screen size, the box at one world unit per pixel.
  std::optional<Rect> TextBox(uint32_t number) const;
  // How far, in pixels, the texts of a fixed screen size on the layer reach
  // from their anchors at most; 0 when it has none.
  double LayerScreenTextReach(uint16_t layer) const;

  // --- Clearing ---
  // Removes the shapes of one layer, or of every layer for -1; an unknown
  // layer is left alone. Layers and their style stay.
  void CadClearShapes(int32_t layer);
  // Removes every layer and shape. Fonts stay so that handles held by the
  // program remain good; shape numbers keep counting.
  void CadClearAll();

  // --- Queries ---
  // Bounding box of every shape of every layer; nullopt for an empty drawing.
  std::optional<Rect> Extents() const;
  // Visits (layer, number) of every shape whose bounding box meets `rect`, each
  // once, layer by layer; in no particular order within a layer.
  void QueryRect(const Rect& rect, const std::function<void(uint16_t, uint32_t)>& visit) const;
  void QueryRect(uint16_t layer, const Rect& rect,
                 const std::function<void(uint32_t)>& visit) const;
  // The shape nearest to (x, y) on a visible and selectable layer whose
  // geometry lies within `tolerance`; on equal distance the later shape. A
  // text counts anywhere on its box; texts of a fixed screen size have a
  // box in world units only for a view of `units_per_pixel`, and without
  // one (0) only their anchor.
  std::optional<PickResult> Pick(double x, double y, double tolerance,
                                 double units_per_pixel = 0) const;
  // The snap point nearest to (x, y) within `tolerance` on a visible layer
  // with kActionSnappable: a point, the ends and middle of a line, the
  // vertices of a polyline, the centre of a circle, the centre and ends of
  // an arc, the anchor of a text. nullopt when there is none.
  std::optional<PointXY> Snap(double x, double y, double tolerance) const;

  // --- Direct access for drawing code, which reads shapes by the million ---
  // One shape in 48 bytes. Meaning of the fields by kind:
  //   line: a..d = x1, y1, x2, y2;  point: a, b;  circle: a, b = centre, c = r
  //   text: a, b = anchor, c = world height (0: fixed on screen), d = justify,
  //         aux = index into the layer's texts
  //   polyline: a..d = bounding box (arcs included), aux = index into the
  //         layer's polylines
  //   arc: a, b = centre, c = r, aux = index into the layer's arcs
  struct Record {
    double a, b, c, d;
    uint32_t number;
    uint32_t aux;
    int16_t pen;
    ShapeKind kind;
    uint8_t selected;
    int32_t color = kLayerColor;  // 0xBBGGRR or kLayerColor
  };
  static_assert(sizeof(Record) == 48);
  // The layer's shapes in drawing order (empty for no layer).
  const std::vector<Record>& LayerRecords(uint16_t layer) const;
  std::optional<Rect> LayerExtents(uint16_t layer) const;
  // Parts of a record kept beside it; the record must belong to the layer.
  const std::string& RecordText(uint16_t layer, const Record& rec) const;
  int32_t RecordFont(uint16_t layer, const Record& rec) const;
  const std::vector<PointXY>& RecordPoints(uint16_t layer, const Record& rec) const;
  bool RecordClosed(uint16_t layer, const Record& rec) const;
  // Bulges of a polyline record (empty: all straight) and its width in
  // world units (0: in pixels).
  const std::vector<double>& RecordBulges(uint16_t layer, const Record& rec) const;
  double RecordWorldWidth(uint16_t layer, const Record& rec) const;
  // Rotation of a text record, degrees counter-clockwise.
  double RecordRotation(uint16_t layer, const Record& rec) const;
  // Box of a text record in units of its capital height, relative to its
  // anchor, before its rotation.
  const Rect& RecordTextBox(uint16_t layer, const Record& rec) const;
  // Start and end angle of an arc record, degrees.
  std::pair<double, double> RecordArc(uint16_t layer, const Record& rec) const;
  // Indices into LayerRecords of the shapes whose bounding box meets `rect`,
  // ascending (that is, in drawing order), replacing the contents of `out`.
  void CollectInRect(uint16_t layer, const Rect& rect, std::vector<uint32_t>& out) const;
  Rect RecordBounds(uint16_t layer, const Record& rec) const;

 private:
  friend class ProjectFile;

  struct TextItem {
    std::string text;
    int32_t font = 0;
    double rotation = 0;  // degrees
    Rect box;             // see RecordTextBox
  };
  struct PolylineItem {
    std::vector<PointXY> points;
    bool closed = false;
    std::vector<double> bulges;  // empty or one per point
    double width = 0;            // world units
  };
  struct ArcItem {
    double start, end;
  };
  struct Layer {
    std::string name;
    int pen_color = kDefaultPenColor;
    int pen_width = kDefaultPenWidth;
    int brush_color = kDefaultBrushColor;
    BrushStyle brush_style = BrushStyle::kNone;
    uint32_t action = kDefaultAction;
    // Pixels the layer's texts of a fixed screen size reach from their
    // anchors at most.
    double screen_text_reach = 0;
    // Shapes in drawing order, so numbers increase along the vector.
    std::vector<Record> records;
    std::vector<TextItem> texts;
    std::vector<PolylineItem> polylines;
    std::vector<ArcItem> arcs;
    // Spatial index: cell key -> indices into records. Shapes whose box spans
    // many cells go to `large` instead and are checked on every query.
    std::unordered_map<uint64_t, std::vector<uint32_t>> cells;
    std::vector<uint32_t> large;
    std::optional<Rect> extents;
    uint64_t stamp = NewStamp();
  };
  static uint64_t NewStamp();
  void Touch(uint16_t layer);
  struct Location {
    uint16_t layer;
    uint32_t index;
  };

  // The layer exists and a shape number is left (numbers never wrap round;
  // the last one, 0xFFFFFFFF, is never given).
  bool Drawable(uint16_t layer) const { return LayerExists(layer) && next_number_ < 0xFFFFFFFF; }
  uint32_t Add(uint16_t layer, const Record& record, uint32_t number);
  std::optional<Location> Find(uint32_t number) const;
  Record* FindRecord(uint32_t number);
  Rect Bounds(const Layer& layer, const Record& rec) const;
  double Distance(const Layer& layer, const Record& rec, double x, double y,
                  double units_per_pixel) const;
  // The text's box in world units, before its rotation (see TextBox).
  Rect TextWorldBox(const Layer& layer, const Record& rec, double units_per_pixel) const;
  ShapeData ToData(uint16_t layer_number, const Layer& layer, const Record& rec) const;
  int64_t Cell(double v) const;
  template <typename Visit>
  void VisitCandidates(const Layer& layer, const Rect& rect, Visit&& visit) const;
  void ClearLayer(Layer& layer);
  void Index(Layer& layer, uint32_t index);
  void Unindex(Layer& layer, uint32_t index);
  // Fills in the text's box for `justify` and notes how far it reaches.
  void Measure(Layer& layer, TextItem& item, int justify, double height) const;

  TextMeasure measure_;
  double cell_size_;
  std::vector<Layer> layers_;
  std::unordered_map<std::string, uint16_t> layer_by_name_;
  std::vector<Font> fonts_;  // handle = index + 1
  uint32_t next_number_ = 1;
  size_t shape_count_ = 0;
};

}  // namespace halvex::mapcontrol
