// SPDX-License-Identifier: GPL-3.0-or-later
// The chart's drawing tools driven through their mouse and key gestures: the
// shapes they leave in the model, their rubber band, cancelling, degenerate
// input and a target layer that does not exist.

#include "mapcontrol/DrawingTools.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <initializer_list>
#include <limits>
#include <numbers>

namespace halvex::mapcontrol {
namespace {

using B = DrawingTools::Button;
using K = DrawingTools::Key;
using T = DrawingTools;

constexpr double kE = 500000;  // grid coordinates of the size met at sea
constexpr double kN = 6000000;

class DrawingToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tools.SetShapeCreated([this](uint32_t n) { created.push_back(n); });
    tools.SetTextPrompt([this](const std::string& prompt) -> std::optional<std::string> {
      prompts.push_back(prompt);
      if (answers.empty()) return std::nullopt;
      std::optional<std::string> a = answers.front();
      answers.pop_front();
      return a;
    });
  }

  void Click(double x, double y) {
    tools.Press({x, y}, B::kLeft);
    tools.Release({x, y}, B::kLeft);
  }
  void Clicks(std::initializer_list<PointXY> points) {
    for (const PointXY& p : points) Click(p.x, p.y);
  }
  // As Qt delivers a double click: press, release, double click, release.
  void DoubleClick(double x, double y) {
    Click(x, y);
    tools.DoubleClick({x, y});
    tools.Release({x, y}, B::kLeft);
  }
  ShapeData Last() {
    EXPECT_FALSE(created.empty());
    return created.empty() ? ShapeData{} : *model.GetShape(created.back());
  }

  DrawingModel model;
  uint16_t layer = model.LayerOpen("Sketch");
  DrawingTools tools{model, layer};
  std::vector<uint32_t> created;
  std::deque<std::optional<std::string>> answers;
  std::vector<std::string> prompts;
};

TEST_F(DrawingToolsTest, ToolCodes) {
  for (int code : {1, 3, 4, 5, 6, 8, 10, 11, 12, 17, 19})
    EXPECT_TRUE(T::IsDrawingTool(code)) << code;
  for (int code : {-4, -3, -2, -1, 0, 2, 7, 9, 13, 18, 20}) {
    EXPECT_FALSE(T::IsDrawingTool(code)) << code;
    tools.SetTool(code);
    EXPECT_EQ(tools.Tool(), T::kIdle);
    Click(1, 1);
    EXPECT_FALSE(tools.KeyPress(K::kEnter));
    EXPECT_EQ(tools.Hint(), "");
  }
  EXPECT_EQ(model.ShapeCount(), 0u);
}

TEST_F(DrawingToolsTest, PointOnClickOnlyOnceForADoubleClick) {
  tools.SetTool(T::kPoint);
  EXPECT_FALSE(tools.Hint().empty());
  DoubleClick(kE + 1.5, kN - 2.5);
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(Last().kind, ShapeKind::kPoint);
  EXPECT_EQ(Last().layer, layer);
  EXPECT_EQ((PointXY{Last().x1, Last().y1}), (PointXY{kE + 1.5, kN - 2.5}));
}

TEST_F(DrawingToolsTest, LineByClicksByDragAndClickTolerance) {
  tools.SetTool(T::kLine);
  Click(0, 0);
  EXPECT_TRUE(tools.InProgress());
  EXPECT_TRUE(tools.Move({3, 4}));
  const std::vector<ShapeData> band = tools.Preview();
  ASSERT_EQ(band.size(), 1u);
  EXPECT_EQ(band[0].kind, ShapeKind::kLine);
  EXPECT_EQ(band[0].x2, 3);
  EXPECT_EQ(band[0].y2, 4);
  Click(3, 4);
  EXPECT_EQ(Last().kind, ShapeKind::kLine);
  EXPECT_EQ(Last().x1, 0);
  EXPECT_EQ(Last().y2, 4);
  EXPECT_FALSE(tools.InProgress());

  // Press, drag, release.
  tools.Press({10, 10}, B::kLeft);
  tools.Move({15, 10});
  tools.Release({20, 10}, B::kLeft);
  ASSERT_EQ(created.size(), 2u);
  EXPECT_EQ(Last().x1, 10);
  EXPECT_EQ(Last().x2, 20);

  // A jittery click is still a click; the line then ends at the next click.
  tools.SetClickTolerance(0.5);
  tools.Press({30, 30}, B::kLeft);
  tools.Release({30.3, 30}, B::kLeft);
  EXPECT_EQ(created.size(), 2u);
  Click(40, 30);
  EXPECT_EQ(Last().x1, 30);
  EXPECT_EQ(Last().x2, 40);

  // A second click on the first point makes no line and starts over.
  Clicks({{50, 50}, {50.2, 50}});
  EXPECT_EQ(created.size(), 3u);
  EXPECT_FALSE(tools.InProgress());
}

