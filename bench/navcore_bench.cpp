// SPDX-License-Identifier: GPL-3.0-or-later
// The navigation program's position step on the GUI thread: vessel redraw,
// track point, follow pan and the automatic save's snapshot every 301
// fixes, on a chart that already holds a survey's track (0 or 300,000
// points) and with a track point at every fix. The empty chart is the
// baseline: the step must not grow with the track. The `Sentence` variant
// also decodes the GGA sentence through the receiver first.
//
// Target: under 1 ms per fix with 300,000 track points. `AutomaticSave`
// times the one fix in 301 that also saves the project.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "SurveyTrack.hpp"
#include "appkit/MessageBoard.hpp"
#include "appkit/ScriptedDialogs.hpp"
#include "navigator/core/ModelChart.hpp"
#include "navigator/core/Navigator.hpp"

namespace {

using namespace halvex;
using navigator::Navigator;

class NullView final : public navigator::NavView {
 public:
  navigator::NavControls controls;
  navigator::SettingsTexts settings;
  void SetLat(const std::string&) override {}
  void SetLon(const std::string&) override {}
  void SetFixed(const std::string&) override {}
  void SetSpeed(const std::string&) override {}
  void SetAntenna(const std::string&) override {}
  void SetSatelliteLabel(const std::string&) override {}
  void SetMemoGPSLine(int, const std::string&) override {}
  void SetMemoGPSColor(int) override {}
  void SetGPSGroupBoxColor(int) override {}
  void SetMemoSensor(const std::string&) override {}
  void SetMemoSensorColor(int) override {}
  void SetRealtimePressed(bool) override {}
  void SetDrawingToolsVisible(bool) override {}
  void SetTitle(const std::string&) override {}
  void SetDistLabel(const std::string&) override {}
  void SetCoordinates(const std::string&) override {}
  void SetEasting(const std::string&) override {}
  void SetNorthing(const std::string&) override {}
  navigator::NavControls Controls() const override { return controls; }
  void ShowControls(const navigator::NavControls&, bool) override {}
  navigator::SettingsTexts Settings() const override { return settings; }
  void ShowSettings(const navigator::SettingsTexts&) override {}
  void SetLockChecked(bool) override {}
  void SetSettingsPagesEnabled(bool) override {}
  void ShowSettingsWindow() override {}
  void CloseMainWindow() override {}
};

std::string Gga(double latDeg, double lonDeg) {
  char body[160];
  const double lonMin = (lonDeg - 27) * 60;
  std::snprintf(body, sizeof body,
                "GPGGA,120000.00,%02d%010.7f,N,%03d%010.7f,E,4,12,0.8,15.00,M,0.0,M,,",
                static_cast<int>(latDeg), (latDeg - static_cast<int>(latDeg)) * 60, 27, lonMin);
  unsigned sum = 0;
  for (const char* p = body; *p; ++p) sum ^= static_cast<unsigned char>(*p);
  char text[200];
  std::snprintf(text, sizeof text, "$%s*%02X\r\n", body, sum);
  return text;
}

struct Setup {
  std::filesystem::path root;
  platform::FixedClock clock{{2026, 12, 7, 10, 0, 0, 0}};
  navigator::ModelChart chart;
  NullView view;
  appkit::ScriptedDialogs dialogs;
  appkit::MessageBoard board;
  std::unique_ptr<Navigator> nav;

  explicit Setup(size_t trackPoints)
      : root(std::filesystem::temp_directory_path() / "navcore-bench") {
    std::filesystem::remove_all(root);
    view.settings.Ellips = "6378137.0 0.0033528106647474 6378137.0 0.0033528106647474";
    view.settings.Datum =
        "6378137.0 0.0033528106647474 0 0 0 0 0 0 0 6378137.0 0.0033528106647474 0 0 0 0 0 0 0";
    view.settings.Projection = "27.0 0.0 0.9996 500000.0 0.0 UTM35";
    view.settings.GyroEnabled = false;
    view.controls.Interval = "1";
    view.controls.dotorline = true;
    chart.SetView(0, 1000, 1000, 0);
    nav = std::make_unique<Navigator>(chart, view, dialogs, board, root / "marnav.INI", clock,
                                      platform::Environment::Fixed({{"HXV_ROOT", root.string()}}));
    chart.onSaveFinished = [this](bool ok, const std::string& f, const std::string& r) {
      nav->SaveFinished(ok, f, r);
    };
    for (const char* name : {navigator::kGridLayerName, navigator::kVesselLayerName,
                             navigator::kTrackFixLayerName, navigator::kTrackNoFixLayerName,
                             navigator::kTempShapeLayerName, navigator::kUserShapeLayerName}) {
      chart.LayerOpen(name);
    }
    // The first fix gives the grid origin; the survey's track lies around it.
    nav->RGPS1Position3DChange(41.0, 27.5, 15);
    const double dx = nav->VesselX - bench::kOriginX, dy = nav->VesselY - bench::kOriginY;
    const uint16_t layer = chart.LayerFindByName(navigator::kTrackFixLayerName);
    for (size_t i = 0; i < trackPoints; ++i) {
      const mapcontrol::PointXY p = bench::Fix(i);
      chart.DrawPoint(p.x + dx, p.y + dy, layer);
    }
  }
  ~Setup() {
    chart.WaitForSaves();
    nav.reset();
    std::filesystem::remove_all(root);
  }
};

void BM_PositionStep(benchmark::State& state) {
  Setup s(static_cast<size_t>(state.range(0)));
  long i = 0;
  for (auto _ : state) {
    ++i;
    // About 2 m a fix, northwards along the survey.
    s.nav->RGPS1Position3DChange(41.0 + static_cast<double>(i) * 2e-5, 27.5, 15);
    s.chart.DeliverSaveReports();
  }
  state.counters["track_points"] = static_cast<double>(
      s.chart.Model().LayerShapeCount(s.chart.LayerFindByName(navigator::kTrackFixLayerName)));
}
BENCHMARK(BM_PositionStep)->Arg(0)->Arg(300000)->Unit(benchmark::kMicrosecond);

void BM_SentenceToChart(benchmark::State& state) {
  Setup s(static_cast<size_t>(state.range(0)));
  long i = 0;
  std::string sentence;
  for (auto _ : state) {
    state.PauseTiming();
    sentence = Gga(41.0 + static_cast<double>(++i) * 2e-5, 27.5);
    state.ResumeTiming();
    s.nav->RGPS1.FeedGPSReceiver(sentence);
    s.chart.DeliverSaveReports();
  }
}
BENCHMARK(BM_SentenceToChart)->Arg(0)->Arg(300000)->Unit(benchmark::kMicrosecond);

// The fix that also saves: the GUI thread's share of an automatic save (the
// drawing's snapshot), the write itself running in the background.
void BM_AutomaticSave(benchmark::State& state) {
  Setup s(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    s.nav->Save1Click();
    state.PauseTiming();
    s.chart.WaitForSaves();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_AutomaticSave)->Arg(300000)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
