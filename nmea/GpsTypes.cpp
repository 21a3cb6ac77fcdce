// SPDX-License-Identifier: GPL-3.0-or-later
#include "nmea/GpsTypes.hpp"

#include <array>

namespace halvex::nmea {
namespace {
constexpr std::array<const char*, kNMEACommandCount> kCommandNames = {
    "GPAAM", "GPBWC", "GPGGA", "GPGLL", "GPMSS", "GPRMB", "GPRMC",  "GPGSA",
    "GPGSV", "GPVTG", "GPZDA", "GPWPL", "GPRTE", "GPXTE", "AllNMEA"};
}  // namespace

const char* CommandName(TNMEACommand kind) { return kCommandNames[static_cast<std::size_t>(kind)]; }

bool CommandFromName(const std::string& name, TNMEACommand& kind) {
  for (std::size_t i = 0; i < kCommandNames.size(); ++i) {
    if (name == kCommandNames[i]) {
      kind = static_cast<TNMEACommand>(i);
      return true;
    }
  }
  return false;
}

const char* CardinalPointName(TCardinalPoint point) {
  switch (point) {
    case TCardinalPoint::cpNorth:
      return "cpNorth";
    case TCardinalPoint::cpSouth:
      return "cpSouth";
    case TCardinalPoint::cpEast:
      return "cpEast";
    case TCardinalPoint::cpWest:
      return "cpWest";
  }
  return "";
}

const char* DirectionName(TDirection direction) {
  switch (direction) {
    case TDirection::dirForward:
      return "dirForward";
    case TDirection::dirLeft:
      return "dirLeft";
    case TDirection::dirRight:
      return "dirRight";
  }
  return "";
}

}  // namespace halvex::nmea
