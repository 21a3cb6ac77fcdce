// SPDX-License-Identifier: GPL-3.0-or-later
// Affine and Helmert estimations of 1,000,000 control points through the
// geokit window (the control file loaded by the page's loader, the
// estimation started by its button and run in the background, the labels
// written when it lands; report box unchecked, the report still made)
// beside "geokit-cli affine|helmert-estimate" on the same file, in-process,
// which reads the file, estimates and prints the whole report. Each takes
// three turns; the best time counts. At the end the ratios window / tool
// are printed.
//
// HALVEX_GEOKIT_BENCH_POINTS sets the number of points (default 1000000).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QSignalSpy>

#include <unistd.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "appkit/ScriptedDialogs.hpp"
#include "geodesy/NumberText.hpp"
#include "geotools/app/GeoForm.hpp"
#include "tools/GeokitCli.hpp"

namespace {

namespace fs = std::filesystem;
using halvex::geodesy::FormatFixed;
using halvex::geokit::TGeoForm;

std::size_t PointCount() {
  const char* text = std::getenv("HALVEX_GEOKIT_BENCH_POINTS");
  return text != nullptr ? std::strtoul(text, nullptr, 10) : 1000000;
}

fs::path TempFile(const char* what) {
  return fs::temp_directory_path() /
         ("halvex-geokit-lsq-bench-" + std::string(what) + "-" + std::to_string(::getpid()));
}

// "name x y X Y": an affine transformation with millimetres of noise.
struct ControlFiles {
  ControlFiles() : affine(TempFile("affine")), helmert(TempFile("helmert")) {
    std::mt19937_64 rng(17);
    std::uniform_real_distribution<double> e(400000, 600000), n(4200000, 4600000);
    std::normal_distribution<double> noise(0, 0.003);
    std::string text;
    for (std::size_t i = 0; i < PointCount(); ++i) {
      const double x = e(rng), y = n(rng);
      text += "P" + std::to_string(i + 1) + " " + FormatFixed(x, 3) + " " + FormatFixed(y, 3) +
              " " + FormatFixed(12.5 + 1.0001 * x - 0.0002 * y + noise(rng), 3) + " " +
              FormatFixed(-40.25 + 0.0002 * x + 1.0001 * y + noise(rng), 3) + "\n";
    }
    std::ofstream(affine, std::ios::binary) << text;
    // "name Xwgs Ywgs Zwgs Xloc Yloc Zloc": local points shifted, rotated
    // and scaled a little from the WGS-84 ones.
    text.clear();
    std::uniform_real_distribution<double> lat(36, 42), lon(26, 45), h(0, 500);
    const double a = 6378137, f = 1 / 298.257223563, e2 = f * (2 - f), rz = 2.4e-6, k = 1 + 1.5e-6;
    for (std::size_t i = 0; i < PointCount(); ++i) {
      const double la = lat(rng) * M_PI / 180, lo = lon(rng) * M_PI / 180, he = h(rng);
      const double nu = a / std::sqrt(1 - e2 * std::sin(la) * std::sin(la));
      const double X = (nu + he) * std::cos(la) * std::cos(lo);
      const double Y = (nu + he) * std::cos(la) * std::sin(lo);
      const double Z = (nu * (1 - e2) + he) * std::sin(la);
      text += "H" + std::to_string(i + 1) + " " + FormatFixed(X, 3) + " " + FormatFixed(Y, 3) +
              " " + FormatFixed(Z, 3) + " " + FormatFixed(k * (X + rz * Y) + 84.1, 3) + " " +
              FormatFixed(k * (Y - rz * X) + 101.8, 3) + " " + FormatFixed(k * Z + 129.7, 3) +
              "\n";
    }
    std::ofstream(helmert, std::ios::binary) << text;
  }
  ~ControlFiles() {
    fs::remove(affine);
    fs::remove(helmert);
  }
  fs::path affine, helmert;
};

const ControlFiles& Files() {
  static const ControlFiles files;
  return files;
}

std::map<std::string, double>& Best() {
  static std::map<std::string, double> best;
  return best;
}

// Keeps the best time of a part of a run.
void Note(const std::string& name, double seconds) {
  auto [it, inserted] = Best().emplace(name, seconds);
  if (!inserted) it->second = std::min(it->second, seconds);
}

// The time of a whole run (once per iteration: the benchmark adds up the
// times it is given).
void Record(benchmark::State& state, const std::string& name, double seconds) {
  state.SetIterationTime(seconds);
  Note(name, seconds);
  state.counters["points/s"] = static_cast<double>(PointCount()) / Best()[name];
}

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void RunWindow(benchmark::State& state, bool helmert) {
  const fs::path folder = TempFile("ini");
  halvex::appkit::ScriptedDialogs dialogs;
  TGeoForm form(dialogs, {folder / "geokit.INI", folder, folder / "help.rtf"});
  form.SetQuitOnClose(true);
  form.show();
  const char* name = helmert ? "helmert" : "affine";
  form.findChild<QCheckBox*>(helmert ? "ChkBoxHlm" : "ChkBoxAfn")->setChecked(false);
  QPushButton* load = form.findChild<QPushButton*>(helmert ? "SpeedButton52" : "SpeedButton54");
  QPushButton* estimate =
      form.findChild<QPushButton*>(helmert ? "SpeedButton23" : "SpeedButton17");
  for (auto _ : state) {
    dialogs.files.push_back((helmert ? Files().helmert : Files().affine).string());
    const double loading = Seconds([&] { load->click(); });
    QSignalSpy done(&form, &TGeoForm::JobFinished);
    const double estimating = Seconds([&] {
      estimate->click();
      if (done.count() == 0) done.wait(3600 * 1000);
    });
    if (!dialogs.Told().empty()) state.SkipWithError(dialogs.Told().back().c_str());
    Note(std::string("window ") + name + " load", loading);
    Note(std::string("window ") + name + " estimate", estimating);
    Record(state, std::string("window ") + name, loading + estimating);
  }
  form.close();
  fs::remove_all(folder);
}

void RunCli(benchmark::State& state, bool helmert) {
  const std::vector<std::string> args = {
      helmert ? "helmert-estimate" : "affine", "--control",
      (helmert ? Files().helmert : Files().affine).string()};
  for (auto _ : state) {
    std::ofstream out("/dev/null", std::ios::binary);
    std::ostringstream err;
    std::istringstream in;
    int status = 0;
    const double s = Seconds([&] { status = halvex::tools::RunGeokitCli(args, in, out, err); });
    if (status != 0) state.SkipWithError(("geokit-cli failed: " + err.str()).c_str());
    Record(state, std::string("geokit-cli ") + (helmert ? "helmert" : "affine"), s);
  }
}

void RegisterRounds() {
  for (const bool helmert : {false, true}) {
    for (int round = 1; round <= 3; ++round) {
      const std::string suffix = std::string(helmert ? "Helmert" : "Affine") +
                                 "/round:" + std::to_string(round);
      benchmark::RegisterBenchmark(("Window" + suffix).c_str(),
                                   [helmert](benchmark::State& s) { RunWindow(s, helmert); })
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1);
      benchmark::RegisterBenchmark(("Cli" + suffix).c_str(),
                                   [helmert](benchmark::State& s) { RunCli(s, helmert); })
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1);
    }
  }
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
  std::printf("\n%zu control points; best times:\n", PointCount());
  for (const auto& [name, seconds] : Best())
    std::printf("  %-28s %8.3f s\n", name.c_str(), seconds);
  for (const char* model : {"affine", "helmert"}) {
    const std::string window = std::string("window ") + model;
    const std::string cli = std::string("geokit-cli ") + model;
    if (Best().count(window) != 0 && Best().count(cli) != 0) {
      std::printf("  %s / %s = %.2f\n", window.c_str(), cli.c_str(),
                  Best().at(window) / Best().at(cli));
    }
  }
  return 0;
}
