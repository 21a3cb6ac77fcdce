// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapcontrol/ChartCache.hpp"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <tuple>
#include <unordered_map>

namespace halvex::mapcontrol {
namespace {

// Pixels around a shape's bounds that its drawing may reach besides half
// its pen: a point's cross, the wider pen of a selected shape, antialiasing.
constexpr double kShapeMargin = ChartRenderer::kPointArm + 2 + 2;
// Pens wider than this reach beyond the renderer's culling margin, so that a
// region paint could leave out what a whole paint draws.
constexpr int kMaxRegionPen = 24;
// A pan must be this close to whole pixels to move the picture.
constexpr double kWholePixel = 1e-6;
// Passes after which text boxes still moving give up on the region paint.
constexpr int kMaxPasses = 3;
// Share of the window above which a region paint costs as much as a whole one.
constexpr double kMaxShare = 0.6;

int64_t Area(const QRegion& region) {
  int64_t sum = 0;
  for (const QRect& r : region) sum += static_cast<int64_t>(r.width()) * r.height();
  return sum;
}

// A box in 1/64 pixels, for comparing the boxes of two paints.
using BoxKey = std::tuple<int64_t, int64_t, int64_t, int64_t>;
BoxKey KeyOf(const QRectF& box, double dx, double dy) {
  const auto q = [](double v) { return static_cast<int64_t>(std::llround(v * 64)); };
  return {q(box.left() + dx), q(box.top() + dy), q(box.width()), q(box.height())};
}

QRect Enclosing(const QRectF& box, const QRect& clamp) {
  const double l = std::max(box.left() - 2, clamp.left() - 1.0);
  const double t = std::max(box.top() - 2, clamp.top() - 1.0);
  const double r = std::min(box.right() + 2, clamp.right() + 2.0);
  const double b = std::min(box.bottom() + 2, clamp.bottom() + 2.0);
  if (!(l < r && t < b)) return {};
  return QRect(QPoint(static_cast<int>(std::floor(l)), static_cast<int>(std::floor(t))),
               QPoint(static_cast<int>(std::ceil(r)), static_cast<int>(std::ceil(b))));
}

// Whether a text's box, with the margin its glyphs may reach beyond it,
// reaches the edge of a picture of `size` or beyond.
bool ReachesEdge(const QRectF& box, QSize size) {
  constexpr double kGlyphMargin = 3;
  return !QRectF(QPointF(0, 0), QSizeF(size))
              .contains(box.adjusted(-kGlyphMargin, -kGlyphMargin, kGlyphMargin, kGlyphMargin));
}

}  // namespace

void ShiftImage(QImage& image, int dx, int dy) {
  const int w = image.width();
  const int h = image.height();
  if (image.depth() != 32 || std::abs(dx) >= w || std::abs(dy) >= h || (dx == 0 && dy == 0)) {
    return;
  }
  const size_t bytes = static_cast<size_t>(w - std::abs(dx)) * 4;
  const int src_x = std::max(-dx, 0);
  const int dst_x = std::max(dx, 0);
  const auto move_row = [&](int dst_row) {
    const uchar* src = image.constScanLine(dst_row - dy) + static_cast<size_t>(src_x) * 4;
    uchar* dst = image.scanLine(dst_row) + static_cast<size_t>(dst_x) * 4;
    std::memmove(dst, src, bytes);
  };
  // Rows are moved in the order that reads each before it is written over.
  if (dy > 0) {
    for (int r = h - 1; r >= dy; --r) move_row(r);
  } else {
    for (int r = 0; r < h + dy; ++r) move_row(r);
  }
}

QRect ChartCache::ScreenRect(const Rect& world, double margin) const {
  const double w = size_.width();
  const double h = size_.height();
  // Clamped to a little beyond the window before turning into integers.
  const auto cx = [&](double v) { return std::clamp(v, -4.0, w + 4.0); };
  const auto cy = [&](double v) { return std::clamp(v, -4.0, h + 4.0); };
  const double l = cx(view_.ScreenX(world.min_x) - margin);
  const double r = cx(view_.ScreenX(world.max_x) + margin);
  const double t = cy(view_.ScreenY(world.max_y) - margin);
  const double b = cy(view_.ScreenY(world.min_y) + margin);
  if (!(l < r && t < b)) return {};
  return QRect(QPoint(static_cast<int>(std::floor(l)), static_cast<int>(std::floor(t))),
               QPoint(static_cast<int>(std::ceil(r)), static_cast<int>(std::ceil(b))));
}

void ChartCache::Remember(const DrawingModel& model) {
  layers_.resize(model.LayerCount());
  for (size_t l = 0; l < layers_.size(); ++l) {
    const auto layer = static_cast<uint16_t>(l);
    layers_[l] = {model.LayerStamp(layer), model.LayerShapeCount(layer), model.LayerExtents(layer)};
  }
}

void ChartCache::PaintFull(const DrawingModel& model, ChartRenderer& renderer) {
  texts_.Clear();
  image_.fill(SchemeColor(style_.background, style_.scheme));
  const QRect all(QPoint(0, 0), size_);
  if (style_.grid) PaintGridLines(image_, dpr_, view_, size_, all, style_.scheme);
  QPainter painter(&image_);
  painter.setRenderHint(QPainter::Antialiasing, true);
  renderer.Paint(model, view_, painter, size_);
  stats_.kind = Kind::kFull;
  stats_.pixels = static_cast<int64_t>(size_.width()) * size_.height();
  stats_.passes = 1;
}

void ChartCache::PaintRegion(const DrawingModel& model, ChartRenderer& renderer,
                             const QRegion& region) {
  // The rectangles of a region do not overlap: each is cleared to the
  // background and its grid before the drawing goes over them.
  const QColor background = SchemeColor(style_.background, style_.scheme);
  {
    QPainter painter(&image_);
    for (const QRect& rect : region) painter.fillRect(rect, background);
  }
  if (style_.grid) {
    for (const QRect& rect : region)
      PaintGridLines(image_, dpr_, view_, size_, rect, style_.scheme);
  }
  QPainter painter(&image_);
  for (const QRect& rect : region) {
    // Every pass places every text of the window again.
    texts_.Clear();
    painter.setClipRect(rect);
    painter.setRenderHint(QPainter::Antialiasing, true);
    renderer.Paint(model, view_, painter, size_, rect);
  }
  stats_.pixels += Area(region);
  ++stats_.passes;
}

bool ChartCache::Partial(const DrawingModel& model, ChartRenderer& renderer,
                         const ViewTransform& view) {
  if (texts_.Skipped() > 0 || model.LayerCount() < layers_.size()) return false;
  const double dpr_whole = std::round(dpr_);
  if (std::abs(dpr_ - dpr_whole) > 1e-9) return false;
  const double upp = view.units_per_pixel;
  const double dx = (view_.center_x - view.center_x) / upp;
  const double dy = (view.center_y - view_.center_y) / upp;
  const double ix = std::round(dx);
  const double iy = std::round(dy);
  if (!(std::abs(dx - ix) <= kWholePixel && std::abs(dy - iy) <= kWholePixel)) return false;
  if (std::abs(ix) >= size_.width() || std::abs(iy) >= size_.height()) return false;
  const int sx = static_cast<int>(ix);
  const int sy = static_cast<int>(iy);
  const QRect all(QPoint(0, 0), size_);

  // The damage, in the new view.
  view_ = view;
  QRegion damage;
  if (sx > 0) damage += QRect(0, 0, sx, size_.height());
  if (sx < 0) damage += QRect(size_.width() + sx, 0, -sx, size_.height());
  if (sy > 0) damage += QRect(0, 0, size_.width(), sy);
  if (sy < 0) damage += QRect(0, size_.height() + sy, size_.width(), -sy);

  // Text boxes of the last paint, where they now are.
  std::unordered_map<uint16_t, std::set<BoxKey>> old_boxes;
  for (const auto& [layer, boxes] : texts_.Boxes()) {
    for (const QRectF& box : boxes) old_boxes[layer].insert(KeyOf(box, sx, sy));
  }
  // A text at the window's edge is painted again after a pan: Qt blends a
  // glyph that reaches beyond the edge of the picture otherwise than the
  // same glyph inside it, so that a glyph moved across the edge would keep
  // the pixels it had on the other side.
  for (const auto& [layer, boxes] : texts_.Boxes()) {
    for (const QRectF& box : boxes) {
      const QRectF moved = box.translated(sx, sy);
      if ((sx != 0 || sy != 0) && (ReachesEdge(box, size_) || ReachesEdge(moved, size_))) {
        damage += Enclosing(moved, all);
      }
    }
  }

  for (size_t l = 0; l < model.LayerCount(); ++l) {
    const auto layer = static_cast<uint16_t>(l);
    const size_t count = model.LayerShapeCount(layer);
    const int layer_pen = model.LayerPenWidth(layer);
    if (layer_pen > kMaxRegionPen) return false;
    const bool known = l < layers_.size();
    const LayerState before = known ? layers_[l] : LayerState{};
    if (known && before.stamp == model.LayerStamp(layer) && count == before.count) continue;
    const std::vector<DrawingModel::Record>& recs = model.LayerRecords(layer);
    const auto pen_of = [&](const DrawingModel::Record& rec) {
      return rec.pen >= 0 ? static_cast<int>(rec.pen) : layer_pen;
    };
    if (known && before.stamp == model.LayerStamp(layer) && count > before.count) {
      // Shapes added at the end: their own bounds.
      if (count - before.count > kMaxScannedShapes) return false;
      for (size_t i = before.count; i < count; ++i) {
        const int pen = pen_of(recs[i]);
        if (pen > kMaxRegionPen) return false;
        damage += ScreenRect(model.RecordBounds(layer, recs[i]), pen / 2.0 + kShapeMargin);
      }
      continue;
    }
    // Any other change: the layer's extents before and after.
    if (count > kMaxScannedShapes || before.count > kMaxScannedShapes) return false;
    int widest = layer_pen;
    for (const DrawingModel::Record& rec : recs) widest = std::max(widest, pen_of(rec));
    if (widest > kMaxRegionPen) return false;
    // Pens of the shapes cleared away are not known any more: a layer whose
    // pens were all thin before may not have had wide ones either.
    const double margin = std::max(widest, layer_pen) / 2.0 + kShapeMargin;
    if (before.extents) damage += ScreenRect(*before.extents, margin);
    if (const std::optional<Rect> now = model.LayerExtents(layer)) {
      damage += ScreenRect(*now, margin);
    }
    if (const auto it = old_boxes.find(layer); it != old_boxes.end()) {
      for (const QRectF& box : texts_.Boxes().at(layer))
        damage += Enclosing(box.translated(sx, sy), all);
    }
  }
  damage &= all;
  if (Area(damage) > static_cast<int64_t>(kMaxShare * size_.width() * size_.height())) return false;

  ShiftImage(image_, sx * static_cast<int>(dpr_whole), sy * static_cast<int>(dpr_whole));
  stats_ = Stats{Kind::kPartial, 0, 0};
  if (damage.isEmpty()) {
    if (sx == 0 && sy == 0) stats_.kind = Kind::kNone;
    return true;
  }

  // Old boxes, shifted, to compare with the boxes of the new paint.
  std::vector<std::pair<uint16_t, QRectF>> old_list;
  for (const auto& [layer, boxes] : texts_.Boxes()) {
    for (const QRectF& box : boxes) old_list.emplace_back(layer, box.translated(sx, sy));
  }
  QRegion painted;
  QRegion pending = damage;
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    PaintRegion(model, renderer, pending);
    painted += pending;
    if (texts_.Skipped() > 0) return false;
    // Wherever a text box appeared or vanished outside what was painted,
    // the picture still shows the old text or lacks the new one.
    QRegion extra;
    std::unordered_map<uint16_t, std::set<BoxKey>> new_boxes;
    for (const auto& [layer, boxes] : texts_.Boxes()) {
      for (const QRectF& box : boxes) {
        const BoxKey key = KeyOf(box, 0, 0);
        new_boxes[layer].insert(key);
        const auto it = old_boxes.find(layer);
        if (it == old_boxes.end() || it->second.count(key) == 0) extra += Enclosing(box, all);
      }
    }
    for (const auto& [layer, box] : old_list) {
      const auto it = new_boxes.find(layer);
      if (it == new_boxes.end() || it->second.count(KeyOf(box, 0, 0)) == 0) {
        extra += Enclosing(box, all);
      }
    }
    pending = (extra & all) - painted;
    if (pending.isEmpty()) return true;
    if (Area(painted + pending) >
        static_cast<int64_t>(kMaxShare * size_.width() * size_.height())) {
      return false;
    }
  }
  return false;
}

