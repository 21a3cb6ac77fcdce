// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigator/core/Navigator.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>

#include "geodesy/NumberText.hpp"
#include "geodesy/OutputPrecision.hpp"
#include "geodesy/TransverseMercator.hpp"
#include "navigator/core/NavMath.hpp"
#include "navigator/core/NavSettings.hpp"

namespace halvex::navigator {

namespace {

constexpr const char* kProjectFilter = "Halvex Navigator [*.hxv]|*.hxv|All Files [*.*]|*.*";
constexpr const char* kDxfFilter = "AutoCAD R12 DXF [*.dxf]|*.dxf|All Files [*.*]|*.*";
constexpr const char* kWarningTitle = "Warning";
constexpr uint32_t kUserLayerAction = 15;
constexpr uint32_t kVesselLayerAction = 1;

// Knots per km/h (1 / 1.852).
constexpr long double kKnotsPerKmh = 0.5399568034557235;

struct ToolButton {
  std::string_view name;
  int code;
};
constexpr std::array<ToolButton, 11> kDrawingTools{{
    {"ToolButton16", 1},
    {"ToolButton9", 3},
    {"ToolButton19", 4},
    {"ToolButton14", 5},
    {"ToolButton15", 6},
    {"ToolButton17", 8},
    {"ToolButton20", 10},
    {"ToolButton22", 11},
    {"ToolButton24", 12},
    {"ToolButton10", 17},
    {"ToolButton18", 19},
}};

}  // namespace

Navigator::Navigator(ChartPort& chart, NavView& view, appkit::Dialogs& dialogs,
                     appkit::MessageBoard& messages, const std::filesystem::path& iniFile,
                     const platform::Clock& clock, platform::Environment env, ReceiverPorts ports)
    : RGPS1(ports.opener, ports.lister, &clock),
      RSENSOR(ports.opener, ports.lister, &clock),
      chart_(chart),
      view_(view),
      dialogs_(dialogs),
      messages_(messages),
      ini_(iniFile),
      clock_(clock),
      env_(std::move(env)) {
  // The receivers' configuration until the settings window overrides it.
  for (nmea::TRaxGPSReceiver* r : {&RGPS1, &RSENSOR}) {
    r->SetBaudRate(nmea::TBaudRate::br009600);
    r->SetPriority(nmea::TThreadPriority::tpTimeCritical);
    r->SetNMEALog(true);
    r->SetLogDateTime(true);
    r->SetCommands(nmea::TNMEACommands::All());
    r->SetDelay(10);
    r->SetIdleInterval(3);
  }
  // Until a Set names the day's logs, they go to the program folder rather
  // than to whatever the current folder happens to be.
  std::filesystem::path folder;
  try {
    folder = platform::ProgramFolder(env_);
  } catch (const std::exception&) {
    folder = std::filesystem::temp_directory_path();
  }
  RGPS1.SetEnableDTROnOpen(false);
  RGPS1.SetEnableRTSOnOpen(false);
  RGPS1.SetLogFile((folder / "halvex_GPS.log").string());
  RSENSOR.SetEnableDTROnOpen(true);
  RSENSOR.SetEnableRTSOnOpen(true);
  RSENSOR.SetLogFile((folder / "halvex_SBES.log").string());
  // Ports named in the settings file's "SERIALCOMM" section come first.
  RGPS1.SetPortMapIni(iniFile);
  RSENSOR.SetPortMapIni(iniFile);
  BindReceivers();
}

Navigator::~Navigator() {
  // Their last events (disconnect) still find this object whole.
  RGPS1.Close();
  RSENSOR.Close();
}

void Navigator::BindReceivers() {
  RGPS1.OnPosition3DChange = [this](nmea::TRaxCustomGPSReceiver&, long double lat, long double lon,
                                    long double alt) { RGPS1Position3DChange(lat, lon, alt); };
  RGPS1.OnSpeedChange = [this](nmea::TRaxCustomGPSReceiver&, long double v) {
    RGPS1SpeedChange(v);
  };
  RGPS1.OnNewCommand = [this](nmea::TRaxCustomGPSReceiver&, const std::string& c) {
    RGPS1NewCommand(c);
  };
  RGPS1.OnConnect = [this](nmea::TRaxGPSReceiver&, nmea::TCommPort p) { RGPS1Connect(p); };
  RGPS1.OnDisconnect = [this](nmea::TRaxGPSReceiver&, nmea::TCommPort p) { RGPS1Disconnect(p); };
  RGPS1.OnIdle = [this](nmea::TRaxGPSReceiver&) { RGPS1Idle(); };
  RGPS1.OnTimeout = [this](nmea::TRaxGPSReceiver&) { RGPS1Timeout(); };
  RGPS1.OnLogError = [this](nmea::TRaxCustomGPSReceiver&, const std::string& m) {
    RGPS1LogError(m);
  };

  RSENSOR.OnNewCommand = [this](nmea::TRaxCustomGPSReceiver&, const std::string& c) {
    RSENSORNewCommand(c);
  };
  RSENSOR.OnConnect = [this](nmea::TRaxGPSReceiver&, nmea::TCommPort p) { RSENSORConnect(p); };
  RSENSOR.OnDisconnect = [this](nmea::TRaxGPSReceiver&, nmea::TCommPort p) {
    RSENSORDisconnect(p);
  };
  RSENSOR.OnIdle = [this](nmea::TRaxGPSReceiver&) { RSENSORIdle(); };
  RSENSOR.OnTimeout = [this](nmea::TRaxGPSReceiver&) { RSENSORTimeout(); };
  RSENSOR.OnLogError = [this](nmea::TRaxCustomGPSReceiver&, const std::string& m) {
    RSENSORLogError(m);
  };
}

void Navigator::Post(const std::string& line) { messages_.Post(line); }

template <typename Fn>
void Navigator::WriteIni(Fn&& write) {
  try {
    write();
    iniFailing_ = false;
  } catch (const std::exception& e) {
    if (!iniFailing_) Post(std::string("Settings not saved: ") + e.what());
    iniFailing_ = true;
  }
}

std::filesystem::path Navigator::DayFolder() const {
  return platform::DayFolder(clock_.Now(), env_);
}

std::optional<std::filesystem::path> Navigator::EnsureDayFolder() {
  std::filesystem::path folder;
  try {
    const platform::LocalDateTime now = clock_.Now();
    folder = platform::DayFolder(now, env_);
    platform::EnsureDayFolder(now, env_);
    folderFailing_ = false;
    return folder;
  } catch (const std::exception& e) {
    if (!folderFailing_) {
      Post("Cannot create log folder " + folder.string() +
           ". Check if you are authorized create folder at this address. (" + e.what() + ")");
    }
    folderFailing_ = true;
    return std::nullopt;
  }
}

// ---------------------------------------------------------------------------
// The position step

void Navigator::RGPS1Position3DChange(long double latitude, long double longitude,
                                      long double altitude) {
  view_.SetLat(geodesy::FormatFixed(latitude, 8));
  view_.SetLon(geodesy::FormatFixed(longitude, 8));
  view_.SetFixed(std::to_string(RGPS1.IsFix()));
  view_.SetAntenna(geodesy::FormatFixed(altitude, 2));
  view_.SetSatelliteLabel(std::to_string(RGPS1.GetSatelliteCount()));

  const NavControls controls = view_.Controls();
  bool gyro = false;
  {
    const SettingsTexts settings = view_.Settings();
    gyro = settings.GyroEnabled;
    if (!ParamsCaptured) {
      EllipsoidText = settings.Ellips;
      DatumText = settings.Datum;
      ProjectionText = settings.Projection;
      const ParamsReading reading = ReadGeodeticParams(EllipsoidText, DatumText, ProjectionText);
      if (reading.targetRead) {
        TargetA = reading.params.targetA;
        TargetF = reading.params.targetF;
      }
      if (reading.projectionRead) TmParams = reading.params.tm;
      if (!reading.error.empty()) {
        if (!paramsFailing_) {
          Post("Geodetic parameters not usable: " + reading.error +
               ". Positions are not drawn until the settings are corrected.");
        }
        paramsFailing_ = true;
        return;
      }
      paramsFailing_ = false;
      ParamsCaptured = true;
    }
  }

  const double convergence = geodesy::ScaleAndConvergence(
      "GrdConv", static_cast<double>(TargetA), static_cast<double>(TargetF),
      static_cast<double>(latitude), static_cast<double>(longitude),
      static_cast<double>(TmParams[0]), static_cast<double>(TmParams[1]),
      static_cast<double>(TmParams[2]), static_cast<double>(TmParams[3]),
      static_cast<double>(TmParams[4]));
  std::string geographic = geodesy::FormatG15(latitude);
  geographic += ' ';
  geodesy::AppendG15(geographic, longitude);
  const std::string grid = geodesy::GeodeticToGrid(
      geographic, DatumText, ProjectionText, EllipsoidText, geodesy::OutputPrecision::Navigation(),
      geodesy::EllipsoidForm::kTarget);
  double xy[2] = {0, 0};
  geodesy::NumberScanner scan(grid);
  // A latitude beyond a pole or a longitude beyond ±180° comes from a
  // corrupted sentence; the datum chain would carry it to a real but wrong
  // place on the far side of the globe.
  const bool onTheGlobe = std::fabs(latitude) <= 90 && std::fabs(longitude) <= 180;
  if (!onTheGlobe || scan.ReadDoubles(xy, 2) != 2 || !std::isfinite(xy[0]) ||
      !std::isfinite(xy[1]) || !std::isfinite(convergence)) {
    if (!conversionFailing_) {
      Post("Position " + geographic +
           " could not be converted to grid coordinates; check the datum, ellipsoid and "
           "projection settings.");
    }
    conversionFailing_ = true;
    return;
  }
  conversionFailing_ = false;
  GridConvergence = convergence;
  VesselX = xy[0];
  VesselY = xy[1];

  const double source = gyro ? GyroHeading : static_cast<double>(RGPS1.GetHeading());
  MapHeading = source + GridConvergence;

  if (FollowVessel) {
    const double dx = VesselX - (chart_.WorldLeft() + chart_.WorldRight()) / 2;
    const double dy = VesselY - (chart_.WorldTop() + chart_.WorldBottom()) / 2;
    chart_.WorldPan(dx, dy);
  }

  VesselLayer = chart_.LayerFindByName(kVesselLayerName);
  chart_.CadClearShapes(VesselLayer);

  if (AutoSaveCounter > 300) {
    Save1Click();
    AutoSaveCounter = 0;
  }
  ++AutoSaveCounter;

  chart_.SetLayerAction(VesselLayer, kVesselLayerAction);
  chart_.SetLayerPenFg(VesselLayer, controls.VesselColor);
  chart_.SetLayerPenWidth(VesselLayer, IntegerFieldOr(controls.VesselWidth, 3));
  const VesselSymbol symbol = MakeVesselSymbol(VesselX, VesselY, MapHeading);
  for (const VesselSymbol::Line& l : symbol.lines) {
    chart_.DrawLine(l.x1, l.y1, l.x2, l.y2, VesselLayer);
  }
  for (const double r : symbol.radii) chart_.DrawCircle(symbol.cx, symbol.cy, r, VesselLayer);

  if (!LastTrackXSet) {
    LastTrackX = VesselX;
    LastTrackXSet = true;
  }
  if (!LastTrackYSet) {
    LastTrackY = VesselY;
    LastTrackYSet = true;
  }

  if (TrackStarted && TrackCounter >= IntegerFieldOr(controls.Interval, 3)) {
    const bool fixed = IsFixedQuality(RGPS1.IsFix());
    uint16_t layer = 0;
    if (fixed) {
      TrackFixLayer = chart_.LayerFindByName(kTrackFixLayerName);
      layer = TrackFixLayer;
    } else {
      TrackNoFixLayer = chart_.LayerFindByName(kTrackNoFixLayerName);
      layer = TrackNoFixLayer;
    }
    if (controls.dotorline) {
      chart_.DrawLine(VesselX, VesselY, LastTrackX, LastTrackY, layer);
    } else {
      chart_.DrawPoint(VesselX, VesselY, layer);
    }
    chart_.SetLayerPenFg(layer, fixed ? controls.ColorTracklines : controls.GridColor);
    chart_.SetLayerPenWidth(layer, IntegerFieldOr(controls.TrackWidth, 3));
    TrackCounter = 0;
    LastTrackX = VesselX;
    LastTrackY = VesselY;
  }
  ++TrackCounter;
  TrackStarted = true;
}

void Navigator::RGPS1SpeedChange(long double kmPerHour) {
  view_.SetSpeed(geodesy::FormatFixed(kmPerHour * kKnotsPerKmh, 1));
}

void Navigator::RGPS1NewCommand(const std::string& command) {
  if (const std::optional<double> heading = ReadHdtHeading(command)) GyroHeading = *heading;
  if (GpsLineToggle == 0) {
    view_.SetMemoGPSLine(0, command);
    GpsLineToggle = 1;
  } else {
    view_.SetMemoGPSLine(1, command);
    GpsLineToggle = 0;
  }
  MemoGPSChange();
}

void Navigator::MemoGPSChange() { view_.SetGPSGroupBoxColor(FixQualityColor(RGPS1.IsFix())); }

void Navigator::RGPS1Connect(nmea::TCommPort port) {
  Post("Connected to GPS on " + nmea::TRaxGPSReceiver::CommPortToString(port));
  view_.SetDrawingToolsVisible(false);
  view_.SetRealtimePressed(true);
}

void Navigator::RGPS1Disconnect(nmea::TCommPort port) {
  Post("Disconnected from GPS on " + nmea::TRaxGPSReceiver::CommPortToString(port));
  view_.SetDrawingToolsVisible(true);
  view_.SetRealtimePressed(false);
  // The button shows released: the next press starts reception.
  RealtimeOn = false;
}

void Navigator::RGPS1Idle() {
  Post("GPS Timeout!");
  view_.SetGPSGroupBoxColor(kColorRed);
}

void Navigator::RGPS1Timeout() {
  Post("GPS timeout");
  view_.SetMemoGPSColor(kColorRed);
}

void Navigator::RGPS1LogError(const std::string& message) {
  Post("GPS log not written: " + message);
}

// ---------------------------------------------------------------------------
// The sensor channel

void Navigator::RSENSORNewCommand(const std::string& command) {
  view_.SetMemoSensor(command);
  view_.SetMemoSensorColor(kColorLime);
}

void Navigator::RSENSORConnect(nmea::TCommPort port) {
  Post("Connected to NMEA Sensor on " + nmea::TRaxGPSReceiver::CommPortToString(port));
}

void Navigator::RSENSORDisconnect(nmea::TCommPort port) {
  Post("Disconnected from NMEA Sensor on " + nmea::TRaxGPSReceiver::CommPortToString(port));
  // The button follows the GPS: it stays pressed while the GPS is connected.
  view_.SetRealtimePressed(RGPS1.IsConnected());
}

void Navigator::RSENSORIdle() {
  Post("Sensor timeout! Check your connection to the Sensor.");
  view_.SetMemoSensorColor(kColorRed);
}

void Navigator::RSENSORTimeout() {
  Post("Sensor Timeout");
  view_.SetMemoSensorColor(kColorRed);
}

void Navigator::RSENSORLogError(const std::string& message) {
  Post("Sensor log not written: " + message);
}

// ---------------------------------------------------------------------------
// Reception

bool Navigator::SetReceiver(nmea::TRaxGPSReceiver& receiver, const GpsPageTexts& page, bool sensor,
                            bool report) {
  const char* action = sensor ? "Sensor Set" : "GPS Set";
  const LineReading reading = ReadLineSettings(page);
  if (!reading.settings) {
    if (report) Post(LineReadingMessage(action, reading));
    return false;
  }
  try {
    const platform::LocalDateTime now = clock_.Now();
    std::filesystem::path folder = platform::DayFolder(now, env_);
    if (reading.settings->nmeaLog) {
      if (std::optional<std::filesystem::path> made = EnsureDayFolder()) folder = *made;
    }
    const std::filesystem::path log = sensor ? SensorLogFile(folder, now) : GpsLogFile(folder, now);
    ApplyLineSettings(receiver, *reading.settings, log.string());
  } catch (const std::exception& e) {
    if (report) Post(std::string(action) + " stopped: " + e.what());
    return false;
  }
  return true;
}

void Navigator::OpenReceiver(nmea::TRaxGPSReceiver& receiver, const char* what) {
  try {
    receiver.Open();
  } catch (const std::exception& e) {
    // The receiver puts the reason on a line of its own; the window shows one line.
    std::string reason = e.what();
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    Post(std::string(what) + ": " + reason);
  }
}

void Navigator::RealtimeClick() {
  if (!RealtimeOn) {
    const SettingsTexts settings = view_.Settings();
    const bool gpsReady = SetReceiver(RGPS1, settings.Gps, false, true);
    const bool sensorReady = SetReceiver(RSENSOR, settings.Sensor, true, settings.SensorEnabled);
    if (gpsReady) OpenReceiver(RGPS1, "GPS");
    if (settings.SensorEnabled && sensorReady) OpenReceiver(RSENSOR, "NMEA Sensor");
    RealtimeOn = RGPS1.IsConnected();
  } else {
    RGPS1.Close();
    RSENSOR.Close();
    RealtimeOn = false;
  }
  view_.SetRealtimePressed(RGPS1.IsConnected());
}

void Navigator::DisconnectIconClick() {
  RGPS1.Close();
  RSENSOR.Close();
  RealtimeOn = false;
}

void Navigator::ConnectIconClick() { view_.ShowSettingsWindow(); }

void Navigator::ToolButton5Click() { FollowVessel = true; }
void Navigator::ToolButton13Click() { FollowVessel = false; }

void Navigator::ApplyTrackStyle(const NavControls& controls) {
  const int width = IntegerFieldOr(controls.TrackWidth, 3);
  TrackFixLayer = chart_.LayerFindByName(kTrackFixLayerName);
  chart_.SetLayerPenFg(TrackFixLayer, controls.ColorTracklines);
  chart_.SetLayerPenWidth(TrackFixLayer, width);
  TrackNoFixLayer = chart_.LayerFindByName(kTrackNoFixLayerName);
  chart_.SetLayerPenFg(TrackNoFixLayer, controls.GridColor);
  chart_.SetLayerPenWidth(TrackNoFixLayer, width);
}

void Navigator::TrackWidthChange() { ApplyTrackStyle(view_.Controls()); }

void Navigator::fcadColorChange() { chart_.SetBackColor(view_.Controls().fcadColor); }

// ---------------------------------------------------------------------------
// Life cycle and projects

void Navigator::FormCreate() {
  std::filesystem::path folder;
  try {
    folder = platform::ProgramFolder(env_);
    platform::EnsureProgramFolder(env_);
  } catch (const std::exception& e) {
    Post("Cannot create log folder " + folder.string() +
         ". Check if you are authorized create folder at this address. (" + e.what() + ")");
    folderFailing_ = true;
    return;
  }
  EnsureDayFolder();
}

void Navigator::OpenStandardLayers() {
  GridLayer = chart_.LayerOpen(kGridLayerName);
  VesselLayer = chart_.LayerOpen(kVesselLayerName);
  TrackFixLayer = chart_.LayerOpen(kTrackFixLayerName);
  TrackNoFixLayer = chart_.LayerOpen(kTrackNoFixLayerName);
  TempShapeLayer = chart_.LayerOpen(kTempShapeLayerName);
  UserShapeLayer = chart_.LayerOpen(kUserShapeLayerName);
  chart_.SetLayerAction(UserShapeLayer, kUserLayerAction);
}

void Navigator::FormShow() {
  bool backgroundStored = false;
  const NavControls controls = LoadNavControls(ini_, backgroundStored);
  view_.ShowControls(controls, backgroundStored);

  const std::string last = ini_.ReadString(kFileSection, kLastFileKey, "");
  if (!last.empty()) {
    if (chart_.CadLoad(last, -1, -1, 0)) {
      view_.SetTitle("Halvex Navigator - " + last);
    } else {
      Post("Cannot open project " + last + ": " + chart_.LastError());
    }
  }

  OpenStandardLayers();
  ApplyTrackStyle(controls);
  if (backgroundStored) chart_.SetBackColor(controls.fcadColor);
  RealtimeClick();
}

bool Navigator::StartSave(const std::string& file, SaveKind kind) {
  if (!chart_.CadSave(file, -1)) {
    Post("Cannot save project " + file + ": " + chart_.LastError());
    return false;
  }
  pending_.push_back({file, kind});
  pendingSaves_ = static_cast<int>(pending_.size());
  return true;
}

std::optional<std::string> Navigator::SaveRotation() {
  const std::optional<std::filesystem::path> folder = EnsureDayFolder();
  if (!folder) return std::nullopt;
  std::string name;
  try {
    name = AutoSaveFile(*folder, clock_.Now(), AutoSaveIndex).string();
  } catch (const std::exception& e) {
    Post(std::string("Cannot save project: ") + e.what());
    return std::nullopt;
  }
  AutoSaveIndex = (AutoSaveIndex + 1) % 10;
  GridLayer = chart_.LayerFindByName(kGridLayerName);
  chart_.CadClearShapes(GridLayer);
  if (!StartSave(name, SaveKind::kRotation)) return std::nullopt;
  return name;
}

void Navigator::Save1Click() { SaveRotation(); }

void Navigator::SaveFinished(bool ok, const std::string& file, const std::string& reason) {
  // A save replaced by a later one to the same file reports once, for both.
  std::optional<SaveKind> kind;
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (it->file == file) {
      kind = it->kind;
      it = pending_.erase(it);
    } else {
      ++it;
    }
  }
  pendingSaves_ = static_cast<int>(pending_.size());
  reports_.push_back({file, ok, reason});
  if (!ok) {
    Post("Cannot save project " + file + ": " + reason);
    return;
  }
  if (kind == SaveKind::kSaveAs) {
    view_.SetTitle("Halvex Navigator v2  <" + file + ">");
  } else if (kind == SaveKind::kRotation) {
    WriteIni([&] { ini_.WriteString(kFileSection, kLastFileKey, file); });
    view_.SetTitle("Halvex Navigator 2 - " + file);
  }
}

