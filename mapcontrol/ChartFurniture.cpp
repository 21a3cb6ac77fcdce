// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapcontrol/ChartFurniture.hpp"

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QLineF>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <QStaticText>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "mapcontrol/ChartRenderer.hpp"

namespace halvex::mapcontrol {
namespace {

bool Positive(double v) { return std::isfinite(v) && v > 0; }

// Lightness range and saturation factor of the dark schemes, and the least
// luminance of a colour that is dark by day (a pen meant to stand out on a
// light chart): saturated dark blues and reds of a lightness in the range
// give off so little light that they would be lost on the dark background.
struct DarkRange {
  double lo;
  double hi;
  double saturation;
  double least_luminance;
};
constexpr DarkRange kDusk{0.16, 0.80, 0.80, 0.18};
constexpr DarkRange kNight{0.03, 0.38, 0.70, 0.06};
// Colours of a day luminance up to the first get the whole least luminance,
// from the second on none (the light colours of a chart stay near its
// background), in between a share.
constexpr double kDarkPenLuminance = 0.3;
constexpr double kLightLuminance = 0.6;

// Relative luminance of an sRGB colour.
double Luminance(double r, double g, double b) {
  const auto lin = [](double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * lin(r) + 0.7152 * lin(g) + 0.0722 * lin(b);
}
double Luminance(const QColor& c) {
  return Luminance(static_cast<double>(c.redF()), static_cast<double>(c.greenF()),
                   static_cast<double>(c.blueF()));
}
double LuminanceOfHsl(double h, double s, double l) {
  return Luminance(
      QColor::fromHslF(static_cast<float>(h), static_cast<float>(s), static_cast<float>(l)));
}

// Side of the cells in which TextPlacement buckets its boxes, pixels.
constexpr double kTextCell = 64.0;

uint64_t CellKey(int64_t cx, int64_t cy) {
  return (static_cast<uint64_t>(cx) << 32) ^ (static_cast<uint64_t>(cy) & 0xFFFFFFFFu);
}

double WorldX(const ViewTransform& v, double sx) {
  return v.center_x + (sx - v.half_width) * v.units_per_pixel;
}
double WorldY(const ViewTransform& v, double sy) {
  return v.center_y - (sy - v.half_height) * v.units_per_pixel;
}

// Furniture text: the application's sans serif face at a fixed pixel size.
QFont FurnitureFont() {
  QFont font;
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(12);
  return font;
}

// The text with thousands set apart by spaces: "25 000".
QString Grouped(long long n) {
  QString digits = QString::number(n < 0 ? -n : n);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
    digits.insert(i, QLatin1Char(' '));
  return n < 0 ? QStringLiteral("-") + digits : digits;
}

// A number without trailing zeros.
QString Plain(double v) { return QString::number(v, 'g', 6); }

}  // namespace

// ---------------------------------------------------------------- colours

ColorScheme ColorSchemeFromInt(int code) {
  switch (code) {
    case 1:
      return ColorScheme::kDusk;
    case 2:
      return ColorScheme::kNight;
    default:
      return ColorScheme::kDay;
  }
}

QColor SchemeColor(const QColor& day, ColorScheme scheme) {
  if (scheme == ColorScheme::kDay) return day;
  const DarkRange& r = scheme == ColorScheme::kDusk ? kDusk : kNight;
  float h = 0;
  float s = 0;
  float l = 0;
  float a = 0;
  day.getHslF(&h, &s, &l, &a);
  double lightness = r.lo + (r.hi - r.lo) * (1.0 - static_cast<double>(l));
  double saturation = static_cast<double>(s) * r.saturation;
  // A hue of -1 (grey) reads as red to fromHslF with no saturation: fine.
  const double hue = std::max(static_cast<double>(h), 0.0);
  // Dark pens are lifted to the least luminance: lighter first (up to the
  // top of the range), then greyer if that is not enough.
  const double share = std::clamp(
      (kLightLuminance - Luminance(day)) / (kLightLuminance - kDarkPenLuminance), 0.0, 1.0);
  const double least = r.least_luminance * share;
  if (least > 0 && LuminanceOfHsl(hue, saturation, lightness) < least) {
    if (LuminanceOfHsl(hue, saturation, r.hi) >= least) {
      double lo = lightness;
      double hi = r.hi;
      for (int i = 0; i < 30; ++i) {
        const double mid = (lo + hi) / 2;
        (LuminanceOfHsl(hue, saturation, mid) < least ? lo : hi) = mid;
      }
      lightness = hi;
    } else {
      lightness = r.hi;
      double grey = 0;  // the saturation at which a grey reaches it
      double full = saturation;
      for (int i = 0; i < 30; ++i) {
        const double mid = (grey + full) / 2;
        (LuminanceOfHsl(hue, mid, lightness) >= least ? grey : full) = mid;
      }
      saturation = grey;
    }
  }
  QColor out = QColor::fromHslF(static_cast<float>(hue), static_cast<float>(saturation),
                                static_cast<float>(lightness), a);
  return out.toRgb();
}

// ---------------------------------------------------------------- scale

// The 1-2-5 values of the decade below v's, v's own and the one above, in
// increasing order (the decade may be off by one ulp from the logarithm's
// rounding, so its neighbours are looked at too).
namespace {

std::array<double, 9> Candidates125(double v) {
  const double decade = std::pow(10.0, std::floor(std::log10(v)));
  std::array<double, 9> out{};
  std::size_t i = 0;
  for (const double base : {decade / 10, decade, decade * 10}) {
    for (const double m : {1.0, 2.0, 5.0}) {
      out[i++] = m * base;
    }
  }
  return out;
}

}  // namespace

double RoundDown125(double v) {
  if (!Positive(v)) return 0;
  double best = 0;
  for (const double c : Candidates125(v)) {
    if (c <= v * (1 + 1e-12) && c > best) best = c;
  }
  return best;
}

double RoundUp125(double v) {
  if (!Positive(v)) return 0;
  double best = 0;
  for (const double c : Candidates125(v)) {
    if (c >= v * (1 - 1e-12) && (best == 0 || c < best)) best = c;
  }
  return best;
}

ScaleBar ChooseScaleBar(double units_per_pixel, double max_pixels) {
  if (!Positive(units_per_pixel) || !Positive(max_pixels)) return {};
  const double metres = RoundDown125(units_per_pixel * max_pixels);
  return {metres, metres / units_per_pixel};
}

double ScaleDenominator(double units_per_pixel, double dots_per_inch) {
  if (!Positive(units_per_pixel) || !Positive(dots_per_inch)) return 0;
  // One pixel is 0.0254 / dpi metres on the screen.
  return units_per_pixel * dots_per_inch / 0.0254;
}

double UsableDotsPerInch(double reported) {
  // Offscreen and virtual screens report 0, 1 or absurd values.
  return std::isfinite(reported) && reported >= 20 && reported <= 2000 ? reported
                                                                       : kFallbackDotsPerInch;
}

QString ScaleText(double denominator) {
  if (!Positive(denominator)) return QStringLiteral("1:?");
  double n = std::round(denominator);
  if (n >= 1000) {
    const double unit = std::pow(10.0, std::floor(std::log10(n)) - 2);
    n = std::round(n / unit) * unit;
  }
  if (n < 1) n = 1;
  if (n > 9e17) return QStringLiteral("1:") + QString::number(n, 'g', 3);
  return QStringLiteral("1:") + Grouped(static_cast<long long>(n));
}

QString LengthText(double metres) {
  if (!std::isfinite(metres)) return QStringLiteral("?");
  const double a = std::abs(metres);
  if (a >= 1000) return Plain(metres / 1000) + QStringLiteral(" km");
  if (a >= 1 || a == 0) return Plain(metres) + QStringLiteral(" m");
  if (a >= 0.01) return Plain(metres * 100) + QStringLiteral(" cm");
  return Plain(metres * 1000) + QStringLiteral(" mm");
}

QString CoordinateText(double easting, double northing, double units_per_pixel) {
  int decimals = 0;
  if (Positive(units_per_pixel) && units_per_pixel < 1) {
    decimals = static_cast<int>(std::clamp(std::ceil(-std::log10(units_per_pixel)), 0.0, 3.0));
  }
  return QStringLiteral("E %1  N %2")
      .arg(QString::number(easting, 'f', decimals), QString::number(northing, 'f', decimals));
}

// ---------------------------------------------------------------- grid

double GridSpacing(double units_per_pixel, double min_pixels) {
  if (!Positive(units_per_pixel) || !Positive(min_pixels)) return 0;
  return RoundUp125(units_per_pixel * min_pixels);
}

std::vector<double> GridValues(double lo, double hi, double step, size_t max_lines) {
  std::vector<double> out;
  if (!std::isfinite(lo) || !std::isfinite(hi) || !Positive(step) || hi < lo) return out;
  const double first = std::ceil(lo / step);
  const double last = std::floor(hi / step);
  if (!(last - first < static_cast<double>(max_lines))) return out;
  for (double k = first; k <= last; k += 1) out.push_back(k * step);
  return out;
}

QString GridValueText(double value, double step) {
  int decimals = 0;
  if (Positive(step) && step < 1) {
    decimals = static_cast<int>(std::clamp(std::ceil(-std::log10(step) - 1e-9), 0.0, 9.0));
  }
  // -0 reads as 0.
  if (value == 0) value = 0;
  return QString::number(value, 'f', decimals);
}

std::vector<GridLabel> PlaceGridLabels(const ViewTransform& view, QSize size, double step,
                                       const std::function<QSizeF(const QString&)>& measure,
                                       double pad, double keep_right, double keep_bottom) {
  std::vector<GridLabel> out;
  const double w = size.width();
  const double h = size.height();
  if (!Positive(step) || w <= 0 || h <= 0) return out;
  constexpr double kGap = 4.0;  // pixels kept free between labels on an edge

  const std::vector<double> xs = GridValues(WorldX(view, 0), WorldX(view, w), step);
  const std::vector<double> ys = GridValues(WorldY(view, h), WorldY(view, 0), step);

  // The top band holds the eastings, the left band the northings; each stays
  // out of the corner the other uses.
  double text_height = 0;
  double left_band = pad;
  std::vector<std::pair<double, QString>> north;
  for (auto it = ys.rbegin(); it != ys.rend(); ++it) {  // top to bottom
    const QString t = GridValueText(*it, step);
    const QSizeF s = measure(t);
    text_height = std::max(text_height, s.height());
    left_band = std::max(left_band, pad + s.width() + kGap);
    north.emplace_back(view.ScreenY(*it), t);
  }
  std::vector<std::pair<double, QString>> east;
  for (const double x : xs) {
    const QString t = GridValueText(x, step);
    text_height = std::max(text_height, measure(t).height());
    east.emplace_back(view.ScreenX(x), t);
  }
  const double top_band = pad + text_height + kGap;

  double right_of_last = -1e300;
  for (const auto& [sx, text] : east) {
    const QSizeF s = measure(text);
    const QRectF box(sx - s.width() / 2, pad, s.width(), s.height());
    if (box.left() < left_band || box.right() > w - pad - keep_right) continue;
    if (box.left() < right_of_last + kGap) continue;
    out.push_back({box, text, true});
    right_of_last = box.right();
  }
  double below_last = -1e300;
  for (const auto& [sy, text] : north) {
    const QSizeF s = measure(text);
    const QRectF box(pad, sy - s.height() / 2, s.width(), s.height());
    if (box.top() < top_band || box.bottom() > h - pad - keep_bottom) continue;
    if (box.top() < below_last + kGap) continue;
    out.push_back({box, text, false});
    below_last = box.bottom();
  }
  return out;
}

// ---------------------------------------------------------------- texts

void TextPlacement::Clear() {
  skipped_ = 0;
  boxes_.clear();
  placed_.clear();
  cells_.clear();
}

bool TextPlacement::Overlaps(const QRectF& box) const {
  const auto x0 = static_cast<int64_t>(std::floor(box.left() / kTextCell));
  const auto x1 = static_cast<int64_t>(std::floor(box.right() / kTextCell));
  const auto y0 = static_cast<int64_t>(std::floor(box.top() / kTextCell));
  const auto y1 = static_cast<int64_t>(std::floor(box.bottom() / kTextCell));
  for (int64_t cy = y0; cy <= y1; ++cy) {
    for (int64_t cx = x0; cx <= x1; ++cx) {
      const auto it = cells_.find(CellKey(cx, cy));
      if (it == cells_.end()) continue;
      for (const size_t id : it->second) {
        if (placed_[id].intersects(box)) return true;
      }
    }
  }
  return false;
}

void TextPlacement::Index(const QRectF& box, size_t id) {
  const auto x0 = static_cast<int64_t>(std::floor(box.left() / kTextCell));
  const auto x1 = static_cast<int64_t>(std::floor(box.right() / kTextCell));
  const auto y0 = static_cast<int64_t>(std::floor(box.top() / kTextCell));
  const auto y1 = static_cast<int64_t>(std::floor(box.bottom() / kTextCell));
  for (int64_t cy = y0; cy <= y1; ++cy) {
    for (int64_t cx = x0; cx <= x1; ++cx) cells_[CellKey(cx, cy)].push_back(id);
  }
}

bool TextPlacement::Place(uint16_t layer, const QRectF& box, bool overview) {
  if (declutter_) {
    // Boxes of a size beyond any window would fill the cell map: such a text
    // is not decluttered, and nothing is decluttered against it.
    const bool indexable = std::isfinite(box.width()) && std::isfinite(box.height()) &&
                           box.width() < 1e5 && box.height() < 1e5 && std::abs(box.left()) < 1e6 &&
                           std::abs(box.top()) < 1e6;
    if (indexable) {
      if (overview && Overlaps(box)) {
        ++skipped_;
        return false;
      }
      placed_.push_back(box);
      Index(box, placed_.size() - 1);
    }
  }
  boxes_[layer].push_back(box);
  return true;
}

// ---------------------------------------------------------------- painting

QColor GridLineColor(ColorScheme scheme) { return SchemeColor(QColor(150, 170, 200), scheme); }

namespace {

// Blends `color` (opaque) over `count` pixels at `p` by `share` (0..256).
void BlendPixels(uint32_t* p, ptrdiff_t step, int count, QRgb color, int share) {
  const uint32_t keep = 256 - static_cast<uint32_t>(share);
  const auto add = static_cast<uint32_t>(share);
  const uint32_t rb = (color & 0xFF00FFu) * add;
  const uint32_t g = (color & 0x00FF00u) * add;
  const auto blend = [&](uint32_t d) {
    const uint32_t out_rb = (((d & 0xFF00FFu) * keep + rb) >> 8) & 0xFF00FFu;
    const uint32_t out_g = (((d & 0x00FF00u) * keep + g) >> 8) & 0x00FF00u;
    return 0xFF000000u | out_rb | out_g;
  };
  // Lines are drawn over the plain background: runs of one colour are the
  // rule, and their blend is worked out once.
  uint32_t last_in = 0;
  uint32_t last_out = blend(0);
  for (int i = 0; i < count; ++i, p += step) {
    const uint32_t d = *p;
    if (d != last_in) {
      last_in = d;
      last_out = blend(d);
    }
    *p = last_out;
  }
}

// The image pixels [lo, hi) that window pixels [from, to] cover, within
// [0, limit).
std::pair<int, int> DeviceRange(int from, int to, double dpr, int limit) {
  const int lo = std::clamp(static_cast<int>(std::floor(from * dpr)), 0, limit);
  const int hi = std::clamp(static_cast<int>(std::ceil((to + 1) * dpr)), lo, limit);
  return {lo, hi};
}

// Calls `fill(pixel, share)` for each image pixel that the band from `lo`
// to `hi` (image pixels) covers within [first, last), share 1..256.
template <typename Fill>
void CoveredPixels(double lo, double hi, int first, int last, Fill fill) {
  if (!(lo < hi)) return;
  const int a = std::max(static_cast<int>(std::floor(lo)), first);
  const int b = std::min(static_cast<int>(std::ceil(hi)), last);
  for (int c = a; c < b; ++c) {
    const double cover = std::min(hi, c + 1.0) - std::max(lo, static_cast<double>(c));
    const int share = static_cast<int>(std::lround(cover * 256));
    if (share > 0) fill(c, std::min(share, 256));
  }
}

}  // namespace

void PaintGridLines(QImage& image, double device_pixel_ratio, const ViewTransform& view, QSize size,
                    const QRect& region, ColorScheme scheme) {
  const double step = GridSpacing(view.units_per_pixel, kGridMinPixels);
  const QRect window(QPoint(0, 0), size);
  const QRect area = region & window;
  if (step <= 0 || area.isEmpty() || image.depth() != 32) return;
  const double dpr =
      std::isfinite(device_pixel_ratio) && device_pixel_ratio > 0 ? device_pixel_ratio : 1.0;
  const QRgb color = GridLineColor(scheme).rgb();
  // Plain variables, not structured bindings: the lambdas below capture them.
  const std::pair<int, int> columns = DeviceRange(area.left(), area.right(), dpr, image.width());
  const std::pair<int, int> rows = DeviceRange(area.top(), area.bottom(), dpr, image.height());
  const int x0 = columns.first;
  const int x1 = columns.second;
  const int y0 = rows.first;
  const int y1 = rows.second;
  if (x0 >= x1 || y0 >= y1) return;
  const ptrdiff_t stride = image.bytesPerLine() / 4;
  auto* bits = reinterpret_cast<uint32_t*>(image.bits());
  // Every line near the region, so that a line is the same pixels however
  // much of it is painted at a time.
  for (const double x :
       GridValues(WorldX(view, area.left() - 2.0), WorldX(view, area.right() + 3.0), step)) {
    const double sx = view.ScreenX(x);
    CoveredPixels((sx - 0.5) * dpr, (sx + 0.5) * dpr, x0, x1, [&](int c, int share) {
      BlendPixels(bits + y0 * stride + c, stride, y1 - y0, color, share);
    });
  }
  for (const double y :
       GridValues(WorldY(view, area.bottom() + 3.0), WorldY(view, area.top() - 2.0), step)) {
    const double sy = view.ScreenY(y);
    CoveredPixels((sy - 0.5) * dpr, (sy + 0.5) * dpr, y0, y1, [&](int r, int share) {
      BlendPixels(bits + r * stride + x0, 1, x1 - x0, color, share);
    });
  }
}

// ---------------------------------------------------------------- texts kept

struct FurnitureTexts::Laid {
  QStaticText text;
  double width = 0;
};

struct FurnitureTexts::Data {
  QFont font = FurnitureFont();
  QFontMetricsF metrics{font};
  QHash<QString, Laid> laid;
};

FurnitureTexts::FurnitureTexts() : d_(std::make_unique<Data>()) { height_ = d_->metrics.height(); }
FurnitureTexts::~FurnitureTexts() = default;

const QFont& FurnitureTexts::Font() const { return d_->font; }
size_t FurnitureTexts::Kept() const { return static_cast<size_t>(d_->laid.size()); }

FurnitureTexts::Laid& FurnitureTexts::Get(const QString& text) {
  const auto it = d_->laid.find(text);
  if (it != d_->laid.end()) return *it;
  // The readout brings a new text at each move of the mouse: the kept ones
  // are dropped in a batch rather than one by one.
  if (static_cast<size_t>(d_->laid.size()) >= kMaxKept) d_->laid.clear();
  Laid laid;
  laid.width = d_->metrics.horizontalAdvance(text);
  laid.text.setTextFormat(Qt::PlainText);
  laid.text.setText(text);
  laid.text.prepare(QTransform(), d_->font);
  return *d_->laid.insert(text, laid);
}

double FurnitureTexts::Width(const QString& text) { return Get(text).width; }

void FurnitureTexts::Draw(QPainter& painter, const QRectF& box, const QString& text,
                          Qt::Alignment alignment) {
  const Laid& laid = Get(text);
  double x = box.left();
  if (alignment & Qt::AlignHCenter) {
    x += (box.width() - laid.width) / 2;
  } else if (alignment & Qt::AlignRight) {
    x = box.right() - laid.width;
  }
  const double y = box.top() + (box.height() - height_) / 2;
  if (painter.font() != d_->font) painter.setFont(d_->font);
  painter.drawStaticText(QPointF(x, y), laid.text);
}

namespace {

// Text on a panel of the background colour, so that it reads over lines.
void PanelText(QPainter& painter, FurnitureTexts& texts, const QRectF& box, const QString& text,
               const QColor& ink, const QColor& panel) {
  painter.fillRect(box.adjusted(-3, -1, 3, 1), panel);
  painter.setPen(ink);
  texts.Draw(painter, box, text, Qt::AlignCenter);
}

void PaintScaleBar(QPainter& painter, const ViewTransform& view, QSize size,
                   const FurnitureOptions& o, FurnitureTexts& texts, const QColor& ink,
                   const QColor& panel) {
  const double max_pixels = std::clamp(size.width() / 5.0, 40.0, 200.0);
  const ScaleBar bar = ChooseScaleBar(view.units_per_pixel, max_pixels);
  if (bar.pixels <= 0) return;
  const QString length = LengthText(bar.metres);
  const QString scale = ScaleText(ScaleDenominator(view.units_per_pixel, o.dots_per_inch));
  const double x0 = 12;
  const double y = size.height() - 14;  // the bar's bottom
  const double bar_h = 5;
  const double text_h = texts.Height();
  const double scale_w = texts.Width(scale);
  painter.fillRect(
      QRectF(x0 - 4, y - bar_h - text_h - 4, bar.pixels + 16 + scale_w + 8, bar_h + text_h + 8),
      panel);
  // Four segments, black and white by turns.
  painter.setPen(QPen(ink, 1));
  for (int i = 0; i < 4; ++i) {
    const QRectF seg(x0 + bar.pixels * i / 4, y - bar_h, bar.pixels / 4, bar_h);
    painter.fillRect(seg, i % 2 == 0 ? ink : panel);
  }
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(x0, y - bar_h, bar.pixels, bar_h));
  texts.Draw(painter, QRectF(x0, y - bar_h - text_h - 2, bar.pixels, text_h), length,
             Qt::AlignCenter);
  texts.Draw(painter, QRectF(x0 + bar.pixels + 10, y - text_h, scale_w + 2, text_h), scale,
             Qt::AlignLeft | Qt::AlignVCenter);
}

void PaintNorthArrow(QPainter& painter, QSize size, double top, FurnitureTexts& texts,
                     const QColor& ink, const QColor& panel) {
  // Grid north is straight up: the chart is drawn on the grid.
  const double cx = size.width() - 28.0;
  const double text_h = texts.Height();
  const double tip = top + text_h + 6;
  const double len = 30;
  painter.setPen(Qt::NoPen);
  painter.setBrush(panel);
  painter.drawEllipse(QPointF(cx, tip + len / 2 - text_h / 2), len / 2 + text_h / 2 + 4,
                      len / 2 + text_h / 2 + 4);
  QPolygonF left;
  left << QPointF(cx, tip) << QPointF(cx - 8, tip + len) << QPointF(cx, tip + len - 8);
  QPolygonF right;
  right << QPointF(cx, tip) << QPointF(cx + 8, tip + len) << QPointF(cx, tip + len - 8);
  painter.setPen(QPen(ink, 1));
  painter.setBrush(ink);
  painter.drawPolygon(left);
  painter.setBrush(panel);
  painter.drawPolygon(right);
  texts.Draw(painter, QRectF(cx - 10, tip - text_h - 2, 20, text_h), QStringLiteral("N"),
             Qt::AlignCenter);
}

}  // namespace

void PaintFurniture(QPainter& painter, const ViewTransform& view, QSize size,
                    const FurnitureOptions& o, FurnitureTexts& texts) {
  if (!o.scale_bar && !o.north_arrow && !o.readout && !o.grid) return;
  painter.save();
  painter.setClipping(false);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setFont(texts.Font());
  const double text_h = texts.Height();
  const QColor ink = SchemeColor(QColor(0, 0, 0), o.scheme);
  QColor panel = SchemeColor(QColor(255, 255, 255), o.scheme);
  panel.setAlpha(200);

  double top = 4;
  if (o.grid) {
    const double step = GridSpacing(view.units_per_pixel, kGridMinPixels);
    const QColor label_ink = SchemeColor(QColor(40, 60, 110), o.scheme);
    const auto measure = [&texts, text_h](const QString& t) {
      return QSizeF(texts.Width(t), text_h);
    };
    // The north arrow sits at the top right, the scale bar and readout at
    // the bottom.
    const double keep_right = o.north_arrow ? 56.0 : 0.0;
    const double keep_bottom = o.scale_bar || o.readout ? 2 * text_h + 12 : 0.0;
    for (const GridLabel& label :
         PlaceGridLabels(view, size, step, measure, 4.0, keep_right, keep_bottom)) {
      PanelText(painter, texts, label.box, label.text, label_ink, panel);
    }
    top += text_h + 4;  // below the eastings
  }
  if (o.scale_bar) PaintScaleBar(painter, view, size, o, texts, ink, panel);
  if (o.north_arrow) PaintNorthArrow(painter, size, top, texts, ink, panel);
  if (o.readout && o.cursor) {
    const QString text = CoordinateText(WorldX(view, o.cursor->x()), WorldY(view, o.cursor->y()),
                                        view.units_per_pixel);
    const double w = texts.Width(text) + 2;
    const QRectF box(size.width() - w - 10, size.height() - text_h - 8, w, text_h);
    PanelText(painter, texts, box, text, ink, panel);
  }
  painter.restore();
}

}  // namespace halvex::mapcontrol
