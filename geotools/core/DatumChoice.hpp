// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The two datums of the datum definition window as the conversion pages see
// them: which datum a page's selectors name, the pair and ellipsoid texts
// built from that choice, and the checks made before a text is built.

#include <optional>
#include <string>
#include <string_view>

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

inline constexpr std::string_view kSelectorPrompt = "[CLICK TO SELECT DATUM]";
inline constexpr std::string_view kEqualNamesMessage =
    "Boom! Names are the same. Too difficult to work with.";

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
// name (a selector could then mean either), or when a field is not exactly
// one number or the inverse flattening is 0.
PairTexts PairFromSelectors(std::string_view first, std::string_view second,
                            const DatumDefinition& a, const DatumDefinition& b);

// The first field of the datum that is not one number, as a message; nullopt
// when all nine are numbers and 1/f is not 0.
std::optional<std::string> CheckDatumNumbers(const DatumDefinition& datum, std::string_view label);

}  // namespace halvex::geotools

namespace halvex::geotools {

// A ".datum" file: ten lines ended by CR LF, in the order name, ds, rx, ry,
// rz, dx, dy, dz, a, 1/f.
std::string DatumFileText(const DatumDefinition& datum);

struct DatumFileRead {
  DatumDefinition datum;  // fields from the lines present; the others as given
  int lines = 0;          // how many of the ten lines the file had
};

// Reads the lines of a datum file over `current`: each line present
// replaces its field (LF or CR LF line ends).
DatumFileRead ReadDatumFileText(std::string_view text, const DatumDefinition& current);

}  // namespace halvex::geotools
