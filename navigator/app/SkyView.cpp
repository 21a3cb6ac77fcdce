// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigator/app/SkyView.hpp"

#include <QFontMetrics>
#include <QPaintEvent>

#include <algorithm>

#include "nmea/GpsModel.hpp"

namespace halvex::navigator {

namespace {
QColor ToQColor(nmea::Rgb c) { return QColor(c.r, c.g, c.b); }
}  // namespace

void QtSkyCanvas::SetBrushColor(nmea::Rgb color) { painter_.setBrush(ToQColor(color)); }

void QtSkyCanvas::SetPenColor(nmea::Rgb color) {
  pen_color_ = ToQColor(color);
  ApplyPen();
}

void QtSkyCanvas::SetPenWidth(int width) {
  pen_width_ = std::max(0, width);
  ApplyPen();
}

void QtSkyCanvas::ApplyPen() { painter_.setPen(QPen(pen_color_, pen_width_)); }

void QtSkyCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  painter_.drawEllipse(QRect(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1)));
}

void QtSkyCanvas::Line(int x1, int y1, int x2, int y2) { painter_.drawLine(x1, y1, x2, y2); }

void QtSkyCanvas::Text(int x, int y, const std::string& text) {
  const QFontMetrics metrics(painter_.font());
  painter_.drawText(QPoint(x, y + metrics.ascent()), QString::fromLatin1(text.c_str()));
}

TSkyView::TSkyView(QWidget* parent) : QWidget(parent) {
  setObjectName("SkyView");
  setMinimumSize(250, 250);
}

void TSkyView::SetSatellites(const nmea::TSatellites* satellites) {
  satellites_ = satellites;
  update();
}

void TSkyView::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(rect(), palette().window());
  // The plot fills a square of 2·radius; the satellites' circles (radius
  // 12) may reach past the horizon, so keep a margin for them.
  const int margin = 14;
  const int radius = std::max(10, (std::min(width(), height()) - 2 * margin) / 2);
  painter.translate((width() - 2 * radius) / 2, (height() - 2 * radius) / 2);
  QFont font = painter.font();
  font.setPixelSize(11);
  painter.setFont(font);
  QtSkyCanvas canvas(painter);
  const nmea::Rgb sky{222, 235, 247};
  const nmea::Rgb rings{120, 140, 160};
  if (satellites_ != nullptr)
    nmea::DrawSatellites(canvas, *satellites_, radius, sky, rings);
  else
    nmea::DrawSky(canvas, radius, sky, rings);
}

}  // namespace halvex::navigator
