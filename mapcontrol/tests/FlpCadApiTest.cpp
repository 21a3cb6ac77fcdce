// SPDX-License-Identifier: GPL-3.0-or-later
// The chart widget as Qt code meets it: QColor overloads, the mouse tools by
// name, the change signals (each once per change, never for a call that
// changes nothing), and the text and measuring tools driven by real mouse
// events on the offscreen platform.

#include <QImage>
#include <QMetaEnum>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <string>

#include "mapcontrol/FlpCad.hpp"

namespace halvex::mapcontrol {

// Shows the chart at 200 x 100 pixels, so that mouse moves reach it; the
// view is centred on (0, 0) at one world unit per pixel.
void Show(TFlpCAD& w) {
  w.resize(200, 100);
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
}

class FlpCadApiTest : public QObject {
  Q_OBJECT

 private slots:
  void ColoursTravelAsQColorAndAsIntegers() {
    TFlpCAD w;
    const uint16_t layer = w.LayerOpen("L");
    w.SetBackColor(QColor(0x56, 0x34, 0x12));
    QCOMPARE(w.BackColor(), 0x123456);
    QCOMPARE(w.BackQColor(), QColor(0x56, 0x34, 0x12));
    w.SetLayerPenFg(layer, QColor(Qt::red));
    QCOMPARE(w.LayerPenFg(layer), 0x0000FF);
    QCOMPARE(w.LayerPenFgQColor(layer), QColor(Qt::red));
    w.SetLayerBrushColor(layer, QColor(0, 0, 255, 10));  // alpha is not kept
    QCOMPARE(w.LayerBrushColor(layer), 0xFF0000);
    QCOMPARE(w.LayerBrushQColor(layer), QColor(Qt::blue));
    // An invalid colour changes nothing.
    QSignalSpy style(&w, &TFlpCAD::layerStyleChanged);
    w.SetBackColor(QColor());
    w.SetLayerPenFg(layer, QColor());
    w.SetLayerBrushColor(layer, QColor());
    QCOMPARE(w.BackColor(), 0x123456);
    QCOMPARE(w.LayerPenFg(layer), 0x0000FF);
    QCOMPARE(w.LayerBrushColor(layer), 0xFF0000);
    QCOMPARE(style.count(), 0);
  }

  void MouseToolPropertyHasNamesAndTakesIntegers() {
    TFlpCAD w;
    const QMetaProperty prop =
        w.metaObject()->property(w.metaObject()->indexOfProperty("ViewMouseTool"));
    QVERIFY(prop.isEnumType());
    const QMetaEnum tools = prop.enumerator();
    QCOMPARE(tools.valueToKey(kToolPan), "PanTool");
    QCOMPARE(tools.valueToKey(DrawingTools::kMeasure), "MeasureTool");
    // Every drawing tool has a name.
    for (int code = 1; code < 30; ++code) {
      QCOMPARE(tools.valueToKey(code) != nullptr, DrawingTools::IsDrawingTool(code));
    }
    // Integers as forms and callers store them, names as Designer writes them.
    QVERIFY(w.setProperty("ViewMouseTool", -3));
    QCOMPARE(w.ViewMouseTool(), kToolWindowZoom);
    QVERIFY(w.setProperty("ViewMouseTool", QStringLiteral("MeasureTool")));
    QCOMPARE(w.ViewMouseTool(), DrawingTools::kMeasure);
    QCOMPARE(w.Tools().Tool(), DrawingTools::kMeasure);
    QCOMPARE(w.property("ViewMouseTool").toInt(), DrawingTools::kMeasure);
    // A code without a name is still taken: it does nothing, as before.
    QVERIFY(w.setProperty("ViewMouseTool", 7));
    QCOMPARE(w.ViewMouseTool(), 7);
    QCOMPARE(w.Tools().Tool(), DrawingTools::kIdle);
    w.setViewMouseTool(TFlpCAD::PanTool);
    QCOMPARE(w.ViewMouseTool(), kToolPan);
  }

