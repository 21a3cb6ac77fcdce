// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/app/SmallWindows.hpp"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "geotools/app/DatumWindow.hpp"
#include "halvex/Version.hpp"

namespace halvex::geokit {

TFormUnits::TFormUnits(QWidget* parent) : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName("TFormUnits");
  setWindowTitle("Units");
  auto* group = new QGroupBox("Precision", this);
  auto* form = new QFormLayout(group);
  const geodesy::OutputPrecision defaults;
  auto make = [&](const char* name, const char* label, int value) {
    auto* spin = new QSpinBox(group);
    spin->setObjectName(name);
    spin->setRange(geodesy::OutputPrecision::kMinDecimals, geodesy::OutputPrecision::kMaxDecimals);
    spin->setValue(value);
    form->addRow(label, spin);
    return spin;
  };
  dist_ = make("UDist", "Distance:", defaults.distance);
  deg_ = make("UDeg", "Degrees:", defaults.degrees);
  min_ = make("UMin", "Minuts", defaults.minutes);
  sec_ = make("USec", "Second", defaults.seconds);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
}

geodesy::OutputPrecision TFormUnits::Precision() const {
  return {dist_->value(), deg_->value(), min_->value(), sec_->value()};
}

Tfc::Tfc(QWidget* parent) : QDialog(parent) {
  setObjectName("Tfc");
  setWindowTitle("Halvex Geodesy Kit Clipboard");
  auto* layout = new QVBoxLayout(this);
  for (int i = 0; i < 3; ++i) {
    fields_[i] = new QLineEdit(this);
    fields_[i]->setObjectName(QString("Edit%1").arg(i + 1));
    layout->addWidget(fields_[i]);
  }
  auto* dismiss = new QPushButton("Dismiss", this);
  dismiss->setObjectName("Dismiss");
  connect(dismiss, &QPushButton::clicked, this, &QDialog::close);
  layout->addWidget(dismiss);
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle("About Halvex Geodesy Kit");
  auto* layout = new QVBoxLayout(this);
  auto* title = new QLabel("<b>Halvex Geodesy Kit</b>", this);
  layout->addWidget(title);
  layout->addWidget(new QLabel(QString("Version %1").arg(kVersion), this));
  layout->addWidget(
      new QLabel("Geodetic, ECEF and transverse Mercator conversions,\n"
                 "datum transformations and transformation estimates.",
                 this));
  auto* close = new QPushButton("Close", this);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(close);
}

TFormEnterData::TFormEnterData(DatumWindow& datums, appkit::Dialogs& dialogs,
                               std::array<QString, 7> parameters, QWidget* parent)
    : QDialog(parent), datums_(datums), dialogs_(dialogs), parameters_(std::move(parameters)) {
  setObjectName("TFormEnterData");
  setWindowTitle("Set As New Datum");
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox(this);
  auto* groupLayout = new QVBoxLayout(group);
  rba_ = new QRadioButton("Overwrite A: " + datums_.Datum(0).name, group);
  rba_->setObjectName("RBA");
  rbb_ = new QRadioButton("Overwrite B: " + datums_.Datum(1).name, group);
  rbb_->setObjectName("RBB");
  groupLayout->addWidget(rba_);
  groupLayout->addWidget(rbb_);
  layout->addWidget(group);
  auto* form = new QFormLayout;
  nod_ = new QLineEdit("UNKNOWN DATUM NAME", this);
  nod_->setObjectName("NOD");
  sma_ = new QLineEdit("UNKNOWN SEMI MAJOR AXIS", this);
  sma_->setObjectName("SMA");
  ifl_ = new QLineEdit("UNKNOWN INVERSE FLATENNING", this);
  ifl_->setObjectName("IFL");
  form->addRow("Name of new datum", nod_);
  form->addRow("Semi major axis", sma_);
  form->addRow("Inverse flattening", ifl_);
  layout->addLayout(form);
  connect(nod_, &QLineEdit::textEdited, this, [this] { nodEdited_ = true; });
  connect(sma_, &QLineEdit::textEdited, this, [this] { smaEdited_ = true; });
  connect(ifl_, &QLineEdit::textEdited, this, [this] { iflEdited_ = true; });
  auto fill = [this](int which) {
    sma_->setText(datums_.Datum(which).a);
    ifl_->setText(datums_.Datum(which).inverseFlattening);
  };
  connect(rba_, &QRadioButton::toggled, this, [fill](bool on) {
    if (on) fill(0);
  });
  connect(rbb_, &QRadioButton::toggled, this, [fill](bool on) {
    if (on) fill(1);
  });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("OK");
  connect(buttons, &QDialogButtonBox::accepted, this, &TFormEnterData::Accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

bool TFormEnterData::Accept() {
  if (!rba_->isChecked() && !rbb_->isChecked()) {
    dialogs_.Tell(appkit::Notice::kError, "Set As New Datum",
                  "Error: No address was identified to overwrite.");
    rba_->setFocus();
    return false;
  }
  if (!nodEdited_) {
    dialogs_.Tell(appkit::Notice::kError, "Set As New Datum", "Error: Invalid datum name.");
    nod_->setFocus();
    return false;
  }
  if (!smaEdited_ || !iflEdited_) {
    if (rba_->isChecked()) {
      if (!dialogs_.Confirm("Confirm",
                            "The values in the 'Ellipsoid Definition' are also correct. Are you "
                            "sure?"))
        return false;
    } else if (dialogs_.Ask("Confirm",
                            "Confirmation needed for the values in 'Ellipsoid Definition'. \nAre "
                            "they also correct?") != appkit::Answer::kYes) {
      return false;
    }
  }
  const int which = rba_->isChecked() ? 0 : 1;
  DatumTexts texts = datums_.Datum(which);
  texts.name = nod_->text();
  texts.a = sma_->text();
  texts.inverseFlattening = ifl_->text();
  texts.ds = parameters_[0];
  texts.rx = parameters_[1];
  texts.ry = parameters_[2];
  texts.rz = parameters_[3];
  texts.dx = parameters_[4];
  texts.dy = parameters_[5];
  texts.dz = parameters_[6];
  datums_.SetDatum(which, texts);
  accept();
  return true;
}

}  // namespace halvex::geokit
