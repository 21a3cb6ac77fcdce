// SPDX-License-Identifier: GPL-3.0-or-later
//
// Estimations and their reports. The adjustment itself is in LeastSquares;
// this file derives the published parameters and writes the reports, whose
// lines are fixed by the pages (titles, tabs, number formats).
//
// Departures from the pages' original arithmetic, each a fault mended:
//  - similarity: when b is exactly 0 the scale is a (a / cos 0), not 1;
//  - Helmert: NewDatumParameters gives the fitted (local to WGS-84)
//    parameters at full precision, not the negated, rounded label texts.

#include "geotools/lsq/Estimations.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <numbers>
#include <optional>
#include <system_error>
#include <thread>

#include "geodesy/Angles.hpp"
#include "geodesy/Geocentric.hpp"
#include "geodesy/Geodesic.hpp"
#include "geodesy/Matrix.hpp"
#include "geodesy/NumberText.hpp"
#include "geodesy/internal/Values.hpp"
#include "geotools/lsq/GeodeticText.hpp"
#include "geotools/lsq/LeastSquares.hpp"
#include "geotools/lsq/SecondLengths.hpp"
#include "geotools/lsq/Slices.hpp"
#include "platform/PageWarmer.hpp"

namespace halvex::geotools {

using geodesy::AppendFixed;
using geodesy::AppendG15;
using geodesy::ArithmeticFault;
using geodesy::CoordGrid;

namespace {

// π as the pages use it: the double constant, widened.
constexpr long double kPi = std::numbers::pi_v<double>;

void AppendLine(std::string& out, std::string_view line) {
  out += line;
  out += '\n';
}

// Bytes of the input echo, for reserving the report at once (a report of a
// million points is hundreds of megabytes; growing it step by step costs
// more than writing it).
std::size_t EchoBytes(const CoordGrid& grid) {
  std::size_t bytes = 0;
  for (std::size_t row = 0; row < grid.RowCount(); ++row) {
    for (std::size_t col = 0; col < grid.ColCount(); ++col) {
      bytes += grid.Cell(col, row).size() + 1;
    }
    ++bytes;
  }
  return bytes;
}

// Every row of the grid, header included, each cell followed by a tab.
void AppendEcho(std::string& out, const CoordGrid& grid) {
  for (std::size_t row = 0; row < grid.RowCount(); ++row) {
    for (std::size_t col = 0; col < grid.ColCount(); ++col) {
      out += grid.Cell(col, row);
      out += '\t';
    }
    out += '\n';
  }
}

void AppendHeading(std::string& out, std::string_view heading, bool emptyAfter) {
  out += '\n';
  AppendLine(out, heading);
  if (emptyAfter) {
    out += '\n';
  }
}

// Per point: identifier, then `perPoint` values of `values` (fixed-point),
// then an optional trailing tab.
template <class Value>
void AppendPointTable(std::string& out, const CoordGrid& grid, std::size_t points,
                      std::size_t perPoint, int decimals, bool trailingTab, Value value) {
  for (std::size_t i = 0; i < points; ++i) {
    out += grid.Cell(0, i + 1);
    for (std::size_t k = 0; k < perPoint; ++k) {
      out += '\t';
      AppendFixed(out, value(i * perPoint + k), decimals);
    }
    if (trailingTab) {
      out += '\t';
    }
    out += '\n';
  }
}

// The adjustment sections of a 2-D report (f > 0 only): adjusted target
// coordinates Lc + v, their standard deviations √(Qₗ[m][m]·s₀²) and the
// residuals (Lc + v) − Lc, all fixed with three decimals.
void AppendPlaneAdjustment(std::string& out, const CoordGrid& grid,
                           const std::vector<PlanePair>& points, const Adjustment& adj,
                           long long dof) {
  const std::size_t n = points.size();
  const long double s0Squared = adj.omega / static_cast<long double>(dof);
  auto target = [&](std::size_t m) { return m % 2 == 0 ? points[m / 2].X : points[m / 2].Y; };
  std::vector<long double> sd(2 * n);
  for (std::size_t m = 0; m < 2 * n; ++m) {
    sd[m] = std::sqrt(adj.cofactors[m] * s0Squared);
    if (std::isnan(sd[m])) {
      throw ArithmeticFault("arithmetic fault: square root of a negative variance");
    }
  }
  AppendHeading(out, "ADJUSTED COORDINATES", true);
  AppendPointTable(out, grid, n, 2, 3, false,
                   [&](std::size_t m) { return target(m) + adj.residuals[m]; });
  AppendHeading(out, "STANDARD DEVIATIONS OF ADJUSTED COORDINATES", true);
  AppendPointTable(out, grid, n, 2, 3, false, [&](std::size_t m) { return sd[m]; });
  AppendHeading(out, "RESIDUALS OF TARGET COORDINATES", true);
  AppendPointTable(out, grid, n, 2, 3, false, [&](std::size_t m) {
    const long double lc = target(m);
    return (lc + adj.residuals[m]) - lc;
  });
}

PlaneEstimate EstimatePlane(const CoordGrid& grid, PlaneModel model) {
  const bool affine = model == PlaneModel::kAffine;
  PlaneEstimate out;
  const std::size_t minRows = affine ? 4 : 3;
  if (grid.RowCount() < minRows || grid.ColCount() < 5) {
    out.message = affine ? kNoSolution3 : kNoSolution2;
    return out;
  }
  try {
    std::string& report = out.report;
    // The echo, then three sections of a name and two numbers per point.
    const std::size_t names = EchoBytes(grid) / grid.ColCount();
    report.reserve(EchoBytes(grid) + 3 * (names + 2 * 16 * grid.RowCount()) + 1024);
    AppendLine(report, affine ? "SIX PARAMETER 2-D GENERAL AFFINE TRANSFORMATION CALCULATION REPORT"
                              : "4 PARAMETERS 2-D SIMILARITY TRANSFORMATION CALCULATION REPORT");
    report += '\n';
    AppendLine(report, "INPUT DATA; IDENTICAL CONTROL POINTS IN BOTH SYSTEM");
    report += '\n';
    AppendEcho(report, grid);

    const std::vector<PlanePair> points = ReadPlanePairs(grid);
    const Adjustment adj = affine ? AdjustAffine(points) : AdjustSimilarity(points);
    const long long unknowns = affine ? 6 : 4;
    out.degreesOfFreedom = 2 * static_cast<long long>(points.size()) - unknowns;
    out.omega = adj.omega;
    out.unknowns = adj.parameters;
    if (out.degreesOfFreedom > 0) {
      AppendPlaneAdjustment(report, grid, points, adj, out.degreesOfFreedom);
    }

    AppendHeading(report, "TRANSFORMATION PARAMETERS", true);
    if (affine) {
      out.values = adj.parameters;
      for (std::size_t i = 0; i < 6; ++i) {
        report += kAffineNames[i];
        report += '\t';
        AppendG15(report, out.values[i]);
        report += '\n';
      }
    } else {
      const long double tx = adj.parameters[0], ty = adj.parameters[1];
      const long double a = adj.parameters[2], b = adj.parameters[3];
      const long double theta = a == 0.0L ? kPi / 2 : std::atan(b / a);
      // b / sin θ is 0 / 0 when b is 0 (θ = 0); the scale is then a / cos 0.
      const long double scale = b == 0.0L ? a : b / std::sin(theta);
      const long double degrees = theta * 180 / kPi;
      for (long double v : {theta, scale, degrees}) {
        if (!std::isfinite(v)) {
          throw ArithmeticFault("arithmetic fault: derived similarity parameter");
        }
      }
      out.values = {tx, ty, degrees, scale};
      static constexpr std::array<std::string_view, 4> kReportNames = {
          "X Origin:\t", "Y origin:\t", "Rotation:\t", "Scl. Fact:\t"};
      for (std::size_t i = 0; i < 4; ++i) {
        report += kReportNames[i];
        AppendG15(report, out.values[i]);
        report += '\n';
      }
    }
    for (long double v : out.values) {
      out.labels.push_back(geodesy::FormatG15(v));
    }
    report.insert(0, std::string(kProductNotice) + "\n");
    out.ok = true;
  } catch (const std::exception&) {
    // A cell that is not a number or an arithmetic fault.
    PlaneEstimate failed;
    failed.message = affine ? kIncorrectData3 : kIncorrectData2;
    return failed;
  }
  return out;
}

// The six per-point sections of the Helmert report, in report order.
enum HelmertSection : std::size_t {
  kAdjustedEcef,
  kDeviationsEcef,
  kResidualsEcef,
  kAdjustedGeodetic,
  kInitialGeodetic,
  kResidualsGeodetic,
  kHelmertSections
};

struct HelmertReportInputs {
  const CoordGrid& grid;
  const std::vector<SpacePair>& points;
  const Adjustment* adj;  // not needed for the initial positions
  long double s0Squared;
  long double a;
  long double f;
  const geodesy::OutputPrecision& precision;
};

// Appends the initial-position lines of the points [first, last) and keeps
// their printed values: these need the input points only, not the
// adjustment.
void WriteInitialLines(const HelmertReportInputs& in, std::size_t first, std::size_t last,
                       std::string& text, std::vector<PrintedGeodetic>& initial) {
  for (std::size_t i = first; i < last; ++i) {
    const auto& w = in.points[i].wgs;
    text += in.grid.Cell(0, i + 1);
    text += '\t';
    initial[i] = AppendGeodeticText(text, w[0], w[1], w[2], in.a, in.f, in.precision);
    text += '\n';
  }
}

// The printed values of the points' positions, initial and adjusted, which
// the last section takes its residuals from.
struct PrintedPositions {
  std::vector<PrintedGeodetic> initial;
  std::vector<PrintedGeodetic> adjusted;
};

// Appends the lines of one section (other than the initial positions) for
// the points [first, last).
void WriteSectionLines(HelmertSection section, const HelmertReportInputs& in, std::size_t first,
                       std::size_t last, std::string& text, PrintedPositions& printed) {
  const int dist = in.precision.distance;
  const Adjustment& adj = *in.adj;
  for (std::size_t i = first; i < last; ++i) {
    text += in.grid.Cell(0, i + 1);
    const auto& w = in.points[i].wgs;
    long double adjusted[3];
    for (std::size_t k = 0; k < 3; ++k) {
      adjusted[k] = w[k] + adj.residuals[3 * i + k];
    }
    switch (section) {
      case kAdjustedEcef:
        for (std::size_t k = 0; k < 3; ++k) {
          text += '\t';
          AppendFixed(text, adjusted[k], dist);
        }
        text += '\n';
        break;
      case kDeviationsEcef:
        for (std::size_t k = 0; k < 3; ++k) {
          const long double sd = std::sqrt(adj.cofactors[3 * i + k] * in.s0Squared);
          if (std::isnan(sd)) {
            throw ArithmeticFault("arithmetic fault: square root of a negative variance");
          }
          text += '\t';
          AppendFixed(text, sd, dist);
        }
        text += '\n';
        break;
      case kResidualsEcef:
        for (std::size_t k = 0; k < 3; ++k) {
          text += '\t';
          AppendFixed(text, adjusted[k] - w[k], dist);
        }
        text += "\t\n";
        break;
      case kAdjustedGeodetic:
        text += '\t';
        printed.adjusted[i] = AppendGeodeticText(text, adjusted[0], adjusted[1], adjusted[2], in.a,
                                                 in.f, in.precision);
        text += '\n';
        break;
      case kResidualsGeodetic: {
        const PrintedGeodetic& adjusted = printed.adjusted[i];
        const PrintedGeodetic& initial = printed.initial[i];
        // The residuals in metres north and east, from the lengths of a
        // second of arc at the mean position: from the closed forms where
        // their text is certain, otherwise from Vincenty's lines (the same
        // text, slower).
        const long double latM = (adjusted.lat + initial.lat) / 2;
        const long double lonM = (adjusted.lon + initial.lon) / 2;
        const long double dLat = (adjusted.lat - initial.lat) * 3600;
        const long double dLon = (adjusted.lon - initial.lon) * 3600;
        const long double up = adjusted.h - initial.h;
        if (!std::isfinite(up)) {
          throw ArithmeticFault("arithmetic fault: ellipsoidal residual");
        }
        text += '\t';
        const std::size_t start = text.size();
        bool certain = false;
        if (const auto quick = QuickSecondLengths(in.a, in.f, latM, lonM)) {
          certain = AppendCertainProduct(text, dLat, quick->north, dist);
          if (certain) {
            text += '\t';
            certain = AppendCertainProduct(text, dLon, quick->east, dist);
          }
        }
        if (!certain) {
          text.resize(start);
          const auto lengths = VincentySecondLengths(in.a, in.f, latM, lonM);
          if (!lengths) {
            throw ArithmeticFault("arithmetic fault: no geodesic distance");
          }
          const long double north = dLat * lengths->north;
          const long double east = dLon * lengths->east;
          if (!std::isfinite(north) || !std::isfinite(east)) {
            throw ArithmeticFault("arithmetic fault: ellipsoidal residual");
          }
          AppendFixed(text, north, dist);
          text += '\t';
          AppendFixed(text, east, dist);
        }
        text += '\t';
        AppendFixed(text, up, dist);
        text += '\n';
        break;
      }
      case kInitialGeodetic:
      case kHelmertSections:
        break;
    }
  }
}

}  // namespace

std::string_view PlaneLoadMessage(PlaneModel model, std::size_t rowCount) {
  const std::size_t points = rowCount > 0 ? rowCount - 1 : 0;
  const std::size_t single = model == PlaneModel::kAffine ? 3 : 2;
  if (points == single) {
    return kSingleSolution;
  }
  if (points < single) {
    return kIncorrectFile;
  }
  return {};
}

std::string_view HelmertLoadMessage(std::size_t rowCount) {
  return rowCount > 3 ? std::string_view{} : kIncorrectFile;
}

PlaneEstimate EstimateAffine(const CoordGrid& grid) {
  return EstimatePlane(grid, PlaneModel::kAffine);
}

PlaneEstimate EstimateSimilarity(const CoordGrid& grid) {
  return EstimatePlane(grid, PlaneModel::kSimilarity);
}

HelmertEstimate EstimateHelmert(const CoordGrid& grid, const HelmertInputs& inputs) {
  HelmertEstimate out;
  if (grid.RowCount() < 4 || grid.ColCount() < 7) {
    out.message = kNoSolution3;
    return out;
  }
  try {
    const geodesy::OutputPrecision& precision = inputs.precision;
    const int dist = precision.distance;
    std::string& report = out.report;
    // The echo, six sections of a name and three numbers per point: room
    // for numbers of up to 20 characters, of which only what the report is
    // certain to fill is made ready ahead; the rest faults in as written.
    const std::size_t echo = EchoBytes(grid);
    std::size_t nameBytes = 0;
    for (std::size_t row = 1; row < grid.RowCount(); ++row) {
      nameBytes += grid.Cell(0, row).size();
    }
    const std::size_t pointCount = grid.RowCount() - 1;
    report.reserve(echo + 6 * nameBytes + 6 * (3 * 21 + 2) * pointCount + 1024);
    // The report's pages are faulted in by a helper thread while the points
    // are read and adjusted, instead of one by one as the report is written.
    // Clearing pages the report will not use costs as much as clearing the
    // ones it will, so the helper stops at the least the sections can take:
    // every number at least a digit, a point and its decimals after a tab,
    // each line ended, the tab after the last residual.
    const auto least = [](int decimals) -> std::size_t {
      return decimals > 0 ? static_cast<std::size_t>(decimals) + 3 : 2;
    };
    const std::size_t leastPerPoint = 6 + 1 + 12 * least(dist) + 6 * least(precision.degrees);
    const std::size_t ready =
        std::min(report.capacity(), echo + 6 * nameBytes + leastPerPoint * pointCount + 1024);
    std::optional<platform::PageWarmer> warmer;
    warmer.emplace(report.data(), ready);
    AppendLine(report, "INVERSE 3-D HELMERT SOLUTION WITH LEAST SQUARE CALCULATION REPORT");
    report += '\n';
    AppendLine(report, "INITIAL CONTROL POINTS IN CARTESIAN COORDINATE SYSTEM");
    AppendEcho(report, grid);

    const std::vector<SpacePair> points = ReadSpacePairs(grid);
    const std::size_t n = points.size();
    const long double a = ParseLeadingNumber(inputs.semiMajor);
    const long double f = 1.0L / ParseLeadingNumber(inputs.inverseFlattening);
    if (!std::isfinite(f)) {
      throw ArithmeticFault("arithmetic fault: inverse flattening");
    }

    // The per-point lines are written section by section, each section's
    // points shared among threads in consecutive slices: the first slice
    // writes straight onto the end of the report, the others into buffers
    // of their own (kept from section to section), appended in order after
    // it. The section of the initial positions needs no adjustment: while
    // this thread adjusts, a second one writes it chunk by chunk from the
    // first point on, and stops when the adjustment is done; the slices
    // write the rest.
    const unsigned threads = SliceCount(inputs.threads, n);
    std::vector<std::string> initialText(threads);
    std::vector<std::string> buffers(threads);
    const auto prepare = [&](std::string& text) {
      text.reserve(n / threads * 72 + 72);
      platform::AdviseHugePages(text.data(), text.capacity());
    };
    for (unsigned slice = 0; slice < threads; ++slice) {
      prepare(initialText[slice]);
      if (slice > 0) {  // the first slice writes into the report itself
        prepare(buffers[slice]);
      }
    }
    PrintedPositions printed;
    for (std::vector<PrintedGeodetic>* values : {&printed.initial, &printed.adjusted}) {
      values->reserve(n);
      platform::AdviseHugePages(values->data(), n * sizeof(PrintedGeodetic));
      values->resize(n);
    }
    HelmertReportInputs reportInputs{grid, points, nullptr, 0.0L, a, f, precision};
    constexpr std::size_t kChunk = 8192;
    std::atomic<std::size_t> chunksTaken{0};
    std::atomic<bool> adjusted{false};
    std::exception_ptr initialFault;
    const auto writeInitial = [&] {
      try {
        while (!adjusted.load(std::memory_order_relaxed)) {
          const std::size_t chunk = chunksTaken.fetch_add(1);
          const std::size_t from = chunk * kChunk;
          if (from >= n) {
            return;
          }
          const std::size_t to = std::min(n, from + kChunk);
          for (unsigned slice = 0; slice < threads; ++slice) {
            const std::size_t first = std::max(from, n * slice / threads);
            const std::size_t last = std::min(to, n * (slice + 1) / threads);
            if (first < last) {
              WriteInitialLines(reportInputs, first, last, initialText[slice], printed.initial);
            }
          }
        }
      } catch (...) {
        initialFault = std::current_exception();
      }
    };
    std::jthread initialWriter;
    if (threads > 1) {
      try {
        initialWriter = std::jthread(writeInitial);
      } catch (const std::system_error&) {
        // No second thread: the slices write the whole section.
      }
    }

    // Pass 1 at unit scale gives the scale at which pass 2 evaluates the
    // rotation columns; there is no further iteration.
    const long double k1 = HelmertParametersOnly(points, 1.0L)[0];
    const Adjustment adj = AdjustHelmert(points, k1);
    for (std::size_t i = 0; i < 7; ++i) {
      out.fitted[i] = adj.parameters[i];
    }
    out.omega = adj.omega;
    const long double dof = static_cast<long double>(3 * static_cast<long long>(n) - 7);
    const long double s0Squared = adj.omega / dof;

    adjusted.store(true, std::memory_order_relaxed);
    if (initialWriter.joinable()) {
      initialWriter.join();
    }
    if (initialFault) {
      std::rethrow_exception(initialFault);
    }
    // The report may move if its numbers turn out longer than reserved for.
    warmer.reset();
    // Every chunk taken was written whole.
    const std::size_t initialDone = std::min(n, chunksTaken.load() * kChunk);
    reportInputs.adj = &adj;
    reportInputs.s0Squared = s0Squared;
    static constexpr std::array<std::string_view, kHelmertSections> kHeadings = {
        "ADJUSTED WGS-84 ECEF COORDINATES",
        "STANDARD DEVIATIONS OF ADJUSTED ECEF COORDINATES",
        "RESIDUALS OF WGS-84 CARTESIAN COORDINATES",
        "ADJUSTED WGS-84 ELLIPSOIDAL COORDINATES (DECIMAL DEGREES & METERS)",
        "INITIAL WGS-84 ELLIPSOIDAL COORDINATES (DECIMAL DEGREES & METERS)",
        "RESIDUALS OF ELLIPSOIDAL COORDINATES (METERS)"};
    for (std::size_t index = 0; index < kHelmertSections; ++index) {
      const auto section = static_cast<HelmertSection>(index);
      AppendHeading(report, kHeadings[section], false);
      const bool initial = section == kInitialGeodetic;
      std::vector<std::string>& parts = initial ? initialText : buffers;
      ForEachSlice(n, threads, [&](unsigned slice, std::size_t first, std::size_t last) {
        std::string& text = slice == 0 ? report : parts[slice];
        if (!initial) {
          WriteSectionLines(section, reportInputs, first, last, text, printed);
          return;
        }
        if (slice == 0) {
          report += initialText[0];
          std::string().swap(initialText[0]);
        }
        if (initialDone < last) {
          WriteInitialLines(reportInputs, std::max(first, initialDone), last, text,
                            printed.initial);
        }
      });
      for (unsigned slice = 1; slice < threads; ++slice) {
        report += parts[slice];
        parts[slice].clear();
      }
    }
    initialText.clear();
    buffers.clear();

    // Published: the fitted transformation negated.
    out.published[0] = -(out.fitted[0] - 1) * 1000000;
    for (std::size_t i = 1; i < 4; ++i) {
      out.published[i] = -out.fitted[i] * 180 / kPi * 3600;
    }
    for (std::size_t i = 4; i < 7; ++i) {
      out.published[i] = -out.fitted[i];
    }
    for (long double v : out.published) {
      if (!std::isfinite(v)) {
        throw ArithmeticFault("arithmetic fault: published parameter");
      }
    }
    AppendHeading(report, "ESTIMATED TRANSFORMATION PARAMETERS", false);
    report += "Scale Diff:\t";
    AppendFixed(report, out.published[0], 3);
    report += " ppm\n";
    static constexpr std::array<std::string_view, 3> kAxes = {"X", "Y", "Z"};
    for (std::size_t i = 0; i < 3; ++i) {
      report += kAxes[i];
      report += " Rotation:\t";
      AppendFixed(report, out.published[1 + i], precision.seconds);
      report += " ''\n";
    }
    for (std::size_t i = 0; i < 3; ++i) {
      report += kAxes[i];
      report += " Shifting:\t";
      AppendFixed(report, out.published[4 + i], dist);
      report += " m\n";
    }
    AppendLine(report, "PLEASE TEST THE PARAMETERS BEFORE USE");
    AppendLine(report, kProductNotice);

    out.labels[0] = geodesy::FormatFixed(out.published[0], 3);
    for (std::size_t i = 1; i < 4; ++i) {
      out.labels[i] = geodesy::FormatFixed(out.published[i], 3);
    }
    for (std::size_t i = 4; i < 7; ++i) {
      out.labels[i] = geodesy::FormatFixed(out.published[i], dist);
    }
    out.ok = true;
  } catch (const std::exception&) {
    HelmertEstimate failed;
    failed.message = kIncorrectData3;
    return failed;
  }
  return out;
}

std::array<std::string, 7> NewDatumParameters(const HelmertEstimate& estimate) {
  std::array<std::string, 7> texts;
  texts[0] = geodesy::FormatG15((estimate.fitted[0] - 1) * 1000000);
  for (std::size_t i = 1; i < 4; ++i) {
    texts[i] = geodesy::FormatG15(estimate.fitted[i] * 180 / kPi * 3600);
  }
  for (std::size_t i = 4; i < 7; ++i) {
    texts[i] = geodesy::FormatG15(estimate.fitted[i]);
  }
  return texts;
}

}  // namespace halvex::geotools
