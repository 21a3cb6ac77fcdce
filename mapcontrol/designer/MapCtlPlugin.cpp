// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapcontrol/designer/MapCtlPlugin.hpp"

#include <QIcon>

#include <utility>

#include "mapcontrol/FlpCad.hpp"
#include "mapcontrol/designer/PropertyPages.hpp"

namespace halvex::mapcontrol {

MapCtlWidget::MapCtlWidget(QString object_name, QString include_file, QString tool_tip,
                           Factory factory, const QMetaObject& meta, QObject* parent)
    : QObject(parent),
      name_(QString::fromLatin1(meta.className())),
      object_name_(std::move(object_name)),
      include_file_(std::move(include_file)),
      tool_tip_(std::move(tool_tip)),
      factory_(std::move(factory)) {}

QString MapCtlWidget::DisplayName() const { return name_.section(QStringLiteral("::"), -1); }

QString MapCtlWidget::domXml() const {
  return QStringLiteral("<ui language=\"c++\" displayname=\"%1\">"
                        "<widget class=\"%2\" name=\"%3\"/></ui>")
      .arg(DisplayName(), name_, object_name_);
}

QString MapCtlWidget::group() const { return QStringLiteral("ActiveX"); }

QIcon MapCtlWidget::icon() const { return QIcon(); }

void MapCtlWidget::initialize(QDesignerFormEditorInterface* /*core*/) { initialized_ = true; }

namespace {

template <typename W>
MapCtlWidget::Factory Make() {
  return [](QWidget* parent) -> QWidget* { return new W(parent); };
}

}  // namespace

MapCtlPlugin::MapCtlPlugin(QObject* parent) : QObject(parent) {
  // Designer must know each widget by the name its meta-object gives,
  // namespace included: with another name it reports a class name mismatch
  // for every widget it creates and writes forms without the header. The
  // widget box shows the plain name (the form's display name).
  const QString chart = QStringLiteral("mapcontrol/FlpCad.hpp");
  const QString pages = QStringLiteral("mapcontrol/designer/PropertyPages.hpp");
  widgets_ = {
      new MapCtlWidget(QStringLiteral("fcad"), chart, QStringLiteral("Vector chart"),
                       Make<TFlpCAD>(), TFlpCAD::staticMetaObject, this),
      new MapCtlWidget(QStringLiteral("layerActionPage"), pages,
                       QStringLiteral("Action bits of a chart layer"), Make<TLayerActionPage>(),
                       TLayerActionPage::staticMetaObject, this),
      new MapCtlWidget(QStringLiteral("brushPage"), pages,
                       QStringLiteral("Pen and brush of a chart layer"), Make<TBrushPage>(),
                       TBrushPage::staticMetaObject, this),
      new MapCtlWidget(QStringLiteral("layerSearchPage"), pages,
                       QStringLiteral("Find a chart layer by name"), Make<TLayerSearchPage>(),
                       TLayerSearchPage::staticMetaObject, this),
      new MapCtlWidget(QStringLiteral("shapeGeneralPage"), pages,
                       QStringLiteral("General properties of a chart shape"),
                       Make<TShapeGeneralPage>(), TShapeGeneralPage::staticMetaObject, this),
      new MapCtlWidget(QStringLiteral("shapePointPage"), pages,
                       QStringLiteral("Coordinates of a point shape"), Make<TShapePointPage>(),
                       TShapePointPage::staticMetaObject, this),
  };
}

}  // namespace halvex::mapcontrol
