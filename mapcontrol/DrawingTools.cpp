// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapcontrol/DrawingTools.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>
#include <system_error>
#include <utility>

namespace halvex::mapcontrol {
namespace {

// Three points whose triangle is flatter than this (height over longest side)
// count as lying on one line; a polygon likewise (area over squared extent).
constexpr double kFlat = 1e-10;

constexpr double kDegPerRad = 180.0 / std::numbers::pi;

const char kCoordinatePrompt[] = "Easting and northing (E N):";

bool Finite(PointXY p) { return std::isfinite(p.x) && std::isfinite(p.y); }

double Distance(PointXY a, PointXY b) { return std::hypot(b.x - a.x, b.y - a.y); }

bool IsBlank(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
  });
}

// Direction from `c` to `p` in degrees counter-clockwise from east, in [0, 360).
double AngleDeg(PointXY c, PointXY p) {
  double a = std::atan2(p.y - c.y, p.x - c.x) * kDegPerRad;
  if (a < 0) a += 360.0;
  if (a >= 360.0) a -= 360.0;
  return a + 0.0;  // no -0
}

struct Circle {
  PointXY centre;
  double r;
};

// The circle through three points; nullopt when two of them are within
// `tolerance` of each other or the three lie on one line. Worked relative to
// `a` so that large grid coordinates keep their precision.
std::optional<Circle> CircleThrough(PointXY a, PointXY b, PointXY c, double tolerance) {
  if (Distance(a, b) <= tolerance || Distance(b, c) <= tolerance || Distance(a, c) <= tolerance) {
    return std::nullopt;
  }
  const double bx = b.x - a.x, by = b.y - a.y;
  const double cx = c.x - a.x, cy = c.y - a.y;
  const double lb = bx * bx + by * by;
  const double lc = cx * cx + cy * cy;
  const double cross = bx * cy - by * cx;  // twice the triangle's area
  const double longest = std::max({lb, lc, (cx - bx) * (cx - bx) + (cy - by) * (cy - by)});
  if (!(std::abs(cross) > kFlat * longest)) return std::nullopt;
  const double ux = (cy * lb - by * lc) / (2 * cross);
  const double uy = (bx * lc - cx * lb) / (2 * cross);
  const Circle circle{{a.x + ux, a.y + uy}, std::hypot(ux, uy)};
  if (!Finite(circle.centre) || !std::isfinite(circle.r)) return std::nullopt;
  return circle;
}

struct Arc {
  Circle circle;
  double start_deg;
  double end_deg;
};

// The arc from `s` through `m` to `e`, as an arc counter-clockwise from its
// start angle to its end angle (swapping the ends when s, m, e turn clockwise).
std::optional<Arc> ArcThrough(PointXY s, PointXY m, PointXY e, double tolerance) {
  const std::optional<Circle> circle = CircleThrough(s, m, e, tolerance);
  if (!circle) return std::nullopt;
  // Points met counter-clockwise along a circle make a left turn.
  const double turn = (m.x - s.x) * (e.y - s.y) - (m.y - s.y) * (e.x - s.x);
  double a1 = AngleDeg(circle->centre, s);
  double a2 = AngleDeg(circle->centre, e);
  if (turn < 0) std::swap(a1, a2);
  if (a1 == a2) return std::nullopt;  // would read as the full circle
  return Arc{*circle, a1, a2};
}

