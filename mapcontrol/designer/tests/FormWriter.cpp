// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a form holding the chart and its five property pages through Qt's
// own form writer (QFormBuilder), as a program or a form editor saves it.
// The build then runs uic on the file and compiles the result, so a class
// name that uic cannot turn into compiling code breaks the build.
//
//   mapctl_form_writer OUT.ui

#include <QApplication>
#include <QFile>
#include <QFormBuilder>
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
  FormWriter builder;
  builder.save(&out, &form);
  return out.error() == QFileDevice::NoError ? 0 : 1;
}
