// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapcontrol/FlpCad.hpp"

#include <QFont>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <QRectF>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace halvex::mapcontrol {
namespace {

// Colour and extra width of selected shapes.
constexpr int kSelectionColor = 0xFF00FF;  // magenta in 0xBBGGRR
constexpr int kSelectionExtraWidth = 2;
// Half size of the cross that marks a point, in pixels.
constexpr double kPointHalf = 3.0;
// Wheel: one notch (120 eighths of a degree) zooms by this percentage.
constexpr double kWheelPercentage = 0.2;
// Smallest rectangle, in pixels, that the window-zoom tool accepts.
constexpr double kMinWindowPixels = 4.0;
// Limits of the scale so that the view's arithmetic stays finite.
constexpr double kMinUnitsPerPixel = 1e-9;
constexpr double kMaxUnitsPerPixel = 1e9;

int ShiftBits(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons) {
  int shift = 0;
  if (mods & Qt::ShiftModifier) shift |= kShiftShift;
  if (mods & Qt::AltModifier) shift |= kShiftAlt;
  if (mods & Qt::ControlModifier) shift |= kShiftCtrl;
  if (buttons & Qt::LeftButton) shift |= kShiftLeft;
  if (buttons & Qt::RightButton) shift |= kShiftRight;
  if (buttons & Qt::MiddleButton) shift |= kShiftMiddle;
  return shift;
}

int ButtonCode(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return kButtonLeft;
    case Qt::RightButton:
      return kButtonRight;
    case Qt::MiddleButton:
      return kButtonMiddle;
    default:
      return kButtonOther;
  }
}

double ClampScale(double upp) { return std::clamp(upp, kMinUnitsPerPixel, kMaxUnitsPerPixel); }

}  // namespace

QColor BgrToQColor(int bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

TFlpCAD::TFlpCAD(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::WheelFocus);
}

TFlpCAD::~TFlpCAD() = default;

// ---------------------------------------------------------------- drawing

uint16_t TFlpCAD::LayerOpen(std::string_view name) {
  update();
  return model_.LayerOpen(name);
}

uint16_t TFlpCAD::LayerFindByName(std::string_view name) const {
  return model_.LayerFindByName(name);
}

void TFlpCAD::CadClearShapes(int layer) {
  model_.CadClearShapes(layer);
  update();
}

void TFlpCAD::CadClearAll() {
  model_.CadClearAll();
  update();
}

uint32_t TFlpCAD::DrawLine(double x1, double y1, double x2, double y2, uint16_t layer) {
  update();
  return model_.DrawLine(x1, y1, x2, y2, layer);
}

uint32_t TFlpCAD::DrawPoint(double x, double y, uint16_t layer) {
  update();
  return model_.DrawPoint(x, y, layer);
}

uint32_t TFlpCAD::DrawCircle(double cx, double cy, double r, uint16_t layer) {
  update();
  return model_.DrawCircle(cx, cy, r, layer);
}

uint32_t TFlpCAD::DrawPolyline(const std::vector<PointXY>& points, bool closed, uint16_t layer) {
  update();
  return model_.DrawPolyline(points, closed, layer);
}

uint32_t TFlpCAD::DrawArc(double cx, double cy, double r, double start_deg, double end_deg,
                          uint16_t layer) {
  update();
  return model_.DrawArc(cx, cy, r, start_deg, end_deg, layer);
}

int32_t TFlpCAD::FontOpen(std::string_view name, double scale) {
  return model_.FontOpen(name, scale);
}

uint32_t TFlpCAD::TextAdd(uint16_t layer, std::string_view text, double x, double y, int32_t font) {
  update();
  return model_.TextAdd(layer, text, x, y, font);
}

void TFlpCAD::SetLayerPenFg(uint16_t layer, int color) {
  model_.LayerSetPenColor(layer, color);
  update();
}

void TFlpCAD::SetLayerPenWidth(uint16_t layer, int width) {
  model_.LayerSetPenWidth(layer, width);
  update();
}

void TFlpCAD::SetLayerAction(uint16_t layer, uint32_t action) {
  model_.LayerSetAction(layer, action);
  update();
}

int TFlpCAD::ShapePenWidth(uint32_t shape) const { return model_.ShapePenWidth(shape); }

bool TFlpCAD::SetShapePenWidth(uint32_t shape, int width) {
  update();
  return model_.ShapePenWidth(shape, width);
}

bool TFlpCAD::ShapeDeselect(uint32_t shape) {
  update();
  return model_.ShapeDeselect(shape);
}

// ---------------------------------------------------------------- view

double TFlpCAD::HalfWidthPixels() const { return std::max(width(), 1) / 2.0; }
double TFlpCAD::HalfHeightPixels() const { return std::max(height(), 1) / 2.0; }

double TFlpCAD::WorldLeft() const { return center_x_ - HalfWidthPixels() * units_per_pixel_; }
double TFlpCAD::WorldRight() const { return center_x_ + HalfWidthPixels() * units_per_pixel_; }
double TFlpCAD::WorldTop() const { return center_y_ + HalfHeightPixels() * units_per_pixel_; }
double TFlpCAD::WorldBottom() const { return center_y_ - HalfHeightPixels() * units_per_pixel_; }