const QImage& ChartCache::Update(const DrawingModel& model, const ViewTransform& view, QSize size,
                                 double device_pixel_ratio, const ChartStyle& style,
                                 ChartRenderer& renderer) {
  const double dpr =
      std::isfinite(device_pixel_ratio) && device_pixel_ratio > 0 ? device_pixel_ratio : 1.0;
  if (size.isEmpty()) {
    // Nothing to paint on; the next paint of a real size paints all.
    valid_ = false;
    image_ = QImage();
    return image_;
  }
  renderer.SetColorScheme(style.scheme);
  renderer.SetTextPlacement(&texts_);
  texts_.SetDeclutter(style.declutter);
  const bool same_frame = valid_ && size == size_ && dpr == dpr_ && style == style_ &&
                          view.units_per_pixel == view_.units_per_pixel &&
                          view.half_width == view_.half_width &&
                          view.half_height == view_.half_height;
  if (!same_frame || !Partial(model, renderer, view)) {
    const QSize pixels(static_cast<int>(std::lround(size.width() * dpr)),
                       static_cast<int>(std::lround(size.height() * dpr)));
    // Opaque: the background covers every pixel, and an opaque picture is
    // copied onto the window line by line rather than blended pixel by pixel.
    if (image_.size() != pixels) image_ = QImage(pixels, QImage::Format_RGB32);
    image_.setDevicePixelRatio(dpr);
    size_ = size;
    dpr_ = dpr;
    style_ = style;
    view_ = view;
    PaintFull(model, renderer);
  }
  Remember(model);
  valid_ = true;
  return image_;
}

}  // namespace halvex::mapcontrol
