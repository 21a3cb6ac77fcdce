// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QBrush>
#include <QFont>
#include <QImage>
#include <QLineF>
#include <QPen>
#include <QPointF>
#include <QPolygonF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QVector>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mapcontrol/ChartFurniture.hpp"
#include "mapcontrol/DrawingModel.hpp"

class QPainter;

namespace halvex::mapcontrol {

// The view's mapping from world units (x east, y north) to window pixels
// (x right, y down): the world point (center_x, center_y) sits at the
// window's centre, and one pixel is units_per_pixel world units both ways.
struct ViewTransform {
  double center_x = 0;
  double center_y = 0;
  double units_per_pixel = 1;
  double half_width = 0;   // pixels
  double half_height = 0;  // pixels

  double ScreenX(double x) const { return (x - center_x) / units_per_pixel + half_width; }
  double ScreenY(double y) const { return (center_y - y) / units_per_pixel + half_height; }
  // The world rectangle of the window grown by `margin` pixels on each side.
  Rect World(double margin) const;
};

// One bit per pixel of the window and of a margin around it, for drawing
// shapes of a pixel or a few (the points and short lines of a dense track)
// without going through QPainter one shape at a time. Coordinates are window
// pixels; pixels beyond the margin are ignored.
class PixelMask {
 public:
  void Reset(int width, int height, int margin);
  void Set(int x, int y);
  bool Test(int x, int y) const;
  // A line of one pixel width with both ends (Bresenham).
  void Line(int x0, int y0, int x1, int y1);
  // Sets a plus with arms of `arm` pixels around every pixel set in
  // `centres` (a mask of the same size).
  void StampCrosses(const PixelMask& centres, int arm);
  bool Empty() const { return min_row_ > max_row_; }
  // Writes `argb` into every window pixel of `image` (within `clip`) that is
  // set here, and grows `dirty` to cover them.
  void Paint(QImage& image, uint32_t argb, QRect& dirty) const;
  void Paint(QImage& image, uint32_t argb, QRect& dirty, const QRect& clip) const;
  // Clears the rows that were set since the last clear.
  void Clear();

 private:
  uint64_t* Row(int row) { return bits_.data() + static_cast<size_t>(row) * words_; }
  const uint64_t* Row(int row) const { return bits_.data() + static_cast<size_t>(row) * words_; }
  // Grows the touched rows and words by ranges of them.
  void Touch(int first_row, int last_row, int first_word, int last_word) {
    min_row_ = std::min(min_row_, first_row);
    max_row_ = std::max(max_row_, last_row);
    min_word_ = std::min(min_word_, first_word);
    max_word_ = std::max(max_word_, last_word);
  }
  void Untouch() {
    min_row_ = min_word_ = std::numeric_limits<int>::max();
    max_row_ = max_word_ = std::numeric_limits<int>::min();
  }
  // Sets a pixel given in mask coordinates, if it lies in the mask, leaving
  // the touched rows and words to the caller; whether it did.
  bool SetUntouched(int mx, int my) {
    if (mx < 0 || my < 0 || mx >= width_ + 2 * margin_ || my >= rows_) return false;
    Row(my)[mx >> 6] |= uint64_t{1} << (mx & 63);
    return true;
  }

