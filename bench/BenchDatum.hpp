// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The datum and grid the geodesy benchmarks convert into: WGS-84 to an
// International 1924 datum, projected on a 3° zone. The texts are those of
// geokit-cli's --pair, --tm and --ellipsoid.

namespace halvex::bench {

inline constexpr const char* kPair =
    "6378137 0.00335281066474748 0 0 0 0 0 0 0 "
    "6378388 0.00336700336700337 -1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7";
inline constexpr const char* kProjection = "30 0 0.9996 500000 0";
inline constexpr const char* kEllipsoid = "6378388 0.00336700336700337";

}  // namespace halvex::bench
