// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPluginLoader>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QVBoxLayout>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include <memory>

#include "mapcontrol/FlpCad.hpp"
#include "mapcontrol/designer/PropertyPages.hpp"
#include "ui_ChartForm.h"

using namespace halvex::mapcontrol;

namespace {

// A small drawing: layers "coast" (0) and "track" (1), a line (1) and a point
// (2) on the track, a circle (3) on the coast.
struct Drawing {
  TFlpCAD cad;
  uint16_t coast = 0;
  uint16_t track = 0;
  uint32_t line = 0;
  uint32_t point = 0;
  uint32_t circle = 0;
  Drawing() {
    coast = cad.LayerOpen("coast");
    track = cad.LayerOpen("track");
    line = cad.DrawLine(0, 0, 100, 50, track);
    point = cad.DrawPoint(512345.125, 6012345.5, track);
    circle = cad.DrawCircle(10, 10, 5, coast);
  }
};

}  // namespace

class MapCtlPluginTest : public QObject {
  Q_OBJECT

 private slots:
  void CollectionListsSixWidgetsInOrder();
  void LayerActionPageWritesTheBits();
  void BrushPageWritesPenAndBrush();
  void BrushPageChoosesTheBrushStyle();
  void LayerSearchPageFindsByName();
  void ShapeGeneralPageShowsAndEdits();
  void ShapePointPageShowsAndMovesThePoint();
  void PagesForgetADeletedTarget();
  void FormsFromDesignerCompileAndBuildTheWidgets();
  void PagesFindTheChartByNameInTheirWindow();
};

void MapCtlPluginTest::CollectionListsSixWidgetsInOrder() {
  QPluginLoader loader(QStringLiteral(MAPCTL_PLUGIN_PATH));
  QObject* instance = loader.instance();
  QVERIFY2(instance != nullptr, qPrintable(loader.errorString()));
  QCOMPARE(loader.metaData().value(QStringLiteral("IID")).toString(),
           QStringLiteral("org.qt-project.Qt.QDesignerCustomWidgetCollectionInterface"));
  auto* collection = qobject_cast<QDesignerCustomWidgetCollectionInterface*>(instance);
  QVERIFY(collection != nullptr);

  const QList<QDesignerCustomWidgetInterface*> widgets = collection->customWidgets();
  const QStringList names = {
      QStringLiteral("TFlpCAD"),           QStringLiteral("TLayerActionPage"),
      QStringLiteral("TBrushPage"),        QStringLiteral("TLayerSearchPage"),
      QStringLiteral("TShapeGeneralPage"), QStringLiteral("TShapePointPage")};
  QCOMPARE(widgets.size(), names.size());
  for (qsizetype i = 0; i < names.size(); ++i) {
    QDesignerCustomWidgetInterface* entry = widgets[i];
    const QString qualified = QStringLiteral("halvex::mapcontrol::") + names[i];
    QCOMPARE(entry->name(), qualified);
    QCOMPARE(entry->group(), QStringLiteral("ActiveX"));
    // The widget box shows the plain name.
    QVERIFY2(entry->domXml().contains(QStringLiteral("displayname=\"") + names[i] + "\""),
             qPrintable(entry->domXml()));
    QVERIFY(entry->domXml().contains(QStringLiteral("class=\"") + qualified + "\""));
    // The header a saved form names exists and declares the class.
    QFile header(QStringLiteral(MAPCTL_SOURCE_ROOT "/") + entry->includeFile());
    QVERIFY2(header.open(QIODevice::ReadOnly), qPrintable(entry->includeFile()));
    QVERIFY(header.readAll().contains(("class " + names[i] + " ").toLatin1()));
    QVERIFY(!entry->isContainer());
    QVERIFY(!entry->isInitialized());
    entry->initialize(nullptr);
    QVERIFY(entry->isInitialized());

    std::unique_ptr<QWidget> widget(entry->createWidget(nullptr));
    QVERIFY(widget != nullptr);
    QVERIFY(widget->isWidgetType());
    // Designer warns of a class name mismatch unless the entry's name is
    // the class name of the widget it makes.
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), entry->name());
    QVERIFY(!widget->sizeHint().isEmpty());
    widget->resize(200, 150);
    widget->show();
    QCoreApplication::processEvents();
  }
  // The chart made by the plugin is the real one: its properties are there.
  std::unique_ptr<QWidget> chart(widgets[0]->createWidget(nullptr));
  QVERIFY(chart->setProperty("BackColor", 0x123456));
  QCOMPARE(chart->property("BackColor").toInt(), 0x123456);
}

