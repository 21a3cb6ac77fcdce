// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding the fourteen kinds into the data model, and the events in their
// fixed order.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "EventRecorder.hpp"

namespace halvex::nmea {
namespace {

using Events = std::vector<std::string>;

class DecoderTest : public ::testing::Test {
 protected:
  // Feeds sentence bodies (checksums and CR LF added) and returns the events.
  Events Feed(std::initializer_list<std::string> bodies) {
    for (const std::string& body : bodies) {
      r_.ExtractPosition(AddCheckSumToNMEA(body));
    }
    return events_.Take();
  }
  Events FeedNames(std::initializer_list<std::string> bodies) {
    for (const std::string& body : bodies) {
      r_.ExtractPosition(AddCheckSumToNMEA(body));
    }
    return events_.TakeNames();
  }

  TRaxCustomGPSReceiver r_;
  test::EventRecorder events_{r_};
  const TGPSPosition& p_ = r_.Position();
};

const std::string kRmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";

TEST_F(DecoderTest, GgaFillsTheFixAndFiresInOrder) {
  const std::string gga = "$GPGGA,123519.50,4807.038,S,01131.000,W,2,08,0.9,545.4,M,46.9,M,,";
  const std::string sentence = AddCheckSumToNMEA(gga);
  EXPECT_EQ(Feed({gga}), (Events{"NewCommand " + sentence, "Position2DChange -48.1173 -11.51666667",
                                 "Position3DChange -48.1173 -11.51666667 545.4",
                                 "LatitudeChange 48 7 2.28 cpSouth",
                                 "LongitudeChange 11 31 0 cpWest", "AltitudeChange 545.4"}));
  EXPECT_EQ(p_.Hour(), 12);
  EXPECT_EQ(p_.Millisecond(), 500);  // ".50" is half a second
  EXPECT_EQ(p_.Fix(), 2);
  EXPECT_EQ(p_.Satellite_Count(), 8);
  EXPECT_EQ(p_.HDOP(), 0.9L);
  EXPECT_EQ(p_.Geo_Height(), 46.9L);
  EXPECT_EQ(p_.FLatitude, 4807.038L);
  EXPECT_EQ(r_.GetLatitudeAsDM(), -4807.038L);
  // The same again changes nothing but the command; only the altitude moves.
  EXPECT_EQ(FeedNames({gga}), (Events{"NewCommand"}));
  EXPECT_EQ(FeedNames({"$GPGGA,123520,4807.038,S,01131.000,W,2,08,0.9,546.0,M,46.9,M,,"}),
            (Events{"NewCommand", "Position3DChange", "AltitudeChange"}));
  // Quality empty gives -1; a talker other than GP is read the same.
  FeedNames({"$GNGGA,123520,4807.038,S,01131.000,W,,08,0.9,546.0,M,46.9,M,,"});
  EXPECT_EQ(p_.Fix(), -1);
}

TEST_F(DecoderTest, RmcAndTheFixStatus) {
  EXPECT_EQ(FeedNames({kRmc}),
            (Events{"NewCommand", "Position2DChange", "Position3DChange", "LatitudeChange",
                    "LongitudeChange", "SpeedChange", "HeadingChange"}));
  EXPECT_EQ(p_.Speed_Knots(), 22.4L);
  EXPECT_EQ(p_.Speed_KMH(), 22.4L / 0.5397L);
  EXPECT_EQ(p_.Heading(), 84.4L);
  EXPECT_EQ(p_.Year(), 2094);
  EXPECT_EQ(p_.Day(), 23);
  EXPECT_EQ(r_.GetMagnetic_Variation(), -3.1L);
  EXPECT_EQ(p_.Fix(), 1);
  EXPECT_EQ(FeedNames({kRmc}), (Events{"NewCommand"}));

  // A higher GGA quality stays; status V gives 0 but the values still count.
  FeedNames({"$GPGGA,123519,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,,"});
  FeedNames({kRmc});
  EXPECT_EQ(p_.Fix(), 2);
  EXPECT_EQ(FeedNames({"$GPRMC,123521,V,4807.040,N,01131.000,E,010.0,090.0,230394,003.1,W"}),
            (Events{"NewCommand", "Position2DChange", "Position3DChange", "LatitudeChange",
                    "SpeedChange", "HeadingChange"}));
  EXPECT_EQ(p_.Fix(), 0);
  EXPECT_NEAR(static_cast<double>(p_.Speed_KMH()), 18.5288, 1e-4);
}

TEST_F(DecoderTest, HemisphereOfAZeroLatitudeFiresNoLatitudeEvent) {
  FeedNames({"$GPGLL,0000.000,N,01131.000,E,225444,A"});
  EXPECT_EQ(FeedNames({"$GPGLL,0000.000,S,01131.000,E,225444,A"}), (Events{"NewCommand"}));
  EXPECT_EQ(p_.Latitude_Direction(), TCardinalPoint::cpSouth);
  EXPECT_EQ(p_.Hour(), 22);
  EXPECT_EQ(p_.Fix(), 1);
  // The last field of GLL runs to the "*"; without a status the fix is 0.
  FeedNames({"$GPGLL,0000.000,S,01131.000,E,225444,"});
  EXPECT_EQ(p_.Fix(), 0);
}

TEST_F(DecoderTest, VtgGsaMssZda) {
  EXPECT_EQ(FeedNames({"$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K"}),
            (Events{"NewCommand", "SpeedChange", "HeadingChange"}));
  EXPECT_EQ(p_.Magnetic_Heading(), 34.4L);
  EXPECT_EQ(p_.Speed_KMH(), 10.2L);

  FeedNames({"$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1"});
  EXPECT_EQ(p_.Mode1(), 1);
  EXPECT_EQ(p_.Mode2(), 3);
  EXPECT_EQ(p_.PDOP(), 2.5L);
  EXPECT_EQ(p_.HDOP(), 1.3L);
  EXPECT_EQ(p_.VDOP(), 2.1L);
  FeedNames({"$GPGSA,M,2,04,05,,09,12,,,24,,,,,2.5,1.3,"});
  EXPECT_EQ(p_.Mode1(), 2);
  EXPECT_EQ(p_.VDOP(), -1.0L);

  FeedNames({"$GPMSS,55,27,318.0,100,1"});
  EXPECT_EQ(r_.GetReceiverStatus().SignalStrength, 55.0L);
  EXPECT_EQ(r_.GetReceiverStatus().DataRate, 100.0L);

  EXPECT_EQ(FeedNames({"$GPZDA,201530.00,04,07,2002,00,00"}), (Events{"NewCommand"}));
  EXPECT_EQ(p_.Year(), 2002);
  EXPECT_EQ(p_.Month(), 7);
  FeedNames({"$GPZDA,201530.00,05,08,2003"});  // ends after the year: the year is absent
  EXPECT_EQ(p_.Year(), 1900);
  EXPECT_EQ(p_.Day(), 5);
  // A day that is not an integer ends the sentence without any event.
  EXPECT_EQ(FeedNames({"$GPZDA,201531.00,06,x,2004,00,00"}), (Events{}));
  EXPECT_EQ(p_.Day(), 6);
  EXPECT_EQ(p_.Month(), 8);
}

TEST_F(DecoderTest, SatellitesInView) {
  EXPECT_EQ(Feed({"$GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45"}),
            (Events{"SatelliteReceive 1 40 83 46", "SatelliteReceive 2 17 308 41",
                    "SatelliteReceive 12 7 344 39", "SatelliteReceive 14 22 228 45",
                    "NewCommand " +
                        AddCheckSumToNMEA("$GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,"
                                          "14,22,228,45")}));
  EXPECT_EQ(FeedNames({"$GPGSV,2,2,08,32,10,010,,01,50,050,20,,,,"}),
            (Events{"SatelliteReceive", "SatelliteReceive", "SatelliteReceive", "SatellitesReceive",
                    "NewCommand"}));
  const TSatellites& list = p_.Satellites();
  EXPECT_EQ(list.Count(), 6);  // PRN 1 again is reported, not kept; the empty block is PRN 0
  EXPECT_EQ(list.GetById(1)->Elevation(), 40);
  EXPECT_EQ(list.GetById(32)->SignalToNoiseRatio(), 0);
  EXPECT_EQ(FeedNames({"$GPGSV,3,0,08,01,40,083,46"}), (Events{}));
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(FeedNames({"$GPGSV,1,1,01,05,40,083"}), (Events{"NewCommand"}));  // short block
}

TEST_F(DecoderTest, WaypointsRoutesAndArrival) {
  EXPECT_EQ(Feed({"$GPWPL,4917.16,N,12310.64,W,Home"}).front(), "WayPointReceive Home");
  const TWayPoint* home = r_.WayPoints().GetByName("HOME");
  ASSERT_NE(home, nullptr);
  EXPECT_EQ(home->Latitude_Degree(), 49);
  EXPECT_EQ(home->Longitude_Direction(), TCardinalPoint::cpWest);
  EXPECT_EQ(FeedNames({"$GPWPL,4917.16,N,12310.64,W, "}), (Events{}));    // blank name
  EXPECT_EQ(FeedNames({"$GPWPL,4960.16,N,12310.64,W,BAD"}), (Events{}));  // minute 60 refused
  EXPECT_EQ(r_.WayPoints().Count(), 1);

  EXPECT_EQ(FeedNames({"$GPRTE,1,1,c,R1,A,B,,C"}), (Events{"ActiveRouteReceive", "NewCommand"}));
  EXPECT_EQ(r_.ActiveRoute().Name, "R1");
  EXPECT_EQ(r_.ActiveRoute().WayPointListToStr(), "A,B,C");
  FeedNames({"$GPRTE,2,2,c,R1,D"});
  EXPECT_EQ(r_.ActiveRoute().WayPointListToStr(), "A,B,C,D");
  EXPECT_EQ(FeedNames({"$GPRTE,2,0,c,R1,E"}), (Events{}));
  EXPECT_TRUE(r_.ActiveRoute().WayPoints.empty());

  EXPECT_EQ(FeedNames({"$GPAAM,A,V,0.10,N,HOME"}), (Events{"NewCommand"}));
  EXPECT_EQ(Feed({"$GPAAM,a,A,0.10,n,HOME"}).back(), "Arrival Home 0.1");
  EXPECT_EQ(Feed({"$GPAAM,A,A,0.10,N,NOWHERE"}).back(), "Arrival nil 0.1");
  EXPECT_EQ(Feed({"$GPRMB,A,0.66,L,003,HOME,4917.24,N,12309.57,W,001.3,052.5,000.5,A"}).back(),
            "Arrival Home 0");
  const TNavigationInfo& info = r_.GetNavigationInfo();
  EXPECT_EQ(info.Origin, "003");
  EXPECT_EQ(info.DirectionToSteer, TDirection::dirLeft);
  EXPECT_EQ(info.RangeToDestination, 1.3L);
  EXPECT_EQ(info.VelocityTowardsDestination, 0.5L);
  FeedNames({"$GPXTE,A,A,0.67,R,N"});
  EXPECT_EQ(info.CrossTrackError, 0.67L);
  EXPECT_EQ(info.DirectionToSteer, TDirection::dirRight);
  FeedNames({"$GPBWC,220516,5130.02,N,00046.34,W,213.8,T,218.0,M,0004.6,N,EGLM"});
  EXPECT_EQ(info.TrueBearingToDestination, 213.8L);
  EXPECT_EQ(info.RangeToDestination, 4.6L);
  EXPECT_EQ(info.Destination, "EGLM");
}

TEST_F(DecoderTest, ListsStayBoundedOnEndlessStreams) {
  // Messages after the first never clear the lists; a stream that keeps
  // sending new satellites or route names must not grow them without end.
  for (int message = 0; message < 100; ++message) {
    std::string gsv = "$GPGSV,9,2,99";
    std::string rte = "$GPRTE,9,2,c,R";
    for (int i = 0; i < 50; ++i) {
      gsv += "," + std::to_string(message * 50 + i) + ",10,100,30";
      rte += ",W" + std::to_string(message * 50 + i);
    }
    Feed({gsv, rte});
  }
  EXPECT_EQ(p_.Satellites().Count(), TSatellites::kMaxCount);
  EXPECT_EQ(r_.ActiveRoute().WayPoints.size(), TRoute::kMaxWayPoints);
  TWayPoints list;
  for (int i = 0; i <= TWayPoints::kMaxCount; ++i) {
    auto item = std::make_unique<TWayPoint>();
    item->Name = std::to_string(i);
    EXPECT_EQ(list.Add(item), i < TWayPoints::kMaxCount);
  }
  auto same = std::make_unique<TWayPoint>();
  same->Name = "7";
  EXPECT_TRUE(list.Add(same)) << "a full list still takes a replacement";
}

TEST_F(DecoderTest, UnknownKindsAndFieldFailures) {
  EXPECT_EQ(FeedNames({"$PGRMZ,246,f,3"}), (Events{"UnknownCommand", "NewCommand"}));
  EXPECT_EQ(FeedNames({"$GP"}), (Events{"UnknownCommand", "NewCommand"}));
  // A field that cannot be read leaves its target; the others are stored.
  FeedNames({"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"});
  FeedNames({"$GPGGA,123519,4807.038,N,01131.000,E,1,x,1.2.3,-,M,46.9,M,,"});
  EXPECT_EQ(p_.Satellite_Count(), 8);
  EXPECT_EQ(p_.HDOP(), 0.9L);
  EXPECT_EQ(p_.Altitude(), 545.4L);
  // A field with other characters reads 0.
  EXPECT_EQ(FeedNames({"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,12m,M,46.9,M,,"}),
            (Events{"NewCommand", "Position3DChange", "AltitudeChange"}));
  EXPECT_EQ(p_.Altitude(), 0.0L);
}

}  // namespace
}  // namespace halvex::nmea

namespace halvex::nmea {
namespace {

// Sets TZ for one test and restores it after.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) {
      old_ = old;
    }
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ScopedTimeZone() {
    if (had_) {
      ::setenv("TZ", old_.c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST(LocalDateTime, StandardAndDaylightTimeOfTheFixDate) {
  const ScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");  // rules in the text: no zone files needed
  TRaxCustomGPSReceiver r;
  r.ExtractPosition(AddCheckSumToNMEA("$GPZDA,120000.00,15,01,2026,00,00"));
  EXPECT_NEAR(r.GetLocalDateTime(), r.GetUTCDateTime() - 5.0 / 24.0, 1e-9);
  r.ExtractPosition(AddCheckSumToNMEA("$GPZDA,120000.00,15,07,2026,00,00"));
  EXPECT_NEAR(r.GetLocalDateTime(), r.GetUTCDateTime() - 4.0 / 24.0, 1e-9);
  r.ExtractPosition(AddCheckSumToNMEA("$GPZDA,120000.00,15,00,2026,00,00"));
  EXPECT_EQ(r.GetLocalDateTime(), 0.0);  // no valid date
}

}  // namespace
}  // namespace halvex::nmea
