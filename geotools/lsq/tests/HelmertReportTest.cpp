// SPDX-License-Identifier: GPL-3.0-or-later
//
// The Helmert report is made in parallel slices with shared intermediate
// results; here it is compared, byte for byte, with the same report written
// point by point through the geodesy library's text functions.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "geodesy/Angles.hpp"
#include "geodesy/CoordGrid.hpp"
#include "geodesy/Geocentric.hpp"
#include "geodesy/Geodesic.hpp"
#include "geodesy/NumberText.hpp"
#include "geotools/lsq/Estimations.hpp"
#include "geotools/lsq/LeastSquares.hpp"
#include "geotools/lsq/tests/TestEarths.hpp"

namespace halvex::geotools {
namespace {

using geodesy::CoordGrid;

using testing::Random;

// `count` control points spread over several degrees, heights from below
// the ellipsoid to a few kilometres, a datum shift with rotations and scale,
// and residuals up to a metre (so that the adjusted and initial positions
// differ in the printed decimals).
CoordGrid RandomControl(std::size_t count, std::uint64_t seed) {
  Random random{seed};
  CoordGrid grid(7, 1);
  geodesy::SetGridHeader(grid, "No Xwgs Ywgs Zwgs Xloc Yloc Zloc");
  const long double a = 6378388.0L, f = 1.0L / 297.0L;
  for (std::size_t i = 0; i < count; ++i) {
    const long double lat = -60 + 130 * random.Next(), lon = -180 + 360 * random.Next();
    const long double h = -50 + 3000 * random.Next();
    const std::string local = geodesy::GeodeticToEcef(lat, lon, h, a, f);
    geodesy::NumberScanner scanner(local);
    long double x = 0, y = 0, z = 0;
    scanner.ReadExtended(x);
    scanner.ReadExtended(y);
    scanner.ReadExtended(z);
    const long double k = 1 + 3.1e-6L, rx = 1.7e-6L, ry = -5.8e-7L, rz = 2.2e-6L;
    const long double X = k * x + rz * y - ry * z - 87.3L + (random.Next() - 0.5L);
    const long double Y = -rz * x + k * y + rx * z - 98.1L + (random.Next() - 0.5L);
    const long double Z = ry * x - rx * y + k * z - 121.7L + (random.Next() - 0.5L);
    grid.AppendRow({"P" + std::to_string(i + 1), geodesy::FormatG15(X), geodesy::FormatG15(Y),
                    geodesy::FormatG15(Z), geodesy::FormatG15(x), geodesy::FormatG15(y),
                    geodesy::FormatG15(z)});
  }
  return grid;
}

void AppendFixedTriple(std::string& out, const long double* v, int decimals) {
  for (int k = 0; k < 3; ++k) {
    out += '\t';
    out += geodesy::FormatFixed(v[k], decimals);
  }
}

// The report up to its parameter section, one point at a time: the texts of
// EcefToGeodetic read back with the scanner, the distances of a second of
// arc north and east from the six-argument GeodesicDistance.
std::string PointByPointReport(const CoordGrid& grid, const geodesy::OutputPrecision& precision) {
  const long double a = 6378137.0L, f = 1.0L / 298.257223563L;
  const int dist = precision.distance;
  std::string out = "INVERSE 3-D HELMERT SOLUTION WITH LEAST SQUARE CALCULATION REPORT\n\n";
  out += "INITIAL CONTROL POINTS IN CARTESIAN COORDINATE SYSTEM\n";
  for (std::size_t row = 0; row < grid.RowCount(); ++row) {
    for (std::size_t col = 0; col < grid.ColCount(); ++col) {
      out += std::string(grid.Cell(col, row)) + '\t';
    }
    out += '\n';
  }
  const std::vector<SpacePair> points = ReadSpacePairs(grid);
  const std::size_t n = points.size();
  const Adjustment adj = AdjustHelmert(points, HelmertParametersOnly(points, 1.0L)[0]);
  const long double s0Squared = adj.omega / static_cast<long double>(3 * n - 7);
  std::string sections[6];
  for (std::size_t i = 0; i < n; ++i) {
    const std::string name(grid.Cell(0, i + 1));
    long double adjusted[3], sd[3], residual[3];
    for (std::size_t k = 0; k < 3; ++k) {
      adjusted[k] = points[i].wgs[k] + adj.residuals[3 * i + k];
      sd[k] = std::sqrt(adj.cofactors[3 * i + k] * s0Squared);
      residual[k] = adjusted[k] - points[i].wgs[k];
    }
    sections[0] += name;
    AppendFixedTriple(sections[0], adjusted, dist);
    sections[0] += '\n';
    sections[1] += name;
    AppendFixedTriple(sections[1], sd, dist);
    sections[1] += '\n';
    sections[2] += name;
    AppendFixedTriple(sections[2], residual, dist);
    sections[2] += "\t\n";

    const std::string adjText =
        geodesy::EcefToGeodetic(adjusted[0], adjusted[1], adjusted[2], a, f, precision);
    const auto& w = points[i].wgs;
    const std::string initText = geodesy::EcefToGeodetic(w[0], w[1], w[2], a, f, precision);
    long double adjG[3], initG[3];
    geodesy::NumberScanner adjScanner(adjText), initScanner(initText);
    EXPECT_EQ(adjScanner.ReadExtendeds(adjG, 3), 3);
    EXPECT_EQ(initScanner.ReadExtendeds(initG, 3), 3);
    const long double latM = (adjG[0] + initG[0]) / 2, lonM = (adjG[1] + initG[1]) / 2;
    const auto mN = geodesy::GeodesicDistance(a, f, latM, lonM, latM + geodesy::kInv3600, lonM);
    const auto mE = geodesy::GeodesicDistance(a, f, latM, lonM, latM, lonM + geodesy::kInv3600);
    EXPECT_TRUE(mN && mE);
    const long double enu[3] = {(adjG[0] - initG[0]) * 3600 * mN.value_or(0),
                                (adjG[1] - initG[1]) * 3600 * mE.value_or(0), adjG[2] - initG[2]};
    sections[3] += name + '\t' + adjText + '\n';
    sections[4] += name + '\t' + initText + '\n';
    sections[5] += name;
    AppendFixedTriple(sections[5], enu, dist);
    sections[5] += '\n';
  }
  const char* headings[] = {"ADJUSTED WGS-84 ECEF COORDINATES",
                            "STANDARD DEVIATIONS OF ADJUSTED ECEF COORDINATES",
                            "RESIDUALS OF WGS-84 CARTESIAN COORDINATES",
                            "ADJUSTED WGS-84 ELLIPSOIDAL COORDINATES (DECIMAL DEGREES & METERS)",
                            "INITIAL WGS-84 ELLIPSOIDAL COORDINATES (DECIMAL DEGREES & METERS)",
                            "RESIDUALS OF ELLIPSOIDAL COORDINATES (METERS)"};
  for (int s = 0; s < 6; ++s) {
    out += '\n';
    out += headings[s];
    out += '\n';
    out += sections[s];
  }
  return out;
}

// The part of a report before its parameter section.
std::string PointPart(const std::string& report) {
  const std::size_t end = report.find("\nESTIMATED TRANSFORMATION PARAMETERS\n");
  return end == std::string::npos ? report : report.substr(0, end);
}

// Byte offset and line of the first difference, for a readable failure.
std::string FirstDifference(const std::string& got, const std::string& want) {
  std::size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) {
    ++i;
  }
  const std::size_t from = want.rfind('\n', i == 0 ? 0 : i - 1);
  const std::size_t start = from == std::string::npos ? 0 : from + 1;
  return "at byte " + std::to_string(i) + ": got '" + got.substr(start, 120) + "' want '" +
         want.substr(start, 120) + "'";
}

TEST(HelmertReport, EqualsThePointByPointReportForAnyThreadCount) {
  const CoordGrid grid = RandomControl(3000, 0x9E3779B97F4A7C15ULL);
  for (const geodesy::OutputPrecision& precision :
       {geodesy::OutputPrecision{}, geodesy::OutputPrecision{4, 10, 6, 4},
        geodesy::OutputPrecision{9, 8, 6, 4}}) {
    const std::string expected = PointByPointReport(grid, precision);
    std::string first;
    for (unsigned threads : {1U, 2U, 3U, 7U, 0U}) {
      HelmertInputs inputs;
      inputs.precision = precision;
      inputs.threads = threads;
      const HelmertEstimate e = EstimateHelmert(grid, inputs);
      ASSERT_TRUE(e.ok) << e.message;
      const std::string part = PointPart(e.report);
      EXPECT_TRUE(part == expected)
          << "threads " << threads << " " << FirstDifference(part, expected);
      if (first.empty()) {
        first = e.report;
      } else {
        EXPECT_TRUE(e.report == first) << "threads " << threads;
      }
    }
  }
}

// With several chunks of points the initial positions are written partly
// beside the adjustment and partly by the slices, wherever the adjustment
// happens to end; the report is the same.
TEST(HelmertReport, InitialPositionsWrittenBesideTheAdjustmentReadTheSame) {
  const CoordGrid grid = RandomControl(40000, 0xC0FFEEULL);
  const std::string expected = PointByPointReport(grid, geodesy::OutputPrecision{});
  HelmertInputs inputs;
  inputs.threads = 2;
  const HelmertEstimate e = EstimateHelmert(grid, inputs);
  ASSERT_TRUE(e.ok) << e.message;
  const std::string part = PointPart(e.report);
  EXPECT_TRUE(part == expected) << FirstDifference(part, expected);
}

// A point whose geodetic text cannot be made (on the polar axis) fails the
// estimation with the page's warning, whichever slice it falls in.
TEST(HelmertReport, AFaultInAnySliceFailsTheEstimation) {
  for (std::size_t at : {std::size_t{1}, std::size_t{5000}, std::size_t{9999}}) {
    CoordGrid grid = RandomControl(10000, 7);
    grid.SetCell(1, at, "0");
    grid.SetCell(2, at, "0");
    grid.SetCell(4, at, "0");
    grid.SetCell(5, at, "0");
    HelmertInputs inputs;
    inputs.threads = 4;
    const HelmertEstimate e = EstimateHelmert(grid, inputs);
    EXPECT_FALSE(e.ok) << "row " << at;
    EXPECT_EQ(e.message, kIncorrectData3);
    EXPECT_TRUE(e.report.empty());
  }
}

// Reading the grid in slices still names the first cell that is not a
// number, wherever the slices split the rows.
TEST(HelmertReport, ReadingNamesTheFirstBadCell) {
  CoordGrid grid = RandomControl(12000, 11);
  grid.SetCell(3, 9000, "x9000");
  grid.SetCell(5, 11999, "x11999");
  for (std::size_t first : {std::size_t{7000}, std::size_t{2}}) {
    grid.SetCell(2, first, "bad");
    try {
      ReadSpacePairs(grid);
      ADD_FAILURE() << "no error";
    } catch (const NotANumber& e) {
      EXPECT_NE(std::string(e.what()).find("('bad')"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("row " + std::to_string(first)), std::string::npos)
          << e.what();
    }
  }
}

}  // namespace
}  // namespace halvex::geotools
