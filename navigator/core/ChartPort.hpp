// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The chart as the navigation logic uses it: exactly the calls it makes on
// the map control, no more. The program adapts the chart widget (TFlpCAD) to
// it; tests and benchmarks use ModelChart, the same calls over a bare
// DrawingModel with a view rectangle.
//
// Geometry is in world units (grid metres, x east, y north). Layers are
// 16-bit numbers, shapes 32-bit numbers; a missing layer is
// mapcontrol::kNoLayer, on which drawing calls do nothing.

#include <cstdint>
#include <string>
#include <string_view>

namespace halvex::navigator {

class ChartPort {
 public:
  virtual ~ChartPort() = default;

  // --- Layers ---
  // The layer's number, created with the default style when missing.
  virtual uint16_t LayerOpen(std::string_view name) = 0;
  // The existing layer's number, or mapcontrol::kNoLayer.
  virtual uint16_t LayerFindByName(std::string_view name) const = 0;
  // Removes the shapes of one layer, or of every layer for -1.
  virtual void CadClearShapes(int layer) = 0;
  // Removes every layer and shape.
  virtual void CadClearAll() = 0;
  virtual void SetLayerPenFg(uint16_t layer, int bgrColor) = 0;
  virtual void SetLayerPenWidth(uint16_t layer, int width) = 0;
  virtual void SetLayerAction(uint16_t layer, uint32_t action) = 0;

  // --- Shapes --- Each drawing call returns the new shape's number, 0 when
  // nothing was drawn.
  virtual uint32_t DrawLine(double x1, double y1, double x2, double y2, uint16_t layer) = 0;
  virtual uint32_t DrawPoint(double x, double y, uint16_t layer) = 0;
  virtual uint32_t DrawCircle(double cx, double cy, double radius, uint16_t layer) = 0;
  virtual int32_t FontOpen(std::string_view name, double scale) = 0;
  virtual uint32_t TextAdd(uint16_t layer, std::string_view text, double x, double y,
                           int32_t font) = 0;
  // -1 means the shape uses its layer's width (and for no shape).
  virtual int ShapePenWidth(uint32_t shape) const = 0;
  virtual bool SetShapePenWidth(uint32_t shape, int width) = 0;
  virtual bool ShapeDeselect(uint32_t shape) = 0;

  // --- View ---
  virtual double WorldLeft() const = 0;
  virtual double WorldRight() const = 0;
  virtual double WorldTop() const = 0;
  virtual double WorldBottom() const = 0;
  // Moves the view by (dx, dy) world units.
  virtual void WorldPan(double dx, double dy) = 0;
  // Mode 0: a positive percentage p divides the visible size by 1 + p, a
  // negative one multiplies it by 1 + |p|; the zoom point keeps its place.
  virtual void WorldZoom(int mode, double percentage, double zoomX, double zoomY) = 0;
  virtual void WorldExtents() = 0;
  virtual void Repaint() = 0;

  // --- Properties ---
  virtual void SetBackColor(int bgrColor) = 0;
  virtual void SetCadFontScale(double scale) = 0;
  virtual void SetCadFontJustify(int justify) = 0;
  virtual void SetLayerNumber(int layer) = 0;
  virtual void SetViewMouseTool(int tool) = 0;
  virtual void SetCadAction(int action) = 0;

  // --- Files --- Each returns whether it worked; on failure LastError()
  // gives the reason and the drawing is as it was.
  //
  // Starts saving every layer (layer -1) to the project file in the
  // background. True when the save was started: its outcome arrives later
  // through Navigator::SaveFinished(ok, file, reason), on the thread that
  // owns the chart. False when it could not start (then no report follows).
  virtual bool CadSave(const std::string& file, int layer) = 0;
  // Blocks until every save asked for has ended and its outcome has been
  // passed to Navigator::SaveFinished.
  virtual void WaitForSaves() = 0;
  // Layer -1, destination -1, type 0: replaces the drawing with the file's.
  virtual bool CadLoad(const std::string& file, int layer, int destLayer, int loadType) = 0;
  virtual bool DXFSave(const std::string& file) = 0;
  // Replaces the drawing with the DXF file's.
  virtual bool DXFLoad(const std::string& file) = 0;
  virtual std::string LastError() const = 0;
};

}  // namespace halvex::navigator