  void ViewChangedOncePerChangeOfTheView() {
    TFlpCAD w;
    Show(w);
    QSignalSpy view(&w, &TFlpCAD::viewChanged);
    w.WorldPan(10, 0);
    QCOMPARE(view.count(), 1);
    w.WorldPan(0, 0);
    w.WorldPan(qQNaN(), 1);
    w.WorldZoom(1, 0.2, 0, 0);  // unknown mode
    w.WorldZoom(0, 0, 0, 0);
    QCOMPARE(view.count(), 1);
    w.WorldZoom(0, 0.2, 0, 0);
    QCOMPARE(view.count(), 2);
    w.WorldWindow(0, 50, 100, 0);
    QCOMPARE(view.count(), 3);
    w.WorldWindow(0, 50, 100, 0);  // the same window again
    QCOMPARE(view.count(), 3);
    // At the largest scale zooming out further changes nothing.
    w.WorldWindow(0, 1e12, 1e12, 0);
    QCOMPARE(view.count(), 4);
    w.WorldZoom(0, -0.5, w.WorldLeft() + (w.WorldRight() - w.WorldLeft()) / 2,
                w.WorldBottom() + (w.WorldTop() - w.WorldBottom()) / 2);
    QCOMPARE(view.count(), 4);
    // A resize moves the edges; the same size again does not.
    w.resize(300, 100);
    QCOMPARE(view.count(), 5);
    w.resize(300, 100);
    QCOMPARE(view.count(), 5);
    w.WorldExtents();  // empty drawing: the view stays
    QCOMPARE(view.count(), 5);

    // The pan tool: once per move that moves the view.
    w.WorldWindow(-150, 50, 150, -50);
    view.clear();
    w.SetViewMouseTool(kToolPan);
    QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    QTest::mouseMove(&w, QPoint(110, 50));
    QTest::mouseMove(&w, QPoint(110, 50));
    QTest::mouseMove(&w, QPoint(120, 60));
    QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, QPoint(120, 60));
    QCOMPARE(view.count(), 2);
    QTest::mouseMove(&w, QPoint(10, 10));  // no button: no pan
    QCOMPARE(view.count(), 2);
    QTest::keyClick(&w, Qt::Key_Left);
    QCOMPARE(view.count(), 3);
    // The bounds told by the signal are the new ones.
    double left_seen = 0;
    connect(&w, &TFlpCAD::viewChanged, this, [&] { left_seen = w.WorldLeft(); });
    w.WorldPan(-5, 0);
    QCOMPARE(left_seen, w.WorldLeft());
  }

