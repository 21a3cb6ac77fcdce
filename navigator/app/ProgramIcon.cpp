// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigator/app/ProgramIcon.hpp"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace halvex::navigator {

namespace {

// Paints the icon on a 128 x 128 design grid scaled to `size` pixels.
QPixmap Paint(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 128.0, size / 128.0);
  p.setPen(QPen(QColor("#2b5d80"), 4));
  p.setBrush(QColor("#dcebf5"));
  p.drawRoundedRect(QRectF(4, 4, 120, 120), 18, 18);
  p.setPen(QPen(QColor("#9db8cc"), 2));
  for (const double at : {44.0, 84.0}) {
    p.drawLine(QPointF(6, at), QPointF(122, at));
    p.drawLine(QPointF(at, 6), QPointF(at, 122));
  }
  QPen track(QColor("#1f9e3a"), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(track);
  p.setBrush(Qt::NoBrush);
  const QPolygonF line({{22, 112}, {22, 40}, {34, 28}, {46, 40}, {46, 104}, {58, 116}, {70, 104},
                        {70, 78}});
  p.drawPolyline(line);
  p.setPen(QPen(QColor("#d62828"), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawEllipse(QPointF(70, 78), 9, 9);
  p.drawEllipse(QPointF(70, 78), 17, 17);
  p.drawPolygon(QPolygonF({{60, 78}, {80, 78}, {70, 22}}));
  p.drawLine(QPointF(70, 78), QPointF(70, 22));
  return pixmap;
}

}  // namespace

QIcon MarnavIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(Paint(size));
  return icon;
}

}  // namespace halvex::navigator