std::vector<PointXY> RectanglePoints(PointXY a, PointXY b) {
  const double x0 = std::min(a.x, b.x), x1 = std::max(a.x, b.x);
  const double y0 = std::min(a.y, b.y), y1 = std::max(a.y, b.y);
  return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

// A closed ring without area: its vertices all lie on (or within `tolerance`
// of) one line, judged by area against extent.
bool FlatRing(const std::vector<PointXY>& pts, double tolerance) {
  double twice_area = 0;
  double x0 = pts[0].x, x1 = x0, y0 = pts[0].y, y1 = y0;
  for (size_t i = 0; i < pts.size(); ++i) {
    const PointXY p{pts[i].x - pts[0].x, pts[i].y - pts[0].y};
    const PointXY& n = pts[(i + 1) % pts.size()];
    const PointXY q{n.x - pts[0].x, n.y - pts[0].y};
    twice_area += p.x * q.y - q.x * p.y;
    x0 = std::min(x0, pts[i].x);
    x1 = std::max(x1, pts[i].x);
    y0 = std::min(y0, pts[i].y);
    y1 = std::max(y1, pts[i].y);
  }
  const double extent = std::hypot(x1 - x0, y1 - y0);
  return !(std::abs(twice_area) > kFlat * extent * extent + 2 * tolerance * extent);
}

std::string Fixed2(double v) {
  char buf[400];  // room for the largest double in fixed notation
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
  if (ec != std::errc()) return "?";
  return std::string(buf, end);
}

// Reads a number at `pos`: an optional sign, then what from_chars takes.
std::optional<double> ReadNumber(const std::string& text, size_t& pos) {
  size_t start = pos;
  if (start < text.size() && text[start] == '+') {
    ++start;
    if (start < text.size() && text[start] == '-') return std::nullopt;
  }
  double value = 0;
  const char* first = text.data() + start;
  const auto [ptr, ec] = std::from_chars(first, text.data() + text.size(), value);
  if (ec != std::errc() || ptr == first || !std::isfinite(value)) return std::nullopt;
  pos = static_cast<size_t>(ptr - text.data());
  return value;
}

size_t SkipBlanks(const std::string& text, size_t pos) {
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  return pos;
}

ShapeData NewShape(ShapeKind kind, uint16_t layer) {
  ShapeData s;
  s.layer = layer;
  s.kind = kind;
  return s;
}

ShapeData LineShape(PointXY a, PointXY b, uint16_t layer) {
  ShapeData s = NewShape(ShapeKind::kLine, layer);
  s.x1 = a.x;
  s.y1 = a.y;
  s.x2 = b.x;
  s.y2 = b.y;
  return s;
}

ShapeData PolylineShape(std::vector<PointXY> points, bool closed, uint16_t layer) {
  ShapeData s = NewShape(ShapeKind::kPolyline, layer);
  s.points = std::move(points);
  s.closed = closed;
  return s;
}

ShapeData CircleShape(const Circle& c, uint16_t layer) {
  ShapeData s = NewShape(ShapeKind::kCircle, layer);
  s.x1 = c.centre.x;
  s.y1 = c.centre.y;
  s.r = c.r;
  return s;
}

}  // namespace

double TextHeightFor(const DrawingModel& model, int32_t font, double font_scale) {
  if (!(font_scale > 0) || !std::isfinite(font_scale)) return 0;
  const std::optional<Font> f = model.FontGet(font);
  return (f ? f->scale : 1.0) * font_scale;
}

DrawingTools::DrawingTools(DrawingModel& model, uint16_t layer) : model_(model), layer_(layer) {}

bool DrawingTools::IsDrawingTool(int code) {
  switch (code) {
    case kPoint:
    case kLine:
    case kPolyline:
    case kPolygon:
    case kRectangle:
    case kCircleCentre:
    case kCircle3Points:
    case kArc3Points:
    case kText:
    case kMeasure:
    case kPointByCoordinates:
      return true;
    default:
      return false;
  }
}

void DrawingTools::SetTool(int code) {
  Cancel();
  tool_ = IsDrawingTool(code) ? code : kIdle;
}

void DrawingTools::SetClickTolerance(double world) {
  if (std::isfinite(world) && world >= 0) tolerance_ = world;
}

bool DrawingTools::Same(PointXY a, PointXY b) const { return Distance(a, b) <= tolerance_; }

size_t DrawingTools::PointsNeeded() const {
  switch (tool_) {
    case kLine:
    case kRectangle:
    case kCircleCentre:
    case kMeasure:
      return 2;
    case kCircle3Points:
    case kArc3Points:
      return 3;
    case kPolyline:
    case kPolygon:
      return 0;
    default:
      return 1;
  }
}

bool DrawingTools::StartsOnPress() const { return PointsNeeded() == 2; }

// ---------------------------------------------------------------- input

bool DrawingTools::Press(PointXY p, Button button) {
  if (tool_ == kIdle || !Finite(p) || !LayerReady()) return false;
  cursor_ = p;
  switch (button) {
    case Button::kLeft:
      pressed_ = true;
      press_ = p;
      placed_on_press_ = false;
      if (StartsOnPress() && points_.empty()) {
        points_.push_back(p);
        placed_on_press_ = true;
        return true;
      }
      return false;
    case Button::kRight:
      pressed_ = false;
      placed_on_press_ = false;
      if (tool_ == kPolyline || tool_ == kPolygon) return Finish();
      return Cancel();
    case Button::kMiddle:
      break;
  }
  return false;
}

