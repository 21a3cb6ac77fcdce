// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapcontrol/FlpCad.hpp"

#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>

#include <QFont>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <QRectF>
#include <QResizeEvent>
#include <QScreen>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "mapcontrol/ProjectFile.hpp"

namespace halvex::mapcontrol {
namespace {

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

static DrawingTools::Button ToolButton(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return DrawingTools::Button::kLeft;
    case Qt::RightButton:
      return DrawingTools::Button::kRight;
    default:
      return DrawingTools::Button::kMiddle;
  }
}

TFlpCAD::TFlpCAD(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::WheelFocus);
  model_.SetTextMeasure(TextSetter::Measure());
  tools_.SetLayer(0);
  tools_.SetTextPrompt([this](const std::string& prompt) -> std::optional<std::string> {
    bool ok = false;
    const QString text =
        QInputDialog::getText(this, QStringLiteral("Chart"), QString::fromStdString(prompt),
                              QLineEdit::Normal, QString(), &ok);
    if (!ok) return std::nullopt;
    return text.toStdString();
  });
  // The saver reports on its worker thread; the signal is sent from this
  // widget's thread.
  saver_ =
      std::make_unique<AsyncProjectSaver>([this](bool ok, std::string path, std::string error) {
        QMetaObject::invokeMethod(
            this,
            [this, ok, path = QString::fromStdString(path), error = QString::fromStdString(error)] {
              emit CadSaveFinished(ok, path, error);
            },
            Qt::QueuedConnection);
      });
  tools_.SetShapeCreated([this](uint32_t number) {
    const std::optional<ShapeKind> kind = model_.ShapeKindOf(number);
    emit OnShapeAdded(kind ? static_cast<int>(*kind) : 0, static_cast<int>(number));
  });
  tools_.SetMeasured([this](double distance, double bearing) { emit measured(distance, bearing); });
  tools_.SetFontScale(cad_font_scale_);
  tools_.SetJustify(cad_font_justify_);
}

void TFlpCAD::SetTextPrompt(DrawingTools::TextPrompt prompt) {
  tools_.SetTextPrompt(std::move(prompt));
}

void TFlpCAD::SetLayerNumber(int layer) {
  // The drawing tools draw on this layer: a number that names no layer would
  // make every tool silently draw nothing, so it is refused and the property
  // keeps its value.
  if (layer < 0 || layer >= kNoLayer || !model_.LayerExists(static_cast<uint16_t>(layer))) {
    qDebug("TFlpCAD: LayerNumber %d refused: the drawing has no such layer (it has %zu)", layer,
           model_.LayerCount());
    return;
  }
  layer_number_ = layer;
  tools_.SetLayer(static_cast<uint16_t>(layer));
}

QSize TFlpCAD::sizeHint() const { return QSize(640, 480); }

QSize TFlpCAD::minimumSizeHint() const { return QSize(160, 120); }

TFlpCAD::~TFlpCAD() = default;

// ---------------------------------------------------------------- drawing

uint16_t TFlpCAD::LayerOpen(std::string_view name) {
  const size_t before = model_.LayerCount();
  const uint16_t layer = model_.LayerOpen(name);
  if (model_.LayerCount() > before) {
    update();
    emit layerAdded(layer);
  }
  return layer;
}

uint16_t TFlpCAD::LayerFindByName(std::string_view name) const {
  return model_.LayerFindByName(name);
}

void TFlpCAD::CadClearShapes(int layer) {
  const bool some = layer == -1 ? model_.ShapeCount() > 0
                                : layer >= 0 && layer < kNoLayer &&
                                      model_.LayerShapeCount(static_cast<uint16_t>(layer)) > 0;
  if (!some) return;
  model_.CadClearShapes(layer);
  update();
  emit layerCleared(layer);
}

void TFlpCAD::CadClearAll() {
  if (model_.LayerCount() == 0 && model_.ShapeCount() == 0) return;
  model_.CadClearAll();
  update();
  emit drawingReplaced();
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
  return model_.TextAdd(layer, text, x, y, font, TextHeightFor(model_, font, cad_font_scale_),
                        cad_font_justify_);
}

// Runs `set` on an existing layer and reports the layer when `get` reads
// something else afterwards.
template <typename Get, typename Set>
void TFlpCAD::ChangeLayerStyle(uint16_t layer, Get get, Set set) {
  if (!model_.LayerExists(layer)) return;
  const auto before = get();
  set();
  if (get() == before) return;
  update();
  emit layerStyleChanged(layer);
}

