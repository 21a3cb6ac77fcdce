// SPDX-License-Identifier: GPL-3.0-or-later
// The chart widget on the offscreen platform: operations reach the model, the
// view's numbers (pan, zoom, extents, aspect), what gets painted where, and
// the mouse tools with their signals.

#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <cmath>
#include <numbers>
#include <optional>
#include <string>

#include "mapcontrol/FlpCad.hpp"

namespace halvex::mapcontrol {

// The box of the pixels that differ from `background`.
QRect InkBox(const QImage& img, QColor background = QColor(255, 255, 255)) {
  QRect box;
  for (int y = 0; y < img.height(); ++y) {
    for (int x = 0; x < img.width(); ++x) {
      if (img.pixelColor(x, y) != background) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

// Drawn in black, allowing for antialiasing at the edges.
bool Dark(QColor c) { return c.red() < 64 && c.green() < 64 && c.blue() < 64; }

class FlpCadTest : public QObject {
  Q_OBJECT

 private slots:
  // ------------------------------------------------------------ operations
  void OperationsReachTheModel() {
    TFlpCAD w;
    const uint16_t track = w.LayerOpen("Track");
    QCOMPARE(w.LayerOpen("Track"), track);
    QCOMPARE(w.LayerFindByName("Track"), track);
    QCOMPARE(w.LayerFindByName("None"), kNoLayer);
    const uint32_t line = w.DrawLine(0, 0, 10, 10, track);
    const uint32_t point = w.DrawPoint(5, 5, track);
    const uint32_t circle = w.DrawCircle(1, 2, 3, track);
    const int32_t font = w.FontOpen("Sans", 2.5);
    const uint32_t text = w.TextAdd(track, "WP1", 4, 4, font);
    QCOMPARE(w.Model().ShapeCount(), size_t{4});
    QCOMPARE(w.Model().ShapeKindOf(line), std::optional(ShapeKind::kLine));
    QCOMPARE(w.Model().ShapeKindOf(point), std::optional(ShapeKind::kPoint));
    QCOMPARE(w.Model().ShapeKindOf(circle), std::optional(ShapeKind::kCircle));
    QCOMPARE(w.Model().GetShape(text)->text, std::string("WP1"));
    QCOMPARE(w.Model().FontGet(font)->scale, 2.5);
    QCOMPARE(w.DrawLine(0, 0, 1, 1, kNoLayer), 0u);

    w.SetLayerPenFg(track, 0x123456);
    w.SetLayerPenWidth(track, 4);
    w.SetLayerAction(track, kActionVisible);
    QCOMPARE(w.LayerPenFg(track), 0x123456);
    QCOMPARE(w.LayerPenWidth(track), 4);
    QCOMPARE(w.LayerAction(track), kActionVisible);
    QCOMPARE(w.LayerPenFg(kNoLayer), kDefaultPenColor);

    QCOMPARE(w.ShapePenWidth(line), -1);
    QVERIFY(w.SetShapePenWidth(line, 3));
    QCOMPARE(w.ShapePenWidth(line), 3);
    QVERIFY(w.Model().ShapeSelect(line));
    QVERIFY(w.ShapeDeselect(line));
    QVERIFY(!w.Model().ShapeSelected(line));

    const uint16_t other = w.LayerOpen("Other");
    w.DrawPoint(0, 0, other);
    w.CadClearShapes(track);
    QCOMPARE(w.Model().LayerShapeCount(track), size_t{0});
    QCOMPARE(w.Model().LayerShapeCount(other), size_t{1});
    w.CadClearAll();
    QCOMPARE(w.Model().LayerCount(), size_t{0});
    QCOMPARE(w.Model().ShapeCount(), size_t{0});
  }

  void PropertiesAreStored() {
    TFlpCAD w;
    w.SetBackColor(0x102030);
    for (int i = 0; i < 4; ++i) w.LayerOpen("L" + std::to_string(i));
    w.SetLayerNumber(3);
    w.SetViewMouseTool(kToolPan);
    w.SetCadAction(7);
    w.SetCadFontScale(1.5);
    w.SetCadFontJustify(2);
    QCOMPARE(w.BackColor(), 0x102030);
    QCOMPARE(w.LayerNumber(), 3);
    QCOMPARE(w.ViewMouseTool(), kToolPan);
    QCOMPARE(w.CadAction(), 7);
    QCOMPARE(w.CadFontScale(), 1.5);
    QCOMPARE(w.CadFontJustify(), 2);
    QCOMPARE(w.property("BackColor").toInt(), 0x102030);
  }

  void BgrIntegersBecomeColours() {
    QCOMPARE(BgrToQColor(0x0000FF), QColor(255, 0, 0));
    QCOMPARE(BgrToQColor(0x00FF00), QColor(0, 255, 0));
    QCOMPARE(BgrToQColor(0xFF0000), QColor(0, 0, 255));
    QCOMPARE(BgrToQColor(0x123456), QColor(0x56, 0x34, 0x12));
  }

  // ------------------------------------------------------------ view
  void PanShiftsTheWindow() {
    TFlpCAD w;
    w.resize(200, 100);
    // The initial view: centre (0, 0), one world unit per pixel, north up.
    QCOMPARE(w.WorldLeft(), -100.0);
    QCOMPARE(w.WorldRight(), 100.0);
    QCOMPARE(w.WorldTop(), 50.0);
    QCOMPARE(w.WorldBottom(), -50.0);
    w.WorldPan(10, -5);
    QCOMPARE(w.WorldLeft(), -90.0);
    // The view bounds are readable as properties too.
    QCOMPARE(w.property("WorldLeft").toDouble(), -90.0);
    QCOMPARE(w.property("WorldRight").toDouble(), w.WorldRight());
    QCOMPARE(w.property("WorldTop").toDouble(), w.WorldTop());
    QCOMPARE(w.property("WorldBottom").toDouble(), w.WorldBottom());
    QCOMPARE(w.WorldRight(), 110.0);
    QCOMPARE(w.WorldTop(), 45.0);
    QCOMPARE(w.WorldBottom(), -55.0);
  }

  void ZoomKeepsTheZoomPointInPlace() {
    TFlpCAD w;
    w.resize(200, 100);
    w.WorldPan(10, -5);
    const QPointF before = w.WorldToScreen(0, 0);
    w.WorldZoom(0, 1.0, 0, 0);  // visible size halved
    QCOMPARE(w.WorldRight() - w.WorldLeft(), 100.0);
    QCOMPARE(w.WorldTop() - w.WorldBottom(), 50.0);
    QCOMPARE(w.WorldLeft(), -45.0);
    QCOMPARE(w.WorldTop(), 22.5);
    const QPointF after = w.WorldToScreen(0, 0);
    QCOMPARE(after.x(), before.x());
    QCOMPARE(after.y(), before.y());
    w.WorldZoom(0, -3.0, 7, 9);  // visible size times four
    QCOMPARE(w.WorldRight() - w.WorldLeft(), 400.0);
  }

  void ZoomInThenOutReturnsTheView() {
    TFlpCAD w;
    w.resize(321, 123);
    w.WorldWindow(500000, 6000100, 500300, 6000000);
    const double l = w.WorldLeft(), r = w.WorldRight(), t = w.WorldTop(), b = w.WorldBottom();
    for (double p : {0.2, 0.5, 1.0, 3.7}) {
      w.WorldZoom(0, p, 500123.4, 6000050.5);
      QVERIFY(w.WorldRight() - w.WorldLeft() < r - l);
      w.WorldZoom(0, -p, 500123.4, 6000050.5);
      QVERIFY(std::abs(w.WorldLeft() - l) < 1e-6);
      QVERIFY(std::abs(w.WorldRight() - r) < 1e-6);
      QVERIFY(std::abs(w.WorldTop() - t) < 1e-6);
      QVERIFY(std::abs(w.WorldBottom() - b) < 1e-6);
    }
    // Other modes, 0 and non-finite values leave the view alone.
    w.WorldZoom(1, 0.5, 0, 0);
    w.WorldZoom(0, 0, 0, 0);
    w.WorldZoom(0, std::nan(""), 0, 0);
    w.WorldZoom(0, 0.5, std::nan(""), 0);
    QCOMPARE(w.WorldLeft(), l);
    QCOMPARE(w.WorldTop(), t);
  }

  void ExtentsShowTheWholeDrawing() {
    TFlpCAD w;
    w.resize(200, 100);
    w.WorldExtents();  // empty drawing: view kept
    QCOMPARE(w.WorldLeft(), -100.0);
    QCOMPARE(w.WorldTop(), 50.0);

    const uint16_t layer = w.LayerOpen("L");
    w.DrawLine(1000, 2000, 1100, 2050, layer);
    w.WorldExtents();
    // 100 x 50 plus 5 % on each side is 110 x 55, which fits 200 x 100 pixels
    // at 0.55 units per pixel, centred on (1050, 2025).
    QVERIFY(std::abs(w.WorldUnitsPerPixel() - 0.55) < 1e-12);
    QVERIFY(std::abs(w.WorldLeft() - 995.0) < 1e-9);
    QVERIFY(std::abs(w.WorldRight() - 1105.0) < 1e-9);
    QVERIFY(std::abs(w.WorldTop() - 2052.5) < 1e-9);
    QVERIFY(std::abs(w.WorldBottom() - 1997.5) < 1e-9);

    // A tall drawing is fitted by its height.
    w.CadClearShapes(-1);
    w.DrawLine(0, 0, 10, 1000, layer);
    w.WorldExtents();
    QVERIFY(w.WorldBottom() <= -50.0 + 1e-9);
    QVERIFY(w.WorldTop() >= 1050.0 - 1e-9);
    QVERIFY(std::abs((w.WorldTop() - w.WorldBottom()) - 1100.0) < 1e-9);

    // A single point is centred at the current scale.
    w.CadClearShapes(-1);
    const double upp = w.WorldUnitsPerPixel();
    w.DrawPoint(7, 8, layer);
    w.WorldExtents();
    QCOMPARE(w.WorldUnitsPerPixel(), upp);
    QVERIFY(std::abs((w.WorldLeft() + w.WorldRight()) / 2 - 7) < 1e-9);
    QVERIFY(std::abs((w.WorldTop() + w.WorldBottom()) / 2 - 8) < 1e-9);
  }

  void ResizeKeepsTheAspectSquare() {
    TFlpCAD w;
    w.resize(200, 100);
    w.WorldWindow(0, 40, 100, 0);
    const double cx = (w.WorldLeft() + w.WorldRight()) / 2;
    const double cy = (w.WorldTop() + w.WorldBottom()) / 2;
    for (QSize size : {QSize(300, 100), QSize(80, 400), QSize(1, 1)}) {
      w.resize(size);
      const double ux = (w.WorldRight() - w.WorldLeft()) / size.width();
      const double uy = (w.WorldTop() - w.WorldBottom()) / size.height();
      QVERIFY(std::abs(ux - uy) < 1e-12);
      QVERIFY(w.WorldTop() > w.WorldBottom());
      QVERIFY(std::abs((w.WorldLeft() + w.WorldRight()) / 2 - cx) < 1e-9);
      QVERIFY(std::abs((w.WorldTop() + w.WorldBottom()) / 2 - cy) < 1e-9);
    }
  }

  // ------------------------------------------------------------ painting
  void PaintsLinesInTheLayerColourAtTheirPlace() {
    TFlpCAD w;
    w.resize(200, 100);
    w.SetBackColor(0x00FF00);  // green
    const uint16_t layer = w.LayerOpen("L");
    w.SetLayerPenFg(layer, 0x0000FF);  // red
    w.SetLayerPenWidth(layer, 5);
    // World (-50, 20) to (50, 20) is screen (50, 30) to (150, 30).
    const uint32_t line = w.DrawLine(-50, 20, 50, 20, layer);
    QImage img = w.grab().toImage();
    QCOMPARE(img.pixelColor(100, 30), QColor(255, 0, 0));
    QCOMPARE(img.pixelColor(60, 30), QColor(255, 0, 0));
    QCOMPARE(img.pixelColor(100, 60), QColor(0, 255, 0));  // below the line
    QCOMPARE(img.pixelColor(20, 30), QColor(0, 255, 0));   // beyond its end

    // Selected shapes are highlighted; the view moves the line.
    w.Model().ShapeSelect(line);
    img = w.grab().toImage();
    QVERIFY(img.pixelColor(100, 30) != QColor(255, 0, 0));
    QVERIFY(img.pixelColor(100, 30) != QColor(0, 255, 0));
    w.ShapeDeselect(line);
    w.WorldPan(0, 20);  // the line is now at screen row 50
    img = w.grab().toImage();
    QCOMPARE(img.pixelColor(100, 50), QColor(255, 0, 0));
    QCOMPARE(img.pixelColor(100, 30), QColor(0, 255, 0));

    // A hidden layer is not drawn; a shape's own pen width wins.
    w.SetLayerAction(layer, 0);
    img = w.grab().toImage();
    QCOMPARE(img.pixelColor(100, 50), QColor(0, 255, 0));
    w.SetLayerAction(layer, kActionAll);
    w.SetShapePenWidth(line, 21);
    img = w.grab().toImage();
    QCOMPARE(img.pixelColor(100, 58), QColor(255, 0, 0));
  }

  void PaintsCirclesAndPoints() {
    TFlpCAD w;
    w.resize(200, 100);
    w.SetBackColor(0xFFFFFF);
    const uint16_t layer = w.LayerOpen("L");
    w.SetLayerPenFg(layer, 0xFF0000);  // blue
    w.SetLayerPenWidth(layer, 3);
    w.DrawCircle(0, 0, 30, layer);
    w.DrawPoint(-80, 0, layer);
    const QImage img = w.grab().toImage();
    QCOMPARE(img.pixelColor(130, 50), QColor(0, 0, 255));      // east of the circle
    QCOMPARE(img.pixelColor(100, 20), QColor(0, 0, 255));      // north of it
    QCOMPARE(img.pixelColor(100, 50), QColor(255, 255, 255));  // centre empty
    QCOMPARE(img.pixelColor(20, 50), QColor(0, 0, 255));       // the point
  }

  // ------------------------------------------------------------ mouse
  void PanToolMovesTheViewByTheDraggedDistance() {
    TFlpCAD w;
    w.resize(200, 100);
    w.WorldZoom(0, 1.0, 0, 0);  // 0.5 units per pixel
    w.SetViewMouseTool(kToolPan);
    const double l = w.WorldLeft(), t = w.WorldTop();
    QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    QTest::mouseMove(&w, QPoint(120, 60));
    QTest::mouseMove(&w, QPoint(130, 70));
    QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, QPoint(130, 70));
    // Dragged 30 px right and 20 px down: the drawing follows the cursor.
    QVERIFY(std::abs(w.WorldLeft() - (l - 15.0)) < 1e-9);
    QVERIFY(std::abs(w.WorldTop() - (t + 10.0)) < 1e-9);
    // Moving without a button pressed pans no more.
    QTest::mouseMove(&w, QPoint(10, 10));
    QVERIFY(std::abs(w.WorldLeft() - (l - 15.0)) < 1e-9);
  }

  void WindowZoomToolFitsTheDraggedRectangle() {
    TFlpCAD w;
    w.resize(200, 100);
    w.SetViewMouseTool(kToolWindowZoom);
    QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, QPoint(50, 25));
    QTest::mouseMove(&w, QPoint(100, 50));
    QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, QPoint(150, 75));
    QVERIFY(std::abs(w.WorldLeft() - -50.0) < 1e-9);
    QVERIFY(std::abs(w.WorldRight() - 50.0) < 1e-9);
    QVERIFY(std::abs(w.WorldTop() - 25.0) < 1e-9);
    QVERIFY(std::abs(w.WorldBottom() - -25.0) < 1e-9);
    // A click without a drag changes nothing.
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QVERIFY(std::abs(w.WorldLeft() - -50.0) < 1e-9);
  }

  // The button sequence a real double click delivers: press, release,
  // double click, release.
  static void RealDoubleClick(QWidget& w, Qt::MouseButton button, QPoint at) {
    const QPointF p(at);
    const QPointF g = w.mapToGlobal(p);
    QMouseEvent press(QEvent::MouseButtonPress, p, g, button, button, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, p, g, button, Qt::NoButton, Qt::NoModifier);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, p, g, button, button, Qt::NoModifier);
    QMouseEvent release2(QEvent::MouseButtonRelease, p, g, button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &press);
    QApplication::sendEvent(&w, &release);
    QApplication::sendEvent(&w, &dbl);
    QApplication::sendEvent(&w, &release2);
  }

