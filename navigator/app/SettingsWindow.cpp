// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigator/app/SettingsWindow.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QVBoxLayout>

namespace halvex::navigator {

namespace {

struct LineField {
  const char* name;     // object name without the sensor page's "S"
  const char* caption;  // label beside the control
  QStringList items;
  const char* design;   // value until the settings are loaded
};

std::array<LineField, kLineFieldCount> LineFields() {
  QStringList ports;
  for (int i = 1; i <= 256; ++i) ports << QString("COM%1").arg(i);
  return {{
      {"Port", "Port", ports, "COM1"},
      {"BaudRate", "Baud Rate",
       {"110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400", "56000",
        "57600", "115200", "128000", "256000"},
       "9600"},
      {"DataWidth", "Data Width", {"5", "6", "7", "8"}, "8"},
      {"StopBits", "Stop Bits", {"1", "1.5", "2"}, "1"},
      {"Parity", "Parity", {"Even", "Mark", "None", "Odd", "Space"}, "None"},
      {"Priority", "Priority",
       {"Higher", "Highest", "Idle", "Lower", "Lowest", "Normal", "TimeCritical"},
       "Normal"},
      {"Delay", "Delay",
       {"1", "5", "10", "100", "200", "300", "400", "500", "600", "700", "800", "900", "1000",
        "2000", "3000", "5000", "10000", "20000", "50000", "100000"},
       "5"},
      {"NMEALog", "NMEA Log", {"True", "False"}, "False"},
      {"LogTime", "Log Time", {"True", "False"}, "False"},
      {"EnableDTR", "Enable DTR", {"True", "False"}, "True"},
      {"EnableRTS", "Enable RTS", {"True", "False"}, "True"},
  }};
}

// The port list shows the device path after each COM name that has one;
// the item's text itself stays "COMn".
class PortItemDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QString path = index.data(Qt::ToolTipRole).toString();
    if (!path.isEmpty()) option->text += "   " + path;
  }
};

}  // namespace

TFGPS::TFGPS(const std::map<int, std::string>& ports, QWidget* parent)
    : QWidget(parent, Qt::Window), ports_(ports) {
  setObjectName("FGPS");
  setWindowTitle("FGPS");
  // Wide enough for the three page titles and the geodetic texts.
  setMinimumWidth(640);

  pages_ = new QTabWidget(this);
  pages_->setObjectName("PageControl1");
  gps_page_ = BuildLinePage("", gps_, gps_path_);
  gps_page_->setObjectName("TabSheet1");
  sensor_page_ = BuildLinePage("S", sensor_, sensor_path_);
  sensor_page_->setObjectName("TabSheet2");

  gyro_enabled_ = new QCheckBox("Enable Gyro", gps_page_);
  gyro_enabled_->setObjectName("GyroEnabled");
  gyro_enabled_->setChecked(true);
  gps_page_->layout()->addWidget(gyro_enabled_);
  auto* gps_set = new QPushButton("GPS Set", gps_page_);
  gps_set->setObjectName("GPSSet");
  gps_page_->layout()->addWidget(gps_set);
  connect(gps_set, &QPushButton::clicked, this, &TFGPS::GPSSetClick);

  sensor_enabled_ = new QCheckBox("Sensor Enabled", sensor_page_);
  sensor_enabled_->setObjectName("SensorEnabled");
  sensor_enabled_->setChecked(true);
  sensor_page_->layout()->addWidget(sensor_enabled_);
  auto* sensor_set = new QPushButton("Sensor Set", sensor_page_);
  sensor_set->setObjectName("SensorSet");
  sensor_page_->layout()->addWidget(sensor_set);
  connect(sensor_set, &QPushButton::clicked, this, &TFGPS::SensorSetClick);

  global_page_ = new QWidget(pages_);
  global_page_->setObjectName("TabSheet3");
  auto* global_layout = new QVBoxLayout(global_page_);
  auto* geodetic = new QGroupBox("Realtime Geodedic Parameters", global_page_);
  geodetic->setObjectName("GeodeticGroupBox");
  auto* geodetic_layout = new QVBoxLayout(geodetic);
  auto add_edit = [&](const char* name, const char* caption, const char* design) {
    auto* label = new QLabel(caption, geodetic);
    auto* edit = new QLineEdit(design, geodetic);
    edit->setCursorPosition(0);  // show the start of a text longer than the field
    edit->setObjectName(name);
    edit->setMinimumWidth(460);
    label->setBuddy(edit);
    geodetic_layout->addWidget(label);
    geodetic_layout->addWidget(edit);
    return edit;
  };
  ellips_ = add_edit("Ellips", "Ellipsoid (Source and Target):",
                     "6378137.0  0.0033528106647474  6378137.0  0.0033528106647474");
  datum_ = add_edit("Datum", "Datum Parameters (Source && Target)",
                    "6378137.0  0.0033528106647474  0.0  0.0  0.0  0.0  0.0  0.0  0.0  "
                    "6378137.0  0.0033528106647474  0.0  0.0  0.0  0.0  0.0  0.0  0.0");
  projection_ = add_edit("Projection", "TM/UTM/GK Projection",
                         "30.0   0.0  1.0  500000.0  0.0  ITRF-GK");
  global_layout->addWidget(geodetic);
  global_layout->addStretch();

  pages_->addTab(gps_page_, "NMEA CONNECTION - GPS");
  pages_->addTab(sensor_page_, "NMEA CONNECTION - SENSOR");
  pages_->addTab(global_page_, "GLOBAL PARAMETERS");

  lock_ = new QCheckBox("Save and lock settings", this);
  lock_->setObjectName("LockStateCheck");
  connect(lock_, &QCheckBox::clicked, this, &TFGPS::LockStateCheckClick);
  auto* close = new QPushButton("Close", this);
  close->setObjectName("CloseButton");
  connect(close, &QPushButton::clicked, this, &QWidget::close);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(lock_);
  bottom->addStretch();
  bottom->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_);
  layout->addLayout(bottom);
}

