// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the least-squares tests share: deterministic pseudo-random numbers
// and the earth-sized ellipsoids the report's closed forms are checked on.

#include <cstdint>

namespace halvex::geotools::testing {

struct Random {
  std::uint64_t state;
  long double Next() {  // in [0, 1)
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<long double>(state >> 11) * 0x1.0p-53L;
  }
};

struct Ellipsoid {
  long double a;
  long double inverseFlattening;
};

// WGS-84, Bessel, Clarke 1866, Hayford and the corners of the range.
inline constexpr Ellipsoid kEarthEllipsoids[] = {{6378137.0L, 298.257223563L},
                                                 {6377397.155L, 299.1528128L},
                                                 {6378206.4L, 294.9786982L},
                                                 {6378388.0L, 297.0L},
                                                 {6.4e6L, 250.0L},
                                                 {6.3e6L, 350.0L}};

}  // namespace halvex::geotools::testing
