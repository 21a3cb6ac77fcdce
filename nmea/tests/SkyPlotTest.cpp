// SPDX-License-Identifier: GPL-3.0-or-later
#include "nmea/SkyPlot.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "nmea/GpsModel.hpp"

namespace halvex::nmea {
namespace {

using Calls = std::vector<std::string>;

constexpr Rgb kBrush{10, 20, 30};
constexpr Rgb kPen{40, 50, 60};

void AddSatellite(TSatellites& list, int prn, int azimuth, int elevation, int snr) {
  auto sat = std::make_unique<TSatellite>();
  sat->SetPseudoRandomCode(prn);
  sat->SetAzimuth(azimuth);
  sat->SetElevation(elevation);
  sat->SetSignalToNoiseRatio(snr);
  ASSERT_TRUE(list.Add(sat));
}

// The drawing of the empty plot of radius 100.
const Calls kSky100 = {
    "Brush(10,20,30)",        "Pen(40,50,60)",          "PenWidth(1)",
    "Ellipse(0,0,200,200)",   "Ellipse(16,16,183,183)", "Ellipse(33,33,166,166)",
    "Ellipse(50,50,150,150)", "Ellipse(66,66,133,133)", "Ellipse(83,83,116,116)",
    "Line(100,0,100,200)",    "Line(200,100,0,100)",    "Line(150,13,50,187)",
    "Line(187,50,13,150)",    "Line(187,150,13,50)",    "Line(150,187,50,13)",
    "Ellipse(97,97,103,103)",
};

TEST(SkyPlot, EmptySky) {
  RecordingCanvas canvas;
  DrawSky(canvas, 100, kBrush, kPen);
  EXPECT_EQ(canvas.Calls, kSky100);

  // Radius 3: the 30° end points fall on halves, (1 ± 1/2)·3 = 4.5 and 1.5,
  // which round to the even neighbours 4 and 2.
  RecordingCanvas small;
  DrawSky(small, 3, kBrush, kPen);
  const Calls expected = {
      "Brush(10,20,30)",  "Pen(40,50,60)",    "PenWidth(1)",      "Ellipse(0,0,6,6)",
      "Ellipse(0,0,5,5)", "Ellipse(1,1,5,5)", "Ellipse(1,1,4,4)", "Ellipse(2,2,4,4)",
      "Ellipse(2,2,3,3)", "Line(3,0,3,6)",    "Line(6,3,0,3)",    "Line(4,0,2,6)",
      "Line(6,2,0,4)",    "Line(6,4,0,2)",    "Line(4,6,2,0)",    "Ellipse(0,0,6,6)",
  };
  EXPECT_EQ(small.Calls, expected);
}

TEST(SkyPlot, SatellitesByAzimuthElevationAndSignal) {
  TSatellites list;
  AddSatellite(list, 5, 0, 90, 5);      // zenith: the centre
  AddSatellite(list, 12, 90, 0, 40);    // east on the horizon
  AddSatellite(list, 9, 180, 0, 10);    // south, 10 dB still weak
  AddSatellite(list, 10, 270, 45, 11);  // west, half way up
  AddSatellite(list, 31, 0, 0, 99);     // north on the horizon
  AddSatellite(list, 7, 45, 30, 0);     // north-east, r = 100 − 30·200/180
  RecordingCanvas canvas;
  DrawSatellites(canvas, list, 100, kBrush, kPen);

  Calls expected = kSky100;
  const Calls satellites = {
      "Brush(255,0,0)", "Ellipse(88,88,112,112)",  "Text(94,94,5)",
      "Brush(0,128,0)", "Ellipse(188,88,212,112)", "Text(192,92,12)",
      "Brush(255,0,0)", "Ellipse(88,188,112,212)", "Text(94,194,9)",
      "Brush(0,128,0)", "Ellipse(38,88,62,112)",   "Text(42,92,10)",
      "Brush(0,128,0)", "Ellipse(88,-12,112,12)",  "Text(92,-8,31)",
      "Brush(255,0,0)", "Ellipse(135,41,159,65)",  "Text(141,47,7)",
  };
  expected.insert(expected.end(), satellites.begin(), satellites.end());
  EXPECT_EQ(canvas.Calls, expected);

  RecordingCanvas empty;
  DrawSatellites(empty, TSatellites(), 100, kBrush, kPen);
  EXPECT_EQ(empty.Calls, kSky100);
}

TEST(SkyPlot, LargePlotsWrapWithoutFault) {
  // Satellite positions are 16-bit: east on the horizon of a plot of radius
  // 40000 is x = 80000 − 65536, and y = 40000 − 65536.
  TSatellites list;
  AddSatellite(list, 3, 90, 0, 30);
  RecordingCanvas canvas;
  DrawSatellites(canvas, list, 40000, kBrush, kPen);
  ASSERT_FALSE(canvas.Calls.empty());
  EXPECT_EQ(canvas.Calls.back(), "Text(14458,-25542,3)");

  // Radii at the limits of int give wrapped coordinates, never undefined
  // arithmetic (checked by the sanitizer builds).
  for (const int radius : {INT_MAX, INT_MIN, -100}) {
    RecordingCanvas huge;
    DrawSatellites(huge, list, radius, kBrush, kPen);
    EXPECT_EQ(huge.Calls.size(), kSky100.size() + 3);
  }
  RecordingCanvas max;
  DrawSky(max, INT_MAX, kBrush, kPen);
  EXPECT_EQ(max.Calls[9], "Line(2147483647,0,2147483647,-2)");
}

}  // namespace
}  // namespace halvex::nmea
