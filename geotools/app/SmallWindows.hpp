// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The small windows of the geodesy tools: units (output decimals), the
// point clipboard, the About window and "Set As New Datum".

#include <QDialog>

#include "appkit/Dialogs.hpp"
#include "geodesy/OutputPrecision.hpp"

class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace halvex::geokit {

class DatumWindow;

// "Units": four decimal counts, 0 to 10, read by every conversion when it
// formats a number. A tool window that stays on top.
class TFormUnits : public QDialog {
  Q_OBJECT
 public:
  explicit TFormUnits(QWidget* parent = nullptr);
  geodesy::OutputPrecision Precision() const;

 private:
  QSpinBox* dist_;
  QSpinBox* deg_;
  QSpinBox* min_;
  QSpinBox* sec_;
};

// "Halvex Geodesy Kit Clipboard": the last copied point.
class Tfc : public QDialog {
  Q_OBJECT
 public:
  explicit Tfc(QWidget* parent = nullptr);
  QLineEdit* Field(int i) const { return fields_[i]; }

 private:
  QLineEdit* fields_[3];
};

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);
};

// "Set As New Datum": stores estimated parameters as datum A or B.
class TFormEnterData : public QDialog {
  Q_OBJECT
 public:
  // `parameters`: scale difference, X, Y, Z rotation, X, Y, Z shift, as text.
  TFormEnterData(DatumWindow& datums, appkit::Dialogs& dialogs, std::array<QString, 7> parameters,
                 QWidget* parent = nullptr);

  // OK: checks, asks, writes the chosen datum; true when written and closed.
  bool Accept();

 private:
  DatumWindow& datums_;
  appkit::Dialogs& dialogs_;
  std::array<QString, 7> parameters_;
  QRadioButton* rba_;
  QRadioButton* rbb_;
  QLineEdit* nod_;
  QLineEdit* sma_;
  QLineEdit* ifl_;
  bool smaEdited_ = false;
  bool iflEdited_ = false;
  bool nodEdited_ = false;
};

}  // namespace halvex::geokit
