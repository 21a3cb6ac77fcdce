// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's settings: read into the controls when the window is
// first shown, written from them when it is asked to close. The file's
// sections and keys are geotools/lsq's GeokitSettings; this file only says
// which control holds which value.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>

#include "geotools/app/DatumWindow.hpp"
#include "geotools/app/GeoForm.hpp"
#include "geotools/app/GridModel.hpp"
#include "geotools/app/PageWidgets.hpp"
#include "geotools/core/DatumChoice.hpp"
#include "geotools/lsq/GeokitSettings.hpp"

namespace halvex::geokit {

namespace {

// The single-point edits, in the order of geotools::kTransformedValueKeys.
constexpr std::array<const char*, 23> kTransformedValueEdits = {
    "North",  "East",   "Height",  "ecefX",  "ecefY",    "ecefZ",   "North1", "East1",
    "Height1", "North2", "East2",   "Height2", "North3",  "East3",   "Height3", "Easting",
    "Northing", "ecefx2", "ecefy2", "ecefz2",  "ecefx3",  "ecefy3",  "ecefz3"};

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }

geotools::DatumFields FieldsOf(const DatumTexts& t) {
  return {Utf8(t.name), Utf8(t.a),  Utf8(t.inverseFlattening), Utf8(t.ds), Utf8(t.rx),
          Utf8(t.ry),   Utf8(t.rz), Utf8(t.dx),                Utf8(t.dy), Utf8(t.dz)};
}

DatumTexts TextsOf(const geotools::DatumFields& f) {
  return {Q(f.name),      Q(f.semiMajorAxis), Q(f.inverseFlattening), Q(f.scaleDifference),
          Q(f.xRotation), Q(f.yRotation),     Q(f.zRotation),         Q(f.xShift),
          Q(f.yShift),    Q(f.zShift)};
}

}  // namespace

void TGeoForm::Restore() {
  restored_ = true;
  RegenerateCells();
  const geotools::GeokitSettings s = geotools::ReadGeokitSettings(ini_);
  LsqPageWidgets& affine = Lsq(4);
  affine.fileName->setText(Q(s.affineFileName));
  for (std::size_t i = 0; i < 6; ++i) affine.values[i]->setText(Q(s.affine[i]));
  LsqPageWidgets& similarity = Lsq(5);
  similarity.fileName->setText(Q(s.similarityFileName));
  similarity.values[0]->setText(Q(s.xOrigin));
  similarity.values[1]->setText(Q(s.yOrigin));
  similarity.values[2]->setText(Q(s.rotation));
  similarity.values[3]->setText(Q(s.scale));
  datums_->SetDatum(0, TextsOf(s.blueDatum));
  datums_->SetDatum(1, TextsOf(s.greenDatum));
  for (std::size_t i = 0; i < 8; ++i) selectors_[i + 1]->setText(Q(s.datumNames[i]));
  for (std::size_t i = 0; i < kTransformedValueEdits.size(); ++i) {
    Edit(kTransformedValueEdits[i])->setText(Q(s.transformedValues[i]));
  }
  const geodesy::TmFields tm = geodesy::LoadTmSettings(ini_);
  Edit("CM")->setText(Q(tm.centralMeridian));
  Edit("RL")->setText(Q(tm.referenceLatitude));
  Edit("SF")->setText(Q(tm.scaleFactor));
  Edit("FE")->setText(Q(tm.falseEasting));
  Edit("FN")->setText(Q(tm.falseNorthing));
  const bool pageValid = s.activePageIndex >= 0 && s.activePageIndex < geotools::kPageCount;
  tabs_->setCurrentIndex(pageValid ? s.activePageIndex : 0);
  {
    const QSignalBlocker quiet(closeToTray_);
    closeToTray_->setChecked(s.closeToTray);
  }
  for (int sel = 1; sel <= 8; ++sel) {
    QLineEdit* selector = selectors_[static_cast<std::size_t>(sel)];
    if (selector->text().isEmpty()) selector->setText(Q(geotools::kSelectorPrompt));
    ColourSelector(sel);
  }
  GridModel* helmert = Lsq(6).control;
  helmert->BeginChange();
  geodesy::SetGridHeader(helmert->Grid(), "No Xwgs Ywgs Zwgs Xloc Yloc Zloc");
  helmert->EndChange();
}

void TGeoForm::Store() {
  geotools::GeokitSettings s;
  const LsqPageWidgets& affine = Lsq(4);
  s.affineFileName = Utf8(affine.fileName->text());
  for (std::size_t i = 0; i < 6; ++i) s.affine[i] = Utf8(affine.values[i]->text());
  const LsqPageWidgets& similarity = Lsq(5);
  s.similarityFileName = Utf8(similarity.fileName->text());
  s.xOrigin = Utf8(similarity.values[0]->text());
  s.yOrigin = Utf8(similarity.values[1]->text());
  s.rotation = Utf8(similarity.values[2]->text());
  s.scale = Utf8(similarity.values[3]->text());
  s.blueDatum = FieldsOf(datums_->Datum(0));
  s.greenDatum = FieldsOf(datums_->Datum(1));
  for (std::size_t i = 0; i < 8; ++i) s.datumNames[i] = Utf8(selectors_[i + 1]->text());
  for (std::size_t i = 0; i < kTransformedValueEdits.size(); ++i) {
    s.transformedValues[i] = Utf8(Edit(kTransformedValueEdits[i])->text());
  }
  s.activePageIndex = tabs_->currentIndex();
  geotools::WriteGeokitSettings(ini_, s);
}

}  // namespace halvex::geokit