bool DrawingTools::Move(PointXY p) {
  if (tool_ == kIdle || !Finite(p) || !LayerReady()) return false;
  cursor_ = p;
  return !points_.empty();
}

bool DrawingTools::Release(PointXY p, Button button) {
  if (tool_ == kIdle || button != Button::kLeft || !pressed_ || !Finite(p) || !LayerReady()) {
    return false;
  }
  pressed_ = false;
  cursor_ = p;
  const bool click = Same(p, press_);
  if (placed_on_press_) {
    placed_on_press_ = false;
    // A click leaves the first point waiting for the second; a drag ends it.
    return click ? false : Place(p);
  }
  return Place(click ? press_ : p);
}

bool DrawingTools::DoubleClick(PointXY p) {
  if (tool_ == kIdle || !Finite(p) || !LayerReady()) return false;
  cursor_ = p;
  // The first click of the pair placed the point; the release that follows
  // this event is not a click of its own.
  pressed_ = false;
  placed_on_press_ = false;
  if (tool_ == kPolyline || tool_ == kPolygon) return Finish();
  return false;
}

bool DrawingTools::KeyPress(Key key) {
  if (tool_ == kIdle) return false;
  if (key == Key::kEscape) return Cancel();
  if (!LayerReady()) return false;
  switch (key) {
    case Key::kEnter:
      if (tool_ == kPolyline || tool_ == kPolygon) return Finish();
      if (tool_ == kCircle3Points && points_.size() == 2) return FinishDiameterCircle();
      if (tool_ == kPointByCoordinates) return PlaceByCoordinates();
      return false;
    case Key::kBackspace:
      pressed_ = false;
      placed_on_press_ = false;
      return RemoveLast();
    case Key::kEscape:
      break;
  }
  return false;
}

bool DrawingTools::Cancel() {
  pressed_ = false;
  placed_on_press_ = false;
  if (points_.empty()) return false;
  points_.clear();
  return true;
}

bool DrawingTools::RemoveLast() {
  if (points_.empty()) return false;
  points_.pop_back();
  return true;
}

// ---------------------------------------------------------------- drawing

void DrawingTools::Report(uint32_t number) {
  if (number != 0 && created_) created_(number);
}

bool DrawingTools::Place(PointXY p) {
  switch (tool_) {
    case kPoint: {
      const uint32_t n = model_.DrawPoint(p.x, p.y, layer_);
      Report(n);
      return n != 0;
    }
    case kText:
      return PlaceText(p);
    case kPointByCoordinates:
      return PlaceByCoordinates();
    case kPolyline:
    case kPolygon:
      if (!points_.empty() && Same(points_.back(), p)) return false;
      points_.push_back(p);
      return true;
    default:
      break;
  }

  points_.push_back(p);
  if (points_.size() < PointsNeeded()) return true;

  // Complete: settle the state before drawing, since the callback may come
  // back into this object.
  const std::vector<PointXY> pts = std::move(points_);
  points_.clear();
  switch (tool_) {
    case kLine:
      if (!Same(pts[0], pts[1]))
        Report(model_.DrawLine(pts[0].x, pts[0].y, pts[1].x, pts[1].y, layer_));
      break;
    case kRectangle:
      if (std::abs(pts[1].x - pts[0].x) > tolerance_ &&
          std::abs(pts[1].y - pts[0].y) > tolerance_) {
        Report(model_.DrawPolyline(RectanglePoints(pts[0], pts[1]), true, layer_));
      }
      break;
    case kCircleCentre: {
      const double r = Distance(pts[0], pts[1]);
      if (r > tolerance_) Report(model_.DrawCircle(pts[0].x, pts[0].y, r, layer_));
      break;
    }
    case kCircle3Points:
      if (const std::optional<Circle> c = CircleThrough(pts[0], pts[1], pts[2], tolerance_)) {
        Report(model_.DrawCircle(c->centre.x, c->centre.y, c->r, layer_));
      }
      break;
    case kArc3Points:
      if (const std::optional<Arc> a = ArcThrough(pts[0], pts[1], pts[2], tolerance_)) {
        Report(model_.DrawArc(a->circle.centre.x, a->circle.centre.y, a->circle.r, a->start_deg,
                              a->end_deg, layer_));
      }
      break;
    case kMeasure:
      if (!Same(pts[0], pts[1])) {
        const std::string label = MeasureLabel(pts[0], pts[1]);
        const uint32_t line = model_.DrawLine(pts[0].x, pts[0].y, pts[1].x, pts[1].y, layer_);
        if (line == 0) break;
        const uint32_t text =
            AddText(label, {(pts[0].x + pts[1].x) / 2, (pts[0].y + pts[1].y) / 2});
        Report(line);
        Report(text);
        if (measured_) measured_(Distance(pts[0], pts[1]), GridBearing(pts[0], pts[1]));
      }
      break;
    default:
      break;
  }
  return true;
}

