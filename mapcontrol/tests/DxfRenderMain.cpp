// SPDX-License-Identifier: GPL-3.0-or-later
// Renders a DXF file through the chart's renderer into a PNG, for the side-
// by-side comparison with another program's rendering.
//
//   dxf_render IN.dxf OUT.png WIDTH HEIGHT [MIN_X MIN_Y MAX_X MAX_Y]
//
// Without a world window the drawing's extents, grown by 5 % and widened to
// the image's aspect, are used. The window used is printed on standard
// output as "MIN_X MIN_Y MAX_X MAX_Y" (17 significant digits), so that the
// other rendering can be given exactly the same one. Black on white.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mapcontrol/ChartRenderer.hpp"
#include "mapcontrol/DxfFile.hpp"

using namespace halvex::mapcontrol;

int main(int argc, char** argv) {
  if (argc != 5 && argc != 9) {
    std::fprintf(stderr,
                 "usage: dxf_render IN.dxf OUT.png WIDTH HEIGHT [MIN_X MIN_Y MAX_X MAX_Y]\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  DrawingModel model;
  DxfLoadReport report;
  std::string error;
  if (!LoadDxf(argv[1], model, report, error)) {
    std::fprintf(stderr, "dxf_render: %s\n", error.c_str());
    return 1;
  }
  const int width = std::atoi(argv[3]);
  const int height = std::atoi(argv[4]);
  if (width <= 0 || height <= 0) return 2;
  Rect window;
  if (argc == 9) {
    window = {std::atof(argv[5]), std::atof(argv[6]), std::atof(argv[7]), std::atof(argv[8])};
  } else {
    window = model.Extents().value_or(Rect{0, 0, 1, 1});
    const double grow_x = std::max(1e-9, (window.max_x - window.min_x) * 0.05);
    const double grow_y = std::max(1e-9, (window.max_y - window.min_y) * 0.05);
    window = {window.min_x - grow_x, window.min_y - grow_y, window.max_x + grow_x,
              window.max_y + grow_y};
  }
  // One scale both ways: widen the window to the image's aspect.
  const double cx = (window.min_x + window.max_x) / 2;
  const double cy = (window.min_y + window.max_y) / 2;
  const double upp =
      std::max((window.max_x - window.min_x) / width, (window.max_y - window.min_y) / height);
  window = {cx - upp * width / 2, cy - upp * height / 2, cx + upp * width / 2,
            cy + upp * height / 2};

  for (uint16_t l = 0; l < model.LayerCount(); ++l) model.LayerSetPenColor(l, 0x000000);
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    ViewTransform view;
    view.center_x = cx;
    view.center_y = cy;
    view.units_per_pixel = upp;
    view.half_width = width / 2.0;
    view.half_height = height / 2.0;
    ChartRenderer renderer;
    renderer.Paint(model, view, painter, QSize(width, height));
  }
  if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "dxf_render: cannot write %s\n", argv[2]);
    return 1;
  }
  std::printf("%.17g %.17g %.17g %.17g\n", window.min_x, window.min_y, window.max_x, window.max_y);
  return 0;
}