void TFlpCAD::SetLayerPenFg(uint16_t layer, int color) {
  ChangeLayerStyle(
      layer, [&] { return model_.LayerPenColor(layer); },
      [&] { model_.LayerSetPenColor(layer, color); });
}

void TFlpCAD::SetLayerPenFg(uint16_t layer, const QColor& color) {
  if (color.isValid()) SetLayerPenFg(layer, appkit::BgrFromQColor(color));
}

void TFlpCAD::SetLayerPenWidth(uint16_t layer, int width) {
  ChangeLayerStyle(
      layer, [&] { return model_.LayerPenWidth(layer); },
      [&] { model_.LayerSetPenWidth(layer, width); });
}

void TFlpCAD::SetLayerBrushColor(uint16_t layer, int color) {
  ChangeLayerStyle(
      layer, [&] { return model_.LayerBrushColor(layer); },
      [&] { model_.LayerSetBrushColor(layer, color); });
}

void TFlpCAD::SetLayerBrushColor(uint16_t layer, const QColor& color) {
  if (color.isValid()) SetLayerBrushColor(layer, appkit::BgrFromQColor(color));
}

void TFlpCAD::SetLayerBrushStyle(uint16_t layer, BrushStyle style) {
  ChangeLayerStyle(
      layer, [&] { return model_.LayerBrushStyle(layer); },
      [&] { model_.LayerSetBrushStyle(layer, style); });
}

void TFlpCAD::SetLayerAction(uint16_t layer, uint32_t action) {
  ChangeLayerStyle(
      layer, [&] { return model_.LayerAction(layer); },
      [&] { model_.LayerSetAction(layer, action); });
}

int TFlpCAD::ShapePenWidth(uint32_t shape) const { return model_.ShapePenWidth(shape); }

bool TFlpCAD::SetShapePenWidth(uint32_t shape, int width) {
  update();
  return model_.ShapePenWidth(shape, width);
}

bool TFlpCAD::MovePoint(uint32_t shape, double x, double y) {
  update();
  return model_.MovePoint(shape, x, y);
}

bool TFlpCAD::ShapeSelect(uint32_t shape) {
  if (!model_.ShapeExists(shape)) return false;
  if (!model_.ShapeSelected(shape)) ToggleSelection(shape);
  return true;
}

bool TFlpCAD::ShapeDeselect(uint32_t shape) {
  if (!model_.ShapeExists(shape)) return false;
  if (model_.ShapeSelected(shape)) ToggleSelection(shape);
  return true;
}

void TFlpCAD::ToggleSelection(uint32_t shape) {
  const bool selected = !model_.ShapeSelected(shape);
  if (selected) {
    model_.ShapeSelect(shape);
  } else {
    model_.ShapeDeselect(shape);
  }
  update();
  emit selectionChanged(shape, selected);
}

// ---------------------------------------------------------------- files

bool TFlpCAD::CadSave(const QString& file_name, int layer) {
  const std::string path = file_name.toStdString();
  bool started = false;
  if (layer == -1) {
    started = saver_->Start(model_, path);
  } else if (layer >= 0 && model_.LayerExists(static_cast<uint16_t>(layer))) {
    // A drawing of that layer alone, with its style.
    const auto from = static_cast<uint16_t>(layer);
    DrawingModel one;
    const uint16_t to = one.LayerOpen(model_.LayerName(from));
    one.LayerSetPenColor(to, model_.LayerPenColor(from));
    one.LayerSetPenWidth(to, model_.LayerPenWidth(from));
    one.LayerSetBrushColor(to, model_.LayerBrushColor(from));
    one.LayerSetBrushStyle(to, model_.LayerBrushStyle(from));
    one.LayerSetAction(to, model_.LayerAction(from));
    for (size_t i = 1; i <= model_.FontCount(); ++i) {
      const std::optional<Font> f = model_.FontGet(static_cast<int32_t>(i));
      one.FontOpen(f->name, f->scale);
    }
    model_.ForEachShape(from, [&](const ShapeData& shape) { one.DrawShape(shape, to); });
    started = saver_->Start(one, path);
  } else {
    last_error_ = QStringLiteral("no layer %1").arg(layer);
    return false;
  }
  if (!started) {
    last_error_ = QStringLiteral("not enough memory to copy the drawing for saving");
    return false;
  }
  last_error_.clear();
  return true;
}

