// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/DatumFileOptions.hpp"

#include <array>

#include "geodesy/DatumDefinition.hpp"
#include "geodesy/NumberText.hpp"

namespace halvex::tools {
namespace {

namespace g = halvex::geodesy;

// What each line of a datum file holds, for messages.
constexpr std::array<std::string_view, g::kDatumFieldCount> kLineMeanings = {
    "name",    "scale difference", "rotation X", "rotation Y",      "rotation Z",
    "shift X", "shift Y",          "shift Z",    "semi-major axis", "inverse flattening"};

std::string Load(std::string_view option, const std::string& file, g::DatumFields& fields) {
  const g::DatumFileLoad load = g::LoadDatumFile(file, fields);
  if (!load.error.empty()) {
    return "--" + std::string(option) + ": " + load.error;
  }
  return {};
}

// The message for a field of `file` that failed.
std::string FieldError(const std::string& file, const g::DatumFields& fields, g::DatumField field) {
  const auto line = static_cast<std::size_t>(field);
  const std::string& text = fields.Get(field);
  return "datum file '" + file + "', line " + std::to_string(line + 1) + " (" +
         std::string(kLineMeanings[line]) + ") \"" + text + "\": " +
         (g::IsExactlyOneNumber(text) ? "gives no flattening (must not be zero)"
                                      : "not one number");
}

}  // namespace

std::string DatumFileOptionTexts(std::string_view subcommand, const std::string& fromFile,
                                 const std::string& toFile, DatumFileTexts& texts) {
  g::DatumFields from;
  g::DatumFields to;
  std::string error = Load("from-datum", fromFile, from);
  if (error.empty()) {
    error = Load("to-datum", toFile, to);
  }
  if (!error.empty()) {
    return error;
  }
  const bool reversed = subcommand == "datum-ecef";
  const g::PairResult pair = reversed ? g::DatumPairOf(to, from) : g::DatumPairOf(from, to);
  if (!pair.Ok()) {
    // Side A is the pair's first datum.
    const bool ofFrom = (pair.side == g::DatumSide::kA) != reversed;
    return FieldError(ofFrom ? fromFile : toFile, ofFrom ? from : to, pair.field);
  }
  texts.pair = pair.text;
  const bool grid = subcommand == "to-grid" || subcommand == "from-grid";
  if (grid) {
    const bool ofTo = subcommand == "to-grid";
    const g::PairResult ellipsoid = g::EllipsoidOf(ofTo ? to : from);
    if (!ellipsoid.Ok()) {
      return FieldError(ofTo ? toFile : fromFile, ofTo ? to : from, ellipsoid.field);
    }
    texts.ellipsoid = ellipsoid.text;
  }
  return {};
}

}  // namespace halvex::tools