QPointF TFlpCAD::WorldToScreen(double x, double y) const {
  return {(x - center_x_) / units_per_pixel_ + HalfWidthPixels(),
          (center_y_ - y) / units_per_pixel_ + HalfHeightPixels()};
}

PointXY TFlpCAD::ScreenToWorld(QPointF p) const {
  return {center_x_ + (p.x() - HalfWidthPixels()) * units_per_pixel_,
          center_y_ - (p.y() - HalfHeightPixels()) * units_per_pixel_};
}

void TFlpCAD::WorldPan(double dx, double dy) {
  if (!std::isfinite(dx) || !std::isfinite(dy)) return;
  center_x_ += dx;
  center_y_ += dy;
  update();
}

void TFlpCAD::WorldZoom(int mode, double percentage, double zoom_x, double zoom_y) {
  if (mode != 0 || percentage == 0 || !std::isfinite(percentage) || !std::isfinite(zoom_x) ||
      !std::isfinite(zoom_y)) {
    return;
  }
  const double factor = 1.0 + std::abs(percentage);
  const double upp =
      ClampScale(percentage > 0 ? units_per_pixel_ / factor : units_per_pixel_ * factor);
  const double ratio = upp / units_per_pixel_;
  // The zoom point keeps its offset from the centre in pixels.
  center_x_ = zoom_x + (center_x_ - zoom_x) * ratio;
  center_y_ = zoom_y + (center_y_ - zoom_y) * ratio;
  units_per_pixel_ = upp;
  update();
}

void TFlpCAD::WorldWindow(double left, double top, double right, double bottom) {
  if (!std::isfinite(left) || !std::isfinite(top) || !std::isfinite(right) ||
      !std::isfinite(bottom)) {
    return;
  }
  const double w = std::abs(right - left);
  const double h = std::abs(top - bottom);
  center_x_ = (left + right) / 2;
  center_y_ = (top + bottom) / 2;
  if (w > 0 || h > 0) {
    units_per_pixel_ =
        ClampScale(std::max(w / (2 * HalfWidthPixels()), h / (2 * HalfHeightPixels())));
  }
  update();
}

void TFlpCAD::WorldExtents() {
  const std::optional<Rect> ext = model_.Extents();
  if (!ext) return;
  const double mx = (ext->max_x - ext->min_x) * 0.05;
  const double my = (ext->max_y - ext->min_y) * 0.05;
  WorldWindow(ext->min_x - mx, ext->max_y + my, ext->max_x + mx, ext->min_y - my);
}

// ---------------------------------------------------------------- properties

void TFlpCAD::SetBackColor(int bgr) {
  back_color_ = bgr;
  update();
}

void TFlpCAD::SetViewMouseTool(int tool) {
  mouse_tool_ = tool;
  dragging_ = false;
  update();
}

// ---------------------------------------------------------------- painting

void TFlpCAD::DrawShape(QPainter& painter, const ShapeData& s) const {
  int width = s.pen_width >= 0 ? s.pen_width : model_.LayerPenWidth(s.layer);
  QColor color = BgrToQColor(model_.LayerPenColor(s.layer));
  if (s.selected) {
    color = BgrToQColor(kSelectionColor);
    width += kSelectionExtraWidth;
  }
  QPen pen(color);
  pen.setWidth(std::max(width, 0));
  pen.setCapStyle(Qt::FlatCap);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);

  switch (s.kind) {
    case ShapeKind::kLine:
      painter.drawLine(WorldToScreen(s.x1, s.y1), WorldToScreen(s.x2, s.y2));
      break;
    case ShapeKind::kPoint: {
      const QPointF p = WorldToScreen(s.x1, s.y1);
      painter.drawLine(p - QPointF(kPointHalf, 0), p + QPointF(kPointHalf, 0));
      painter.drawLine(p - QPointF(0, kPointHalf), p + QPointF(0, kPointHalf));
      break;
    }
    case ShapeKind::kCircle: {
      const double rp = s.r / units_per_pixel_;
      painter.drawEllipse(WorldToScreen(s.x1, s.y1), rp, rp);
      break;
    }
    case ShapeKind::kArc: {
      const double rp = s.r / units_per_pixel_;
      const QPointF c = WorldToScreen(s.x1, s.y1);
      double span = std::fmod(s.a2 - s.a1, 360.0);
      if (span <= 0) span += 360.0;
      // Qt's angles run counter-clockwise from east on the screen, which is
      // counter-clockwise in the world too since north is up.
      painter.drawArc(QRectF(c.x() - rp, c.y() - rp, 2 * rp, 2 * rp),
                      static_cast<int>(std::lround(s.a1 * 16)),
                      static_cast<int>(std::lround(span * 16)));
      break;
    }
    case ShapeKind::kPolyline: {
      QPolygonF poly;
      poly.reserve(static_cast<qsizetype>(s.points.size()));
      for (const PointXY& p : s.points) poly.append(WorldToScreen(p.x, p.y));
      if (poly.size() == 1) {
        painter.drawPoint(poly.front());
      } else if (s.closed) {
        painter.drawPolygon(poly);
      } else {
        painter.drawPolyline(poly);
      }
      break;
    }
    case ShapeKind::kText: {
      // The font's scale is the text height in world units.
      const std::optional<Font> font = model_.FontGet(s.font);
      const double height = (font ? font->scale : 1.0) * cad_font_scale_ / units_per_pixel_;
      if (!(height >= 1)) break;  // too small to read
      QFont qfont(font ? QString::fromStdString(font->name) : QString());
      qfont.setPixelSize(static_cast<int>(std::lround(std::min(height, 2000.0))));
      painter.setFont(qfont);
      painter.drawText(WorldToScreen(s.x1, s.y1), QString::fromStdString(s.text));
      break;
    }
  }
}

