// SPDX-License-Identifier: GPL-3.0-or-later
// The chart's kept picture against a whole repaint after pans, fixes and
// layer changes; the furniture and colour schemes as painted; decluttered
// texts; and screenshots of each scheme written into the build tree.

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMouseEvent>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "mapcontrol/ChartCache.hpp"
#include "mapcontrol/ChartFurniture.hpp"
#include "mapcontrol/ChartRenderer.hpp"
#include "mapcontrol/FlpCad.hpp"

namespace halvex::mapcontrol {

namespace {

// A line clipped at the window's edge is handed to Qt with its end at the
// edge, which Qt rounds to 1/64 pixel: the same line clipped in another view
// ends elsewhere, and its edges move by up to 1/64 pixel: an antialiased
// pixel along them changes by up to 255/64, 4 levels (5 is the most seen,
// on the edge of a 6-pixel pen at some scales). Pixels further apart than
// this are faults.
constexpr int kEdgeTolerance = 5;

// Pixels that differ between two pictures of the same size by more than
// `tolerance` in a channel; -1 for pictures of different sizes. `largest`
// gets the largest difference in a channel.
int64_t Differences(const QImage& a, const QImage& b, QRect* where = nullptr, int tolerance = 0,
                    int* largest = nullptr) {
  if (a.size() != b.size()) return -1;
  const QImage ca = a.convertToFormat(QImage::Format_ARGB32);
  const QImage cb = b.convertToFormat(QImage::Format_ARGB32);
  int64_t n = 0;
  for (int y = 0; y < ca.height(); ++y) {
    const auto* ra = reinterpret_cast<const QRgb*>(ca.constScanLine(y));
    const auto* rb = reinterpret_cast<const QRgb*>(cb.constScanLine(y));
    for (int x = 0; x < ca.width(); ++x) {
      if (ra[x] != rb[x]) {
        const int d =
            std::max({std::abs(qRed(ra[x]) - qRed(rb[x])), std::abs(qGreen(ra[x]) - qGreen(rb[x])),
                      std::abs(qBlue(ra[x]) - qBlue(rb[x]))});
        if (largest != nullptr) *largest = std::max(*largest, d);
        if (d <= tolerance) continue;
        ++n;
        if (where != nullptr) *where |= QRect(x, y, 1, 1);
      }
    }
  }
  return n;
}

double MeanLightness(const QImage& image) {
  double sum = 0;
  for (int y = 0; y < image.height(); y += 2) {
    for (int x = 0; x < image.width(); x += 2) sum += image.pixelColor(x, y).lightnessF();
  }
  return sum / ((image.height() + 1) / 2) / ((image.width() + 1) / 2);
}

// The picture `cache` keeps, brought up to date, against a whole paint of
// the same drawing and view by a cache and renderer of their own.
struct Comparison {
  ChartCache::Kind kind = ChartCache::Kind::kNone;  // of the kept picture's update
  QImage kept;
  QImage whole;
  int64_t differing = 0;  // pixels beyond kEdgeTolerance
  QRect where;            // their box
  int largest = 0;        // the largest difference in a channel
  // "<what>: <n> pixels differ in (x,y wxh)"
  QString Describe(const QString& what) const {
    return QStringLiteral("%1: %2 pixels differ in (%3,%4 %5x%6)")
        .arg(what)
        .arg(differing)
        .arg(where.x())
        .arg(where.y())
        .arg(where.width())
        .arg(where.height());
  }
};

Comparison CompareWithWhole(ChartCache& cache, ChartRenderer& renderer, const DrawingModel& m,
                            const ViewTransform& view, QSize size, const ChartStyle& style) {
  Comparison c;
  c.kept = cache.Update(m, view, size, 1.0, style, renderer).copy();
  c.kind = cache.LastStats().kind;
  ChartCache fresh;
  ChartRenderer fresh_renderer;
  c.whole = fresh.Update(m, view, size, 1.0, style, fresh_renderer).copy();
  c.differing = Differences(c.kept, c.whole, &c.where, kEdgeTolerance, &c.largest);
  return c;
}

// A harbour chart: a coastline, depth contours, buoys with names, a survey
// track of points and short lines (drawn as pixels), a wide-pen fairway, a
// vessel layer second as in the navigation program, and labels.
struct Harbour {
  uint16_t coast, vessel, track_points, track_lines, marks, labels, areas, hatched;
  uint32_t coloured = 0;
  int32_t font;
  size_t fixes = 0;
  double track_x = 0;
  double track_y = 0;
};

Harbour DrawHarbour(DrawingModel& m, int label_count = 14, bool areas = false) {
  Harbour h{};
  h.coast = m.LayerOpen("coast");
  h.vessel = m.LayerOpen("vessel");
  h.track_points = m.LayerOpen("track points");
  h.track_lines = m.LayerOpen("track lines");
  h.marks = m.LayerOpen("marks");
  h.labels = m.LayerOpen("labels");
  m.LayerSetPenColor(h.coast, 0x205080);
  m.LayerSetPenWidth(h.coast, 2);
  m.LayerSetPenColor(h.vessel, 0x0000FF);
  m.LayerSetPenWidth(h.vessel, 2);
  m.LayerSetPenColor(h.track_points, 0x006000);
  m.LayerSetPenColor(h.track_lines, 0x00A000);
  m.LayerSetPenColor(h.marks, 0xA00000);
  m.LayerSetPenColor(h.labels, 0x303030);
  h.font = m.FontOpen("Sans", 2.0);
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> jitter(-0.37, 0.41);
  std::vector<PointXY> coast;
  for (int i = 0; i <= 60; ++i) {
    const double a = i * 0.1047;
    coast.push_back({500000 + 620 * std::cos(a) + 40 * std::sin(5 * a) + jitter(random),
                     6000000 + 420 * std::sin(a) + 30 * std::cos(7 * a) + jitter(random)});
  }
  m.DrawPolyline(coast, true, h.coast);
  for (int r = 150; r <= 450; r += 100) m.DrawCircle(500050.3, 5999990.7, r, h.coast);
  m.DrawArc(499800.5, 6000100.2, 80, 20, 200, h.coast);
  const uint32_t fairway = m.DrawLine(499500.1, 5999700.9, 500500.6, 6000300.3, h.coast);
  m.ShapePenWidth(fairway, 6);
  for (int i = 0; i < label_count; ++i) {
    const double x = 499650 + 53.7 * i + jitter(random);
    const double y = 5999850 + 23.1 * (i % 5) + jitter(random);
    m.DrawPoint(x, y, h.marks);
    m.DrawCircle(x, y, 4.5, h.marks);
    m.TextAdd(h.labels, "Buoy " + std::to_string(i + 1), x + 6, y, h.font, 0, 0);
  }
  m.TextAdd(h.labels, "HARBOUR\nENTRANCE", 500010.2, 6000160.4, h.font, 14.0, 4);
  h.track_x = 499600.25;
  h.track_y = 5999900.6;
  if (!areas) return h;
  // Areas: a filled polygon, a shape of its own colour, a hatched circle, a
  // wide polyline with arcs, and turned labels of both kinds.
  h.areas = m.LayerOpen("areas");
  m.LayerSetPenColor(h.areas, 0x804000);
  m.LayerSetBrushColor(h.areas, 0x60C0F0);
  m.LayerSetBrushStyle(h.areas, BrushStyle::kSolid);
  m.DrawPolyline(
      {{500180.3, 6000150.1}, {500330.7, 6000170.4}, {500300.2, 6000280.9}, {500210.6, 6000260.5}},
      true, h.areas);
  h.coloured = m.DrawLine(500190.4, 6000120.2, 500340.1, 6000125.8, h.areas);
  m.ShapeColor(h.coloured, 0x2020C0);
  m.ShapePenWidth(h.coloured, 5);
  m.DrawPolyline({{499700.2, 6000200.6}, {499800.9, 6000230.1}, {499880.4, 6000180.3}},
                 {0.6, -0.9, 0}, false, h.areas, 3.4);
  m.TextAdd(h.labels, "DREDGED AREA", 500250.5, 6000210.7, h.font, 9.0, 4, 35.0);
  m.TextAdd(h.labels, "Spoil ground", 499760.2, 6000150.9, h.font, 0, 0, -60.0);
  h.hatched = m.LayerOpen("hatched");
  m.LayerSetPenColor(h.hatched, 0x008080);
  m.LayerSetBrushColor(h.hatched, 0x0080FF);
  m.LayerSetBrushStyle(h.hatched, BrushStyle::kDiagonalCross);
  m.DrawCircle(499680.7, 6000050.3, 45.5, h.hatched);
  return h;
}

void AddFix(DrawingModel& m, Harbour& h) {
  const double x = h.track_x + 3.1 + 0.3 * std::sin(static_cast<double>(h.fixes));
  const double y = h.track_y + 1.2 + 0.5 * std::cos(static_cast<double>(h.fixes) * 0.7);
  m.DrawPoint(x, y, h.track_points);
  m.DrawLine(h.track_x, h.track_y, x, y, h.track_lines);
  h.track_x = x;
  h.track_y = y;
  ++h.fixes;
}

void DrawVessel(DrawingModel& m, const Harbour& h, double x, double y) {
  m.CadClearShapes(h.vessel);
  m.DrawPolyline({{x - 4, y - 20}, {x + 4, y - 20}, {x + 4, y + 12}, {x, y + 20}, {x - 4, y + 12}},
                 true, h.vessel);
  m.DrawLine(x, y + 20, x, y + 90, h.vessel);
  m.DrawCircle(x, y, 30, h.vessel);
  m.TextAdd(h.vessel, "SURVEYOR", x + 8, y, h.font);
}

}  // namespace

class ChartPictureTest : public QObject {
  Q_OBJECT

