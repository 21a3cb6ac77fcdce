// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace halvex::geodesy {

// Decimals of the fixed-point texts the core writes. The geodesy tools take
// them from their units window at each call; the navigation program passes
// Navigation().
struct OutputPrecision {
  int distance = 3;  // metres: heights, coordinates, shifts
  int degrees = 8;   // decimal degrees
  int minutes = 6;   // decimal minutes of the degree-minute form
  int seconds = 4;   // decimal seconds of the degree-minute-second form

  static constexpr int kMinDecimals = 0;
  static constexpr int kMaxDecimals = 10;

  static constexpr OutputPrecision Navigation() { return {2, 8, 6, 4}; }

  friend bool operator==(const OutputPrecision&, const OutputPrecision&) = default;
};

}  // namespace halvex::geodesy