void MapCtlPluginTest::LayerActionPageWritesTheBits() {
  Drawing d;
  TLayerActionPage page;
  QCOMPARE(page.CurrentLayer(), kNoLayer);
  QVERIFY(!page.VisibleBox()->isEnabled());
  page.SetTarget(&d.cad);
  QCOMPARE(page.LayerChooser()->count(), 2);
  QCOMPARE(page.LayerChooser()->itemText(1), QStringLiteral("1: track"));
  QCOMPARE(page.CurrentLayer(), d.coast);
  QCOMPARE(page.ActionBits(), kActionAll);

  QVERIFY(page.SelectLayer(d.track));
  page.SetActionBits(kActionVisible | kActionSnappable);
  QCOMPARE(d.cad.Model().LayerAction(d.track), kActionVisible | kActionSnappable);
  QCOMPARE(d.cad.Model().LayerAction(d.coast), kActionAll);

  // Clicking a box writes at once.
  page.SelectableBox()->click();
  QCOMPARE(d.cad.Model().LayerAction(d.track),
           kActionVisible | kActionSelectable | kActionSnappable);
  page.VisibleBox()->click();
  QCOMPARE(d.cad.Model().LayerAction(d.track), kActionSelectable | kActionSnappable);

  // Choosing a layer shows its bits and writes nothing.
  QVERIFY(page.SelectLayer(d.coast));
  QCOMPARE(page.ActionBits(), kActionAll);
  QVERIFY(page.SelectLayer(d.track));
  QCOMPARE(page.ActionBits(), kActionSelectable | kActionSnappable);
  QVERIFY(!page.SelectLayer(7));

  // A new layer appears after a refresh; the current layer stays.
  const uint16_t soundings = d.cad.LayerOpen("soundings");
  page.Refresh();
  QCOMPARE(page.LayerChooser()->count(), 3);
  QCOMPARE(page.CurrentLayer(), d.track);
  QVERIFY(page.SelectLayer(soundings));
}

void MapCtlPluginTest::BrushPageWritesPenAndBrush() {
  Drawing d;
  TBrushPage page;
  page.SetTarget(&d.cad);
  QVERIFY(page.SelectLayer(d.track));
  QCOMPARE(page.PenColor(), kDefaultPenColor);
  QCOMPARE(page.PenWidth(), kDefaultPenWidth);
  QCOMPARE(page.BrushColor(), kDefaultBrushColor);

  page.SetPenColor(0x0000FF);    // red
  page.SetBrushColor(0xFF0000);  // blue
  QCOMPARE(d.cad.Model().LayerPenColor(d.track), 0x0000FF);
  QCOMPARE(d.cad.Model().LayerBrushColor(d.track), 0xFF0000);
  QCOMPARE(d.cad.Model().LayerBrushStyle(d.track), BrushStyle::kSolid);
  QCOMPARE(page.PenColorButton()->text(), QStringLiteral("#ff0000"));
  QCOMPARE(page.BrushColorButton()->text(), QStringLiteral("#0000ff"));

  page.PenWidthBox()->setValue(4);
  QCOMPARE(d.cad.Model().LayerPenWidth(d.track), 4);
  page.SetPenWidth(2);
  QCOMPARE(d.cad.Model().LayerPenWidth(d.track), 2);
  QCOMPARE(page.PenWidth(), 2);

  // The other layer is untouched, and choosing it shows its own style.
  QCOMPARE(d.cad.Model().LayerPenColor(d.coast), kDefaultPenColor);
  QVERIFY(page.SelectLayer(d.coast));
  QCOMPARE(page.PenColor(), kDefaultPenColor);
  QCOMPARE(page.PenWidth(), kDefaultPenWidth);
  QCOMPARE(d.cad.Model().LayerPenWidth(d.track), 2);
}

