// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "mapcontrol/DrawingModel.hpp"

namespace halvex::mapcontrol {

// World height of a text in `font` when the chart's CadFontScale is
// `font_scale`: 0 (the text keeps a fixed size on the screen) for a scale
// that is not positive and finite, else the font's scale (1 for font 0 or an
// unknown handle) times `font_scale`.
double TextHeightFor(const DrawingModel& model, int32_t font, double font_scale);

// The chart's drawing tools: what the mouse draws when the chart's mouse tool
// is a positive code. It is a plain state machine: the chart widget turns its
// mouse and key events into world coordinates and calls Press, Move, Release,
// DoubleClick and KeyPress; each answers whether the view needs a repaint.
// While a shape is in progress, Preview gives its rubber band (including the
// segment to the mouse), and Hint a one-line prompt for the status bar.
//
// Tool codes:
//    1  point           click
//    3  line            two clicks, or press at the start, drag, release at the end
//    4  polyline        click the vertices; double-click, Enter or a right click
//                       finishes; Backspace removes the last vertex
//    5  polygon         as the polyline, drawn closed
//    6  rectangle       two opposite corners (click-click or drag), drawn as a
//                       closed polyline of 4 points, counter-clockwise from the
//                       south-west corner
//    8  circle          centre, then a point on the circle (click-click or drag)
//   10  circle          three points on it; or, after two points, Enter draws the
//                       circle that has them as a diameter
//   11  arc             start, a point on the arc, end; stored as an arc from its
//                       first angle counter-clockwise to its second
//   12  text            click the anchor; the text comes from the text prompt
//   17  measure         two points (click-click or drag): a line and, at its
//                       middle, the label "<distance> m <bearing>°": distance in
//                       metres and grid bearing in degrees clockwise from north,
//                       both with 2 decimals; the measured callback is told both
//                       unrounded
//   19  point by        a click or Enter asks the text prompt for "E N" (easting
//       coordinates     and northing, full stop as decimal separator, separated by
//                       blanks, a comma or a semicolon) and places a point there;
//                       a text that is not a pair of numbers is asked again with
//                       the reason, until the user cancels
// Any other code leaves the tools idle.
//
// Common gestures: Escape cancels the shape in progress, Backspace removes its
// last point, a right click finishes a polyline or polygon and cancels any other
// shape in progress. The middle button is ignored. A double click must arrive
// as Qt delivers it: press, release, double click (instead of the second
// press), release; it finishes a polyline or polygon and does nothing else.
//
// A shape that would be degenerate draws nothing and the gesture starts over:
// a line, measure or circle radius no longer than the click tolerance, a
// rectangle with a side no longer than it, three points for a circle or arc
// that coincide or lie on one line, a polyline of fewer than 2 distinct
// vertices, a polygon of fewer than 3 or of no area. Events at non-finite
// coordinates are ignored, and so is every event but Escape while the target
// layer does not exist (kNoLayer included) or lacks the editable action bit:
// nothing is drawn and nothing else in the model changes.
//
// The text and measure labels are drawn in the tools' text style: font
// handle, font scale (as the chart's CadFontScale, see TextHeightFor) and
// justify (as CadFontJustify).
//
// The callbacks may call back into this object (change the tool, for example):
// the state is settled before any of them is called.
class DrawingTools {
 public:
  static constexpr int kIdle = 0;
  static constexpr int kPoint = 1;
  static constexpr int kLine = 3;
  static constexpr int kPolyline = 4;
  static constexpr int kPolygon = 5;
  static constexpr int kRectangle = 6;
  static constexpr int kCircleCentre = 8;
  static constexpr int kCircle3Points = 10;
  static constexpr int kArc3Points = 11;
  static constexpr int kText = 12;
  static constexpr int kMeasure = 17;
  static constexpr int kPointByCoordinates = 19;

  enum class Button { kLeft, kRight, kMiddle };
  enum class Key { kEnter, kEscape, kBackspace };

  // Asks the user for a line of text; nullopt when the user cancels.
  using TextPrompt = std::function<std::optional<std::string>(const std::string& prompt)>;
  // Told the number of each shape drawn, in drawing order.
  using ShapeCreated = std::function<void(uint32_t number)>;
  // Told each measurement: distance in world units, grid bearing in degrees
  // clockwise from grid north in [0, 360).
  using Measured = std::function<void(double distance, double bearing_deg)>;

