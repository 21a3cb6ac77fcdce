// SPDX-License-Identifier: GPL-3.0-or-later
#include "nmea/GpsModel.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "nmea/CustomGpsReceiver.hpp"
#include "nmea/DateTime.hpp"
#include "nmea/NmeaText.hpp"

namespace halvex::nmea {
namespace {

using CP = TCardinalPoint;

std::unique_ptr<TSatellite> Sat(int prn, int snr = 0) {
  auto sat = std::make_unique<TSatellite>();
  sat->SetPseudoRandomCode(prn);
  sat->SetSignalToNoiseRatio(snr);
  return sat;
}

std::unique_ptr<TWayPoint> Wpt(const std::string& name, int latDegree = 0) {
  auto wp = std::make_unique<TWayPoint>();
  wp->Name = name;
  wp->SetLatitude_Degree(latDegree);
  return wp;
}

// The message of the EGPSError a call raises, or "" when it raises none.
template <typename F>
std::string ErrorOf(F&& call) {
  try {
    call();
  } catch (const EGPSError& e) {
    return e.what();
  }
  return "";
}

TEST(GpsPosition, FreshStateAndReset) {
  TGPSPosition p;
  EXPECT_EQ(p.Fix(), -1);
  EXPECT_EQ(p.PDOP(), -1.0L);
  EXPECT_EQ(p.HDOP(), -1.0L);
  EXPECT_EQ(p.VDOP(), -1.0L);
  EXPECT_EQ(p.Day(), 1);
  EXPECT_EQ(p.Month(), 1);
  EXPECT_EQ(p.Year(), 1900);
  EXPECT_EQ(p.Hour(), 0);
  EXPECT_EQ(p.Minute(), 0);
  EXPECT_EQ(p.Second(), 0);
  EXPECT_EQ(p.Millisecond(), 0);
  EXPECT_EQ(p.Latitude_Direction(), CP::cpNorth);
  EXPECT_EQ(p.Longitude_Direction(), CP::cpEast);
  EXPECT_EQ(p.DateTime(), 2.0);  // 1 January 1900 is day 2 after the epoch
  EXPECT_EQ(p.Satellites().Count(), 0);

  p.SetDateTime(*EncodeDateTime(2024, 2, 29, 23, 59, 58, 987));
  p.SetGeo_Height(46.9L);
  p.FLatitude = 4807.038L;
  p.FLongitude = 1131.0L;
  p.SetFix(1);
  p.SetHDOP(0.9L);
  p.SetLatitude_Direction(CP::cpSouth);
  p.SetLongitude_Direction(CP::cpWest);
  std::unique_ptr<TSatellite> sat = Sat(4);
  p.Satellites().Add(sat);
  p.Reset();
  EXPECT_EQ(p.Fix(), -1);
  EXPECT_EQ(p.HDOP(), -1.0L);
  EXPECT_EQ(p.Year(), 1900);
  EXPECT_EQ(p.Latitude_Direction(), CP::cpNorth);
  EXPECT_EQ(p.Longitude_Direction(), CP::cpEast);
  EXPECT_EQ(p.Satellites().Count(), 0);
  // These survive a reset.
  EXPECT_EQ(p.Millisecond(), 987);
  EXPECT_EQ(p.Geo_Height(), 46.9L);
  EXPECT_EQ(p.FLatitude, 4807.038L);
  EXPECT_EQ(p.FLongitude, 1131.0L);
}

TEST(GpsPosition, ValidatingSettersKeepTheOldValue) {
  TGPSPosition p;
  p.SetLatitude_Minute(59);
  EXPECT_EQ(ErrorOf([&] { p.SetLatitude_Minute(60); }),
            "Latitude Minute must be between 0 and 60.");
  EXPECT_EQ(p.Latitude_Minute(), 59);
  EXPECT_EQ(ErrorOf([&] { p.SetLatitude_Minute(-1); }),
            "Latitude Minute must be between 0 and 60.");
  p.SetHeading(359.9L);
  EXPECT_EQ(ErrorOf([&] { p.SetHeading(360.0L); }), "Heading must be between 0 and 360.");
  EXPECT_EQ(p.Heading(), 359.9L);
  EXPECT_NE(ErrorOf([&] { p.SetHeading(std::nanl("")); }), "");
  EXPECT_EQ(p.Heading(), 359.9L);
  EXPECT_EQ(ErrorOf([&] { p.SetLatitude_Degree(91); }),
            "Latitude Degree must be between 0 and 90.");
  EXPECT_EQ(ErrorOf([&] { p.SetLongitude_Degree(181); }),
            "Longitude Degree must be between 0 and 180.");
  EXPECT_EQ(ErrorOf([&] { p.SetLatitude_Second(60.0L); }),
            "Latitude Second must be between 0 and 60.");
  EXPECT_EQ(ErrorOf([&] { p.SetLatitude_Direction(CP::cpEast); }),
            "Latitude Direction must be north or south.");
  EXPECT_EQ(ErrorOf([&] { p.SetLongitude_Direction(CP::cpNorth); }),
            "Longitude Direction must be east or west.");
  EXPECT_EQ(p.Latitude_Direction(), CP::cpNorth);
  EXPECT_EQ(p.Longitude_Direction(), CP::cpEast);
  // -1 means "unknown" and is accepted for the dilutions.
  p.SetHDOP(2.5L);
  EXPECT_EQ(ErrorOf([&] { p.SetHDOP(-1.0L); }), "");
  EXPECT_EQ(p.HDOP(), -1.0L);
  EXPECT_EQ(ErrorOf([&] { p.SetPDOP(-1.5L); }), "PDOP must be between 0 and 99.9.");

  TWayPoint w;  // validated as the position
  EXPECT_EQ(ErrorOf([&] { w.SetLongitude_Minute(60); }),
            "Longitude Minute must be between 0 and 60.");
  TSatellite s;
  EXPECT_EQ(ErrorOf([&] { s.SetAzimuth(360); }), "Azimuth must be between 0 and 360.");
  EXPECT_EQ(ErrorOf([&] { s.SetElevation(91); }), "Elevation must be between 0 and 90.");
  EXPECT_EQ(s.Azimuth(), 0);
}

TEST(GpsPosition, DateTimeReadAndWrite) {
  TGPSPosition p;
  const TDateTime value = *EncodeDateTime(2024, 2, 29, 23, 59, 58, 987);
  p.SetDateTime(value);
  EXPECT_EQ(p.Year(), 2024);
  EXPECT_EQ(p.Month(), 2);
  EXPECT_EQ(p.Day(), 29);
  EXPECT_EQ(p.Hour(), 23);
  EXPECT_EQ(p.Minute(), 59);
  EXPECT_EQ(p.Second(), 58);
  EXPECT_EQ(p.Millisecond(), 987);
  EXPECT_EQ(p.DateTime(), value);

  // Before the epoch the days count backwards with a positive time of day.
  const TDateTime early = *EncodeDateTime(1899, 12, 29, 6, 0, 0, 0);
  EXPECT_EQ(early, -1.25);
  p.SetDateTime(early);
  EXPECT_EQ(p.Day(), 29);
  EXPECT_EQ(p.Hour(), 6);
  EXPECT_EQ(p.DateTime(), early);

  // A value beyond the valid dates, or not finite, splits into zero parts;
  // a combination that is no date (month 0, as a ZDA sentence may leave
  // it) reads 0 instead of failing.
  TGPSPosition q;
  q.SetDateTime(*EncodeDateTime(9999, 12, 31, 0, 0, 0, 0) + 1.0);
  EXPECT_EQ(q.Year(), 0);
  EXPECT_EQ(q.DateTime(), 0.0);
  for (const double bad : {std::nan(""), 1e300, -1e7}) {
    q.SetDateTime(bad);
    EXPECT_EQ(q.Month(), 0) << bad;
  }
  TRaxCustomGPSReceiver receiver;
  receiver.FeedGPSReceiver(AddCrLfToNMEA(AddCheckSumToNMEA("$GPZDA,120000.00,15,00,2023,00,00")));
  EXPECT_EQ(receiver.Position().Month(), 0);
  EXPECT_EQ(receiver.Position().Day(), 15);
  EXPECT_EQ(receiver.Position().DateTime(), 0.0);
  EXPECT_FALSE(EncodeDateTime(2023, 2, 29, 0, 0, 0, 0).has_value());
  EXPECT_FALSE(EncodeDateTime(2023, 0, 1, 0, 0, 0, 0).has_value());
  EXPECT_FALSE(EncodeDateTime(2023, 1, 1, 24, 0, 0, 0).has_value());
  EXPECT_FALSE(EncodeDateTime(2023, 1, 1, 0, 0, 0, 1000).has_value());
}

TEST(GpsSatellites, OwnershipAndLookup) {
  TSatellites list;
  std::unique_ptr<TSatellite> a = Sat(4, 30);
  std::unique_ptr<TSatellite> b = Sat(7);
  ASSERT_TRUE(list.Add(a));
  EXPECT_EQ(a, nullptr);
  ASSERT_TRUE(list.Add(b));

  // A PRN already present leaves the list alone; the caller keeps the item.
  std::unique_ptr<TSatellite> again = Sat(4, 10);
  EXPECT_FALSE(list.Add(again));
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.GetById(4)->SignalToNoiseRatio(), 30);
  std::unique_ptr<TSatellite> none;
  EXPECT_FALSE(list.Add(none));

