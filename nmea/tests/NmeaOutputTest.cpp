// SPDX-License-Identifier: GPL-3.0-or-later
#include "nmea/NmeaOutput.hpp"

#include <gtest/gtest.h>

#include <string>

#include "nmea/GpsModel.hpp"
#include "nmea/NmeaText.hpp"

namespace halvex::nmea {
namespace {

using CP = TCardinalPoint;

TWayPoint MakeWayPoint(const std::string& name, int latDeg, int latMin, long double latSec,
                       CP latDir, int lonDeg, int lonMin, long double lonSec, CP lonDir) {
  TWayPoint wp;
  wp.Name = name;
  wp.SetLatitude_Degree(latDeg);
  wp.SetLatitude_Minute(latMin);
  wp.SetLatitude_Second(latSec);
  wp.SetLatitude_Direction(latDir);
  wp.SetLongitude_Degree(lonDeg);
  wp.SetLongitude_Minute(lonMin);
  wp.SetLongitude_Second(lonSec);
  wp.SetLongitude_Direction(lonDir);
  return wp;
}

// The sentence without "*hh\r\n", after checking that tail.
std::string Body(const std::string& sentence) {
  EXPECT_GE(sentence.size(), 5U);
  if (sentence.size() < 5) {
    return {};
  }
  const std::string body = sentence.substr(0, sentence.size() - 5);
  EXPECT_EQ(sentence.substr(sentence.size() - 5), "*" + GetNMEACheckSumStr(body) + "\r\n");
  EXPECT_TRUE(IsCheckSumOk(sentence.substr(0, sentence.size() - 2)));
  return body;
}

TEST(NmeaOutput, WayPointSentence) {
  const TWayPoint wp = MakeWayPoint("WPT1", 48, 7, 2.28L, CP::cpNorth, 11, 31, 0.0L, CP::cpEast);
  const std::string sentence = WayPointToNMEA(wp);
  EXPECT_EQ(Body(sentence), "$GPWPL,4807.0380,N,01131.0000,E,WPT1");
  EXPECT_EQ(sentence, "$GPWPL,4807.0380,N,01131.0000,E,WPT1*" +
                          GetNMEACheckSumStr("$GPWPL,4807.0380,N,01131.0000,E,WPT1") + "\r\n");

  EXPECT_EQ(Body(WayPointToNMEA(MakeWayPoint("", 0, 0, 0.0L, CP::cpSouth, 0, 0, 0.0L, CP::cpWest))),
            "$GPWPL,0000.0000,S,00000.0000,W,");
  EXPECT_EQ(
      Body(WayPointToNMEA(MakeWayPoint("Far", 90, 0, 0.0L, CP::cpNorth, 180, 0, 0.0L, CP::cpWest))),
      "$GPWPL,9000.0000,N,18000.0000,W,Far");
  EXPECT_EQ(
      Body(WayPointToNMEA(MakeWayPoint("R", 1, 2, 0.018L, CP::cpNorth, 1, 2, 0.0075L, CP::cpEast))),
      "$GPWPL,0102.0003,N,00102.0001,E,R");
  // 0.009 s, 0.015 s and 0.021 s scale to exactly 1.5, 2.5 and 3.5
  // ten-thousandths of a minute in extended arithmetic: ties go to even.
  EXPECT_EQ(
      Body(WayPointToNMEA(MakeWayPoint("T", 1, 2, 0.009L, CP::cpNorth, 1, 2, 0.015L, CP::cpEast))),
      "$GPWPL,0102.0002,N,00102.0002,E,T");
  EXPECT_EQ(
      Body(WayPointToNMEA(MakeWayPoint("U", 1, 2, 0.021L, CP::cpNorth, 1, 2, 0.0L, CP::cpEast))),
      "$GPWPL,0102.0004,N,00102.0000,E,U");
}

TEST(NmeaOutput, FractionRoundingUpToAMinuteCarries) {
  // 59.999 s is 0.99998 min, written .0000 of the next minute.
  EXPECT_EQ(Body(WayPointToNMEA(
                MakeWayPoint("C", 48, 7, 59.999L, CP::cpNorth, 11, 31, 59.9999L, CP::cpEast))),
            "$GPWPL,4808.0000,N,01132.0000,E,C");
  // ... and 60 minutes into the degree.
  EXPECT_EQ(Body(WayPointToNMEA(
                MakeWayPoint("D", 48, 59, 59.999L, CP::cpSouth, 9, 59, 59.999L, CP::cpWest))),
            "$GPWPL,4900.0000,S,01000.0000,W,D");
  // Just below the carry the fraction keeps four digits.
  EXPECT_EQ(Body(WayPointToNMEA(
                MakeWayPoint("E", 48, 7, 59.996L, CP::cpNorth, 11, 31, 0.0L, CP::cpEast))),
            "$GPWPL,4807.9999,N,01131.0000,E,E");
  // The largest values the setters take still carry into the degree.
  EXPECT_EQ(Body(WayPointToNMEA(
                MakeWayPoint("F", 90, 59, 59.99999L, CP::cpNorth, 180, 59, 59.99999L, CP::cpEast))),
            "$GPWPL,9100.0000,N,18100.0000,E,F");
}

TEST(NmeaOutput, RouteSentence) {
  TRoute route;
  route.Name = "R1";
  route.WayPoints = {"A", "B"};
  EXPECT_EQ(Body(RouteToNMEA(route)), "$GPRTE,1,1,c,R1,A,B");
  route.WayPoints.clear();
  EXPECT_EQ(Body(RouteToNMEA(route)), "$GPRTE,1,1,c,R1,");
  // However long, the route stays one sentence, message 1 of 1.
  route.WayPoints.assign(100, "WAYPOINT");
  const std::string body = Body(RouteToNMEA(route));
  EXPECT_EQ(body.substr(0, 17), "$GPRTE,1,1,c,R1,W");
  EXPECT_EQ(CommasCount(body), 104);
}

}  // namespace
}  // namespace halvex::nmea
