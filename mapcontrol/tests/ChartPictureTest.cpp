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
// pixel along them changes by up to 255/64, 4 levels (4 is the most seen,
// on the edge of a 6-pixel pen). Pixels further apart than this are faults.
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

// A harbour chart: a coastline, depth contours, buoys with names, a survey
// track of points and short lines (drawn as pixels), a wide-pen fairway, a
// vessel layer second as in the navigation program, and labels.
struct Harbour {
  uint16_t coast, vessel, track_points, track_lines, marks, labels;
  int32_t font;
  size_t fixes = 0;
  double track_x = 0;
  double track_y = 0;
};

Harbour DrawHarbour(DrawingModel& m, int label_count = 14) {
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
        const QImage kept = cache.Update(m, view, size, 1.0, style, renderer).copy();
        if (cache.LastStats().kind == ChartCache::Kind::kPartial) ++partial;
        ChartCache fresh;
        ChartRenderer fresh_renderer;
        const QImage whole = fresh.Update(m, view, size, 1.0, style, fresh_renderer);
        QRect where;
        int largest = 0;
        const int64_t n = Differences(kept, whole, &where, kEdgeTolerance, &largest);
        worst = std::max(worst, largest);
        if (n != 0) {
          kept.save(QDir::temp().filePath("chart-kept.png"));
          whole.save(QDir::temp().filePath("chart-whole.png"));
          QImage diff(kept.size(), QImage::Format_RGB32);
          diff.fill(Qt::white);
          for (int y = 0; y < kept.height(); ++y) {
            for (int x = 0; x < kept.width(); ++x) {
              if (kept.pixel(x, y) != whole.pixel(x, y)) diff.setPixel(x, y, 0xFF000000u);
            }
          }
          diff.save(QDir::temp().filePath("chart-diff.png"));
        }
        QVERIFY2(n == 0, qPrintable(QStringLiteral("%1: %2 pixels differ in (%3,%4 %5x%6)")
                                        .arg(what)
                                        .arg(n)
                                        .arg(where.x())
                                        .arg(where.y())
                                        .arg(where.width())
                                        .arg(where.height())));
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
