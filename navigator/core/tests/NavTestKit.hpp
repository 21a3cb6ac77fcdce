// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the tests of the navigation logic share: a view that records what it
// is shown, NMEA sentences with their checksums, scripted serial ports, and
// a fixture with a navigator over a ModelChart in a temporary program
// folder.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <unistd.h>

#include "appkit/MessageBoard.hpp"
#include "appkit/ScriptedDialogs.hpp"
#include "navigator/core/ModelChart.hpp"
#include "navigator/core/Navigator.hpp"

namespace halvex::navigator::testing {

class RecordingView final : public NavView {
 public:
  NavControls controls;
  SettingsTexts settings;
  std::string lat, lon, fixed, speed, antenna, satellites;
  std::array<std::string, 2> memoGps{"NMEA GGA", "NMEA RMC, VTG, OR OTHER CMG STRING"};
  int memoGpsColor = -1, groupBoxColor = -1;
  std::string memoSensor = "NMEA SENSOR DATA";
  int memoSensorColor = -1;
  bool realtimePressed = false;
  bool toolsVisible = true;
  std::string title = "Halvex Navigator";
  std::string distLabel, coordinates, easting, northing;
  bool pagesEnabled = true;
  int settingsWindowShown = 0;
  int closeRequests = 0;
  std::optional<NavControls> shownControls;
  bool shownBackgroundStored = false;

