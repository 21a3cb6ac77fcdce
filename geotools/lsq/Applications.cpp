// SPDX-License-Identifier: GPL-3.0-or-later
//
// The pages' forward and inverse applications. Departures from the pages'
// original arithmetic, each a fault mended: the similarity inverse solves
// for x with the same denominator as y (the page's x = (dX − y·t) / u fails
// at 90°), and a zero determinant or a result that is not finite fails like
// an empty label instead of writing "inf" or "nan" into a cell.

#include "geotools/lsq/Applications.hpp"

#include <cmath>
#include <numbers>
#include <vector>

#include "geodesy/NumberText.hpp"
#include "geotools/lsq/LeastSquares.hpp"

namespace halvex::geotools {

using geodesy::CoordGrid;

namespace {

constexpr long double kPi = std::numbers::pi_v<double>;

struct Failure {};

long double Label(std::span<const std::string> labels, std::size_t i) {
  if (i >= labels.size()) {
    throw Failure{};
  }
  try {
    return ParseLeadingNumber(labels[i]);
  } catch (const NotANumber&) {
    throw Failure{};
  }
}

long double Cell(const CoordGrid& grid, std::size_t col, std::size_t row) {
  if (col >= grid.ColCount()) {
    throw Failure{};
  }
  try {
    return ParseLeadingNumber(grid.Cell(col, row));
  } catch (const NotANumber&) {
    throw Failure{};
  }
}

// Clears and sizes the target, then maps every source row (x, y) to the
// target through `map`, which returns false for a result it refuses.
template <class Prepare>
ApplyResult Apply(const CoordGrid& source, CoordGrid& target, int decimals,
                  const RowProgress& progress, Prepare prepare) {
  ApplyResult result;
  geodesy::ClearGrid(target);
  if (target.ColCount() < 4) {
    target.SetColCount(4);
  }
  try {
    auto map = prepare([&] { target.SetRowCount(source.RowCount()); });
    std::string text;
    for (std::size_t row = 1; row < source.RowCount(); ++row) {
      const long double x = Cell(source, 1, row);
      const long double y = Cell(source, 2, row);
      long double outX = 0.0L, outY = 0.0L;
      map(x, y, outX, outY);
      if (!std::isfinite(outX) || !std::isfinite(outY)) {
        throw Failure{};
      }
      target.SetCell(0, row, source.ColCount() > 0 ? source.Cell(0, row) : std::string_view{});
      text.clear();
      geodesy::AppendFixed(text, outX, decimals);
      target.SetCell(1, row, text);
      text.clear();
      geodesy::AppendFixed(text, outY, decimals);
      target.SetCell(2, row, text);
      target.SetCell(3, row, source.ColCount() > 3 ? source.Cell(3, row) : std::string_view{});
      ++result.rowsWritten;
      if (progress) {
        progress(row);
      }
    }
  } catch (const Failure&) {
    result.message = kApplyFailure;
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace

ApplyResult ApplyAffine(const CoordGrid& source, CoordGrid& target,
                        std::span<const std::string> labels, bool inverse, int decimals,
                        const RowProgress& progress) {
  return Apply(source, target, decimals, progress, [&](auto sizeTarget) {
    const long double A0 = Label(labels, 0), A1 = Label(labels, 1), A2 = Label(labels, 2);
    const long double B0 = Label(labels, 3), B1 = Label(labels, 4), B2 = Label(labels, 5);
    sizeTarget();
    long double c[6] = {A0, A1, A2, B0, B1, B2};
    if (inverse) {
      const long double d = A1 * B2 - A2 * B1;
      if (d == 0.0L || !std::isfinite(d)) {
        throw Failure{};
      }
      c[0] = (A2 * B0 - B2 * A0) / d;
      c[1] = B2 / d;
      c[2] = -A2 / d;
      c[3] = (B1 * A0 - A1 * B0) / d;
      c[4] = -B1 / d;
      c[5] = A1 / d;
    }
    return [p = std::vector<long double>(c, c + 6)](long double x, long double y, long double& X,
                                                    long double& Y) {
      X = p[1] * x + p[0] + p[2] * y;
      Y = p[4] * x + p[3] + p[5] * y;
    };
  });
}

ApplyResult ApplySimilarity(const CoordGrid& source, CoordGrid& target,
                            std::span<const std::string> labels, bool inverse, int decimals,
                            const RowProgress& progress) {
  return Apply(source, target, decimals, progress, [&](auto sizeTarget) {
    const long double tx = Label(labels, 0), ty = Label(labels, 1);
    const long double theta = Label(labels, 2) * kPi / 180;
    const long double s = Label(labels, 3);
    sizeTarget();
    const long double t = s * std::sin(theta), u = s * std::cos(theta);
    const long double norm = t * t + u * u;
    if (inverse && (norm == 0.0L || !std::isfinite(norm))) {
      throw Failure{};
    }
    return [=](long double x, long double y, long double& X, long double& Y) {
      if (!inverse) {
        X = u * x + tx + t * y;
        Y = ty - t * x + u * y;
        return;
      }
      const long double dX = x - tx, dY = y - ty;
      X = (dX * u - dY * t) / norm;
      Y = (dX * t + dY * u) / norm;
    };
  });
}

}  // namespace halvex::geotools