TEST_F(DrawingToolsTest, PolylineVerticesBackspaceAndTheThreeWaysToFinish) {
  tools.SetTool(T::kPolyline);
  Clicks({{0, 0}, {10, 0}, {10, 0}, {99, 99}});  // the repeated vertex is ignored
  EXPECT_TRUE(tools.KeyPress(K::kBackspace));
  EXPECT_EQ(tools.Points().size(), 2u);
  tools.Move({10, 10});
  ASSERT_EQ(tools.Preview().size(), 1u);
  EXPECT_EQ(tools.Preview()[0].points, (std::vector<PointXY>{{0, 0}, {10, 0}, {10, 10}}));
  DoubleClick(10, 10);
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(Last().kind, ShapeKind::kPolyline);
  EXPECT_FALSE(Last().closed);
  EXPECT_EQ(Last().points, (std::vector<PointXY>{{0, 0}, {10, 0}, {10, 10}}));
  EXPECT_TRUE(tools.Preview().empty());

  Clicks({{1, 1}, {2, 2}});
  EXPECT_TRUE(tools.KeyPress(K::kEnter));
  Clicks({{3, 3}, {4, 4}});
  EXPECT_TRUE(tools.Press({5, 5}, B::kRight));
  ASSERT_EQ(created.size(), 3u);
  EXPECT_EQ(Last().points, (std::vector<PointXY>{{3, 3}, {4, 4}}));

  // A single vertex is no polyline.
  Click(7, 7);
  EXPECT_TRUE(tools.KeyPress(K::kEnter));
  EXPECT_FALSE(tools.InProgress());
  EXPECT_EQ(created.size(), 3u);
}

TEST_F(DrawingToolsTest, PolygonIsClosedAndNeedsArea) {
  tools.SetTool(T::kPolygon);
  Clicks({{0, 0}, {10, 0}});
  tools.Move({10, 10});
  EXPECT_TRUE(tools.Preview().at(0).closed);
  Clicks({{10, 10}, {0, 0}});  // back on the first vertex
  tools.KeyPress(K::kEnter);
  ASSERT_EQ(created.size(), 1u);
  EXPECT_TRUE(Last().closed);
  EXPECT_EQ(Last().points, (std::vector<PointXY>{{0, 0}, {10, 0}, {10, 10}}));

  for (const std::vector<PointXY>& ring :
       {std::vector<PointXY>{{0, 0}, {5, 5}},
        std::vector<PointXY>{{kE, kN}, {kE + 1, kN + 1}, {kE + 3, kN + 3}}}) {
    for (const PointXY& p : ring) Clicks({p});
    EXPECT_TRUE(tools.KeyPress(K::kEnter));
    EXPECT_FALSE(tools.InProgress());
  }
  EXPECT_EQ(created.size(), 1u);
}

TEST_F(DrawingToolsTest, RectangleFromAnyTwoCorners) {
  tools.SetTool(T::kRectangle);
  tools.Press({10, 20}, B::kLeft);
  tools.Release({4, 25}, B::kLeft);
  EXPECT_TRUE(Last().closed);
  EXPECT_EQ(Last().points, (std::vector<PointXY>{{4, 20}, {10, 20}, {10, 25}, {4, 25}}));
  Click(1, 1);
  Click(1, 9);  // no width
  EXPECT_EQ(created.size(), 1u);
  EXPECT_FALSE(tools.InProgress());
}

TEST_F(DrawingToolsTest, CircleByCentreAndByThreePointsAndDiameter) {
  tools.SetTool(T::kCircleCentre);
  Click(100, 200);
  tools.Move({103, 204});
  EXPECT_EQ(tools.Preview().at(0).r, 5);
  Click(103, 204);
  EXPECT_EQ(Last().kind, ShapeKind::kCircle);
  EXPECT_EQ(Last().x1, 100);
  EXPECT_EQ(Last().r, 5);
  Click(1, 1);
  Click(1, 1);  // no radius
  EXPECT_EQ(created.size(), 1u);

  tools.SetTool(T::kCircle3Points);
  Clicks({{kE + 10, kN}, {kE, kN + 10}, {kE - 6, kN - 8}});
  const ShapeData c = Last();
  EXPECT_EQ(c.kind, ShapeKind::kCircle);
  EXPECT_NEAR(c.x1, kE, 1e-6);
  EXPECT_NEAR(c.y1, kN, 1e-6);
  EXPECT_NEAR(c.r, 10, 1e-6);

  Clicks({{kE, kN}, {kE + 1, kN + 2}, {kE + 2, kN + 4}});  // on one line
  Clicks({{0, 0}, {1000, 1e-9}, {2000, 0}});               // a hair off it: no circle of 10^14 m
  EXPECT_EQ(created.size(), 2u);
  EXPECT_FALSE(tools.InProgress());

  Clicks({{0, 0}, {6, 8}});
  EXPECT_TRUE(tools.KeyPress(K::kEnter));
  EXPECT_EQ(Last().x1, 3);
  EXPECT_EQ(Last().y1, 4);
  EXPECT_EQ(Last().r, 5);
}

