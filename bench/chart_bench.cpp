// SPDX-License-Identifier: GPL-3.0-or-later
// The chart's drawing against Qt's QGraphicsScene holding the same items,
// both measured in the same benchmark so that each reports the ratio
// scene / model as a counter (above 1: the chart is faster):
//   Build    N shapes on two track layers (a point at every fix of a survey
//            track and a short line from each fix to the next); counters
//            also give the growth of the process's resident memory (RSS)
//            while each structure was built
//   Render   a repaint of the whole extent into a 1920x1080 QImage: the
//            chart widget's render() against QGraphicsScene::render(); the
//            chart shows its furniture (grid, scale bar, north arrow, cursor
//            readout, decluttered texts) and repaints everything each time
//   Zoomed   the same with a window of 1 % of the extent's area (a tenth of
//            its width and height) at its centre
//   Vessel   clearing and redrawing a vessel layer of 7 shapes
//   Fix      what the chart does at each fix of a vessel under way: the
//            vessel layer redrawn, one track point (a point and a line)
//            added, the view panned by 3 pixels, and the repaint, which
//            repaints only what changed (no scene counterpart); over the
//            whole extent and the zoomed window
//   Pick     the shape under a point: DrawingModel::Pick against
//            QGraphicsScene::items(point)
//   Add      one more track line: DrawingModel::DrawLine against
//            QGraphicsScene::addLine (the scene indexes it later, on first use)
// N comes from HALVEX_CHART_BENCH_SHAPES (default 1000000);
// HALVEX_CHART_BENCH_SCENE=0 leaves the scene out, to profile the chart
// alone (under callgrind the scene takes most of the run). The reported
// time is the chart's; the scene's time is the counter scene_s.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QGraphicsEllipseItem>
#include <QGraphicsLineItem>
#include <QGraphicsPathItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/SurveyTrack.hpp"
#include "mapcontrol/DrawingModel.hpp"
#include "mapcontrol/FlpCad.hpp"