 private slots:
  // The kept picture, brought up to date step by step, against a whole paint
  // of the same drawing and view after every step.
  void KeptPictureEqualsAWholeRepaint() {
    DrawingModel m;
    Harbour h = DrawHarbour(m);
    const QSize size(640, 480);
    ViewTransform view{500000.13, 6000000.29, 1.7, 320, 240};
    for (const ColorScheme scheme : {ColorScheme::kDay, ColorScheme::kNight}) {
      const ChartStyle style{QColor(250, 250, 235), scheme, true, false};
      ChartCache cache;
      ChartRenderer renderer;
      int partial = 0;
      int steps = 0;
      int worst = 0;
      const auto check = [&](const char* what) {
        ++steps;
        const Comparison c = CompareWithWhole(cache, renderer, m, view, size, style);
        if (c.kind == ChartCache::Kind::kPartial) ++partial;
        worst = std::max(worst, c.largest);
        if (c.differing != 0) {
          c.kept.save(QDir::temp().filePath("chart-kept.png"));
          c.whole.save(QDir::temp().filePath("chart-whole.png"));
          QImage diff(c.kept.size(), QImage::Format_RGB32);
          diff.fill(Qt::white);
          for (int y = 0; y < c.kept.height(); ++y) {
            for (int x = 0; x < c.kept.width(); ++x) {
              if (c.kept.pixel(x, y) != c.whole.pixel(x, y)) diff.setPixel(x, y, 0xFF000000u);
            }
          }
          diff.save(QDir::temp().filePath("chart-diff.png"));
        }
        QVERIFY2(c.differing == 0, qPrintable(c.Describe(QString::fromLatin1(what))));
      };
      const auto pan = [&](int px, int py) {
        view.center_x -= px * view.units_per_pixel;
        view.center_y += py * view.units_per_pixel;
      };
      check("first paint");
      QCOMPARE(cache.LastStats().kind, ChartCache::Kind::kFull);
      check("nothing changed");
      QCOMPARE(cache.LastStats().kind, ChartCache::Kind::kNone);
      double vx = 499700.4;
      for (int fix = 0; fix < 12; ++fix) {
        // A fix: the vessel redrawn, a track point added, the view following.
        vx += 4.3;
        DrawVessel(m, h, vx, 5999950.2 + fix);
        AddFix(m, h);
        pan(fix % 3 == 0 ? -3 : 2, fix % 4 == 0 ? 1 : 0);
        check("fix");
        QCOMPARE(cache.LastStats().kind, ChartCache::Kind::kPartial);
        QVERIFY(cache.LastStats().pixels < size.width() * size.height() / 3);
        if (QTest::currentTestFailed()) return;
      }
      // Texts entering and leaving the window over a pan.
      for (int i = 0; i < 6; ++i) {
        pan(37, -23);
        check("pan across the labels");
        if (QTest::currentTestFailed()) return;
      }
      for (int i = 0; i < 6; ++i) {
        pan(-41, 19);
        check("pan back");
        if (QTest::currentTestFailed()) return;
      }
      // Changes of layers below others.
      m.LayerSetPenColor(h.marks, 0x00A0A0);
      check("a layer's colour");
      m.ShapeSelect(1);
      check("a selection");
      m.ShapeDeselect(1);
      check("deselected");
      m.TextAdd(h.labels, "NEW WRECK", 499900.6, 5999960.1, h.font, 0, 5);
      check("a text added");
      m.DrawCircle(499950.2, 6000020.8, 25.5, h.marks);
      pan(1, 1);
      check("a circle added while panning");
      m.CadClearShapes(h.labels);
      check("labels cleared");
      m.LayerSetAction(h.coast, kActionVisible | kActionSelectable);
      m.LayerSetAction(h.coast, kActionAll);
      pan(0, -5);
      check("the coast's action set and set back");
      // Whole repaints.
      view.units_per_pixel *= 1.25;
      check("zoom");
      QCOMPARE(cache.LastStats().kind, ChartCache::Kind::kFull);
      view.center_x += 0.3 * view.units_per_pixel;
      check("a pan by part of a pixel");
      QCOMPARE(cache.LastStats().kind, ChartCache::Kind::kFull);
      m.CadClearAll();
      check("all cleared");
      QCOMPARE(cache.LastStats().kind, ChartCache::Kind::kFull);
      h = DrawHarbour(m);
      check("drawn again");
      // No window: nothing painted, and the next paint paints all.
      QVERIFY(cache.Update(m, view, QSize(0, 0), 1.0, style, renderer).isNull());
      check("after an empty window");
      QCOMPARE(cache.LastStats().kind, ChartCache::Kind::kFull);
      QVERIFY2(partial >= steps / 2,
               qPrintable(QStringLiteral("%1 of %2").arg(partial).arg(steps)));
      qInfo("largest difference in a channel: %d", worst);
    }
  }