void TFlpCAD::WaitForSaves() { saver_->Wait(); }

bool TFlpCAD::SavesPending() const { return saver_->Busy(); }

bool TFlpCAD::CadLoad(const QString& file_name, int layer, int dest_layer, int load_type) {
  // A save still being written may be the very file asked for.
  saver_->Wait();
  std::string error;
  DrawingModel loaded;
  loaded.SetTextMeasure(model_.GetTextMeasure());
  if (!ProjectFile::Load(file_name.toStdString(), loaded, error)) {
    last_error_ = QString::fromStdString(error);
    return false;
  }
  if (load_type == 0 && layer == -1 && dest_layer == -1) {
    model_ = std::move(loaded);
    last_error_.clear();
    update();
    emit drawingReplaced();
    return true;
  }
  if (layer >= 0 && !loaded.LayerExists(static_cast<uint16_t>(layer))) {
    last_error_ = QStringLiteral("the file has no layer %1").arg(layer);
    return false;
  }
  if (dest_layer >= 0 && !model_.LayerExists(static_cast<uint16_t>(dest_layer))) {
    last_error_ = QStringLiteral("the drawing has no layer %1").arg(dest_layer);
    return false;
  }
  if (load_type == 0) CadClearShapes(-1);
  for (size_t l = 0; l < loaded.LayerCount(); ++l) {
    const auto from = static_cast<uint16_t>(l);
    if (layer >= 0 && from != layer) continue;
    const uint16_t to =
        dest_layer >= 0 ? static_cast<uint16_t>(dest_layer) : LayerOpen(loaded.LayerName(from));
    loaded.ForEachShape(from, [&](const ShapeData& shape) {
      ShapeData copy = shape;
      // Font handles are the file's; open the same font here.
      if (copy.kind == ShapeKind::kText) {
        if (const std::optional<Font> f = loaded.FontGet(copy.font)) {
          copy.font = model_.FontOpen(f->name, f->scale);
        }
      }
      model_.DrawShape(copy, to);
    });
  }
  last_error_.clear();
  update();
  return true;
}

bool TFlpCAD::DXFSave(const QString& file_name) {
  std::string error;
  const bool ok = SaveDxf(model_, file_name.toStdString(), error);
  last_error_ = ok ? QString() : QString::fromStdString(error);
  return ok;
}