  void DoubleClickInSelectModeIsOneClick() {
    TFlpCAD w;
    w.resize(200, 100);
    w.SetViewMouseTool(kToolSelect);
    const uint16_t layer = w.LayerOpen("L");
    const uint32_t line = w.DrawLine(-50, 0, 50, 0, layer);
    QSignalSpy picked(&w, &TFlpCAD::OnShapeNumberSelected);
    QSignalSpy downs(&w, &TFlpCAD::OnWorldMouseDown);
    RealDoubleClick(w, Qt::LeftButton, QPoint(100, 50));
    QVERIFY(w.Model().ShapeSelected(line));
    QCOMPARE(picked.count(), 1);
    QCOMPARE(downs.count(), 2);  // both presses are still reported
    RealDoubleClick(w, Qt::LeftButton, QPoint(100, 50));
    QVERIFY(!w.Model().ShapeSelected(line));
    QCOMPARE(picked.count(), 2);
  }

  void MiddleButtonPansInEveryTool() {
    for (const int tool : {kToolSelect, kToolPan, kToolWindowZoom, kToolDynamicZoom, 1, 3, 4}) {
      TFlpCAD w;
      w.resize(200, 100);
      const uint16_t layer = w.LayerOpen("L");
      w.SetLayerAction(layer, 15);
      w.SetLayerNumber(layer);
      w.SetViewMouseTool(tool);
      const double scale = w.WorldUnitsPerPixel();
      QTest::mousePress(&w, Qt::MiddleButton, Qt::NoModifier, QPoint(100, 50));
      QMouseEvent move(QEvent::MouseMove, QPointF(130, 40), w.mapToGlobal(QPointF(130, 40)),
                       Qt::NoButton, Qt::MiddleButton, Qt::NoModifier);
      QApplication::sendEvent(&w, &move);
      QTest::mouseRelease(&w, Qt::MiddleButton, Qt::NoModifier, QPoint(130, 40));
      // The grabbed point follows the cursor: 30 px right and 10 px up.
      QCOMPARE(w.WorldLeft(), -130.0);
      QCOMPARE(w.WorldTop(), 40.0);
      QCOMPARE(w.WorldUnitsPerPixel(), scale);
      QCOMPARE(w.Model().ShapeCount(), size_t{0});
    }
  }

