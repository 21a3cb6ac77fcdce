// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The survey track the chart benchmarks draw: lines of kLineFixes fixes
// kFixSpacing metres apart, run alternately east and west, kLineSpacing
// metres apart going north.

#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "mapcontrol/DrawingModel.hpp"

namespace halvex::bench {

inline constexpr double kOriginX = 500000.0;
inline constexpr double kOriginY = 6000000.0;
inline constexpr double kFixSpacing = 2.0;
inline constexpr double kLineSpacing = 25.0;
inline constexpr size_t kLineFixes = 2500;

// The number in the environment variable `name` (at least 4), or a million.
inline size_t ShapeCount(const char* name) {
  if (const char* text = std::getenv(name)) {
    const long long value = std::atoll(text);
    if (value >= 4) return static_cast<size_t>(value);
  }
  return 1000000;
}

// Fix number i of the track.
inline mapcontrol::PointXY Fix(size_t i) {
  const size_t line = i / kLineFixes;
  const size_t along = i % kLineFixes;
  const double offset = static_cast<double>(line % 2 == 0 ? along : kLineFixes - 1 - along);
  // A slight wobble so that lines are not exactly straight.
  const double wobble = 0.8 * std::sin(static_cast<double>(i) * 0.05);
  return {kOriginX + offset * kFixSpacing,
          kOriginY + static_cast<double>(line) * kLineSpacing + wobble};
}

}  // namespace halvex::bench