  void SelectionChangedOncePerFlip() {
    TFlpCAD w;
    Show(w);
    const uint16_t layer = w.LayerOpen("L");
    const uint32_t line = w.DrawLine(-50, 0, 50, 0, layer);
    QSignalSpy sel(&w, &TFlpCAD::selectionChanged);
    w.SetViewMouseTool(kToolSelect);
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    QCOMPARE(sel.count(), 1);
    QCOMPARE(sel.last().at(0).value<quint32>(), line);
    QCOMPARE(sel.last().at(1).toBool(), true);
    QVERIFY(w.ShapeSelect(line));  // already selected
    QCOMPARE(sel.count(), 1);
    QVERIFY(w.ShapeDeselect(line));
    QCOMPARE(sel.count(), 2);
    QCOMPARE(sel.last().at(1).toBool(), false);
    QVERIFY(w.ShapeDeselect(line));  // already deselected
    QVERIFY(!w.ShapeSelect(9999));
    QVERIFY(!w.ShapeDeselect(9999));
    QCOMPARE(sel.count(), 2);
    // A click beside every shape selects nothing.
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 90));
    QCOMPARE(sel.count(), 2);
    // The flag is set when the signal arrives.
    bool seen = false;
    connect(&w, &TFlpCAD::selectionChanged, this,
            [&](quint32 shape, bool on) { seen = w.Model().ShapeSelected(shape) == on; });
    QVERIFY(w.ShapeSelect(line));
    QVERIFY(seen);
  }

  void LayerSignalsOncePerChange() {
    TFlpCAD w;
    QSignalSpy added(&w, &TFlpCAD::layerAdded);
    QSignalSpy style(&w, &TFlpCAD::layerStyleChanged);
    QSignalSpy cleared(&w, &TFlpCAD::layerCleared);
    QSignalSpy replaced(&w, &TFlpCAD::drawingReplaced);

    const uint16_t a = w.LayerOpen("A");
    QCOMPARE(added.count(), 1);
    QCOMPARE(added.last().at(0).toInt(), int{a});
    QCOMPARE(w.LayerOpen("A"), a);  // found, not added
    QCOMPARE(added.count(), 1);

    w.SetLayerPenFg(a, 0x112233);
    w.SetLayerPenFg(a, 0x112233);
    w.SetLayerPenFg(a, 0x7F112233);  // the same colour: the high byte is not kept
    QCOMPARE(style.count(), 1);
    QCOMPARE(style.last().at(0).toInt(), int{a});
    w.SetLayerPenWidth(a, -3);  // kept as 0
    w.SetLayerPenWidth(a, -5);
    w.SetLayerPenWidth(a, 0);
    QCOMPARE(style.count(), 2);
    w.SetLayerAction(a, kActionVisible);
    w.SetLayerAction(a, kActionVisible | 0x100);  // unknown bits are not kept
    QCOMPARE(style.count(), 3);
    w.SetLayerBrushColor(a, 0x445566);
    QCOMPARE(style.count(), 4);
    w.SetLayerPenFg(kNoLayer, 0x1);
    w.SetLayerPenWidth(77, 3);
    QCOMPARE(style.count(), 4);

    w.CadClearShapes(a);  // empty already
    w.CadClearShapes(-1);
    w.CadClearShapes(77);
    QCOMPARE(cleared.count(), 0);
    w.DrawPoint(1, 1, a);
    w.CadClearShapes(a);
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(cleared.last().at(0).toInt(), int{a});
    w.DrawPoint(1, 1, a);
    w.CadClearShapes(-1);
    QCOMPARE(cleared.count(), 2);
    QCOMPARE(cleared.last().at(0).toInt(), -1);

    w.CadClearAll();
    QCOMPARE(replaced.count(), 1);
    w.CadClearAll();  // nothing left to clear
    QCOMPARE(replaced.count(), 1);
    QCOMPARE(added.count(), 1);
  }

  void LoadingReportsLayersAndReplacements() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("p.hxv"));
    {
      TFlpCAD source;
      const uint16_t l = source.LayerOpen("Track");
      source.DrawPoint(0, 0, l);
      source.DrawPoint(1, 1, source.LayerOpen("Events"));
      QVERIFY(source.CadSave(file, -1));
      source.WaitForSaves();
    }
    TFlpCAD w;
    w.LayerOpen("Track");
    QSignalSpy added(&w, &TFlpCAD::layerAdded);
    QSignalSpy replaced(&w, &TFlpCAD::drawingReplaced);
    // Adding the file's shapes opens only the layer that is missing.
    QVERIFY(w.CadLoad(file, -1, -1, 1));
    QCOMPARE(added.count(), 1);
    QCOMPARE(added.last().at(0).toInt(), int{w.LayerFindByName("Events")});
    QCOMPARE(replaced.count(), 0);
    QVERIFY(w.CadLoad(file, -1, -1, 0));
    QCOMPARE(replaced.count(), 1);
    // A failed load changes nothing and says nothing.
    QVERIFY(!w.CadLoad(dir.filePath(QStringLiteral("missing.hxv")), -1, -1, 0));
    QVERIFY(!w.DXFLoad(dir.filePath(QStringLiteral("missing.dxf"))));
    QCOMPARE(replaced.count(), 1);
    QCOMPARE(added.count(), 1);
  }

  // ------------------------------------------------------------ tools' text

  void TextToolUsesTheCurrentFontSettings() {
    TFlpCAD w;
    Show(w);
    w.SetLayerNumber(w.LayerOpen("user"));
    const int32_t font = w.FontOpen("Sans", 2);
    w.SetCadFont(font);
    w.SetCadFontScale(3);
    w.SetCadFontJustify(4);
    w.SetCadFont(font + 5);  // no such font: refused
    QCOMPARE(w.CadFont(), font);
    w.SetTextPrompt([](const std::string&) { return std::optional<std::string>("WP1"); });
    QSignalSpy shapes(&w, &TFlpCAD::OnShapeAdded);
    w.SetViewMouseTool(DrawingTools::kText);
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(120, 40));
    QCOMPARE(shapes.count(), 1);
    const std::optional<ShapeData> text =
        w.Model().GetShape(static_cast<uint32_t>(shapes.last().at(1).toInt()));
    QVERIFY(text.has_value());
    QCOMPARE(text->text, std::string("WP1"));
    QCOMPARE(text->font, font);
    QCOMPARE(text->text_height, 6.0);  // the font's 2 times CadFontScale 3
    QCOMPARE(text->justify, 4);
    QCOMPARE(text->x1, 20.0);
    QCOMPARE(text->y1, 10.0);

    // CadFontScale 0: a fixed size on the screen, as TextAdd makes it.
    w.SetCadFontScale(0);
    QTest::mouseClick(&w, Qt::LeftButton, Qt::ControlModifier, QPoint(60, 40));
    QCOMPARE(shapes.count(), 2);
    const uint32_t second = static_cast<uint32_t>(shapes.last().at(1).toInt());
    QCOMPARE(w.Model().GetShape(second)->text_height, 0.0);
    const uint32_t by_call = w.TextAdd(w.LayerNumber(), "WP2", 5, 5, font);
    QCOMPARE(w.Model().GetShape(by_call)->text_height, 0.0);
    QCOMPARE(w.Model().GetShape(by_call)->justify, 4);
  }

  void MeasuringToolLabelsAndTellsDistanceAndBearing() {
    TFlpCAD w;
    Show(w);
    w.SetLayerNumber(w.LayerOpen("user"));
    const int32_t font = w.FontOpen("Sans", 1.5);
    w.SetCadFont(font);
    w.SetCadFontScale(2);
    w.SetCadFontJustify(1);
    QSignalSpy measured(&w, &TFlpCAD::measured);
    QSignalSpy shapes(&w, &TFlpCAD::OnShapeAdded);
    w.SetViewMouseTool(DrawingTools::kMeasure);
    // Click, click: (0, 0) to (30, 40).
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    QTest::mouseMove(&w, QPoint(115, 30));
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(130, 10));
    QCOMPARE(measured.count(), 1);
    QCOMPARE(measured.last().at(0).toDouble(), 50.0);
    QVERIFY(qAbs(measured.last().at(1).toDouble() - 36.869897645844021) < 1e-12);
    QCOMPARE(shapes.count(), 2);  // the line and its label
    const std::optional<ShapeData> label =
        w.Model().GetShape(static_cast<uint32_t>(shapes.last().at(1).toInt()));
    QCOMPARE(label->kind, ShapeKind::kText);
    QCOMPARE(label->text, std::string("50.00 m 36.87\xC2\xB0"));
    QCOMPARE(label->font, font);
    QCOMPARE(label->text_height, 3.0);
    QCOMPARE(label->justify, 1);
    QCOMPARE(label->x1, 15.0);
    QCOMPARE(label->y1, 20.0);

    // A drag to the west: bearing 270; Ctrl keeps the points off the snap
    // points of the first measurement.
    QTest::mousePress(&w, Qt::LeftButton, Qt::ControlModifier, QPoint(180, 70));
    QTest::mouseMove(&w, QPoint(150, 70), -1);
    QTest::mouseRelease(&w, Qt::LeftButton, Qt::ControlModifier, QPoint(120, 70));
    QCOMPARE(measured.count(), 2);
    QCOMPARE(measured.last().at(0).toDouble(), 60.0);
    QCOMPARE(measured.last().at(1).toDouble(), 270.0);
    // Due north is 0, not 360; due south 180.
    QCOMPARE(DrawingTools::GridBearing({5, 5}, {5, 9}), 0.0);
    QCOMPARE(DrawingTools::GridBearing({5, 5}, {5, 1}), 180.0);
    QCOMPARE(DrawingTools::GridBearing({0, 0}, {-1e-300, 1}), 0.0);
    // A click on the same point measures nothing.
    QTest::mouseClick(&w, Qt::LeftButton, Qt::ControlModifier, QPoint(30, 30));
    QTest::mouseClick(&w, Qt::LeftButton, Qt::ControlModifier, QPoint(30, 30));
    QCOMPARE(measured.count(), 2);
  }

  // The rubber-band label looks as the placed one will: the same pixels.
  void MeasurePreviewLabelMatchesThePlacedLabel() {
    TFlpCAD w;
    Show(w);
    const uint16_t user = w.LayerOpen("user");
    w.SetLayerNumber(user);
    w.SetCadFont(w.FontOpen("Sans", 3));
    w.SetCadFontScale(0);  // 18 pixels high
    w.SetCadFontJustify(4);
    w.SetViewMouseTool(DrawingTools::kMeasure);
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(20, 80));
    QTest::mouseMove(&w, QPoint(180, 80));
    const QImage preview = w.grab().toImage();
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(180, 80));
    // Only the label: hide the line by drawing it nowhere near.
    w.SetViewMouseTool(kToolSelect);
    const QImage placed = w.grab().toImage();
    // The label is centred on (100, 80): compare the box above the line.
    const QRect box(40, 60, 120, 19);
    int differing = 0;
    int ink = 0;
    for (int y = box.top(); y <= box.bottom(); ++y) {
      for (int x = box.left(); x <= box.right(); ++x) {
        const bool a = preview.pixelColor(x, y) != QColor(Qt::white);
        const bool b = placed.pixelColor(x, y) != QColor(Qt::white);
        ink += b ? 1 : 0;
        differing += a != b ? 1 : 0;
      }
    }
    QVERIFY2(ink > 100, qPrintable(QString::number(ink)));
    QVERIFY2(differing * 20 < ink, qPrintable(QStringLiteral("%1 of %2").arg(differing).arg(ink)));
  }
};

}  // namespace halvex::mapcontrol

QTEST_MAIN(halvex::mapcontrol::FlpCadApiTest)
#include "FlpCadApiTest.moc"
