// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a chart shows around the drawing: the scale bar, the grid north arrow,
// the cursor readout, the easting/northing grid, the day, dusk and night
// colours, and the bookkeeping of the texts drawn (for decluttering and for
// the cached repaint). The arithmetic is in plain functions; the painting
// functions at the end only place what those return.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "mapcontrol/DrawingModel.hpp"

class QPainter;

namespace halvex::mapcontrol {

struct ViewTransform;

// ---------------------------------------------------------------- colours

// Colour schemes of a chart display on a bridge: day as drawn; at dusk and at
// night every colour's lightness is turned round (a white background becomes
// dark, black lines become light) and squeezed into a dim range, with the
// colours' saturation reduced, so the screen gives off little light while the
// lines keep their hue and stay apart from the background.
enum class ColorScheme : int { kDay = 0, kDusk = 1, kNight = 2 };
// Codes outside 0..2 read as day.
ColorScheme ColorSchemeFromInt(int code);
// The one colour transform of a scheme: every pen, brush, background and
// furniture colour of the chart goes through it. Alpha is kept.
QColor SchemeColor(const QColor& day, ColorScheme scheme);

// ---------------------------------------------------------------- scale

// The largest of 1, 2 and 5 times a power of ten not above `v`, and the
// smallest not below it; 0 for a value that is not finite and positive.
double RoundDown125(double v);
double RoundUp125(double v);

// A scale bar of a round length (1-2-5 steps) no longer than `max_pixels`.
struct ScaleBar {
  double metres = 0;
  double pixels = 0;
};
// Zero length when the scale is not finite and positive.
ScaleBar ChooseScaleBar(double units_per_pixel, double max_pixels);

// N of the scale 1:N on a screen of `dots_per_inch` physical pixels per inch,
// for world units of metres; 0 when either is not finite and positive.
double ScaleDenominator(double units_per_pixel, double dots_per_inch);
// Physical pixels per inch assumed when the screen does not say (offscreen,
// or a value no screen has).
inline constexpr double kFallbackDotsPerInch = 96.0;
double UsableDotsPerInch(double reported);

// "1:25 000": N to three significant figures, thousands set apart by spaces.
QString ScaleText(double denominator);
// "500 m", "2 km", "0.5 m", "20 cm".
QString LengthText(double metres);
// The cursor readout: "E 500123.4  N 6000123.4" with as many decimals as a
// pixel of the view needs (0 to 3).
QString CoordinateText(double easting, double northing, double units_per_pixel);

// ---------------------------------------------------------------- grid

// Round (1-2-5) spacing of grid lines at least `min_pixels` apart on the
// screen; 0 when the scale is not finite and positive.
double GridSpacing(double units_per_pixel, double min_pixels);
// The multiples of `step` from `lo` to `hi`; empty when there would be more
// than `max_lines` or the arguments are not finite.
std::vector<double> GridValues(double lo, double hi, double step, size_t max_lines = 400);
// The label of a grid value: as many decimals as the step needs.
QString GridValueText(double value, double step);

struct GridLabel {
  QRectF box;  // screen box of the text
  QString text;
  bool easting = true;  // on the top edge (easting) or the left edge (northing)
};
// Labels of the grid lines at the window's top edge (eastings, centred on
// their line) and left edge (northings, centred on theirs), `pad` pixels in.
// A label whose box would leave the window, or overlap the one before on its
// edge or the corner both edges share, is left out; so is one within
// `keep_right` pixels of the right edge or `keep_bottom` of the bottom (room
// for other furniture). `measure` gives a text's size in pixels.
std::vector<GridLabel> PlaceGridLabels(const ViewTransform& view, QSize size, double step,
                                       const std::function<QSizeF(const QString&)>& measure,
                                       double pad, double keep_right = 0, double keep_bottom = 0);

// ---------------------------------------------------------------- texts

// The screen boxes of the texts of one paint, layer by layer in drawing
// order. With decluttering on, a text at overview scale whose box meets one
// already placed is skipped. A layer is at overview scale when more than
// kOverviewTexts of its texts lie in the window: below that the texts of a
// chart are few enough to be read one by one, above it the later ones are
// dropped until the rest can be read.
class TextPlacement {
 public:
  static constexpr size_t kOverviewTexts = 40;

