// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The settings window (caption "FGPS"): three pages, the GPS's serial line,
// the sensor's serial line and the geodetic parameters, with "Save and
// lock settings" and Close below. It holds controls only: reading the INI
// file into them, applying them to the receivers and locking them are done
// by the navigator's logic, which the main window calls with the texts of
// these controls.

#include <QWidget>

#include <array>
#include <map>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace halvex::navigator {

// The eleven serial-line controls of one page, in the order of their INI
// keys: port, baud rate, data width, stop bits, parity, priority, delay,
// NMEA log, log time, DTR, RTS.
inline constexpr std::size_t kLineFieldCount = 11;
using LineCombos = std::array<QComboBox*, kLineFieldCount>;

class TFGPS final : public QWidget {
  Q_OBJECT

 public:
  // `ports`: port number -> device path of the machine's serial port map,
  // shown beside the COM names.
  explicit TFGPS(const std::map<int, std::string>& ports, QWidget* parent = nullptr);

  const LineCombos& GpsLine() const { return gps_; }
  const LineCombos& SensorLine() const { return sensor_; }
  QCheckBox* GyroEnabled() const { return gyro_enabled_; }
  QCheckBox* SensorEnabled() const { return sensor_enabled_; }
  QLineEdit* Ellips() const { return ellips_; }
  QLineEdit* Datum() const { return datum_; }
  QLineEdit* Projection() const { return projection_; }
  QCheckBox* LockStateCheck() const { return lock_; }
  QWidget* GpsPage() const { return gps_page_; }
  QWidget* SensorPage() const { return sensor_page_; }
  QWidget* GlobalPage() const { return global_page_; }
  // Enables or disables the three pages (the lock).
  void SetPagesEnabled(bool enabled);
  // Shows the device path of the port combos' current texts again (after
  // their texts were set from the settings).
  void RefreshPortPaths();

 signals:
  void GPSSetClick();
  void SensorSetClick();
  // The user clicked "Save and lock settings" (not a change made by code).
  void LockStateCheckClick();
  // The window is being shown (FormShow).
  void FormShow();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* BuildLinePage(const QString& prefix, LineCombos& combos, QLabel*& path_label);
  void ShowPortPath(QComboBox* combo, QLabel* label);

  std::map<int, std::string> ports_;
  QTabWidget* pages_;
  QWidget* gps_page_;
  QWidget* sensor_page_;
  QWidget* global_page_;
  LineCombos gps_{};
  LineCombos sensor_{};
  QLabel* gps_path_ = nullptr;
  QLabel* sensor_path_ = nullptr;
  QCheckBox* gyro_enabled_;
  QCheckBox* sensor_enabled_;
  QLineEdit* ellips_;
  QLineEdit* datum_;
  QLineEdit* projection_;
  QCheckBox* lock_;
};

}  // namespace halvex::navigator