void Navigator::New1Click() {
  if (!dialogs_.Confirm(kWarningTitle, "Entire layout will be cleared! Continue?")) return;
  chart_.CadClearShapes(-1);
  chart_.CadClearAll();
  OpenStandardLayers();
}

void Navigator::Open1Click() {
  appkit::FileRequest request{"Dialog Open", platform::ProgramFolder(env_).string(), kProjectFilter,
                              "hxv", true};
  if (const std::optional<std::string> file = dialogs_.OpenFile(request)) {
    if (!chart_.CadLoad(*file, -1, -1, 0)) {
      Post("Cannot open project " + *file + ": " + chart_.LastError());
    }
  }
  OpenStandardLayers();
}

void Navigator::SaveAs1Click() {
  appkit::FileRequest request{"Dialog Save", platform::ProgramFolder(env_).string(), kProjectFilter,
                              "hxv", true};
  if (const std::optional<std::string> file = dialogs_.SaveFile(request)) {
    StartSave(*file, SaveKind::kSaveAs);
  }
}

void Navigator::Import1Click() {
  appkit::FileRequest request{"Dialog Open", platform::ProgramFolder(env_).string(), kDxfFilter,
                              "dxf", true};
  if (const std::optional<std::string> file = dialogs_.OpenFile(request)) {
    if (!chart_.DXFLoad(*file)) Post("Cannot import " + *file + ": " + chart_.LastError());
  }
  OpenStandardLayers();
}

