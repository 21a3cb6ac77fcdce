// SPDX-License-Identifier: GPL-3.0-or-later
// The arithmetic of the chart furniture: round lengths, the scale, the grid
// and its labels, the colour schemes, the placing of texts, and moving a
// picture in place.

#include "mapcontrol/ChartFurniture.hpp"

#include <gtest/gtest.h>

#include <QImage>
#include <QLineF>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "mapcontrol/ChartCache.hpp"
#include "mapcontrol/ChartRenderer.hpp"

namespace halvex::mapcontrol {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(ChartFurnitureScale, RoundLengthsAreOneTwoFiveSteps) {
  struct Case {
    double v, down, up;
  };
  for (const Case& c : {Case{1, 1, 1}, Case{0.3, 0.2, 0.5}, Case{7.5, 5, 10}, Case{2, 2, 2},
                        Case{199, 100, 200}, Case{5000, 5000, 5000}, Case{3e-5, 2e-5, 5e-5},
                        Case{9.99e11, 5e11, 1e12}, Case{0.1, 0.1, 0.1}, Case{0.7, 0.5, 1}}) {
    EXPECT_DOUBLE_EQ(RoundDown125(c.v), c.down) << c.v;
    EXPECT_DOUBLE_EQ(RoundUp125(c.v), c.up) << c.v;
  }
  for (const double bad : {0.0, -3.0, kNaN, kInf}) {
    EXPECT_EQ(RoundDown125(bad), 0) << bad;
    EXPECT_EQ(RoundUp125(bad), 0) << bad;
  }
}

TEST(ChartFurnitureScale, BarIsRoundAndFitsItsSpace) {
  EXPECT_DOUBLE_EQ(ChooseScaleBar(2.5, 200).metres, 500);
  EXPECT_DOUBLE_EQ(ChooseScaleBar(2.5, 200).pixels, 200);
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> exponent(-4, 6);
  for (int i = 0; i < 2000; ++i) {
    const double upp = std::pow(10.0, exponent(random));
    const ScaleBar bar = ChooseScaleBar(upp, 150);
    // Never longer than its space, and never shorter than the next step
    // down of 1-2-5 allows (a factor of 2.5).
    EXPECT_LE(bar.pixels, 150 * (1 + 1e-9)) << upp;
    EXPECT_GT(bar.pixels, 150 / 2.5 * (1 - 1e-9)) << upp;
    EXPECT_DOUBLE_EQ(RoundDown125(bar.metres), bar.metres);
  }
  EXPECT_EQ(ChooseScaleBar(kNaN, 150).pixels, 0);
  EXPECT_EQ(ChooseScaleBar(1, 0).pixels, 0);
}

TEST(ChartFurnitureScale, DenominatorAtThePhysicalResolution) {
  // A pixel of 1/96 inch showing a metre: 1 m / 0.2646 mm.
  EXPECT_NEAR(ScaleDenominator(1.0, 96), 3779.527559, 1e-6);
  EXPECT_NEAR(ScaleDenominator(2.0, 192), 4 * 3779.527559, 1e-5);
  EXPECT_EQ(ScaleDenominator(1.0, 0), 0);
  EXPECT_EQ(ScaleText(ScaleDenominator(1.0, 96)), QStringLiteral("1:3 780"));
  EXPECT_EQ(ScaleText(25000), QStringLiteral("1:25 000"));
  EXPECT_EQ(ScaleText(24987.3), QStringLiteral("1:25 000"));
  EXPECT_EQ(ScaleText(999.6), QStringLiteral("1:1 000"));
  EXPECT_EQ(ScaleText(250.4), QStringLiteral("1:250"));
  EXPECT_EQ(ScaleText(0.3), QStringLiteral("1:1"));
  EXPECT_EQ(ScaleText(123456789), QStringLiteral("1:123 000 000"));
  EXPECT_EQ(ScaleText(kNaN), QStringLiteral("1:?"));
  EXPECT_EQ(UsableDotsPerInch(0), kFallbackDotsPerInch);
  EXPECT_EQ(UsableDotsPerInch(kNaN), kFallbackDotsPerInch);
  EXPECT_EQ(UsableDotsPerInch(141.2), 141.2);
}

TEST(ChartFurnitureScale, Texts) {
  EXPECT_EQ(LengthText(500), QStringLiteral("500 m"));
  EXPECT_EQ(LengthText(2000), QStringLiteral("2 km"));
  EXPECT_EQ(LengthText(1500), QStringLiteral("1.5 km"));
  EXPECT_EQ(LengthText(1), QStringLiteral("1 m"));
  EXPECT_EQ(LengthText(0.5), QStringLiteral("50 cm"));
  EXPECT_EQ(LengthText(0.002), QStringLiteral("2 mm"));
  // The readout shows what a pixel resolves.
  EXPECT_EQ(CoordinateText(500123.456, 6000123.456, 2.0), QStringLiteral("E 500123  N 6000123"));
  EXPECT_EQ(CoordinateText(500123.456, 6000123.456, 0.05),
            QStringLiteral("E 500123.46  N 6000123.46"));
  EXPECT_EQ(CoordinateText(1.23456, -2.5, 1e-9), QStringLiteral("E 1.235  N -2.500"));
}

TEST(ChartFurnitureGrid, LinesAtRoundMultiples) {
  EXPECT_DOUBLE_EQ(GridSpacing(1.0, 120), 200);
  EXPECT_DOUBLE_EQ(GridSpacing(0.01, 120), 2);
  EXPECT_EQ(GridValues(-250, 250, 100), (std::vector<double>{-200, -100, 0, 100, 200}));
  // Bounds on a line are kept.
  EXPECT_EQ(GridValues(100, 300, 100), (std::vector<double>{100, 200, 300}));
  EXPECT_TRUE(GridValues(0, 1e9, 1).empty()) << "too many lines draws none";
  EXPECT_TRUE(GridValues(kNaN, 1, 1).empty());
  EXPECT_TRUE(GridValues(0, 1, 0).empty());
  EXPECT_TRUE(GridValues(5, 1, 1).empty());
  // Far from the origin the multiples stay exact enough to label.
  const std::vector<double> far = GridValues(6000010, 6000990, 200);
  ASSERT_EQ(far.size(), 4u);
  EXPECT_EQ(GridValueText(far[0], 200), QStringLiteral("6000200"));
  EXPECT_EQ(GridValueText(0.5, 0.1), QStringLiteral("0.5"));
  EXPECT_EQ(GridValueText(0.25, 0.05), QStringLiteral("0.25"));
  EXPECT_EQ(GridValueText(-0.0, 1), QStringLiteral("0"));
}

TEST(ChartFurnitureGrid, LabelsStayInsideAndApart) {
  // 800 x 600 pixels at 1 m per pixel around (500000, 6000000).
  const ViewTransform view{500000.3, 6000000.7, 1.0, 400, 300};
  const QSize size(800, 600);
  const double step = GridSpacing(view.units_per_pixel, kGridMinPixels);  // 200 m
  const auto measure = [](const QString& t) { return QSizeF(7.0 * t.size(), 14); };
  const std::vector<GridLabel> labels = PlaceGridLabels(view, size, step, measure, 4);
  int eastings = 0;
  int northings = 0;
  double top_band = 0;
  for (const GridLabel& l : labels) {
    EXPECT_TRUE(QRectF(0, 0, 800, 600).contains(l.box)) << l.text.toStdString();
    if (l.easting) {
      ++eastings;
      // Centred on its line.
      const double x = l.text.toDouble();
      EXPECT_NEAR(l.box.center().x(), view.ScreenX(x), 1e-9);
      top_band = std::max(top_band, l.box.bottom());
    } else {
      ++northings;
      EXPECT_NEAR(l.box.center().y(), view.ScreenY(l.text.toDouble()), 1e-9);
    }
  }
  EXPECT_GE(eastings, 3);
  EXPECT_GE(northings, 2);
  for (size_t i = 0; i < labels.size(); ++i) {
    for (size_t j = i + 1; j < labels.size(); ++j) {
      EXPECT_FALSE(labels[i].box.intersects(labels[j].box))
          << labels[i].text.toStdString() << " / " << labels[j].text.toStdString();
    }
    if (!labels[i].easting) {
      EXPECT_GT(labels[i].box.top(), top_band);
    }
  }
  // Room kept for other furniture.
  for (const GridLabel& l : PlaceGridLabels(view, size, step, measure, 4, 150, 250)) {
    if (l.easting) {
      EXPECT_LE(l.box.right(), 800 - 4 - 150);
    } else {
      EXPECT_LE(l.box.bottom(), 600 - 4 - 250);
    }
  }
  // Labels wider than the spacing: every other one goes, none overlap.
  const auto wide = [](const QString&) { return QSizeF(250, 14); };
  const std::vector<GridLabel> few = PlaceGridLabels(view, size, step, wide, 4);
  int wide_eastings = 0;
  for (const GridLabel& l : few) wide_eastings += l.easting ? 1 : 0;
  EXPECT_GE(wide_eastings, 1);
  EXPECT_LT(wide_eastings, eastings);
  for (size_t i = 0; i + 1 < few.size(); ++i) {
    if (few[i].easting && few[i + 1].easting) {
      EXPECT_LT(few[i].box.right(), few[i + 1].box.left());
    }
  }
}

double Lightness(const QColor& c) { return c.lightnessF(); }

// The grid blended straight into the picture against Qt's antialiased lines
// at the same places, at whole, half and other fractional positions and at
// two image pixels per window pixel; painted in pieces, it is the same
// pixels as painted whole.
TEST(ChartFurnitureGrid, LinesBlendAsQtAntialiasesThem) {
  const QSize size(320, 200);
  const QColor white(255, 255, 255);
  for (const double dpr : {1.0, 2.0}) {
    for (const ViewTransform& view :
         {ViewTransform{1000.5, 2000.5, 1.0, 160, 100}, ViewTransform{0.37, -12.9, 1.3, 160, 100},
          ViewTransform{-5.25, 7.75, 0.05, 160, 100}}) {
      const QSize pixels(static_cast<int>(size.width() * dpr),
                         static_cast<int>(size.height() * dpr));
      QImage ours(pixels, QImage::Format_RGB32);
      ours.fill(white);
      PaintGridLines(ours, dpr, view, size, QRect(QPoint(0, 0), size), ColorScheme::kNight);
      QImage qt(pixels, QImage::Format_RGB32);
      qt.fill(white);
      qt.setDevicePixelRatio(dpr);
      {
        QPainter p(&qt);
        p.setRenderHint(QPainter::Antialiasing, true);
        QPen pen(GridLineColor(ColorScheme::kNight));
        pen.setWidth(1);
        pen.setCapStyle(Qt::FlatCap);
        p.setPen(pen);
        const double step = GridSpacing(view.units_per_pixel, kGridMinPixels);
        const Rect w = view.World(0);
        for (const double x : GridValues(w.min_x, w.max_x, step)) {
          p.drawLine(QLineF(view.ScreenX(x), -1, view.ScreenX(x), size.height() + 1));
        }
        for (const double y : GridValues(w.min_y, w.max_y, step)) {
          p.drawLine(QLineF(-1, view.ScreenY(y), size.width() + 1, view.ScreenY(y)));
        }
      }
      int largest = 0;
      int64_t lined = 0;
      for (int y = 0; y < pixels.height(); ++y) {
        for (int x = 0; x < pixels.width(); ++x) {
          const QRgb a = ours.pixel(x, y);
          const QRgb b = qt.pixel(x, y);
          largest = std::max({largest, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))});
          lined += a != white.rgb() ? 1 : 0;
        }
      }
      // Qt places the line's edges to 1/64 pixel: a few levels apart at most,
      // where half a pixel off would be a hundred.
      EXPECT_LE(largest, 8) << dpr << " " << view.units_per_pixel;
      EXPECT_GT(lined, size.height() * dpr) << "lines are drawn";

      // In pieces that split lines and crossings.
      QImage pieces(pixels, QImage::Format_RGB32);
      pieces.fill(white);
      for (const QRect& r : {QRect(0, 0, 161, 77), QRect(161, 0, 159, 77), QRect(0, 77, 3, 123),
                             QRect(3, 77, 317, 123)}) {
        PaintGridLines(pieces, dpr, view, size, r, ColorScheme::kNight);
      }
      EXPECT_EQ(pieces, ours) << dpr << " " << view.units_per_pixel;
    }
  }
  // Nothing outside the window or on an image that is not 32 bits deep.
  QImage small(10, 10, QImage::Format_RGB32);
  small.fill(white);
  const QImage before = small.copy();
  PaintGridLines(small, 1.0, ViewTransform{0, 0, 1, 5, 5}, QSize(10, 10), QRect(20, 20, 5, 5),
                 ColorScheme::kDay);
  EXPECT_EQ(small, before);
  QImage grey(10, 10, QImage::Format_Grayscale8);
  grey.fill(0);
  PaintGridLines(grey, 1.0, ViewTransform{0, 0, 1, 5, 5}, QSize(10, 10), QRect(0, 0, 10, 10),
                 ColorScheme::kDay);
  EXPECT_EQ(grey.pixelColor(5, 5).red(), 0);
}