  void LayerNumberRefusesALayerThatDoesNotExist() {
    TFlpCAD w;
    const uint16_t a = w.LayerOpen("A");
    w.SetLayerNumber(a);
    w.SetLayerNumber(5);
    w.SetLayerNumber(-1);
    QCOMPARE(w.LayerNumber(), static_cast<int>(a));
    w.setProperty("LayerNumber", 7);
    QCOMPARE(w.LayerNumber(), static_cast<int>(a));
  }

  void SizeHintsLetALayoutShowTheChart() {
    TFlpCAD w;
    QVERIFY(w.sizeHint().width() >= 320 && w.sizeHint().height() >= 240);
    QVERIFY(!w.minimumSizeHint().isEmpty());
  }

  void SelectToolPicksTheNearestShape() {
    TFlpCAD w;
    w.resize(200, 100);
    w.SetViewMouseTool(kToolSelect);
    const uint16_t layer = w.LayerOpen("L");
    const uint32_t low = w.DrawLine(-50, 0, 50, 0, layer);
    const uint32_t high = w.DrawLine(-50, 6, 50, 6, layer);
    const uint32_t circle = w.DrawCircle(-80, 0, 10, layer);
    QSignalSpy spy(&w, &TFlpCAD::OnShapeNumberSelected);

    // World (0, 2) is screen (100, 48): 2 units from the low line, 4 from the high.
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 48));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), static_cast<int>(ShapeKind::kLine));
    QCOMPARE(spy.at(0).at(1).toInt(), static_cast<int>(low));
    QVERIFY(w.Model().ShapeSelected(low));
    QVERIFY(!w.Model().ShapeSelected(high));

    // Nearer the high line now; a second click on the low one deselects it.
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 45));
    QCOMPARE(spy.at(1).at(1).toInt(), static_cast<int>(high));
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    QCOMPARE(spy.at(2).at(1).toInt(), static_cast<int>(low));
    QVERIFY(!w.Model().ShapeSelected(low));
    QVERIFY(w.Model().ShapeSelected(high));

    // The circle's rim, 4 px off; the shape type says circle.
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(34, 50));
    QCOMPARE(spy.count(), 4);
    QCOMPARE(spy.at(3).at(0).toInt(), static_cast<int>(ShapeKind::kCircle));
    QCOMPARE(spy.at(3).at(1).toInt(), static_cast<int>(circle));

    // Empty space (7 px from everything), the right button, and another tool
    // pick nothing.
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 37));
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(190, 10));
    QTest::mouseClick(&w, Qt::RightButton, Qt::NoModifier, QPoint(100, 50));
    w.SetViewMouseTool(kToolPan);
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    QCOMPARE(spy.count(), 4);

    // The tolerance is in pixels: zoomed in 4 times, 2 units are 8 px.
    w.SetViewMouseTool(kToolSelect);
    w.WorldZoom(0, 3.0, 0, 0);
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 58));  // world y -2
    QCOMPARE(spy.count(), 4);
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 54));  // world y -1
    QCOMPARE(spy.count(), 5);

    // Shapes of a layer that is not selectable are not picked.
    w.SetLayerAction(layer, kActionVisible);
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    QCOMPARE(spy.count(), 5);
  }

  void MouseSignalsCarryWorldCoordinates() {
    TFlpCAD w;
    w.resize(200, 100);
    w.WorldPan(1000, 2000);  // centre (1000, 2000), one unit per pixel
    // Moves without a button go through the cursor, so the window must be shown.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.SetCadAction(42);
    QSignalSpy moves(&w, &TFlpCAD::OnWorldMouseMove);
    QSignalSpy downs(&w, &TFlpCAD::OnWorldMouseDown);

    QTest::mouseMove(&w, QPoint(120, 40));
    QVERIFY(!moves.isEmpty());
    QList<QVariant> m = moves.takeLast();
    QCOMPARE(m.at(1).toDouble(), 1020.0);
    QCOMPARE(m.at(2).toDouble(), 2010.0);
    QCOMPARE(m.at(3).toDouble(), 0.0);  // no mouse-down yet
    QCOMPARE(m.at(4).toDouble(), 0.0);

    QTest::mousePress(&w, Qt::LeftButton, Qt::ShiftModifier, QPoint(100, 50));
    QCOMPARE(downs.count(), 1);
    QCOMPARE(downs.at(0).at(0).toInt(), kButtonLeft);
    QVERIFY(downs.at(0).at(1).toInt() & kShiftShift);
    QCOMPARE(downs.at(0).at(2).toInt(), 42);
    QCOMPARE(downs.at(0).at(3).toDouble(), 1000.0);
    QCOMPARE(downs.at(0).at(4).toDouble(), 2000.0);
    QTest::mouseRelease(&w, Qt::LeftButton, Qt::ShiftModifier, QPoint(100, 50));

    // 30 east and 40 north of the press: 50 units at 36.87 degrees.
    QTest::mouseMove(&w, QPoint(130, 10));
    m = moves.takeLast();
    QCOMPARE(m.at(1).toDouble(), 1030.0);
    QCOMPARE(m.at(2).toDouble(), 2040.0);
    QVERIFY(std::abs(m.at(3).toDouble() - 50.0) < 1e-9);
    QVERIFY(std::abs(m.at(4).toDouble() - std::atan2(3.0, 4.0) * 180.0 / std::numbers::pi) < 1e-9);
    // Due west and due south.
    QTest::mouseMove(&w, QPoint(70, 50));
    QVERIFY(std::abs(moves.takeLast().at(4).toDouble() - 270.0) < 1e-9);
    QTest::mouseMove(&w, QPoint(100, 90));
    QVERIFY(std::abs(moves.takeLast().at(4).toDouble() - 180.0) < 1e-9);

    QTest::mousePress(&w, Qt::RightButton, Qt::ControlModifier, QPoint(10, 10));
    QCOMPARE(downs.last().at(0).toInt(), kButtonRight);
    QVERIFY(downs.last().at(1).toInt() & kShiftCtrl);
    QTest::mouseRelease(&w, Qt::RightButton, Qt::ControlModifier, QPoint(10, 10));
  }

  // ------------------------------------------------------------ level of detail
  void PixelMaskDrawsLinesAndCrossesAcrossWordBoundaries() {
    PixelMask centres;
    PixelMask mask;
    centres.Reset(200, 50, 4);
    mask.Reset(200, 50, 4);
    mask.Line(58, 10, 66, 14);
    QVERIFY(mask.Test(58, 10));
    QVERIFY(mask.Test(66, 14));
    QVERIFY(!mask.Test(66, 10));
    // A cross at x = 60 (the mask's bit 64 with the margin) and one in the
    // margin left of the window.
    centres.Set(60, 20);
    centres.Set(-2, 30);
    mask.StampCrosses(centres, 3);
    for (int k = -3; k <= 3; ++k) {
      QVERIFY(mask.Test(60 + k, 20));
      QVERIFY(mask.Test(60, 20 + k));
    }
    QVERIFY(!mask.Test(64, 20));
    QVERIFY(!mask.Test(61, 21));
    QVERIFY(mask.Test(1, 30));
    QVERIFY(!mask.Test(2, 30));
    // Painting writes only window pixels and reports where.
    QImage image(200, 50, QImage::Format_ARGB32_Premultiplied);
    image.fill(0);
    QRect dirty;
    mask.Paint(image, 0xFFFF0000u, dirty);
    QCOMPARE(image.pixel(60, 23), 0xFFFF0000u);
    QCOMPARE(image.pixel(0, 30), 0xFFFF0000u);
    QCOMPARE(image.pixel(100, 40), 0u);
    QCOMPARE(dirty, QRect(QPoint(0, 10), QPoint(66, 30)));
    mask.Clear();
    QVERIFY(mask.Empty());
    QVERIFY(!mask.Test(60, 20));
    // Pixels far outside are ignored, not written anywhere.
    mask.Set(-100000, 5);
    mask.Line(-5000, -5000, -4990, -4990);
    QVERIFY(mask.Empty());
  }

  void DenseTrackDrawsAsPixelsWithTheSamePicture() {
    // A track of many short segments and fixes: painted as pixels, it
    // covers the same pixels as the track's path.
    TFlpCAD w;
    w.resize(300, 200);
    w.SetBackColor(0xFFFFFF);
    const uint16_t points = w.LayerOpen("points");
    const uint16_t lines = w.LayerOpen("lines");
    w.SetLayerPenFg(points, 0x0000FF);  // red
    w.SetLayerPenFg(lines, 0xFF0000);   // blue
    for (int i = 0; i < 20000; ++i) {
      const double x = -100 + i * 0.01;
      w.DrawLine(x, 0, x + 0.01, 0, lines);
      if (i % 10 == 0) w.DrawPoint(x, -50, points);
    }
    const QImage img = w.grab().toImage();
    QVERIFY(w.Renderer().LastStats().rasterized >= 21000);
    QCOMPARE(w.Renderer().LastStats().painted, size_t{0});
    // The line: row 100, from x = 50 to 250.
    QCOMPARE(img.pixelColor(50, 100), QColor(0, 0, 255));
    QCOMPARE(img.pixelColor(150, 100), QColor(0, 0, 255));
    QCOMPARE(img.pixelColor(249, 100), QColor(0, 0, 255));
    QCOMPARE(img.pixelColor(150, 101), QColor(255, 255, 255));
    QCOMPARE(img.pixelColor(40, 100), QColor(255, 255, 255));
    // The fixes overlap into a band 7 pixels high at row 150.
    QCOMPARE(img.pixelColor(150, 147), QColor(255, 0, 0));
    QCOMPARE(img.pixelColor(150, 153), QColor(255, 0, 0));
    QCOMPARE(img.pixelColor(150, 154), QColor(255, 255, 255));
  }

  void LongThinPolylineDrawsAsPixels() {
    // A coastline of 20000 vertices 0.01 apart, seen whole: its segments
    // are well under a pixel and set as pixels; a thick copy is painted.
    TFlpCAD w;
    w.resize(300, 200);
    w.SetBackColor(0xFFFFFF);
    const uint16_t coast = w.LayerOpen("coast");
    std::vector<PointXY> pts;
    for (int i = 0; i <= 20000; ++i) pts.push_back({-100 + i * 0.01, 20 * std::sin(i * 0.0005)});
    w.DrawPolyline(pts, false, coast);
    QImage img = w.grab().toImage();
    for (int x = 60; x < 240; x += 30) {
      const double wx = x + 0.5 - 150;
      const int y = static_cast<int>(std::floor(100 - 20 * std::sin((wx + 100) * 0.05)));
      bool hit = false;
      for (int dy = -1; dy <= 1; ++dy) hit |= img.pixelColor(x, y + dy) == QColor(0, 0, 0);
      QVERIFY2(hit, qPrintable(QStringLiteral("x %1").arg(x)));
    }
    w.SetLayerPenWidth(coast, 3);
    img = w.grab().toImage();
    // At x = 150 (world 0.5) the line is at world y -19.0, screen row 119.
    QVERIFY(Dark(img.pixelColor(150, 119)));
    QVERIFY(Dark(img.pixelColor(150, 118)));
  }

  void LayersStackInOrderWhetherPixelsOrPainted() {
    TFlpCAD w;
    w.resize(100, 100);
    w.SetBackColor(0xFFFFFF);
    const uint16_t below = w.LayerOpen("below");
    const uint16_t above = w.LayerOpen("above");
    w.SetLayerPenFg(below, 0x0000FF);  // red, a thick painted line
    w.SetLayerPenWidth(below, 9);
    w.SetLayerPenFg(above, 0xFF0000);  // blue, a track fix set as pixels
    w.DrawLine(-40, 0, 40, 0, below);
    w.DrawPoint(0, 0, above);
    QImage img = w.grab().toImage();
    QCOMPARE(img.pixelColor(50, 50), QColor(0, 0, 255));
    QCOMPARE(img.pixelColor(30, 50), QColor(255, 0, 0));
    // Swapped: the painted line now lies above the fix.
    w.CadClearShapes(-1);
    w.DrawPoint(0, 0, below);
    w.SetLayerPenWidth(below, 1);
    w.SetLayerPenWidth(above, 9);
    w.DrawLine(-40, 0, 40, 0, above);
    img = w.grab().toImage();
    QCOMPARE(img.pixelColor(50, 50), QColor(0, 0, 255));
    QCOMPARE(img.pixelColor(50, 47), QColor(0, 0, 255));
    // Selected shapes lie above every layer.
    const uint32_t fix = w.Model().LayerRecords(below).front().number;
    w.Model().ShapeSelect(fix);
    img = w.grab().toImage();
    QCOMPARE(img.pixelColor(50, 52), QColor(255, 0, 255));
  }

  void FarAwayGeometryIsClippedAndStillDrawn() {
    TFlpCAD w;
    w.resize(200, 100);
    w.SetBackColor(0xFFFFFF);
    const uint16_t layer = w.LayerOpen("L");
    w.SetLayerPenWidth(layer, 3);
    // Zoomed in to a micrometre per pixel, a line from a thousand kilometres
    // west to a thousand east crosses the window.
    w.WorldWindow(-100e-6, 50e-6, 100e-6, -50e-6);
    w.DrawLine(-1e6, 0, 1e6, 0, layer);
    QImage img = w.grab().toImage();
    QVERIFY(Dark(img.pixelColor(10, 50)));
    QVERIFY(Dark(img.pixelColor(190, 50)));
    QCOMPARE(img.pixelColor(100, 20), QColor(255, 255, 255));
    // A circle a thousand kilometres across whose rim runs through the
    // window, and an arc of it.
    w.CadClearShapes(-1);
    w.DrawCircle(0, -1e6, 1e6, layer);
    img = w.grab().toImage();
    QVERIFY(Dark(img.pixelColor(100, 50)));
    QCOMPARE(img.pixelColor(100, 20), QColor(255, 255, 255));
    w.CadClearShapes(-1);
    w.DrawArc(0, -1e6, 1e6, 80, 100, layer);
    img = w.grab().toImage();
    QVERIFY(Dark(img.pixelColor(100, 50)));
  }

  void TextSizeFollowsCadFontScaleAndJustify() {
    TFlpCAD w;
    w.resize(300, 200);
    w.SetBackColor(0xFFFFFF);
    const uint16_t layer = w.LayerOpen("L");
    const int32_t font = w.FontOpen("Txt", 2);
    // Fixed on the screen: 12 pixels high at any zoom, centred above the
    // point (justify 1).
    w.SetCadFontScale(0);
    w.SetCadFontJustify(1);
    w.TextAdd(layer, "88", 0, 0, font);
    const QRect at_one = InkBox(w.grab().toImage());
    QVERIFY(at_one.isValid());
    QVERIFY(at_one.bottom() <= 100);                    // above the anchor
    QVERIFY(std::abs(at_one.center().x() - 150) <= 2);  // centred on it
    QVERIFY(at_one.height() >= 6 && at_one.height() <= 14);
    w.WorldZoom(0, 1.0, 0, 0);
    const QRect zoomed = InkBox(w.grab().toImage());
    QVERIFY(std::abs(zoomed.height() - at_one.height()) <= 1);

    // World-scaled: 2 x 10 = 20 world units high, twice as high on the
    // screen after zooming in twice as far.
    w.CadClearShapes(-1);
    w.WorldWindow(-150, 100, 150, -100);
    w.SetCadFontScale(10);
    w.SetCadFontJustify(4);  // centred on the point
    const uint32_t text = w.TextAdd(layer, "88", 0, 0, font);
    QCOMPARE(w.Model().GetShape(text)->text_height, 20.0);
    const QRect small = InkBox(w.grab().toImage());
    QVERIFY(std::abs(small.center().y() - 100) <= 2);
    w.WorldZoom(0, 1.0, 0, 0);
    const QRect big = InkBox(w.grab().toImage());
    // Antialiasing blurs the edges by a pixel or two.
    QVERIFY(std::abs(big.width() - 2 * small.width()) <= 3);
    QVERIFY(std::abs(big.height() - 2 * small.height()) <= 5);
  }

  // ------------------------------------------------------------ more mouse and keys
  void DynamicZoomDragsTheScaleAboutThePress() {
    TFlpCAD w;
    w.resize(200, 100);
    w.SetViewMouseTool(kToolDynamicZoom);
    const QPoint press(60, 40);
    const PointXY under = w.ScreenToWorld(press);
    QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, press);
    QTest::mouseMove(&w, press - QPoint(0, 50));
    QTest::mouseMove(&w, press - QPoint(0, 100));  // up one doubling
    QVERIFY(std::abs(w.WorldUnitsPerPixel() - 0.5) < 1e-12);
    const QPointF back = w.WorldToScreen(under.x, under.y);
    QVERIFY(std::abs(back.x() - press.x()) < 1e-9 && std::abs(back.y() - press.y()) < 1e-9);
    QTest::mouseMove(&w, press + QPoint(0, 100));  // down: out
    QVERIFY(std::abs(w.WorldUnitsPerPixel() - 2.0) < 1e-12);
    QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, press + QPoint(0, 100));
    QTest::mouseMove(&w, press);
    QVERIFY(std::abs(w.WorldUnitsPerPixel() - 2.0) < 1e-12);
  }

  void KeysPanZoomAndShowExtents() {
    TFlpCAD w;
    w.resize(200, 100);
    QTest::keyClick(&w, Qt::Key_Right);
    QVERIFY(std::abs(w.WorldLeft() - -80.0) < 1e-9);
    QTest::keyClick(&w, Qt::Key_Up, Qt::ShiftModifier);
    QVERIFY(std::abs(w.WorldTop() - 100.0) < 1e-9);
    QTest::keyClick(&w, Qt::Key_Plus);
    QVERIFY(std::abs(w.WorldUnitsPerPixel() - 1 / 1.2) < 1e-12);
    QTest::keyClick(&w, Qt::Key_Minus);
    QVERIFY(std::abs(w.WorldUnitsPerPixel() - 1.0) < 1e-12);
    const uint16_t layer = w.LayerOpen("L");
    w.DrawLine(1000, 1000, 1100, 1000, layer);
    QTest::keyClick(&w, Qt::Key_Home);
    QVERIFY(w.WorldLeft() < 1000 && w.WorldRight() > 1100);
  }

  void DrawingToolsDrawOnTheLayerNumber() {
    TFlpCAD w;
    w.resize(200, 100);
    w.LayerOpen("first");
    const uint16_t user = w.LayerOpen("user");
    w.SetLayerNumber(user);
    QSignalSpy added(&w, &TFlpCAD::OnShapeAdded);

    // A line by two clicks: (-50, 0) to (50, 0).
    w.SetViewMouseTool(DrawingTools::kLine);
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    QTest::mouseMove(&w, QPoint(120, 50));
    QVERIFY(!w.Tools().Preview().empty());
    QVERIFY(!w.ToolHint().isEmpty());
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(150, 50));
    QCOMPARE(added.count(), 1);
    const auto line = static_cast<uint32_t>(added.last().at(1).toInt());
    QCOMPARE(added.last().at(0).toInt(), static_cast<int>(ShapeKind::kLine));
    QCOMPARE(w.Model().ShapeLayer(line), user);
    QCOMPARE(w.Model().GetShape(line)->x1, -50.0);
    QCOMPARE(w.Model().GetShape(line)->x2, 50.0);

    // A polyline finished by a double click; Escape cancels one in progress.
    w.SetViewMouseTool(DrawingTools::kPolyline);
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(40, 20));
    // Qt delivers a double click as a click and then the double click.
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(40, 60));
    QTest::mouseDClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(40, 60));
    QCOMPARE(added.count(), 2);
    QCOMPARE(w.Model().GetShape(static_cast<uint32_t>(added.last().at(1).toInt()))->points.size(),
             size_t{3});
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(!w.Tools().InProgress());

    // Text asks through the prompt, which the test answers.
    std::string asked;
    w.SetTextPrompt([&](const std::string& prompt) -> std::optional<std::string> {
      asked = prompt;
      return std::string("WP7");
    });
    w.SetViewMouseTool(DrawingTools::kText);
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    QVERIFY(!asked.empty());
    QCOMPARE(added.count(), 3);
    QCOMPARE(w.Model().GetShape(static_cast<uint32_t>(added.last().at(1).toInt()))->text,
             std::string("WP7"));

    // Points snap to a vertex within 5 pixels, unless Ctrl is held: the
    // line's end is world (50, 0), screen (150, 50).
    w.SetViewMouseTool(DrawingTools::kPoint);
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(153, 52));
    const auto snapped = static_cast<uint32_t>(added.last().at(1).toInt());
    QCOMPARE(w.Model().GetShape(snapped)->x1, 50.0);
    QCOMPARE(w.Model().GetShape(snapped)->y1, 0.0);
    QTest::mouseClick(&w, Qt::LeftButton, Qt::ControlModifier, QPoint(153, 52));
    const auto free = static_cast<uint32_t>(added.last().at(1).toInt());
    QCOMPARE(w.Model().GetShape(free)->x1, 53.0);

    // With a navigation tool again clicks draw nothing.
    w.SetViewMouseTool(kToolPan);
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    QCOMPARE(added.count(), 5);
    QCOMPARE(w.Model().LayerShapeCount(0), size_t{0});
  }

  // ------------------------------------------------------------ files
  void ProjectSaveAndLoadThroughTheWidget() {
    QTemporaryDir dir;
    const QString file = dir.filePath("day.hxv");
    TFlpCAD w;
    const uint16_t track = w.LayerOpen("halvex_trackfix");
    const uint16_t user = w.LayerOpen("halvex_usershape");
    w.SetLayerPenFg(track, 0x00FF00);
    w.DrawLine(0, 0, 10, 0, track);
    w.SetCadFontScale(0);
    w.SetCadFontJustify(1);
    const int32_t font = w.FontOpen("Txt", 2);
    w.TextAdd(user, "42", 5, 5, font);
    QSignalSpy saved(&w, &TFlpCAD::CadSaveFinished);
    QVERIFY2(w.CadSave(file, -1), qPrintable(w.LastError()));
    // The drawing was copied when the save began: later changes are not in
    // the file.
    w.DrawLine(0, 0, 0, 10, track);
    QVERIFY(saved.wait(10000));
    QCOMPARE(saved.last().at(0).toBool(), true);
    QCOMPARE(saved.last().at(1).toString(), file);
    // The worker posts its result, then marks itself idle.
    QTRY_VERIFY(!w.SavesPending());

    TFlpCAD other;
    other.LayerOpen("something else");
    QVERIFY(other.CadLoad(file, -1, -1, 0));
    QCOMPARE(other.Model().LayerCount(), size_t{2});
    QCOMPARE(other.LayerFindByName("halvex_usershape"), user);
    QCOMPARE(other.Model().LayerPenColor(track), 0x00FF00);
    QCOMPARE(other.Model().ShapeCount(), size_t{2});

    // Load type 1 adds one layer of the file into a chosen layer.
    const uint16_t into = other.LayerOpen("copy");
    QVERIFY(other.CadLoad(file, track, into, 1));
    QCOMPARE(other.Model().LayerShapeCount(into), size_t{1});
    QCOMPARE(other.Model().ShapeCount(), size_t{3});

    // Saving one layer writes that layer alone.
    const QString one = dir.filePath("one.hxv");
    QVERIFY(w.CadSave(one, user));
    w.WaitForSaves();
    TFlpCAD third;
    QVERIFY(third.CadLoad(one, -1, -1, 0));
    QCOMPARE(third.Model().LayerCount(), size_t{1});
    QCOMPARE(third.Model().LayerName(0), std::string("halvex_usershape"));
    QVERIFY(!w.CadSave(one, 77));
    QVERIFY(!w.LastError().isEmpty());
  }

  void RefusedFilesLeaveTheDrawingAlone() {
    QTemporaryDir dir;
    TFlpCAD w;
    const uint16_t layer = w.LayerOpen("L");
    w.DrawLine(0, 0, 1, 1, layer);
    const QString junk = dir.filePath("junk.hxv");
    QFile f(junk);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("SQLite format 3\0 but not really", 32);
    f.close();
    for (const QString& name : {junk, dir.filePath("missing.hxv")}) {
      QVERIFY(!w.CadLoad(name, -1, -1, 0));
      QVERIFY(!w.LastError().isEmpty());
      QVERIFY(!w.DXFLoad(name));
      QCOMPARE(w.Model().ShapeCount(), size_t{1});
      QCOMPARE(w.Model().LayerName(layer), std::string("L"));
    }
    // A save that fails is reported with its reason.
    QSignalSpy saved(&w, &TFlpCAD::CadSaveFinished);
    QVERIFY(w.CadSave(dir.filePath("no/such/folder/x.hxv"), -1));
    QVERIFY(saved.wait(10000));
    QCOMPARE(saved.last().at(0).toBool(), false);
    QVERIFY(!saved.last().at(2).toString().isEmpty());
    QVERIFY(!w.DXFSave(dir.filePath("no/such/folder/x.dxf")));
  }

  void DxfSaveAndLoadThroughTheWidget() {
    QTemporaryDir dir;
    const QString file = dir.filePath("chart.dxf");
    TFlpCAD w;
    const uint16_t layer = w.LayerOpen("Track");
    w.DrawLine(0, 0, 10, 0, layer);
    w.DrawCircle(5, 5, 2, layer);
    QVERIFY(w.DXFSave(file));
    TFlpCAD other;
    QVERIFY(other.DXFLoad(file));
    QCOMPARE(other.Model().LayerShapeCount(other.LayerFindByName("Track")), size_t{2});
    QCOMPARE(other.LastDxfReport().shapes, size_t{2});
  }

  // ------------------------------------------------------------ artifact
  void SampleDrawingScreenshot() {
    // A survey day in miniature, saved beside the test as chart-sample.png
    // for a person to look at.
    TFlpCAD w;
    w.resize(800, 600);
    w.SetBackColor(0xF0E8E0);
    const uint16_t grid = w.LayerOpen("halvex_grid");
    const uint16_t fix = w.LayerOpen("halvex_trackfix");
    const uint16_t nofix = w.LayerOpen("halvex_tracknofix");
    const uint16_t user = w.LayerOpen("halvex_usershape");
    const uint16_t vessel = w.LayerOpen("halvex_vessel");
    w.SetLayerPenFg(grid, 0xC0C0C0);
    w.SetLayerPenFg(fix, 0x008000);
    w.SetLayerPenFg(nofix, 0x0080FF);
    w.SetLayerPenFg(user, 0xFF0000);
    w.SetLayerPenFg(vessel, 0x0000FF);
    w.SetLayerPenWidth(vessel, 2);
    for (int g = 0; g <= 1000; g += 100) {
      w.DrawLine(g, 0, g, 1000, grid);
      w.DrawLine(0, g, 1000, g, grid);
    }
    for (int line = 0; line < 20; ++line) {
      for (int i = 0; i < 400; ++i) {
        const double x = 100 + (line % 2 == 0 ? i : 399 - i) * 2.0;
        const double y = 100 + line * 40 + 3 * std::sin(i * 0.05);
        w.DrawPoint(x, y, i % 50 < 45 ? fix : nofix);
      }
    }
    w.DrawPolyline({{80, 80}, {920, 80}, {920, 920}, {80, 920}}, true, user);
    w.DrawArc(500, 500, 150, 30, 150, user);
    const int32_t font = w.FontOpen("Txt", 2);
    w.SetCadFontScale(0);
    w.SetCadFontJustify(1);
    w.TextAdd(user, "42", 500, 500, font);
    w.DrawCircle(500, 500, 1, user);
    w.DrawPolyline({{860, 880}, {868, 880}, {868, 912}, {864, 920}, {860, 912}}, true, vessel);
    w.WorldExtents();
    const QImage img = w.grab().toImage();
    const QString path = QDir::current().filePath("chart-sample.png");
    QVERIFY(img.save(path));
    QVERIFY(QFile::exists(path));
    QVERIFY(InkBox(img, QColor(0xE0, 0xE8, 0xF0)).width() > 500);
  }

  void WheelZoomsAboutTheCursor() {
    TFlpCAD w;
    w.resize(200, 100);
    const QPointF cursor(30, 20);
    const PointXY under = w.ScreenToWorld(cursor);
    QWheelEvent in(cursor, w.mapToGlobal(cursor), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&w, &in);
    QVERIFY(w.WorldUnitsPerPixel() < 1.0);
    const QPointF back = w.WorldToScreen(under.x, under.y);
    QVERIFY(std::abs(back.x() - cursor.x()) < 1e-9);
    QVERIFY(std::abs(back.y() - cursor.y()) < 1e-9);
    QWheelEvent out(cursor, w.mapToGlobal(cursor), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&w, &out);
    QVERIFY(std::abs(w.WorldUnitsPerPixel() - 1.0) < 1e-12);
    QVERIFY(std::abs(w.WorldLeft() - -100.0) < 1e-9);
  }
};

}  // namespace halvex::mapcontrol

QTEST_MAIN(halvex::mapcontrol::FlpCadTest)
#include "FlpCadTest.moc"
