// SPDX-License-Identifier: GPL-3.0-or-later
// The chart's project file at survey-day size: N shapes on two track layers
// (a point at every fix of a survey track and a short line from each fix to
// the next, as in chart_bench) plus a vessel layer with one shape of every
// other kind.
//   Snapshot  the copy of the drawing taken on the GUI thread before a save
//             on a worker thread: the time the GUI thread is blocked
//   Save      ProjectFile::Save, snapshot included, to a file on the same
//             disk as the temporary folder (flushed to disk, renamed)
//   Load      ProjectFile::Load of that file, index rebuilt
// N comes from HALVEX_PROJECT_BENCH_SHAPES (default 1000000). Counters give
// the file size and the time per shape.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/SurveyTrack.hpp"
#include "mapcontrol/DrawingModel.hpp"
#include "mapcontrol/ProjectFile.hpp"

namespace {

namespace fs = std::filesystem;
namespace mc = halvex::mapcontrol;
using Clock = std::chrono::steady_clock;

using halvex::bench::Fix;
using halvex::bench::kFixSpacing;
using halvex::bench::kOriginX;
using halvex::bench::kOriginY;

size_t ShapeCount() { return halvex::bench::ShapeCount("HALVEX_PROJECT_BENCH_SHAPES"); }

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Fixture {
  mc::DrawingModel model;
  fs::path dir;
  fs::path file;

  Fixture() {
    dir = fs::temp_directory_path() / ("halvex-project-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    file = dir / "survey.hxv";
    const uint16_t points = model.LayerOpen("track points");
    const uint16_t lines = model.LayerOpen("track lines");
    model.LayerSetPenColor(lines, 0x808080);
    const uint16_t vessel = model.LayerOpen("vessel");
    model.LayerSetPenColor(vessel, 0x0000FF);
    const int32_t font = model.FontOpen("Sans", 3.0);
    const size_t fixes = ShapeCount() / 2;
    mc::PointXY previous = Fix(0);
    for (size_t i = 0; i < fixes; ++i) {
      const mc::PointXY p = Fix(i);
      model.DrawPoint(p.x, p.y, points);
      if (i > 0) model.DrawLine(previous.x, previous.y, p.x, p.y, lines);
      previous = p;
    }
    const mc::PointXY last = Fix(fixes - 1);
    model.DrawLine(last.x, last.y, last.x + kFixSpacing, last.y, lines);
    const double x = kOriginX + 100;
    const double y = kOriginY + 100;
    model.DrawPolyline(
        {{x - 4, y - 20}, {x + 4, y - 20}, {x + 4, y + 12}, {x, y + 20}, {x - 4, y + 12}}, true,
        vessel);
    model.DrawCircle(x, y, 1.0, vessel);
    model.TextAdd(vessel, "SURVEYOR", x + 8, y, font);
    model.DrawArc(x, y, 30.0, 60.0, 120.0, vessel);
  }
  ~Fixture() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

Fixture& TheFixture() {
  static Fixture fixture;
  return fixture;
}

void PerShape(benchmark::State& state, double seconds) {
  const auto shapes = static_cast<double>(TheFixture().model.ShapeCount());
  state.counters["shapes"] = shapes;
  state.counters["ns_per_shape"] = seconds * 1e9 / static_cast<double>(state.iterations()) / shapes;
}

// A fresh snapshot each time (arg 0), or one refilled in the memory of the
// previous (arg 1).
void BM_Snapshot(benchmark::State& state) {
  Fixture& f = TheFixture();
  const bool reuse = state.range(0) != 0;
  mc::ProjectFile::Snapshot kept;
  double total = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    if (reuse) {
      mc::ProjectFile::TakeSnapshot(f.model, kept);
    } else {
      kept = mc::ProjectFile::TakeSnapshot(f.model);
    }
    const double s = Seconds(start);
    // A fresh snapshot's memory is given back outside the timed part.
    if (!reuse) kept = mc::ProjectFile::Snapshot();
    total += s;
    state.SetIterationTime(s);
  }
  PerShape(state, total);
}

void BM_Save(benchmark::State& state) {
  Fixture& f = TheFixture();
  double total = 0;
  for (auto _ : state) {
    std::string error;
    const auto start = Clock::now();
    const bool ok = mc::ProjectFile::Save(f.model, f.file, error);
    const double s = Seconds(start);
    if (!ok) {
      state.SkipWithError(error.c_str());
      return;
    }
    total += s;
    state.SetIterationTime(s);
  }
  PerShape(state, total);
  state.counters["file_MB"] = static_cast<double>(fs::file_size(f.file)) / 1e6;
}

void BM_Load(benchmark::State& state) {
  Fixture& f = TheFixture();
  if (!fs::exists(f.file)) {
    state.SkipWithError("Save did not run");
    return;
  }
  double total = 0;
  for (auto _ : state) {
    mc::DrawingModel loaded;
    std::string error;
    const auto start = Clock::now();
    const bool ok = mc::ProjectFile::Load(f.file, loaded, error);
    const double s = Seconds(start);
    if (!ok || loaded.ShapeCount() != f.model.ShapeCount()) {
      state.SkipWithError(ok ? "shape count differs" : error.c_str());
      return;
    }
    total += s;
    state.SetIterationTime(s);
  }
  PerShape(state, total);
}

}  // namespace

BENCHMARK(BM_Snapshot)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