void Navigator::Export1Click() {
  appkit::FileRequest request{"Dialog Save", platform::ProgramFolder(env_).string(), kDxfFilter,
                              "dxf", true};
  if (const std::optional<std::string> file = dialogs_.SaveFile(request)) {
    if (!chart_.DXFSave(*file)) Post("Cannot export " + *file + ": " + chart_.LastError());
  }
}

void Navigator::Exit1Click() {
  Save1Click();
  view_.CloseMainWindow();
}

CloseOutcome Navigator::FormCloseQuery(bool warn) {
  // Receivers first, so that every fix drawn is in the final project.
  RGPS1.Close();
  RSENSOR.Close();
  reports_.clear();
  const std::optional<std::string> file = SaveRotation();
  WriteIni([&] { SaveNavControls(ini_, view_.Controls()); });
  chart_.WaitForSaves();

  CloseOutcome outcome;
  if (!file) {
    outcome.reason =
        chart_.LastError().empty() ? "the project could not be written" : chart_.LastError();
  } else {
    outcome.file = *file;
    const auto report = std::find_if(reports_.rbegin(), reports_.rend(),
                                     [&](const SaveReport& r) { return r.file == *file; });
    if (report == reports_.rend()) {
      outcome.reason = "the save did not report its end";
    } else {
      outcome.saved = report->ok;
      outcome.reason = report->reason;
    }
  }
  if (!outcome.saved && warn) {
    dialogs_.Tell(appkit::Notice::kWarning, kWarningTitle,
                  "The project could not be saved" +
                      (outcome.file.empty() ? std::string() : " to " + outcome.file) + ": " +
                      outcome.reason);
  }
  return outcome;
}

