// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

namespace halvex::navigator {

// The program's icon, painted: the same picture as marnav.svg (which the
// desktop entry uses), so the windows need no SVG support from Qt.
QIcon MarnavIcon();

}  // namespace halvex::navigator
