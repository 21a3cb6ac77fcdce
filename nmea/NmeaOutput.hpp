// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Sentences the receiver sends to the GPS: a waypoint (WPL) and a route
// (RTE), each complete with checksum and CR LF.

#include <string>

namespace halvex::nmea {

class TWayPoint;
struct TRoute;

// "$GPWPL,ddmm.mmmm,N|S,dddmm.mmmm,E|W,name*hh\r\n". The seconds become a
// four-digit fraction of a minute, rounded half to even; a fraction that
// rounds up to a whole minute carries into the minute, and 60 minutes into
// the degree, so the text always states the waypoint's angle. A latitude
// direction other than south reads N, a longitude direction other than west
// reads E.
std::string WayPointToNMEA(const TWayPoint& WayPoint);

// "$GPRTE,1,1,c,name,wp1,wp2,...*hh\r\n": the whole route in one sentence.
std::string RouteToNMEA(const TRoute& Route);

}  // namespace halvex::nmea