TEST(ChartFurnitureColours, NightDarkensTheBackgroundAndDimsThePens) {
  const QColor white(255, 255, 255);
  const QColor black(0, 0, 0);
  const QColor red(255, 0, 0);
  const QColor grey(128, 128, 128);
  for (const QColor& c : {white, black, red, grey, QColor(12, 200, 99, 77)}) {
    EXPECT_EQ(SchemeColor(c, ColorScheme::kDay), c);
  }
  const QColor night_bg = SchemeColor(white, ColorScheme::kNight);
  const QColor dusk_bg = SchemeColor(white, ColorScheme::kDusk);
  EXPECT_LT(Lightness(night_bg), 0.05);
  EXPECT_LT(Lightness(night_bg), Lightness(dusk_bg));
  EXPECT_LT(Lightness(dusk_bg), 0.25);
  // No colour is brighter at night than the dimmest bright pen allowed, and
  // every pen stays apart from the background.
  std::mt19937 random(5);
  std::uniform_int_distribution<int> channel(0, 255);
  for (int i = 0; i < 500; ++i) {
    const QColor c(channel(random), channel(random), channel(random), channel(random));
    const QColor n = SchemeColor(c, ColorScheme::kNight);
    EXPECT_LE(std::max({n.red(), n.green(), n.blue()}), 0.38 * 2 * 255 + 1) << i;
    EXPECT_LE(Lightness(n), 0.381) << i;
    EXPECT_EQ(n.alpha(), c.alpha());
  }
  const QColor night_black = SchemeColor(black, ColorScheme::kNight);
  EXPECT_GT(Lightness(night_black) - Lightness(night_bg), 0.3) << "lines read on the background";
  // Red stays red.
  const QColor night_red = SchemeColor(red, ColorScheme::kNight);
  EXPECT_GT(night_red.red(), night_red.green() + 40);
  EXPECT_GT(night_red.red(), night_red.blue() + 40);
  EXPECT_EQ(ColorSchemeFromInt(2), ColorScheme::kNight);
  EXPECT_EQ(ColorSchemeFromInt(7), ColorScheme::kDay);
  EXPECT_EQ(ColorSchemeFromInt(-1), ColorScheme::kDay);
}

