// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Printing a number known only to lie in an interval: the report's fast
// paths compute a value close to the exact one with a bound on the
// difference, and print it only when the bound cannot change the text.

#include <optional>
#include <string>

namespace halvex::geotools {

// Appends the text AppendFixed gives for every value in [low, high] and
// returns the value that text reads as; when the ends give different texts
// (or are not finite), appends nothing and returns nullopt. Rounding to
// fixed decimals never decreases as the value grows, so equal texts at the
// ends mean one text for everything between.
std::optional<long double> AppendCertainFixed(std::string& out, long double low, long double high,
                                              int decimals);

}  // namespace halvex::geotools
