// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigator/app/ColorBox.hpp"

#include <QColorDialog>
#include <QPainter>
#include <QPixmap>

#include "appkit/BgrColor.hpp"

namespace halvex::navigator {

ColorBox::ColorBox(const QString& objectName, QWidget* parent) : QToolButton(parent) {
  setObjectName(objectName);
  setToolTip("Click to choose the colour");
  connect(this, &QToolButton::clicked, this, &ColorBox::Choose);
  Paint();
}

void ColorBox::SetBgr(int bgr) {
  bgr_ = bgr & 0xFFFFFF;
  Paint();
}

void ColorBox::Choose() {
  const QColor chosen =
      QColorDialog::getColor(appkit::QColorFromBgr(bgr_), this, "Colour");
  if (!chosen.isValid()) return;
  SetBgr(appkit::BgrFromQColor(chosen));
  emit Changed(bgr_);
}

void ColorBox::Paint() {
  QPixmap swatch(28, 14);
  swatch.fill(appkit::QColorFromBgr(bgr_));
  QPainter painter(&swatch);
  painter.setPen(Qt::darkGray);
  painter.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
  painter.end();
  setIcon(QIcon(swatch));
  setIconSize(swatch.size());
}

}  // namespace halvex::navigator
