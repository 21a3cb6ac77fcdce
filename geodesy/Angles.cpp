// SPDX-License-Identifier: GPL-3.0-or-later
#include "geodesy/Angles.hpp"

#include <cmath>

#include "geodesy/CoordGrid.hpp"
#include "geodesy/NumberText.hpp"

namespace halvex::geodesy {

long double ConvertAngle(long double value, std::string_view unit) {
  if (unit == "r" || unit == "R") {
    return DegToRad(value);
  }
  if (unit == "d" || unit == "D") {
    return RadToDeg(value);
  }
  return 0.0L;
}

long double DmsToDegrees(std::string_view text) {
  NumberScanner scanner(text);
  long double v[3] = {0.0L, 0.0L, 0.0L};
  const int count = scanner.ReadExtendeds(v, 3);
  const long double d = v[0];
  // The sign of the degrees field is the sign of the angle, a minus on a
  // zero included: "-0 30" is half a degree south or west.
  const bool negative = std::signbit(d);
  switch (count) {
    case 3:
      return negative ? d - v[1] * kInv60 - v[2] * kInv3600 : d + v[1] * kInv60 + v[2] * kInv3600;
    case 2:
      return negative ? d - v[1] * kInv60 : d + v[1] * kInv60;
    case 1:
      return d;
    default:
      return 0.0L;
  }
}

std::string DegreesToDms(long double degrees, std::string_view form,
                         const OutputPrecision& precision) {
  const bool dms = form == "DMS" || form == "dms";
  const bool dm = !dms && (form == "DM" || form == "dm");
  if (!dms && !dm) {
    return {};
  }
  long double whole = 0.0L;
  const long double fraction = std::modf(degrees, &whole);
  const long double minutes = std::fabs(fraction * 60.0L);
  std::string text;
  AppendG15(text, whole);
  text += "  ";
  if (dms) {
    long double wholeMinutes = 0.0L;
    const long double minuteFraction = std::modf(minutes, &wholeMinutes);
    AppendG15(text, wholeMinutes);
    text += "  ";
    AppendFixed(text, minuteFraction * 60.0L, precision.seconds);
  } else {
    AppendFixed(text, minutes, precision.minutes);
  }
  return text;
}

namespace {

enum class AngleForm { kNone, kD, kDM, kDMS };

// The form a field is in, by the count of numbers it starts with.
AngleForm FormOf(std::string_view text) {
  switch (CountLeadingNumbers(text, 3)) {
    case 0:
      return AngleForm::kNone;
    case 1:
      return AngleForm::kD;
    case 2:
      return AngleForm::kDM;
    default:
      return AngleForm::kDMS;
  }
}

AngleForm Decide(std::string_view first, std::string_view second) {
  const AngleForm form = FormOf(first);
  return form != AngleForm::kNone ? form : FormOf(second);
}

// Rewrites one angle text in the form that follows `current`.
std::string NextForm(std::string_view text, AngleForm current, int decimalDegrees,
                     const OutputPrecision& precision) {
  const long double degrees = DmsToDegrees(text);
  switch (current) {
    case AngleForm::kDMS:
      return FormatFixed(degrees, decimalDegrees);
    case AngleForm::kDM:
    case AngleForm::kD: {
      // The decimal value goes through its 15-digit text first.
      const long double rounded = RoundTripG15ToExtended(degrees).value_or(0.0L);
      return DegreesToDms(rounded, current == AngleForm::kDM ? "DMS" : "DM", precision);
    }
    case AngleForm::kNone:
      break;
  }
  return std::string(text);
}

}  // namespace

void CycleAngleFormat(std::string& latitude, std::string& longitude,
                      const OutputPrecision& precision) {
  const AngleForm form = Decide(latitude, longitude);
  if (form == AngleForm::kNone) {
    return;
  }
  latitude = NextForm(latitude, form, precision.degrees, precision);
  longitude = NextForm(longitude, form, precision.degrees, precision);
}

void CycleGridAngleFormat(CoordGrid& grid, const OutputPrecision& precision) {
  if (grid.RowCount() < 2 || grid.ColCount() < 3) {
    return;
  }
  const AngleForm form = Decide(grid.Cell(2, 1), grid.Cell(1, 1));
  if (form == AngleForm::kNone) {
    return;
  }
  constexpr int kGridDecimalDegrees = 9;
  for (std::size_t row = 1; row < grid.RowCount(); ++row) {
    for (std::size_t col = 1; col <= 2; ++col) {
      grid.SetCell(col, row, NextForm(grid.Cell(col, row), form, kGridDecimalDegrees, precision));
    }
  }
}

}  // namespace halvex::geodesy