void MapCtlPluginTest::BrushPageChoosesTheBrushStyle() {
  Drawing d;
  TBrushPage page;
  QComboBox* chooser = page.BrushStyleChooser();
  QVERIFY(!chooser->isEnabled());  // no target, no layer
  page.SetTarget(&d.cad);
  QVERIFY(page.SelectLayer(d.coast));
  QVERIFY(chooser->isEnabled());
  // Every style the renderer fills with, each once, none first.
  QCOMPARE(chooser->count(), kBrushStyleMax + 1);
  for (int code = 0; code <= kBrushStyleMax; ++code) QVERIFY(chooser->findData(code) >= 0);
  QCOMPARE(chooser->currentText(), QStringLiteral("None"));

  // Chosen as a user does: the layer's brush changes and the chart says so.
  QSignalSpy styled(&d.cad, &TFlpCAD::layerStyleChanged);
  chooser->setFocus();
  chooser->setCurrentIndex(chooser->findData(static_cast<int>(BrushStyle::kCross)));
  QCOMPARE(d.cad.LayerBrushStyle(d.coast), BrushStyle::kCross);
  QCOMPARE(styled.count(), 1);
  QTest::keyClick(chooser, Qt::Key_Up);
  QCOMPARE(d.cad.LayerBrushStyle(d.coast), BrushStyle::kBackwardDiagonal);
  QCOMPARE(page.BrushStyleShown(), BrushStyle::kBackwardDiagonal);
  QCOMPARE(d.cad.LayerBrushStyle(d.track), BrushStyle::kNone);

  // A colour keeps a hatch; on a layer without a brush it gives a solid one,
  // which the chooser shows.
  page.SetBrushColor(0x00FF00);
  QCOMPARE(d.cad.LayerBrushStyle(d.coast), BrushStyle::kBackwardDiagonal);
  QVERIFY(page.SelectLayer(d.track));
  QCOMPARE(page.BrushStyleShown(), BrushStyle::kNone);
  page.SetBrushColor(0x00FF00);
  QCOMPARE(d.cad.LayerBrushStyle(d.track), BrushStyle::kSolid);
  QCOMPARE(chooser->currentText(), QStringLiteral("Solid"));

  // A change made elsewhere shows on the page; back to none stops the fill.
  d.cad.SetLayerBrushStyle(d.track, BrushStyle::kHorizontal);
  QCOMPARE(page.BrushStyleShown(), BrushStyle::kHorizontal);
  page.SetBrushStyle(BrushStyle::kNone);
  QCOMPARE(d.cad.LayerBrushStyle(d.track), BrushStyle::kNone);
  QCOMPARE(chooser->currentText(), QStringLiteral("None"));
  QVERIFY(page.SelectLayer(d.coast));
  QCOMPARE(page.BrushStyleShown(), BrushStyle::kBackwardDiagonal);
}

void MapCtlPluginTest::LayerSearchPageFindsByName() {
  Drawing d;
  TLayerSearchPage page;
  QCOMPARE(page.Search(QStringLiteral("track")), kNoLayer);
  QCOMPARE(page.ResultLabel()->text(), QStringLiteral("not found"));
  page.SetTarget(&d.cad);
  QCOMPARE(page.Found(), d.track);  // the name typed before is looked up again
  QCOMPARE(page.ResultLabel()->text(), QStringLiteral("1"));
  QCOMPARE(page.Search(QStringLiteral("coast")), d.coast);
  QCOMPARE(page.ResultLabel()->text(), QStringLiteral("0"));
  QCOMPARE(page.NameEdit()->text(), QStringLiteral("coast"));
  QCOMPARE(page.Search(QStringLiteral("Coast")), kNoLayer);  // names are case-sensitive
  QCOMPARE(page.ResultText(), QStringLiteral("not found"));
  // Typing searches as well.
  page.NameEdit()->clear();
  QTest::keyClicks(page.NameEdit(), QStringLiteral("track"));
  QCOMPARE(page.Found(), d.track);
  QCOMPARE(page.ResultLabel()->text(), QStringLiteral("1"));
}

void MapCtlPluginTest::ShapeGeneralPageShowsAndEdits() {
  Drawing d;
  TShapeGeneralPage page;
  page.SetTarget(&d.cad);
  QVERIFY(page.LoadShape(d.line));
  QCOMPARE(page.KindText(), QStringLiteral("line"));
  QCOMPARE(page.LayerText(), QStringLiteral("1: track"));
  QCOMPARE(page.PenWidth(), -1);
  QVERIFY(!page.Selected());

  QVERIFY(page.SetPenWidth(3));
  QCOMPARE(d.cad.ShapePenWidth(d.line), 3);
  QCOMPARE(page.PenWidth(), 3);
  page.PenWidthBox()->setValue(5);
  QCOMPARE(d.cad.ShapePenWidth(d.line), 5);

  QVERIFY(page.SetSelected(true));
  QVERIFY(d.cad.Model().ShapeSelected(d.line));
  page.SelectedBox()->click();
  QVERIFY(!d.cad.Model().ShapeSelected(d.line));

  page.NumberBox()->setValue(static_cast<int>(d.circle));
  QCOMPARE(page.Shape(), d.circle);
  QCOMPARE(page.KindText(), QStringLiteral("circle"));
  QCOMPARE(page.LayerText(), QStringLiteral("0: coast"));
  QCOMPARE(d.cad.ShapePenWidth(d.line), 5);  // loading wrote nothing

  QVERIFY(!page.LoadShape(99));
  QVERIFY(page.KindText().isEmpty());
  QVERIFY(!page.SetPenWidth(2));
  QVERIFY(!page.PenWidthBox()->isEnabled());
}

