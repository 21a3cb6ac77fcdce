// SPDX-License-Identifier: GPL-3.0-or-later
#include "nmea/NmeaOutput.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "nmea/GpsModel.hpp"
#include "nmea/GpsUtils.hpp"
#include "nmea/NmeaText.hpp"

namespace halvex::nmea {
namespace {

// Far beyond any angle, yet far from the limits of int64_t, so the carries
// below cannot overflow.
constexpr long double kFractionLimit = 1.0e15L;

// "dd" or "ddd", "mm", ".", then the seconds as ten-thousandths of a
// minute. Whole minutes of the fraction carry into the minute and whole
// degrees of the minute into the degree. The decoder may store values no
// setter accepts: those are written as they are (a negative part keeps its
// sign), and a second that is not a finite number counts as 0.
std::string AngleText(int degree, int minute, long double second, int degreeDigits) {
  long double rounded = RoundHalfEven(second / 60.0L * 10000.0L);
  if (!std::isfinite(rounded)) {
    rounded = 0.0L;
  }
  auto fraction = static_cast<std::int64_t>(std::clamp(rounded, -kFractionLimit, kFractionLimit));
  std::int64_t minutes = minute;
  std::int64_t degrees = degree;
  if (fraction >= 10000) {
    minutes += fraction / 10000;
    fraction %= 10000;
  }
  if (minutes >= 60) {
    degrees += minutes / 60;
    minutes %= 60;
  }
  return MaxLenStr(std::to_string(degrees), degreeDigits, '0') +
         MaxLenStr(std::to_string(minutes), 2, '0') + "." +
         MaxLenStr(std::to_string(fraction), 4, '0');
}

std::string Finish(const std::string& body) { return AddCrLfToNMEA(AddCheckSumToNMEA(body)); }

}  // namespace

std::string WayPointToNMEA(const TWayPoint& WayPoint) {
  const bool south = WayPoint.Latitude_Direction() == TCardinalPoint::cpSouth;
  const bool west = WayPoint.Longitude_Direction() == TCardinalPoint::cpWest;
  return Finish("$GPWPL," +
                AngleText(WayPoint.Latitude_Degree(), WayPoint.Latitude_Minute(),
                          WayPoint.Latitude_Second(), 2) +
                (south ? ",S," : ",N,") +
                AngleText(WayPoint.Longitude_Degree(), WayPoint.Longitude_Minute(),
                          WayPoint.Longitude_Second(), 3) +
                (west ? ",W," : ",E,") + WayPoint.Name);
}

std::string RouteToNMEA(const TRoute& Route) {
  return Finish("$GPRTE,1,1,c," + Route.Name + "," + Route.WayPointListToStr());
}

}  // namespace halvex::nmea