  // Indexes outside the list, negative included, are ignored.
  std::unique_ptr<TSatellite> c = Sat(9);
  EXPECT_FALSE(list.Insert(-1, c));
  EXPECT_FALSE(list.Insert(5, c));
  EXPECT_FALSE(list.SetItem(2, c));
  EXPECT_FALSE(list.SetItem(-1, c));
  ASSERT_NE(c, nullptr);
  list.Delete(-1);
  list.Delete(2);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.GetItem(-1), nullptr);
  EXPECT_EQ(list.GetItem(2), nullptr);
  EXPECT_TRUE(list.Insert(0, c));
  EXPECT_EQ(list.GetItem(0)->PseudoRandomCode(), 9);
  EXPECT_FALSE(list.Insert(0, again));  // PRN 4 is present

  // SetItem does not check the PRN, so duplicates can arise: IndexOf finds
  // the first, GetById and DeleteById the last.
  std::unique_ptr<TSatellite> dup = Sat(7, 55);
  ASSERT_TRUE(list.SetItem(0, dup));  // [7(55), 4, 7(0)]
  EXPECT_EQ(list.IndexOf(7), 0);
  EXPECT_EQ(list.GetById(7), list.GetItem(2));
  list.DeleteById(7);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.GetItem(0)->SignalToNoiseRatio(), 55);
  EXPECT_EQ(list.IndexOf(99), -1);
  EXPECT_EQ(list.GetById(99), nullptr);
  list.DeleteById(99);
  EXPECT_EQ(list.Count(), 2);
}

