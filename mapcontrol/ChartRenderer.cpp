// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapcontrol/ChartRenderer.hpp"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <QRectF>
#include <QRegion>
#include <QString>
#include <QStringList>
#include <QTransform>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <numbers>
#include <unordered_map>

namespace halvex::mapcontrol {
namespace {

// Pixels beyond the window in which shapes are still looked at, so that
// the parts of wide pens and point crosses that reach into it are drawn; a
// layer whose shapes reach less far is looked at with the margin it needs.
constexpr double kCullMargin = 16.0;
// Clip rectangle of lines given to QPainter: the window and this margin.
constexpr double kClipMargin = 16.0;
// Margin of the pixel masks; at least kPointArm + 1.
constexpr int kMaskMargin = 4;
// Beyond this radius in pixels circles and arcs are drawn as clipped
// chords, since QPainter's rasterizer works in a fixed-point range.
constexpr double kMaxCurvePixels = 1e5;
// Text is drawn from this capital height in pixels up to the larger one.
constexpr double kMinTextPixels = 3.0;
constexpr double kMaxTextPixels = 1e5;
// Most chords of one arc of a polyline.
constexpr double kMaxChords = 100000;
// Colour and extra width of selected shapes.
constexpr int kSelectionColor = 0xFF00FF;  // magenta in 0xBBGGRR
constexpr int kSelectionExtraWidth = 2;

QColor Color(int bgr, ColorScheme scheme) {
  return SchemeColor(QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF), scheme);
}

uint32_t Argb(int bgr, ColorScheme scheme) { return Color(bgr, scheme).rgba() | 0xFF000000u; }

// Window pixel of a screen coordinate already checked to lie in a small
// range around the window.
int PixelOf(double v) { return static_cast<int>(std::floor(v)); }

// Sutherland-Hodgman: the part of `poly` on the inner side of one edge of
// the rectangle.
template <typename Inside, typename Cross>
QPolygonF ClipEdge(const QPolygonF& poly, Inside inside, Cross cross) {
  QPolygonF out;
  if (poly.isEmpty()) return out;
  QPointF prev = poly.back();
  bool prev_in = inside(prev);
  for (const QPointF& p : poly) {
    const bool in = inside(p);
    if (in != prev_in) out.append(cross(prev, p));
    if (in) out.append(p);
    prev = p;
    prev_in = in;
  }
  return out;
}

QPolygonF ClipPolygon(QPolygonF poly, double x0, double y0, double x1, double y1) {
  auto at_x = [](double x) {
    return [x](QPointF a, QPointF b) {
      return QPointF(x, a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x()));
    };
  };
  auto at_y = [](double y) {
    return [y](QPointF a, QPointF b) {
      return QPointF(a.x() + (b.x() - a.x()) * (y - a.y()) / (b.y() - a.y()), y);
    };
  };
  poly = ClipEdge(
      poly, [x0](QPointF p) { return p.x() >= x0; }, at_x(x0));
  poly = ClipEdge(
      poly, [x1](QPointF p) { return p.x() <= x1; }, at_x(x1));
  poly = ClipEdge(
      poly, [y0](QPointF p) { return p.y() >= y0; }, at_y(y0));
  poly = ClipEdge(
      poly, [y1](QPointF p) { return p.y() <= y1; }, at_y(y1));
  return poly;
}

// Appends the chords of the screen arc about (cx, cy) of `rp` pixels from
// `start` sweeping `sweep` (radians, counter-clockwise on the screen,
// signed), without its first point, ending at `end`.
void AppendChords(QPolygonF& out, double cx, double cy, double rp, double start, double sweep,
                  QPointF end) {
  // Chords within a quarter pixel of the curve.
  const double step = std::sqrt(2.0 / std::max(rp, 1e-9));
  const int n = static_cast<int>(std::clamp(std::ceil(std::abs(sweep) / step), 1.0, kMaxChords));
  for (int i = 1; i < n; ++i) {
    const double a = start + sweep * i / n;
    out.append(QPointF(cx + rp * std::cos(a), cy - rp * std::sin(a)));
  }
  out.append(end);
}

// The chords of a bulged segment from `from` to `to` on the screen, without
// its first point; false for a straight one (nothing appended).
bool AppendBulge(QPolygonF& out, const ViewTransform& view, PointXY from, PointXY to,
                 double bulge) {
  const std::optional<BulgeArc> arc = ArcOfBulge(from, to, bulge);
  if (!arc) return false;
  AppendChords(out, view.ScreenX(arc->cx), view.ScreenY(arc->cy), arc->r / view.units_per_pixel,
               arc->start_deg * std::numbers::pi / 180.0, arc->sweep_deg * std::numbers::pi / 180.0,
               QPointF(view.ScreenX(to.x), view.ScreenY(to.y)));
  return true;
}

// The image the painter paints on, when writing opaque pixels into it is
// what drawing an image of them would do: 32-bit pixels, not shared with
// another QImage, no transform, scaling, opacity or blending mode, and a clip
// of at most one rectangle (returned in `clip`, window pixels).
QImage* DirectTarget(QPainter& painter, QSize size, QRect& clip) {
  QPaintDevice* device = painter.device();
  if (device == nullptr || device->devType() != QInternal::Image) return nullptr;
  auto* image = static_cast<QImage*>(device);
  const QImage::Format format = image->format();
  if ((format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied) ||
      !image->isDetached() || image->devicePixelRatio() != 1.0 ||
      !painter.deviceTransform().isIdentity() ||
      painter.compositionMode() != QPainter::CompositionMode_SourceOver ||
      painter.opacity() != 1.0) {
    return nullptr;
  }
  clip = QRect(QPoint(0, 0), size) & image->rect();
  if (painter.hasClipping()) {
    const QRegion region = painter.clipRegion();
    if (region.rectCount() > 1) return nullptr;
    clip &= region.boundingRect();
  }
  return image;
}