  int width_ = 0;   // window pixels
  int height_ = 0;  // window pixels
  int margin_ = 0;
  int rows_ = 0;   // height + 2 margins
  int words_ = 0;  // 64-bit words per row, for width + 2 margins
  std::vector<uint64_t> bits_;
  // Touched rows, in mask rows; empty when min > max.
  int min_row_ = std::numeric_limits<int>::max();
  int max_row_ = std::numeric_limits<int>::min();
  // Words of a row that may be set in the touched rows: the set pixels of a
  // strip of the window lie in a few words of each row.
  int min_word_ = std::numeric_limits<int>::max();
  int max_word_ = std::numeric_limits<int>::min();
};

// How texts are set: a font of a fixed reference size, drawn scaled so that
// its capitals are as high as the text's height. Texts are laid out in units
// of the capital height, so that the box the drawing is given (see
// DrawingModel::SetTextMeasure) is the box drawn at every size.
class TextSetter {
 public:
  // Pixel size of the fonts texts are set in before scaling.
  static constexpr int kReferencePixels = 100;
  // The font named `name` (the application's font for ""), at the
  // reference size, and the height of its capitals in its pixels.
  struct Face {
    QFont font;
    double cap = 1;
  };
  static Face FaceOf(std::string_view name);
  // One line of a text: where its baseline starts, in capital heights from
  // the anchor (x along the text, y up).
  struct Line {
    QString text;
    double x = 0;
    double y = 0;
  };
  // The lines of `text` placed as `justify` says, and their box (in
  // capital heights, relative to the anchor, y up) in `box`.
  static std::vector<Line> Layout(const Face& face, const QString& text, int justify, Rect& box);
  // The measure to give a drawing.
  static TextMeasure Measure();
};

// The Qt brush style that paints a layer's brush style.
Qt::BrushStyle QtBrushStyle(BrushStyle style);

// Where the painter's brush pattern starts, so that hatches stay with the
// drawing as the view pans by whole pixels (and a picture moved by a pan
// matches one painted afresh).
QPointF HatchOrigin(const ViewTransform& view);

// A polyline on the screen of `view`, each bulged segment as chords within a
// quarter pixel of its arc, as the renderer draws and fills it. `bulges` is
// empty (all straight) or one per point. Closed: the segment from the last
// point back to the first is included up to its last chord, for
// QPainter::drawPolygon, which joins the last point to the first.
QPolygonF ScreenPolyline(const ViewTransform& view, const std::vector<PointXY>& points,
                         const std::vector<double>& bulges, bool closed);

// The window box (pixels, y down) covered by a text whose measured box is
// `box` (capital heights from the anchor, y up, before its rotation), drawn
// with capitals `cap_pixels` high at the anchor, turned counter-clockwise by
// `rotation_deg`.
QRectF TextScreenBox(const Rect& box, double anchor_x, double anchor_y, double rotation_deg,
                     double cap_pixels);

// Paints a drawing for a view. Shapes are culled with the drawing's spatial
// index. Thin shapes no longer than kRasterPixels on the screen (the fixes
// and segments of a track) are set as pixels in a mask, per layer, and
// copied onto the window in one go; everything else goes through QPainter,
// clipped to the window first so that a line kilometres beyond it costs no
// more than one inside. Layers are painted in their order, each above the
// ones before; selected shapes are painted last, above all. Closed polylines
// and circles are filled with the layer's brush under their outline; a
// shape's own colour replaces its layer's pen colour.
class ChartRenderer {
 public:
  // Screen length up to which a thin line is set pixel by pixel.
  static constexpr double kRasterPixels = 8.0;
  // Half the size of the cross that marks a point, in pixels.
  static constexpr int kPointArm = 3;

  struct Stats {
    size_t visited = 0;     // shapes looked at
    size_t rasterized = 0;  // set as pixels
    size_t painted = 0;     // drawn through QPainter
  };

  void Paint(const DrawingModel& model, const ViewTransform& view, QPainter& painter, QSize size);
  // Paints what lies in `region` (window pixels) of the same picture, for a
  // painter clipped to it. Layers holding texts are looked at across the
  // whole window, so that the texts are placed as in a whole paint.
  void Paint(const DrawingModel& model, const ViewTransform& view, QPainter& painter, QSize size,
             const QRect& region);
  // Every colour goes through the scheme's transform.
  void SetColorScheme(ColorScheme scheme) { scheme_ = scheme; }
  // Where the texts are placed (and decluttered); none by default.
  void SetTextPlacement(TextPlacement* texts) { texts_ = texts; }
  const Stats& LastStats() const { return stats_; }

