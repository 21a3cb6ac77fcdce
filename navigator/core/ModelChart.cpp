// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigator/core/ModelChart.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "mapcontrol/DxfFile.hpp"
#include "mapcontrol/ProjectFile.hpp"
#include "mapcontrol/ProjectSaver.hpp"

namespace halvex::navigator {

using mapcontrol::DrawingModel;

ModelChart::ModelChart()
    : saver_(std::make_unique<mapcontrol::AsyncProjectSaver>(
          [this](bool ok, std::string path, std::string error) {
            const std::lock_guard lock(reportsMutex_);
            reports_.push_back({ok, std::move(path), std::move(error)});
          })) {}

ModelChart::~ModelChart() {
  // The saver's worker reports into reports_: end it first.
  saver_.reset();
}

void ModelChart::DeliverSaveReports() {
  std::deque<Report> ready;
  {
    const std::lock_guard lock(reportsMutex_);
    ready.swap(reports_);
  }
  for (const Report& r : ready) {
    if (onSaveFinished) onSaveFinished(r.ok, r.file, r.reason);
  }
}

void ModelChart::SetView(double left, double top, double right, double bottom) {
  left_ = left;
  top_ = top;
  right_ = right;
  bottom_ = bottom;
}

uint16_t ModelChart::LayerOpen(std::string_view name) { return model_.LayerOpen(name); }
uint16_t ModelChart::LayerFindByName(std::string_view name) const {
  return model_.LayerFindByName(name);
}
void ModelChart::CadClearShapes(int layer) { model_.CadClearShapes(layer); }
void ModelChart::CadClearAll() { model_.CadClearAll(); }
void ModelChart::SetLayerPenFg(uint16_t layer, int bgrColor) {
  model_.LayerSetPenColor(layer, bgrColor);
}
void ModelChart::SetLayerPenWidth(uint16_t layer, int width) {
  model_.LayerSetPenWidth(layer, width);
}
void ModelChart::SetLayerAction(uint16_t layer, uint32_t action) {
  model_.LayerSetAction(layer, action);
}
uint32_t ModelChart::DrawLine(double x1, double y1, double x2, double y2, uint16_t layer) {
  return model_.DrawLine(x1, y1, x2, y2, layer);
}
uint32_t ModelChart::DrawPoint(double x, double y, uint16_t layer) {
  return model_.DrawPoint(x, y, layer);
}
uint32_t ModelChart::DrawCircle(double cx, double cy, double radius, uint16_t layer) {
  return model_.DrawCircle(cx, cy, radius, layer);
}
int32_t ModelChart::FontOpen(std::string_view name, double scale) {
  return model_.FontOpen(name, scale);
}
uint32_t ModelChart::TextAdd(uint16_t layer, std::string_view text, double x, double y,
                             int32_t font) {
  // As the chart widget: CadFontScale 0 keeps the text at a fixed size on
  // the screen; a positive one makes it the font's scale times that many
  // metres high. CadFontJustify places the anchor.
  double height = 0;
  if (fontScale_ > 0 && std::isfinite(fontScale_)) {
    const std::optional<mapcontrol::Font> f = model_.FontGet(font);
    height = (f ? f->scale : 1) * fontScale_;
  }
  return model_.TextAdd(layer, text, x, y, font, height, fontJustify_);
}
int ModelChart::ShapePenWidth(uint32_t shape) const { return model_.ShapePenWidth(shape); }
bool ModelChart::SetShapePenWidth(uint32_t shape, int width) {
  return model_.ShapePenWidth(shape, width);
}
bool ModelChart::ShapeDeselect(uint32_t shape) { return model_.ShapeDeselect(shape); }

void ModelChart::WorldPan(double dx, double dy) {
  left_ += dx;
  right_ += dx;
  top_ += dy;
  bottom_ += dy;
}

void ModelChart::WorldZoom(int mode, double percentage, double zoomX, double zoomY) {
  if (mode != 0 || percentage == 0 || !std::isfinite(percentage) || !std::isfinite(zoomX) ||
      !std::isfinite(zoomY)) {
    return;
  }
  const double factor = percentage > 0 ? 1 / (1 + percentage) : 1 + -percentage;
  left_ = zoomX + (left_ - zoomX) * factor;
  right_ = zoomX + (right_ - zoomX) * factor;
  top_ = zoomY + (top_ - zoomY) * factor;
  bottom_ = zoomY + (bottom_ - zoomY) * factor;
}

void ModelChart::WorldExtents() {
  const std::optional<mapcontrol::Rect> box = model_.Extents();
  if (!box) return;
  const double mx = std::max(box->max_x - box->min_x, 1.0) * 0.05;
  const double my = std::max(box->max_y - box->min_y, 1.0) * 0.05;
  SetView(box->min_x - mx, box->max_y + my, box->max_x + mx, box->min_y - my);
}

bool ModelChart::CadSave(const std::string& file, int layer) {
  if (layer != -1 && !model_.LayerExists(static_cast<uint16_t>(layer))) {
    lastError_ = "no layer " + std::to_string(layer);
    return false;
  }
  if (!saver_->Start(model_, file)) {
    lastError_ = "the drawing could not be copied for saving";
    return false;
  }
  return true;
}

void ModelChart::WaitForSaves() {
  saver_->Wait();
  DeliverSaveReports();
}

bool ModelChart::CadLoad(const std::string& file, int /*layer*/, int /*destLayer*/,
                         int /*loadType*/) {
  saver_->Wait();
  std::string error;
  DrawingModel loaded;
  if (!mapcontrol::ProjectFile::Load(file, loaded, error)) {
    lastError_ = error;
    return false;
  }
  model_ = std::move(loaded);
  return true;
}

bool ModelChart::DXFSave(const std::string& file) {
  std::string error;
  if (!mapcontrol::SaveDxf(model_, file, error)) {
    lastError_ = error;
    return false;
  }
  return true;
}

bool ModelChart::DXFLoad(const std::string& file) {
  std::string error;
  DrawingModel loaded;
  mapcontrol::DxfLoadReport report;
  if (!mapcontrol::LoadDxf(file, loaded, report, error)) {
    lastError_ = error;
    return false;
  }
  model_ = std::move(loaded);
  return true;
}

}  // namespace halvex::navigator
