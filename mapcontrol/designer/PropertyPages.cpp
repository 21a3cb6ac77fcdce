// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapcontrol/designer/PropertyPages.hpp"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>

#include <climits>
#include <cmath>
#include <string>
#include <utility>

namespace halvex::mapcontrol {
namespace {

void ShowColor(QPushButton* button, int bgr) {
  const QColor c = BgrToQColor(bgr);
  button->setText(c.name());
  button->setStyleSheet(QStringLiteral("background-color: %1").arg(c.name()));
}

uint16_t ChosenLayer(const QComboBox* combo, const TFlpCAD* target) {
  if (target == nullptr || combo->currentIndex() < 0) return kNoLayer;
  const auto layer = static_cast<uint16_t>(combo->currentData().toUInt());
  return target->Model().LayerExists(layer) ? layer : kNoLayer;
}

bool ChooseLayer(QComboBox* combo, uint16_t layer) {
  const int index = combo->findData(static_cast<uint>(layer));
  if (index < 0) return false;
  combo->setCurrentIndex(index);
  return true;
}

QSpinBox* ShapeNumberBox(QWidget* parent) {
  auto* box = new QSpinBox(parent);
  box->setRange(0, INT_MAX);
  box->setToolTip(QStringLiteral("Shape number; 0: no shape"));
  return box;
}

}  // namespace

void FillLayerChooser(QComboBox* combo, const TFlpCAD* target) {
  const QVariant current = combo->currentData();
  combo->clear();
  if (target == nullptr) return;
  const DrawingModel& model = target->Model();
  for (size_t i = 0; i < model.LayerCount(); ++i) {
    const auto layer = static_cast<uint16_t>(i);
    combo->addItem(
        QStringLiteral("%1: %2").arg(layer).arg(QString::fromStdString(model.LayerName(layer))),
        static_cast<uint>(layer));
  }
  const int index = current.isValid() ? combo->findData(current) : -1;
  combo->setCurrentIndex(index >= 0 ? index : (combo->count() > 0 ? 0 : -1));
}

// ------------------------------------------------------------ chart link

TChartPage::TChartPage(QWidget* parent) : QWidget(parent) {}

void TChartPage::SetTarget(TFlpCAD* target) {
  for (const QMetaObject::Connection& link : links_) disconnect(link);
  links_.clear();
  target_ = target;
  if (target != nullptr) {
    const auto changed = [this] { TargetChanged(); };
    links_ = {
        connect(target, &TFlpCAD::layerAdded, this, changed),
        connect(target, &TFlpCAD::layerStyleChanged, this, changed),
        connect(target, &TFlpCAD::layerCleared, this, changed),
        connect(target, &TFlpCAD::drawingReplaced, this, changed),
        connect(target, &TFlpCAD::selectionChanged, this, changed),
    };
  }
  TargetChanged();
}

void TChartPage::SetChartName(const QString& name) {
  chart_name_ = name;
  FindChart();
}

void TChartPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FindChart();
}

void TChartPage::FindChart() {
  if (chart_name_.isEmpty()) return;
  QWidget* top = window();
  auto* chart = top->objectName() == chart_name_ ? qobject_cast<TFlpCAD*>(top) : nullptr;
  if (chart == nullptr) chart = top->findChild<TFlpCAD*>(chart_name_);
  if (chart != target_) SetTarget(chart);
}

// ------------------------------------------------------------ layer action

TLayerActionPage::TLayerActionPage(QWidget* parent)
    : TChartPage(parent),
      layers_(new QComboBox(this)),
      visible_(new QCheckBox(QStringLiteral("Visible"), this)),
      selectable_(new QCheckBox(QStringLiteral("Selectable"), this)),
      editable_(new QCheckBox(QStringLiteral("Editable"), this)),
      snappable_(new QCheckBox(QStringLiteral("Snappable"), this)) {
  auto* form = new QFormLayout(this);
  form->addRow(QStringLiteral("Layer"), layers_);
  form->addRow(visible_);
  form->addRow(selectable_);
  form->addRow(editable_);
  form->addRow(snappable_);
  connect(layers_, &QComboBox::currentIndexChanged, this, [this] { LoadLayer(); });
  for (QCheckBox* box : {visible_, selectable_, editable_, snappable_}) {
    connect(box, &QCheckBox::toggled, this, [this] { Apply(); });
  }
  LoadLayer();
}

