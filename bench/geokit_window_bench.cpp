// SPDX-License-Identifier: GPL-3.0-or-later
// A grid of 1,000,000 geodetic points converted to transverse Mercator by
// the geokit window (its grid model, the page's button, slices on the event
// loop) beside "geokit-cli to-grid" on the same points, in-process, with the
// same number of threads; then both with one thread. At the end the ratios
// window / tool are printed (the budget is 1.25).
//
// HALVEX_GEOKIT_BENCH_POINTS sets the number of points (default 1000000).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>

#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "appkit/ScriptedDialogs.hpp"
#include "bench/BenchDatum.hpp"
#include "geodesy/NumberText.hpp"
#include "geotools/app/DatumWindow.hpp"
#include "geotools/app/GeoForm.hpp"
#include "geotools/app/GridModel.hpp"
#include "geotools/core/Conversions.hpp"
#include "tools/GeokitCli.hpp"

namespace {

namespace fs = std::filesystem;
using halvex::geokit::DatumTexts;
using halvex::geokit::GridModel;
using halvex::geokit::TGeoForm;

using halvex::bench::kEllipsoid;
using halvex::bench::kPair;
using halvex::bench::kProjection;

std::size_t PointCount() {
  const char* text = std::getenv("HALVEX_GEOKIT_BENCH_POINTS");
  return text != nullptr ? std::strtoul(text, nullptr, 10) : 1000000;
}

struct Points {
  Points() {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> lat(36.0, 42.0), lon(27.0, 33.0), h(-50.0, 500.0);
    for (std::size_t i = 0; i < PointCount(); ++i) {
      std::string la = halvex::geodesy::FormatFixed(lat(rng), 9);
      std::string lo = halvex::geodesy::FormatFixed(lon(rng), 9);
      std::string he = halvex::geodesy::FormatFixed(h(rng), 3);
      text += la + " " + lo + " " + he + "\n";
      rows.push_back({std::to_string(i + 1), la, lo, he});
    }
    file = fs::temp_directory_path() / ("halvex-geokit-bench-" + std::to_string(::getpid()));
    std::ofstream(file, std::ios::binary) << text;
  }
  ~Points() { fs::remove(file); }
  std::string text;
  std::vector<std::array<std::string, 4>> rows;
  fs::path file;
};

const Points& ThePoints() {
  static const Points points;
  return points;
}

std::map<std::string, double>& Best() {
  static std::map<std::string, double> best;
  return best;
}

void Record(benchmark::State& state, const std::string& name, double seconds) {
  state.SetIterationTime(seconds);
  auto [it, inserted] = Best().emplace(name, seconds);
  if (!inserted) it->second = std::min(it->second, seconds);
  state.counters["points/s"] = static_cast<double>(PointCount()) / Best()[name];
}

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void RunWindow(benchmark::State& state, const std::string& name, unsigned threads) {
  const fs::path folder =
      fs::temp_directory_path() / ("halvex-geokit-bench-ini-" + std::to_string(::getpid()));
  halvex::appkit::ScriptedDialogs dialogs;
  TGeoForm form(dialogs, {folder / "geokit.INI", folder, folder / "help.rtf"});
  form.SetQuitOnClose(true);
  form.show();
  form.SetConversionThreads(threads);
  form.Datums().SetDatum(
      0, DatumTexts{"WGS84", "6378137", "298.257223563", "0", "0", "0", "0", "0", "0", "0"});
  form.Datums().SetDatum(1, DatumTexts{"ED50", "6378388", "297", "-1.2", "0.3", "-0.2", "0.5",
                                       "-84.1", "-101.8", "-129.7"});
  for (const char* s : {"Datum5", "Datum6", "Datum6"}) {
    QLineEdit* selector = form.findChild<QLineEdit*>(s);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(selector, &press);
  }
  const std::array<std::pair<const char*, const char*>, 5> tm = {
      {{"CM", "30"}, {"RL", "0"}, {"SF", "0.9996"}, {"FE", "500000"}, {"FN", "0"}}};
  for (const auto& [field, text] : tm) form.findChild<QLineEdit*>(field)->setText(text);
  GridModel* source = form.Grid("utmDMS");
  source->BeginChange();
  halvex::geodesy::CoordGrid& grid = source->Grid();
  grid.SetRowCount(1);
  grid.Reserve(PointCount() + 1, ThePoints().text.size() + 8 * PointCount());
  for (const auto& row : ThePoints().rows) grid.AppendRow({row[0], row[1], row[2], row[3]});
  source->EndChange();
  QPushButton* button = form.findChild<QPushButton*>("SpeedButton11");
  for (auto _ : state) {
    QSignalSpy done(&form, &TGeoForm::ConversionFinished);
    const double s = Seconds([&] {
      button->click();
      if (done.count() == 0) done.wait(3600 * 1000);
    });
    if (!dialogs.Told().empty()) state.SkipWithError(dialogs.Told().back().c_str());
    Record(state, name, s);
  }
  form.close();
  fs::remove_all(folder);
}

void RunCli(benchmark::State& state, const std::string& name, unsigned threads) {
  std::vector<std::string> args = {
      "to-grid", "--threads", std::to_string(threads), "--pair",   kPair,
      "--tm",    kProjection, "--ellipsoid",           kEllipsoid, ThePoints().file.string()};
  for (auto _ : state) {
    std::ofstream out("/dev/null", std::ios::binary);
    std::ostringstream err;
    std::istringstream in;
    int status = 0;
    const double s = Seconds([&] { status = halvex::tools::RunGeokitCli(args, in, out, err); });
    if (status != 0) state.SkipWithError(("geokit-cli failed: " + err.str()).c_str());
    Record(state, name, s);
  }
}

const unsigned kThreads = halvex::geotools::DefaultConversionThreads();

// The machine's load changes during a run, so the window and the tool take
// turns, three rounds each, and the best time of each counts.
void RegisterRounds() {
  for (int round = 1; round <= 3; ++round) {
    const std::string suffix = "/round:" + std::to_string(round);
    benchmark::RegisterBenchmark(("WindowToGrid" + suffix).c_str(),
                                 [](benchmark::State& s) { RunWindow(s, "window", kThreads); })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark(("CliToGrid" + suffix).c_str(),
                                 [](benchmark::State& s) { RunCli(s, "geokit-cli", kThreads); })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
  }
  benchmark::RegisterBenchmark("WindowToGrid/threads:1",
                               [](benchmark::State& s) { RunWindow(s, "window 1 thread", 1); })
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
  benchmark::RegisterBenchmark("CliToGrid/threads:1",
                               [](benchmark::State& s) { RunCli(s, "geokit-cli 1 thread", 1); })
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RegisterRounds();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("\n%zu points, %u threads; best times:\n", PointCount(), kThreads);
  for (const auto& [name, seconds] : Best())
    std::printf("  %-20s %8.3f s\n", name.c_str(), seconds);
  const auto ratio = [](const char* a, const char* b) {
    if (Best().count(a) != 0 && Best().count(b) != 0) {
      std::printf("  %s / %s = %.2f (budget 1.25)\n", a, b, Best().at(a) / Best().at(b));
    }
  };
  ratio("window", "geokit-cli");
  ratio("window 1 thread", "geokit-cli 1 thread");
  return 0;
}
