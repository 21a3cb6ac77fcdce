// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The navigation program's logic: the state of the main window, its two
// receivers and every handler of the main window and the settings window.
// Windows only wire their controls to these methods (names follow the
// controls and events they serve); tests drive them without a screen.
//
// Threads: everything here runs on the thread that owns the windows and the
// chart. The receivers' events reach their handlers there: the program sets
// NeedSynchronization and a dispatcher on RGPS1 and RSENSOR; tests feed the
// receivers directly.
//
// Failures the user should know of (a receiver that cannot open, a setting
// that cannot work, a project that cannot be saved or loaded, a folder or
// log that cannot be written) are posted to the message board with their
// reason. Nothing here throws to the caller.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "appkit/Dialogs.hpp"
#include "appkit/MessageBoard.hpp"
#include "navigator/core/ChartPort.hpp"
#include "navigator/core/NavControls.hpp"
#include "navigator/core/NavView.hpp"
#include "nmea/GpsReceiver.hpp"
#include "platform/Clock.hpp"
#include "platform/IniStore.hpp"
#include "platform/ProgramPaths.hpp"

namespace halvex::navigator {

// The names of the six standard layers, in the order they are opened.
inline constexpr const char* kGridLayerName = "Halvex Grid";
inline constexpr const char* kVesselLayerName = "Halvex Vessel";
inline constexpr const char* kTrackFixLayerName = "track_fix";
inline constexpr const char* kTrackNoFixLayerName = "track_nofix";
inline constexpr const char* kTempShapeLayerName = "halvex_tempshape";
inline constexpr const char* kUserShapeLayerName = "halvex_usershape";

// How the receivers reach their serial ports. Empty members: the machine's
// ports, found through the program's INI file and the kernel's devices.
struct ReceiverPorts {
  nmea::TRaxGPSReceiver::DeviceOpener opener;
  nmea::TRaxGPSReceiver::PortLister lister;
};

// What closing the main window ended with.
struct CloseOutcome {
  bool saved = false;  // the final project landed
  std::string file;    // where it was to go
  std::string reason;  // why not, when not saved
};

class Navigator {
 public:
  Navigator(ChartPort& chart, NavView& view, appkit::Dialogs& dialogs,
            appkit::MessageBoard& messages, const std::filesystem::path& iniFile,
            const platform::Clock& clock, platform::Environment env, ReceiverPorts ports = {});
  ~Navigator();
  Navigator(const Navigator&) = delete;
  Navigator& operator=(const Navigator&) = delete;

  // --- Receivers, created with the initial configuration and bound to the
  // handlers below. The program may add its own handlers for events the
  // logic does not use (OnSatellitesReceive for the sky view).
  nmea::TRaxGPSReceiver RGPS1;
  nmea::TRaxGPSReceiver RSENSOR;

  // --- Navigation state ---
  bool ParamsCaptured = false;
  std::string EllipsoidText, DatumText, ProjectionText;
  long double TargetA = 0, TargetF = 0;
  std::array<long double, 5> TmParams{};  // λ0 (°), φ0 (°), k0, FE (m), FN (m)
  double GridConvergence = 0;             // degrees
  double GyroHeading = 0;                 // degrees, from HDT
  double MapHeading = 0;                  // degrees clockwise from grid north
  double VesselX = 0, VesselY = 0;        // grid metres
  double LastTrackX = 0, LastTrackY = 0;
  bool LastTrackXSet = false, LastTrackYSet = false;
  bool TrackStarted = false;
  int TrackCounter = 0;
  int AutoSaveCounter = 0;
  bool FollowVessel = true;
  bool RealtimeOn = false;
  int GpsLineToggle = 0;
  uint16_t GridLayer = 0, VesselLayer = 0, TrackFixLayer = 0, TrackNoFixLayer = 0,
           TempShapeLayer = 0, UserShapeLayer = 0;
  int AutoSaveIndex = 0;  // next rotating project, 0 to 9
  double MouseDownX = 0, MouseDownY = 0;
  double MouseX = 0, MouseY = 0;
  // Event numbers used in this run (the next mark is above both this and
  // the stored number).
  int LastEventNumber = 0;

  // --- GPS receiver handlers ---
  void RGPS1Position3DChange(long double latitude, long double longitude, long double altitude);
  void RGPS1SpeedChange(long double kmPerHour);
  void RGPS1NewCommand(const std::string& command);
  void RGPS1Connect(nmea::TCommPort port);
  void RGPS1Disconnect(nmea::TCommPort port);
  void RGPS1Idle();
  void RGPS1Timeout();
  void RGPS1LogError(const std::string& message);

