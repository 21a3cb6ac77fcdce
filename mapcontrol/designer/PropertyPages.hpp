// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>

#include "mapcontrol/FlpCad.hpp"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace halvex::mapcontrol {

// Small editors for a chart's drawing, offered in Qt Designer beside the chart
// widget. Each is bound to one TFlpCAD and keeps no state of its own: every
// value shown is read from the target's model, and every edit is written to
// it at once. Without a target (or once the target is gone) the pages show
// nothing and edits do nothing.

// Fills `combo` with the target's layers as "number: name", the item data
// being the layer number; keeps the current layer when it still exists.
void FillLayerChooser(QComboBox* combo, const TFlpCAD* target);

// What the pages share: the chart they edit. Code sets it with SetTarget; a
// form names it with the ChartName property, the object name of a chart in
// the same window (the form). The name is looked up when the property
// changes and again each time the page is shown, so the chart may come after
// the page in the form; a name that finds no chart leaves the page without a
// target. The page follows the chart's change signals, so it shows what
// other code or the mouse did to the drawing.
class TChartPage : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString ChartName READ ChartName WRITE SetChartName)

 public:
  explicit TChartPage(QWidget* parent = nullptr);

  void SetTarget(TFlpCAD* target);
  TFlpCAD* Target() const { return target_; }

  const QString& ChartName() const { return chart_name_; }
  void SetChartName(const QString& name);
  // The setter by Qt's naming, for code that uic generates.
  void setChartName(const QString& name) { SetChartName(name); }

 protected:
  void showEvent(QShowEvent* event) override;
  // Shows the target's state again: after a new target and after each
  // change the target reports.
  virtual void TargetChanged() = 0;

  QPointer<TFlpCAD> target_;

 private:
  void FindChart();

  QString chart_name_;
  QList<QMetaObject::Connection> links_;
};

// The action bits of one layer: visible, selectable, editable, snappable.
class TLayerActionPage : public TChartPage {
  Q_OBJECT

 public:
  explicit TLayerActionPage(QWidget* parent = nullptr);

  // Re-reads the layer list and the current layer's bits.
  void Refresh();

  // The layer being edited, kNoLayer when there is none.
  uint16_t CurrentLayer() const;
  bool SelectLayer(uint16_t layer);
  // The bits as the check boxes show them.
  uint32_t ActionBits() const;
  // Sets the check boxes and writes the bits to the current layer.
  void SetActionBits(uint32_t bits);

  QComboBox* LayerChooser() const { return layers_; }
  QCheckBox* VisibleBox() const { return visible_; }
  QCheckBox* SelectableBox() const { return selectable_; }
  QCheckBox* EditableBox() const { return editable_; }
  QCheckBox* SnappableBox() const { return snappable_; }

 protected:
  void TargetChanged() override;

 private:
  void LoadLayer();
  void ShowBits(uint32_t bits);
  void Apply();

  QComboBox* layers_;
  QCheckBox* visible_;
  QCheckBox* selectable_;
  QCheckBox* editable_;
  QCheckBox* snappable_;
  bool loading_ = false;
};

// The pen (colour and width) and brush (colour and style) of one layer.
// Colours are 0xBBGGRR integers, as the model keeps them. A brush colour set
// on a layer without a brush gives it a solid one. The style chooser lists
// "None", "Solid" and the hatches, its item data being the BrushStyle code.
class TBrushPage : public TChartPage {
  Q_OBJECT

 public:
  explicit TBrushPage(QWidget* parent = nullptr);

  void Refresh();

  uint16_t CurrentLayer() const;
  bool SelectLayer(uint16_t layer);

  int PenColor() const { return pen_color_; }
  int PenWidth() const;
  int BrushColor() const { return brush_color_; }
  // The style the chooser shows.
  BrushStyle BrushStyleShown() const;
  void SetPenColor(int bgr);
  void SetPenWidth(int width);
  void SetBrushColor(int bgr);
  void SetBrushStyle(BrushStyle style);

