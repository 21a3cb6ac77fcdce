// SPDX-License-Identifier: GPL-3.0-or-later
// The position and sentence steps driven by NMEA text through the GPS
// receiver, on a ModelChart. Grid positions are checked against
// GeographicLib's exact transverse Mercator.

#include <gtest/gtest.h>
#include <GeographicLib/TransverseMercator.hpp>

#include <cmath>

#include "NavTestKit.hpp"
#include "navigator/core/NavMath.hpp"

namespace halvex::navigator {
namespace {

using testing::Gga;
using testing::NavFixture;
using testing::Sentence;

// The grid position and convergence of the fixture's projection by an
// independent implementation. GeographicLib's γ is the bearing of grid
// north from true north; the navigation loop adds the opposite sign to
// true headings, so it is compared negated.
struct Oracle {
  double x, y, convergence;
};
Oracle Grid(double latDeg, double lonDeg) {
  const GeographicLib::TransverseMercator tm(6378137.0, 0.0033528106647474, 1.0);
  Oracle o{};
  double gamma = 0, k = 0;
  tm.Forward(30.0, latDeg, lonDeg, o.x, o.y, gamma, k);
  o.x += 500000.0;
  o.convergence = -gamma;
  return o;
}

class PositionStep : public NavFixture {
 protected:
  PositionStep() {
    OpenLayers();
    view.controls.Interval = "1";
    view.controls.dotorline = false;
  }
};

TEST_F(PositionStep, TheFirstFixDrawsTheVesselAtItsGridPositionAndNoTrack) {
  Feed(Gga(41.25, 29.5, 4, 31.25, 11));
  EXPECT_EQ(view.lat, "41.25000000");
  EXPECT_EQ(view.lon, "29.50000000");
  EXPECT_EQ(view.fixed, "4");
  EXPECT_EQ(view.antenna, "31.25");
  EXPECT_EQ(view.satellites, "11");

  const Oracle o = Grid(41.25, 29.5);
  EXPECT_NEAR(nav->VesselX, o.x, 0.002);
  EXPECT_NEAR(nav->VesselY, o.y, 0.002);
  EXPECT_NEAR(nav->GridConvergence, o.convergence, 1e-8);
  EXPECT_TRUE(nav->ParamsCaptured);

  const auto vessel = ShapesOf(kVesselLayerName);
  ASSERT_EQ(vessel.size(), 7u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(vessel[i].kind, mapcontrol::ShapeKind::kLine) << i;
  EXPECT_EQ(vessel[5].r, 10);
  EXPECT_EQ(vessel[6].r, 20);
  EXPECT_EQ(vessel[5].x1, nav->VesselX);
  EXPECT_EQ(Shapes(kTrackFixLayerName) + Shapes(kTrackNoFixLayerName), 0u);
  EXPECT_EQ(nav->LastTrackX, nav->VesselX);

  // The next fix redraws the vessel (still seven shapes) and leaves a point.
  Feed(Gga(41.2501, 29.5, 4));
  EXPECT_EQ(Shapes(kVesselLayerName), 7u);
  EXPECT_EQ(Shapes(kTrackFixLayerName), 1u);
}

TEST_F(PositionStep, FixQualitiesChooseTheTrackLayerAndItsPen) {
  view.controls.ColorTracklines = 0x00AA00;
  view.controls.GridColor = 0x0000AA;
  view.controls.TrackWidth = "2";
  const int qualities[] = {4, 5, 2, 1, 3, 6, 0, 4};
  double lat = 41.0;
  for (const int q : qualities) Feed(Gga(lat += 0.0001, 29.5, q));
  // The first fix leaves no point; then 5, 2, 4 are fixed, 1, 3, 6, 0 not.
  EXPECT_EQ(Shapes(kTrackFixLayerName), 3u);
  EXPECT_EQ(Shapes(kTrackNoFixLayerName), 4u);
  const auto& m = chart.Model();
  EXPECT_EQ(m.LayerPenColor(nav->TrackFixLayer), 0x00AA00);
  EXPECT_EQ(m.LayerPenColor(nav->TrackNoFixLayer), 0x0000AA);
  EXPECT_EQ(m.LayerPenWidth(nav->TrackFixLayer), 2);
}

TEST_F(PositionStep, ALineJoinsTheNewPointToThePreviousOneAcrossLayers) {
  view.controls.dotorline = true;
  Feed(Gga(41.0, 29.5, 1));
  Feed(Gga(41.001, 29.5, 1));  // autonomous: a line into track_nofix
  const double autonomousY = nav->VesselY;
  Feed(Gga(41.002, 29.5, 4));  // fixed: from that autonomous point
  const auto fixed = ShapesOf(kTrackFixLayerName);
  ASSERT_EQ(fixed.size(), 1u);
  EXPECT_EQ(fixed[0].kind, mapcontrol::ShapeKind::kLine);
  EXPECT_EQ(fixed[0].x1, nav->VesselX);
  EXPECT_EQ(fixed[0].y1, nav->VesselY);
  EXPECT_EQ(fixed[0].y2, autonomousY);
  EXPECT_EQ(Shapes(kTrackNoFixLayerName), 1u);
}

TEST_F(PositionStep, TheIntervalCountsConvertedPositions) {
  view.controls.Interval = "10";
  std::vector<int> drawnAt;
  for (int i = 1; i <= 31; ++i) {
    const size_t before = Shapes(kTrackFixLayerName);
    Feed(Gga(41.0 + i * 1e-5, 29.5, 4));
    if (Shapes(kTrackFixLayerName) != before) drawnAt.push_back(i);
  }
  EXPECT_EQ(drawnAt, (std::vector<int>{11, 21, 31}));

  // Not an integer: 3 for that step, and the step goes on.
  view.controls.Interval = "ten";
  view.controls.TrackWidth = "";
  view.controls.VesselWidth = "wide";
  drawnAt.clear();
  for (int i = 32; i <= 38; ++i) {
    const size_t before = Shapes(kTrackFixLayerName);
    Feed(Gga(41.0 + i * 1e-5, 29.5, 4));
    if (Shapes(kTrackFixLayerName) != before) drawnAt.push_back(i);
  }
  EXPECT_EQ(drawnAt, (std::vector<int>{34, 37}));
  EXPECT_EQ(chart.Model().LayerPenWidth(nav->VesselLayer), 3);
  EXPECT_EQ(chart.Model().LayerPenWidth(nav->TrackFixLayer), 3);
}

TEST_F(PositionStep, TheHeadingIsTheCourseOrTheGyroPlusTheConvergence) {
  // On the central meridian at the equator the convergence is 0: course 0
  // puts the bow due grid north.
  Feed(Sentence("GPRMC,120000.00,A,0000.000,N,03000.000,E,5.0,0.0,071226,,,A"));
  Feed(Gga(0, 30, 4));
  EXPECT_NEAR(nav->GridConvergence, 0, 1e-12);
  auto bow = ShapesOf(kVesselLayerName)[0];
  EXPECT_NEAR(bow.x2 - bow.x1, 0, 1e-6);
  EXPECT_NEAR(bow.y2 - bow.y1, 100, 1e-6);

  // Away from it the symbol turns by the convergence.
  Feed(Sentence("GPRMC,120001.00,A,4100.000,N,03200.000,E,5.0,0.0,071226,,,A"));
  Feed(Gga(41, 32, 4));
  const Oracle o = Grid(41, 32);
  EXPECT_NEAR(nav->GridConvergence, o.convergence, 1e-8);
  EXPECT_NEAR(nav->MapHeading, o.convergence, 1e-8);
  bow = ShapesOf(kVesselLayerName)[0];
  EXPECT_NEAR(std::atan2(bow.x2 - bow.x1, bow.y2 - bow.y1) * 180 / M_PI, o.convergence, 1e-8);

  // Gyro enabled and no HDT yet: grid north plus the convergence.
  view.settings.GyroEnabled = true;
  Feed(Sentence("GPRMC,120002.00,A,4100.006,N,03200.000,E,5.0,123.0,071226,,,A"));
  Feed(Gga(41.0001, 32, 4));
  EXPECT_EQ(nav->MapHeading, nav->GridConvergence);
  // HDT from any talker sets the gyro heading; an empty field keeps it.
  Feed(Sentence("HEHDT,271.5,T"));
  EXPECT_EQ(nav->GyroHeading, 271.5);
  Feed(Sentence("HEHDT,,T"));
  EXPECT_EQ(nav->GyroHeading, 271.5);
  Feed(Sentence("GPWPL,4100.000,N,03200.000,E,SHDT"));
  EXPECT_EQ(nav->GyroHeading, 271.5);
  Feed(Gga(41.0002, 32, 4));
  EXPECT_EQ(nav->MapHeading, 271.5 + nav->GridConvergence);
}

TEST_F(PositionStep, FollowingCentresTheViewOnTheVessel) {
  nav->RGPS1Position3DChange(41, 29.5, 0);
  const double x = nav->VesselX, y = nav->VesselY;
  // Vessel 100 m east and 50 m north of the view's centre.
  chart.SetView(x - 100 - 500, y - 50 + 400, x - 100 + 500, y - 50 - 400);
  nav->RGPS1Position3DChange(41, 29.5, 0);
  EXPECT_DOUBLE_EQ(chart.WorldLeft(), x - 500);
  EXPECT_DOUBLE_EQ(chart.WorldTop(), y + 400);

  nav->ToolButton13Click();
  chart.SetView(0, 10, 10, 0);
  nav->RGPS1Position3DChange(41, 29.5, 0);
  EXPECT_EQ(chart.WorldLeft(), 0);
  nav->ToolButton5Click();
  nav->RGPS1Position3DChange(41, 29.5, 0);
  EXPECT_DOUBLE_EQ((chart.WorldLeft() + chart.WorldRight()) / 2, x);
}

TEST_F(PositionStep, CapturedParametersIgnoreLaterEdits) {
  Feed(Gga(41, 29.5, 4));
  const double x = nav->VesselX;
  view.settings.Projection = "27.0 0.0 1.0 500000.0 0.0";
  view.settings.Ellips = "garbage";
  Feed(Gga(41, 29.5, 4));
  EXPECT_EQ(nav->VesselX, x);
  EXPECT_EQ(nav->TmParams[0], 30.0L);
}

TEST_F(PositionStep, UnusableParametersDrawNothingAndAreRetried) {
  view.settings.Ellips = "6378137.0 0.00335 6378137.0 298.257223563";  // 1/f typed as f
  for (int i = 0; i < 3; ++i) Feed(Gga(41, 29.5, 4));
  EXPECT_EQ(view.lat, "41.00000000") << "the position is still shown";
  EXPECT_FALSE(nav->ParamsCaptured);
  EXPECT_EQ(Shapes(kVesselLayerName), 0u);
  EXPECT_EQ(nav->TrackCounter, 0);
  EXPECT_EQ(nav->AutoSaveCounter, 0);
  EXPECT_EQ(CountMessages("Geodetic parameters not usable"), 1) << "one message per streak";

  view.settings = testing::GeodeticSettings();
  Feed(Gga(41.0001, 29.5, 4));
  EXPECT_TRUE(nav->ParamsCaptured);
  EXPECT_EQ(Shapes(kVesselLayerName), 7u);
}

TEST_F(PositionStep, FailedConversionsChangeNothing) {
  Feed(Gga(41, 29.5, 4));
  Feed(Gga(41.001, 29.5, 4));
  const double x = nav->VesselX, y = nav->VesselY;
  const int counter = nav->TrackCounter, saves = nav->AutoSaveCounter;
  const size_t track = Shapes(kTrackFixLayerName);
  // A latitude beyond the pole (a corrupted sentence) gives no grid position.
  for (int i = 0; i < 3; ++i) nav->RGPS1Position3DChange(95, 29.5, 0);
  EXPECT_EQ(nav->VesselX, x);
  EXPECT_EQ(nav->VesselY, y);
  EXPECT_EQ(nav->TrackCounter, counter);
  EXPECT_EQ(nav->AutoSaveCounter, saves);
  EXPECT_EQ(Shapes(kTrackFixLayerName), track);
  EXPECT_EQ(CountMessages("Position "), 1);
  Feed(Gga(41.002, 29.5, 4));
  EXPECT_EQ(Shapes(kTrackFixLayerName), track + 1);
  for (int i = 0; i < 2; ++i) nav->RGPS1Position3DChange(95, 29.5, 0);
  EXPECT_EQ(CountMessages("Position "), 2) << "a new streak, a new message";
  const double x2 = nav->VesselX;
  nav->RGPS1Position3DChange(41, 181, 0);
  nav->RGPS1Position3DChange(std::nan(""), 29.5, 0);
  EXPECT_EQ(nav->VesselX, x2);
  EXPECT_EQ(Shapes(kTrackFixLayerName), track + 1);
}

TEST_F(PositionStep, SentencesAlternateInTheMemoAndColourTheGroupBox) {
  const std::string rmc = Sentence("GPRMC,120000.00,A,4100.000,N,02930.000,E,10.0,90.0,071226,,,A");
  Feed(Gga(41, 29.5, 2));
  EXPECT_EQ(view.memoGps[0], Gga(41, 29.5, 2).substr(0, Gga(41, 29.5, 2).size() - 2));
  EXPECT_EQ(view.groupBoxColor, kColorAqua);
  Feed(rmc);
  EXPECT_EQ(view.memoGps[1].substr(0, 6), "$GPRMC");
  EXPECT_EQ(view.speed, "10.0") << "knots";
  Feed(Gga(41, 29.5, 4));
  EXPECT_EQ(view.memoGps[0].substr(0, 6), "$GPGGA");
  EXPECT_EQ(view.groupBoxColor, kColorLime);
  Feed(Gga(41, 29.5, 5));
  EXPECT_EQ(view.groupBoxColor, kColorYellow);
  Feed(Gga(41, 29.5, 1));
  EXPECT_EQ(view.groupBoxColor, kColorRed);
}

TEST_F(PositionStep, TheAutomaticSaveComesAtThe302ndPositionAndEvery301After) {
  std::vector<int> savedAt;
  for (int i = 1; i <= 604; ++i) {
    const int before = nav->AutoSaveIndex;
    Feed(Gga(41 + i * 1e-6, 29.5, 4));
    if (nav->AutoSaveIndex != before) savedAt.push_back(i);
  }
  EXPECT_EQ(savedAt, (std::vector<int>{302, 603}));
  chart.WaitForSaves();
  EXPECT_TRUE(std::filesystem::exists(Day() / "07.12.2026_0.hxv"));
  EXPECT_TRUE(std::filesystem::exists(Day() / "07.12.2026_1.hxv"));
}

}  // namespace
}  // namespace halvex::navigator