void TLayerActionPage::TargetChanged() { Refresh(); }

void TLayerActionPage::Refresh() {
  loading_ = true;
  FillLayerChooser(layers_, target_);
  loading_ = false;
  LoadLayer();
}

uint16_t TLayerActionPage::CurrentLayer() const { return ChosenLayer(layers_, target_); }

bool TLayerActionPage::SelectLayer(uint16_t layer) { return ChooseLayer(layers_, layer); }

uint32_t TLayerActionPage::ActionBits() const {
  uint32_t bits = 0;
  if (visible_->isChecked()) bits |= kActionVisible;
  if (selectable_->isChecked()) bits |= kActionSelectable;
  if (editable_->isChecked()) bits |= kActionEditable;
  if (snappable_->isChecked()) bits |= kActionSnappable;
  return bits;
}

void TLayerActionPage::SetActionBits(uint32_t bits) {
  ShowBits(bits);
  Apply();
}

void TLayerActionPage::LoadLayer() {
  if (loading_) return;
  const uint16_t layer = CurrentLayer();
  const bool have = layer != kNoLayer;
  for (QCheckBox* box : {visible_, selectable_, editable_, snappable_}) box->setEnabled(have);
  ShowBits(have ? target_->Model().LayerAction(layer) : 0);
}

void TLayerActionPage::ShowBits(uint32_t bits) {
  loading_ = true;
  visible_->setChecked((bits & kActionVisible) != 0);
  selectable_->setChecked((bits & kActionSelectable) != 0);
  editable_->setChecked((bits & kActionEditable) != 0);
  snappable_->setChecked((bits & kActionSnappable) != 0);
  loading_ = false;
}

void TLayerActionPage::Apply() {
  if (loading_) return;
  const uint16_t layer = CurrentLayer();
  if (layer == kNoLayer) return;
  // Bits beyond the four known ones are kept as they are.
  const uint32_t others = target_->Model().LayerAction(layer) & ~kActionAll;
  target_->SetLayerAction(layer, others | ActionBits());
}

// ------------------------------------------------------------ pen and brush

TBrushPage::TBrushPage(QWidget* parent)
    : TChartPage(parent),
      layers_(new QComboBox(this)),
      pen_button_(new QPushButton(this)),
      pen_width_(new QSpinBox(this)),
      brush_button_(new QPushButton(this)),
      brush_style_(new QComboBox(this)) {
  pen_width_->setRange(0, 100);
  const std::pair<BrushStyle, const char*> styles[] = {
      {BrushStyle::kNone, "None"},
      {BrushStyle::kSolid, "Solid"},
      {BrushStyle::kHorizontal, "Horizontal lines"},
      {BrushStyle::kVertical, "Vertical lines"},
      {BrushStyle::kForwardDiagonal, "Rising diagonals"},
      {BrushStyle::kBackwardDiagonal, "Falling diagonals"},
      {BrushStyle::kCross, "Cross hatch"},
      {BrushStyle::kDiagonalCross, "Diagonal cross hatch"},
  };
  for (const auto& [style, name] : styles) {
    brush_style_->addItem(QString::fromLatin1(name), static_cast<int>(style));
  }
  auto* form = new QFormLayout(this);
  form->addRow(QStringLiteral("Layer"), layers_);
  form->addRow(QStringLiteral("Pen colour"), pen_button_);
  form->addRow(QStringLiteral("Pen width"), pen_width_);
  form->addRow(QStringLiteral("Brush colour"), brush_button_);
  form->addRow(QStringLiteral("Brush style"), brush_style_);
  connect(layers_, &QComboBox::currentIndexChanged, this, [this] { LoadLayer(); });
  connect(pen_width_, &QSpinBox::valueChanged, this, [this](int width) {
    if (!loading_) SetPenWidth(width);
  });
  connect(pen_button_, &QPushButton::clicked, this, [this] { ChoosePenColor(); });
  connect(brush_button_, &QPushButton::clicked, this, [this] { ChooseBrushColor(); });
  connect(brush_style_, &QComboBox::currentIndexChanged, this, [this] {
    if (!loading_) SetBrushStyle(BrushStyleShown());
  });
  LoadLayer();
}

