// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The chart's calls over a bare DrawingModel, with a view rectangle instead
// of a widget: for tests and benchmarks of the navigation logic, which need
// no screen. Project files are written in the background as the chart widget
// does; their reports are handed to `onSaveFinished` on the owning thread,
// by WaitForSaves() and DeliverSaveReports().

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "mapcontrol/DrawingModel.hpp"
#include "navigator/core/ChartPort.hpp"

namespace halvex::mapcontrol {
class AsyncProjectSaver;
}

namespace halvex::navigator {

class ModelChart final : public ChartPort {
 public:
  using SaveReport =
      std::function<void(bool ok, const std::string& file, const std::string& reason)>;

  ModelChart();
  ~ModelChart() override;

  mapcontrol::DrawingModel& Model() { return model_; }
  const mapcontrol::DrawingModel& Model() const { return model_; }

  // Receives the outcome of each background save.
  SaveReport onSaveFinished;
  // Hands the reports of saves that have ended to onSaveFinished.
  void DeliverSaveReports();

  // Sets the view rectangle (world units, top > bottom).
  void SetView(double left, double top, double right, double bottom);
  int BackColor() const { return backColor_; }
  int LayerNumber() const { return layerNumber_; }
  int ViewMouseTool() const { return mouseTool_; }
  int CadAction() const { return cadAction_; }
  double CadFontScale() const { return fontScale_; }
  int CadFontJustify() const { return fontJustify_; }
  int RepaintCount() const { return repaints_; }

  // --- ChartPort ---
  uint16_t LayerOpen(std::string_view name) override;
  uint16_t LayerFindByName(std::string_view name) const override;
  void CadClearShapes(int layer) override;
  void CadClearAll() override;
  void SetLayerPenFg(uint16_t layer, int bgrColor) override;
  void SetLayerPenWidth(uint16_t layer, int width) override;
  void SetLayerAction(uint16_t layer, uint32_t action) override;
  uint32_t DrawLine(double x1, double y1, double x2, double y2, uint16_t layer) override;
  uint32_t DrawPoint(double x, double y, uint16_t layer) override;
  uint32_t DrawCircle(double cx, double cy, double radius, uint16_t layer) override;
  int32_t FontOpen(std::string_view name, double scale) override;
  uint32_t TextAdd(uint16_t layer, std::string_view text, double x, double y,
                   int32_t font) override;
  int ShapePenWidth(uint32_t shape) const override;
  bool SetShapePenWidth(uint32_t shape, int width) override;
  bool ShapeDeselect(uint32_t shape) override;
  double WorldLeft() const override { return left_; }
  double WorldRight() const override { return right_; }
  double WorldTop() const override { return top_; }
  double WorldBottom() const override { return bottom_; }
  void WorldPan(double dx, double dy) override;
  void WorldZoom(int mode, double percentage, double zoomX, double zoomY) override;
  void WorldExtents() override;
  void Repaint() override { ++repaints_; }
  void SetBackColor(int bgrColor) override { backColor_ = bgrColor; }
  void SetCadFontScale(double scale) override { fontScale_ = scale; }
  void SetCadFontJustify(int justify) override { fontJustify_ = justify; }
  void SetLayerNumber(int layer) override { layerNumber_ = layer; }
  void SetViewMouseTool(int tool) override { mouseTool_ = tool; }
  void SetCadAction(int action) override { cadAction_ = action; }
  bool CadSave(const std::string& file, int layer) override;
  void WaitForSaves() override;
  bool CadLoad(const std::string& file, int layer, int destLayer, int loadType) override;
  bool DXFSave(const std::string& file) override;
  bool DXFLoad(const std::string& file) override;
  std::string LastError() const override { return lastError_; }

 private:
  struct Report {
    bool ok;
    std::string file;
    std::string reason;
  };

  mapcontrol::DrawingModel model_;
  double left_ = -500, right_ = 500, top_ = 500, bottom_ = -500;
  int backColor_ = 0xFFFFFF;
  int layerNumber_ = 0;
  int mouseTool_ = 0;
  int cadAction_ = 0;
  double fontScale_ = 1;
  int fontJustify_ = 0;
  int repaints_ = 0;
  std::string lastError_;
  std::mutex reportsMutex_;
  std::deque<Report> reports_;
  std::unique_ptr<mapcontrol::AsyncProjectSaver> saver_;
};

}  // namespace halvex::navigator