void TFlpCAD::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), BgrToQColor(back_color_));
  painter.setRenderHint(QPainter::Antialiasing, true);

  // A few pixels beyond the window so that wide pens at the edge are drawn.
  const double margin = 16 * units_per_pixel_;
  const Rect view{WorldLeft() - margin, WorldBottom() - margin, WorldRight() + margin,
                  WorldTop() + margin};
  model_.QueryRect(view, [&](uint16_t layer, uint32_t number) {
    if ((model_.LayerAction(layer) & kActionVisible) == 0) return;
    if (const std::optional<ShapeData> shape = model_.GetShape(number)) {
      DrawShape(painter, *shape);
    }
  });

  if (dragging_ && mouse_tool_ == kToolWindowZoom) {
    QPen pen(Qt::DashLine);
    pen.setColor(BgrToQColor(~back_color_ & 0xFFFFFF));
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(drag_start_, drag_current_).normalized());
  }
}

// ---------------------------------------------------------------- mouse

void TFlpCAD::mousePressEvent(QMouseEvent* event) {
  const QPointF pos = event->position();
  const PointXY w = ScreenToWorld(pos);
  have_down_ = true;
  down_world_ = w;
  emit OnWorldMouseDown(ButtonCode(event->button()),
                        ShiftBits(event->modifiers(), event->buttons()), cad_action_, w.x, w.y);

  if (event->button() != Qt::LeftButton) return;
  switch (mouse_tool_) {
    case kToolSelect: {
      const std::optional<PickResult> hit = model_.Pick(w.x, w.y, kPickPixels * units_per_pixel_);
      if (!hit) break;
      if (model_.ShapeSelected(hit->number)) {
        model_.ShapeDeselect(hit->number);
      } else {
        model_.ShapeSelect(hit->number);
      }
      update();
      const std::optional<ShapeKind> kind = model_.ShapeKindOf(hit->number);
      emit OnShapeNumberSelected(kind ? static_cast<int>(*kind) : 0, static_cast<int>(hit->number));
      break;
    }
    case kToolPan:
    case kToolWindowZoom:
      dragging_ = true;
      drag_start_ = pos;
      drag_current_ = pos;
      drag_world_ = w;
      break;
    default:
      break;
  }
}

void TFlpCAD::mouseMoveEvent(QMouseEvent* event) {
  const QPointF pos = event->position();
  if (dragging_ && mouse_tool_ == kToolPan) {
    // Keep the grabbed world point under the cursor.
    const PointXY now = ScreenToWorld(pos);
    center_x_ += drag_world_.x - now.x;
    center_y_ += drag_world_.y - now.y;
    update();
  } else if (dragging_ && mouse_tool_ == kToolWindowZoom) {
    drag_current_ = pos;
    update();
  }

  const PointXY w = ScreenToWorld(pos);
  double magnitude = 0;
  double angle = 0;
  if (have_down_) {
    const double dx = w.x - down_world_.x;
    const double dy = w.y - down_world_.y;
    magnitude = std::hypot(dx, dy);
    if (magnitude > 0) {
      angle = std::atan2(dx, dy) * 180.0 / std::numbers::pi;
      if (angle < 0) angle += 360.0;
    }
  }
  emit OnWorldMouseMove(ShiftBits(event->modifiers(), event->buttons()), w.x, w.y, magnitude,
                        angle);
}

void TFlpCAD::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !dragging_) return;
  dragging_ = false;
  if (mouse_tool_ == kToolWindowZoom) {
    const QPointF end = event->position();
    if (std::abs(end.x() - drag_start_.x()) >= kMinWindowPixels &&
        std::abs(end.y() - drag_start_.y()) >= kMinWindowPixels) {
      const PointXY a = ScreenToWorld(drag_start_);
      const PointXY b = ScreenToWorld(end);
      WorldWindow(std::min(a.x, b.x), std::max(a.y, b.y), std::max(a.x, b.x), std::min(a.y, b.y));
    }
  }
  update();
}

void TFlpCAD::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y();
  if (steps == 0) return;
  const PointXY w = ScreenToWorld(event->position());
  const double notches = std::abs(steps) / 120.0;
  const double percentage = std::pow(1.0 + kWheelPercentage, notches) - 1.0;
  WorldZoom(0, steps > 0 ? percentage : -percentage, w.x, w.y);
  event->accept();
}

}  // namespace halvex::mapcontrol