void TBrushPage::TargetChanged() { Refresh(); }

void TBrushPage::Refresh() {
  loading_ = true;
  FillLayerChooser(layers_, target_);
  loading_ = false;
  LoadLayer();
}

uint16_t TBrushPage::CurrentLayer() const { return ChosenLayer(layers_, target_); }

bool TBrushPage::SelectLayer(uint16_t layer) { return ChooseLayer(layers_, layer); }

int TBrushPage::PenWidth() const { return pen_width_->value(); }

void TBrushPage::SetPenColor(int bgr) {
  const uint16_t layer = CurrentLayer();
  if (layer == kNoLayer) return;
  target_->SetLayerPenFg(layer, bgr);
  pen_color_ = target_->Model().LayerPenColor(layer);
  ShowColors();
}

void TBrushPage::SetPenWidth(int width) {
  const uint16_t layer = CurrentLayer();
  if (layer == kNoLayer) return;
  target_->SetLayerPenWidth(layer, width);
  loading_ = true;
  pen_width_->setValue(target_->Model().LayerPenWidth(layer));
  loading_ = false;
}

void TBrushPage::SetBrushColor(int bgr) {
  const uint16_t layer = CurrentLayer();
  if (layer == kNoLayer) return;
  // Choosing a colour for a layer without a brush fills its closed shapes.
  if (target_->LayerBrushStyle(layer) == BrushStyle::kNone) {
    target_->SetLayerBrushStyle(layer, BrushStyle::kSolid);
  }
  target_->SetLayerBrushColor(layer, bgr);
  brush_color_ = target_->Model().LayerBrushColor(layer);
  ShowColors();
  ShowBrushStyle(target_->LayerBrushStyle(layer));
}

BrushStyle TBrushPage::BrushStyleShown() const {
  const int code = brush_style_->currentData().toInt();
  return code >= 0 && code <= kBrushStyleMax ? static_cast<BrushStyle>(code) : BrushStyle::kNone;
}

void TBrushPage::SetBrushStyle(BrushStyle style) {
  const uint16_t layer = CurrentLayer();
  if (layer == kNoLayer) return;
  target_->SetLayerBrushStyle(layer, style);
  ShowBrushStyle(target_->LayerBrushStyle(layer));
}

void TBrushPage::ShowBrushStyle(BrushStyle style) {
  loading_ = true;
  brush_style_->setCurrentIndex(brush_style_->findData(static_cast<int>(style)));
  loading_ = false;
}

void TBrushPage::LoadLayer() {
  if (loading_) return;
  const uint16_t layer = CurrentLayer();
  const bool have = layer != kNoLayer;
  for (QWidget* w :
       std::initializer_list<QWidget*>{pen_button_, pen_width_, brush_button_, brush_style_}) {
    w->setEnabled(have);
  }
  const DrawingModel* model = have ? &target_->Model() : nullptr;
  pen_color_ = have ? model->LayerPenColor(layer) : kDefaultPenColor;
  brush_color_ = have ? model->LayerBrushColor(layer) : kDefaultBrushColor;
  loading_ = true;
  pen_width_->setValue(have ? model->LayerPenWidth(layer) : kDefaultPenWidth);
  loading_ = false;
  ShowColors();
  ShowBrushStyle(have ? model->LayerBrushStyle(layer) : BrushStyle::kNone);
}

void TBrushPage::ShowColors() {
  ShowColor(pen_button_, pen_color_);
  ShowColor(brush_button_, brush_color_);
}

void TBrushPage::ChoosePenColor() {
  const QColor c = QColorDialog::getColor(BgrToQColor(pen_color_), this);
  if (c.isValid()) SetPenColor(appkit::BgrFromQColor(c));
}