// ---------------------------------------------------------------------------
// Clearing and events

void Navigator::ToolButton23Click() {
  if (!dialogs_.Confirm(kWarningTitle, "Fixed/Float/DGPS tracking points to be cleared. Continue?"))
    return;
  chart_.CadClearShapes(TrackFixLayer);
  chart_.Repaint();
}

void Navigator::ToolButton7Click() {
  if (!dialogs_.Confirm(kWarningTitle, "Autonomous tracking points to be cleared. Continue?"))
    return;
  chart_.CadClearShapes(TrackNoFixLayer);
  chart_.Repaint();
}

void Navigator::ToolButton11Click() {
  if (!dialogs_.Confirm(kWarningTitle, "User added shapes to be deleted. Continue?")) return;
  chart_.CadClearShapes(UserShapeLayer);
  chart_.Repaint();
}

void Navigator::ToolButton6Click() {
  const int stored = ini_.ReadInteger(kEventsSection, kEventNumberKey, 0);
  const int used = std::max(stored, LastEventNumber);
  if (used == INT32_MAX) {
    Post("Event numbers are used up; the mark was not placed.");
    return;
  }
  const int number = used + 1;
  const int32_t font = chart_.FontOpen("Txt", 2);
  chart_.SetCadFontScale(0);
  chart_.SetCadFontJustify(1);
  chart_.TextAdd(UserShapeLayer, std::to_string(number), VesselX, VesselY, font);
  chart_.DrawCircle(VesselX, VesselY, 1, UserShapeLayer);
  LastEventNumber = number;
  WriteIni([&] { ini_.WriteInteger(kEventsSection, kEventNumberKey, number); });
}