QBrush LayerBrush(const DrawingModel& model, uint16_t layer, ColorScheme scheme) {
  const BrushStyle style = model.LayerBrushStyle(layer);
  if (style == BrushStyle::kNone) return QBrush();
  return QBrush(Color(model.LayerBrushColor(layer), scheme), QtBrushStyle(style));
}

}  // namespace

Qt::BrushStyle QtBrushStyle(BrushStyle style) {
  switch (style) {
    case BrushStyle::kNone:
      return Qt::NoBrush;
    case BrushStyle::kSolid:
      return Qt::SolidPattern;
    case BrushStyle::kHorizontal:
      return Qt::HorPattern;
    case BrushStyle::kVertical:
      return Qt::VerPattern;
    case BrushStyle::kForwardDiagonal:
      return Qt::BDiagPattern;  // Qt names the rising line backward
    case BrushStyle::kBackwardDiagonal:
      return Qt::FDiagPattern;
    case BrushStyle::kCross:
      return Qt::CrossPattern;
    case BrushStyle::kDiagonalCross:
      return Qt::DiagCrossPattern;
  }
  return Qt::NoBrush;
}

// ---------------------------------------------------------------- TextSetter

TextSetter::Face TextSetter::FaceOf(std::string_view name) {
  Face face;
  face.font = name.empty()
                  ? QFont()
                  : QFont(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
  face.font.setPixelSize(TextSetter::kReferencePixels);
  const double cap = QFontMetricsF(face.font).capHeight();
  // A font without capitals is taken as 0.7 of its size.
  face.cap = cap > 0 && std::isfinite(cap) ? cap : 0.7 * TextSetter::kReferencePixels;
  return face;
}

std::vector<TextSetter::Line> TextSetter::Layout(const Face& face, const QString& text, int justify,
                                                 Rect& box) {
  const QFontMetricsF metrics(face.font);
  const QStringList lines = text.split(QLatin1Char('\n'));
  const double unit = face.cap;
  const double spacing = metrics.lineSpacing() / unit;
  const double ascent = metrics.ascent() / unit;
  const double descent = metrics.descent() / unit;
  const double block = spacing * static_cast<double>(lines.size() - 1);
  // The first line's baseline, y up: by default the last line's baseline
  // is on the anchor.
  double first = block;
  if (JustifyVertical(justify) == 1) {
    first = block / 2 - (ascent - descent) / 2;
  } else if (JustifyVertical(justify) == 2) {
    first = -ascent;
  }
  std::vector<Line> out;
  out.reserve(static_cast<size_t>(lines.size()));
  box = Rect{0, first - block - descent, 0, first + ascent};
  double y = first;
  for (const QString& line : lines) {
    const double w = metrics.horizontalAdvance(line) / unit;
    const double x = -w * 0.5 * JustifyHorizontal(justify);
    box.min_x = std::min(box.min_x, x);
    box.max_x = std::max(box.max_x, x + w);
    out.push_back(Line{line, x, y});
    y -= spacing;
  }
  return out;
}

TextMeasure TextSetter::Measure() {
  // Faces are looked up by name once; the measure may be called from the
  // thread that loads a project.
  struct Cache {
    std::mutex mutex;
    std::unordered_map<std::string, Face> faces;
  };
  auto cache = std::make_shared<Cache>();
  return [cache](std::string_view text, std::string_view font_name, int justify) {
    std::lock_guard lock(cache->mutex);
    auto it = cache->faces.find(std::string(font_name));
    if (it == cache->faces.end()) {
      it = cache->faces.emplace(std::string(font_name), FaceOf(font_name)).first;
    }
    Rect box;
    Layout(it->second, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), justify,
           box);
    return box;
  };
}

QRectF TextScreenBox(const Rect& box, double anchor_x, double anchor_y, double rotation_deg,
                     double cap_pixels) {
  // The box is y up in capital heights; the window is y down in pixels.
  const QRectF local(box.min_x * cap_pixels, -box.max_y * cap_pixels,
                     (box.max_x - box.min_x) * cap_pixels, (box.max_y - box.min_y) * cap_pixels);
  QTransform place;
  place.translate(anchor_x, anchor_y);
  if (rotation_deg != 0) place.rotate(-rotation_deg);
  return place.mapRect(local);
}

QPointF HatchOrigin(const ViewTransform& view) {
  // Qt's hatches repeat every 8 pixels.
  const auto wrap = [](double v) {
    const double whole = std::round(v);
    return std::isfinite(whole) ? std::fmod(std::fmod(whole, 8.0) + 8.0, 8.0) : 0.0;
  };
  return QPointF(wrap(view.ScreenX(0)), wrap(view.ScreenY(0)));
}

QPolygonF ScreenPolyline(const ViewTransform& view, const std::vector<PointXY>& points,
                         const std::vector<double>& bulges, bool closed) {
  QPolygonF out;
  if (points.empty()) return out;
  out.reserve(static_cast<qsizetype>(points.size()));
  out.append(QPointF(view.ScreenX(points[0].x), view.ScreenY(points[0].y)));
  const size_t segments = closed ? points.size() : points.size() - 1;
  for (size_t i = 0; i < segments; ++i) {
    const PointXY& next = points[(i + 1) % points.size()];
    const double bulge = i < bulges.size() ? bulges[i] : 0.0;
    // A straight closing segment is left to the polygon's own join.
    if (!AppendBulge(out, view, points[i], next, bulge) && i + 1 < points.size()) {
      out.append(QPointF(view.ScreenX(next.x), view.ScreenY(next.y)));
    }
  }
  return out;
}

