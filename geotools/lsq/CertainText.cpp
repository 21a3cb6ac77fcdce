// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/lsq/CertainText.hpp"

#include <cmath>

#include "geodesy/NumberText.hpp"

namespace halvex::geotools {

std::optional<long double> AppendCertainFixed(std::string& out, long double low, long double high,
                                              int decimals) {
  if (!std::isfinite(low) || !std::isfinite(high)) {
    return std::nullopt;
  }
  const std::size_t start = out.size();
  const auto value = geodesy::AppendFixedAndRead(out, low, decimals);
  const std::size_t middle = out.size();
  geodesy::AppendFixed(out, high, decimals);
  if (value && out.size() - middle == middle - start &&
      out.compare(middle, middle - start, out, start, middle - start) == 0) {
    out.resize(middle);
    return value;
  }
  out.resize(start);
  return std::nullopt;
}

}  // namespace halvex::geotools