// ---------------------------------------------------------------------------
// Zoom, tools, mouse

void Navigator::ZoominClick() {
  chart_.WorldZoom(0, 0.2, (chart_.WorldLeft() + chart_.WorldRight()) / 2,
                   (chart_.WorldTop() + chart_.WorldBottom()) / 2);
}

void Navigator::ZoomoutClick() {
  chart_.WorldZoom(0, -0.2, (chart_.WorldLeft() + chart_.WorldRight()) / 2,
                   (chart_.WorldTop() + chart_.WorldBottom()) / 2);
}

void Navigator::ZoomwindowClick() { chart_.SetViewMouseTool(-3); }
void Navigator::ZoomextentsClick() { chart_.WorldExtents(); }
void Navigator::ZoomdynamicClick() { chart_.SetViewMouseTool(-4); }
void Navigator::ZoompanClick() { chart_.SetViewMouseTool(-2); }

void Navigator::ToolButton26Click() {
  chart_.SetCadAction(11);
  chart_.SetViewMouseTool(-1);
}

void Navigator::DrawingToolClick(int toolCode) {
  chart_.SetLayerNumber(UserShapeLayer);
  chart_.SetViewMouseTool(toolCode);
}

std::optional<int> Navigator::DrawingToolCode(std::string_view buttonName) {
  for (const ToolButton& b : kDrawingTools) {
    if (b.name == buttonName) return b.code;
  }
  return std::nullopt;
}