Rect ViewTransform::World(double margin) const {
  const double hw = (half_width + margin) * units_per_pixel;
  const double hh = (half_height + margin) * units_per_pixel;
  return Rect{center_x - hw, center_y - hh, center_x + hw, center_y + hh};
}

// ---------------------------------------------------------------- PixelMask

void PixelMask::Reset(int width, int height, int margin) {
  if (width == width_ && height == height_ && margin == margin_) {
    Clear();
    return;
  }
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  margin_ = std::max(margin, 0);
  rows_ = height_ + 2 * margin_;
  words_ = (width_ + 2 * margin_ + 63) / 64;
  bits_.assign(static_cast<size_t>(rows_) * static_cast<size_t>(words_), 0);
  Untouch();
}

void PixelMask::Set(int x, int y) {
  const int mx = x + margin_;
  const int my = y + margin_;
  if (SetUntouched(mx, my)) Touch(my, my, mx >> 6, mx >> 6);
}

bool PixelMask::Test(int x, int y) const {
  const int mx = x + margin_;
  const int my = y + margin_;
  if (mx < 0 || my < 0 || mx >= width_ + 2 * margin_ || my >= rows_) return false;
  return (Row(my)[mx >> 6] >> (mx & 63)) & 1;
}

void PixelMask::Line(int x0, int y0, int x1, int y1) {
  // Most segments of a track seen whole are within one pixel.
  if (x0 == x1 && y0 == y1) {
    Set(x0, y0);
    return;
  }
  // In mask pixels; the rows and words touched are noted once, for the
  // line's box within the mask.
  x0 += margin_;
  x1 += margin_;
  y0 += margin_;
  y1 += margin_;
  const int dx = std::abs(x1 - x0);
  const int dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1;
  const int sy = y0 < y1 ? 1 : -1;
  const int x_lo = std::max(std::min(x0, x1), 0);
  const int x_hi = std::min(std::max(x0, x1), width_ + 2 * margin_ - 1);
  const int y_lo = std::max(std::min(y0, y1), 0);
  const int y_hi = std::min(std::max(y0, y1), rows_ - 1);
  bool any = false;
  int err = dx + dy;
  for (;;) {
    any = SetUntouched(x0, y0) || any;
    if (x0 == x1 && y0 == y1) break;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
  if (any) Touch(y_lo, y_hi, x_lo >> 6, x_hi >> 6);
}

void PixelMask::StampCrosses(const PixelMask& centres, int arm) {
  if (centres.Empty() || centres.words_ != words_ || centres.rows_ != rows_) return;
  arm = std::clamp(arm, 0, 63);
  const int first = std::max(centres.min_row_ - arm, 0);
  const int last = std::min(centres.max_row_ + arm, rows_ - 1);
  // Arms of up to 63 pixels reach at most one word either side.
  const int w0 = std::max(centres.min_word_ - (arm > 0 ? 1 : 0), 0);
  const int w1 = std::min(centres.max_word_ + (arm > 0 ? 1 : 0), words_ - 1);
  for (int r = first; r <= last; ++r) {
    uint64_t* dst = Row(r);
    // The vertical arms: centres up to `arm` rows above or below.
    for (int k = -arm; k <= arm; ++k) {
      const int s = r + k;
      if (s < centres.min_row_ || s > centres.max_row_) continue;
      const uint64_t* src = centres.Row(s);
      for (int i = w0; i <= w1; ++i) dst[i] |= src[i];
    }
    // The horizontal arms: centres of this row shifted up to `arm` pixels.
    if (r >= centres.min_row_ && r <= centres.max_row_) {
      const uint64_t* src = centres.Row(r);
      for (int k = 1; k <= arm; ++k) {
        for (int i = w0; i <= w1; ++i) {
          uint64_t right = src[i] << k;  // pixel x + k
          if (i > 0) right |= src[i - 1] >> (64 - k);
          uint64_t left = src[i] >> k;  // pixel x - k
          if (i + 1 < words_) left |= src[i + 1] << (64 - k);
          dst[i] |= right | left;
        }
      }
    }
  }
  Touch(first, last, w0, w1);
}

void PixelMask::Paint(QImage& image, uint32_t argb, QRect& dirty) const {
  Paint(image, argb, dirty, image.rect());
}

void PixelMask::Paint(QImage& image, uint32_t argb, QRect& dirty, const QRect& clip) const {
  const QRect area = clip & image.rect() & QRect(0, 0, width_, height_);
  if (Empty() || area.isEmpty()) return;
  const int first = std::max(min_row_, margin_ + area.top());
  const int last = std::min(max_row_, margin_ + area.bottom());
  const int left = area.left();
  const int width = area.right() + 1;
  int min_x = width;
  int max_x = -1;
  int min_y = -1;
  int max_y = -1;
  for (int r = first; r <= last; ++r) {
    const uint64_t* row = Row(r);
    auto* line = reinterpret_cast<uint32_t*>(image.scanLine(r - margin_));
    bool any = false;
    for (int i = min_word_; i <= max_word_; ++i) {
      uint64_t word = row[i];
      while (word != 0) {
        const int bit = std::countr_zero(word);
        word &= word - 1;
        const int x = i * 64 + bit - margin_;
        if (x < left || x >= width) continue;
        line[x] = argb;
        min_x = std::min(min_x, x);
        max_x = std::max(max_x, x);
        any = true;
      }
    }
    if (any) {
      if (min_y < 0) min_y = r - margin_;
      max_y = r - margin_;
    }
  }
  if (max_x >= 0 && min_y >= 0) dirty |= QRect(QPoint(min_x, min_y), QPoint(max_x, max_y));
}

void PixelMask::Clear() {
  if (Empty()) return;
  const auto row_words = static_cast<size_t>(words_);
  if (min_word_ == 0 && max_word_ == words_ - 1) {
    std::memset(Row(min_row_), 0,
                static_cast<size_t>(max_row_ - min_row_ + 1) * row_words * sizeof(uint64_t));
  } else {
    const auto n = static_cast<size_t>(max_word_ - min_word_ + 1);
    for (int r = min_row_; r <= max_row_; ++r) {
      std::memset(Row(r) + min_word_, 0, n * sizeof(uint64_t));
    }
  }
  Untouch();
}

// ---------------------------------------------------------------- ChartRenderer

bool ChartRenderer::NearWindow(double sx, double sy) const {
  return sx >= near_.min_x && sx <= near_.max_x && sy >= near_.min_y && sy <= near_.max_y;
}

bool ChartRenderer::RasterSegment(double x0, double y0, double x1, double y1) {
  if (std::abs(x1 - x0) > kRasterPixels || std::abs(y1 - y0) > kRasterPixels ||
      !NearWindow(x0, y0) || !NearWindow(x1, y1)) {
    return false;
  }
  lines_.Line(PixelOf(x0), PixelOf(y0), PixelOf(x1), PixelOf(y1));
  return true;
}

// Sets the shape as pixels when it is thin and small enough on the screen;
// false leaves it to QPainter.
bool ChartRenderer::Rasterize(const DrawingModel::Record& rec, int width) {
  if (width > 1) return false;
  switch (rec.kind) {
    case ShapeKind::kPoint: {
      const double sx = view_.ScreenX(rec.a);
      const double sy = view_.ScreenY(rec.b);
      // A cross wholly outside the window draws nothing.
      if (NearWindow(sx, sy)) points_.Set(PixelOf(sx), PixelOf(sy));
      return true;
    }
    case ShapeKind::kLine:
      return RasterSegment(view_.ScreenX(rec.a), view_.ScreenY(rec.b), view_.ScreenX(rec.c),
                           view_.ScreenY(rec.d));
    case ShapeKind::kCircle:
    case ShapeKind::kArc: {
      if (rec.c / view_.units_per_pixel >= 0.5) return false;
      const double sx = view_.ScreenX(rec.a);
      const double sy = view_.ScreenY(rec.b);
      if (NearWindow(sx, sy)) lines_.Set(PixelOf(sx), PixelOf(sy));
      return true;
    }
    case ShapeKind::kPolyline:
    case ShapeKind::kText:
      return false;
  }
  return false;
}

bool ChartRenderer::Clip(double& x0, double& y0, double& x1, double& y1) const {
  // Coordinates beyond the range of doubles on the screen (only for
  // drawings near that range themselves) draw nothing.
  if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) {
    return false;
  }
  // Liang-Barsky against the window grown by the clip margin.
  const double xmin = -kClipMargin;
  const double ymin = -kClipMargin;
  const double xmax = 2 * view_.half_width + kClipMargin;
  const double ymax = 2 * view_.half_height + kClipMargin;
  const double dx = x1 - x0;
  const double dy = y1 - y0;
  double t0 = 0;
  double t1 = 1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 - xmin, xmax - x0, y0 - ymin, ymax - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
  }
  const double sx = x0;
  const double sy = y0;
  if (t0 > 0) {
    x0 = sx + t0 * dx;
    y0 = sy + t0 * dy;
  }
  if (t1 < 1) {
    x1 = sx + t1 * dx;
    y1 = sy + t1 * dy;
  }
  return true;
}

