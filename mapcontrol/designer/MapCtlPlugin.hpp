// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include <functional>

namespace halvex::mapcontrol {

// One widget of the collection, made by a factory function.
class MapCtlWidget : public QObject, public QDesignerCustomWidgetInterface {
  Q_OBJECT
  Q_INTERFACES(QDesignerCustomWidgetInterface)

 public:
  using Factory = std::function<QWidget*(QWidget*)>;
  // The widget's class name is the one of `meta`, namespace included;
  // `object_name` is the name a new widget gets on a form.
  MapCtlWidget(QString object_name, QString include_file, QString tool_tip, Factory factory,
               const QMetaObject& meta, QObject* parent);

  // The class name without its namespace, as the widget box shows it.
  QString DisplayName() const;
  QString domXml() const override;

  QString name() const override { return name_; }
  QString group() const override;
  QString toolTip() const override { return tool_tip_; }
  QString whatsThis() const override { return tool_tip_; }
  QString includeFile() const override { return include_file_; }
  QIcon icon() const override;
  bool isContainer() const override { return false; }
  QWidget* createWidget(QWidget* parent) override { return factory_(parent); }
  bool isInitialized() const override { return initialized_; }
  void initialize(QDesignerFormEditorInterface* core) override;

 private:
  QString name_;
  QString object_name_;
  QString include_file_;
  QString tool_tip_;
  Factory factory_;
  bool initialized_ = false;
};

// The plugin: the chart widget and its property pages.
class MapCtlPlugin : public QObject, public QDesignerCustomWidgetCollectionInterface {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetCollectionInterface")
  Q_INTERFACES(QDesignerCustomWidgetCollectionInterface)

 public:
  explicit MapCtlPlugin(QObject* parent = nullptr);

  QList<QDesignerCustomWidgetInterface*> customWidgets() const override { return widgets_; }

 private:
  QList<QDesignerCustomWidgetInterface*> widgets_;
};

}  // namespace halvex::mapcontrol
