// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/lsq/Estimations.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "geodesy/DatumTransform.hpp"
#include "geodesy/Geocentric.hpp"
#include "geodesy/Helmert.hpp"
#include "geodesy/NumberText.hpp"
#include "geotools/lsq/LeastSquares.hpp"

namespace halvex::geotools {
namespace {

using geodesy::CoordGrid;

CoordGrid ControlGrid(std::initializer_list<std::initializer_list<std::string_view>> rows) {
  CoordGrid grid(5, 1);
  geodesy::SetGridHeader(grid, "No X(E)old Y(N)old  X(E)new Y(N)new");
  for (const auto& row : rows) {
    grid.AppendRow(row);
  }
  return grid;
}

constexpr std::string_view kAffineEcho =
    "No\tX(E)old\tY(N)old\tX(E)new\tY(N)new\t\n"
    "1\t0\t0\t10\t20\t\n"
    "2\t1\t0\t12\t20\t\n"
    "3\t0\t1\t10\t23\t\n";

TEST(AffineEstimate, ThreePointsGiveTheExactSolutionAndOnlyTheParameters) {
  const CoordGrid grid = ControlGrid(
      {{"1", "0", "0", "10", "20"}, {"2", "1", "0", "12", "20"}, {"3", "0", "1", "10", "23"}});
  const PlaneEstimate e = EstimateAffine(grid);
  ASSERT_TRUE(e.ok) << e.message;
  EXPECT_EQ(e.degreesOfFreedom, 0);
  // Gauss-Jordan leaves rounding of the order of 1e-18 where the exact
  // value is 0.
  const long double exact[6] = {10, 2, 0, 20, 0, 3};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_NEAR(static_cast<double>(e.values[i]), static_cast<double>(exact[i]), 1e-15);
    EXPECT_EQ(e.labels[i], geodesy::FormatG15(e.values[i]));
  }
  EXPECT_EQ(e.report, std::string("Halvex Geodesy Kit 2026\n"
                                  "SIX PARAMETER 2-D GENERAL AFFINE TRANSFORMATION CALCULATION "
                                  "REPORT\n"
                                  "\n"
                                  "INPUT DATA; IDENTICAL CONTROL POINTS IN BOTH SYSTEM\n"
                                  "\n") +
                          std::string(kAffineEcho) +
                          "\n"
                          "TRANSFORMATION PARAMETERS\n"
                          "\n"
                          "A0:\t" +
                          e.labels[0] + "\nA1:\t" + e.labels[1] + "\nA2:\t" + e.labels[2] +
                          "\nB0:\t" + e.labels[3] + "\nB1:\t" + e.labels[4] + "\nB2:\t" +
                          e.labels[5] + "\n");
}

TEST(AffineEstimate, OverdeterminedReportHasTheAdjustmentSections) {
  // Four points of an exact affine map plus 0.004 on one target easting.
  // The corners of a unit square leave one pattern (+1, −1, −1, +1) outside
  // the plane's span; the easting misfit (0, 0, 0, 0.004) has 0.001 of it,
  // so the residuals are −0.001·(1, −1, −1, 1) and the fitted plane is
  // 9.999 + 2.002·x + 0.002·y; the northings fit exactly.
  const CoordGrid grid = ControlGrid({{"1", "0", "0", "10", "20"},
                                      {"2", "1", "0", "12", "20"},
                                      {"3", "0", "1", "10", "23"},
                                      {"4", "1", "1", "12.004", "23"}});
  const PlaneEstimate e = EstimateAffine(grid);
  ASSERT_TRUE(e.ok) << e.message;
  EXPECT_EQ(e.degreesOfFreedom, 2);
  // Ω = 4 · 0.001², s0² = Ω / 2, shared by eastings and northings; the
  // cofactor of a square's corner is 3/4, so every standard deviation is
  // √(3/4 · 2e-6) = 0.0012.
  EXPECT_NEAR(static_cast<double>(e.omega), 4e-6, 1e-15);
  const std::string expected =
      "Halvex Geodesy Kit 2026\n"
      "SIX PARAMETER 2-D GENERAL AFFINE TRANSFORMATION CALCULATION REPORT\n"
      "\n"
      "INPUT DATA; IDENTICAL CONTROL POINTS IN BOTH SYSTEM\n"
      "\n"
      "No\tX(E)old\tY(N)old\tX(E)new\tY(N)new\t\n"
      "1\t0\t0\t10\t20\t\n"
      "2\t1\t0\t12\t20\t\n"
      "3\t0\t1\t10\t23\t\n"
      "4\t1\t1\t12.004\t23\t\n"
      "\n"
      "ADJUSTED COORDINATES\n"
      "\n"
      "1\t9.999\t20.000\n"
      "2\t12.001\t20.000\n"
      "3\t10.001\t23.000\n"
      "4\t12.003\t23.000\n"
      "\n"
      "STANDARD DEVIATIONS OF ADJUSTED COORDINATES\n"
      "\n"
      "1\t0.001\t0.001\n"
      "2\t0.001\t0.001\n"
      "3\t0.001\t0.001\n"
      "4\t0.001\t0.001\n"
      "\n"
      "RESIDUALS OF TARGET COORDINATES\n"
      "\n"
      "1\t-0.001\t0.000\n"
      "2\t0.001\t0.000\n"
      "3\t0.001\t0.000\n"
      "4\t-0.001\t0.000\n"
      "\n"
      "TRANSFORMATION PARAMETERS\n"
      "\n";
  ASSERT_GE(e.report.size(), expected.size());
  EXPECT_EQ(e.report.substr(0, expected.size()), expected);
  EXPECT_NEAR(static_cast<double>(e.values[0]), 9.999, 1e-12);
  EXPECT_NEAR(static_cast<double>(e.values[1]), 2.002, 1e-12);
  EXPECT_NEAR(static_cast<double>(e.values[2]), 0.002, 1e-12);
}

TEST(AffineEstimate, FailuresGiveThePageWarnings) {
  EXPECT_EQ(EstimateAffine(ControlGrid({{"1", "0", "0", "10", "20"}, {"2", "1", "0", "12", "20"}}))
                .message,
            kNoSolution3);
  const PlaneEstimate text = EstimateAffine(ControlGrid(
      {{"1", "0", "0", "10", "20"}, {"2", "1", "0", "12", "x"}, {"3", "0", "1", "10", "23"}}));
  EXPECT_FALSE(text.ok);
  EXPECT_EQ(text.message, kIncorrectData3);
  EXPECT_TRUE(text.labels.empty());
  // Collinear points: the normal matrix is singular.
  const PlaneEstimate line = EstimateAffine(ControlGrid(
      {{"1", "0", "0", "10", "20"}, {"2", "1", "1", "12", "20"}, {"3", "2", "2", "10", "23"}}));
  EXPECT_EQ(line.message, kIncorrectData3);
  EXPECT_EQ(PlaneLoadMessage(PlaneModel::kAffine, 4), kSingleSolution);
  EXPECT_EQ(PlaneLoadMessage(PlaneModel::kAffine, 3), kIncorrectFile);
  EXPECT_EQ(PlaneLoadMessage(PlaneModel::kAffine, 5), "");
  EXPECT_EQ(PlaneLoadMessage(PlaneModel::kSimilarity, 3), kSingleSolution);
  EXPECT_EQ(PlaneLoadMessage(PlaneModel::kSimilarity, 2), kIncorrectFile);
  EXPECT_EQ(HelmertLoadMessage(3), kIncorrectFile);
  EXPECT_EQ(HelmertLoadMessage(4), "");
}

TEST(SimilarityEstimate, TwoPointsGiveRotationAndScale) {
  const PlaneEstimate e =
      EstimateSimilarity(ControlGrid({{"1", "0", "0", "10", "20"}, {"2", "1", "0", "11", "19"}}));
  ASSERT_TRUE(e.ok) << e.message;
  EXPECT_EQ(e.degreesOfFreedom, 0);
  EXPECT_NEAR(static_cast<double>(e.values[0]), 10, 1e-15);
  EXPECT_NEAR(static_cast<double>(e.values[1]), 20, 1e-15);
  EXPECT_NEAR(static_cast<double>(e.values[2]), 45, 1e-13);
  EXPECT_NEAR(static_cast<double>(e.values[3]), std::sqrt(2.0), 1e-15);
  const std::string tail = "\nTRANSFORMATION PARAMETERS\n\nX Origin:\t" + e.labels[0] +
                           "\nY origin:\t" + e.labels[1] + "\nRotation:\t" + e.labels[2] +
                           "\nScl. Fact:\t" + e.labels[3] + "\n";
  EXPECT_EQ(e.report.substr(e.report.size() - tail.size()), tail);
  EXPECT_EQ(e.report.find("ADJUSTED COORDINATES"), std::string::npos);
  EXPECT_EQ(e.report.rfind("Halvex Geodesy Kit 2026\n4 PARAMETERS 2-D SIMILARITY", 0), 0U);
}

TEST(SimilarityEstimate, ScaleWithoutRotationIsKept) {
  // A pure scale by 2.5 about the origin: b is exactly 0, and the scale is
  // a (the page substituted 1).
  const PlaneEstimate e = EstimateSimilarity(ControlGrid(
      {{"1", "0", "0", "0", "0"}, {"2", "4", "0", "10", "0"}, {"3", "0", "4", "0", "10"}}));
  ASSERT_TRUE(e.ok) << e.message;
  ASSERT_EQ(e.unknowns[3], 0.0L);
  EXPECT_EQ(e.labels[2], "0");
  EXPECT_EQ(e.labels[3], "2.5");
}

TEST(SimilarityEstimate, RotationBeyondNinetyDegreesGivesNegativeScale) {
  // 180° rotation with scale 1: a = −1, b = 0 → rotation 0, scale −1.
  const PlaneEstimate e =
      EstimateSimilarity(ControlGrid({{"1", "1", "0", "-1", "0"}, {"2", "0", "1", "0", "-1"}}));
  ASSERT_TRUE(e.ok) << e.message;
  EXPECT_EQ(e.labels[3], "-1");
  // 120°: arctan gives −60° and a negative scale.
  const long double c = -0.5L, s = std::sqrt(3.0L) / 2;
  const PlaneEstimate r = EstimateSimilarity(ControlGrid(
      {{"1", "0", "0", "5", "6"},
       {"2", "100", "0", geodesy::FormatG15(5 + 100 * c), geodesy::FormatG15(6 - 100 * s)}}));
  ASSERT_TRUE(r.ok);
  EXPECT_NEAR(static_cast<double>(r.values[2]), -60, 1e-9);
  EXPECT_NEAR(static_cast<double>(r.values[3]), -1, 1e-12);
}

CoordGrid HelmertGrid() {
  CoordGrid grid(7, 1);
  geodesy::SetGridHeader(grid, "No Xwgs Ywgs Zwgs Xloc Yloc Zloc");
  return grid;
}

// Points on the WGS-84 ellipsoid around the Aegean, ECEF.
const long double kPoints[][3] = {{38.0L, 23.5L, 120.0L}, {39.2L, 26.1L, 40.0L},
                                  {37.1L, 27.4L, 300.0L}, {40.6L, 22.9L, 15.0L},
                                  {36.4L, 25.3L, 550.0L}, {41.0L, 28.9L, 80.0L}};

std::array<long double, 3> Ecef(const long double* geo, long double a, long double f) {
  const std::string text = geodesy::GeodeticToEcef(geo[0], geo[1], geo[2], a, f);
  geodesy::NumberScanner s(text);
  std::array<long double, 3> xyz{};
  s.ReadExtendeds(xyz.data(), 3);
  return xyz;
}

constexpr long double kWgsA = 6378137.0L;
constexpr long double kWgsF = 1.0L / 298.257223563L;

TEST(HelmertEstimate, IdenticalSystemsGiveZeroParameters) {
  CoordGrid grid = HelmertGrid();
  for (std::size_t i = 0; i < 4; ++i) {
    const auto p = Ecef(kPoints[i], kWgsA, kWgsF);
    const std::string x = geodesy::FormatG15(p[0]), y = geodesy::FormatG15(p[1]),
                      z = geodesy::FormatG15(p[2]);
    grid.AppendRow({std::to_string(i + 1), x, y, z, x, y, z});
  }
  const HelmertEstimate e = EstimateHelmert(grid, {});
  ASSERT_TRUE(e.ok) << e.message;
  for (const std::string& label : e.labels) {
    EXPECT_TRUE(label == "0.000" || label == "-0.000") << label;
  }
  EXPECT_LT(static_cast<double>(e.omega), 1e-12);
}

TEST(HelmertEstimate, ShiftIsPublishedNegatedAndReportLaidOut) {
  CoordGrid grid = HelmertGrid();
  for (std::size_t i = 0; i < 3; ++i) {
    const auto p = Ecef(kPoints[i], kWgsA, kWgsF);
    grid.AppendRow({"P" + std::to_string(i + 1), geodesy::FormatG15(p[0]), geodesy::FormatG15(p[1]),
                    geodesy::FormatG15(p[2]), geodesy::FormatG15(p[0] + 100),
                    geodesy::FormatG15(p[1] - 50), geodesy::FormatG15(p[2] + 20)});
  }
  const HelmertEstimate e = EstimateHelmert(grid, {});
  ASSERT_TRUE(e.ok) << e.message;
  EXPECT_NEAR(static_cast<double>(e.fitted[4]), -100, 1e-4);
  EXPECT_NEAR(static_cast<double>(e.fitted[5]), 50, 1e-4);
  EXPECT_NEAR(static_cast<double>(e.fitted[6]), -20, 1e-4);
  EXPECT_EQ(e.labels[4], "100.000");
  EXPECT_EQ(e.labels[5], "-50.000");
  EXPECT_EQ(e.labels[6], "20.000");

  // The report, line by line: its headings in order, each section one line
  // per point, and the closing lines.
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < e.report.size();) {
    const std::size_t end = e.report.find('\n', start);
    lines.push_back(e.report.substr(start, end - start));
    start = end + 1;
  }
  ASSERT_EQ(lines.size(), 4u + 3 + 6 * 5 + 11);
  EXPECT_EQ(lines[0], "INVERSE 3-D HELMERT SOLUTION WITH LEAST SQUARE CALCULATION REPORT");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "INITIAL CONTROL POINTS IN CARTESIAN COORDINATE SYSTEM");
  EXPECT_EQ(lines[3], "No\tXwgs\tYwgs\tZwgs\tXloc\tYloc\tZloc\t");
  const char* headings[] = {"ADJUSTED WGS-84 ECEF COORDINATES",
                            "STANDARD DEVIATIONS OF ADJUSTED ECEF COORDINATES",
                            "RESIDUALS OF WGS-84 CARTESIAN COORDINATES",
                            "ADJUSTED WGS-84 ELLIPSOIDAL COORDINATES (DECIMAL DEGREES & METERS)",
                            "INITIAL WGS-84 ELLIPSOIDAL COORDINATES (DECIMAL DEGREES & METERS)",
                            "RESIDUALS OF ELLIPSOIDAL COORDINATES (METERS)"};
  for (std::size_t s = 0; s < 6; ++s) {
    const std::size_t at = 7 + s * 5;
    EXPECT_EQ(lines[at], "");
    EXPECT_EQ(lines[at + 1], headings[s]);
    EXPECT_EQ(lines[at + 2].rfind("P1\t", 0), 0U) << lines[at + 2];
  }
  // Residual lines end in a tab; the ellipsoidal lines are the geodetic
  // texts of the points (8 decimals of degree, 3 of metre).
  EXPECT_EQ(lines[7 + 2 * 5 + 2].back(), '\t');
  EXPECT_EQ(lines[7 + 4 * 5 + 2], "P1\t38.00000000\t23.50000000\t120.000");
  const std::vector<std::string> closing(lines.end() - 11, lines.end());
  EXPECT_EQ(closing[0], "");
  EXPECT_EQ(closing[1], "ESTIMATED TRANSFORMATION PARAMETERS");
  EXPECT_EQ(closing[2], "Scale Diff:\t" + e.labels[0] + " ppm");
  // Rotations with the seconds decimals (4), the labels with 3.
  EXPECT_EQ(closing[3], "X Rotation:\t" + geodesy::FormatFixed(e.published[1], 4) + " ''");
  EXPECT_EQ(closing[5], "Z Rotation:\t" + geodesy::FormatFixed(e.published[3], 4) + " ''");
  EXPECT_EQ(closing[6], "X Shifting:\t100.000 m");
  EXPECT_EQ(closing[7], "Y Shifting:\t-50.000 m");
  EXPECT_EQ(closing[8], "Z Shifting:\t20.000 m");
  EXPECT_EQ(closing[9], "PLEASE TEST THE PARAMETERS BEFORE USE");
  EXPECT_EQ(closing[10], "Halvex Geodesy Kit 2026");
}

