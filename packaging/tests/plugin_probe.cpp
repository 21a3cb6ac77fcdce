// SPDX-License-Identifier: GPL-3.0-or-later
// plugin-probe PLUGIN: loads a Qt Designer plugin as Designer does and
// prints the widgets it offers. A PLUGIN without a folder is looked for in
// the "designer" folder of this Qt's plugin folder, where Designer finds
// it. Exit status 0 when the file loads and is a collection of custom
// widgets, 1 otherwise. The package test runs it in a fresh system against
// the installed plugin, so it links nothing of ours.

#include <QApplication>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: plugin-probe PLUGIN\n");
    return 2;
  }
  QString file = QString::fromLocal8Bit(argv[1]);
  if (!file.contains('/')) {
    file = QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/designer/" + file;
  }
  QPluginLoader loader(file);
  QObject* instance = loader.instance();
  if (instance == nullptr) {
    std::fprintf(stderr, "plugin-probe: cannot load %s: %s\n", qPrintable(file),
                 qPrintable(loader.errorString()));
    return 1;
  }
  auto* collection = qobject_cast<QDesignerCustomWidgetCollectionInterface*>(instance);
  if (collection == nullptr || collection->customWidgets().isEmpty()) {
    std::fprintf(stderr, "plugin-probe: %s is no Designer widget collection\n", qPrintable(file));
    return 1;
  }
  for (QDesignerCustomWidgetInterface* widget : collection->customWidgets()) {
    std::printf("%s (%s)\n", qPrintable(widget->name()), qPrintable(widget->group()));
  }
  return 0;
}
