// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The navigation program's main window, "Halvex Navigator": the chart
// (fcad), the position and GPS displays, the drawing controls, the sensor
// line, the menus and tool buttons. It shows what the navigation logic
// (Navigator) tells it through NavView and passes every control's handler
// to the logic; it holds no navigation rules of its own.

#include <QMainWindow>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "appkit/Dialogs.hpp"
#include "appkit/MessageBoard.hpp"
#include "navigator/core/NavView.hpp"
#include "navigator/core/Navigator.hpp"
#include "platform/Clock.hpp"
#include "platform/ProgramPaths.hpp"

class QAction;
class QCheckBox;
class QDockWidget;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
class QToolButton;

namespace halvex::mapcontrol {
class TFlpCAD;
}

namespace halvex::navigator {

class ColorBox;
class FlpCadChart;
class TAboutBox;
class TFGPS;
class TSkyView;

struct NavWindowOptions {
  std::filesystem::path iniFile;
  const platform::Clock* clock = nullptr;  // required
  platform::Environment env = platform::Environment::System();
  ReceiverPorts ports;  // empty: the machine's ports through the INI's map
  // Deliver the receivers' events on the GUI thread through a blocking
  // queued call (the program); off for tests that feed the receivers.
  bool synchronizeReceivers = true;
  // A failed final save shows a warning dialog (off for --quit-after,
  // where the program reports on standard error instead).
  bool warnOnFailedClose = true;
};

class TFNav final : public QMainWindow, public NavView {
  Q_OBJECT

 public:
  // Creates the controls and the logic and runs the window's creation
  // (program and day folders). Dialogs and messages must outlive it.
  TFNav(NavWindowOptions options, appkit::Dialogs& dialogs, appkit::MessageBoard& messages,
        QWidget* parent = nullptr);
  ~TFNav() override;

  Navigator& Logic() { return *nav_; }
  mapcontrol::TFlpCAD& Chart() { return *fcad_; }
  // The settings window: loaded from the settings file at once.
  void AttachSettingsWindow(TFGPS* settings);
  void AttachAboutBox(TAboutBox* about) { about_ = about; }
  // What the close query ended with (after the window closed).
  const CloseOutcome& LastClose() const { return close_outcome_; }
  bool Closed() const { return closed_; }

  // NavView
  void SetLat(const std::string& text) override;
  void SetLon(const std::string& text) override;
  void SetFixed(const std::string& text) override;
  void SetSpeed(const std::string& text) override;
  void SetAntenna(const std::string& text) override;
  void SetSatelliteLabel(const std::string& text) override;
  void SetMemoGPSLine(int line, const std::string& text) override;
  void SetMemoGPSColor(int bgrColor) override;
  void SetGPSGroupBoxColor(int bgrColor) override;
  void SetMemoSensor(const std::string& text) override;
  void SetMemoSensorColor(int bgrColor) override;
  void SetRealtimePressed(bool pressed) override;
  void SetDrawingToolsVisible(bool visible) override;
  void SetTitle(const std::string& title) override;
  void SetDistLabel(const std::string& text) override;
  void SetCoordinates(const std::string& text) override;
  void SetEasting(const std::string& text) override;
  void SetNorthing(const std::string& text) override;
  NavControls Controls() const override;
  void ShowControls(const NavControls& controls, bool backgroundStored) override;
  SettingsTexts Settings() const override;
  void ShowSettings(const SettingsTexts& texts) override;
  void SetLockChecked(bool checked) override;
  void SetSettingsPagesEnabled(bool enabled) override;
  void ShowSettingsWindow() override;
  void CloseMainWindow() override;

 signals:
  // The window has closed; the close query has run.
  void WindowClosed();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolBars();
  QWidget* BuildSidePanel();
  QWidget* BuildSensorBar();
  void WireChart();
  void WireReceivers(bool synchronize);
  void PlaceOnScreen();
  QAction* MenuAction(QMenu* menu, const char* name, const QString& text,
                      const QKeySequence& key, void (Navigator::*handler)());
  QToolButton* Button(QToolBar* bar, const char* name, const QString& text,
                      void (Navigator::*handler)());

  appkit::Dialogs& dialogs_;
  appkit::MessageBoard& messages_;
  mapcontrol::TFlpCAD* fcad_ = nullptr;
  std::unique_ptr<FlpCadChart> chart_;
  std::unique_ptr<Navigator> nav_;
  TFGPS* settings_ = nullptr;
  TAboutBox* about_ = nullptr;
  bool warn_on_failed_close_ = true;
  bool shown_once_ = false;
  bool closed_ = false;
  CloseOutcome close_outcome_;

  QLineEdit* lat_ = nullptr;
  QLineEdit* lon_ = nullptr;
  QLineEdit* easting_ = nullptr;
  QLineEdit* northing_ = nullptr;
  QGroupBox* gps_group_ = nullptr;
  QLabel* fixed_ = nullptr;
  QLabel* speed_ = nullptr;
  QLabel* antenna_ = nullptr;
  QLabel* satellites_ = nullptr;
  QPlainTextEdit* memo_gps_ = nullptr;
  std::string memo_gps_lines_[2];
  QLineEdit* memo_sensor_ = nullptr;
  ColorBox* vessel_color_ = nullptr;
  ColorBox* track_color_ = nullptr;
  ColorBox* grid_color_ = nullptr;
  ColorBox* fcad_color_ = nullptr;
  QSpinBox* vessel_width_ = nullptr;
  QSpinBox* track_width_ = nullptr;
  QSpinBox* interval_ = nullptr;
  QCheckBox* dotorline_ = nullptr;
  QToolButton* realtime_ = nullptr;
  std::map<std::string, QAction*> drawing_tools_;  // button name -> its tool bar action
  QLabel* dist_label_ = nullptr;
  QLabel* coordinates_ = nullptr;
  QDockWidget* sky_dock_ = nullptr;
  TSkyView* sky_ = nullptr;
};

}  // namespace halvex::navigator
