// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The chart widget behind the navigation logic's ChartPort: each call goes
// to the TFlpCAD of the main window. Saves run in the background; their
// reports come back through the widget's CadSaveFinished signal, which the
// main window passes to the logic. WaitForSaves waits for the writes and
// then delivers their queued reports at once, so when it returns the logic
// has heard of every save it asked for.

#include "mapcontrol/FlpCad.hpp"
#include "navigator/core/ChartPort.hpp"

namespace halvex::navigator {

class FlpCadChart final : public ChartPort {
 public:
  explicit FlpCadChart(mapcontrol::TFlpCAD& fcad) : fcad_(fcad) {}

  uint16_t LayerOpen(std::string_view name) override { return fcad_.LayerOpen(name); }
  uint16_t LayerFindByName(std::string_view name) const override {
    return fcad_.LayerFindByName(name);
  }
  void CadClearShapes(int layer) override { fcad_.CadClearShapes(layer); }
  void CadClearAll() override { fcad_.CadClearAll(); }
  void SetLayerPenFg(uint16_t layer, int bgrColor) override {
    fcad_.SetLayerPenFg(layer, bgrColor);
  }
  void SetLayerPenWidth(uint16_t layer, int width) override {
    fcad_.SetLayerPenWidth(layer, width);
  }
  void SetLayerAction(uint16_t layer, uint32_t action) override {
    fcad_.SetLayerAction(layer, action);
  }

  uint32_t DrawLine(double x1, double y1, double x2, double y2, uint16_t layer) override {
    return fcad_.DrawLine(x1, y1, x2, y2, layer);
  }
  uint32_t DrawPoint(double x, double y, uint16_t layer) override {
    return fcad_.DrawPoint(x, y, layer);
  }
  uint32_t DrawCircle(double cx, double cy, double radius, uint16_t layer) override {
    return fcad_.DrawCircle(cx, cy, radius, layer);
  }
  int32_t FontOpen(std::string_view name, double scale) override {
    return fcad_.FontOpen(name, scale);
  }
  uint32_t TextAdd(uint16_t layer, std::string_view text, double x, double y,
                   int32_t font) override {
    return fcad_.TextAdd(layer, text, x, y, font);
  }
  int ShapePenWidth(uint32_t shape) const override { return fcad_.ShapePenWidth(shape); }
  bool SetShapePenWidth(uint32_t shape, int width) override {
    return fcad_.SetShapePenWidth(shape, width);
  }
  bool ShapeDeselect(uint32_t shape) override { return fcad_.ShapeDeselect(shape); }

  double WorldLeft() const override { return fcad_.WorldLeft(); }
  double WorldRight() const override { return fcad_.WorldRight(); }
  double WorldTop() const override { return fcad_.WorldTop(); }
  double WorldBottom() const override { return fcad_.WorldBottom(); }
  void WorldPan(double dx, double dy) override { fcad_.WorldPan(dx, dy); }
  void WorldZoom(int mode, double percentage, double zoomX, double zoomY) override {
    fcad_.WorldZoom(mode, percentage, zoomX, zoomY);
  }
  void WorldExtents() override { fcad_.WorldExtents(); }
  void Repaint() override { fcad_.update(); }

  void SetBackColor(int bgrColor) override { fcad_.SetBackColor(bgrColor); }
  void SetCadFontScale(double scale) override { fcad_.SetCadFontScale(scale); }
  void SetCadFontJustify(int justify) override { fcad_.SetCadFontJustify(justify); }
  void SetLayerNumber(int layer) override { fcad_.SetLayerNumber(layer); }
  void SetViewMouseTool(int tool) override { fcad_.SetViewMouseTool(tool); }
  void SetCadAction(int action) override { fcad_.SetCadAction(action); }

  bool CadSave(const std::string& file, int layer) override {
    return fcad_.CadSave(QString::fromStdString(file), layer);
  }
  void WaitForSaves() override;
  bool CadLoad(const std::string& file, int layer, int destLayer, int loadType) override {
    return fcad_.CadLoad(QString::fromStdString(file), layer, destLayer, loadType);
  }
  bool DXFSave(const std::string& file) override {
    return fcad_.DXFSave(QString::fromStdString(file));
  }
  bool DXFLoad(const std::string& file) override {
    return fcad_.DXFLoad(QString::fromStdString(file));
  }
  std::string LastError() const override { return fcad_.LastError().toStdString(); }

 private:
  mapcontrol::TFlpCAD& fcad_;
};

}  // namespace halvex::navigator