TEST(GpsWayPoints, NamesIgnoreLetterCase) {
  TWayPoints list;
  std::unique_ptr<TWayPoint> a = Wpt("Home", 10);
  std::unique_ptr<TWayPoint> b = Wpt("Buoy", 20);
  ASSERT_TRUE(list.Add(a));
  ASSERT_TRUE(list.Add(b));

  // The same name in other letters replaces the stored waypoint in place.
  std::unique_ptr<TWayPoint> home = Wpt("HOME", 30);
  ASSERT_TRUE(list.Add(home));
  EXPECT_EQ(home, nullptr);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.GetItem(0)->Latitude_Degree(), 30);
  EXPECT_EQ(list.IndexOf("home"), 0);
  std::unique_ptr<TWayPoint> buoy = Wpt("buoy", 40);
  EXPECT_TRUE(list.Insert(0, buoy));  // replaces, whatever the index
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.GetItem(1)->Latitude_Degree(), 40);
  EXPECT_TRUE(SameTextIgnoringCase("Abc-1", "aBC-1"));
  EXPECT_FALSE(SameTextIgnoringCase("Abc", "Abcd"));

  std::unique_ptr<TWayPoint> out = Wpt("New");
  EXPECT_FALSE(list.Insert(-1, out));
  EXPECT_FALSE(list.Insert(2, out));
  EXPECT_FALSE(list.SetItem(2, out));
  ASSERT_NE(out, nullptr);
  list.Delete(5);
  list.Delete(-1);
  EXPECT_EQ(list.Count(), 2);
  std::unique_ptr<TWayPoint> none;
  EXPECT_FALSE(list.Add(none));

  // Duplicate names only through SetItem: GetByName and Delete(name) take
  // the last, IndexOf the first.
  std::unique_ptr<TWayPoint> dup = Wpt("home", 50);
  ASSERT_TRUE(list.SetItem(1, dup));  // [HOME(30), home(50)]
  EXPECT_EQ(list.IndexOf("Home"), 0);
  EXPECT_EQ(list.GetByName("Home")->Latitude_Degree(), 50);
  list.Delete("HOME");
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.GetItem(0)->Latitude_Degree(), 30);
  EXPECT_EQ(list.GetByName("nowhere"), nullptr);
  list.Delete("nowhere");
  EXPECT_EQ(list.Count(), 1);

  TRoute route;
  EXPECT_EQ(route.Destination(), "");
  route.WayPoints = {"A", "B", "C"};
  EXPECT_EQ(route.Destination(), "C");
  EXPECT_EQ(route.WayPointListToStr(), "A,B,C");
}

}  // namespace
}  // namespace halvex::nmea
