// SPDX-License-Identifier: GPL-3.0-or-later
// Shapes as the renderer paints them into an image: layer brushes, shape
// colours, arcs of polylines, widths in world units, and texts set by their
// capital height, turned, and kept when their anchor lies off the window.

#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "mapcontrol/ChartRenderer.hpp"

namespace halvex::mapcontrol {
namespace {

constexpr QRgb kWhite = 0xFFFFFFFFu;

// A view of `width` by `height` pixels centred on (cx, cy).
ViewTransform View(double cx, double cy, double units_per_pixel, int width = 200,
                   int height = 200) {
  return ViewTransform{cx, cy, units_per_pixel, width / 2.0, height / 2.0};
}

QImage Render(const DrawingModel& m, const ViewTransform& view) {
  QImage image(static_cast<int>(2 * view.half_width), static_cast<int>(2 * view.half_height),
               QImage::Format_ARGB32_Premultiplied);
  image.fill(kWhite);
  QPainter painter(&image);
  ChartRenderer renderer;
  renderer.Paint(m, view, painter, image.size());
  painter.end();
  return image;
}

QRgb Rgb(int bgr) {
  return 0xFF000000u | ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

// The box of the pixels that are not white.
QRect InkBox(const QImage& img) {
  QRect box;
  for (int y = 0; y < img.height(); ++y) {
    for (int x = 0; x < img.width(); ++x) {
      if (img.pixel(x, y) != kWhite) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

int CountOf(const QImage& img, QRgb colour) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y) {
    for (int x = 0; x < img.width(); ++x) n += img.pixel(x, y) == colour ? 1 : 0;
  }
  return n;
}

// A square from (-50, -50) to (50, 50), a circle of radius 30 at (0, 200)
// and an open polyline around (0, 400), on one layer.
struct Shapes {
  DrawingModel m;
  uint16_t layer = m.LayerOpen("Areas");
  Shapes() {
    m.DrawPolyline({{-50, -50}, {50, -50}, {50, 50}, {-50, 50}}, true, layer);
    m.DrawCircle(0, 200, 30, layer);
    m.DrawPolyline({{-50, 350}, {50, 350}, {50, 450}, {-50, 450}}, false, layer);
  }
};

TEST(ChartBrush, FillsClosedShapesOnlyWhenTheLayerHasABrush) {
  Shapes s;
  // No brush by default: the square's inside stays white.
  EXPECT_EQ(Render(s.m, View(0, 0, 1)).pixel(100, 100), kWhite);

  s.m.LayerSetBrushColor(s.layer, 0x0000FF);  // red
  s.m.LayerSetBrushStyle(s.layer, BrushStyle::kSolid);
  const QImage square = Render(s.m, View(0, 0, 1));
  EXPECT_EQ(square.pixel(100, 100), Rgb(0x0000FF));
  EXPECT_EQ(square.pixel(60, 140), Rgb(0x0000FF));
  EXPECT_EQ(square.pixel(20, 20), kWhite);          // outside
  EXPECT_EQ(square.pixel(50, 100), Rgb(0x000000));  // the outline above the fill
  EXPECT_EQ(Render(s.m, View(0, 200, 1)).pixel(100, 100), Rgb(0x0000FF));  // circle
  EXPECT_EQ(Render(s.m, View(0, 400, 1)).pixel(100, 100), kWhite);         // open polyline

  // Selected, it keeps its fill under the selection's outline.
  s.m.ShapeSelect(1);
  const QImage selected = Render(s.m, View(0, 0, 1));
  EXPECT_EQ(selected.pixel(100, 100), Rgb(0x0000FF));
  EXPECT_EQ(selected.pixel(50, 100), Rgb(0xFF00FF));
  s.m.ShapeDeselect(1);

  // A hatch leaves white between its lines.
  s.m.LayerSetBrushStyle(s.layer, BrushStyle::kCross);
  const QImage hatch = Render(s.m, View(0, 0, 1));
  const int red = CountOf(hatch.copy(60, 60, 80, 80), Rgb(0x0000FF));
  EXPECT_GT(red, 400);
  EXPECT_LT(red, 80 * 80 / 2);

  // Zoomed far into the square and the circle (their outlines kilometres
  // off the window), the window is all fill.
  s.m.LayerSetBrushStyle(s.layer, BrushStyle::kSolid);
  const QImage deep = Render(s.m, View(10, 10, 1e-6));
  EXPECT_EQ(CountOf(deep, Rgb(0x0000FF)), 200 * 200);
  const QImage deep_circle = Render(s.m, View(0, 200, 1e-6));
  EXPECT_EQ(CountOf(deep_circle, Rgb(0x0000FF)), 200 * 200);
}

TEST(ChartColours, ShapeColourReplacesTheLayersPen) {
  DrawingModel m;
  const uint16_t l = m.LayerOpen("L");
  m.LayerSetPenColor(l, 0x000000);
  // A long line (painted) and a short one (set as pixels when of the
  // layer's colour), both green.
  m.ShapeColor(m.DrawLine(-80, 50, 80, 50, l), 0x00FF00);
  m.ShapeColor(m.DrawLine(-2, -50, 2, -50, l), 0x00FF00);
  m.DrawLine(-80, 0, 80, 0, l);
  const QImage img = Render(m, View(0, 0, 1));
  EXPECT_EQ(img.pixel(100, 50), Rgb(0x00FF00));
  EXPECT_EQ(img.pixel(100, 150), Rgb(0x00FF00));
  EXPECT_EQ(img.pixel(100, 100), Rgb(0x000000));
}

TEST(ChartArcs, BulgesAreDrawnAsArcs) {
  DrawingModel m;
  const uint16_t l = m.LayerOpen("L");
  // A half circle of radius 50 from (-50, 0) to (50, 0) through (0, -50).
  m.DrawPolyline({{-50, 0}, {50, 0}}, {1, 0}, false, l);
  const QImage img = Render(m, View(0, 0, 1));
  bool lowest = false;  // the arc's lowest point, to a pixel
  for (int y = 148; y <= 151; ++y) lowest = lowest || img.pixel(100, y) == Rgb(0);
  EXPECT_TRUE(lowest);
  EXPECT_EQ(img.pixel(100, 100), kWhite) << "the chord's middle";
  const QRect ink = InkBox(img);
  EXPECT_NEAR(ink.top(), 100, 1);
  EXPECT_NEAR(ink.bottom(), 150, 1);
  // Zoomed in on the arc's lowest point: it crosses the window as a line
  // level within a pixel, however far its centre.
  const QImage zoomed = Render(m, View(0, -50, 1e-4));
  const QRect near = InkBox(zoomed);
  EXPECT_EQ(near.left(), 0);
  EXPECT_EQ(near.right(), 199);
  EXPECT_LE(near.height(), 3);
}

// Distance from `p` to the nearest segment of `poly` (closed: the last
// point joined to the first as well).
double DistanceTo(const QPolygonF& poly, QPointF p, bool closed) {
  double best = 1e300;
  const qsizetype n = poly.size();
  for (qsizetype i = 0; i + 1 < n + (closed ? 1 : 0); ++i) {
    const QPointF a = poly[i];
    const QPointF b = poly[(i + 1) % n];
    const QPointF d = b - a;
    const double len2 = QPointF::dotProduct(d, d);
    const double t = len2 > 0 ? std::clamp(QPointF::dotProduct(p - a, d) / len2, 0.0, 1.0) : 0.0;
    const QPointF q = a + t * d - p;
    best = std::min(best, std::hypot(q.x(), q.y()));
  }
  return best;
}

// The rubber band of the drawing tools draws polylines through this too.
TEST(ChartArcs, ScreenPolylineFollowsTheArcsOfItsBulges) {
  // 20 pixels a unit; the centre (5, 0) at pixel (100, 100).
  const ViewTransform view = View(5, 0, 0.05);
  // A half circle from (0, 0) to (10, 0) counter-clockwise, through (5, -5),
  // then straight up to (10, 10).
  const QPolygonF open = ScreenPolyline(view, {{0, 0}, {10, 0}, {10, 10}}, {1, 0, 0}, false);
  ASSERT_GE(open.size(), 10);
  EXPECT_EQ(open.front(), QPointF(0, 100));
  EXPECT_EQ(open.back(), QPointF(200, -100));
  EXPECT_EQ(open[open.size() - 2], QPointF(200, 100));
  EXPECT_LE(DistanceTo(open, QPointF(100, 200), false), 0.25) << "the arc's lowest point";
  EXPECT_LE(
      DistanceTo(open, QPointF(100 - 100 * std::sqrt(0.5), 100 + 100 * std::sqrt(0.5)), false),
      0.25);
  EXPECT_GT(DistanceTo(open, QPointF(100, 100), false), 99) << "not the chord";
  for (qsizetype i = 1; i + 2 < open.size(); ++i) {
    EXPECT_NEAR(std::hypot(open[i].x() - 100, open[i].y() - 100), 100, 1e-9) << i;
  }

  // Closed: the closing segment's arc too (bulge 1 from (10, 0) back to
  // (0, 0), counter-clockwise, through (5, 5)), ending where it started.
  const QPolygonF ring = ScreenPolyline(view, {{0, 0}, {10, 0}}, {1, 1}, true);
  EXPECT_LE(DistanceTo(ring, QPointF(100, 200), true), 0.25);
  EXPECT_LE(DistanceTo(ring, QPointF(100, 0), true), 0.25);
  EXPECT_EQ(ring.back(), ring.front());

  // Straight ones are their points; a closed one is not closed twice.
  EXPECT_EQ(ScreenPolyline(view, {{0, 0}, {10, 0}, {10, 10}}, {}, true),
            QPolygonF({QPointF(0, 100), QPointF(200, 100), QPointF(200, -100)}));
  EXPECT_TRUE(ScreenPolyline(view, {}, {}, false).isEmpty());
}

// The pixels of thin shapes go straight into a plain image, and through an
// image of their own drawn over the picture otherwise (here: a picture of
// unpremultiplied pixels); both must keep the layers' order.
TEST(ChartPixels, StraightIntoThePictureAsThroughAnOverlay) {
  DrawingModel m;
  const uint16_t track = m.LayerOpen("track");  // points and short lines: pixels
  const uint16_t coast = m.LayerOpen("coast");  // a wide line over the track
  const uint16_t marks = m.LayerOpen("marks");  // pixels again, above the coast
  m.LayerSetPenColor(coast, 0x336699);
  m.LayerSetPenWidth(coast, 7);
  m.LayerSetPenColor(marks, 0x0000FF);
  for (int i = 0; i < 60; ++i) {
    m.DrawPoint(-90 + 3 * i, -40 + (i % 7), track);
    m.DrawLine(-90 + 3 * i, 20, -87 + 3 * i, 22 + (i % 3), track);
  }
  m.DrawLine(-95, -60, 95, 60, coast);
  // A thin polyline of short segments, set as pixels after the layer's
  // other shapes.
  std::vector<PointXY> wiggle;
  for (int i = 0; i < 40; ++i) wiggle.push_back({-80.0 + 4 * i, (i % 2 == 0) ? 0.0 : 3.0});
  m.DrawPolyline(wiggle, false, coast);
  for (int i = 0; i < 20; ++i) m.DrawPoint(-60 + 6 * i, 10 - i, marks);
  const ViewTransform view = View(0, 0, 1);

  const auto paint = [&](QImage::Format format, const QRect& region) {
    QImage image(200, 200, format);
    image.fill(kWhite);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    ChartRenderer renderer;
    if (region.isNull()) {
      renderer.Paint(m, view, painter, image.size());
    } else {
      painter.setClipRect(region);
      renderer.Paint(m, view, painter, image.size(), region);
    }
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  };
  const QImage straight = paint(QImage::Format_ARGB32_Premultiplied, QRect());
  const QImage overlaid = paint(QImage::Format_ARGB32, QRect());
  EXPECT_GT(CountOf(straight, Rgb(0x0000FF)), 40);
  EXPECT_GT(CountOf(straight, Rgb(0x000000)), 400);
  EXPECT_EQ(straight, overlaid);
  // The same in a strip, as the kept picture repaints after a pan.
  const QRect strip(37, 0, 5, 200);
  const QImage straight_strip = paint(QImage::Format_RGB32, strip);
  const QImage overlaid_strip = paint(QImage::Format_ARGB32, strip);
  EXPECT_EQ(straight_strip, overlaid_strip);
  EXPECT_TRUE(strip.contains(InkBox(straight_strip))) << "nothing beyond the strip";
}

TEST(ChartWidths, WorldWidthsScaleWithTheZoom) {
  DrawingModel m;
  const uint16_t l = m.LayerOpen("L");
  m.DrawPolyline({{-80, 0}, {80, 0}}, {}, false, l, 10);
  auto thickness = [&](double units_per_pixel) {
    const QImage img = Render(m, View(0, 0, units_per_pixel));
    int n = 0;
    for (int y = 0; y < img.height(); ++y) n += img.pixel(100, y) != kWhite ? 1 : 0;
    return n;
  };
  EXPECT_NEAR(thickness(1), 10, 1);
  EXPECT_NEAR(thickness(0.5), 20, 1);
  EXPECT_NEAR(thickness(0.25), 40, 1);
}

TEST(ChartText, CapitalsAreAsHighAsTheTextHeight) {
  // The face's capitals, scaled as drawn, are the text's height.
  const TextSetter::Face face = TextSetter::FaceOf("");
  for (const double pixels : {9.0, 20.0, 47.5}) {
    QFont scaled = face.font;
    scaled.setPixelSize(
        static_cast<int>(std::lround(TextSetter::kReferencePixels * pixels / face.cap)));
    // Whole pixel sizes only: within what one pixel of size changes.
    EXPECT_NEAR(QFontMetricsF(scaled).capHeight(), pixels,
                face.cap / TextSetter::kReferencePixels + 0.05)
        << pixels;
  }
  // And in pixels: an "H" 40 units high at one unit a pixel is 40 pixels of ink.
  DrawingModel m;
  const uint16_t l = m.LayerOpen("L");
  m.TextAdd(l, "H", -10, -20, 0, 40);
  const QRect ink = InkBox(Render(m, View(0, 0, 1)));
  EXPECT_NEAR(ink.height(), 40, 1.5);
  EXPECT_NEAR(ink.bottom() + 1, 120, 1);  // on the baseline at y = -20
}

TEST(ChartText, TurnedTextAndItsMeasuredBox) {
  DrawingModel m;
  m.SetTextMeasure(TextSetter::Measure());
  const uint16_t l = m.LayerOpen("L");
  const uint32_t n = m.TextAdd(l, "HHHHHH", 0, -60, 0, 12, 0, 90);
  const QRect ink = InkBox(Render(m, View(0, 0, 1)));
  // Running up from its anchor, left of it.
  EXPECT_GT(ink.height(), 3 * ink.width());
  EXPECT_NEAR(ink.bottom() + 1, 160, 1.5);
  EXPECT_NEAR(ink.right() + 1, 100, 1.5);
  // The box the drawing holds covers the ink, and not much more.
  const Rect box = *m.ShapeBounds(n);
  EXPECT_LE(box.min_x, ink.left() - 100 + 0.5);
  EXPECT_GE(box.max_x, ink.right() + 1 - 100 - 0.5);
  EXPECT_GE(box.max_y, 100 - ink.top() - 0.5);
  EXPECT_LE(box.min_y, 100 - (ink.bottom() + 1) + 0.5);
  EXPECT_LT(box.max_y - box.min_y, ink.height() + 12);
}

TEST(ChartText, ScreenTextWithItsAnchorOffTheWindowIsDrawn) {
  DrawingModel m;
  m.SetTextMeasure(TextSetter::Measure());
  const uint16_t l = m.LayerOpen("L");
  const int32_t font = m.FontOpen("", 3);  // 18 pixels
  // Anchored 60 pixels left of the window; the text reaches well into it.
  m.TextAdd(l, "WWWWWWWWWW", -160, 0, font);
  const QRect ink = InkBox(Render(m, View(0, 0, 1)));
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_EQ(ink.left(), 0);
  // Anchored below the window, 40 pixels, centred: nothing of it shows.
  DrawingModel below;
  below.SetTextMeasure(TextSetter::Measure());
  const uint16_t b = below.LayerOpen("L");
  below.TextAdd(b, "W", 0, -140, below.FontOpen("", 3), 0, 1);
  EXPECT_TRUE(InkBox(Render(below, View(0, 0, 1))).isEmpty());
}

}  // namespace
}  // namespace halvex::mapcontrol

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