bool TFlpCAD::DXFLoad(const QString& file_name) {
  std::string error;
  DxfLoadReport report;
  if (!LoadDxf(file_name.toStdString(), model_, report, error)) {
    last_error_ = QString::fromStdString(error);
    return false;
  }
  dxf_report_ = std::move(report);
  last_error_.clear();
  update();
  emit drawingReplaced();
  return true;
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

void TFlpCAD::SetView(double center_x, double center_y, double units_per_pixel) {
  if (center_x == center_x_ && center_y == center_y_ && units_per_pixel == units_per_pixel_) {
    return;
  }
  center_x_ = center_x;
  center_y_ = center_y;
  units_per_pixel_ = units_per_pixel;
  update();
  emit viewChanged();
}

void TFlpCAD::WorldPan(double dx, double dy) {
  if (!std::isfinite(dx) || !std::isfinite(dy)) return;
  SetView(center_x_ + dx, center_y_ + dy, units_per_pixel_);
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
  SetView(zoom_x + (center_x_ - zoom_x) * ratio, zoom_y + (center_y_ - zoom_y) * ratio, upp);
}

void TFlpCAD::WorldWindow(double left, double top, double right, double bottom) {
  if (!std::isfinite(left) || !std::isfinite(top) || !std::isfinite(right) ||
      !std::isfinite(bottom)) {
    return;
  }
  const double w = std::abs(right - left);
  const double h = std::abs(top - bottom);
  double upp = units_per_pixel_;
  if (w > 0 || h > 0) {
    upp = ClampScale(std::max(w / (2 * HalfWidthPixels()), h / (2 * HalfHeightPixels())));
  }
  SetView((left + right) / 2, (top + bottom) / 2, upp);
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

void TFlpCAD::SetBackColor(const QColor& color) {
  if (color.isValid()) SetBackColor(appkit::BgrFromQColor(color));
}

void TFlpCAD::SetCadFontScale(double scale) {
  cad_font_scale_ = scale;
  tools_.SetFontScale(scale);
}

void TFlpCAD::SetCadFontJustify(int justify) {
  cad_font_justify_ = justify;
  tools_.SetJustify(justify);
}

void TFlpCAD::SetCadFont(int font) {
  if (font != 0 && !model_.FontGet(font)) {
    qDebug("TFlpCAD: CadFont %d refused: the drawing has no such font (it has %zu)", font,
           model_.FontCount());
    return;
  }
  tools_.SetFont(font);
}

void TFlpCAD::SetViewMouseTool(int tool) {
  mouse_tool_ = tool;
  dragging_ = false;
  tools_.SetTool(tool > 0 ? tool : DrawingTools::kIdle);
  update();
}

// ---------------------------------------------------------------- furniture

void TFlpCAD::SetShowScaleBar(bool on) {
  furniture_.scale_bar = on;
  update();
}
void TFlpCAD::SetShowNorthArrow(bool on) {
  furniture_.north_arrow = on;
  update();
}
void TFlpCAD::SetShowCursorReadout(bool on) {
  furniture_.readout = on;
  update();
}
void TFlpCAD::SetShowGrid(bool on) {
  furniture_.grid = on;
  update();
}
void TFlpCAD::SetDeclutterTexts(bool on) {
  declutter_ = on;
  update();
}
void TFlpCAD::SetColorScheme(int code) {
  furniture_.scheme = ColorSchemeFromInt(code);
  update();
}
void TFlpCAD::SetAllFurniture(bool on) {
  furniture_.scale_bar = furniture_.north_arrow = furniture_.readout = furniture_.grid = on;
  declutter_ = on;
  update();
}

void TFlpCAD::RepaintAll() {
  cache_.Invalidate();
  update();
}

double TFlpCAD::DotsPerInch() const {
  // The offscreen platform's screen is no screen: its figure means nothing.
  if (QGuiApplication::platformName() == QLatin1String("offscreen")) return kFallbackDotsPerInch;
  const QScreen* s = screen();
  return UsableDotsPerInch(s != nullptr ? s->physicalDotsPerInch() : 0.0);
}

void TFlpCAD::leaveEvent(QEvent* event) {
  furniture_.cursor.reset();
  if (furniture_.readout) update();
  QWidget::leaveEvent(event);
}

// ---------------------------------------------------------------- painting

ViewTransform TFlpCAD::Transform() const {
  return ViewTransform{center_x_, center_y_, units_per_pixel_, HalfWidthPixels(),
                       HalfHeightPixels()};
}

void TFlpCAD::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const ChartStyle style{BgrToQColor(back_color_), furniture_.scheme, furniture_.grid, declutter_};
  const ViewTransform view = Transform();
  painter.drawImage(QPointF(0, 0),
                    cache_.Update(model_, view, size(), devicePixelRatioF(), style, renderer_));
  painter.setRenderHint(QPainter::Antialiasing, true);
  FurnitureOptions furniture = furniture_;
  if (furniture.scale_bar) furniture.dots_per_inch = DotsPerInch();
  PaintFurniture(painter, view, size(), furniture, furniture_texts_);

  if (dragging_ && mouse_tool_ == kToolWindowZoom) {
    QPen pen(Qt::DashLine);
    pen.setColor(SchemeColor(BgrToQColor(~back_color_ & 0xFFFFFF), furniture_.scheme));
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(drag_start_, drag_current_).normalized());
  }
  PaintPreview(painter);
}