bool DrawingTools::Finish() {
  if (tool_ != kPolyline && tool_ != kPolygon) return false;
  pressed_ = false;
  placed_on_press_ = false;
  if (points_.empty()) return false;
  std::vector<PointXY> pts = std::move(points_);
  points_.clear();
  const bool closed = tool_ == kPolygon;
  if (closed) {
    // Clicking the first vertex again closes the ring; the closing side is implied.
    if (pts.size() > 1 && Same(pts.front(), pts.back())) pts.pop_back();
    if (pts.size() < 3 || FlatRing(pts, tolerance_)) return true;
  } else if (pts.size() < 2) {
    return true;
  }
  Report(model_.DrawPolyline(pts, closed, layer_));
  return true;
}

bool DrawingTools::FinishDiameterCircle() {
  const std::vector<PointXY> pts = std::move(points_);
  points_.clear();
  const double d = Distance(pts[0], pts[1]);
  if (d / 2 > tolerance_) {
    Report(model_.DrawCircle((pts[0].x + pts[1].x) / 2, (pts[0].y + pts[1].y) / 2, d / 2, layer_));
  }
  return true;
}

bool DrawingTools::PlaceText(PointXY p) {
  if (!prompt_) return false;
  const std::optional<std::string> text = prompt_("Text:");
  if (!text || IsBlank(*text)) return false;
  const uint32_t n = AddText(*text, p);
  Report(n);
  return n != 0;
}

uint32_t DrawingTools::AddText(const std::string& text, PointXY at) {
  return model_.TextAdd(layer_, text, at.x, at.y, font_, TextHeightFor(model_, font_, font_scale_),
                        justify_);
}

ShapeData DrawingTools::LabelShape(const std::string& text, PointXY at) const {
  ShapeData label = NewShape(ShapeKind::kText, layer_);
  label.x1 = at.x;
  label.y1 = at.y;
  label.text = text;
  label.font = font_;
  label.text_height = TextHeightFor(model_, font_, font_scale_);
  label.justify = justify_;
  return label;
}

bool DrawingTools::PlaceByCoordinates() {
  if (!prompt_) return false;
  std::string prompt = kCoordinatePrompt;
  for (;;) {
    const std::optional<std::string> text = prompt_(prompt);
    if (!text || IsBlank(*text)) return false;
    if (const std::optional<PointXY> p = ParseCoordinates(*text)) {
      const uint32_t n = model_.DrawPoint(p->x, p->y, layer_);
      Report(n);
      return n != 0;
    }
    prompt = "Not an easting and northing: \"" + *text + "\". " + kCoordinatePrompt;
  }
}

// ---------------------------------------------------------------- text

double DrawingTools::GridBearing(PointXY a, PointXY b) {
  double bearing = std::atan2(b.x - a.x, b.y - a.y) * kDegPerRad;  // clockwise from north
  if (bearing < 0) bearing += 360.0;
  if (bearing >= 360.0) bearing = 0;  // a tiny negative angle rounded up
  return bearing + 0.0;               // no -0
}

std::string DrawingTools::MeasureLabel(PointXY a, PointXY b) {
  std::string bearing_text = Fixed2(GridBearing(a, b));
  if (bearing_text == "360.00") bearing_text = "0.00";  // just west of north
  return Fixed2(Distance(a, b)) + " m " + bearing_text + "\xC2\xB0";
}

std::optional<PointXY> DrawingTools::ParseCoordinates(const std::string& text) {
  size_t pos = SkipBlanks(text, 0);
  const std::optional<double> e = ReadNumber(text, pos);
  if (!e) return std::nullopt;
  const size_t after_e = pos;
  pos = SkipBlanks(text, pos);
  if (pos < text.size() && (text[pos] == ',' || text[pos] == ';')) {
    pos = SkipBlanks(text, pos + 1);
  } else if (pos == after_e) {
    return std::nullopt;  // the two numbers run together
  }
  const std::optional<double> n = ReadNumber(text, pos);
  if (!n) return std::nullopt;
  pos = SkipBlanks(text, pos);
  if (pos != text.size()) return std::nullopt;
  return PointXY{*e, *n};
}

