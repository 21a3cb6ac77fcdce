// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QPoint>
#include <QPointF>
#include <QWidget>

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "appkit/BgrColor.hpp"
#include "mapcontrol/ChartCache.hpp"
#include "mapcontrol/ChartFurniture.hpp"
#include "mapcontrol/ChartRenderer.hpp"
#include "mapcontrol/DrawingModel.hpp"
#include "mapcontrol/DrawingTools.hpp"
#include "mapcontrol/DxfFile.hpp"
#include "mapcontrol/ProjectSaver.hpp"

class QEvent;
class QKeyEvent;
class QMouseEvent;
class QPaintEvent;
class QPainter;
class QResizeEvent;
class QWheelEvent;

namespace halvex::mapcontrol {

// Colour of a 0xBBGGRR integer (the layers' and the background's form).
inline QColor BgrToQColor(int bgr) { return appkit::QColorFromBgr(bgr); }

// Mouse tools (ViewMouseTool). Positive codes are the drawing tools of
// DrawingTools; other codes do nothing.
inline constexpr int kToolSelect = -1;       // click picks the nearest shape
inline constexpr int kToolPan = -2;          // drag moves the drawing
inline constexpr int kToolWindowZoom = -3;   // drag a rectangle to fill the view
inline constexpr int kToolDynamicZoom = -4;  // drag up zooms in, down zooms out

// Button codes of OnWorldMouseDown.
inline constexpr int kButtonLeft = 0;
inline constexpr int kButtonRight = 1;
inline constexpr int kButtonMiddle = 2;
inline constexpr int kButtonOther = -1;

// Bits of the `shift` argument of the mouse signals.
inline constexpr int kShiftShift = 1;
inline constexpr int kShiftAlt = 2;
inline constexpr int kShiftCtrl = 4;
inline constexpr int kShiftLeft = 8;
inline constexpr int kShiftRight = 16;
inline constexpr int kShiftMiddle = 32;

// Pick tolerance of the select tool, in pixels.
inline constexpr double kPickPixels = 5.0;

// Dynamic zoom: dragging this many pixels doubles or halves the scale.
inline constexpr double kDynamicZoomPixelsPerDoubling = 100.0;

// The chart widget: a DrawingModel shown in a window on the world (grid
// metres, x east, y north, north up). The view is kept as the world point at
// the widget's centre and the world units per pixel, the same along both axes;
// a resize keeps both, so the drawing neither moves nor stretches.
//
// Text: TextAdd gives the text the current CadFontScale and CadFontJustify.
// CadFontScale 0 draws it at a fixed size on the screen, the font's scale
// times kScreenTextPixelsPerScale pixels high, whatever the zoom; a positive
// CadFontScale makes it the font's scale times CadFontScale world units high,
// so it grows and shrinks with the chart. CadFontJustify places the anchor
// (see TextJustify in DrawingModel.hpp: 0 at the start of the baseline, 1
// centred above the point, 4 centred on it).
//
// Keyboard (when the chart has focus): arrow keys pan by a tenth of the view
// (a half with Shift), + and - (or Page Up and Page Down) zoom by 20 % about
// the centre, Home shows the whole drawing, Escape stops a drag or the shape
// being drawn; Enter and Backspace go to the drawing tool.
//
// The drawing tools snap to the nearest snap point (DrawingModel::Snap)
// within kPickPixels of the cursor on layers with kActionSnappable; holding
// Ctrl places the point freely.
//
// Colours: every 0xBBGGRR integer setter has a QColor overload, and every
// such getter a twin returning QColor (BackQColor, LayerPenFgQColor, ...).
// An invalid QColor is refused and changes nothing.
//
// Change signals: viewChanged after every change of the window on the world
// (pan, zoom, resize, the mouse and key tools); selectionChanged when a
// shape's selection flips through this widget (the select tool, ShapeSelect,
// ShapeDeselect); layerAdded, layerStyleChanged and layerCleared for one
// layer, drawingReplaced when the whole drawing was replaced or emptied
// (CadClearAll, CadLoad replacing, DXFLoad). Each fires once per change and
// not for a call that changes nothing. Shapes that go away with a clear or a
// replacement are not reported one by one through selectionChanged.
class TFlpCAD : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int BackColor READ BackColor WRITE SetBackColor)
  Q_PROPERTY(double WorldLeft READ WorldLeft NOTIFY viewChanged)
  Q_PROPERTY(double WorldRight READ WorldRight NOTIFY viewChanged)
  Q_PROPERTY(double WorldTop READ WorldTop NOTIFY viewChanged)
  Q_PROPERTY(double WorldBottom READ WorldBottom NOTIFY viewChanged)
  // A layer number means something only for a drawing at run time: forms
  // do not store it.
  Q_PROPERTY(int LayerNumber READ LayerNumber WRITE SetLayerNumber DESIGNABLE false STORED false)
  // Typed as the enumeration so that Designer lists the tools by name; an
  // integer (as older forms and callers store it) is accepted too.
  Q_PROPERTY(MouseTool ViewMouseTool READ MouseToolValue WRITE SetMouseToolValue)
  Q_PROPERTY(int CadAction READ CadAction WRITE SetCadAction)
  Q_PROPERTY(double CadFontScale READ CadFontScale WRITE SetCadFontScale)
  Q_PROPERTY(int CadFontJustify READ CadFontJustify WRITE SetCadFontJustify)
  // A font handle of the drawing, meaningful only at run time like
  // LayerNumber.
  Q_PROPERTY(int CadFont READ CadFont WRITE SetCadFont DESIGNABLE false STORED false)
  // Chart furniture, each off by default: a scale bar with the scale 1:N at
  // the screen's physical resolution, a grid north arrow, the cursor's
  // easting and northing, a grid of round eastings and northings under the
  // drawing, and decluttered texts at overview scales.
  Q_PROPERTY(bool ShowScaleBar READ ShowScaleBar WRITE SetShowScaleBar)
  Q_PROPERTY(bool ShowNorthArrow READ ShowNorthArrow WRITE SetShowNorthArrow)
  Q_PROPERTY(bool ShowCursorReadout READ ShowCursorReadout WRITE SetShowCursorReadout)
  Q_PROPERTY(bool ShowGrid READ ShowGrid WRITE SetShowGrid)
  Q_PROPERTY(bool DeclutterTexts READ DeclutterTexts WRITE SetDeclutterTexts)
  // 0 day, 1 dusk, 2 night (see ColorScheme); other values read as day.
  Q_PROPERTY(int ColorScheme READ ColorSchemeCode WRITE SetColorScheme)

 public:
  // The mouse tools by name, with the codes of ViewMouseTool.
  enum MouseTool {
    DynamicZoomTool = kToolDynamicZoom,
    WindowZoomTool = kToolWindowZoom,
    PanTool = kToolPan,
    SelectTool = kToolSelect,
    NoTool = 0,
    PointTool = DrawingTools::kPoint,
    LineTool = DrawingTools::kLine,
    PolylineTool = DrawingTools::kPolyline,
    PolygonTool = DrawingTools::kPolygon,
    RectangleTool = DrawingTools::kRectangle,
    CircleCentreTool = DrawingTools::kCircleCentre,
    Circle3PointsTool = DrawingTools::kCircle3Points,
    Arc3PointsTool = DrawingTools::kArc3Points,
    TextTool = DrawingTools::kText,
    MeasureTool = DrawingTools::kMeasure,
    PointByCoordinatesTool = DrawingTools::kPointByCoordinates,
  };
  Q_ENUM(MouseTool)

  explicit TFlpCAD(QWidget* parent = nullptr);
  ~TFlpCAD() override;

  DrawingModel& Model() { return model_; }
  const DrawingModel& Model() const { return model_; }

  // --- Drawing, forwarded to the model; each repaints. ---
  uint16_t LayerOpen(std::string_view name);
  uint16_t LayerFindByName(std::string_view name) const;
  void CadClearShapes(int layer);
  void CadClearAll();
  uint32_t DrawLine(double x1, double y1, double x2, double y2, uint16_t layer);
  uint32_t DrawPoint(double x, double y, uint16_t layer);
  uint32_t DrawCircle(double cx, double cy, double r, uint16_t layer);
  uint32_t DrawPolyline(const std::vector<PointXY>& points, bool closed, uint16_t layer);
  uint32_t DrawArc(double cx, double cy, double r, double start_deg, double end_deg,
                   uint16_t layer);
  int32_t FontOpen(std::string_view name, double scale);
  uint32_t TextAdd(uint16_t layer, std::string_view text, double x, double y, int32_t font);
  // The per-layer style: read with the plain name, written with Set. Each
  // setter emits layerStyleChanged when the value changed.
  int LayerPenFg(uint16_t layer) const { return model_.LayerPenColor(layer); }
  QColor LayerPenFgQColor(uint16_t layer) const { return BgrToQColor(LayerPenFg(layer)); }
  int LayerPenWidth(uint16_t layer) const { return model_.LayerPenWidth(layer); }
  int LayerBrushColor(uint16_t layer) const { return model_.LayerBrushColor(layer); }
  QColor LayerBrushQColor(uint16_t layer) const { return BgrToQColor(LayerBrushColor(layer)); }
  BrushStyle LayerBrushStyle(uint16_t layer) const { return model_.LayerBrushStyle(layer); }
  uint32_t LayerAction(uint16_t layer) const { return model_.LayerAction(layer); }
  void SetLayerPenFg(uint16_t layer, int color);
  void SetLayerPenFg(uint16_t layer, const QColor& color);
  void SetLayerPenWidth(uint16_t layer, int width);
  void SetLayerBrushColor(uint16_t layer, int color);
  void SetLayerBrushColor(uint16_t layer, const QColor& color);
  // Styles beyond the known ones are ignored.
  void SetLayerBrushStyle(uint16_t layer, BrushStyle style);
  void SetLayerAction(uint16_t layer, uint32_t action);
  int ShapePenWidth(uint32_t shape) const;
  bool SetShapePenWidth(uint32_t shape, int width);
  // Select and deselect a shape; true when the shape exists. selectionChanged
  // follows when the flag flipped.
  bool ShapeSelect(uint32_t shape);
  bool ShapeDeselect(uint32_t shape);
  bool MovePoint(uint32_t shape, double x, double y);

  // --- Files --- Each returns whether it worked; on failure LastError()
  // gives the reason and the drawing is as it was.
  // Saves the project file of every layer (layer -1) or of one layer. The
  // drawing is copied at once and written on a worker thread, so the chart
  // does not stall; CadSaveFinished reports the outcome when the write has
  // ended. False (no write, no signal) only for an unknown layer.
  bool CadSave(const QString& file_name, int layer);
  // Waits until every save asked for has been written (and reported).
  void WaitForSaves();
  bool SavesPending() const;
  // Layer -1, destination -1 and load type 0 replace the drawing with the
  // file's (the layers keep the numbers they were saved with). Load type 1
  // adds the file's shapes to the drawing instead, into layers found or
  // opened by name; a layer number >= 0 takes only that layer of the file,
  // and a destination >= 0 puts everything into that layer of the drawing.
  bool CadLoad(const QString& file_name, int layer, int dest_layer, int load_type);
  bool DXFSave(const QString& file_name);
  // Replaces the drawing with the DXF file's; LastDxfReport() tells what was
  // read and which entities were left out.
  bool DXFLoad(const QString& file_name);
  const QString& LastError() const { return last_error_; }
  const DxfLoadReport& LastDxfReport() const { return dxf_report_; }

  // --- View ---
  double WorldLeft() const;
  double WorldRight() const;
  double WorldTop() const;
  double WorldBottom() const;
  double WorldUnitsPerPixel() const { return units_per_pixel_; }
  // Moves the window on the world by (dx, dy) world units: WorldLeft grows by
  // dx and WorldTop by dy.
  void WorldPan(double dx, double dy);
  // Mode 0: a positive `percentage` p zooms in, dividing the visible width and
  // height by (1 + p); a negative one zooms out, multiplying them by (1 + |p|).
  // So +p followed by -p gives back the same view. The world point
  // (zoom_x, zoom_y) keeps its place on the screen. Other modes, 0 and
  // non-finite values do nothing.
  void WorldZoom(int mode, double percentage, double zoom_x, double zoom_y);
  // Shows the whole drawing with a margin of 5 % of its size on each side; an
  // empty drawing keeps the view, a drawing of a single point is centred.
  void WorldExtents();
  // Sets the view so that the world rectangle fills the window as far as the
  // square aspect allows, centred.
  void WorldWindow(double left, double top, double right, double bottom);

  // Screen and world coordinates of the current view.
  QPointF WorldToScreen(double x, double y) const;
  PointXY ScreenToWorld(QPointF p) const;

  // --- Properties ---
  int BackColor() const { return back_color_; }
  QColor BackQColor() const { return BgrToQColor(back_color_); }
  void SetBackColor(int bgr);
  void SetBackColor(const QColor& color);
  int LayerNumber() const { return layer_number_; }
  void SetLayerNumber(int layer);
  int ViewMouseTool() const { return mouse_tool_; }
  void SetViewMouseTool(int tool);
  MouseTool MouseToolValue() const { return static_cast<MouseTool>(mouse_tool_); }
  void SetMouseToolValue(MouseTool tool) { SetViewMouseTool(static_cast<int>(tool)); }
  int CadAction() const { return cad_action_; }
  void SetCadAction(int action) { cad_action_ = action; }
  // The text style of TextAdd and of the text and measuring tools.
  double CadFontScale() const { return cad_font_scale_; }
  void SetCadFontScale(double scale);
  int CadFontJustify() const { return cad_font_justify_; }
  void SetCadFontJustify(int justify);
  // The font of the text and measuring tools: 0 (the chart's default font) or
  // a handle of FontOpen; any other handle is refused and the property keeps
  // its value.
  int CadFont() const { return tools_.FontHandle(); }
  void SetCadFont(int font);
  // The setters by Qt's naming, which code that uic generates from a form
  // calls for the properties set in Qt Designer.
  void setBackColor(int bgr) { SetBackColor(bgr); }
  void setLayerNumber(int layer) { SetLayerNumber(layer); }
  void setViewMouseTool(int tool) { SetViewMouseTool(tool); }
  void setViewMouseTool(MouseTool tool) { SetViewMouseTool(static_cast<int>(tool)); }
  void setCadAction(int action) { SetCadAction(action); }
  void setCadFontScale(double scale) { SetCadFontScale(scale); }
  void setCadFontJustify(int justify) { SetCadFontJustify(justify); }
  void setCadFont(int font) { SetCadFont(font); }

  // --- Furniture and colours ---
  bool ShowScaleBar() const { return furniture_.scale_bar; }
  void SetShowScaleBar(bool on);
  bool ShowNorthArrow() const { return furniture_.north_arrow; }
  void SetShowNorthArrow(bool on);
  bool ShowCursorReadout() const { return furniture_.readout; }
  void SetShowCursorReadout(bool on);
  bool ShowGrid() const { return furniture_.grid; }
  void SetShowGrid(bool on);
  bool DeclutterTexts() const { return declutter_; }
  void SetDeclutterTexts(bool on);
  int ColorSchemeCode() const { return static_cast<int>(furniture_.scheme); }
  void SetColorScheme(int code);
  // Every piece of furniture on or off at once.
  void SetAllFurniture(bool on);
  void setShowScaleBar(bool on) { SetShowScaleBar(on); }
  void setShowNorthArrow(bool on) { SetShowNorthArrow(on); }
  void setShowCursorReadout(bool on) { SetShowCursorReadout(on); }
  void setShowGrid(bool on) { SetShowGrid(on); }
  void setDeclutterTexts(bool on) { SetDeclutterTexts(on); }
  void setColorScheme(int code) { SetColorScheme(code); }

  // The picture of the drawing is kept between paints and only what changed
  // is repainted (see ChartCache); this repaints all of it at the next paint.
  void RepaintAll();
  const ChartCache& Cache() const { return cache_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  // The cursor's world position; magnitude and angle are the distance and the
  // bearing (degrees clockwise from north, 0 to 360) from the last mouse-down
  // point, both 0 before the first press.
  void OnWorldMouseMove(int shift, double x, double y, double magnitude, double angle);
  void OnWorldMouseDown(int button, int shift, int action, double x, double y);
  void OnShapeNumberSelected(int shapeType, int shapeNumber);
  // A save of CadSave has ended: written, or failed for `reason`, with the
  // file as it was before.
  void CadSaveFinished(bool ok, const QString& file_name, const QString& reason);
  // A drawing tool drew a shape on LayerNumber.
  void OnShapeAdded(int shapeType, int shapeNumber);
  // The measuring tool measured from its first point to its second: the
  // distance in world units and the grid bearing in degrees clockwise from
  // grid north, 0 to below 360.
  void measured(double distance, double bearing);

  // Change signals (see the class comment).
  void viewChanged();
  void selectionChanged(quint32 shape, bool selected);
  void layerAdded(int layer);
  void layerStyleChanged(int layer);
  // The shapes of `layer` were removed; -1 for the shapes of every layer.
  void layerCleared(int layer);
  void drawingReplaced();

 public:
  // How the drawing tools ask the user for text (the text tool, points by
  // coordinates). By default a Qt input dialog; tests answer it themselves.
  void SetTextPrompt(DrawingTools::TextPrompt prompt);
  // The drawing tools; their font and text style follow CadFont,
  // CadFontScale and CadFontJustify.
  DrawingTools& Tools() { return tools_; }
  const DrawingTools& Tools() const { return tools_; }
  const ChartRenderer& Renderer() const { return renderer_; }
  // The drawing tool's prompt for a status bar; empty when no tool is busy.
  QString ToolHint() const { return QString::fromStdString(tools_.Hint()); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  // Sets the view and emits viewChanged when it moved.
  void SetView(double center_x, double center_y, double units_per_pixel);
  // Flips the selection of `shape` and reports it.
  void ToggleSelection(uint32_t shape);
  template <typename Get, typename Set>
  void ChangeLayerStyle(uint16_t layer, Get get, Set set);
  double HalfWidthPixels() const;
  double HalfHeightPixels() const;
  ViewTransform Transform() const;
  double DotsPerInch() const;
  void SetScaleAbout(double units_per_pixel, PointXY fixed, QPointF fixed_screen);
  void PaintPreview(QPainter& painter) const;
  void PaintPreviewText(QPainter& painter, const ShapeData& text) const;
  bool ToolActive() const { return mouse_tool_ > 0; }
  // Where a drawing tool puts a point for the cursor at `pos`: the nearest
  // snap point within kPickPixels, unless Ctrl is held.
  PointXY ToolPoint(QPointF pos, Qt::KeyboardModifiers modifiers) const;

  DrawingModel model_;
  DrawingTools tools_{model_};
  ChartRenderer renderer_;
  ChartCache cache_;
  FurnitureOptions furniture_;
  FurnitureTexts furniture_texts_;
  bool declutter_ = false;
  QString last_error_;
  DxfLoadReport dxf_report_;
  // Last, so that it is destroyed first: it writes what is still queued.
  std::unique_ptr<AsyncProjectSaver> saver_;
  double center_x_ = 0;
  double center_y_ = 0;
  double units_per_pixel_ = 1;

  int back_color_ = 0xFFFFFF;
  int layer_number_ = 0;
  int mouse_tool_ = kToolSelect;
  int cad_action_ = 0;
  double cad_font_scale_ = 1;
  int cad_font_justify_ = 0;

  // Last mouse-down point in world units, for OnWorldMouseMove.
  bool have_down_ = false;
  PointXY down_world_;
  // Dragging with the pan or window-zoom tool.
  bool dragging_ = false;
  QPointF drag_start_;       // screen
  QPointF drag_current_;     // screen
  PointXY drag_world_;       // world point grabbed by the pan tool
  double drag_scale_ = 1;    // units per pixel when the dynamic zoom began
  bool middle_pan_ = false;  // the middle button is down: panning
  PointXY middle_world_;     // world point grabbed by the middle button
};

}  // namespace halvex::mapcontrol
