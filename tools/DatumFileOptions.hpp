// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// geokit-cli's --from-datum FILE --to-datum FILE: the datum files the
// geodesy tools save, standing in for the --pair and --ellipsoid texts of
// the datum and grid subcommands.

#include <string>
#include <string_view>

namespace halvex::tools {

struct DatumFileTexts {
  std::string pair;       // 18 numbers
  std::string ellipsoid;  // "A F"
};

// Reads both files and builds the texts so that `subcommand` converts from
// the first file's datum to the second's: "datum", "to-grid" and
// "from-grid" get the pair (from, to), "datum-ecef" (which runs from its
// pair's second datum to its first) the pair (to, from); "to-grid" gets the
// ellipsoid of the to-datum (its grid's), "from-grid" that of the
// from-datum. Returns the error (naming the file and, for a field that is
// not one number, its line), empty when both texts were built.
std::string DatumFileOptionTexts(std::string_view subcommand, const std::string& fromFile,
                                 const std::string& toFile, DatumFileTexts& texts);

}  // namespace halvex::tools
