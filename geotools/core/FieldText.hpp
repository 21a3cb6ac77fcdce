// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Checks of the texts a user types into coordinate fields and grid cells,
// made before a coordinate text for the geodesy core is built from them.
//
// The core reads numbers leniently from the start of a text and ignores
// what follows, so "500 000" would enter a text as two numbers and shift
// every later one. A field here must hold exactly what it stands for:
//   - a number field exactly one number (blanks around it allowed);
//   - an angle field one, two or three numbers (D, DM or DMS form).

#include <optional>
#include <string>
#include <string_view>

#include "geodesy/OutputPrecision.hpp"

namespace halvex::geotools {

// The text without white space at either end.
std::string_view Trimmed(std::string_view text);

// True when the trimmed text is exactly one number as the core reads it.
bool IsOneNumber(std::string_view text);

// The angle as the core should receive it: a single number passes as typed
// (trimmed), a DM or DMS text becomes its decimal degrees with 15
// significant digits. Nullopt when the text is not one to three numbers.
std::optional<std::string> AngleForCore(std::string_view text);

// The decimals to use for geodetic texts inside a chain of core operations:
// at least 8 for degrees and 3 for metres, so that a coarse display setting
// never moves a computed coordinate. Minutes and seconds stay as given.
geodesy::OutputPrecision ChainPrecision(const geodesy::OutputPrecision& display);

}  // namespace halvex::geotools
