// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a form holding the chart and its five property pages through Qt's
// own form writer (QFormBuilder), as a program or a form editor saves it.
// The build then runs uic on the file and compiles the result, so a class
// name or a property value that uic cannot turn into compiling code breaks
// the build. The pages are linked to the chart by its object name.
//
//   mapctl_form_writer OUT.ui

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QFormBuilder>
#include <QMetaEnum>
#include <QVBoxLayout>

#include <cstdio>

#include "mapcontrol/FlpCad.hpp"
#include "mapcontrol/designer/PropertyPages.hpp"

using namespace halvex::mapcontrol;

namespace {

// QFormBuilder treats every widget as a container and would save the inner
// controls of the pages too; a form editor saves a custom widget alone.
class FormWriter : public QFormBuilder {
 protected:
  DomWidget* createDom(QWidget* widget, DomWidget* parent, bool recursive) override {
    const bool ours = QByteArray(widget->metaObject()->className()).startsWith("halvex::");
    return QFormBuilder::createDom(widget, parent, recursive && !ours);
  }
};

// Qt Designer writes a property of an enumeration type as the value's name
// qualified by its class, `<enum>Scope::Key</enum>`; QFormBuilder leaves such
// properties out. This adds them to the saved text as Designer writes them.
QByteArray WithEnumProperties(QByteArray ui, const QWidget& form) {
  for (const QWidget* w : form.findChildren<QWidget*>()) {
    const QMetaObject* meta = w->metaObject();
    if (!QByteArray(meta->className()).startsWith("halvex::")) continue;
    QByteArray props;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
      const QMetaProperty prop = meta->property(i);
      if (!prop.isEnumType() || !prop.isWritable() || !prop.isDesignable()) continue;
      const QMetaEnum e = prop.enumerator();
      const char* key = e.valueToKey(prop.read(w).toInt());
      if (key == nullptr) continue;
      props += QByteArray("<property name=\"") + prop.name() + "\"><enum>" + e.scope() +
               "::" + key + "</enum></property>\n";
    }
    const QByteArray tag = QByteArray("<widget class=\"") + meta->className() + "\" name=\"" +
                           w->objectName().toUtf8() + "\">\n";
    const qsizetype at = ui.indexOf(tag);
    if (at >= 0 && !props.isEmpty()) ui.insert(at + tag.size(), props);
  }
  return ui;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT.ui\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  QWidget form;
  form.setObjectName(QStringLiteral("SavedForm"));
  auto* layout = new QVBoxLayout(&form);
  auto* chart = new TFlpCAD(&form);
  chart->setObjectName(QStringLiteral("fcad"));
  chart->SetBackColor(0x123456);
  chart->SetViewMouseTool(kToolPan);
  layout->addWidget(chart);
  QWidget* pages[] = {new TLayerActionPage(&form), new TBrushPage(&form),
                      new TLayerSearchPage(&form), new TShapeGeneralPage(&form),
                      new TShapePointPage(&form)};
  const char* names[] = {"actions", "brush", "search", "general", "point"};
  for (int i = 0; i < 5; ++i) {
    pages[i]->setObjectName(QString::fromLatin1(names[i]));
    pages[i]->setProperty("ChartName", QStringLiteral("fcad"));
    layout->addWidget(pages[i]);
  }
  // Saved as a form editor shows it: laid out and visible.
  form.show();
  QApplication::processEvents();
  QFile out(QString::fromLocal8Bit(argv[1]));
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  QBuffer saved;
  saved.open(QIODevice::WriteOnly);
  FormWriter builder;
  builder.save(&saved, &form);
  out.write(WithEnumProperties(saved.data(), form));
  return out.error() == QFileDevice::NoError ? 0 : 1;
}