TEST_F(DrawingToolsTest, ArcThroughThreePointsRunsCounterClockwise) {
  const auto on = [](double deg) {
    const double a = deg * std::numbers::pi / 180;
    return PointXY{kE + 10 * std::cos(a), kN + 10 * std::sin(a)};
  };
  struct Case {
    double s, m, e, a1, a2;
  };
  tools.SetTool(T::kArc3Points);
  for (const Case& k : {Case{30, 100, 200, 30, 200}, Case{200, 100, 30, 30, 200},
                        Case{30, 300, 200, 200, 30}, Case{350, 10, 20, 350, 20}}) {
    Clicks({on(k.s), on(k.m)});
    tools.Move(on(k.e));
    ASSERT_EQ(tools.Preview().size(), 1u);
    EXPECT_EQ(tools.Preview()[0].kind, ShapeKind::kArc);
    Clicks({on(k.e)});
    const ShapeData a = Last();
    EXPECT_EQ(a.kind, ShapeKind::kArc);
    EXPECT_NEAR(a.x1, kE, 1e-6);
    EXPECT_NEAR(a.y1, kN, 1e-6);
    EXPECT_NEAR(a.r, 10, 1e-6);
    EXPECT_NEAR(a.a1, k.a1, 1e-6) << k.s << " " << k.m << " " << k.e;
    EXPECT_NEAR(a.a2, k.a2, 1e-6) << k.s << " " << k.m << " " << k.e;
  }
  const size_t arcs = created.size();
  Clicks({{0, 0}, {1, 1}, {2, 2}});
  EXPECT_EQ(created.size(), arcs);
}

TEST_F(DrawingToolsTest, TextAsksAndEmptyAnswersCancel) {
  tools.SetTool(T::kText);
  tools.SetFont(model.FontOpen("Sans", 2.5));
  answers = {"Wreck 1893", std::nullopt, "", "  "};
  Click(kE, kN);
  EXPECT_EQ(Last().kind, ShapeKind::kText);
  EXPECT_EQ(Last().text, "Wreck 1893");
  EXPECT_EQ(Last().font, tools.FontHandle());
  EXPECT_EQ(Last().x1, kE);
  for (int i = 0; i < 3; ++i) Click(1, 1);
  EXPECT_EQ(prompts.size(), 4u);
  tools.SetTextPrompt(nullptr);
  Click(1, 1);
  EXPECT_EQ(model.ShapeCount(), 1u);
}

TEST_F(DrawingToolsTest, MeasureDrawsLineAndLabelAtItsMiddle) {
  tools.SetTool(T::kMeasure);
  tools.Press({0, 0}, B::kLeft);
  tools.Move({3, 4});
  ASSERT_EQ(tools.Preview().size(), 2u);
  EXPECT_EQ(tools.Preview()[1].text, "5.00 m 36.87\xC2\xB0");
  tools.Release({3, 4}, B::kLeft);
  ASSERT_EQ(created.size(), 2u);
  EXPECT_EQ(model.GetShape(created[0])->kind, ShapeKind::kLine);
  const ShapeData label = *model.GetShape(created[1]);
  EXPECT_EQ(label.kind, ShapeKind::kText);
  EXPECT_EQ(label.text, "5.00 m 36.87\xC2\xB0");
  EXPECT_EQ(label.x1, 1.5);
  EXPECT_EQ(label.y1, 2);

  EXPECT_EQ(T::MeasureLabel({kE, kN}, {kE - 1234.567, kN}), "1234.57 m 270.00\xC2\xB0");
  EXPECT_EQ(T::MeasureLabel({0, 0}, {0, -2}), "2.00 m 180.00\xC2\xB0");
  EXPECT_EQ(T::MeasureLabel({0, 0}, {-1e-7, 1000}), "1000.00 m 0.00\xC2\xB0");
}