TEST(HelmertEstimate, FailuresGiveThePageWarning) {
  CoordGrid grid = HelmertGrid();
  grid.AppendRow({"1", "1", "2", "3", "1", "2", "3"});
  grid.AppendRow({"2", "4", "5", "6", "4", "5", "6"});
  EXPECT_EQ(EstimateHelmert(grid, {}).message, kNoSolution3);
  grid.AppendRow({"3", "7", "8", "9", "7", "8", "9"});
  grid.AppendRow({"4", "7", "8", "9", "7", "eight", "9"});
  EXPECT_EQ(EstimateHelmert(grid, {}).message, kIncorrectData3);

  CoordGrid good = HelmertGrid();
  for (std::size_t i = 0; i < 4; ++i) {
    const auto p = Ecef(kPoints[i], kWgsA, kWgsF);
    const std::string x = geodesy::FormatG15(p[0]), y = geodesy::FormatG15(p[1]),
                      z = geodesy::FormatG15(p[2]);
    good.AppendRow({std::to_string(i + 1), x, y, z, x, y, z});
  }
  HelmertInputs badEllipsoid;
  badEllipsoid.inverseFlattening = "flat";
  EXPECT_EQ(EstimateHelmert(good, badEllipsoid).message, kIncorrectData3);
  badEllipsoid.inverseFlattening = "0";
  EXPECT_EQ(EstimateHelmert(good, badEllipsoid).message, kIncorrectData3);
}