// ---------------------------------------------------------------- feedback

std::vector<ShapeData> DrawingTools::Preview() const {
  std::vector<ShapeData> out;
  if (points_.empty() || !LayerReady()) return out;
  const PointXY c = cursor_.value_or(points_.back());
  const PointXY a = points_[0];
  switch (tool_) {
    case kLine:
      out.push_back(LineShape(a, c, layer_));
      break;
    case kMeasure:
      out.push_back(LineShape(a, c, layer_));
      if (!Same(a, c)) {
        out.push_back(LabelShape(MeasureLabel(a, c), {(a.x + c.x) / 2, (a.y + c.y) / 2}));
      }
      break;
    case kRectangle:
      out.push_back(PolylineShape(RectanglePoints(a, c), true, layer_));
      break;
    case kCircleCentre:
      out.push_back(CircleShape(Circle{a, Distance(a, c)}, layer_));
      out.push_back(LineShape(a, c, layer_));
      break;
    case kCircle3Points:
    case kArc3Points: {
      if (points_.size() == 1) {
        out.push_back(LineShape(a, c, layer_));
        break;
      }
      const PointXY b = points_[1];
      if (tool_ == kCircle3Points) {
        if (const std::optional<Circle> circle = CircleThrough(a, b, c, tolerance_)) {
          out.push_back(CircleShape(*circle, layer_));
          break;
        }
      } else if (const std::optional<Arc> arc = ArcThrough(a, b, c, tolerance_)) {
        ShapeData s = CircleShape(arc->circle, layer_);
        s.kind = ShapeKind::kArc;
        s.a1 = arc->start_deg;
        s.a2 = arc->end_deg;
        out.push_back(std::move(s));
        break;
      }
      out.push_back(PolylineShape({a, b, c}, false, layer_));
      break;
    }
    case kPolyline:
    case kPolygon: {
      std::vector<PointXY> pts = points_;
      if (!Same(pts.back(), c)) pts.push_back(c);
      if (pts.size() == 1) {
        ShapeData s = NewShape(ShapeKind::kPoint, layer_);
        s.x1 = a.x;
        s.y1 = a.y;
        out.push_back(std::move(s));
      } else {
        const bool closed = tool_ == kPolygon && pts.size() >= 3;
        out.push_back(PolylineShape(std::move(pts), closed, layer_));
      }
      break;
    }
    default:
      break;
  }
  return out;
}

std::string DrawingTools::Hint() const {
  if (tool_ == kIdle) return "";
  if (!model_.LayerExists(layer_)) return "No layer to draw on: choose a layer first";
  if (!LayerReady()) return "The layer is not editable: choose another layer";
  const size_t n = points_.size();
  switch (tool_) {
    case kPoint:
      return "Click to place a point";
    case kLine:
      return n == 0 ? "Click the start of the line, or drag the line"
                    : "Click the end of the line (Esc cancels)";
    case kPolyline:
    case kPolygon:
      if (n == 0) return "Click the first vertex";
      return "Click the next vertex; double-click, Enter or right click finishes, "
             "Backspace removes the last vertex, Esc cancels";
    case kRectangle:
      return n == 0 ? "Click the first corner, or drag the rectangle"
                    : "Click the opposite corner (Esc cancels)";
    case kCircleCentre:
      return n == 0 ? "Click the centre of the circle"
                    : "Click a point on the circle (Esc cancels)";
    case kCircle3Points:
      if (n == 0) return "Click the first point on the circle";
      if (n == 1) return "Click the second point on the circle (Esc cancels)";
      return "Click the third point on the circle, or press Enter for the circle on these two as "
             "diameter";
    case kArc3Points:
      if (n == 0) return "Click the start of the arc";
      if (n == 1) return "Click a point on the arc (Esc cancels)";
      return "Click the end of the arc (Esc cancels)";
    case kText:
      return "Click where the text starts";
    case kMeasure:
      return n == 0 ? "Click the start of the distance to measure, or drag it"
                    : "Click the end of the distance to measure (Esc cancels)";
    case kPointByCoordinates:
      return "Click or press Enter to type the easting and northing of a point";
    default:
      return "";
  }
}

}  // namespace halvex::mapcontrol
