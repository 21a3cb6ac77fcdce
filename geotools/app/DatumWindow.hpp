// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// "Datum Definition" (Tfd): the two datums the conversion pages work with,
// datum A (aqua fields) and datum B (lime fields), with their ".datum"
// files.

#include <QDialog>
#include <QString>

#include <array>
#include <filesystem>

#include "appkit/Dialogs.hpp"
#include "geotools/core/DatumChoice.hpp"

class QLineEdit;

namespace halvex::geokit {

struct DatumTexts {
  QString name, a, inverseFlattening, ds, rx, ry, rz, dx, dy, dz;
};

class DatumWindow : public QDialog {
  Q_OBJECT
 public:
  DatumWindow(appkit::Dialogs& dialogs, std::filesystem::path datumFolder,
              QWidget* parent = nullptr);

  // 0: datum A, 1: datum B.
  DatumTexts Datum(int which) const;
  void SetDatum(int which, const DatumTexts& texts);
  geotools::DatumDefinition Definition(int which) const;

  // The field with that object name ("WGSa", "LOCdz", "TargetDatumName"...),
  // or null.
  QLineEdit* Field(const QString& name) const;

  // The open and save actions of the two datums; false when cancelled or
  // failed (failures are told).
  bool OpenDatumFile(int which);
  bool SaveDatumFile(int which);

 signals:
  // Any field changed (the selectors must be chosen again).
  void Changed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::array<QLineEdit*, 10> Fields(int which) const;

  appkit::Dialogs& dialogs_;
  std::filesystem::path folder_;
  std::array<std::array<QLineEdit*, 10>, 2> fields_{};
};

}  // namespace halvex::geokit