// The drawing tool's rubber band, dashed in the layer's colour.
void TFlpCAD::PaintPreview(QPainter& painter) const {
  const std::vector<ShapeData> preview = tools_.Preview();
  if (preview.empty()) return;
  QPen pen(SchemeColor(BgrToQColor(model_.LayerPenColor(tools_.Layer())), furniture_.scheme));
  pen.setStyle(Qt::DashLine);
  pen.setWidth(1);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  for (const ShapeData& s : preview) {
    switch (s.kind) {
      case ShapeKind::kLine:
        painter.drawLine(WorldToScreen(s.x1, s.y1), WorldToScreen(s.x2, s.y2));
        break;
      case ShapeKind::kPoint: {
        const QPointF p = WorldToScreen(s.x1, s.y1);
        painter.drawLine(p - QPointF(3, 0), p + QPointF(3, 0));
        painter.drawLine(p - QPointF(0, 3), p + QPointF(0, 3));
        break;
      }
      case ShapeKind::kCircle:
      case ShapeKind::kArc: {
        const double rp = s.r / units_per_pixel_;
        if (!(rp < 1e5)) break;
        const QPointF c = WorldToScreen(s.x1, s.y1);
        const QRectF box(c.x() - rp, c.y() - rp, 2 * rp, 2 * rp);
        if (s.kind == ShapeKind::kCircle) {
          painter.drawEllipse(box);
        } else {
          double span = std::fmod(s.a2 - s.a1, 360.0);
          if (span <= 0) span += 360.0;
          painter.drawArc(box, static_cast<int>(std::lround(s.a1 * 16)),
                          static_cast<int>(std::lround(span * 16)));
        }
        break;
      }
      case ShapeKind::kPolyline: {
        // Bulged segments as the arcs the finished shape shows.
        const QPolygonF poly = ScreenPolyline(Transform(), s.points, s.bulges, s.closed);
        if (s.closed) {
          painter.drawPolygon(poly);
        } else {
          painter.drawPolyline(poly);
        }
        break;
      }
      case ShapeKind::kText:
        PaintPreviewText(painter, s);
        break;
    }
  }
}

// A label as the chart draws it once placed (its font, size and justify):
// a drawing of that one text, in the layer's colour, through a renderer.
void TFlpCAD::PaintPreviewText(QPainter& painter, const ShapeData& text) const {
  DrawingModel one;
  const uint16_t layer = one.LayerOpen("preview");
  one.LayerSetPenColor(layer, model_.LayerPenColor(text.layer));
  // The same handles as in the drawing, up to the label's.
  for (int32_t i = 1; i <= text.font && static_cast<size_t>(i) <= model_.FontCount(); ++i) {
    const std::optional<Font> f = model_.FontGet(i);
    one.FontOpen(f->name, f->scale);
  }
  one.DrawShape(text, layer);
  ChartRenderer renderer;
  renderer.SetColorScheme(furniture_.scheme);
  painter.save();
  renderer.Paint(one, Transform(), painter, size());
  painter.restore();
}

// ---------------------------------------------------------------- mouse