  void Clear();
  void SetDeclutter(bool on) { declutter_ = on; }
  bool Declutter() const { return declutter_; }
  // Whether the text of `layer` with `box` is drawn. `overview`: its layer is
  // at overview scale. Records the box when it is drawn.
  bool Place(uint16_t layer, const QRectF& box, bool overview);
  size_t Skipped() const { return skipped_; }
  // The boxes placed for each layer, in order (layers without texts absent).
  const std::unordered_map<uint16_t, std::vector<QRectF>>& Boxes() const { return boxes_; }

 private:
  bool Overlaps(const QRectF& box) const;
  void Index(const QRectF& box, size_t id);

  bool declutter_ = false;
  size_t skipped_ = 0;
  std::unordered_map<uint16_t, std::vector<QRectF>> boxes_;
  // Boxes placed in this paint, bucketed by 64-pixel cells, for the overlap
  // test.
  std::vector<QRectF> placed_;
  std::unordered_map<uint64_t, std::vector<size_t>> cells_;
};

// ---------------------------------------------------------------- painting

// Which furniture a chart shows, and with what.
struct FurnitureOptions {
  bool scale_bar = false;
  bool north_arrow = false;
  bool readout = false;
  bool grid = false;
  ColorScheme scheme = ColorScheme::kDay;
  double dots_per_inch = kFallbackDotsPerInch;
  // The cursor in screen pixels, when it is over the chart.
  std::optional<QPointF> cursor;
};

// Grid lines at least this many pixels apart.
inline constexpr double kGridMinPixels = 120.0;
// Colour of the grid lines in the day scheme.
QColor GridLineColor(ColorScheme scheme);

// The grid lines in `region` (window pixels) of `image`, an opaque picture
// of the window at `device_pixel_ratio` image pixels per window pixel, drawn
// under the drawing. Each line is a window pixel wide and runs across the
// whole window; it is blended into each image column (or row) it covers by
// the share of it that it covers, as Qt antialiases such a line, without
// going through a painter.
void PaintGridLines(QImage& image, double device_pixel_ratio, const ViewTransform& view, QSize size,
                    const QRect& region, ColorScheme scheme);
// The furniture's font and the texts laid out in it, kept from paint to
// paint: the same labels come back at every paint, and laying a text out
// costs far more than drawing it.
class FurnitureTexts {
 public:
  FurnitureTexts();
  ~FurnitureTexts();
  FurnitureTexts(const FurnitureTexts&) = delete;
  FurnitureTexts& operator=(const FurnitureTexts&) = delete;

  const QFont& Font() const;
  // The height of a line of text, pixels.
  double Height() const { return height_; }
  double Width(const QString& text);
  // Draws `text` in the painter's pen, placed in `box` as `alignment` says
  // (horizontally left or centred, vertically centred), as
  // QPainter::drawText(box, alignment, text) places it.
  void Draw(QPainter& painter, const QRectF& box, const QString& text, Qt::Alignment alignment);
  // Texts laid out so far (forgotten in a batch when there are many).
  size_t Kept() const;
  static constexpr size_t kMaxKept = 512;

 private:
  struct Laid;
  Laid& Get(const QString& text);

  struct Data;
  std::unique_ptr<Data> d_;
  double height_ = 0;
};

// Everything drawn over the drawing each paint: the grid's labels, the scale
// bar (bottom left), the north arrow (top right) and the cursor readout
// (bottom right).
void PaintFurniture(QPainter& painter, const ViewTransform& view, QSize size,
                    const FurnitureOptions& options, FurnitureTexts& texts);

}  // namespace halvex::mapcontrol