  // The same for fills, hatches, shapes of their own colour, arcs of wide
  // polylines and turned texts, and for changes of their styles; at scales
  // at which labels cross the window's edge in the course of the pans and
  // the closed coastline is cut by the window's edge in some views and not
  // in others.
  void KeptPictureOfAreasEqualsAWholeRepaint_data() {
    QTest::addColumn<double>("units_per_pixel");
    QTest::newRow("1.7") << 1.7;
    QTest::newRow("1.3") << 1.3;
    QTest::newRow("2.3") << 2.3;
    QTest::newRow("0.4") << 0.4;
  }
  void KeptPictureOfAreasEqualsAWholeRepaint() {
    QFETCH(double, units_per_pixel);
    DrawingModel m;
    const Harbour h = DrawHarbour(m, 14, true);
    const QSize size(640, 480);
    ViewTransform view{500000.13, 6000000.29, units_per_pixel, 320, 240};
    for (const ColorScheme scheme : {ColorScheme::kDay, ColorScheme::kNight}) {
      const ChartStyle style{QColor(250, 250, 235), scheme, false, false};
      ChartCache cache;
      ChartRenderer renderer;
      int partial = 0;
      const auto check = [&](const char* what) {
        const Comparison c = CompareWithWhole(cache, renderer, m, view, size, style);
        if (c.kind == ChartCache::Kind::kPartial) ++partial;
        QVERIFY2(c.differing == 0, qPrintable(c.Describe(QString::fromLatin1(what))));
      };
      const auto pan = [&](int px, int py) {
        view.center_x -= px * view.units_per_pixel;
        view.center_y += py * view.units_per_pixel;
      };
      check("first paint");
      for (int i = 0; i < 5; ++i) {
        pan(-13, 7);
        check("pan");
        if (QTest::currentTestFailed()) return;
      }
      m.ShapeColor(h.coloured, scheme == ColorScheme::kDay ? 0x10A010 : 0x2020C0);
      check("a shape's colour");
      m.LayerSetBrushStyle(
          h.areas, scheme == ColorScheme::kDay ? BrushStyle::kHorizontal : BrushStyle::kSolid);
      check("a brush style");
      m.LayerSetBrushColor(h.hatched, scheme == ColorScheme::kDay ? 0x404040 : 0x0080FF);
      check("a hatch colour");
      m.SetTextMeasure(scheme == ColorScheme::kDay ? TextSetter::Measure() : TextMeasure());
      check("texts measured again");
      for (int i = 0; i < 5; ++i) {
        pan(11, -6);
        check("pan back");
        if (QTest::currentTestFailed()) return;
      }
      QVERIFY2(partial >= 8, qPrintable(QString::number(partial)));
    }
  }