void Navigator::FormMouseWheelDown() {
  const WheelStep step =
      MakeWheelStep(false, MouseX, MouseY, (chart_.WorldLeft() + chart_.WorldRight()) / 2,
                    (chart_.WorldTop() + chart_.WorldBottom()) / 2);
  chart_.WorldPan(step.panX, step.panY);
  chart_.WorldZoom(0, step.zoom, MouseX, MouseY);
  chart_.SetViewMouseTool(-2);
}

void Navigator::FormMouseWheelUp() {
  const WheelStep step =
      MakeWheelStep(true, MouseX, MouseY, (chart_.WorldLeft() + chart_.WorldRight()) / 2,
                    (chart_.WorldTop() + chart_.WorldBottom()) / 2);
  chart_.WorldPan(step.panX, step.panY);
  chart_.WorldZoom(0, step.zoom, MouseX, MouseY);
  chart_.SetViewMouseTool(-2);
}

void Navigator::fcadWorldMouseDown(double x, double y) {
  MouseDownX = x;
  MouseDownY = y;
  view_.SetDistLabel(DistanceText(Measure{}));
  view_.SetEasting(geodesy::FormatFixed(x, 2));
  view_.SetNorthing(geodesy::FormatFixed(y, 2));
}

void Navigator::fcadWorldMouseMove(double x, double y) {
  MouseX = x;
  MouseY = y;
  if (MouseDownX != 0 && MouseDownY != 0) {
    view_.SetDistLabel(DistanceText(MeasureFrom(MouseDownX, MouseDownY, x, y)));
  }
  view_.SetCoordinates(CoordinatesText(x, y));
}