void ChartRenderer::AddClippedLine(double x0, double y0, double x1, double y1) {
  if (Clip(x0, y0, x1, y1)) batch_.append(QLineF(x0, y0, x1, y1));
}

void ChartRenderer::FlushLines(QPainter& painter) {
  if (batch_.isEmpty()) return;
  painter.drawLines(batch_);
  batch_.clear();
}

void ChartRenderer::PaintMask(uint32_t argb) {
  if (direct_ != nullptr) {
    QRect written;
    lines_.Paint(*direct_, argb, written, direct_clip_);
  } else {
    lines_.Paint(overlay_, argb, dirty_);
  }
  lines_.Clear();
}

void ChartRenderer::FlushOverlay(QPainter& painter) {
  if (dirty_.isEmpty()) return;
  painter.drawImage(dirty_.topLeft(), overlay_, dirty_);
  for (int y = dirty_.top(); y <= dirty_.bottom(); ++y) {
    auto* line = reinterpret_cast<uint32_t*>(overlay_.scanLine(y));
    std::memset(line + dirty_.left(), 0, static_cast<size_t>(dirty_.width()) * sizeof(uint32_t));
  }
  dirty_ = QRect();
}

// A circle or arc far larger than the window, as chords short enough to
// stay within a quarter pixel of the curve, clipped.
void ChartRenderer::PaintCurve(QPainter& painter, double cx, double cy, double r, double start_deg,
                               double sweep_deg) {
  const double rp = r / view_.units_per_pixel;
  const double step = std::sqrt(2.0 / rp);
  const double sweep = sweep_deg * std::numbers::pi / 180.0;
  const int n = static_cast<int>(std::clamp(std::ceil(sweep / step), 1.0, 200000.0));
  const double start = start_deg * std::numbers::pi / 180.0;
  double px = view_.ScreenX(cx + r * std::cos(start));
  double py = view_.ScreenY(cy + r * std::sin(start));
  for (int i = 1; i <= n; ++i) {
    const double a = start + sweep * i / n;
    const double qx = view_.ScreenX(cx + r * std::cos(a));
    const double qy = view_.ScreenY(cy + r * std::sin(a));
    AddClippedLine(px, py, qx, qy);
    px = qx;
    py = qy;
  }
  FlushLines(painter);
}