TEST_F(DrawingToolsTest, PointByCoordinatesAsksAgainUntilValidOrCancelled) {
  tools.SetTool(T::kPointByCoordinates);
  answers = {"6000000", "500000.5, 6000000.25"};
  EXPECT_TRUE(tools.KeyPress(K::kEnter));
  EXPECT_EQ(Last().x1, 500000.5);
  EXPECT_EQ(Last().y1, 6000000.25);
  ASSERT_EQ(prompts.size(), 2u);
  EXPECT_NE(prompts[1].find("Not an easting and northing: \"6000000\""), std::string::npos);

  answers = {"inf 1", std::nullopt};
  Click(5, 5);
  EXPECT_EQ(created.size(), 1u);
  EXPECT_EQ(prompts.size(), 4u);

  for (const char* ok : {"1 2", " 1;2 ", "+1.5,-2e3", "1\t2", "1 ,2"}) {
    EXPECT_TRUE(T::ParseCoordinates(ok).has_value()) << ok;
  }
  EXPECT_EQ(*T::ParseCoordinates("+1.5,-2e3"), (PointXY{1.5, -2000}));
  for (const char* bad :
       {"", "1", "1 2 3", "1-2", "1,,2", "1,2x", "nan 1", "1e999 2", "1,5 2,5", "+-1 2"}) {
    EXPECT_FALSE(T::ParseCoordinates(bad).has_value()) << bad;
  }
}

TEST_F(DrawingToolsTest, EscapeRightClickAndToolChangeCancel) {
  tools.SetTool(T::kPolyline);
  Clicks({{0, 0}, {1, 0}});
  EXPECT_TRUE(tools.KeyPress(K::kEscape));
  EXPECT_FALSE(tools.InProgress());
  EXPECT_FALSE(tools.KeyPress(K::kEscape));

  Click(0, 0);
  tools.SetTool(T::kPolyline);
  EXPECT_FALSE(tools.InProgress());

  tools.SetTool(T::kArc3Points);
  Clicks({{0, 0}, {1, 1}});
  EXPECT_TRUE(tools.Press({2, 0}, B::kRight));
  EXPECT_FALSE(tools.InProgress());

  // Escape in the middle of a drag: the release draws nothing.
  tools.SetTool(T::kLine);
  tools.Press({0, 0}, B::kLeft);
  tools.KeyPress(K::kEscape);
  tools.Release({9, 9}, B::kLeft);
  EXPECT_FALSE(tools.InProgress());
  EXPECT_EQ(model.ShapeCount(), 0u);
}

TEST_F(DrawingToolsTest, NonFiniteInputIsIgnored) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  tools.SetTool(T::kLine);
  EXPECT_FALSE(tools.Press({nan, 0}, B::kLeft));
  EXPECT_FALSE(tools.InProgress());
  Click(1, 1);
  EXPECT_FALSE(tools.Move({inf, 0}));
  EXPECT_EQ(tools.Preview().at(0).x2, 1);
  Clicks({{1, -inf}, {2, 2}});
  EXPECT_EQ(Last().x2, 2);
  EXPECT_EQ(model.ShapeCount(), 1u);
}

TEST_F(DrawingToolsTest, MissingLayerDrawsNothingAndAsksNothing) {
  for (uint16_t target : {kNoLayer, uint16_t{7}}) {
    tools.SetLayer(target);
    for (int code : {1, 3, 4, 5, 6, 8, 10, 11, 12, 17, 19}) {
      tools.SetTool(code);
      answers = {"text", "1 2"};
      EXPECT_NE(tools.Hint().find("No layer"), std::string::npos);
      Clicks({{0, 0}, {5, 1}});
      tools.Move({3, 9});
      EXPECT_TRUE(tools.Preview().empty());
      Click(3, 9);
      DoubleClick(3, 9);
      tools.KeyPress(K::kEnter);
    }
  }
  EXPECT_EQ(model.ShapeCount(), 0u);
  EXPECT_EQ(model.LayerCount(), 1u);
  EXPECT_TRUE(created.empty());
  EXPECT_TRUE(prompts.empty());
}

TEST_F(DrawingToolsTest, LayerWithoutTheEditableBitIsNotDrawnOn) {
  model.LayerSetAction(layer, kActionVisible | kActionSelectable);
  tools.SetTool(T::kLine);
  EXPECT_NE(tools.Hint().find("not editable"), std::string::npos);
  Clicks({{0, 0}, {5, 1}});
  EXPECT_EQ(model.ShapeCount(), 0u);
  model.LayerSetAction(layer, kActionAll);
  Clicks({{0, 0}, {5, 1}});
  EXPECT_EQ(model.ShapeCount(), 1u);
}

TEST_F(DrawingToolsTest, CallbackMayChangeTheTool) {
  tools.SetShapeCreated([this](uint32_t n) {
    created.push_back(n);
    tools.SetTool(T::kIdle);
  });
  tools.SetTool(T::kMeasure);
  Clicks({{0, 0}, {0, 1}});
  EXPECT_EQ(created.size(), 2u);
  EXPECT_EQ(tools.Tool(), T::kIdle);
  EXPECT_TRUE(tools.Preview().empty());
}

}  // namespace
}  // namespace halvex::mapcontrol
