// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigator/app/FlpCadChart.hpp"

#include <QCoreApplication>
#include <QEvent>

namespace halvex::navigator {

void FlpCadChart::WaitForSaves() {
  fcad_.WaitForSaves();
  // The widget posts each report to itself; deliver them now rather than at
  // the next turn of the event loop, which may never come during a close.
  QCoreApplication::sendPostedEvents(&fcad_, QEvent::MetaCall);
}

}  // namespace halvex::navigator