void ChartRenderer::AddSegment(QPainter& painter, double x0, double y0, double x1, double y1,
                               bool thin, bool decimate) {
  if (thin && RasterSegment(x0, y0, x1, y1)) {
    FlushRun(painter);
    return;
  }
  if (!Clip(x0, y0, x1, y1)) {
    FlushRun(painter);
    return;
  }
  const QPointF a(x0, y0);
  const QPointF b(x1, y1);
  const QPointF last = pending_ ? *pending_ : (run_.isEmpty() ? QPointF() : run_.back());
  if (run_.isEmpty() || last != a) {
    FlushRun(painter);
    run_.append(a);
  }
  // Vertices within half a pixel of the last one kept are left out (the
  // newest is kept in reserve for the end of the run), which keeps the
  // drawn line within half a pixel of the polyline.
  const QPointF d = b - run_.back();
  if (decimate && d.x() * d.x() + d.y() * d.y() < 0.25) {
    pending_ = b;
  } else {
    run_.append(b);
    pending_.reset();
  }
}

void ChartRenderer::FlushRun(QPainter& painter) {
  if (pending_) {
    run_.append(*pending_);
    pending_.reset();
  }
  if (run_.size() >= 2) painter.drawPolyline(run_);
  run_.clear();
}

double ChartRenderer::ShapeReach(const DrawingModel& model, uint16_t layer) {
  if (reach_.size() <= layer) reach_.resize(static_cast<size_t>(layer) + 1);
  LayerReach& r = reach_[layer];
  const std::vector<DrawingModel::Record>& recs = model.LayerRecords(layer);
  const uint64_t stamp = model.LayerStamp(layer);
  // Shapes added at the end keep the stamp: only they are looked at then.
  if (r.stamp != stamp || r.count > recs.size()) r = LayerReach{stamp};
  // In locals, so that a layer of a million shapes is one quick pass.
  int widest_pen = r.widest_pen;
  bool points = r.points;
  bool polylines = false;
  for (size_t i = r.count; i < recs.size(); ++i) {
    const DrawingModel::Record& rec = recs[i];
    widest_pen = std::max(widest_pen, static_cast<int>(rec.pen));
    points = points || rec.kind == ShapeKind::kPoint;
    polylines = polylines || rec.kind == ShapeKind::kPolyline;
  }
  if (polylines) {
    for (size_t i = r.count; i < recs.size(); ++i) {
      if (recs[i].kind != ShapeKind::kPolyline) continue;
      r.widest_world = std::max(r.widest_world, model.RecordWorldWidth(layer, recs[i]));
    }
  }
  r.widest_pen = widest_pen;
  r.points = points;
  r.count = recs.size();
  // The widest pen, selected (drawn wider), with a pixel of antialiasing
  // and one for rounding each side; points add their cross's arm.
  const double pen =
      std::max({1.0, static_cast<double>(model.LayerPenWidth(layer)),
                static_cast<double>(r.widest_pen), r.widest_world / view_.units_per_pixel});
  return (pen + kSelectionExtraWidth) / 2 + 2 + (r.points ? kPointArm : 0);
}

double ChartRenderer::PenPixels(const DrawingModel& model, uint16_t layer,
                                const DrawingModel::Record& rec, int layer_width) const {
  if (rec.kind == ShapeKind::kPolyline) {
    const double world = model.RecordWorldWidth(layer, rec);
    if (world > 0) return std::min(world / view_.units_per_pixel, 1e6);
  }
  return std::max(rec.pen >= 0 ? rec.pen : layer_width, 0);
}

void ChartRenderer::SetPen(QPainter& painter, int bgr, double width) {
  QPen pen(Color(bgr, scheme_));
  pen.setWidthF(width);
  pen.setCapStyle(Qt::FlatCap);
  painter.setPen(pen);
  pen_ = pen;
}

void ChartRenderer::FillPolygon(QPainter& painter, const QPolygonF& polygon) {
  const QPolygonF clipped =
      ClipPolygon(polygon, -kClipMargin, -kClipMargin, 2 * view_.half_width + kClipMargin,
                  2 * view_.half_height + kClipMargin);
  if (clipped.size() < 3) return;
  painter.setPen(Qt::NoPen);
  painter.setBrush(fill_);
  painter.drawPolygon(clipped);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(pen_);
}

