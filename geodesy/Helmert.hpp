// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The seven-parameter (Bursa-Wolf) datum shift between a local datum and
// WGS-84, in the coordinate-frame rotation convention: a positive rotation
// turns the coordinate frame, not the point, so for small angles
//   R = [1, rz, -ry; -rz, 1, rx; ry, -rx, 1].
// The full rotation R = R3(rz)·R2(ry)·R1(rx) is used, without small-angle
// simplification.

#include <string>
#include <string_view>

namespace halvex::geodesy {

// Text: "X Y Z ds rx ry rz tx ty tz" (metres, ppm, arc-seconds, metres),
// read with double-precision conversions. Direction "WGS" applies the
// parameters forward (datum to WGS-84: X' = s·R·X + T); any other word
// backward (WGS-84 to datum: X = (s·R)^-1·(X' - T), the scaled rotation
// inverted numerically). Result "X\tY\tZ" with 15 significant digits, or
// "0" for fewer than ten numbers, or, backward, when the scaled rotation
// cannot be inverted (a zero pivot or overflow).
std::string HelmertTransform(std::string_view direction, std::string_view text);

}  // namespace halvex::geodesy