void TBrushPage::ChooseBrushColor() {
  const QColor c = QColorDialog::getColor(BgrToQColor(brush_color_), this);
  if (c.isValid()) SetBrushColor(appkit::BgrFromQColor(c));
}

// ------------------------------------------------------------ layer search

TLayerSearchPage::TLayerSearchPage(QWidget* parent)
    : TChartPage(parent), name_(new QLineEdit(this)), result_(new QLabel(this)) {
  auto* form = new QFormLayout(this);
  form->addRow(QStringLiteral("Layer name"), name_);
  form->addRow(QStringLiteral("Layer"), result_);
  connect(name_, &QLineEdit::textChanged, this, [this](const QString& text) { Search(text); });
  Search(QString());
}

void TLayerSearchPage::TargetChanged() { Search(name_->text()); }

uint16_t TLayerSearchPage::Search(const QString& name) {
  if (name_->text() != name) name_->setText(name);  // searches again through textChanged
  const std::string key = name.toStdString();
  found_ = (target_ == nullptr || name.isEmpty()) ? kNoLayer : target_->LayerFindByName(key);
  result_->setText(ResultText());
  return found_;
}

QString TLayerSearchPage::ResultText() const {
  return found_ == kNoLayer ? QStringLiteral("not found") : QString::number(found_);
}

// ------------------------------------------------------------ shape, general

QString ShapeKindName(ShapeKind kind) {
  switch (kind) {
    case ShapeKind::kLine:
      return QStringLiteral("line");
    case ShapeKind::kPoint:
      return QStringLiteral("point");
    case ShapeKind::kCircle:
      return QStringLiteral("circle");
    case ShapeKind::kText:
      return QStringLiteral("text");
    case ShapeKind::kPolyline:
      return QStringLiteral("polyline");
    case ShapeKind::kArc:
      return QStringLiteral("arc");
  }
  return QString();
}

TShapeGeneralPage::TShapeGeneralPage(QWidget* parent)
    : TChartPage(parent),
      number_(ShapeNumberBox(this)),
      kind_(new QLabel(this)),
      layer_(new QLabel(this)),
      pen_width_(new QSpinBox(this)),
      selected_(new QCheckBox(QStringLiteral("Selected"), this)) {
  pen_width_->setRange(-1, 100);
  pen_width_->setToolTip(QStringLiteral("Pen width in pixels; -1: the layer's"));
  auto* form = new QFormLayout(this);
  form->addRow(QStringLiteral("Shape"), number_);
  form->addRow(QStringLiteral("Kind"), kind_);
  form->addRow(QStringLiteral("Layer"), layer_);
  form->addRow(QStringLiteral("Pen width"), pen_width_);
  form->addRow(selected_);
  connect(number_, &QSpinBox::valueChanged, this, [this](int n) {
    if (!loading_) LoadShape(static_cast<uint32_t>(n));
  });
  connect(pen_width_, &QSpinBox::valueChanged, this, [this](int width) {
    if (!loading_) SetPenWidth(width);
  });
  connect(selected_, &QCheckBox::toggled, this, [this](bool on) {
    if (!loading_) SetSelected(on);
  });
  Show();
}

void TShapeGeneralPage::TargetChanged() { LoadShape(shape_); }

bool TShapeGeneralPage::LoadShape(uint32_t number) {
  shape_ = number;
  Show();
  return target_ != nullptr && target_->Model().ShapeExists(number);
}

QString TShapeGeneralPage::KindText() const { return kind_->text(); }
QString TShapeGeneralPage::LayerText() const { return layer_->text(); }
int TShapeGeneralPage::PenWidth() const { return pen_width_->value(); }
bool TShapeGeneralPage::Selected() const { return selected_->isChecked(); }

bool TShapeGeneralPage::SetPenWidth(int width) {
  const bool ok = target_ != nullptr && target_->SetShapePenWidth(shape_, width);
  Show();
  return ok;
}

bool TShapeGeneralPage::SetSelected(bool selected) {
  bool ok = false;
  if (target_ != nullptr) {
    ok = selected ? target_->ShapeSelect(shape_) : target_->ShapeDeselect(shape_);
  }
  Show();
  return ok;
}