  // Strips uncovered by pans are painted with the margin each layer's pens
  // need: wide pens, world widths and point crosses just beyond a strip's
  // inner edge still reach into it, and a layer's pens widened after its
  // first paint, or a wide shape added to it, widen its margin.
  void StripsReachAsFarAsTheWidestPens() {
    DrawingModel m;
    const uint16_t thin = m.LayerOpen("thin");
    const uint16_t pens = m.LayerOpen("pens");
    const uint16_t worlds = m.LayerOpen("world widths");
    const uint16_t crosses = m.LayerOpen("crosses");
    m.LayerSetPenColor(pens, 0x207020);
    m.LayerSetPenColor(worlds, 0x702020);
    m.LayerSetPenColor(crosses, 0xA00000);
    m.LayerSetPenWidth(crosses, 3);  // drawn as lines, not pixels
    // Short upright lines and polylines a pixel apart, across the window and
    // well beyond it, of pens of 1 to 13 pixels and world widths of 0.5 to
    // 12.5: wherever a strip opens, some reach into it from beyond its inner
    // edge. Neighbours are set at different heights, so that each shows.
    uint32_t first_thin = 0;
    for (int i = -60; i < 260; ++i) {
      const double x = 0.5 + i;
      const int cycle = (i % 13 + 13) % 13;
      const double slot = 4.0 * ((i % 16 + 16) % 16);
      const uint32_t t = m.DrawLine(x, 10 + slot, x, 13 + slot, thin);
      if (first_thin == 0) first_thin = t;
      const uint32_t line = m.DrawLine(x + 0.25, 80 + slot, x + 0.25, 83 + slot, pens);
      m.ShapePenWidth(line, i % 2 == 0 ? 13 : 1 + cycle);
      m.DrawPolyline({{x, 150 + slot}, {x + 0.1, 153 + slot}}, {}, false, worlds,
                     i % 2 == 0 ? 12.5 : 0.5 + 1.5 * ((i % 9 + 9) % 9));
      m.DrawPoint(x + 0.5, 225 + 2 * slot, crosses);
    }
    const QSize size(200, 340);
    // One pixel a unit, so that the world's x is the window's at first.
    ViewTransform view{100, 170, 1, 100, 170};
    const ChartStyle style{QColor(255, 255, 255), ColorScheme::kDay, false, false};
    ChartCache cache;
    ChartRenderer renderer;
    const auto check = [&](const QString& what) {
      const Comparison c = CompareWithWhole(cache, renderer, m, view, size, style);
      QCOMPARE(c.kind, ChartCache::Kind::kPartial);
      QVERIFY2(c.differing == 0, qPrintable(c.Describe(what)));
    };
    const auto pans = [&](const QString& what, int steps, int pixels) {
      for (int step = 0; step < steps && !QTest::currentTestFailed(); ++step) {
        view.center_x -= pixels * view.units_per_pixel;
        check(QStringLiteral("%1, pan %2").arg(what).arg(step));
      }
    };
    cache.Update(m, view, size, 1.0, style, renderer);
    // Strips open on the left, then on the right.
    pans(QStringLiteral("first"), 6, 3);
    pans(QStringLiteral("back"), 6, -3);
    // The thin layer's pen widened: its margin follows.
    m.LayerSetPenWidth(thin, 15);
    cache.Update(m, view, size, 1.0, style, renderer);
    pans(QStringLiteral("layer pen"), 6, -3);
    // A shape's own pen widened (the line at x = 20.5, near the left strip
    // in the next pans), and a wide shape added at the end.
    m.LayerSetPenWidth(thin, 1);
    cache.Update(m, view, size, 1.0, style, renderer);
    m.ShapePenWidth(first_thin + 4 * 80, 14);
    cache.Update(m, view, size, 1.0, style, renderer);
    pans(QStringLiteral("shape pen"), 8, 3);
    m.ShapePenWidth(first_thin + 4 * 80, 1);
    cache.Update(m, view, size, 1.0, style, renderer);
    const uint32_t added = m.DrawLine(-30.5, 250, 230.5, 330, thin);
    m.ShapePenWidth(added, 14);
    cache.Update(m, view, size, 1.0, style, renderer);
    pans(QStringLiteral("wide shape added"), 8, 3);
  }

