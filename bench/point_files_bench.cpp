// SPDX-License-Identifier: GPL-3.0-or-later
// Point files of 1,000,000 lines: loading them into a coordinate grid and
// saving the grid, and "geokit-cli read-points" on the file beside
// "geokit-cli to-grid" converting the same file, both in-process with their
// output going to /dev/null. At the end the ratios are printed.
//
// HALVEX_POINT_BENCH_LINES sets the number of lines (default 1000000).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchDatum.hpp"
#include "geodesy/CoordGrid.hpp"
#include "geodesy/NumberText.hpp"
#include "geodesy/PointFiles.hpp"
#include "tools/GeokitCli.hpp"

namespace {

namespace fs = std::filesystem;
using namespace halvex::geodesy;

using halvex::bench::kEllipsoid;
using halvex::bench::kPair;
using halvex::bench::kProjection;

std::size_t LineCount() {
  const char* text = std::getenv("HALVEX_POINT_BENCH_LINES");
  return text != nullptr ? std::strtoul(text, nullptr, 10) : 1000000;
}

// The best time of each benchmark (seconds per iteration), for the ratios.
std::map<std::string, double>& BestSeconds() {
  static std::map<std::string, double> best;
  return best;
}

void Record(const std::string& name, double seconds) {
  auto [it, inserted] = BestSeconds().emplace(name, seconds);
  if (!inserted) {
    it->second = std::min(it->second, seconds);
  }
}

class Files {
 public:
  Files() {
    folder_ = fs::temp_directory_path() / ("halvex-point-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
    // Lines as a surveyor's export holds them: latitude, longitude and
    // height in decimal degrees and metres, 9 and 3 decimals. Both the
    // geodetic reader and to-grid take this form.
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> lat(36.0, 42.0), lon(27.0, 33.0), h(-50.0, 500.0);
    std::string text;
    for (std::size_t i = 0; i < LineCount(); ++i) {
      AppendFixed(text, lat(rng), 9);
      text.push_back(' ');
      AppendFixed(text, lon(rng), 9);
      text.push_back(' ');
      AppendFixed(text, h(rng), 3);
      text += "\r\n";
    }
    std::ofstream(Geodetic(), std::ios::binary) << text;
    bytes_ = text.size();
  }
  ~Files() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  fs::path Geodetic() const { return folder_ / "points.txt"; }
  fs::path Saved() const { return folder_ / "saved.txt"; }
  std::size_t Bytes() const { return bytes_; }

 private:
  fs::path folder_;
  std::size_t bytes_ = 0;
};

const Files& TheFiles() {
  static const Files files;
  return files;
}

void SetCounters(benchmark::State& state, const std::string& name, double seconds) {
  Record(name, seconds);
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(LineCount()),
                                                 benchmark::Counter::kIsIterationInvariantRate);
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(TheFiles().Bytes()) / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

template <typename F>
double Seconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_LoadGeodeticFile(benchmark::State& state) {
  const Files& files = TheFiles();
  double best = std::numeric_limits<double>::max();
  for (auto _ : state) {
    CoordGrid grid(4, 1);
    SetGridHeader(grid, PointReaderHeader(PointReader::kGeodetic));
    const double s = Seconds([&] { ReadGeodeticFile(files.Geodetic(), grid); });
    state.SetIterationTime(s);
    best = std::min(best, s);
    if (grid.RowCount() != LineCount() + 1) {
      state.SkipWithError("not every line was read");
    }
    state.counters["grid MB"] = static_cast<double>(grid.MemoryBytes()) / 1e6;
  }
  SetCounters(state, "load", best);
}

void BM_SaveGridText(benchmark::State& state) {
  const Files& files = TheFiles();
  CoordGrid grid(4, 1);
  ReadGeodeticFile(files.Geodetic(), grid);
  double best = std::numeric_limits<double>::max();
  for (auto _ : state) {
    const double s = Seconds([&] { SaveGridText(grid, files.Saved()); });
    state.SetIterationTime(s);
    best = std::min(best, s);
  }
  SetCounters(state, "save", best);
}

// One in-process run of geokit-cli on the benchmark's file.
void RunCli(benchmark::State& state, const std::string& name, std::vector<std::string> args) {
  const Files& files = TheFiles();
  args.push_back(files.Geodetic().string());
  double best = std::numeric_limits<double>::max();
  for (auto _ : state) {
    std::ofstream out("/dev/null", std::ios::binary);
    std::ostringstream err;
    std::istringstream in;
    int status = 0;
    const double s = Seconds([&] { status = halvex::tools::RunGeokitCli(args, in, out, err); });
    state.SetIterationTime(s);
    best = std::min(best, s);
    if (status != 0) {
      state.SkipWithError(("geokit-cli failed: " + err.str()).c_str());
    }
  }
  SetCounters(state, name, best);
}

void BM_CliReadPoints(benchmark::State& state) {
  RunCli(state, "read-points", {"read-points", "--reader", "geodetic"});
}

void BM_CliToGrid(benchmark::State& state) {
  RunCli(state, "to-grid",
         {"to-grid", "--pair", kPair, "--tm", kProjection, "--ellipsoid", kEllipsoid});
}

void BM_CliToGridOneThread(benchmark::State& state) {
  RunCli(state, "to-grid 1 thread",
         {"to-grid", "--threads", "1", "--pair", kPair, "--tm", kProjection, "--ellipsoid",
          kEllipsoid});
}

BENCHMARK(BM_LoadGeodeticFile)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SaveGridText)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CliReadPoints)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CliToGrid)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_CliToGridOneThread)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const auto& best = BestSeconds();
  std::printf("\n%zu lines, %.1f MB; best times:\n", LineCount(),
              static_cast<double>(TheFiles().Bytes()) / 1e6);
  for (const auto& [name, seconds] : best) {
    std::printf(
        "  %-18s %8.3f s%s\n", name.c_str(), seconds,
        (name == "load" || name == "save") && seconds >= 2.0 ? "  (over the 2 s budget)" : "");
  }
  const auto ratio = [&](const char* a, const char* b) {
    if (best.count(a) != 0 && best.count(b) != 0 && best.at(b) > 0) {
      std::printf("  %s / %s = %.2f\n", a, b, best.at(a) / best.at(b));
    }
  };
  ratio("read-points", "to-grid");
  ratio("read-points", "to-grid 1 thread");
  ratio("load", "to-grid");
  return 0;
}