  // --- Sensor receiver handlers ---
  void RSENSORNewCommand(const std::string& command);
  void RSENSORConnect(nmea::TCommPort port);
  void RSENSORDisconnect(nmea::TCommPort port);
  void RSENSORIdle();
  void RSENSORTimeout();
  void RSENSORLogError(const std::string& message);

  // --- Main window: life cycle ---
  // Window created: the program folder and the day folder.
  void FormCreate();
  // Window first shown: drawing settings, the last project, the standard
  // layers and their styles, then reception starts.
  void FormShow();
  // Window closing: receivers closed, project saved, drawing settings
  // written; waits for the save. With `warn`, a failed final save is shown
  // in a warning dialog too.
  CloseOutcome FormCloseQuery(bool warn = true);

  // --- Main window: reception and display ---
  void RealtimeClick();
  void DisconnectIconClick();
  void ConnectIconClick();   // also menu "Settings"
  void ToolButton5Click();   // follow the vessel
  void ToolButton13Click();  // do not follow
  void TrackWidthChange();   // track colours or width changed
  void fcadColorChange();
  void MemoGPSChange();

  // --- Projects ---
  void New1Click();
  void Open1Click();
  void Save1Click();
  void SaveAs1Click();
  void Import1Click();
  void Export1Click();
  void Exit1Click();
  // The chart's report of a background save started by CadSave.
  void SaveFinished(bool ok, const std::string& file, const std::string& reason);

  // --- Clearing and events ---
  void ToolButton23Click();  // clear fixed tracks
  void ToolButton7Click();   // clear autonomous tracks
  void ToolButton11Click();  // clear user shapes
  void ToolButton6Click();   // mark event

  // --- Zoom, tools, mouse ---
  void ZoominClick();
  void ZoomoutClick();
  void ZoomwindowClick();
  void ZoomextentsClick();
  void ZoomdynamicClick();
  void ZoompanClick();
  void ToolButton26Click();  // select
  // A drawing-tool button: its tool code (see DrawingToolCode).
  void DrawingToolClick(int toolCode);
  // The tool code of a drawing-tool button by name ("ToolButton16" -> 1);
  // nullopt for any other name.
  static std::optional<int> DrawingToolCode(std::string_view buttonName);
  void FormMouseWheelDown();
  void FormMouseWheelUp();
  void fcadWorldMouseDown(double x, double y);
  void fcadWorldMouseMove(double x, double y);
  void fcadShapeNumberSelected(uint32_t shape);

  // --- Settings window ---
  void FGPSFormCreate();  // load every control from the settings file
  void FGPSFormShow();    // the lock box from the file
  void LockStateCheckClick();
  void GPSSetClick();
  void SensorSetClick();

  // --- For the program and tests ---
  platform::IniStore& Ini() { return ini_; }
  // The day folder for today (not created).
  std::filesystem::path DayFolder() const;
  // Whether a background save is running or waiting for its report.
  bool SavePending() const { return pendingSaves_ > 0; }

 private:
  enum class SaveKind { kRotation, kSaveAs };
  struct PendingSave {
    std::string file;
    SaveKind kind;
  };
  struct SaveReport {
    std::string file;
    bool ok = false;
    std::string reason;
  };

  void BindReceivers();
  void Post(const std::string& line);
  // Runs a settings-file write; a failure is posted once until a write
  // succeeds again.
  template <typename Fn>
  void WriteIni(Fn&& write);
  // The day folder, created when missing; nullopt (posted) when it cannot be.
  std::optional<std::filesystem::path> EnsureDayFolder();
  // Opens the six standard layers again and sets the user layer's action.
  void OpenStandardLayers();
  void ApplyTrackStyle(const NavControls& controls);
  // The rotating save: the name it started, nullopt (posted) when it did not.
  std::optional<std::string> SaveRotation();
  // Starts a project save; false (posted) when it could not start.
  bool StartSave(const std::string& file, SaveKind kind);
  // Reads and applies one settings page; posts and returns false when a
  // field cannot work (only when `report`).
  bool SetReceiver(nmea::TRaxGPSReceiver& receiver, const GpsPageTexts& page, bool sensor,
                   bool report);
  void OpenReceiver(nmea::TRaxGPSReceiver& receiver, const char* what);

  ChartPort& chart_;
  NavView& view_;
  appkit::Dialogs& dialogs_;
  appkit::MessageBoard& messages_;
  platform::IniStore ini_;
  const platform::Clock& clock_;
  platform::Environment env_;
  int pendingSaves_ = 0;
  std::vector<PendingSave> pending_;
  std::vector<SaveReport> reports_;  // outcomes not yet looked at by the close
  bool iniFailing_ = false;
  bool folderFailing_ = false;
  bool paramsFailing_ = false;
  bool conversionFailing_ = false;
};

}  // namespace halvex::navigator
