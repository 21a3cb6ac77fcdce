// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The three estimations of the geodesy tools, each from its control point
// grid to the parameter label texts and the calculation report:
//
//   affine      X = A0 + A1·x + A2·y,  Y = B0 + B1·x + B2·y
//   similarity  X = tx + a·x + b·y,    Y = ty − b·x + a·y
//               (a = s·cos θ, b = s·sin θ)
//   Helmert     WGS-84 = k·local + s·ω × local + t, linearised at zero
//               rotation (see EstimateHelmert)
//
// A report is plain text, one line per '\n'-terminated line, tabs between
// the fields of a line, exactly as the report window shows and saves it;
// the window adds no formatting of its own.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "geodesy/CoordGrid.hpp"
#include "geodesy/OutputPrecision.hpp"

namespace halvex::geotools {

// The product notice that opens the 2-D reports and closes the Helmert
// report.
inline constexpr std::string_view kProductNotice = "Halvex Geodesy Kit 2026";

// Messages of the pages (line breaks are part of the texts).
inline constexpr std::string_view kSingleSolution =
    "This is a single solution. No adjustment can be done.";
inline constexpr std::string_view kIncorrectFile =
    "Warning: Incorrect coordinate file; \nThe file does not contain sufficient amount of points "
    "required.";
inline constexpr std::string_view kNoSolution3 =
    "Warning: There is no solution; \nThe minimum control points required are 3.";
inline constexpr std::string_view kNoSolution2 =
    "Warning: There is no solution; \nThe minimum control points required are 2.";
inline constexpr std::string_view kIncorrectData3 =
    "Warning: Possibly incorrect data file; \nOpen a coordinate file containing minimum 3 pares "
    "of points.";
inline constexpr std::string_view kIncorrectData2 =
    "Warning: Possibly incorrect data file; \nOpen a coordinate file containing minimum 2 pares "
    "of points.";

enum class PlaneModel { kAffine, kSimilarity };

// The message shown after a control point file was read into a grid of
// `rowCount` rows (header included), or empty when there is none: a single
// solution (3 affine, 2 similarity points) or too few points. The Helmert
// page warns when the grid has 3 rows or fewer.
std::string_view PlaneLoadMessage(PlaneModel model, std::size_t rowCount);
std::string_view HelmertLoadMessage(std::size_t rowCount);

// The captions of the name labels beside the parameter values.
inline constexpr std::array<std::string_view, 6> kAffineNames = {
    "A0:", "A1:", "A2:", "B0:", "B1:", "B2:"};
inline constexpr std::array<std::string_view, 4> kSimilarityNames = {
    "Xsour. orj.:", "Ysour. orj.:", "Rotation:", "Scale:"};

struct PlaneEstimate {
  bool ok = false;
  // On failure the page's warning; the labels then keep what they held.
  std::string message;
  // Affine: A0 A1 A2 B0 B1 B2. Similarity: tx, ty, rotation (degrees),
  // scale factor.
  std::vector<long double> values;
  // The values as the labels show them (15 significant digits).
  std::vector<std::string> labels;
  // The least-squares unknowns (affine: the values; similarity: tx ty a b).
  std::vector<long double> unknowns;
  long long degreesOfFreedom = 0;
  long double omega = 0.0L;
  std::string report;
};

// Estimates from a control point grid (columns No, x, y, X, Y; rows 1..n).
PlaneEstimate EstimateAffine(const geodesy::CoordGrid& grid);
PlaneEstimate EstimateSimilarity(const geodesy::CoordGrid& grid);

// The Helmert page's inputs besides the grid: the captions of the WGS-84
// ellipsoid labels (parsed at each estimation) and the output decimals.
struct HelmertInputs {
  std::string semiMajor = "6378137";
  std::string inverseFlattening = "298.257223563";
  geodesy::OutputPrecision precision;
  // Threads for the per-point report work (0: one per processor, at most
  // 8, fewer for small grids). The report is the same for any count.
  unsigned threads = 0;
};

struct HelmertEstimate {
  bool ok = false;
  std::string message;
  // The fitted unknowns k, ωx, ωy, ωz (radians), tx, ty, tz (metres): the
  // transformation that carries local coordinates to WGS-84.
  std::array<long double, 7> fitted{};
  // The published values, each the fitted one negated: scale difference
  // (ppm), rotations (arc-seconds), shifts (metres).
  std::array<long double, 7> published{};
  // Label texts of scale, rx, ry, rz, dx, dy, dz.
  std::array<std::string, 7> labels;
  long double omega = 0.0L;
  std::string report;
};

HelmertEstimate EstimateHelmert(const geodesy::CoordGrid& grid, const HelmertInputs& inputs);

// The seven datum parameter texts that Set As New Datum stores: scale
// difference (ppm), rotations (arc-seconds), shifts (metres) of the fitted
// transformation, local datum to WGS-84, with 15 significant digits. These
// are the parameters the datum transformation applies towards WGS-84; the
// published (negated, rounded) label texts would shift the datum the wrong
// way.
std::array<std::string, 7> NewDatumParameters(const HelmertEstimate& estimate);

}  // namespace halvex::geotools