void ChartRenderer::AddArcSegment(QPainter& painter, PointXY from, PointXY to, double bulge,
                                  bool thin) {
  const double x0 = view_.ScreenX(from.x);
  const double y0 = view_.ScreenY(from.y);
  const double x1 = view_.ScreenX(to.x);
  const double y1 = view_.ScreenY(to.y);
  const std::optional<BulgeArc> arc = ArcOfBulge(from, to, bulge);
  if (!arc) {
    AddSegment(painter, x0, y0, x1, y1, thin);
    return;
  }
  // An arc wholly beyond the window draws nothing.
  const Rect box = BulgeBounds(from, to, bulge);
  const Rect window = view_.World(kClipMargin);
  if (!box.Intersects(window)) {
    FlushRun(painter);
    return;
  }
  QPolygonF chords;
  chords.append(QPointF(x0, y0));
  AppendChords(chords, view_.ScreenX(arc->cx), view_.ScreenY(arc->cy),
               arc->r / view_.units_per_pixel, arc->start_deg * std::numbers::pi / 180.0,
               arc->sweep_deg * std::numbers::pi / 180.0, QPointF(x1, y1));
  for (qsizetype i = 1; i < chords.size(); ++i) {
    AddSegment(painter, chords[i - 1].x(), chords[i - 1].y(), chords[i].x(), chords[i].y(), thin);
  }
}

QPolygonF ChartRenderer::Outline(const DrawingModel& model, uint16_t layer,
                                 const DrawingModel::Record& rec) {
  return ScreenPolyline(view_, model.RecordPoints(layer, rec), model.RecordBulges(layer, rec),
                        true);
}

void ChartRenderer::PaintShape(const DrawingModel& model, uint16_t layer,
                               const DrawingModel::Record& rec, QPainter& painter, bool thin) {
  ++stats_.painted;
  switch (rec.kind) {
    case ShapeKind::kLine:
      AddClippedLine(view_.ScreenX(rec.a), view_.ScreenY(rec.b), view_.ScreenX(rec.c),
                     view_.ScreenY(rec.d));
      return;
    case ShapeKind::kPoint: {
      const double sx = view_.ScreenX(rec.a);
      const double sy = view_.ScreenY(rec.b);
      AddClippedLine(sx - kPointArm, sy, sx + kPointArm, sy);
      AddClippedLine(sx, sy - kPointArm, sx, sy + kPointArm);
      return;
    }
    case ShapeKind::kPolyline: {
      const std::vector<PointXY>& pts = model.RecordPoints(layer, rec);
      const std::vector<double>& bulges = model.RecordBulges(layer, rec);
      if (pts.size() == 1) {
        const double sx = view_.ScreenX(pts[0].x);
        const double sy = view_.ScreenY(pts[0].y);
        AddClippedLine(sx, sy, sx, sy);
        return;
      }
      const bool closed = model.RecordClosed(layer, rec) &&
                          (pts.size() > 2 || (!bulges.empty() && bulges.back() != 0));
      if (closed && fill_.style() != Qt::NoBrush) {
        FlushLines(painter);
        FillPolygon(painter, Outline(model, layer, rec));
      }
      // A long polyline (a coastline, a track kept as one shape) is mostly
      // segments of a pixel or two at small scales.
      // Drawn as connected runs, so that wide pens join at the vertices.
      if (bulges.empty() && !thin) {
        // Vertices within half a pixel of the last one kept are left out,
        // the last always kept, along the whole polyline before it is
        // clipped: the same vertices are drawn whatever part of it lies in
        // the window, and a pan does not change the line's joins.
        vertices_.clear();
        std::optional<QPointF> held;
        const size_t n = pts.size() + (closed ? 1 : 0);
        for (size_t i = 0; i < n; ++i) {
          const PointXY& p = pts[i % pts.size()];
          const QPointF q(view_.ScreenX(p.x), view_.ScreenY(p.y));
          if (!vertices_.empty()) {
            const QPointF d = q - vertices_.back();
            if (d.x() * d.x() + d.y() * d.y() < 0.25) {
              held = q;
              continue;
            }
          }
          vertices_.push_back(q);
          held.reset();
        }
        if (held) vertices_.push_back(*held);
        const size_t segments = vertices_.size() - 1;
        // A closed outline joins at its first vertex as at the others: whole
        // in the window it is drawn as a polygon; cut by the window, its
        // runs start where it is cut, so that its first vertex lies inside
        // one (two runs ending there would each draw a cap, and the caps'
        // overlap would be blended twice).
        size_t first = 1;
        if (closed && segments >= 2) {
          bool cut = false;
          for (size_t i = 1; i <= segments && !cut; ++i) {
            double x0 = vertices_[i - 1].x();
            double y0 = vertices_[i - 1].y();
            double x1 = vertices_[i].x();
            double y1 = vertices_[i].y();
            const bool kept = Clip(x0, y0, x1, y1);
            const bool enters = x0 != vertices_[i - 1].x() || y0 != vertices_[i - 1].y();
            const bool leaves = x1 != vertices_[i].x() || y1 != vertices_[i].y();
            if (!kept || enters || leaves) {
              cut = true;
              // The run starts outside: on this segment when it comes in,
              // else on the next, which starts where this one went out.
              first = kept && enters ? i : i % segments + 1;
            }
          }
          if (!cut) {
            FlushRun(painter);
            const QBrush brush = painter.brush();
            painter.setBrush(Qt::NoBrush);
            painter.drawPolygon(vertices_.data(), static_cast<int>(segments));
            painter.setBrush(brush);
            return;
          }
        }
        for (size_t k = 0; k < segments; ++k) {
          const size_t i = (first - 1 + k) % segments + 1;
          AddSegment(painter, vertices_[i - 1].x(), vertices_[i - 1].y(), vertices_[i].x(),
                     vertices_[i].y(), false, false);
        }
      } else if (bulges.empty()) {
        for (size_t i = 1; i < pts.size(); ++i) {
          AddSegment(painter, view_.ScreenX(pts[i - 1].x), view_.ScreenY(pts[i - 1].y),
                     view_.ScreenX(pts[i].x), view_.ScreenY(pts[i].y), thin);
        }
        if (closed) {
          AddSegment(painter, view_.ScreenX(pts.back().x), view_.ScreenY(pts.back().y),
                     view_.ScreenX(pts[0].x), view_.ScreenY(pts[0].y), thin);
        }
      } else {
        for (size_t i = 1; i < pts.size(); ++i) {
          AddArcSegment(painter, pts[i - 1], pts[i], bulges[i - 1], thin);
        }
        if (closed) AddArcSegment(painter, pts.back(), pts[0], bulges.back(), thin);
      }
      FlushRun(painter);
      return;
    }
    case ShapeKind::kCircle:
    case ShapeKind::kArc: {
      double start = 0;
      double sweep = 360;
      if (rec.kind == ShapeKind::kArc) {
        const auto [a1, a2] = model.RecordArc(layer, rec);
        start = a1;
        sweep = std::fmod(a2 - a1, 360.0);
        if (sweep <= 0) sweep += 360.0;
      }
      const double rp = rec.c / view_.units_per_pixel;
      const bool filled = rec.kind == ShapeKind::kCircle && fill_.style() != Qt::NoBrush;
      if (rp > kMaxCurvePixels) {
        FlushLines(painter);
        if (filled) {
          const double cx = view_.ScreenX(rec.a);
          const double cy = view_.ScreenY(rec.b);
          QPolygonF ring;
          ring.append(QPointF(cx + rp, cy));
          AppendChords(ring, cx, cy, rp, 0, 2 * std::numbers::pi, QPointF(cx + rp, cy));
          FillPolygon(painter, ring);
        }
        PaintCurve(painter, rec.a, rec.b, rec.c, start, sweep);
        return;
      }
      const QPointF c(view_.ScreenX(rec.a), view_.ScreenY(rec.b));
      // A circle whose centre lies far outside but whose rim crosses the
      // window is still within the fixed-point range here.
      if (rec.kind == ShapeKind::kCircle) {
        if (filled) painter.setBrush(fill_);
        painter.drawEllipse(c, rp, rp);
        if (filled) painter.setBrush(Qt::NoBrush);
      } else {
        // Qt's angles run counter-clockwise from east on the screen, which
        // is counter-clockwise in the world too since north is up.
        painter.drawArc(QRectF(c.x() - rp, c.y() - rp, 2 * rp, 2 * rp),
                        static_cast<int>(std::lround(start * 16)),
                        static_cast<int>(std::lround(sweep * 16)));
      }
      return;
    }
    case ShapeKind::kText:
      PaintText(model, layer, rec, painter);
      return;
  }
}