  // The widget shows its kept picture and the furniture above it; the result
  // matches a widget painting everything.
  void WidgetPaintsTheSameKeptOrNot() {
    TFlpCAD w;
    w.resize(500, 400);
    Harbour h = DrawHarbour(w.Model());
    w.WorldWindow(499400, 6000500, 500600, 5999500);
    w.SetAllFurniture(true);
    QVERIFY(!w.grab().isNull());
    for (int i = 0; i < 5; ++i) {
      DrawVessel(w.Model(), h, 499800 + 7.0 * i, 5999990);
      AddFix(w.Model(), h);
      w.WorldPan(-2 * w.WorldUnitsPerPixel(), w.WorldUnitsPerPixel());
      const QImage kept = w.grab().toImage();
      QCOMPARE(w.Cache().LastStats().kind, ChartCache::Kind::kPartial);
      w.RepaintAll();
      const QImage whole = w.grab().toImage();
      QCOMPARE(w.Cache().LastStats().kind, ChartCache::Kind::kFull);
      QCOMPARE(Differences(kept, whole, nullptr, kEdgeTolerance), int64_t{0});
    }
  }

  void FurnitureIsOffByDefaultAndEachPropertyShowsIt() {
    TFlpCAD w;
    w.resize(400, 300);
    QVERIFY(!w.ShowScaleBar() && !w.ShowNorthArrow() && !w.ShowCursorReadout() && !w.ShowGrid() &&
            !w.DeclutterTexts());
    QCOMPARE(w.ColorSchemeCode(), 0);
    QCOMPARE(w.property("ColorScheme").toInt(), 0);
    w.WorldWindow(0, 300, 400, 0);
    const QImage empty = w.grab().toImage();
    QCOMPARE(InkCount(empty, QRect(0, 0, 400, 300)), 0);
    // Each piece shows where it belongs, and only there.
    w.setProperty("ShowScaleBar", true);
    QImage img = w.grab().toImage();
    QVERIFY(InkCount(img, QRect(0, 250, 200, 50)) > 100);
    QCOMPARE(InkCount(img, QRect(0, 0, 400, 200)), 0);
    w.setProperty("ShowScaleBar", false);
    w.setProperty("ShowNorthArrow", true);
    img = w.grab().toImage();
    QVERIFY(InkCount(img, QRect(330, 0, 70, 80)) > 50);
    QCOMPARE(InkCount(img, QRect(0, 0, 300, 300)), 0);
    w.setProperty("ShowNorthArrow", false);
    w.setProperty("ShowCursorReadout", true);
    // No cursor over the chart yet: no readout.
    QCOMPARE(InkCount(w.grab().toImage(), QRect(0, 0, 400, 300)), 0);
    QMouseEvent move(QEvent::MouseMove, QPointF(100, 100), QPointF(100, 100), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &move);
    img = w.grab().toImage();
    QVERIFY(InkCount(img, QRect(200, 260, 200, 40)) > 50);
    QCOMPARE(InkCount(img, QRect(0, 0, 400, 250)), 0);
    w.setProperty("ShowCursorReadout", false);
    w.setProperty("ShowGrid", true);
    img = w.grab().toImage();
    // Lines every 100 m at 1 m per pixel... (120 px apart at least: 200 m).
    QVERIFY(InkCount(img, QRect(0, 0, 400, 300)) > 300);
    w.setProperty("ColorScheme", 2);
    QCOMPARE(w.ColorSchemeCode(), 2);
    img = w.grab().toImage();
    QVERIFY(img.pixelColor(210, 160).lightnessF() < 0.06);
    w.setProperty("ColorScheme", 9);
    QCOMPARE(w.ColorSchemeCode(), 0);
  }

