// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One input line of geokit-cli to its output line: the core operation of
// the subcommand, and the checks that tell a result from an answer to an
// impossible question. A line whose latitude lies beyond ±90°, or whose
// result holds a number that is not finite (as a double), a latitude beyond
// ±90° or fewer numbers than the result has, gets the subcommand's failure
// text and counts as failed; every other line gets the core's text as it is.

#include <array>
#include <string>
#include <string_view>

#include "tools/GeokitOptions.hpp"

namespace halvex::tools::geokit {

// Why a line has no result.
enum class LineFailure {
  kNone,
  kNoResult,          // the core operation gave its failure text
  kLatitudeRange,     // an input latitude beyond ±90°
  kResultOutOfRange,  // a result that is not a finite point
};

// The result of one input line: the text to write, and whether it counts as
// a result.
struct LineResult {
  std::string text;
  LineFailure failure = LineFailure::kNone;

  bool ok() const { return failure == LineFailure::kNone; }
};

// The failure text of a subcommand: "0", or the empty line of geodetic.
std::string_view FailureText(Op op);

// Converts lines with the operation of one subcommand. Not shared between
// threads: each keeps scratch texts of its own.
class Converter {
 public:
  explicit Converter(const Settings& s);

  LineResult Convert(std::string_view line);

 private:
  LineResult Compute(std::string_view line);
  LineResult ScaleConvergence(std::string_view line) const;
  bool LatitudesInRange(std::string_view line) const;
  bool ResultInRange(std::string_view text) const;

  const Settings& s_;
  std::array<double, 5> tm_{};  // the projection numbers of scale-convergence
  int latitudeReads_ = 0;       // numbers of a line to read for its latitudes
  int resultNumbers_ = 0;       // how many numbers a result holds
  bool resultHasLatitude_ = false;
  std::string scratch_;
};

}  // namespace halvex::tools::geokit