void ChartRenderer::PaintText(const DrawingModel& model, uint16_t layer,
                              const DrawingModel::Record& rec, QPainter& painter) {
  const std::string& text = model.RecordText(layer, rec);
  if (text.empty()) return;
  const std::optional<Font> font = model.FontGet(model.RecordFont(layer, rec));
  const double scale = font ? font->scale : 1.0;
  const double pixels =
      rec.c > 0 ? rec.c / view_.units_per_pixel : scale * kScreenTextPixelsPerScale;
  if (!(pixels >= kMinTextPixels) || pixels > kMaxTextPixels) return;
  const std::string name = font ? font->name : std::string();
  auto it = std::find_if(faces_.begin(), faces_.end(),
                         [&](const auto& entry) { return entry.first == name; });
  if (it == faces_.end()) {
    faces_.emplace_back(name, TextSetter::FaceOf(name));
    it = faces_.end() - 1;
  }
  const TextSetter::Face& face = it->second;
  const double ax = view_.ScreenX(rec.a);
  const double ay = view_.ScreenY(rec.b);
  const double rotation = model.RecordRotation(layer, rec);
  Rect box;
  const std::vector<TextSetter::Line> lines =
      TextSetter::Layout(face, QString::fromStdString(text), static_cast<int>(rec.d), box);
  if (texts_ != nullptr) {
    // Placed by the window box of the box measured in the face it is drawn
    // in, turned (the drawing's own box may come from another measure or
    // the estimate, and the placement must cover every pixel drawn).
    const QRectF screen = TextScreenBox(box, ax, ay, rotation, pixels);
    if (!texts_->Place(layer, screen, overview_)) return;
    if (!screen.intersects(QRectF(region_).adjusted(-1, -1, 1, 1))) return;
  }
  FlushLines(painter);
  const QTransform saved = painter.transform();
  painter.translate(ax, ay);
  // Counter-clockwise in the world is clockwise in Qt's screen angles.
  if (rotation != 0) painter.rotate(-rotation);
  const double k = pixels / face.cap;
  painter.scale(k, k);
  painter.setFont(face.font);
  for (const TextSetter::Line& line : lines) {
    painter.drawText(QPointF(line.x * face.cap, -line.y * face.cap), line.text);
  }
  painter.setTransform(saved);
}

void ChartRenderer::Paint(const DrawingModel& model, const ViewTransform& view, QPainter& painter,
                          QSize size) {
  Paint(model, view, painter, size, QRect(QPoint(0, 0), size));
}

