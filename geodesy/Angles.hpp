// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Angle units and the three angle text forms the user types and reads:
//   D    decimal degrees                          41.50416667
//   DM   whole degrees, decimal minutes           41  30.250000
//   DMS  whole degrees, minutes, decimal seconds  41  30  15.0000
// Written forms separate fields with two spaces; the sign of the angle is
// carried by the degrees field (no hemisphere letters).

#include <string>
#include <string_view>

#include "geodesy/OutputPrecision.hpp"

namespace halvex::geodesy {

class CoordGrid;

// The constants of all angle conversions. π is the double value widened to
// extended; the reciprocals are extended quotients.
inline constexpr long double kPi = 3.141592653589793;
inline constexpr long double kInv180 = 1.0L / 180.0L;
inline constexpr long double kInvPi = 1.0L / kPi;
inline constexpr long double kInv60 = 1.0L / 60.0L;
inline constexpr long double kInv3600 = 1.0L / 3600.0L;

// "r"/"R": degrees to radians (value·π·(1/180)); "d"/"D": radians to
// degrees (value·180·(1/π)); any other unit text gives 0.
long double ConvertAngle(long double value, std::string_view unit);

inline long double DegToRad(long double degrees) { return degrees * kPi * kInv180; }
inline long double RadToDeg(long double radians) { return radians * 180.0L * kInvPi; }

// Up to three numbers d m s from the start of the text: d ± m/60 ± s/3600
// (minus when d carries a minus sign, "-0 30" included); 0 when the text
// holds no number.
long double DmsToDegrees(std::string_view text);

// "DMS"/"dms" or "DM"/"dm" text of an angle in decimal degrees; the empty
// text for any other form word. Each field is rounded on its own (seconds
// may read 60).
std::string DegreesToDms(long double degrees, std::string_view form,
                         const OutputPrecision& precision = {});

// Turns a latitude and longitude field pair into the next form: D to DM,
// DM to DMS, DMS to D. The form is read from the first field, or from the
// second when the first does not start with a number; nothing changes when
// neither does.
void CycleAngleFormat(std::string& latitude, std::string& longitude,
                      const OutputPrecision& precision = {});

// The same for columns 1 and 2 of every data row of a grid, the form read
// from row 1 (column 2 first, then column 1); D is written with 9 decimals.
void CycleGridAngleFormat(CoordGrid& grid, const OutputPrecision& precision = {});

}  // namespace halvex::geodesy