  QComboBox* LayerChooser() const { return layers_; }
  QSpinBox* PenWidthBox() const { return pen_width_; }
  QPushButton* PenColorButton() const { return pen_button_; }
  QPushButton* BrushColorButton() const { return brush_button_; }
  QComboBox* BrushStyleChooser() const { return brush_style_; }

 protected:
  void TargetChanged() override;

 private:
  void LoadLayer();
  void ShowColors();
  void ShowBrushStyle(BrushStyle style);
  void ChoosePenColor();
  void ChooseBrushColor();

  QComboBox* layers_;
  QPushButton* pen_button_;
  QSpinBox* pen_width_;
  QPushButton* brush_button_;
  QComboBox* brush_style_;
  int pen_color_ = kDefaultPenColor;
  int brush_color_ = kDefaultBrushColor;
  bool loading_ = false;
};

// Finds a layer by its exact name.
class TLayerSearchPage : public TChartPage {
  Q_OBJECT

 public:
  explicit TLayerSearchPage(QWidget* parent = nullptr);

  // Looks the name up, shows the result and returns the layer's number, or
  // kNoLayer.
  uint16_t Search(const QString& name);
  uint16_t Found() const { return found_; }
  QString ResultText() const;

  QLineEdit* NameEdit() const { return name_; }
  QLabel* ResultLabel() const { return result_; }

 protected:
  void TargetChanged() override;

 private:
  QLineEdit* name_;
  QLabel* result_;
  uint16_t found_ = kNoLayer;
};

// Name of a shape kind as the pages show it ("line", "point", ...).
QString ShapeKindName(ShapeKind kind);

// The general properties of one shape: kind and layer (shown), pen width and
// selection (edited). Pen width -1 means the layer's pen width.
class TShapeGeneralPage : public TChartPage {
  Q_OBJECT

 public:
  explicit TShapeGeneralPage(QWidget* parent = nullptr);

  // Shows shape `number`; false (and empty fields) when there is no such shape.
  bool LoadShape(uint32_t number);
  uint32_t Shape() const { return shape_; }
  QString KindText() const;
  QString LayerText() const;
  int PenWidth() const;
  bool Selected() const;
  bool SetPenWidth(int width);
  bool SetSelected(bool selected);

  QSpinBox* NumberBox() const { return number_; }
  QSpinBox* PenWidthBox() const { return pen_width_; }
  QCheckBox* SelectedBox() const { return selected_; }

 protected:
  void TargetChanged() override;

 private:
  void Show();

  QSpinBox* number_;
  QLabel* kind_;
  QLabel* layer_;
  QSpinBox* pen_width_;
  QCheckBox* selected_;
  uint32_t shape_ = 0;
  bool loading_ = false;
};

// The coordinates of a point shape. They are shown only: the drawing model
// has no operation that moves a shape yet.
class TShapePointPage : public TChartPage {
  Q_OBJECT

 public:
  explicit TShapePointPage(QWidget* parent = nullptr);

  // Shows point shape `number`; false (and empty fields) when there is no
  // such shape or it is not a point.
  bool LoadShape(uint32_t number);
  uint32_t Shape() const { return shape_; }
  QString XText() const;
  QString YText() const;
  // Moves the point to the coordinates in the fields (metres, full stop as
  // decimal separator). False, with the reason in ErrorText() and the point
  // where it was, when a field is not a number or no point is shown.
  bool Move();
  QString ErrorText() const;

  QSpinBox* NumberBox() const { return number_; }
  QLineEdit* XEdit() const { return x_; }
  QLineEdit* YEdit() const { return y_; }
  QPushButton* MoveButton() const { return move_; }

 protected:
  void TargetChanged() override;

 private:
  QSpinBox* number_;
  QLineEdit* x_;
  QLineEdit* y_;
  QPushButton* move_;
  QLabel* error_;
  uint32_t shape_ = 0;
};

}  // namespace halvex::mapcontrol