void ChartRenderer::Paint(const DrawingModel& model, const ViewTransform& view, QPainter& painter,
                          QSize size, const QRect& region) {
  view_ = view;
  region_ = region;
  size_ = size;
  // Ends further out than this go through the clipping path.
  near_ = Rect{-kRasterPixels - kMaskMargin, -kRasterPixels - kMaskMargin,
               2 * view.half_width + kRasterPixels + kMaskMargin,
               2 * view.half_height + kRasterPixels + kMaskMargin};
  stats_ = Stats{};
  // Pixels of the masks go straight into the picture where they can, else
  // through an image of them drawn in order with the other shapes.
  direct_ = DirectTarget(painter, size, direct_clip_);
  if (direct_ == nullptr && overlay_.size() != size) {
    overlay_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
    overlay_.fill(0);
  }
  dirty_ = QRect();
  lines_.Reset(size.width(), size.height(), kMaskMargin);
  points_.Reset(size.width(), size.height(), kMaskMargin);
  batch_.clear();

  const Rect whole_window = view.World(kCullMargin);
  // The region in world units, grown by `margin` pixels.
  const double upp = view.units_per_pixel;
  const bool whole_region = region.contains(QRect(QPoint(0, 0), size));
  const auto region_window = [&](double margin) {
    if (whole_region) return view.World(margin);
    return Rect{view.center_x + (region.left() - view.half_width - margin) * upp,
                view.center_y - (region.bottom() + 1 - view.half_height + margin) * upp,
                view.center_x + (region.right() + 1 - view.half_width + margin) * upp,
                view.center_y - (region.top() - view.half_height - margin) * upp};
  };
  std::vector<std::pair<uint16_t, uint32_t>> selected;
  painter.setBrush(Qt::NoBrush);
  painter.setBrushOrigin(HatchOrigin(view));

  for (size_t l = 0; l < model.LayerCount(); ++l) {
    const auto layer = static_cast<uint16_t>(l);
    if ((model.LayerAction(layer) & kActionVisible) == 0) continue;
    // Layers holding texts are looked at across the whole window (see the
    // header); the others in the region, with the margin their pens need.
    const Rect window = model.LayerTextCount(layer) > 0
                            ? whole_window
                            : region_window(std::min(kCullMargin, ShapeReach(model, layer)));
    const std::vector<DrawingModel::Record>& recs = model.LayerRecords(layer);
    const std::optional<Rect> extents = model.LayerExtents(layer);
    // Texts of a fixed screen size are indexed at their anchors: the
    // window grows by as far as they reach.
    const double reach = model.LayerScreenTextReach(layer);
    const Rect near = reach > kCullMargin ? view.World(reach) : window;
    if (recs.empty() || !extents || !extents->Intersects(near)) continue;
    const bool whole = extents->min_x >= near.min_x && extents->max_x <= near.max_x &&
                       extents->min_y >= near.min_y && extents->max_y <= near.max_y;
    const int layer_width = model.LayerPenWidth(layer);
    const int color = model.LayerPenColor(layer);

    vector_indices_.clear();
    size_t texts = 0;
    auto visit = [&](uint32_t i) {
      const DrawingModel::Record& rec = recs[i];
      ++stats_.visited;
      if (rec.selected != 0) {
        selected.emplace_back(layer, i);
        return;
      }
      if (rec.kind == ShapeKind::kText) ++texts;
      // Shapes of a colour of their own are not set into the layer's pixels.
      if (rec.color == kLayerColor && Rasterize(rec, rec.pen >= 0 ? rec.pen : layer_width)) {
        ++stats_.rasterized;
      } else {
        vector_indices_.push_back(i);
      }
    };
    if (whole) {
      for (uint32_t i = 0; i < recs.size(); ++i) visit(i);
    } else {
      model.CollectInRect(layer, near, indices_);
      for (uint32_t i : indices_) visit(i);
    }

    if (!points_.Empty()) {
      lines_.StampCrosses(points_, kPointArm);
      points_.Clear();
    }
    if (!lines_.Empty()) {
      PaintMask(Argb(color, scheme_));
    }
    if (vector_indices_.empty()) continue;
    overview_ = texts > TextPlacement::kOverviewTexts;

    // This layer's other shapes go above the pixels of it and of the layers
    // before it.
    FlushOverlay(painter);
    fill_ = LayerBrush(model, layer, scheme_);
    double pen_width = -2;
    int pen_color = -2;
    for (uint32_t i : vector_indices_) {
      const DrawingModel::Record& rec = recs[i];
      const double width = PenPixels(model, layer, rec, layer_width);
      const int shape_color = rec.color == kLayerColor ? color : rec.color;
      if (width != pen_width || shape_color != pen_color) {
        FlushLines(painter);
        SetPen(painter, shape_color, width);
        pen_width = width;
        pen_color = shape_color;
      }
      PaintShape(model, layer, rec, painter, width <= 1 && rec.color == kLayerColor);
    }
    FlushLines(painter);
    // Pixels of thin polylines go above this layer's other shapes, and
    // below the next layer's.
    if (!lines_.Empty()) {
      PaintMask(Argb(color, scheme_));
    }
  }
  FlushOverlay(painter);

  overview_ = false;  // selected texts are always drawn
  for (const auto& [layer, index] : selected) {
    const DrawingModel::Record& rec = model.LayerRecords(layer)[index];
    // Filled as its layer, outlined in the selection's colour.
    fill_ = LayerBrush(model, layer, scheme_);
    SetPen(painter, kSelectionColor,
           PenPixels(model, layer, rec, model.LayerPenWidth(layer)) + kSelectionExtraWidth);
    PaintShape(model, layer, rec, painter, false);
    FlushLines(painter);
  }
}

}  // namespace halvex::mapcontrol