// Control points made with a known datum, estimated, stored as a new datum:
// converting WGS-84 points into it must give back the local coordinates.
TEST(HelmertEstimate, NewDatumFromTheEstimateReproducesTheLocalDatum) {
  // International 1924 with a shift of the usual size; rotations of a
  // fraction of a second keep the linearised model within 0.1 mm.
  const long double a = 6378388.0L, invF = 297.0L;
  const std::string params = "2.5 0.35 -0.12 0.45 -87.3 -98.1 -121.7";
  CoordGrid grid = HelmertGrid();
  std::vector<std::array<long double, 3>> local;
  for (std::size_t i = 0; i < 6; ++i) {
    const auto l = Ecef(kPoints[i], a, 1.0L / invF);
    local.push_back(l);
    const std::string xyz =
        geodesy::FormatG15(l[0]) + " " + geodesy::FormatG15(l[1]) + " " + geodesy::FormatG15(l[2]);
    const std::string shifted = geodesy::HelmertTransform("WGS", xyz + " " + params);
    geodesy::NumberScanner w(shifted);
    long double wgs[3];
    ASSERT_EQ(w.ReadExtendeds(wgs, 3), 3);
    grid.AppendRow({std::to_string(i + 1), geodesy::FormatG15(wgs[0]), geodesy::FormatG15(wgs[1]),
                    geodesy::FormatG15(wgs[2]), geodesy::FormatG15(l[0]), geodesy::FormatG15(l[1]),
                    geodesy::FormatG15(l[2])});
  }
  const HelmertEstimate e = EstimateHelmert(grid, {});
  ASSERT_TRUE(e.ok) << e.message;
  const std::array<std::string, 7> stored = NewDatumParameters(e);
  EXPECT_NEAR(std::stod(stored[0]), 2.5, 1e-4);
  EXPECT_NEAR(std::stod(stored[4]), -87.3, 1e-3);

  auto pairText = [&](const std::array<std::string, 7>& datum) {
    std::string t = "6378137 " + geodesy::FormatG15(kWgsF) + " 0 0 0 0 0 0 0 " +
                    geodesy::FormatG15(a) + " " + geodesy::FormatG15(1.0L / invF);
    for (const std::string& v : datum) {
      t += " " + v;
    }
    return t;
  };
  // The largest distance (metres) between a local point and the WGS-84
  // point converted into the datum with these parameters.
  auto worstError = [&](const std::array<std::string, 7>& datum) {
    const std::string pair = pairText(datum);
    const geodesy::OutputPrecision fine{6, 10, 6, 4};
    long double worst = 0.0L;
    for (std::size_t i = 0; i < 6; ++i) {
      std::string wgsText;
      for (std::size_t k = 1; k <= 3; ++k) {
        wgsText += std::string(grid.Cell(k, i + 1)) + " ";
      }
      geodesy::NumberScanner w(wgsText);
      long double xyz[3];
      w.ReadExtendeds(xyz, 3);
      const std::string geo = geodesy::EcefToGeodetic(xyz[0], xyz[1], xyz[2], kWgsA, kWgsF, fine);
      const std::string converted = geodesy::DatumTransformGeodetic("XYZ", geo, pair, fine);
      geodesy::NumberScanner r(converted);
      long double got[3];
      EXPECT_EQ(r.ReadExtendeds(got, 3), 3);
      const long double dx = got[0] - local[i][0], dy = got[1] - local[i][1],
                        dz = got[2] - local[i][2];
      worst = std::max(worst, std::sqrt(dx * dx + dy * dy + dz * dz));
    }
    return worst;
  };
  EXPECT_LT(static_cast<double>(worstError(stored)), 0.001);
  // The published texts as they stand on the labels (negated): the datum
  // would be shifted twice its offset the wrong way.
  std::array<std::string, 7> published;
  for (std::size_t i = 0; i < 7; ++i) {
    published[i] = e.labels[i];
  }
  EXPECT_GT(static_cast<double>(worstError(published)), 300.0);
}

}  // namespace
}  // namespace halvex::geotools