void TShapeGeneralPage::Show() {
  loading_ = true;
  const std::optional<ShapeData> shape =
      target_ != nullptr ? target_->Model().GetShape(shape_) : std::nullopt;
  number_->setValue(shape_ <= INT_MAX ? static_cast<int>(shape_) : 0);
  if (shape) {
    kind_->setText(ShapeKindName(shape->kind));
    layer_->setText(QStringLiteral("%1: %2")
                        .arg(shape->layer)
                        .arg(QString::fromStdString(target_->Model().LayerName(shape->layer))));
    pen_width_->setValue(shape->pen_width);
    selected_->setChecked(shape->selected);
  } else {
    kind_->clear();
    layer_->clear();
    pen_width_->setValue(-1);
    selected_->setChecked(false);
  }
  pen_width_->setEnabled(shape.has_value());
  selected_->setEnabled(shape.has_value());
  loading_ = false;
}

// ------------------------------------------------------------ shape, point

TShapePointPage::TShapePointPage(QWidget* parent)
    : TChartPage(parent),
      number_(ShapeNumberBox(this)),
      x_(new QLineEdit(this)),
      y_(new QLineEdit(this)),
      move_(new QPushButton(QStringLiteral("Move"), this)),
      error_(new QLabel(this)) {
  auto* form = new QFormLayout(this);
  form->addRow(QStringLiteral("Shape"), number_);
  form->addRow(QStringLiteral("X (east)"), x_);
  form->addRow(QStringLiteral("Y (north)"), y_);
  form->addRow(QString(), move_);
  form->addRow(QString(), error_);
  connect(number_, &QSpinBox::valueChanged, this,
          [this](int n) { LoadShape(static_cast<uint32_t>(n)); });
  connect(move_, &QPushButton::clicked, this, [this] { Move(); });
  connect(x_, &QLineEdit::returnPressed, this, [this] { Move(); });
  connect(y_, &QLineEdit::returnPressed, this, [this] { Move(); });
}

void TShapePointPage::TargetChanged() { LoadShape(shape_); }

bool TShapePointPage::LoadShape(uint32_t number) {
  shape_ = number;
  const std::optional<ShapeData> shape =
      target_ != nullptr ? target_->Model().GetShape(number) : std::nullopt;
  const bool point = shape && shape->kind == ShapeKind::kPoint;
  {
    const QSignalBlocker block(number_);
    number_->setValue(number <= INT_MAX ? static_cast<int>(number) : 0);
  }
  // Coordinates in metres to the millimetre, in C's number format.
  x_->setText(point ? QString::number(shape->x1, 'f', 3) : QString());
  y_->setText(point ? QString::number(shape->y1, 'f', 3) : QString());
  x_->setEnabled(point);
  y_->setEnabled(point);
  move_->setEnabled(point);
  return point;
}

bool TShapePointPage::Move() {
  const std::optional<ShapeData> shape =
      target_ != nullptr ? target_->Model().GetShape(shape_) : std::nullopt;
  if (!shape || shape->kind != ShapeKind::kPoint) {
    error_->setText(QStringLiteral("No point shape %1").arg(shape_));
    return false;
  }
  bool ok_x = false;
  bool ok_y = false;
  const double x = QLocale::c().toDouble(x_->text().trimmed(), &ok_x);
  const double y = QLocale::c().toDouble(y_->text().trimmed(), &ok_y);
  if (!ok_x || !ok_y || !std::isfinite(x) || !std::isfinite(y)) {
    error_->setText(QStringLiteral("%1 is not a number").arg(!ok_x ? "X" : "Y"));
    return false;
  }
  target_->MovePoint(shape_, x, y);
  error_->clear();
  LoadShape(shape_);
  return true;
}

QString TShapePointPage::ErrorText() const { return error_->text(); }

QString TShapePointPage::XText() const { return x_->text(); }
QString TShapePointPage::YText() const { return y_->text(); }

}  // namespace halvex::mapcontrol
