// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The "Sky" dock's picture: the GPS receiver's satellites in view drawn by
// the receiver library's sky plot through a QPainter canvas.

#include <QPainter>
#include <QWidget>

#include "nmea/SkyPlot.hpp"

namespace halvex::nmea {
class TSatellites;
}

namespace halvex::navigator {

// The sky plot's canvas on a QPainter: brush, pen and pen width as the
// plot sets them; text in the painter's font, its top-left corner at (x, y).
class QtSkyCanvas final : public nmea::Canvas {
 public:
  explicit QtSkyCanvas(QPainter& painter) : painter_(painter) {}

  void SetBrushColor(nmea::Rgb color) override;
  void SetPenColor(nmea::Rgb color) override;
  void SetPenWidth(int width) override;
  void Ellipse(int x1, int y1, int x2, int y2) override;
  void Line(int x1, int y1, int x2, int y2) override;
  void Text(int x, int y, const std::string& text) override;

 private:
  void ApplyPen();

  QPainter& painter_;
  QColor pen_color_ = Qt::black;
  int pen_width_ = 1;
};

// Draws the satellites of the list it is given, as large as the widget
// allows; Refresh repaints after the receiver reported a full list.
class TSkyView final : public QWidget {
  Q_OBJECT

 public:
  explicit TSkyView(QWidget* parent = nullptr);

  // The list to draw; it must outlive the widget (the receiver's own).
  void SetSatellites(const nmea::TSatellites* satellites);
  void Refresh() { update(); }
  QSize sizeHint() const override { return {280, 280}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const nmea::TSatellites* satellites_ = nullptr;
};

}  // namespace halvex::navigator
