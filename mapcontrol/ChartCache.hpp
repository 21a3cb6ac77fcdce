// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <QSize>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "mapcontrol/ChartFurniture.hpp"
#include "mapcontrol/ChartRenderer.hpp"
#include "mapcontrol/DrawingModel.hpp"

namespace halvex::mapcontrol {

// What the picture of the drawing shows besides the shapes; a change of any
// of it repaints the whole picture.
struct ChartStyle {
  QColor background{255, 255, 255};  // in day colours
  ColorScheme scheme = ColorScheme::kDay;
  bool grid = false;  // grid lines under the shapes
  bool declutter = false;
  friend bool operator==(const ChartStyle&, const ChartStyle&) = default;
};

// The picture of a drawing (background, grid lines and shapes; no
// furniture) kept between paints, brought up to date by repainting only what
// changed:
//  - a pan by whole pixels moves the picture and paints the strips it
//    uncovers;
//  - shapes added at the end of a layer (a new track point) repaint the
//    rectangles of their bounds;
//  - any other change of a layer (it was cleared and redrawn, as the vessel
//    is at each fix; a style; a selection) repaints the rectangle of the
//    layer's extents before and after;
//  - texts, whose extent on the screen is known only when they are drawn,
//    are followed by their boxes: wherever a text box appeared, vanished or
//    moved, that box is repainted too.
// Each repainted rectangle is painted whole, every layer in order, so the
// picture is the one a whole paint gives. A zoom, a resize, a new style, a
// cleared drawing, a pan by part of a pixel, a change too large or too
// widespread to be worth it, and any paint in which decluttering dropped a
// text (which text wins depends on the whole window) repaint everything.
class ChartCache {
 public:
  enum class Kind { kNone, kFull, kPartial };
  struct Stats {
    Kind kind = Kind::kNone;
    int64_t pixels = 0;  // repainted, in window pixels
    int passes = 0;      // region paints (text boxes may need a second)
  };

  // Rebuilt from scratch at the next update.
  void Invalidate() { valid_ = false; }
  // Brings the picture up to date and returns it (window size times
  // `device_pixel_ratio` pixels).
  const QImage& Update(const DrawingModel& model, const ViewTransform& view, QSize size,
                       double device_pixel_ratio, const ChartStyle& style, ChartRenderer& renderer);
  const Stats& LastStats() const { return stats_; }
  const TextPlacement& Texts() const { return texts_; }

  // Layers larger than this are repainted whole when they change other than
  // by added shapes, and more shapes added at once than this repaint all.
  static constexpr size_t kMaxScannedShapes = 20000;

 private:
  struct LayerState {
    uint64_t stamp = 0;
    size_t count = 0;
    std::optional<Rect> extents;
  };

  void PaintFull(const DrawingModel& model, ChartRenderer& renderer);
  void PaintRegion(const DrawingModel& model, ChartRenderer& renderer, const QRegion& region);
  bool Partial(const DrawingModel& model, ChartRenderer& renderer, const ViewTransform& view);
  void Remember(const DrawingModel& model);
  QRect ScreenRect(const Rect& world, double margin) const;

  bool valid_ = false;
  QImage image_;
  QSize size_;
  double dpr_ = 1;
  ViewTransform view_;
  ChartStyle style_;
  std::vector<LayerState> layers_;
  TextPlacement texts_;
  Stats stats_;
};

// Moves the picture by (dx, dy) pixels in place; what is uncovered keeps
// old pixels, to be painted over.
void ShiftImage(QImage& image, int dx, int dy);

}  // namespace halvex::mapcontrol
