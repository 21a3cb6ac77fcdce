// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/app/DatumWindow.hpp"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "geodesy/DatumDefinition.hpp"

namespace halvex::geokit {

namespace {

// Field order: name, a, 1/f, ds, rx, ry, rz, dx, dy, dz.
constexpr std::array<const char*, 10> kNamesA = {"TargetDatumName", "WGSa",  "WGSf_1", "WGSm",
                                                 "WGSrx",           "WGSry", "WGSrz",  "WGSdx",
                                                 "WGSdy",           "WGSdz"};
constexpr std::array<const char*, 10> kNamesB = {"SourceDatumName", "LOCa",  "LOCf_1", "LOCm",
                                                 "LOCrx",           "LOCry", "LOCrz",  "LOCdx",
                                                 "LOCdy",           "LOCdz"};
constexpr std::array<const char*, 10> kLabels = {"",
                                                 "Semi-major axis (m):",
                                                 "Inverse flattening:",
                                                 "Scale difference (ppm):",
                                                 "Rotation X (\"):",
                                                 "Rotation Y (\"):",
                                                 "Rotation Z (\"):",
                                                 "Shift X (m):",
                                                 "Shift Y (m):",
                                                 "Shift Z (m):"};

constexpr const char* kFilter = "HVG Datum [*.datum]|*.datum";

std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }

}  // namespace

DatumWindow::DatumWindow(appkit::Dialogs& dialogs, std::filesystem::path datumFolder,
                         QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), folder_(std::move(datumFolder)) {
  setObjectName("Tfd");
  setWindowTitle("Datum Definition");
  auto* columns = new QHBoxLayout;
  for (int which = 0; which < 2; ++which) {
    const auto& names = which == 0 ? kNamesA : kNamesB;
    const char* colour = which == 0 ? "aqua" : "lime";
    auto* column = new QVBoxLayout;
    auto* nameBox = new QGroupBox(
        which == 0 ? "Datum A [Blue]; Name && Description" : "Datum B [Green]; Name && Description",
        this);
    auto* nameLayout = new QVBoxLayout(nameBox);
    auto* ellipsoidBox =
        new QGroupBox(which == 0 ? "Ellipsoid Definition" : "Source Ellipsoid Definition", this);
    auto* ellipsoidForm = new QFormLayout(ellipsoidBox);
    auto* paramBox = new QGroupBox("Transformation Parameters to WGS-84", this);
    auto* paramForm = new QFormLayout(paramBox);
    for (std::size_t i = 0; i < 10; ++i) {
      auto* edit = new QLineEdit(this);
      edit->setObjectName(names[i]);
      edit->setStyleSheet(QString("QLineEdit { background-color: %1; }").arg(colour));
      connect(edit, &QLineEdit::textChanged, this, &DatumWindow::Changed);
      fields_[static_cast<std::size_t>(which)][i] = edit;
      if (i == 0) {
        nameLayout->addWidget(edit);
      } else if (i <= 2) {
        ellipsoidForm->addRow(kLabels[i], edit);
      } else {
        paramForm->addRow(kLabels[i], edit);
      }
    }
    auto* buttons = new QHBoxLayout;
    auto* open = new QPushButton("Open...", this);
    open->setObjectName(which == 0 ? "Datum1Open" : "Datum2Open");
    auto* save = new QPushButton("Save As...", this);
    save->setObjectName(which == 0 ? "Datum1Save" : "Datum2Save");
    connect(open, &QPushButton::clicked, this, [this, which] { OpenDatumFile(which); });
    connect(save, &QPushButton::clicked, this, [this, which] { SaveDatumFile(which); });
    buttons->addWidget(open);
    buttons->addWidget(save);
    column->addWidget(nameBox);
    column->addWidget(ellipsoidBox);
    column->addWidget(paramBox);
    column->addLayout(buttons);
    columns->addLayout(column);
  }
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  auto* close = new QPushButton("&Close", this);
  close->setObjectName("CloseButton");
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  layout->addWidget(close, 0, Qt::AlignRight);
}

std::array<QLineEdit*, 10> DatumWindow::Fields(int which) const {
  return fields_[static_cast<std::size_t>(which)];
}

DatumTexts DatumWindow::Datum(int which) const {
  const auto f = Fields(which);
  return {f[0]->text(), f[1]->text(), f[2]->text(), f[3]->text(), f[4]->text(),
          f[5]->text(), f[6]->text(), f[7]->text(), f[8]->text(), f[9]->text()};
}

void DatumWindow::SetDatum(int which, const DatumTexts& t) {
  const auto f = Fields(which);
  const std::array<const QString*, 10> values = {
      &t.name, &t.a, &t.inverseFlattening, &t.ds, &t.rx, &t.ry, &t.rz, &t.dx, &t.dy, &t.dz};
  for (std::size_t i = 0; i < 10; ++i) f[i]->setText(*values[i]);
}

geotools::DatumDefinition DatumWindow::Definition(int which) const {
  const DatumTexts t = Datum(which);
  return {Utf8(t.name), Utf8(t.a),  Utf8(t.inverseFlattening),
          Utf8(t.ds),   Utf8(t.rx), Utf8(t.ry),
          Utf8(t.rz),   Utf8(t.dx), Utf8(t.dy),
          Utf8(t.dz)};
}

QLineEdit* DatumWindow::Field(const QString& name) const {
  for (const auto& datum : fields_)
    for (QLineEdit* edit : datum)
      if (edit->objectName() == name) return edit;
  return nullptr;
}

bool DatumWindow::OpenDatumFile(int which) {
  std::error_code ignored;
  std::filesystem::create_directories(folder_, ignored);
  appkit::FileRequest request{"Open Datum", folder_.string(), kFilter, "datum", false};
  const auto file = dialogs_.OpenFile(request);
  if (!file) return false;
  geodesy::DatumFields fields = geotools::ToDatumFields(Definition(which));
  const geodesy::DatumFileLoad load = geodesy::LoadDatumFile(*file, fields);
  const geotools::DatumDefinition d = geotools::FromDatumFields(fields);
  auto q = [](const std::string& s) { return QString::fromUtf8(s.c_str()); };
  SetDatum(which, {q(d.name), q(d.a), q(d.inverseFlattening), q(d.ds), q(d.rx), q(d.ry), q(d.rz),
                   q(d.dx), q(d.dy), q(d.dz)});
  if (!load.error.empty()) {
    dialogs_.Tell(appkit::Notice::kError, "Open Datum", load.error);
    return false;
  }
  return true;
}

bool DatumWindow::SaveDatumFile(int which) {
  std::error_code ignored;
  std::filesystem::create_directories(folder_, ignored);
  const geotools::DatumDefinition d = Definition(which);
  const std::filesystem::path start = folder_ / (geodesy::ProposedDatumFileName(d.name) + ".datum");
  appkit::FileRequest request{"Save Datum As", start.string(), kFilter, "datum", true};
  const auto file = dialogs_.SaveFile(request);
  if (!file) return false;
  try {
    geodesy::SaveDatumFile(geotools::ToDatumFields(d), *file);
  } catch (const std::exception& e) {
    dialogs_.Tell(appkit::Notice::kError, "Save Datum As",
                  std::string("The datum was not saved. ") + e.what());
    return false;
  }
  return true;
}

void DatumWindow::closeEvent(QCloseEvent* event) {
  if (const auto warning = geotools::CloseWarning(Definition(0), Definition(1))) {
    dialogs_.Tell(appkit::Notice::kWarning, "Datum Definition", *warning);
  }
  QDialog::closeEvent(event);
}

}  // namespace halvex::geokit