  void SetLat(const std::string& t) override { lat = t; }
  void SetLon(const std::string& t) override { lon = t; }
  void SetFixed(const std::string& t) override { fixed = t; }
  void SetSpeed(const std::string& t) override { speed = t; }
  void SetAntenna(const std::string& t) override { antenna = t; }
  void SetSatelliteLabel(const std::string& t) override { satellites = t; }
  void SetMemoGPSLine(int line, const std::string& t) override {
    memoGps.at(static_cast<std::size_t>(line)) = t;
  }
  void SetMemoGPSColor(int c) override { memoGpsColor = c; }
  void SetGPSGroupBoxColor(int c) override { groupBoxColor = c; }
  void SetMemoSensor(const std::string& t) override { memoSensor = t; }
  void SetMemoSensorColor(int c) override { memoSensorColor = c; }
  void SetRealtimePressed(bool p) override { realtimePressed = p; }
  void SetDrawingToolsVisible(bool v) override { toolsVisible = v; }
  void SetTitle(const std::string& t) override { title = t; }
  void SetDistLabel(const std::string& t) override { distLabel = t; }
  void SetCoordinates(const std::string& t) override { coordinates = t; }
  void SetEasting(const std::string& t) override { easting = t; }
  void SetNorthing(const std::string& t) override { northing = t; }
  NavControls Controls() const override { return controls; }
  void ShowControls(const NavControls& c, bool backgroundStored) override {
    const int background = controls.fcadColor;
    controls = c;
    if (!backgroundStored) controls.fcadColor = background;
    shownControls = c;
    shownBackgroundStored = backgroundStored;
  }
  SettingsTexts Settings() const override { return settings; }
  void ShowSettings(const SettingsTexts& t) override {
    const bool lock = settings.LockStateCheck;
    settings = t;
    settings.LockStateCheck = lock;
  }
  void SetLockChecked(bool checked) override { settings.LockStateCheck = checked; }
  void SetSettingsPagesEnabled(bool enabled) override { pagesEnabled = enabled; }
  void ShowSettingsWindow() override { ++settingsWindowShown; }
  void CloseMainWindow() override { ++closeRequests; }
};

// "$" + body + "*" + checksum + CR LF.
inline std::string Sentence(const std::string& body) {
  unsigned sum = 0;
  for (const char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + body + tail;
}

// A GGA sentence at the position (degrees, north and east positive).
inline std::string Gga(double latDeg, double lonDeg, int quality, double altitudeM = 12.5,
                       int satellites = 8) {
  const auto coord = [](double deg, int degreeDigits) {
    const double a = deg < 0 ? -deg : deg;
    const int d = static_cast<int>(a);
    char text[40];
    std::snprintf(text, sizeof text, "%0*d%010.7f", degreeDigits, d, (a - d) * 60);
    return std::string(text);
  };
  char rest[120];
  std::snprintf(rest, sizeof rest, ",%d,%02d,0.9,%.2f,M,0.0,M,,", quality, satellites, altitudeM);
  return Sentence("GPGGA,120000.00," + coord(latDeg, 2) + (latDeg < 0 ? ",S," : ",N,") +
                  coord(lonDeg, 3) + (lonDeg < 0 ? ",W" : ",E") + rest);
}

// An identity datum pair, a transverse Mercator with λ0 = 30°.
inline SettingsTexts GeodeticSettings() {
  SettingsTexts s;
  s.Ellips = "6378137.0  0.0033528106647474  6378137.0  0.0033528106647474";
  s.Datum =
      "6378137.0  0.0033528106647474  0.0  0.0  0.0  0.0  0.0  0.0  0.0  "
      "6378137.0  0.0033528106647474  0.0  0.0  0.0  0.0  0.0  0.0  0.0";
  s.Projection = "30.0   0.0  1.0  500000.0  0.0  ITRF-GK";
  s.GyroEnabled = false;
  s.SensorEnabled = false;
  return s;
}

inline GpsPageTexts PortPage(const std::string& port) {
  return {port, "9600", "8", "1", "None", "Normal", "10", "False", "False", "False", "False"};
}

// Serial ports that open as silent scripted devices, or fail with a reason.
class ScriptedPorts {
 public:
  std::map<std::string, bool> present;  // name -> plugged in
  std::map<std::string, int> opens;

  ReceiverPorts Ports() {
    ReceiverPorts p;
    p.opener = [this](const std::string& name,
                      std::string& error) -> std::unique_ptr<platform::SerialDevice> {
      const std::lock_guard lock(mutex_);
      ++opens[name];
      const auto it = present.find(name);
      if (it == present.end() || !it->second) {
        error = "cannot open " + name + ": no such device";
        return nullptr;
      }
      return std::make_unique<SilentDevice>();
    };
    p.lister = [this] {
      std::vector<int> numbers;
      for (const auto& [name, in] : present)
        if (in) numbers.push_back(std::stoi(name.substr(3)));
      return numbers;
    };
    return p;
  }

 private:
  class SilentDevice final : public platform::SerialDevice {
   public:
    bool SetLine(const platform::SerialLine&) override { return true; }
    bool SetQueueSizes(std::size_t, std::size_t) override { return true; }
    bool SetTimeouts(const platform::SerialTimeouts&) override { return true; }
    bool QueuedBytes(std::size_t& count, bool& lineError) override {
      count = 0;
      lineError = false;
      return true;
    }
    long Read(char*, std::size_t) override { return 0; }
    long Write(const char*, std::size_t size) override { return static_cast<long>(size); }
    void Purge() override {}
    const std::string& Path() const override { return path_; }

   private:
    std::string path_ = "/dev/scripted";
  };
  std::mutex mutex_;
};

class NavFixture : public ::testing::Test {
 protected:
  NavFixture() {
    root_ =
        std::filesystem::temp_directory_path() /
        ("navcore-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
         "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
    view.settings = GeodeticSettings();
    chart.onSaveFinished = [this](bool ok, const std::string& file, const std::string& reason) {
      nav->SaveFinished(ok, file, reason);
    };
    Make();
  }
  ~NavFixture() override {
    nav.reset();
    std::error_code ec;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(root_, ec);
  }

  void Make() {
    nav.reset();
    nav = std::make_unique<Navigator>(
        chart, view, dialogs, board, IniPath(), clock,
        platform::Environment::Fixed({{"HXV_ROOT", HxvRoot().string()}}), ports.Ports());
  }

  std::filesystem::path IniPath() const { return root_ / "marnav.INI"; }
  std::filesystem::path HxvRoot() const { return root_ / "HXV"; }
  std::filesystem::path Day() const { return HxvRoot() / "07.12.2026"; }

  // The standard layers, as the window's first showing opens them.
  void OpenLayers() {
    for (const char* name : {kGridLayerName, kVesselLayerName, kTrackFixLayerName,
                             kTrackNoFixLayerName, kTempShapeLayerName, kUserShapeLayerName})
      chart.LayerOpen(name);
    nav->GridLayer = chart.LayerFindByName(kGridLayerName);
    nav->VesselLayer = chart.LayerFindByName(kVesselLayerName);
    nav->TrackFixLayer = chart.LayerFindByName(kTrackFixLayerName);
    nav->TrackNoFixLayer = chart.LayerFindByName(kTrackNoFixLayerName);
    nav->TempShapeLayer = chart.LayerFindByName(kTempShapeLayerName);
    nav->UserShapeLayer = chart.LayerFindByName(kUserShapeLayerName);
  }

  void Feed(const std::string& text) { nav->RGPS1.FeedGPSReceiver(text); }

  size_t Shapes(const char* layer) const {
    return chart.Model().LayerShapeCount(chart.Model().LayerFindByName(layer));
  }
  std::vector<mapcontrol::ShapeData> ShapesOf(const char* layer) const {
    std::vector<mapcontrol::ShapeData> out;
    chart.Model().ForEachShape(chart.Model().LayerFindByName(layer),
                               [&](const mapcontrol::ShapeData& s) { out.push_back(s); });
    return out;
  }
  const std::deque<std::string>& Messages() const { return board.Lines(); }
  int CountMessages(const std::string& prefix) const {
    int n = 0;
    for (const auto& l : board.Lines())
      if (l.rfind(prefix, 0) == 0) ++n;
    return n;
  }

  std::filesystem::path root_;
  platform::FixedClock clock{{2026, 12, 7, 10, 30, 0, 0}};
  ModelChart chart;
  RecordingView view;
  appkit::ScriptedDialogs dialogs;
  appkit::MessageBoard board;
  ScriptedPorts ports;
  std::unique_ptr<Navigator> nav;
};

}  // namespace halvex::navigator::testing
