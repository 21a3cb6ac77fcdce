// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Colours as the programs store them: 24-bit integers in blue-green-red
// order (low byte red), written to settings files as signed decimal
// integers. The one place where they meet QColor.

#include <QColor>

namespace halvex::appkit {

inline QColor QColorFromBgr(int bgr) {
  return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

inline int BgrFromQColor(const QColor& c) {
  return (c.blue() << 16) | (c.green() << 8) | c.red();
}

}  // namespace halvex::appkit