  // Draws into `model`, which must outlive this object, on `layer`.
  explicit DrawingTools(DrawingModel& model, uint16_t layer = kNoLayer);

  static bool IsDrawingTool(int code);

  // Selects a tool; unknown and non-positive codes make the tools idle. Any
  // shape in progress is cancelled, even when the code does not change.
  void SetTool(int code);
  int Tool() const { return tool_; }

  // The layer shapes are drawn on. A shape in progress stays and goes to the
  // new layer.
  void SetLayer(uint16_t layer) { layer_ = layer; }
  uint16_t Layer() const { return layer_; }

  // Text style of the text and measure labels: font handle (0: the chart's
  // default font), font scale and justify.
  void SetFont(int32_t font) { font_ = font; }
  int32_t FontHandle() const { return font_; }
  void SetFontScale(double scale) { font_scale_ = scale; }
  double FontScale() const { return font_scale_; }
  void SetJustify(int justify) { justify_ = justify; }
  int Justify() const { return justify_; }

  // World distance within which a release counts as a click at its press, and
  // two points as the same point (the widget sets a few pixels' worth after
  // each zoom). Negative and non-finite values are ignored.
  void SetClickTolerance(double world);
  double ClickTolerance() const { return tolerance_; }

  void SetTextPrompt(TextPrompt prompt) { prompt_ = std::move(prompt); }
  void SetShapeCreated(ShapeCreated created) { created_ = std::move(created); }
  void SetMeasured(Measured measured) { measured_ = std::move(measured); }

  // Input in world coordinates; each returns whether the view needs a repaint.
  bool Press(PointXY p, Button button);
  bool Move(PointXY p);
  bool Release(PointXY p, Button button);
  bool DoubleClick(PointXY p);
  bool KeyPress(Key key);

  // Drops the shape in progress; true when there was one.
  bool Cancel();
  bool InProgress() const { return !points_.empty(); }
  // Points placed so far in the shape in progress.
  const std::vector<PointXY>& Points() const { return points_; }

  // Rubber band of the shape in progress, with number 0, on the target layer;
  // empty when nothing is in progress or the layer does not exist.
  std::vector<ShapeData> Preview() const;
  // Prompt for the status bar; empty when idle.
  std::string Hint() const;

  // Label of the measure tool for the line from `a` to `b`.
  static std::string MeasureLabel(PointXY a, PointXY b);
  // Grid bearing from `a` to `b` in degrees clockwise from grid north, in
  // [0, 360); 0 when the points coincide.
  static double GridBearing(PointXY a, PointXY b);
  // Easting and northing of a "E N" text, or nullopt.
  static std::optional<PointXY> ParseCoordinates(const std::string& text);

 private:
  // The target layer exists and allows editing (kActionEditable).
  bool LayerReady() const {
    return model_.LayerExists(layer_) && (model_.LayerAction(layer_) & kActionEditable) != 0;
  }
  bool Same(PointXY a, PointXY b) const;
  // Number of points that complete a shape of the current tool (0: finished
  // by a gesture, as the polyline).
  size_t PointsNeeded() const;
  bool StartsOnPress() const;
  // Places a point of the shape in progress; draws the shape when complete.
  bool Place(PointXY p);
  // Draws the polyline or polygon in progress, if any.
  bool Finish();
  bool FinishDiameterCircle();
  bool PlaceText(PointXY p);
  bool PlaceByCoordinates();
  bool RemoveLast();
  void Report(uint32_t number);
  // Adds a label in the text style.
  uint32_t AddText(const std::string& text, PointXY at);
  ShapeData LabelShape(const std::string& text, PointXY at) const;

  DrawingModel& model_;
  uint16_t layer_;
  int tool_ = kIdle;
  int32_t font_ = 0;
  double font_scale_ = 0;
  int justify_ = 0;
  double tolerance_ = 0;
  TextPrompt prompt_;
  ShapeCreated created_;
  Measured measured_;

  std::vector<PointXY> points_;
  std::optional<PointXY> cursor_;
  // Left button down since `press_`, with the shape's first point placed at
  // the press when `placed_on_press_`.
  bool pressed_ = false;
  bool placed_on_press_ = false;
  PointXY press_;
};

}  // namespace halvex::mapcontrol