void TFlpCAD::mousePressEvent(QMouseEvent* event) {
  const QPointF pos = event->position();
  const PointXY w = ScreenToWorld(pos);
  have_down_ = true;
  down_world_ = w;
  emit OnWorldMouseDown(ButtonCode(event->button()),
                        ShiftBits(event->modifiers(), event->buttons()), cad_action_, w.x, w.y);

  // The middle button pans whatever the tool, as in every CAD and GIS
  // program; the tool in use does not see it.
  if (event->button() == Qt::MiddleButton) {
    middle_pan_ = true;
    middle_world_ = w;
    return;
  }

  if (ToolActive()) {
    tools_.SetClickTolerance(kPickPixels * units_per_pixel_);
    if (tools_.Press(ToolPoint(pos, event->modifiers()), ToolButton(event->button()))) update();
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  switch (mouse_tool_) {
    case kToolSelect: {
      const std::optional<PickResult> hit =
          model_.Pick(w.x, w.y, kPickPixels * units_per_pixel_, units_per_pixel_);
      if (!hit) break;
      ToggleSelection(hit->number);
      const std::optional<ShapeKind> kind = model_.ShapeKindOf(hit->number);
      emit OnShapeNumberSelected(kind ? static_cast<int>(*kind) : 0, static_cast<int>(hit->number));
      break;
    }
    case kToolPan:
    case kToolWindowZoom:
    case kToolDynamicZoom:
      dragging_ = true;
      drag_start_ = pos;
      drag_current_ = pos;
      drag_world_ = w;
      drag_scale_ = units_per_pixel_;
      break;
    default:
      break;
  }
}

void TFlpCAD::mouseMoveEvent(QMouseEvent* event) {
  const QPointF pos = event->position();
  if (middle_pan_) {
    const PointXY now = ScreenToWorld(pos);
    SetView(center_x_ + middle_world_.x - now.x, center_y_ + middle_world_.y - now.y,
            units_per_pixel_);
  } else if (dragging_ && mouse_tool_ == kToolPan) {
    // Keep the grabbed world point under the cursor.
    const PointXY now = ScreenToWorld(pos);
    SetView(center_x_ + drag_world_.x - now.x, center_y_ + drag_world_.y - now.y, units_per_pixel_);
  } else if (dragging_ && mouse_tool_ == kToolWindowZoom) {
    drag_current_ = pos;
    update();
  } else if (dragging_ && mouse_tool_ == kToolDynamicZoom) {
    // Up zooms in, down zooms out, about the point first pressed.
    const double up = drag_start_.y() - pos.y();
    SetScaleAbout(drag_scale_ * std::exp2(-up / kDynamicZoomPixelsPerDoubling), drag_world_,
                  drag_start_);
  }

  furniture_.cursor = pos;
  if (furniture_.readout) update();
  const PointXY w = ScreenToWorld(pos);
  if (ToolActive() && tools_.Move(ToolPoint(pos, event->modifiers()))) update();
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

void TFlpCAD::mouseDoubleClickEvent(QMouseEvent* event) {
  if (ToolActive()) {
    if (event->button() == Qt::LeftButton &&
        tools_.DoubleClick(ToolPoint(event->position(), event->modifiers()))) {
      update();
    }
    return;
  }
  // In select mode a double click is the second press of one click: it is
  // reported, but it must not toggle the selection back.
  if (mouse_tool_ == kToolSelect && event->button() == Qt::LeftButton) {
    const PointXY w = ScreenToWorld(event->position());
    have_down_ = true;
    down_world_ = w;
    emit OnWorldMouseDown(ButtonCode(event->button()),
                          ShiftBits(event->modifiers(), event->buttons()), cad_action_, w.x, w.y);
    return;
  }
  // Elsewhere a double click is a second click.
  mousePressEvent(event);
}

void TFlpCAD::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton) {
    middle_pan_ = false;
    return;
  }
  if (ToolActive()) {
    if (tools_.Release(ToolPoint(event->position(), event->modifiers()),
                       ToolButton(event->button()))) {
      update();
    }
    return;
  }
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

PointXY TFlpCAD::ToolPoint(QPointF pos, Qt::KeyboardModifiers modifiers) const {
  const PointXY w = ScreenToWorld(pos);
  if (modifiers & Qt::ControlModifier) return w;
  return model_.Snap(w.x, w.y, kPickPixels * units_per_pixel_).value_or(w);
}

void TFlpCAD::SetScaleAbout(double units_per_pixel, PointXY fixed, QPointF fixed_screen) {
  const double upp = ClampScale(units_per_pixel);
  SetView(fixed.x - (fixed_screen.x() - HalfWidthPixels()) * upp,
          fixed.y + (fixed_screen.y() - HalfHeightPixels()) * upp, upp);
}

void TFlpCAD::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The centre and scale stay, but the window's edges move.
  if (event->oldSize() != event->size()) emit viewChanged();
}

void TFlpCAD::keyPressEvent(QKeyEvent* event) {
  const double cx = center_x_;
  const double cy = center_y_;
  const double share = (event->modifiers() & Qt::ShiftModifier) ? 0.5 : 0.1;
  const double step_x = 2 * HalfWidthPixels() * units_per_pixel_ * share;
  const double step_y = 2 * HalfHeightPixels() * units_per_pixel_ * share;
  switch (event->key()) {
    case Qt::Key_Left:
      WorldPan(-step_x, 0);
      break;
    case Qt::Key_Right:
      WorldPan(step_x, 0);
      break;
    case Qt::Key_Up:
      WorldPan(0, step_y);
      break;
    case Qt::Key_Down:
      WorldPan(0, -step_y);
      break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
    case Qt::Key_PageUp:
      WorldZoom(0, 0.2, cx, cy);
      break;
    case Qt::Key_Minus:
    case Qt::Key_PageDown:
      WorldZoom(0, -0.2, cx, cy);
      break;
    case Qt::Key_Home:
      WorldExtents();
      break;
    case Qt::Key_Escape:
      dragging_ = false;
      tools_.KeyPress(DrawingTools::Key::kEscape);
      update();
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (tools_.KeyPress(DrawingTools::Key::kEnter)) update();
      break;
    case Qt::Key_Backspace:
      if (tools_.KeyPress(DrawingTools::Key::kBackspace)) update();
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  event->accept();
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
