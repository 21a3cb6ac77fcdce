// SPDX-License-Identifier: GPL-3.0-or-later
// The form saved by Qt's form writer compiled (uic ran on it at build time)
// and built: every widget is of its class and the chart's properties are
// back.

#include <QLayout>
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
};

QTEST_MAIN(SavedFormTest)
#include "SavedFormTest.moc"
