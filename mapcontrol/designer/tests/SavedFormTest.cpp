// SPDX-License-Identifier: GPL-3.0-or-later
// The form saved by Qt's form writer compiled (uic ran on it at build time)
// and built: every widget is of its class, the chart's properties are back,
// and the pages, linked to the chart by its name, drive it.

#include <QCheckBox>
#include <QLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

#include "mapcontrol/FlpCad.hpp"
#include "mapcontrol/designer/PropertyPages.hpp"
#include "ui_SavedForm.h"

using namespace halvex::mapcontrol;

class SavedFormTest : public QObject {
  Q_OBJECT

 private slots:
  void BuildsEveryWidgetWithItsProperties() {
    QWidget form;
    Ui::SavedForm ui;
    ui.setupUi(&form);
    QVERIFY(qobject_cast<TFlpCAD*>(ui.fcad) != nullptr);
    QCOMPARE(ui.fcad->BackColor(), 0x123456);
    QCOMPARE(ui.fcad->ViewMouseTool(), kToolPan);
    QVERIFY(qobject_cast<TLayerActionPage*>(ui.actions) != nullptr);
    QVERIFY(qobject_cast<TBrushPage*>(ui.brush) != nullptr);
    QVERIFY(qobject_cast<TLayerSearchPage*>(ui.search) != nullptr);
    QVERIFY(qobject_cast<TShapeGeneralPage*>(ui.general) != nullptr);
    QVERIFY(qobject_cast<TShapePointPage*>(ui.point) != nullptr);
    // In a layout the chart gets a usable size.
    form.show();
    form.layout()->activate();
    QVERIFY2(ui.fcad->width() >= 160 && ui.fcad->height() >= 120,
             qPrintable(QStringLiteral("%1 x %2").arg(ui.fcad->width()).arg(ui.fcad->height())));
  }

  void LinkedPagesDriveTheChart() {
    QWidget form;
    Ui::SavedForm ui;
    ui.setupUi(&form);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (TChartPage* page : form.findChildren<TChartPage*>()) {
      QCOMPARE(page->ChartName(), QStringLiteral("fcad"));
      QCOMPARE(page->Target(), ui.fcad);
    }
    // Layers opened in code reach the pages through the chart's signals.
    TFlpCAD& chart = *ui.fcad;
    const uint16_t track = chart.LayerOpen("Track");
    const uint32_t point = chart.DrawPoint(10, 20, track);
    QVERIFY(ui.actions->SelectLayer(track));
    ui.actions->SnappableBox()->setChecked(false);
    QCOMPARE(chart.LayerAction(track), kActionAll & ~kActionSnappable);
    QVERIFY(ui.brush->SelectLayer(track));
    ui.brush->PenWidthBox()->setValue(5);
    QCOMPARE(chart.LayerPenWidth(track), 5);
    ui.search->NameEdit()->setText(QStringLiteral("Track"));
    QCOMPARE(ui.search->Found(), track);
    ui.general->NumberBox()->setValue(static_cast<int>(point));
    ui.general->SelectedBox()->setChecked(true);
    QVERIFY(chart.Model().ShapeSelected(point));
    ui.point->NumberBox()->setValue(static_cast<int>(point));
    ui.point->XEdit()->setText(QStringLiteral("30.5"));
    QVERIFY(ui.point->Move());
    QCOMPARE(chart.Model().GetShape(point)->x1, 30.5);
    // And the pages show what the chart changed.
    chart.ShapeDeselect(point);
    QVERIFY(!ui.general->SelectedBox()->isChecked());
    chart.SetLayerAction(track, kActionVisible);
    QVERIFY(!ui.actions->SelectableBox()->isChecked());
  }
};

QTEST_MAIN(SavedFormTest)
#include "SavedFormTest.moc"