  // Many overlapping labels: decluttered, the later ones go; below the
  // overview count, or with decluttering off, all are drawn.
  void DeclutterDropsOverlappingTextsAtOverviewScale() {
    const QSize size(400, 300);
    const ViewTransform view{0, 0, 1.0, 200, 150};
    for (const size_t count : {size_t{20}, size_t{120}}) {
      DrawingModel m;
      const uint16_t l = m.LayerOpen("labels");
      const int32_t font = m.FontOpen("Sans", 2.0);
      for (size_t i = 0; i < count; ++i) {
        m.TextAdd(l, "Label " + std::to_string(i), -150 + static_cast<double>(i % 10) * 12,
                  100 - static_cast<double>(i / 10) * 4, font);
      }
      for (const bool declutter : {false, true}) {
        ChartCache cache;
        ChartRenderer renderer;
        cache.Update(m, view, size, 1.0,
                     ChartStyle{QColor(255, 255, 255), ColorScheme::kDay, false, declutter},
                     renderer);
        const size_t drawn = cache.Texts().Boxes().at(l).size();
        if (declutter && count > TextPlacement::kOverviewTexts) {
          QVERIFY(cache.Texts().Skipped() > count / 2);
          QCOMPARE(drawn + cache.Texts().Skipped(), count);
          // What is left does not overlap.
          const std::vector<QRectF>& boxes = cache.Texts().Boxes().at(l);
          for (size_t i = 0; i < boxes.size(); ++i) {
            for (size_t j = i + 1; j < boxes.size(); ++j) QVERIFY(!boxes[i].intersects(boxes[j]));
          }
          // The first text is always kept.
          QCOMPARE(boxes.front(), cache.Texts().Boxes().at(l).front());
        } else {
          QCOMPARE(cache.Texts().Skipped(), size_t{0});
          QCOMPARE(drawn, count);
        }
      }
    }
  }

