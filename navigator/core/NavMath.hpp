// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The arithmetic and text rules of the navigation window, free of any state:
// reading the geodetic parameter texts, the vessel symbol, the fix-quality
// colours, the gyro heading of an HDT sentence, integer fields, measuring
// distance and bearing, and the mouse wheel.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace halvex::navigator {

// Colours in blue-green-red order (low byte red).
inline constexpr int kColorRed = 0x0000FF;
inline constexpr int kColorLime = 0x00FF00;
inline constexpr int kColorAqua = 0xFFFF00;
inline constexpr int kColorYellow = 0x00FFFF;

// The geodetic parameters read from the settings texts, once they are
// usable.
struct GeodeticParams {
  long double targetA = 0;          // semi-major axis of the grid's ellipsoid (m)
  long double targetF = 0;          // its flattening
  std::array<long double, 5> tm{};  // λ0 (°), φ0 (°), k0, false easting (m), false northing (m)
};

// What reading the parameter texts gave. `params` holds every value read,
// also when reading stopped part way; `error` is empty when all are usable.
struct ParamsReading {
  GeodeticParams params;
  bool targetRead = false;      // both target numbers were read
  bool projectionRead = false;  // all five projection numbers were read
  std::string error;            // what is wrong, for the user
};

// Reads the ellipsoid text ("a1 f1 a2 f2": the first two words are skipped
// whole, however long, then a and f of the target), the
// projection text (five numbers, anything after them ignored) and checks
// the datum pair text (18 numbers). Usable when every number is there and
// finite, each ellipsoid has a > 0 and 0 <= f < 1, and the scale factor is
// positive.
ParamsReading ReadGeodeticParams(std::string_view ellipsoidText, std::string_view datumText,
                                 std::string_view projectionText);

// The group box colour for a fix quality: 4 lime, 0 and 1 red, 2 aqua,
// anything else yellow.
int FixQualityColor(int quality);

// Whether a fix quality counts as a fixed track point: 4 (RTK fixed),
// 2 (DGPS) and 5 (RTK float).
bool IsFixedQuality(int quality);

// The heading of an HDT sentence ("$HEHDT,271.5,T*hh"): characters 4 to 6
// must be "HDT" (any two-letter talker); the first seven non-blank
// characters are skipped and a number read. nullopt when the sentence is no
// HDT or the heading field holds no finite number.
std::optional<double> ReadHdtHeading(std::string_view sentence);

// An integer edit's text: optional blanks, an optional sign and decimal
// digits within the int range, optional blanks. Anything else gives
// `fallback`.
int IntegerFieldOr(std::string_view text, int fallback);

// The vessel symbol at (x, y), grid metres, heading in degrees clockwise
// from grid north: seven shapes in drawing order, lines C-B, C-S, C-P, B-S,
// B-P (bow B 100 m ahead, S and P 10 m to starboard and port), then circles
// of radius 10 and 20 at C.
struct VesselSymbol {
  struct Line {
    double x1, y1, x2, y2;
  };
  std::array<Line, 5> lines;
  std::array<double, 2> radii{10, 20};
  double cx = 0, cy = 0;
};
VesselSymbol MakeVesselSymbol(double x, double y, double headingDeg);

// Distance (m) and grid bearing (degrees clockwise from grid north, in
// [0, 360)) from the pressed point to the cursor.
struct Measure {
  double distance = 0;
  double bearing = 0;
};
Measure MeasureFrom(double fromX, double fromY, double toX, double toY);

// "Distance: 100.00 Bearing: 180.00".
std::string DistanceText(const Measure& m);
// "E:1000.00,N:900.00".
std::string CoordinatesText(double x, double y);

// The mouse wheel: pan by `panFactor` times the way from the view centre to
// the cursor, then zoom by `zoom` about the cursor.
struct WheelStep {
  double panX = 0, panY = 0;
  double zoom = 0;
};
// Wheel turned up (towards the screen): pan a tenth, zoom in by 0.1; down:
// pan a hundredth, zoom out by 0.1.
WheelStep MakeWheelStep(bool up, double cursorX, double cursorY, double centreX, double centreY);

}  // namespace halvex::navigator
