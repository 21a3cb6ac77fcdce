// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The two datums of the datum definition window as the conversion pages see
// them, in the form the windows hold them: a thin layer over
// geodesy/DatumDefinition.hpp (selectors, pair and ellipsoid texts).

#include <optional>
#include <string>
#include <string_view>

#include "geodesy/DatumDefinition.hpp"

namespace halvex::geotools {

// The ten fields of one datum, as typed.
struct DatumDefinition {
  std::string name;
  std::string a;                  // semi-major axis (m)
  std::string inverseFlattening;  // 1/f
  std::string ds;                 // scale difference (ppm)
  std::string rx, ry, rz;         // rotations (arc-seconds)
  std::string dx, dy, dz;         // shifts (m)

  friend bool operator==(const DatumDefinition&, const DatumDefinition&) = default;
};

inline constexpr std::string_view kSelectorPrompt = geodesy::kSelectDatumPrompt;
inline constexpr std::string_view kEqualNamesMessage = geodesy::kSameNamesMessage;

geodesy::DatumFields ToDatumFields(const DatumDefinition& datum);
DatumDefinition FromDatumFields(const geodesy::DatumFields& fields);

enum class SelectorColour { kAqua, kLime, kRed };

// The text a selector shows after a click: datum A's name unless it shows
// that already, then datum B's.
std::string ToggledSelector(std::string_view selector, const DatumDefinition& a,
                            const DatumDefinition& b);

// Aqua for datum A's name, lime for datum B's, red otherwise (the prompt, an
// old name, or an empty name).
SelectorColour SelectorColourFor(std::string_view selector, const DatumDefinition& a,
                                 const DatumDefinition& b);

struct PairTexts {
  std::string pair;       // DatumPairText of (first, second), or empty
  std::string ellipsoid;  // "a f a f" of (first, second), or empty
  std::string problem;    // why they are empty
};

// The texts for a page's two selectors. Empty with a reason when a selector
// names neither datum (or the name is empty), when both datums carry the same
// name but differ, or when a field is not exactly one number or the inverse
// flattening is 0.
PairTexts PairFromSelectors(std::string_view first, std::string_view second,
                            const DatumDefinition& a, const DatumDefinition& b);

// The warning due when the datum window closes (equal names), or nullopt.
std::optional<std::string> CloseWarning(const DatumDefinition& a, const DatumDefinition& b);

}  // namespace halvex::geotools
