// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigator/core/NavMath.hpp"

#include <climits>
#include <cmath>

#include "geodesy/NumberText.hpp"

namespace halvex::navigator {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Like scanf's "%*Ns": skips blanks, then up to `width` non-blank
// characters. False when only blanks are left.
bool SkipWord(std::string_view text, std::size_t& pos, std::size_t width) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  if (pos >= text.size()) return false;
  std::size_t taken = 0;
  while (pos < text.size() && !IsBlank(text[pos]) && taken < width) {
    ++pos;
    ++taken;
  }
  return true;
}

bool UsableEllipsoid(long double a, long double f) {
  return std::isfinite(a) && std::isfinite(f) && a > 0 && f >= 0 && f < 1;
}

}  // namespace

ParamsReading ReadGeodeticParams(std::string_view ellipsoidText, std::string_view datumText,
                                 std::string_view projectionText) {
  ParamsReading r;
  std::size_t pos = 0;
  int target = 0;
  if (SkipWord(ellipsoidText, pos, std::string_view::npos) &&
      SkipWord(ellipsoidText, pos, std::string_view::npos)) {
    geodesy::NumberScanner scan(ellipsoidText.substr(pos));
    long double values[2] = {0, 0};
    target = scan.ReadExtendeds(values, 2);
    if (target >= 1) r.params.targetA = values[0];
    if (target >= 2) r.params.targetF = values[1];
  }
  r.targetRead = target == 2;
  if (!r.targetRead) {
    r.error = "the ellipsoid text does not give the target ellipsoid's a and f";
    return r;
  }
  geodesy::NumberScanner tmScan(projectionText);
  const int tmCount = tmScan.ReadExtendeds(r.params.tm.data(), 5);
  r.projectionRead = tmCount == 5;
  if (!r.projectionRead) {
    r.error = "the projection text does not give five numbers";
    return r;
  }
  if (!UsableEllipsoid(r.params.targetA, r.params.targetF)) {
    r.error = "the target ellipsoid needs a > 0 and 0 <= f < 1";
    return r;
  }
  for (const long double v : r.params.tm) {
    if (!std::isfinite(v)) {
      r.error = "the projection text holds a number that is not finite";
      return r;
    }
  }
  if (!(r.params.tm[2] > 0)) {
    r.error = "the projection's scale factor must be positive";
    return r;
  }
  long double datum[18] = {};
  geodesy::NumberScanner datumScan(datumText);
  if (datumScan.ReadExtendeds(datum, 18) != 18) {
    r.error = "the datum text does not give 18 numbers";
    return r;
  }
  for (const long double v : datum) {
    if (!std::isfinite(v)) {
      r.error = "the datum text holds a number that is not finite";
      return r;
    }
  }
  if (!UsableEllipsoid(datum[0], datum[1]) || !UsableEllipsoid(datum[9], datum[10])) {
    r.error = "each ellipsoid of the datum text needs a > 0 and 0 <= f < 1";
    return r;
  }
  return r;
}

int FixQualityColor(int quality) {
  switch (quality) {
    case 4:
      return kColorLime;
    case 0:
    case 1:
      return kColorRed;
    case 2:
      return kColorAqua;
    default:
      return kColorYellow;
  }
}

bool IsFixedQuality(int quality) { return quality == 4 || quality == 2 || quality == 5; }

std::optional<double> ReadHdtHeading(std::string_view sentence) {
  if (sentence.size() < 6 || sentence.substr(3, 3) != "HDT") return std::nullopt;
  std::size_t pos = 0;
  if (!SkipWord(sentence, pos, 7)) return std::nullopt;
  geodesy::NumberScanner scan(sentence.substr(pos));
  double heading = 0;
  if (!scan.ReadDouble(heading) || !std::isfinite(heading)) return std::nullopt;
  return heading;
}

int IntegerFieldOr(std::string_view text, int fallback) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t digitsStart = i;
  long long value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) return fallback;
    ++i;
  }
  if (i == digitsStart) return fallback;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i != text.size()) return fallback;
  if (negative) value = -value;
  if (value < INT_MIN || value > INT_MAX) return fallback;
  return static_cast<int>(value);
}

VesselSymbol MakeVesselSymbol(double x, double y, double headingDeg) {
  // θ = heading × π / 180 with the double π and an extended 1/180.
  constexpr long double kPi = 3.141592653589793;  // the double value of π
  constexpr long double kOneOver180 = 1.0L / 180.0L;
  constexpr long double kHalfPi = kPi / 2;
  const long double theta = static_cast<long double>(headingDeg) * kPi * kOneOver180;
  const long double cx = x;
  const long double cy = y;
  const auto px = [&](long double length, long double angle) {
    return static_cast<double>(cx + length * std::sin(angle));
  };
  const auto py = [&](long double length, long double angle) {
    return static_cast<double>(cy + length * std::cos(angle));
  };
  const double bx = px(100, theta), by = py(100, theta);
  const double sx = px(10, theta + kHalfPi), sy = py(10, theta + kHalfPi);
  const double qx = px(10, theta - kHalfPi), qy = py(10, theta - kHalfPi);
  VesselSymbol s;
  s.cx = x;
  s.cy = y;
  s.lines = {{{x, y, bx, by}, {x, y, sx, sy}, {x, y, qx, qy}, {bx, by, sx, sy}, {bx, by, qx, qy}}};
  return s;
}

Measure MeasureFrom(double fromX, double fromY, double toX, double toY) {
  constexpr double kPi = 3.141592653589793;
  const double dE = toX - fromX;
  double dN = toY - fromY;
  Measure m;
  m.distance = std::sqrt(dE * dE + dN * dN);
  if (dN == 0) dN = 1e-16;
  double bearing = std::atan(dE / dN);
  if (dN < 0) {
    bearing += kPi;
  } else if (dE / dN < 0) {
    bearing += 2 * kPi;
  }
  m.bearing = bearing * 180 / kPi;
  return m;
}

std::string DistanceText(const Measure& m) {
  return "Distance: " + geodesy::FormatFixed(m.distance, 2) +
         " Bearing: " + geodesy::FormatFixed(m.bearing, 2);
}

std::string CoordinatesText(double x, double y) {
  return "E:" + geodesy::FormatFixed(x, 2) + ",N:" + geodesy::FormatFixed(y, 2);
}

WheelStep MakeWheelStep(bool up, double cursorX, double cursorY, double centreX, double centreY) {
  const double factor = up ? 0.1 : 0.01;
  WheelStep w;
  w.panX = factor * (cursorX - centreX);
  w.panY = factor * (cursorY - centreY);
  w.zoom = up ? 0.1 : -0.1;
  return w;
}

}  // namespace halvex::navigator