// Relative luminance, computed here from the sRGB definition.
double TestLuminance(const QColor& c) {
  const auto lin = [](double v) {
    v /= 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * lin(c.red()) + 0.7152 * lin(c.green()) + 0.0722 * lin(c.blue());
}

// Dark pens of strong colours (navy marks, red vessels) give off enough light
// in the dark schemes to be seen on the dark background, keep their hue and
// stay within the scheme's dimness; the background and light colours stay
// dark, so the screen stays dim.
TEST(ChartFurnitureColours, DarkPensStayVisibleAtNightAndDusk) {
  const QColor night_bg = SchemeColor(QColor(255, 255, 255), ColorScheme::kNight);
  const QColor dusk_bg = SchemeColor(QColor(255, 255, 255), ColorScheme::kDusk);
  struct Pen {
    QColor day;
    int strongest;  // 0 red, 1 green, 2 blue
  };
  for (const Pen& pen :
       {Pen{QColor(0, 0, 160), 2}, Pen{QColor(0, 0, 255), 2}, Pen{QColor(0, 0, 90), 2},
        Pen{QColor(255, 0, 0), 0}, Pen{QColor(140, 0, 0), 0}, Pen{QColor(0, 96, 0), 1},
        Pen{QColor(40, 60, 110), 2}, Pen{QColor(90, 0, 120), 2}}) {
    const QColor night = SchemeColor(pen.day, ColorScheme::kNight);
    const QColor dusk = SchemeColor(pen.day, ColorScheme::kDusk);
    // At least 20 times the night background's light, 5 times dusk's.
    EXPECT_GT(TestLuminance(night), 20 * TestLuminance(night_bg)) << pen.day.name().toStdString();
    EXPECT_GT(TestLuminance(dusk), 5 * TestLuminance(dusk_bg)) << pen.day.name().toStdString();
    EXPECT_LE(Lightness(night), 0.381) << pen.day.name().toStdString();
    EXPECT_LE(Lightness(dusk), 0.801) << pen.day.name().toStdString();
    for (const QColor& c : {night, dusk}) {
      const int channels[3] = {c.red(), c.green(), c.blue()};
      for (int k = 0; k < 3; ++k) {
        if (k != pen.strongest) {
          EXPECT_GT(channels[pen.strongest], channels[k]) << pen.day.name().toStdString();
        }
      }
    }
  }
  // The background and light colours are not lifted.
  EXPECT_LT(TestLuminance(night_bg), 0.005);
  EXPECT_LT(TestLuminance(SchemeColor(QColor(250, 250, 235), ColorScheme::kNight)), 0.008);
  EXPECT_LT(TestLuminance(SchemeColor(QColor(255, 255, 160), ColorScheme::kNight)), 0.03);
  // Neither is black, which already stands out.
  EXPECT_EQ(SchemeColor(QColor(0, 0, 0), ColorScheme::kNight).lightnessF(),
            QColor::fromHslF(0, 0, 0.38f).toRgb().lightnessF());
}

TEST(ChartFurnitureTexts, DeclutterSkipsOverlapsInDrawingOrderAtOverviewOnly) {
  TextPlacement t;
  const QRectF a(0, 0, 50, 10);
  const QRectF overlapping_a(40, 5, 50, 10);
  const QRectF apart(200, 0, 50, 10);
  // Off: everything is drawn and recorded.
  EXPECT_TRUE(t.Place(0, a, true));
  EXPECT_TRUE(t.Place(0, overlapping_a, true));
  EXPECT_EQ(t.Boxes().at(0).size(), 2u);
  t.Clear();
  t.SetDeclutter(true);
  EXPECT_TRUE(t.Place(0, a, false));
  // Not at overview scale: drawn, but it still takes its place.
  EXPECT_TRUE(t.Place(1, overlapping_a, false));
  EXPECT_FALSE(t.Place(2, QRectF(45, 8, 10, 10), true)) << "the later text is the one skipped";
  EXPECT_TRUE(t.Place(2, apart, true));
  // Boxes across cells and negative coordinates.
  EXPECT_TRUE(t.Place(2, QRectF(-300, -300, 20, 20), true));
  EXPECT_FALSE(t.Place(2, QRectF(-290, -290, 200, 200), true));
  EXPECT_FALSE(t.Place(3, QRectF(-1000, -1000, 2000, 2000), true)) << "spans many cells";
  EXPECT_EQ(t.Skipped(), 3u);
  EXPECT_EQ(t.Boxes().at(2).size(), 2u);
  EXPECT_EQ(t.Boxes().count(3), 0u);
  // A box too large to index is drawn and does not block others.
  EXPECT_TRUE(t.Place(4, QRectF(-1e7, -1e7, 2e7, 2e7), true));
  EXPECT_TRUE(t.Place(4, QRectF(500, 500, 5, 5), true));
  t.Clear();
  EXPECT_EQ(t.Skipped(), 0u);
  EXPECT_TRUE(t.Boxes().empty());
  EXPECT_TRUE(t.Place(0, QRectF(45, 8, 10, 10), true));
}

// Crosses stamped from centres in narrow strips (as a region paint sets
// them) against a pixel-by-pixel stamp, round after round on one mask: every
// arm is set, nothing else is, and a clear leaves nothing behind for the
// next round.
TEST(ChartPixelMask, CrossesInStripsMatchAPixelByPixelStamp) {
  constexpr int kW = 300;
  constexpr int kH = 90;
  constexpr int kMargin = 8;
  PixelMask centres;
  PixelMask mask;
  centres.Reset(kW, kH, kMargin);
  mask.Reset(kW, kH, kMargin);
  std::mt19937 random(21);
  for (int round = 0; round < 40; ++round) {
    const int arm = round % 5;
    // A strip a few pixels wide, often across a 64-pixel word boundary.
    const int x0 = static_cast<int>(random() % (kW + kMargin)) - kMargin;
    const int width = 1 + static_cast<int>(random() % 6);
    std::vector<uint8_t> want(static_cast<size_t>((kW + 2 * kMargin) * (kH + 2 * kMargin)), 0);
    const auto at = [&](int x, int y) -> uint8_t* {
      if (x < -kMargin || y < -kMargin || x >= kW + kMargin || y >= kH + kMargin) return nullptr;
      return &want[static_cast<size_t>((y + kMargin) * (kW + 2 * kMargin) + x + kMargin)];
    };
    for (int n = 0; n < 25; ++n) {
      const int x = x0 + static_cast<int>(random() % static_cast<unsigned>(width));
      const int y = static_cast<int>(random() % (kH + 2 * kMargin)) - kMargin;
      centres.Set(x, y);
      for (int k = -arm; k <= arm; ++k) {
        if (uint8_t* p = at(x + k, y)) *p = 1;
        if (uint8_t* p = at(x, y + k)) *p = 1;
      }
    }
    mask.StampCrosses(centres, arm);
    centres.Clear();
    QImage image(kW, kH, QImage::Format_RGB32);
    image.fill(0u);
    QRect dirty;
    mask.Paint(image, 0xFF123456u, dirty);
    for (int y = -kMargin; y < kH + kMargin; ++y) {
      for (int x = -kMargin; x < kW + kMargin; ++x) {
        ASSERT_EQ(mask.Test(x, y), *at(x, y) != 0) << round << " at " << x << "," << y;
        if (x >= 0 && y >= 0 && x < kW && y < kH) {
          ASSERT_EQ(image.pixel(x, y) == 0xFF123456u, *at(x, y) != 0) << round;
          if (*at(x, y) != 0) {
            ASSERT_TRUE(dirty.contains(x, y)) << round;
          }
        }
      }
    }
    mask.Clear();
    ASSERT_TRUE(mask.Empty());
  }
  for (int y = -kMargin; y < kH + kMargin; ++y) {
    for (int x = -kMargin; x < kW + kMargin; ++x) {
      ASSERT_FALSE(mask.Test(x, y)) << x << "," << y;
      ASSERT_FALSE(centres.Test(x, y)) << x << "," << y;
    }
  }
}

TEST(ChartCacheShift, MovesEveryPixelLikeACopy) {
  QImage image(37, 23, QImage::Format_ARGB32_Premultiplied);
  std::mt19937 random(9);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, random() | 0xFF000000u);
  }
  for (const int dx : {-36, -5, -1, 0, 1, 4, 36}) {
    for (const int dy : {-22, -3, 0, 2, 22}) {
      QImage moved = image.copy();
      ShiftImage(moved, dx, dy);
      for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
          const int sx = x - dx;
          const int sy = y - dy;
          if (sx < 0 || sy < 0 || sx >= image.width() || sy >= image.height()) continue;
          ASSERT_EQ(moved.pixel(x, y), image.pixel(sx, sy))
              << dx << "," << dy << " at " << x << "," << y;
        }
      }
    }
  }
  QImage same = image.copy();
  ShiftImage(same, 37, 0);  // beyond the picture: left alone
  EXPECT_EQ(same, image);
}

}  // namespace
}  // namespace halvex::mapcontrol