  // Fills, hatches and shapes of their own colour change with the scheme as
  // the layers' pens do.
  void SchemesColourFillsHatchesAndShapeColours() {
    DrawingModel m;
    const uint16_t areas = m.LayerOpen("areas");
    m.LayerSetBrushColor(areas, 0x3080E0);
    m.LayerSetBrushStyle(areas, BrushStyle::kSolid);
    m.DrawPolyline({{-100, -100}, {-20, -100}, {-20, -20}, {-100, -20}}, true, areas);
    const uint32_t own = m.DrawLine(20, 50, 120, 50, areas);
    m.ShapeColor(own, 0x20C020);
    m.ShapePenWidth(own, 9);
    const uint16_t hatched = m.LayerOpen("hatched");
    m.LayerSetBrushColor(hatched, 0xE04020);
    m.LayerSetBrushStyle(hatched, BrushStyle::kCross);
    m.DrawCircle(70, -60, 40, hatched);
    const QSize size(300, 300);
    const ViewTransform view{0, 0, 1.0, 150, 150};
    const QColor background(255, 255, 255);
    for (const ColorScheme scheme : {ColorScheme::kDay, ColorScheme::kDusk, ColorScheme::kNight}) {
      ChartCache cache;
      ChartRenderer renderer;
      const QImage img =
          cache.Update(m, view, size, 1.0, ChartStyle{background, scheme, false, false}, renderer)
              .copy();
      const auto near = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 &&
               std::abs(a.blue() - b.blue()) <= 2;
      };
      const auto bgr = [](int v) { return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF); };
      // Inside the fill and on the middle of the wide line.
      QVERIFY2(near(img.pixelColor(90, 210), SchemeColor(bgr(0x3080E0), scheme)),
               qPrintable(img.pixelColor(90, 210).name()));
      QVERIFY2(near(img.pixelColor(220, 100), SchemeColor(bgr(0x20C020), scheme)),
               qPrintable(img.pixelColor(220, 100).name()));
      // The hatch's lines in its colour, its gaps the background's.
      int hatch = 0;
      int gaps = 0;
      const QColor want = SchemeColor(bgr(0xE04020), scheme);
      const QColor back = SchemeColor(background, scheme);
      for (int y = 195; y < 225; ++y) {
        for (int x = 205; x < 235; ++x) {
          const QColor c = img.pixelColor(x, y);
          if (near(c, want)) {
            ++hatch;
          } else {
            QVERIFY2(near(c, back), qPrintable(c.name()));
            ++gaps;
          }
        }
      }
      QVERIFY(hatch > 50);
      QVERIFY(gaps > 300);
    }
  }

  // A turned text is placed, and decluttered, by the box it covers turned.
  void TurnedTextsArePlacedByTheirTurnedBoxes() {
    const Rect box{0, -0.3, 6, 1.2};  // wide and low, from the anchor
    const QRectF flat = TextScreenBox(box, 100, 200, 0, 10);
    QCOMPARE(flat, QRectF(100, 188, 60, 15));
    const QRectF up = TextScreenBox(box, 100, 200, 90, 10);
    // A quarter turn counter-clockwise: the text runs up the window.
    QVERIFY(std::abs(up.left() - 88) < 1e-9 && std::abs(up.right() - 103) < 1e-9);
    QVERIFY(std::abs(up.top() - 140) < 1e-9 && std::abs(up.bottom() - 200) < 1e-9);
    const QRectF half = TextScreenBox(box, 0, 0, 45, 10);
    QVERIFY(half.width() > 50 && half.height() > 50);

    // Drawn: the boxes placed match the texts' turns, and a column of texts
    // turned upright overlaps none of its neighbours where flat ones would.
    const QSize size(400, 300);
    const ViewTransform view{0, 0, 1.0, 200, 150};
    for (const double turn : {0.0, 90.0}) {
      DrawingModel m;
      m.SetTextMeasure(TextSetter::Measure());
      const uint16_t l = m.LayerOpen("labels");
      const int32_t font = m.FontOpen("Sans", 2.0);
      for (int i = 0; i < 48; ++i) {
        m.TextAdd(l, "Sounding " + std::to_string(i), -190 + 24.0 * (i % 16),
                  -140 + 130.0 * (i / 16), font, 0, 0, turn);
      }
      ChartCache cache;
      ChartRenderer renderer;
      cache.Update(m, view, size, 1.0,
                   ChartStyle{QColor(255, 255, 255), ColorScheme::kDay, false, true}, renderer);
      const std::vector<QRectF>& boxes = cache.Texts().Boxes().at(l);
      QVERIFY(!boxes.empty());
      for (const QRectF& b : boxes) {
        if (turn == 0) {
          QVERIFY(b.width() > 3 * b.height());
        } else {
          QVERIFY(b.height() > 3 * b.width());
        }
      }
      // Columns 24 pixels apart: upright, each as wide as a line is high,
      // all stay; flat, each covers several of its row's neighbours.
      if (turn == 0) {
        QVERIFY2(boxes.size() < 20, qPrintable(QString::number(boxes.size())));
      } else {
        QCOMPARE(boxes.size(), size_t{48});
      }
    }
  }

  // One screenshot per scheme with every piece of furniture on, written into
  // the build tree for people to look at.
  void ScreenshotsOfEachScheme() {
    TFlpCAD w;
    w.resize(800, 600);
    Harbour h = DrawHarbour(w.Model(), 40);
    for (int i = 0; i < 150; ++i) AddFix(w.Model(), h);
    DrawVessel(w.Model(), h, h.track_x, h.track_y);
    w.WorldWindow(499300, 6000450, 500700, 5999550);
    w.SetAllFurniture(true);
    QMouseEvent move(QEvent::MouseMove, QPointF(520, 240), QPointF(520, 240), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &move);
    const QString dir = QStringLiteral(CHART_SCREENSHOT_DIR);
    QDir().mkpath(dir);
    double lightness[3] = {};
    const char* names[3] = {"day", "dusk", "night"};
    for (int s = 0; s < 3; ++s) {
      w.SetColorScheme(s);
      const QImage img = w.grab().toImage();
      QVERIFY(img.save(QDir(dir).filePath(QStringLiteral("chart-%1.png").arg(names[s]))));
      lightness[s] = MeanLightness(img);
    }
    QVERIFY(lightness[0] > 0.8);
    QVERIFY(lightness[1] < lightness[0] - 0.4);
    QVERIFY(lightness[2] < lightness[1] - 0.1);
    QVERIFY(lightness[2] < 0.1);
  }

 private:
  // Pixels that are not the white background.
  static int InkCount(const QImage& img, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) {
        if (img.pixelColor(x, y) != QColor(255, 255, 255)) ++n;
      }
    }
    return n;
  }
};

}  // namespace halvex::mapcontrol

QTEST_MAIN(halvex::mapcontrol::ChartPictureTest)
#include "ChartPictureTest.moc"
