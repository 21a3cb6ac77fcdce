// SPDX-License-Identifier: GPL-3.0-or-later
#include "nmea/SkyPlot.hpp"

#include <cmath>

#include "nmea/GpsModel.hpp"
#include "nmea/GpsUtils.hpp"

namespace halvex::nmea {
namespace {

// Coordinates are computed in 64 bits and stored modulo 2^32, so a radius
// near the limits of int gives wrapped coordinates but no undefined result.
int Coord(std::int64_t value) { return static_cast<int>(value); }

// round(value) for a value within a few times the range of int.
int RoundedCoord(long double value) {
  return Coord(static_cast<std::int64_t>(RoundHalfEven(value)));
}

// round(value) + radius held as a 16-bit value (modulo 2^16).
int Held16(long double value, int radius) {
  const long double wrapped = std::fmod(RoundHalfEven(value), 65536.0L);  // exact
  return static_cast<std::int16_t>(static_cast<std::int64_t>(wrapped) + radius);
}

std::string RgbText(Rgb c) {
  return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b);
}

std::string BoxText(int x1, int y1, int x2, int y2) {
  return std::to_string(x1) + "," + std::to_string(y1) + "," + std::to_string(x2) + "," +
         std::to_string(y2);
}

}  // namespace

void RecordingCanvas::SetBrushColor(Rgb color) { Calls.push_back("Brush(" + RgbText(color) + ")"); }
void RecordingCanvas::SetPenColor(Rgb color) { Calls.push_back("Pen(" + RgbText(color) + ")"); }
void RecordingCanvas::SetPenWidth(int width) {
  Calls.push_back("PenWidth(" + std::to_string(width) + ")");
}
void RecordingCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  Calls.push_back("Ellipse(" + BoxText(x1, y1, x2, y2) + ")");
}
void RecordingCanvas::Line(int x1, int y1, int x2, int y2) {
  Calls.push_back("Line(" + BoxText(x1, y1, x2, y2) + ")");
}
void RecordingCanvas::Text(int x, int y, const std::string& text) {
  Calls.push_back("Text(" + std::to_string(x) + "," + std::to_string(y) + "," + text + ")");
}

void DrawSky(Canvas& canvas, int Radius, Rgb BrushColor, Rgb PenColor) {
  const std::int64_t r = Radius;
  canvas.SetBrushColor(BrushColor);
  canvas.SetPenColor(PenColor);
  canvas.SetPenWidth(1);

  // From the horizon in to the ring next to the zenith.
  for (std::int64_t i = 1; i <= 6; ++i) {
    const int lo = Coord((i - 1) * r / 6);
    const int hi = Coord((13 - i) * r / 6);
    canvas.Ellipse(lo, lo, hi, hi);
  }

  const int centre = Radius;
  const int full = Coord(2 * r);
  auto f = [&](long double x) { return RoundedCoord((1.0L + x) * static_cast<long double>(r)); };
  auto g = [&](long double x) { return RoundedCoord((1.0L - x) * static_cast<long double>(r)); };
  // The sines and cosines of 30° and 60° as their exact value 1/2 and the
  // correctly rounded √3/2: through a rounded π, sin 30° and cos 60° come
  // out on either side of 1/2 and halves of an odd radius would round
  // apart, drawing a lopsided plot.
  const long double half = 0.5L;
  const long double halfRoot3 = std::sqrt(3.0L) / 2.0L;
  const long double sin30 = half, cos60 = half, sin60 = halfRoot3, cos30 = halfRoot3;
  canvas.Line(centre, 0, centre, full);
  canvas.Line(full, centre, 0, centre);
  canvas.Line(f(sin30), g(cos30), g(cos60), f(sin60));
  canvas.Line(f(sin60), g(cos60), g(cos30), f(sin30));
  canvas.Line(f(cos30), f(sin30), g(sin60), g(sin30));
  canvas.Line(f(cos60), f(sin60), g(sin30), g(sin60));

  canvas.Ellipse(Coord(r - 3), Coord(r - 3), Coord(r + 3), Coord(r + 3));
}

void DrawSatellites(Canvas& canvas, const TSatellites& Satellites, int Radius, Rgb BrushColor,
                    Rgb PenColor) {
  DrawSky(canvas, Radius, BrushColor, PenColor);
  for (int i = 0; i < Satellites.Count(); ++i) {
    const TSatellite& sat = *Satellites.GetItem(i);
    const long double a = kGpsPi - sat.Azimuth() * kGpsPi / 180.0L;
    // The product is exact in extended precision, as an integer product
    // would be without overflow.
    const long double r =
        Radius - static_cast<long double>(sat.Elevation()) * Radius * 2.0L / 180.0L;
    const int x = Held16(std::sin(a) * r, Radius);
    const int y = Held16(std::cos(a) * r, Radius);
    canvas.SetBrushColor(sat.SignalToNoiseRatio() <= 10 ? kSatelliteWeakColor
                                                        : kSatelliteGoodColor);
    canvas.Ellipse(x - 12, y - 12, x + 12, y + 12);
    const int offset = sat.PseudoRandomCode() > 9 ? 8 : 6;
    canvas.Text(x - offset, y - offset, std::to_string(sat.PseudoRandomCode()));
  }
}

}  // namespace halvex::nmea
