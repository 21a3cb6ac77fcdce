// SPDX-License-Identifier: GPL-3.0-or-later
// Map tools: event marks, clearing with confirmation, measuring, the
// selection highlight, zoom buttons, drawing tools and the mouse wheel.

#include <gtest/gtest.h>

#include "NavTestKit.hpp"
#include "navigator/core/NavSettings.hpp"

namespace halvex::navigator {
namespace {

using testing::NavFixture;

class Tools : public NavFixture {
 protected:
  Tools() { OpenLayers(); }
  platform::IniStore Ini() { return platform::IniStore(IniPath()); }
  std::vector<std::string> MarkTexts() const {
    std::vector<std::string> texts;
    for (const auto& s : ShapesOf(kUserShapeLayerName))
      if (s.kind == mapcontrol::ShapeKind::kText) texts.push_back(s.text);
    return texts;
  }
};

TEST_F(Tools, EventMarksCarryTheNextNumberAtTheVessel) {
  nav->VesselX = 1000;
  nav->VesselY = 2000;
  nav->ToolButton6Click();  // no key stored: the first mark is 1
  EXPECT_EQ(MarkTexts(), (std::vector<std::string>{"1"}));
  const auto shapes = ShapesOf(kUserShapeLayerName);
  ASSERT_EQ(shapes.size(), 2u);
  EXPECT_EQ(shapes[0].x1, 1000);
  EXPECT_EQ(shapes[0].y1, 2000);
  EXPECT_EQ(shapes[1].kind, mapcontrol::ShapeKind::kCircle);
  EXPECT_EQ(shapes[1].r, 1);
  EXPECT_EQ(chart.CadFontScale(), 0);
  EXPECT_EQ(chart.CadFontJustify(), 1);

  Ini().WriteInteger(kEventsSection, kEventNumberKey, 41);
  nav->ToolButton6Click();
  EXPECT_EQ(MarkTexts().back(), "42");
  EXPECT_EQ(Ini().ReadInteger(kEventsSection, kEventNumberKey, 0), 42);

  // A stored number lowered behind the program's back never repeats a mark.
  Ini().WriteInteger(kEventsSection, kEventNumberKey, 5);
  nav->ToolButton6Click();
  EXPECT_EQ(MarkTexts().back(), "43");
}

TEST_F(Tools, SettingsThatCannotBeWrittenAreReportedOncePerStreak) {
  // A folder where the settings file should be: every write fails.
  std::filesystem::create_directories(IniPath());
  nav->ToolButton6Click();
  nav->ToolButton6Click();
  EXPECT_EQ(MarkTexts(), (std::vector<std::string>{"1", "2"})) << "marks still count up";
  EXPECT_EQ(CountMessages("Settings not saved: "), 1);
  std::filesystem::remove(IniPath());
  nav->ToolButton6Click();
  EXPECT_EQ(Ini().ReadInteger(kEventsSection, kEventNumberKey, 0), 3);
  std::filesystem::remove(IniPath());
  std::filesystem::create_directories(IniPath());
  nav->ToolButton6Click();
  EXPECT_EQ(CountMessages("Settings not saved: "), 2);
}

TEST_F(Tools, ClearingAsksFirstAndClearsOnlyItsLayer) {
  chart.DrawPoint(1, 1, nav->TrackFixLayer);
  chart.DrawPoint(1, 1, nav->TrackNoFixLayer);
  chart.DrawPoint(1, 1, nav->UserShapeLayer);
  struct Action {
    void (Navigator::*click)();
    const char* layer;
    const char* question;
  };
  const Action actions[] = {
      {&Navigator::ToolButton23Click, kTrackFixLayerName,
       "Fixed/Float/DGPS tracking points to be cleared. Continue?"},
      {&Navigator::ToolButton7Click, kTrackNoFixLayerName,
       "Autonomous tracking points to be cleared. Continue?"},
      {&Navigator::ToolButton11Click, kUserShapeLayerName,
       "User added shapes to be deleted. Continue?"},
  };
  size_t left = 3;
  for (const Action& a : actions) {
    dialogs.confirms.push_back(false);
    (nav.get()->*a.click)();
    EXPECT_EQ(dialogs.asked.back().text, a.question);
    EXPECT_EQ(Shapes(a.layer), 1u) << "No keeps the shapes";
    dialogs.confirms.push_back(true);
    (nav.get()->*a.click)();
    EXPECT_EQ(Shapes(a.layer), 0u);
    EXPECT_EQ(chart.Model().ShapeCount(), --left);
  }
}

TEST_F(Tools, MeasuringFromThePressedPoint) {
  nav->fcadWorldMouseMove(1000, 900);
  EXPECT_EQ(view.distLabel, "") << "no press yet";
  EXPECT_EQ(view.coordinates, "E:1000.00,N:900.00");

  nav->fcadWorldMouseDown(1000, 1000);
  EXPECT_EQ(view.distLabel, "Distance: 0.00 Bearing: 0.00");
  EXPECT_EQ(view.easting, "1000.00");
  EXPECT_EQ(view.northing, "1000.00");
  nav->fcadWorldMouseMove(1000, 900);
  EXPECT_EQ(view.distLabel, "Distance: 100.00 Bearing: 180.00");
  nav->fcadWorldMouseMove(900, 1000);
  EXPECT_EQ(view.distLabel, "Distance: 100.00 Bearing: 270.00");
  nav->fcadWorldMouseMove(1000, 1000);
  EXPECT_EQ(view.distLabel, "Distance: 0.00 Bearing: 0.00");
}

TEST_F(Tools, ClickingAShapeTogglesItsHighlight) {
  view.controls.TrackWidth = "2";
  const uint32_t shape = chart.DrawLine(0, 0, 1, 1, nav->UserShapeLayer);
  chart.SetShapePenWidth(shape, 4);
  chart.Model().ShapeSelect(shape);
  nav->fcadShapeNumberSelected(shape);
  EXPECT_EQ(chart.ShapePenWidth(shape), 1);
  EXPECT_TRUE(chart.Model().ShapeSelected(shape));
  nav->fcadShapeNumberSelected(shape);
  EXPECT_EQ(chart.ShapePenWidth(shape), 4);
  EXPECT_FALSE(chart.Model().ShapeSelected(shape));
}

TEST_F(Tools, ZoomButtonsAndToolCodes) {
  chart.SetView(0, 100, 100, 0);
  nav->ZoominClick();
  EXPECT_DOUBLE_EQ(chart.WorldRight() - chart.WorldLeft(), 100 / 1.2);
  EXPECT_DOUBLE_EQ((chart.WorldLeft() + chart.WorldRight()) / 2, 50);
  nav->ZoomoutClick();
  EXPECT_DOUBLE_EQ(chart.WorldRight() - chart.WorldLeft(), 100);

  nav->ZoomwindowClick();
  EXPECT_EQ(chart.ViewMouseTool(), -3);
  nav->ZoomdynamicClick();
  EXPECT_EQ(chart.ViewMouseTool(), -4);
  nav->ZoompanClick();
  EXPECT_EQ(chart.ViewMouseTool(), -2);
  nav->ToolButton26Click();
  EXPECT_EQ(chart.ViewMouseTool(), -1);
  EXPECT_EQ(chart.CadAction(), 11);

  EXPECT_EQ(Navigator::DrawingToolCode("ToolButton16"), 1);
  EXPECT_EQ(Navigator::DrawingToolCode("ToolButton10"), 17);
  EXPECT_EQ(Navigator::DrawingToolCode("ToolButton18"), 19);
  EXPECT_EQ(Navigator::DrawingToolCode("ToolButton26"), std::nullopt);
  chart.SetLayerNumber(0);
  nav->DrawingToolClick(*Navigator::DrawingToolCode("ToolButton24"));
  EXPECT_EQ(chart.ViewMouseTool(), 12);
  EXPECT_EQ(chart.LayerNumber(), nav->UserShapeLayer);

  chart.DrawPoint(5000, 5000, nav->UserShapeLayer);
  chart.DrawPoint(6000, 7000, nav->UserShapeLayer);
  nav->ZoomextentsClick();
  EXPECT_LE(chart.WorldLeft(), 5000);
  EXPECT_GE(chart.WorldTop(), 7000);
}

TEST_F(Tools, TheWheelPansTowardsTheCursorThenZoomsAboutIt) {
  chart.SetView(0, 100, 100, 0);
  nav->fcadWorldMouseMove(90, 50);  // 40 east of the centre
  nav->FormMouseWheelUp();
  // Pan 4 east (view 4..104), then zoom in by 1.1 about x = 90.
  EXPECT_DOUBLE_EQ(chart.WorldLeft(), 90 + (4 - 90) / 1.1);
  EXPECT_DOUBLE_EQ(chart.WorldRight(), 90 + (104 - 90) / 1.1);
  EXPECT_EQ(chart.ViewMouseTool(), -2);

  chart.SetView(0, 100, 100, 0);
  nav->FormMouseWheelDown();
  // Pan 0.4 east, then zoom out by 1.1 about x = 90.
  EXPECT_DOUBLE_EQ(chart.WorldLeft(), 90 + (0.4 - 90) * 1.1);
  EXPECT_DOUBLE_EQ(chart.WorldTop(), 50 + (100 - 50) * 1.1);
}

}  // namespace
}  // namespace halvex::navigator
