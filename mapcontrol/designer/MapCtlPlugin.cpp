// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapcontrol/designer/MapCtlPlugin.hpp"

#include <QIcon>

#include <utility>

#include "mapcontrol/FlpCad.hpp"
#include "mapcontrol/designer/PropertyPages.hpp"

namespace halvex::mapcontrol {

MapCtlWidget::MapCtlWidget(QString name, QString include_file, QString tool_tip, Factory factory,
                           QObject* parent)
    : QObject(parent),
      name_(std::move(name)),
      include_file_(std::move(include_file)),
      tool_tip_(std::move(tool_tip)),
      factory_(std::move(factory)) {}

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
  // Forms name this header, which gives the classes' plain names.
  const QString pages = QStringLiteral("mapcontrol/designer/MapCtlWidgets.hpp");
  widgets_ = {
      new MapCtlWidget(QStringLiteral("TFlpCAD"), pages, QStringLiteral("Vector chart"),
                       Make<TFlpCAD>(), this),
      new MapCtlWidget(QStringLiteral("TLayerActionPage"), pages,
                       QStringLiteral("Action bits of a chart layer"), Make<TLayerActionPage>(),
                       this),
      new MapCtlWidget(QStringLiteral("TBrushPage"), pages,
                       QStringLiteral("Pen and brush of a chart layer"), Make<TBrushPage>(), this),
      new MapCtlWidget(QStringLiteral("TLayerSearchPage"), pages,
                       QStringLiteral("Find a chart layer by name"), Make<TLayerSearchPage>(),
                       this),
      new MapCtlWidget(QStringLiteral("TShapeGeneralPage"), pages,
                       QStringLiteral("General properties of a chart shape"),
                       Make<TShapeGeneralPage>(), this),
      new MapCtlWidget(QStringLiteral("TShapePointPage"), pages,
                       QStringLiteral("Coordinates of a point shape"), Make<TShapePointPage>(),
                       this),
  };
}

}  // namespace halvex::mapcontrol