QWidget* TFGPS::BuildLinePage(const QString& prefix, LineCombos& combos, QLabel*& path_label) {
  auto* page = new QWidget(pages_);
  auto* layout = new QVBoxLayout(page);
  auto* serial = new QGroupBox("Serial Comunication Settings - NMEA GGA, GSA", page);
  serial->setObjectName(prefix + "SerialGroupBox");
  auto* optional = new QGroupBox("Optional Settings", page);
  optional->setObjectName(prefix + "OptionalGroupBox");
  auto* serial_form = new QFormLayout(serial);
  auto* optional_form = new QFormLayout(optional);
  const auto fields = LineFields();
  for (std::size_t i = 0; i < kLineFieldCount; ++i) {
    auto* combo = new QComboBox(page);
    combo->setObjectName(prefix + fields[i].name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems(fields[i].items);
    combo->setCurrentText(fields[i].design);
    combos[i] = combo;
    if (i == 0) {
      // The item texts stay "COMn"; the device behind each is shown beside
      // it in the list and, for the current text, in a label.
      for (int row = 0; row < combo->count(); ++row) {
        const auto it = ports_.find(row + 1);
        if (it == ports_.end()) continue;
        const QString path = QString::fromStdString(it->second);
        combo->setItemData(row, path, Qt::ToolTipRole);
      }
      combo->setItemDelegate(new PortItemDelegate(combo));
      path_label = new QLabel(page);
      path_label->setObjectName(prefix + "PortPath");
      path_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
      auto* row_widget = new QWidget(serial);
      auto* row_layout = new QHBoxLayout(row_widget);
      row_layout->setContentsMargins(0, 0, 0, 0);
      row_layout->addWidget(combo);
      row_layout->addWidget(path_label, 1);
      serial_form->addRow(fields[i].caption, row_widget);
      QLabel* label = path_label;
      connect(combo, &QComboBox::currentTextChanged, this,
              [this, combo, label] { ShowPortPath(combo, label); });
      ShowPortPath(combo, label);
    } else if (i < 5) {
      serial_form->addRow(fields[i].caption, combo);
    } else {
      optional_form->addRow(fields[i].caption, combo);
    }
  }
  layout->addWidget(serial);
  layout->addWidget(optional);
  return page;
}

void TFGPS::ShowPortPath(QComboBox* combo, QLabel* label) {
  const QString text = combo->currentText().trimmed();
  QString path;
  if (text.startsWith("COM", Qt::CaseInsensitive)) {
    bool ok = false;
    const int n = text.mid(3).toInt(&ok);
    const auto it = ok ? ports_.find(n) : ports_.end();
    if (it != ports_.end()) path = QString::fromStdString(it->second);
  }
  label->setText(path.isEmpty() ? QString("(no device)") : path);
  combo->setToolTip(path);
}

void TFGPS::RefreshPortPaths() {
  ShowPortPath(gps_[0], gps_path_);
  ShowPortPath(sensor_[0], sensor_path_);
}

void TFGPS::SetPagesEnabled(bool enabled) {
  gps_page_->setEnabled(enabled);
  sensor_page_->setEnabled(enabled);
  global_page_->setEnabled(enabled);
}

void TFGPS::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  emit FormShow();
}

}  // namespace halvex::navigator
