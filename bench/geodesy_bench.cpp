// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of the core operations, with PROJ called in-process on the same
// datum shift and projection as the peer of GeodeticToGrid.

#include <benchmark/benchmark.h>
#include <proj.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchDatum.hpp"
#include "geodesy/Angles.hpp"
#include "geodesy/DatumTransform.hpp"
#include "geodesy/Geocentric.hpp"
#include "geodesy/Geodesic.hpp"
#include "geodesy/Helmert.hpp"
#include "geodesy/NumberText.hpp"
#include "geodesy/TransverseMercator.hpp"

namespace {

using namespace halvex::geodesy;

using halvex::bench::kEllipsoid;
using halvex::bench::kPair;
using halvex::bench::kProjection;

constexpr const char* kProjPipeline =
    "+proj=pipeline "
    "+step +proj=cart +a=6378137 +rf=298.257223563 "
    "+step +inv +proj=helmert +x=-84.1 +y=-101.8 +z=-129.7 +rx=0.3 +ry=-0.2 +rz=0.5 +s=-1.2 "
    "+convention=coordinate_frame "
    "+step +inv +proj=cart +a=6378388 +rf=297 "
    "+step +proj=tmerc +lat_0=0 +lon_0=30 +k=0.9996 +x_0=500000 +y_0=0 +a=6378388 +rf=297";

struct Point {
  double lat;
  double lon;
};

const std::vector<Point>& Points() {
  static const std::vector<Point> points = [] {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> lat(36.0, 42.0), lon(27.0, 33.0);
    std::vector<Point> p(4096);
    for (auto& point : p) {
      point = {lat(rng), lon(rng)};
    }
    return p;
  }();
  return points;
}

const std::vector<std::string>& PointTexts(bool withHeight) {
  static std::vector<std::string> texts[2];
  auto& t = texts[withHeight ? 1 : 0];
  if (t.empty()) {
    for (const Point& p : Points()) {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, withHeight ? "%.9f %.9f 35.25" : "%.9f %.9f", p.lat,
                    p.lon);
      t.emplace_back(buffer);
    }
  }
  return t;
}

void BM_GeodeticToGrid(benchmark::State& state) {
  const auto& texts = PointTexts(false);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(GeodeticToGrid(texts[i++ & 4095], kPair, kProjection, kEllipsoid));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GeodeticToGrid);

void BM_ProjPipelineInProcess(benchmark::State& state) {
  PJ_CONTEXT* context = proj_context_create();
  PJ* pipeline = proj_create(context, kProjPipeline);
  if (pipeline == nullptr) {
    state.SkipWithError("PROJ could not create the pipeline");
    proj_context_destroy(context);
    return;
  }
  const auto& points = Points();
  std::size_t i = 0;
  for (auto _ : state) {
    const Point& p = points[i++ & 4095];
    PJ_COORD c = proj_coord(proj_torad(p.lon), proj_torad(p.lat), 0.0, 0.0);
    benchmark::DoNotOptimize(proj_trans(pipeline, PJ_FWD, c));
  }
  state.SetItemsProcessed(state.iterations());
  proj_destroy(pipeline);
  proj_context_destroy(context);
}
BENCHMARK(BM_ProjPipelineInProcess);

void BM_DatumTransformGeodetic(benchmark::State& state) {
  const auto& texts = PointTexts(true);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(DatumTransformGeodetic("BLH", texts[i++ & 4095], kPair));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DatumTransformGeodetic);

void BM_TmForward(benchmark::State& state) {
  const auto& texts = PointTexts(false);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(TmForward(texts[i++ & 4095], kProjection, kEllipsoid));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TmForward);

void BM_GeodeticToEcef(benchmark::State& state) {
  const auto& points = Points();
  std::size_t i = 0;
  for (auto _ : state) {
    const Point& p = points[i++ & 4095];
    benchmark::DoNotOptimize(
        GeodeticToEcef(p.lat, p.lon, 35.25L, 6378137.0L, 0.00335281066474748L));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GeodeticToEcef);

void BM_EcefToGeodetic(benchmark::State& state) {
  const auto& points = Points();
  std::vector<long double> xyz;
  for (const Point& p : points) {
    const long double phi = DegToRad(p.lat), lambda = DegToRad(p.lon);
    xyz.push_back(6378137.0L * std::cos(phi) * std::cos(lambda));
    xyz.push_back(6378137.0L * std::cos(phi) * std::sin(lambda));
    xyz.push_back(6356752.0L * std::sin(phi));
  }
  std::size_t i = 0;
  for (auto _ : state) {
    const std::size_t k = (i++ & 4095) * 3;
    benchmark::DoNotOptimize(
        EcefToGeodetic(xyz[k], xyz[k + 1], xyz[k + 2], 6378137.0L, 0.00335281066474748L));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EcefToGeodetic);

void BM_HelmertTransformText(benchmark::State& state) {
  const std::string text =
      "4202186.65437662 2353924.90407521 4205226.15497766 -1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7";
  for (auto _ : state) {
    benchmark::DoNotOptimize(HelmertTransform("Local", text));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HelmertTransformText);

void BM_GeodesicDistance(benchmark::State& state) {
  const auto& points = Points();
  std::size_t i = 0;
  for (auto _ : state) {
    const Point& p = points[i & 4095];
    const Point& q = points[(i + 1) & 4095];
    ++i;
    benchmark::DoNotOptimize(
        GeodesicDistance(6378137.0L, 0.00335281066474748L, p.lat, p.lon, q.lat, q.lon));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GeodesicDistance);

void BM_FormatG15(benchmark::State& state) {
  const auto& points = Points();
  std::size_t i = 0;
  std::string out;
  for (auto _ : state) {
    out.clear();
    AppendG15(out, points[i++ & 4095].lat * 100000.0L);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatG15);

void BM_PrintfG15(benchmark::State& state) {
  const auto& points = Points();
  std::size_t i = 0;
  char buffer[64];
  for (auto _ : state) {
    std::snprintf(buffer, sizeof buffer, "%.15Lg", points[i++ & 4095].lat * 100000.0L);
    benchmark::DoNotOptimize(buffer);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PrintfG15);

void BM_ScanDouble(benchmark::State& state) {
  const auto& texts = PointTexts(true);
  std::size_t i = 0;
  for (auto _ : state) {
    NumberScanner scanner(texts[i++ & 4095]);
    double v[3];
    benchmark::DoNotOptimize(scanner.ReadDoubles(v, 3));
    benchmark::DoNotOptimize(v);
  }
  state.SetItemsProcessed(state.iterations() * 3);
}
BENCHMARK(BM_ScanDouble);

}  // namespace

BENCHMARK_MAIN();
