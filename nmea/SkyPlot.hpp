// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The sky plot of the satellites in view, drawn on an abstract canvas so
// that the library stays free of any toolkit. The plot fills the square
// (0, 0)–(2·Radius, 2·Radius): north up, east right, screen y downwards,
// the horizon the outer circle and the zenith the centre. Rounding is
// half to even (RoundHalfEven).

#include <cstdint>
#include <string>
#include <vector>

namespace halvex::nmea {

class TSatellites;

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend constexpr bool operator==(Rgb, Rgb) = default;
};

class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual void SetBrushColor(Rgb color) = 0;
  virtual void SetPenColor(Rgb color) = 0;
  virtual void SetPenWidth(int width) = 0;
  // Filled with the brush and outlined with the pen, inscribed in the box.
  virtual void Ellipse(int x1, int y1, int x2, int y2) = 0;
  virtual void Line(int x1, int y1, int x2, int y2) = 0;
  // The top-left corner of the text at (x, y).
  virtual void Text(int x, int y, const std::string& text) = 0;
};

// A canvas that keeps one line of text per call, for tests:
// "Brush(r,g,b)", "Pen(r,g,b)", "PenWidth(w)", "Ellipse(x1,y1,x2,y2)",
// "Line(x1,y1,x2,y2)", "Text(x,y,text)".
class RecordingCanvas : public Canvas {
 public:
  std::vector<std::string> Calls;

  void SetBrushColor(Rgb color) override;
  void SetPenColor(Rgb color) override;
  void SetPenWidth(int width) override;
  void Ellipse(int x1, int y1, int x2, int y2) override;
  void Line(int x1, int y1, int x2, int y2) override;
  void Text(int x, int y, const std::string& text) override;
};

inline constexpr Rgb kSatelliteWeakColor{255, 0, 0};  // signal-to-noise ratio up to 10 dB
inline constexpr Rgb kSatelliteGoodColor{0, 128, 0};

// The empty plot: six filled concentric rings, six diameters every 30° and
// a small circle at the centre, in the given colours with pen width 1.
void DrawSky(Canvas& canvas, int Radius, Rgb BrushColor, Rgb PenColor);

// The empty plot, then each satellite in list order as a filled circle of
// radius 12 at its azimuth and elevation (red when weak, else green) with
// its PRN. Positions are held as 16-bit values and wrap for plots too
// large for them.
void DrawSatellites(Canvas& canvas, const TSatellites& Satellites, int Radius, Rgb BrushColor,
                    Rgb PenColor);

}  // namespace halvex::nmea