void MapCtlPluginTest::ShapePointPageShowsAndMovesThePoint() {
  Drawing d;
  TShapePointPage page;
  page.SetTarget(&d.cad);
  QVERIFY(page.LoadShape(d.point));
  QCOMPARE(page.XText(), QStringLiteral("512345.125"));
  QCOMPARE(page.YText(), QStringLiteral("6012345.500"));

  // Editing the fields and pressing Move moves the point, and picking
  // finds it at its new place.
  page.XEdit()->setText(QStringLiteral("512000.25"));
  page.YEdit()->setText(QStringLiteral(" 6012000 "));
  page.MoveButton()->click();
  QVERIFY(page.ErrorText().isEmpty());
  QCOMPARE(d.cad.Model().GetShape(d.point)->x1, 512000.25);
  QCOMPARE(d.cad.Model().GetShape(d.point)->y1, 6012000.0);
  QCOMPARE(d.cad.Model().Pick(512000.25, 6012000, 0.01)->number, d.point);
  QVERIFY(!d.cad.Model().Pick(512345.125, 6012345.5, 0.01));
  // Text that is not a number (or uses a comma) moves nothing.
  page.XEdit()->setText(QStringLiteral("512000,5"));
  QVERIFY(!page.Move());
  QVERIFY(!page.ErrorText().isEmpty());
  QCOMPARE(d.cad.Model().GetShape(d.point)->x1, 512000.25);

  QVERIFY(!page.LoadShape(d.line));  // not a point
  QVERIFY(page.XText().isEmpty());
  QVERIFY(!page.MoveButton()->isEnabled());
  QVERIFY(!page.Move());
  QVERIFY(!d.cad.Model().MovePoint(d.line, 0, 0));
  page.NumberBox()->setValue(static_cast<int>(d.point));
  QCOMPARE(page.Shape(), d.point);
  QCOMPARE(page.YText(), QStringLiteral("6012000.000"));
}

void MapCtlPluginTest::PagesForgetADeletedTarget() {
  auto d = std::make_unique<Drawing>();
  TLayerActionPage action;
  TShapeGeneralPage general;
  action.SetTarget(&d->cad);
  general.SetTarget(&d->cad);
  QVERIFY(general.LoadShape(d->line));
  d.reset();
  QVERIFY(action.Target() == nullptr);
  QCOMPARE(action.CurrentLayer(), kNoLayer);
  action.SetActionBits(kActionVisible);  // does nothing
  QVERIFY(!general.SetSelected(true));
  action.Refresh();
  QCOMPARE(action.LayerChooser()->count(), 0);
}

void MapCtlPluginTest::FormsFromDesignerCompileAndBuildTheWidgets() {
  // uic's code for a form holding the plugin's widgets compiles against the
  // header the plugin names, and sets the properties stored in the form.
  QWidget form;
  Ui::ChartForm ui;
  ui.setupUi(&form);
  QCOMPARE(ui.fcad->BackColor(), 1193046);
  QCOMPARE(ui.fcad->ViewMouseTool(), kToolPan);  // stored as the integer
  ui.search->SetTarget(ui.fcad);
  ui.fcad->LayerOpen("halvex_vessel");
  QVERIFY(ui.search->Target() == ui.fcad);
}

void MapCtlPluginTest::PagesFindTheChartByNameInTheirWindow() {
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  // The page comes first, as a form may create it: the name finds no chart
  // yet.
  auto* page = new TLayerActionPage(&window);
  page->setProperty("ChartName", QStringLiteral("second"));
  QVERIFY(page->Target() == nullptr);
  auto* first = new TFlpCAD(&window);
  first->setObjectName(QStringLiteral("first"));
  auto* inner = new QWidget(&window);  // the chart may sit deeper in the window
  auto* second = new TFlpCAD(inner);
  second->setObjectName(QStringLiteral("second"));
  layout->addWidget(page);
  layout->addWidget(first);
  layout->addWidget(inner);
  second->LayerOpen("a");
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QCOMPARE(page->Target(), second);
  QCOMPARE(page->LayerChooser()->count(), 1);
  // Changing the name links the page again at once.
  page->SetChartName(QStringLiteral("first"));
  QCOMPARE(page->Target(), first);
  QCOMPARE(page->LayerChooser()->count(), 0);
  // The chart's new layers reach the page; the other chart's do not.
  first->LayerOpen("b");
  second->LayerOpen("c");
  QCOMPARE(page->LayerChooser()->count(), 1);
  // A chart of another window is not found.
  TFlpCAD elsewhere;
  elsewhere.setObjectName(QStringLiteral("elsewhere"));
  page->SetChartName(QStringLiteral("elsewhere"));
  QVERIFY(page->Target() == nullptr);
  QCOMPARE(page->LayerChooser()->count(), 0);
  // Without a name the target set in code stays, also across a show.
  page->SetChartName(QString());
  page->SetTarget(second);
  page->hide();
  page->show();
  QCOMPARE(page->Target(), second);
  // The old chart no longer drives the page.
  first->LayerOpen("d");
  QCOMPARE(page->LayerChooser()->count(), 2);
}

QTEST_MAIN(MapCtlPluginTest)
#include "MapCtlPluginTest.moc"