 private:
  bool Rasterize(const DrawingModel::Record& rec, int width);
  // Pixels beyond its bounds that a shape of the layer may paint, at most:
  // half its widest pen (its own, its layer's or a world width), selected,
  // and the arm of a point's cross. Kept per layer while the layer's stamp
  // stays, then brought up to date from the shapes added since.
  double ShapeReach(const DrawingModel& model, uint16_t layer);
  // Width in pixels of the record's pen, from its world width, its own or
  // its layer's.
  double PenPixels(const DrawingModel& model, uint16_t layer, const DrawingModel::Record& rec,
                   int layer_width) const;
  void SetPen(QPainter& painter, int bgr, double width);
  // Fills the screen polygon, clipped to the window and its margin, with
  // the current fill brush.
  void FillPolygon(QPainter& painter, const QPolygonF& polygon);
  // The screen outline of a closed polyline, its arcs as chords.
  QPolygonF Outline(const DrawingModel& model, uint16_t layer, const DrawingModel::Record& rec);
  // A bulged segment of a polyline, as chords, each as AddSegment.
  void AddArcSegment(QPainter& painter, PointXY from, PointXY to, double bulge, bool thin);
  void PaintText(const DrawingModel& model, uint16_t layer, const DrawingModel::Record& rec,
                 QPainter& painter);
  // Whether a screen point lies near enough the window to go into a mask.
  bool NearWindow(double sx, double sy) const;
  // Sets a short segment near the window as pixels; false leaves it alone.
  bool RasterSegment(double x0, double y0, double x1, double y1);
  // `thin`: drawn one pixel wide, so that short polyline segments may be
  // set as pixels.
  void PaintShape(const DrawingModel& model, uint16_t layer, const DrawingModel::Record& rec,
                  QPainter& painter, bool thin);
  // A segment of a polyline: pixels when thin, short and near the window,
  // else clipped and added to the run of connected segments.
  // `decimate`: vertices within half a pixel of the last one kept are left
  // out here; off for vertices already thinned out.
  void AddSegment(QPainter& painter, double x0, double y0, double x1, double y1, bool thin,
                  bool decimate = true);
  void FlushRun(QPainter& painter);
  // Clips the screen segment to the window and its margin; false when none
  // of it is left.
  bool Clip(double& x0, double& y0, double& x1, double& y1) const;
  void PaintCurve(QPainter& painter, double cx, double cy, double r, double start_deg,
                  double sweep_deg);
  void AddClippedLine(double x0, double y0, double x1, double y1);
  void FlushLines(QPainter& painter);
  void FlushOverlay(QPainter& painter);
  // Paints the pixels of `lines_` in `argb` above what was painted so far,
  // and clears them.
  void PaintMask(uint32_t argb);

  ViewTransform view_;
  QSize size_;
  QRect region_;
  ColorScheme scheme_ = ColorScheme::kDay;
  TextPlacement* texts_ = nullptr;
  bool overview_ = false;  // the layer being painted is at overview scale
  Rect near_;              // screen range of NearWindow
  Stats stats_;
  QImage overlay_;
  QRect dirty_;
  QImage* direct_ = nullptr;  // the painter's image, when the masks go straight into it
  QRect direct_clip_;
  PixelMask lines_;
  PixelMask points_;
  std::vector<uint32_t> indices_;
  std::vector<uint32_t> vector_indices_;
  QVector<QLineF> batch_;
  QPolygonF run_;
  std::optional<QPointF> pending_;
  std::vector<QPointF> vertices_;  // the screen vertices of a polyline, thinned out
  QBrush fill_;                    // the brush of the layer being painted
  QPen pen_;                       // the pen set on the painter
  std::vector<std::pair<std::string, TextSetter::Face>> faces_;
  struct LayerReach {
    uint64_t stamp = 0;
    size_t count = 0;         // shapes looked at
    int widest_pen = -1;      // of the shapes' own pens
    double widest_world = 0;  // world widths of polylines
    bool points = false;
  };
  std::vector<LayerReach> reach_;
};

}  // namespace halvex::mapcontrol