namespace {

namespace mc = halvex::mapcontrol;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
using halvex::bench::Fix;
using halvex::bench::kFixSpacing;
using halvex::bench::kOriginX;
using halvex::bench::kOriginY;

size_t ShapeCount() { return halvex::bench::ShapeCount("HALVEX_CHART_BENCH_SHAPES"); }

bool WithScene() {
  const char* v = std::getenv("HALVEX_CHART_BENCH_SCENE");
  return v == nullptr || std::string(v) != "0";
}

// Half the size of a point's cross, in world units, for the scene.
constexpr double kPointHalfWorld = 0.5;

double RssBytes() {
  std::ifstream statm("/proc/self/statm");
  long long size = 0;
  long long resident = 0;
  statm >> size >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

QPen CosmeticPen(const QColor& color) {
  QPen pen(color);
  pen.setWidth(1);
  pen.setCosmetic(true);
  pen.setCapStyle(Qt::FlatCap);
  return pen;
}

// Both structures, built by the Build benchmark and used by the others. The
// scene's y axis points down, so scene y = -world y.
struct Charts {
  std::unique_ptr<mc::TFlpCAD> widget;
  std::unique_ptr<QGraphicsScene> scene;
  uint16_t points_layer = mc::kNoLayer;
  uint16_t lines_layer = mc::kNoLayer;
  uint16_t vessel_layer = mc::kNoLayer;
  int32_t font = 0;
  std::vector<QGraphicsItem*> vessel_items;
  mc::Rect extent;
  size_t fixes = 0;
};

Charts& TheCharts() {
  static Charts charts;
  return charts;
}

void BuildModel(Charts& c, size_t shapes) {
  mc::DrawingModel& model = c.widget->Model();
  c.points_layer = model.LayerOpen("track points");
  c.lines_layer = model.LayerOpen("track lines");
  model.LayerSetPenColor(c.lines_layer, 0x808080);
  c.vessel_layer = model.LayerOpen("vessel");
  model.LayerSetPenColor(c.vessel_layer, 0x0000FF);
  c.font = model.FontOpen("Sans", 3.0);
  c.fixes = shapes / 2;
  mc::PointXY previous = Fix(0);
  for (size_t i = 0; i < c.fixes; ++i) {
    const mc::PointXY p = Fix(i);
    model.DrawPoint(p.x, p.y, c.points_layer);
    if (i > 0) model.DrawLine(previous.x, previous.y, p.x, p.y, c.lines_layer);
    previous = p;
  }
  // The line count is one short of the fixes; one more point keeps N shapes.
  const mc::PointXY last = Fix(c.fixes - 1);
  model.DrawLine(last.x, last.y, last.x + kFixSpacing, last.y, c.lines_layer);
}

void BuildScene(Charts& c) {
  QGraphicsScene& scene = *c.scene;
  const QPen point_pen = CosmeticPen(Qt::black);
  const QPen line_pen = CosmeticPen(QColor(128, 128, 128));
  mc::PointXY previous = Fix(0);
  for (size_t i = 0; i < c.fixes; ++i) {
    const mc::PointXY p = Fix(i);
    QPainterPath cross;
    cross.moveTo(p.x - kPointHalfWorld, -p.y);
    cross.lineTo(p.x + kPointHalfWorld, -p.y);
    cross.moveTo(p.x, -p.y - kPointHalfWorld);
    cross.lineTo(p.x, -p.y + kPointHalfWorld);
    scene.addPath(cross, point_pen);
    if (i > 0) scene.addLine(previous.x, -previous.y, p.x, -p.y, line_pen);
    previous = p;
  }
  const mc::PointXY last = Fix(c.fixes - 1);
  scene.addLine(last.x, -last.y, last.x + kFixSpacing, -last.y, line_pen);
}

// A vessel at (x, y): hull outline, bow line, two antennas, a heading line, a
// name and a turning arc.
void DrawVesselModel(Charts& c, double x, double y) {
  mc::DrawingModel& model = c.widget->Model();
  const uint16_t v = c.vessel_layer;
  model.DrawPolyline(
      {{x - 4, y - 20}, {x + 4, y - 20}, {x + 4, y + 12}, {x, y + 20}, {x - 4, y + 12}}, true, v);
  model.DrawLine(x - 4, y + 12, x + 4, y + 12, v);
  model.DrawCircle(x, y, 1.0, v);
  model.DrawPoint(x, y - 10, v);
  model.DrawLine(x, y + 20, x, y + 120, v);
  model.TextAdd(v, "SURVEYOR", x + 8, y, c.font);
  model.DrawArc(x, y, 30.0, 60.0, 120.0, v);
}

void DrawVesselScene(Charts& c, double x, double y) {
  QGraphicsScene& scene = *c.scene;
  const QPen pen = CosmeticPen(Qt::red);
  QPainterPath hull;
  hull.moveTo(x - 4, -(y - 20));
  hull.lineTo(x + 4, -(y - 20));
  hull.lineTo(x + 4, -(y + 12));
  hull.lineTo(x, -(y + 20));
  hull.lineTo(x - 4, -(y + 12));
  hull.closeSubpath();
  c.vessel_items.push_back(scene.addPath(hull, pen));
  c.vessel_items.push_back(scene.addLine(x - 4, -(y + 12), x + 4, -(y + 12), pen));
  c.vessel_items.push_back(scene.addEllipse(x - 1, -y - 1, 2, 2, pen));
  QPainterPath cross;
  cross.moveTo(x - kPointHalfWorld, -(y - 10));
  cross.lineTo(x + kPointHalfWorld, -(y - 10));
  c.vessel_items.push_back(scene.addPath(cross, pen));
  c.vessel_items.push_back(scene.addLine(x, -(y + 20), x, -(y + 120), pen));
  QGraphicsSimpleTextItem* text = scene.addSimpleText("SURVEYOR");
  text->setPos(x + 8, -y);
  c.vessel_items.push_back(text);
  QPainterPath arc;
  arc.arcMoveTo(x - 30, -y - 30, 60, 60, 60);
  arc.arcTo(x - 30, -y - 30, 60, 60, 60, 60);
  c.vessel_items.push_back(scene.addPath(arc, pen));
}

void ClearVesselScene(Charts& c) {
  for (QGraphicsItem* item : c.vessel_items) {
    c.scene->removeItem(item);
    delete item;
  }
  c.vessel_items.clear();
}

// Whether BM_Build made the charts; the benchmark is skipped otherwise.
bool Built(benchmark::State& state) {
  if (TheCharts().widget) return true;
  state.SkipWithError("Build did not run");
  return false;
}

// A tenth of the extent's width and height (1 % of its area) at its centre.
mc::Rect ZoomedWindow() {
  const mc::Rect& e = TheCharts().extent;
  const double cx = (e.min_x + e.max_x) / 2;
  const double cy = (e.min_y + e.max_y) / 2;
  const double hw = (e.max_x - e.min_x) / 20;
  const double hh = (e.max_y - e.min_y) / 20;
  return {cx - hw, cy - hh, cx + hw, cy + hh};
}

void SetRatio(benchmark::State& state, double model_s, double scene_s, double per) {
  state.counters["model_s"] = model_s / per;
  state.counters["scene_s"] = scene_s / per;
  state.counters["scene_over_model"] = model_s > 0 ? scene_s / model_s : 0;
}

void BM_Build(benchmark::State& state) {
  Charts& c = TheCharts();
  const size_t shapes = ShapeCount();
  double model_s = 0;
  double scene_s = 0;
  double model_rss = 0;
  double scene_rss = 0;
  for (auto _ : state) {
    c.scene.reset();
    c.widget.reset();
    c.vessel_items.clear();
    c.widget = std::make_unique<mc::TFlpCAD>();
    c.widget->resize(kWidth, kHeight);
    c.widget->SetAllFurniture(true);
    // A cursor over the chart, for the readout.
    QMouseEvent move(QEvent::MouseMove, QPointF(kWidth / 3.0, kHeight / 3.0),
                     QPointF(kWidth / 3.0, kHeight / 3.0), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(c.widget.get(), &move);
    if (WithScene()) c.scene = std::make_unique<QGraphicsScene>();

    double rss = RssBytes();
    auto start = Clock::now();
    BuildModel(c, shapes);
    model_s = Seconds(start);
    model_rss = RssBytes() - rss;

    if (c.scene) {
      rss = RssBytes();
      start = Clock::now();
      BuildScene(c);
      // The scene builds its index on first use; count that as building.
      benchmark::DoNotOptimize(c.scene->itemsBoundingRect());
      c.scene->items(QPointF(kOriginX, -kOriginY));
      scene_s = Seconds(start);
      scene_rss = RssBytes() - rss;
    }
    state.SetIterationTime(model_s);
  }
  DrawVesselModel(c, kOriginX + 100, kOriginY + 100);
  if (c.scene) DrawVesselScene(c, kOriginX + 100, kOriginY + 100);
  c.extent = *c.widget->Model().Extents();
  SetRatio(state, model_s, scene_s, 1);
  state.counters["shapes"] = static_cast<double>(c.widget->Model().ShapeCount());
  state.counters["model_rss_MB"] = model_rss / 1e6;
  state.counters["scene_rss_MB"] = scene_rss / 1e6;
  state.counters["model_B_per_shape"] = model_rss / static_cast<double>(shapes);
  state.counters["scene_B_per_shape"] = scene_rss / static_cast<double>(shapes);
}

void Render(benchmark::State& state, const mc::Rect& window) {
  if (!Built(state)) return;
  Charts& c = TheCharts();
  QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  c.widget->WorldWindow(window.min_x, window.max_y, window.max_x, window.min_y);
  // The scene's source: the widget's visible window, so both show the same.
  const QRectF source(c.widget->WorldLeft(), -c.widget->WorldTop(),
                      c.widget->WorldRight() - c.widget->WorldLeft(),
                      c.widget->WorldTop() - c.widget->WorldBottom());
  double model_s = 0;
  double scene_s = 0;
  for (auto _ : state) {
    c.widget->RepaintAll();
    auto start = Clock::now();
    c.widget->render(&image);
    const double m = Seconds(start);

    start = Clock::now();
    if (c.scene) {
      QPainter painter(&image);
      painter.fillRect(image.rect(), Qt::white);
      painter.setRenderHint(QPainter::Antialiasing, true);
      c.scene->render(&painter, QRectF(0, 0, kWidth, kHeight), source, Qt::IgnoreAspectRatio);
    }
    const double s = Seconds(start);
    model_s += m;
    scene_s += s;
    state.SetIterationTime(m);
  }
  SetRatio(state, model_s, scene_s, static_cast<double>(state.iterations()));
}

void BM_RenderWhole(benchmark::State& state) { Render(state, TheCharts().extent); }

void BM_RenderZoomed(benchmark::State& state) { Render(state, ZoomedWindow()); }

void BM_Vessel(benchmark::State& state) {
  if (!Built(state)) return;
  Charts& c = TheCharts();
  double model_s = 0;
  double scene_s = 0;
  double x = kOriginX + 100;
  for (auto _ : state) {
    x += 1.0;
    auto start = Clock::now();
    c.widget->Model().CadClearShapes(c.vessel_layer);
    DrawVesselModel(c, x, kOriginY + 100);
    const double m = Seconds(start);

    start = Clock::now();
    if (c.scene) {
      ClearVesselScene(c);
      DrawVesselScene(c, x, kOriginY + 100);
      // The scene indexes new items lazily; a lookup makes it do so here.
      benchmark::DoNotOptimize(c.scene->items(QPointF(x, -(kOriginY + 100))).size());
    }
    const double s = Seconds(start);
    model_s += m;
    scene_s += s;
    state.SetIterationTime(m);
  }
  SetRatio(state, model_s, scene_s, static_cast<double>(state.iterations()));
}

void RunFix(benchmark::State& state, const mc::Rect& window) {
  if (!Built(state)) return;
  Charts& c = TheCharts();
  QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  c.widget->WorldWindow(window.min_x, window.max_y, window.max_x, window.min_y);
  c.widget->render(&image);
  mc::DrawingModel& model = c.widget->Model();
  size_t i = c.fixes;
  mc::PointXY previous = Fix(i - 1);
  const double vessel_y = (window.min_y + window.max_y) / 2;
  double x = (window.min_x + window.max_x) / 2;
  double total = 0;
  double slowest = 0;
  size_t partial = 0;
  for (auto _ : state) {
    const mc::PointXY p = Fix(i++);
    x += 3 * c.widget->WorldUnitsPerPixel();
    auto start = Clock::now();
    model.CadClearShapes(c.vessel_layer);
    DrawVesselModel(c, x, vessel_y);
    model.DrawPoint(p.x, p.y, c.points_layer);
    model.DrawLine(previous.x, previous.y, p.x, p.y, c.lines_layer);
    c.widget->WorldPan(3 * c.widget->WorldUnitsPerPixel(), 0);
    c.widget->render(&image);
    const double m = Seconds(start);
    previous = p;
    partial += c.widget->Cache().LastStats().kind == mc::ChartCache::Kind::kPartial ? 1 : 0;
    total += m;
    slowest = std::max(slowest, m);
    state.SetIterationTime(m);
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["model_s"] = total / n;
  state.counters["max_s"] = slowest;
  state.counters["partial_share"] = static_cast<double>(partial) / n;
}

void BM_FixWhole(benchmark::State& state) { RunFix(state, TheCharts().extent); }

void BM_FixZoomed(benchmark::State& state) { RunFix(state, ZoomedWindow()); }

void BM_Pick(benchmark::State& state) {
  if (!Built(state)) return;
  Charts& c = TheCharts();
  std::mt19937_64 random(7);
  std::uniform_int_distribution<size_t> pick_fix(0, c.fixes - 1);
  const mc::DrawingModel& model = c.widget->Model();
  double model_s = 0;
  double scene_s = 0;
  size_t model_hits = 0;
  size_t scene_hits = 0;
  for (auto _ : state) {
    const mc::PointXY p = Fix(pick_fix(random));
    auto start = Clock::now();
    const auto hit = model.Pick(p.x, p.y, 0.5);
    const double m = Seconds(start);
    model_hits += hit ? 1 : 0;

    start = Clock::now();
    const QList<QGraphicsItem*> items =
        c.scene ? c.scene->items(QPointF(p.x, -p.y)) : QList<QGraphicsItem*>();
    const double s = Seconds(start);
    scene_hits += items.isEmpty() ? 0 : 1;
    model_s += m;
    scene_s += s;
    state.SetIterationTime(m);
  }
  const auto n = static_cast<double>(state.iterations());
  SetRatio(state, model_s, scene_s, n);
  state.counters["model_hit_rate"] = static_cast<double>(model_hits) / n;
  state.counters["scene_hit_rate"] = static_cast<double>(scene_hits) / n;
}

void BM_AddShape(benchmark::State& state) {
  if (!Built(state)) return;
  Charts& c = TheCharts();
  mc::DrawingModel& model = c.widget->Model();
  const QPen line_pen = CosmeticPen(QColor(128, 128, 128));
  double model_s = 0;
  double scene_s = 0;
  size_t i = c.fixes;
  double model_max = 0;
  mc::PointXY previous = Fix(i - 1);
  for (auto _ : state) {
    const mc::PointXY p = Fix(i++);
    auto start = Clock::now();
    benchmark::DoNotOptimize(model.DrawLine(previous.x, previous.y, p.x, p.y, c.lines_layer));
    const double m = Seconds(start);

    start = Clock::now();
    if (c.scene) {
      benchmark::DoNotOptimize(c.scene->addLine(previous.x, -previous.y, p.x, -p.y, line_pen));
    }
    const double s = Seconds(start);
    previous = p;
    model_max = std::max(model_max, m);
    model_s += m;
    scene_s += s;
    state.SetIterationTime(m);
  }
  SetRatio(state, model_s, scene_s, static_cast<double>(state.iterations()));
  // The slowest add: when a layer's vectors grow they move their contents.
  state.counters["model_max_s"] = model_max;
}

}  // namespace

// Fixed iteration counts: the chart's time, which is the reported one, is far
// below the scene's, so running until it adds up would run the scene for long.
BENCHMARK(BM_Build)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderWhole)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderZoomed)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Vessel)->Iterations(20)->UseManualTime()->Unit(benchmark::kMicrosecond);
// These add to the track too.
BENCHMARK(BM_FixWhole)->Iterations(50)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FixZoomed)->Iterations(50)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pick)->Iterations(200)->UseManualTime()->Unit(benchmark::kMicrosecond);
// Last, since it adds to the drawings.
BENCHMARK(BM_AddShape)->Iterations(100000)->UseManualTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // Free the drawings while the application still exists.
  TheCharts().scene.reset();
  TheCharts().widget.reset();
  return 0;
}
