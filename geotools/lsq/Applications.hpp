// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Applying an estimated 2-D transformation to a whole coordinate list: the
// source grid (columns No, easting, northing, elevation) is transformed row
// by row into the target grid, the elevation carried over unchanged.
//
// The parameters are read from the label texts, as the pages hold them.
// The target grid is cleared (header kept, 9 rows) before they are read,
// then sized to the source's row count. A failure (a label or cell that is
// not a number, a transformation that cannot be inverted, a result that is
// not finite) stops at that row: the rows written before it stay.

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "geodesy/CoordGrid.hpp"

namespace halvex::geotools {

inline constexpr std::string_view kApplyFailure =
    "Please first calculate the transformation\nparameters. Than load a file into the cells.";

struct ApplyResult {
  bool ok = false;
  std::string message;  // kApplyFailure on failure
  std::size_t rowsWritten = 0;
};

// Called with each row number written (1, 2, ...), for a progress bar.
using RowProgress = std::function<void(std::size_t row)>;

// labels: A0 A1 A2 B0 B1 B2. Forward X = A1·x + A0 + A2·y, Y = B1·x + B0 +
// B2·y; inverse with the parameters of the inverse transformation (refused
// when A1·B2 − A2·B1 is 0). Coordinates written with `decimals` decimals.
ApplyResult ApplyAffine(const geodesy::CoordGrid& source, geodesy::CoordGrid& target,
                        std::span<const std::string> labels, bool inverse, int decimals,
                        const RowProgress& progress = {});

// labels: tx, ty, rotation (degrees), scale factor s. With t = s·sin θ and
// u = s·cos θ: forward X = u·x + tx + t·y, Y = ty − t·x + u·y; inverse, with
// dX = X − tx, dY = Y − ty: x = (dX·u − dY·t) / (t² + u²),
// y = (dX·t + dY·u) / (t² + u²) (refused when t² + u² is 0).
ApplyResult ApplySimilarity(const geodesy::CoordGrid& source, geodesy::CoordGrid& target,
                            std::span<const std::string> labels, bool inverse, int decimals,
                            const RowProgress& progress = {});

}  // namespace halvex::geotools