void Navigator::fcadShapeNumberSelected(uint32_t shape) {
  const int highlight = 2 * IntegerFieldOr(view_.Controls().TrackWidth, 3);
  if (chart_.ShapePenWidth(shape) != highlight) {
    chart_.SetShapePenWidth(shape, highlight);
    chart_.ShapeDeselect(shape);
  } else {
    chart_.SetShapePenWidth(shape, 1);
  }
}

// ---------------------------------------------------------------------------
// Settings window

void Navigator::FGPSFormCreate() {
  view_.ShowSettings(LoadSettingsTexts(ini_));
  const std::string lock = ini_.ReadString(kLockSection, kLockKey, "");
  if (lock == "true") {
    view_.SetSettingsPagesEnabled(false);
  } else if (lock == "false") {
    view_.SetSettingsPagesEnabled(true);
  }
}

void Navigator::FGPSFormShow() {
  const bool current = view_.Settings().LockStateCheck;
  const bool stored = ini_.ReadBool(kLockSection, kLockKey, current);
  if (stored != current) {
    view_.SetLockChecked(stored);
    LockStateCheckClick();
  }
}

void Navigator::LockStateCheckClick() {
  const SettingsTexts texts = view_.Settings();
  view_.SetSettingsPagesEnabled(!texts.LockStateCheck);
  WriteIni([&] { SaveSettingsTexts(ini_, texts); });
}

void Navigator::GPSSetClick() { SetReceiver(RGPS1, view_.Settings().Gps, false, true); }

void Navigator::SensorSetClick() { SetReceiver(RSENSOR, view_.Settings().Sensor, true, true); }

}  // namespace halvex::navigator
