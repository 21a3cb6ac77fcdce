// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// geokit-cli read-points: a point file read by one of the geodesy core's
// point readers, written out as the program saves the grid it fills.

#include <iosfwd>
#include <span>
#include <string>

namespace halvex::tools {

// Runs "read-points" with `args` (the words after the subcommand's name).
// Standard output gets the grid exactly as SaveGridText writes it; standard
// error the reader's result ("1" or "0") on one line, then the warning of
// the geodetic reader when it was raised. Exit status 0 after a read, 1 when
// the file could not be read (the empty grid and the result are still
// written), 2 for a bad command line.
int RunReadPoints(std::span<const std::string> args, std::istream& in, std::ostream& out,
                  std::ostream& err);

}  // namespace halvex::tools
