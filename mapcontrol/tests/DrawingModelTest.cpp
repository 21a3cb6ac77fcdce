// SPDX-License-Identifier: GPL-3.0-or-later
// The chart's drawing: layers and the no-layer number, every kind of shape,
// clearing, extents, rectangle queries against brute force, and picking.

#include "mapcontrol/DrawingModel.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <set>

namespace halvex::mapcontrol {
namespace {

std::set<uint32_t> Query(const DrawingModel& m, const Rect& r) {
  std::set<uint32_t> found;
  m.QueryRect(r, [&](uint16_t, uint32_t n) { EXPECT_TRUE(found.insert(n).second) << n; });
  return found;
}

// ---------------------------------------------------------------- layers

TEST(DrawingModelLayers, OpenCreatesOnceAndFindsByExactName) {
  DrawingModel m;
  EXPECT_EQ(m.LayerFindByName("Track"), kNoLayer);
  const uint16_t track = m.LayerOpen("Track");
  const uint16_t vessel = m.LayerOpen("Vessel");
  EXPECT_EQ(track, 0);
  EXPECT_EQ(vessel, 1);
  EXPECT_EQ(m.LayerOpen("Track"), track);
  EXPECT_EQ(m.LayerFindByName("Track"), track);
  EXPECT_EQ(m.LayerFindByName("track"), kNoLayer);
  EXPECT_EQ(m.LayerFindByName("Track "), kNoLayer);
  EXPECT_EQ(m.LayerCount(), 2u);
  EXPECT_EQ(m.LayerName(vessel), "Vessel");
  EXPECT_EQ(m.LayerName(kNoLayer), "");
}

TEST(DrawingModelLayers, StyleDefaultsAndSetters) {
  DrawingModel m;
  const uint16_t l = m.LayerOpen("A");
  EXPECT_EQ(m.LayerPenColor(l), kDefaultPenColor);
  EXPECT_EQ(m.LayerPenWidth(l), kDefaultPenWidth);
  EXPECT_EQ(m.LayerBrushColor(l), kDefaultBrushColor);
  EXPECT_EQ(m.LayerAction(l), kActionAll);
  m.LayerSetPenColor(l, 0x0000FF);  // red
  m.LayerSetPenWidth(l, 3);
  m.LayerSetBrushColor(l, 0x00FF00);
  m.LayerSetAction(l, kActionVisible);
  EXPECT_EQ(m.LayerPenColor(l), 0x0000FF);
  EXPECT_EQ(m.LayerPenWidth(l), 3);
  EXPECT_EQ(m.LayerBrushColor(l), 0x00FF00);
  EXPECT_EQ(m.LayerAction(l), 1u);
  // A second layer keeps its own style.
  EXPECT_EQ(m.LayerPenColor(m.LayerOpen("B")), kDefaultPenColor);
}

// A cache of the drawing relies on the stamp: every change but shapes added
// at the end gives a new one, and a layer of another drawing never has an
// old one.
TEST(DrawingModelLayers, StampChangesWithEverythingButAddedShapes) {
  DrawingModel m;
  const uint16_t a = m.LayerOpen("a");
  const uint16_t b = m.LayerOpen("b");
  EXPECT_NE(m.LayerStamp(a), m.LayerStamp(b));
  EXPECT_EQ(m.LayerStamp(kNoLayer), 0u);
  uint64_t s = m.LayerStamp(a);
  const uint32_t p = m.DrawPoint(1, 2, a);
  m.TextAdd(a, "x", 0, 0, m.FontOpen("Sans", 1));
  EXPECT_EQ(m.LayerStamp(a), s) << "added shapes keep the stamp";
  EXPECT_EQ(m.LayerTextCount(a), 1u);
  m.LayerSetPenColor(a, m.LayerPenColor(a));
  m.LayerSetAction(a, m.LayerAction(a));
  EXPECT_EQ(m.LayerStamp(a), s) << "setting the same style is no change";
  const auto changed = [&](const char* what) {
    EXPECT_NE(m.LayerStamp(a), s) << what;
    s = m.LayerStamp(a);
  };
  m.LayerSetPenColor(a, 0x123456);
  changed("pen colour");
  m.LayerSetPenWidth(a, 3);
  changed("pen width");
  m.LayerSetBrushColor(a, 0x00FF00);
  changed("brush");
  m.LayerSetAction(a, kActionVisible);
  changed("action");
  m.ShapeSelect(p);
  changed("select");
  m.ShapeDeselect(p);
  changed("deselect");
  m.ShapePenWidth(p, 4);
  changed("shape pen");
  m.MovePoint(p, 5, 6);
  changed("move");
  m.ShapeColor(p, 0x0000FF);
  changed("shape colour");
  m.ShapeColor(p, 0x0000FF);
  m.LayerSetBrushStyle(a, m.LayerBrushStyle(a));
  EXPECT_EQ(m.LayerStamp(a), s) << "the same colour and brush style are no change";
  m.LayerSetBrushStyle(a, BrushStyle::kCross);
  changed("brush style");
  m.LayerSetBrushStyle(a, static_cast<BrushStyle>(kBrushStyleMax + 1));
  EXPECT_EQ(m.LayerStamp(a), s) << "a style refused is no change";
  const uint64_t b_stamp = m.LayerStamp(b);
  // Texts measured again have new boxes; a layer without texts keeps its
  // picture.
  m.SetTextMeasure([](std::string_view, std::string_view, int) { return Rect{0, 0, 5, 1}; });
  changed("texts measured again");
  EXPECT_EQ(m.LayerStamp(b), b_stamp);
  m.CadClearShapes(a);
  changed("clear");
  EXPECT_EQ(m.LayerTextCount(a), 0u);
  EXPECT_EQ(m.LayerStamp(b), b_stamp) << "the other layer is untouched";

  DrawingModel other;
  other.LayerOpen("a");
  EXPECT_NE(other.LayerStamp(0), m.LayerStamp(a));
  m.CadClearAll();
  m.LayerOpen("a");
  EXPECT_NE(m.LayerStamp(0), s);
}

TEST(DrawingModelLayers, NoLayerIsHarmless) {
  DrawingModel m;
  const uint16_t missing = m.LayerFindByName("nothing");
  ASSERT_EQ(missing, kNoLayer);
  EXPECT_EQ(m.DrawLine(0, 0, 1, 1, missing), 0u);
  EXPECT_EQ(m.DrawPoint(0, 0, missing), 0u);
  EXPECT_EQ(m.DrawCircle(0, 0, 1, missing), 0u);
  EXPECT_EQ(m.TextAdd(missing, "x", 0, 0, 0), 0u);
  EXPECT_EQ(m.DrawPolyline({{0, 0}, {1, 1}}, false, missing), 0u);
  EXPECT_EQ(m.DrawArc(0, 0, 1, 0, 90, missing), 0u);
  m.LayerSetPenColor(missing, 0x123456);
  m.LayerSetPenWidth(missing, 9);
  m.LayerSetAction(missing, 0);
  m.CadClearShapes(missing);
  EXPECT_EQ(m.LayerPenColor(missing), kDefaultPenColor);
  EXPECT_EQ(m.LayerPenWidth(missing), kDefaultPenWidth);
  EXPECT_EQ(m.LayerAction(missing), kDefaultAction);
  EXPECT_EQ(m.LayerShapeCount(missing), 0u);
  EXPECT_EQ(m.ShapeCount(), 0u);
  EXPECT_EQ(m.LayerCount(), 0u);
  EXPECT_FALSE(m.Extents());
}

TEST(DrawingModelLayers, FontsGiveStableHandles) {
  DrawingModel m;
  const int32_t a = m.FontOpen("Arial", 1.0);
  const int32_t b = m.FontOpen("Arial", 2.0);
  EXPECT_GE(a, 1);
  EXPECT_NE(a, b);
  EXPECT_EQ(m.FontOpen("Arial", 1.0), a);
  ASSERT_TRUE(m.FontGet(b));
  EXPECT_EQ(m.FontGet(b)->name, "Arial");
  EXPECT_EQ(m.FontGet(b)->scale, 2.0);
  EXPECT_FALSE(m.FontGet(0));
  EXPECT_FALSE(m.FontGet(99));
}

// ---------------------------------------------------------------- shapes

TEST(DrawingModelShapes, EveryKindIsStoredAsDrawn) {
  DrawingModel m;
  const uint16_t l = m.LayerOpen("L");
  const int32_t f = m.FontOpen("Mono", 1.5);
  const uint32_t line = m.DrawLine(1, 2, 3, 4, l);
  const uint32_t point = m.DrawPoint(5, 6, l);
  const uint32_t circle = m.DrawCircle(7, 8, 9, l);
  const uint32_t text = m.TextAdd(l, "Buoy 12", 10, 11, f);
  const uint32_t poly = m.DrawPolyline({{0, 0}, {10, 0}, {10, 5}}, true, l);
  const uint32_t arc = m.DrawArc(1, 1, 2, 30, 120, l);
  EXPECT_EQ(m.ShapeCount(), 6u);
  EXPECT_EQ(m.LayerShapeCount(l), 6u);

  auto s = m.GetShape(line);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->kind, ShapeKind::kLine);
  EXPECT_EQ(s->layer, l);
  EXPECT_EQ(std::tie(s->x1, s->y1, s->x2, s->y2), std::make_tuple(1.0, 2.0, 3.0, 4.0));
  s = m.GetShape(point);
  EXPECT_EQ(s->kind, ShapeKind::kPoint);
  EXPECT_EQ(std::tie(s->x1, s->y1), std::make_tuple(5.0, 6.0));
  s = m.GetShape(circle);
  EXPECT_EQ(s->kind, ShapeKind::kCircle);
  EXPECT_EQ(std::tie(s->x1, s->y1, s->r), std::make_tuple(7.0, 8.0, 9.0));
  s = m.GetShape(text);
  EXPECT_EQ(s->kind, ShapeKind::kText);
  EXPECT_EQ(s->text, "Buoy 12");
  EXPECT_EQ(s->font, f);
  EXPECT_EQ(std::tie(s->x1, s->y1), std::make_tuple(10.0, 11.0));
  s = m.GetShape(poly);
  EXPECT_EQ(s->kind, ShapeKind::kPolyline);
  EXPECT_EQ(s->points, (std::vector<PointXY>{{0, 0}, {10, 0}, {10, 5}}));
  EXPECT_TRUE(s->closed);
  s = m.GetShape(arc);
  EXPECT_EQ(s->kind, ShapeKind::kArc);
  EXPECT_EQ(std::tie(s->x1, s->y1, s->r, s->a1, s->a2),
            std::make_tuple(1.0, 1.0, 2.0, 30.0, 120.0));
  EXPECT_EQ(m.ShapeKindOf(arc), ShapeKind::kArc);
  EXPECT_EQ(m.ShapeLayer(arc), l);
}

TEST(DrawingModelShapes, NumbersAreUniqueAndIncreasingAcrossLayersAndClears) {
  DrawingModel m;
  const uint16_t a = m.LayerOpen("A");
  const uint16_t b = m.LayerOpen("B");
  std::vector<uint32_t> numbers;
  for (int i = 0; i < 50; ++i) {
    numbers.push_back(m.DrawPoint(i, i, i % 2 == 0 ? a : b));
    if (i == 20) m.CadClearShapes(a);
    if (i == 30) m.CadClearAll(), m.LayerOpen("A"), m.LayerOpen("B");
  }
  EXPECT_EQ(numbers.front(), 1u);
  EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
  EXPECT_EQ(std::adjacent_find(numbers.begin(), numbers.end()), numbers.end());
  EXPECT_EQ(m.NextShapeNumber(), numbers.back() + 1);
}

TEST(DrawingModelShapes, RejectsNonFiniteAndDegenerateInput) {
  DrawingModel m;
  const uint16_t l = m.LayerOpen("L");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(m.DrawLine(0, nan, 1, 1, l), 0u);
  EXPECT_EQ(m.DrawPoint(inf, 0, l), 0u);
  EXPECT_EQ(m.DrawCircle(0, 0, -1, l), 0u);
  EXPECT_EQ(m.DrawPolyline({}, false, l), 0u);
  EXPECT_EQ(m.DrawPolyline({{0, 0}, {nan, 1}}, false, l), 0u);
  EXPECT_EQ(m.DrawArc(0, 0, 1, inf, 0, l), 0u);
  EXPECT_EQ(m.ShapeCount(), 0u);
  EXPECT_EQ(m.LayerShapeCount(l), 0u);
}

TEST(DrawingModelShapes, PenWidthOverrideAndSelection) {
  DrawingModel m;
  const uint16_t l = m.LayerOpen("L");
  const uint32_t a = m.DrawPoint(0, 0, l);
  const uint32_t b = m.DrawPoint(1, 1, l);
  EXPECT_EQ(m.ShapePenWidth(a), -1);
  EXPECT_TRUE(m.ShapePenWidth(a, 4));
  EXPECT_EQ(m.ShapePenWidth(a), 4);
  EXPECT_EQ(m.ShapePenWidth(b), -1);
  EXPECT_TRUE(m.ShapePenWidth(a, -1));
  EXPECT_EQ(m.ShapePenWidth(a), -1);

  EXPECT_FALSE(m.ShapeSelected(b));
  EXPECT_TRUE(m.ShapeSelect(b));
  EXPECT_TRUE(m.ShapeSelected(b));
  EXPECT_FALSE(m.ShapeSelected(a));
  EXPECT_TRUE(m.ShapeDeselect(b));
  EXPECT_FALSE(m.ShapeSelected(b));

  EXPECT_FALSE(m.ShapePenWidth(999, 2));
  EXPECT_FALSE(m.ShapeSelect(0));
  EXPECT_FALSE(m.ShapeSelect(999));
  EXPECT_EQ(m.ShapeLayer(999), kNoLayer);
  EXPECT_FALSE(m.ShapeKindOf(999));
}

TEST(DrawingModelShapes, PerShapeOperationsFindShapesInInterleavedLayers) {
  DrawingModel m;
  const uint16_t a = m.LayerOpen("A");
  const uint16_t b = m.LayerOpen("B");
  std::vector<std::pair<uint32_t, uint16_t>> drawn;
  for (int i = 0; i < 200; ++i) {
    const uint16_t l = (i * 7) % 3 == 0 ? a : b;
    drawn.emplace_back(m.DrawPoint(i, -i, l), l);
  }
  for (const auto& [number, layer] : drawn) {
    EXPECT_EQ(m.ShapeLayer(number), layer);
    ASSERT_TRUE(m.ShapeSelect(number));
  }
  for (const auto& [number, layer] : drawn) EXPECT_TRUE(m.ShapeSelected(number));
}

// ---------------------------------------------------------------- clearing

TEST(DrawingModelClear, OneLayerAllLayersAndEverything) {
  DrawingModel m;
  const uint16_t a = m.LayerOpen("A");
  const uint16_t b = m.LayerOpen("B");
  const uint32_t pa = m.DrawPoint(0, 0, a);
  const uint32_t pb = m.DrawPoint(100, 100, b);
  m.LayerSetPenColor(a, 0xFF);

  m.CadClearShapes(a);
  EXPECT_FALSE(m.ShapeExists(pa));
  EXPECT_TRUE(m.ShapeExists(pb));
  EXPECT_EQ(m.ShapeCount(), 1u);
  EXPECT_EQ(m.LayerPenColor(a), 0xFF);  // style stays
  EXPECT_EQ(Query(m, {-1, -1, 1, 1}).size(), 0u);
  EXPECT_EQ(m.Extents(), (Rect{100, 100, 100, 100}));

  m.CadClearShapes(7);  // unknown layer
  m.CadClearShapes(kNoLayer);
  EXPECT_EQ(m.ShapeCount(), 1u);

  m.DrawPoint(0, 0, a);
  m.CadClearShapes(-1);
  EXPECT_EQ(m.ShapeCount(), 0u);
  EXPECT_EQ(m.LayerCount(), 2u);
  EXPECT_FALSE(m.Extents());

  m.FontOpen("F", 1);
  m.DrawPoint(0, 0, a);
  m.CadClearAll();
  EXPECT_EQ(m.LayerCount(), 0u);
  EXPECT_EQ(m.ShapeCount(), 0u);
  EXPECT_EQ(m.LayerFindByName("A"), kNoLayer);
  EXPECT_EQ(m.FontCount(), 1u);
  EXPECT_EQ(m.LayerOpen("B"), 0);
}

TEST(DrawingModelClear, RedrawingALayerManyTimesKeepsItSmallAndCorrect) {
  DrawingModel m;
  const uint16_t track = m.LayerOpen("Track");
  const uint16_t vessel = m.LayerOpen("Vessel");
  for (int i = 0; i < 1000; ++i) m.DrawPoint(i, 0, track);
  for (int frame = 0; frame < 500; ++frame) {
    m.CadClearShapes(vessel);
    const double x = frame;
    m.DrawPolyline({{x, 0}, {x + 2, 5}, {x + 4, 0}}, true, vessel);
    for (int k = 0; k < 6; ++k) m.DrawLine(x, k, x + 1, k, vessel);
  }
  EXPECT_EQ(m.LayerShapeCount(vessel), 7u);
  EXPECT_EQ(m.ShapeCount(), 1007u);
  // Each of the 7 shapes once: no stale entries of earlier frames remain.
  std::vector<uint32_t> found;
  m.QueryRect(vessel, {-1e9, -1e9, 1e9, 1e9}, [&](uint32_t n) { found.push_back(n); });
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found.size(), 7u);
  EXPECT_EQ(std::adjacent_find(found.begin(), found.end()), found.end());
  EXPECT_FALSE(m.Pick(0, 5, 0.5));  // where the first frame's polyline was
}

// ---------------------------------------------------------------- queries

TEST(DrawingModelQueries, ExtentsCoverEveryKind) {
  DrawingModel m;
  const uint16_t a = m.LayerOpen("A");
  const uint16_t b = m.LayerOpen("B");
  EXPECT_FALSE(m.Extents());
  m.DrawPoint(5, 5, a);
  EXPECT_EQ(m.Extents(), (Rect{5, 5, 5, 5}));
  m.DrawCircle(0, 0, 2, b);
  m.DrawLine(1, 1, 10, -3, a);
  m.TextAdd(b, "t", -4, 1, 0);
  EXPECT_EQ(m.Extents(), (Rect{-4, -3, 10, 5}));
  m.DrawPolyline({{0, 20}, {3, 21}}, false, a);
  EXPECT_EQ(m.Extents(), (Rect{-4, -3, 10, 21}));
}

TEST(DrawingModelQueries, ArcBoundsFollowTheSweep) {
  DrawingModel m;
  const uint16_t l = m.LayerOpen("L");
  // Quarter from east to north: x in [0, 1], y in [0, 1].
  const auto q = m.ShapeBounds(m.DrawArc(0, 0, 1, 0, 90, l));
  ASSERT_TRUE(q);
  EXPECT_NEAR(q->min_x, 0, 1e-12);
  EXPECT_NEAR(q->min_y, 0, 1e-12);
  EXPECT_NEAR(q->max_x, 1, 1e-12);
  EXPECT_NEAR(q->max_y, 1, 1e-12);
  // From 300 degrees through east to 60: crosses 0, so max x is the radius.
  const auto w = m.ShapeBounds(m.DrawArc(0, 0, 2, 300, 60, l));
  EXPECT_NEAR(w->max_x, 2, 1e-12);
  EXPECT_NEAR(w->min_x, 1, 1e-12);
  EXPECT_NEAR(w->max_y, std::sqrt(3.0), 1e-12);
  // Equal angles: the full circle.
  EXPECT_EQ(m.ShapeBounds(m.DrawArc(0, 0, 3, 45, 45, l)), (Rect{-3, -3, 3, 3}));
}

TEST(DrawingModelQueries, RectangleQueriesMatchBruteForce) {
  // Small cells so that shapes span several cells and some go to the list of
  // large shapes; coordinates straddle zero to exercise negative cells.
  DrawingModel m(10.0);
  std::mt19937 rng(20261208);
  std::uniform_real_distribution<double> pos(-500, 500);
  std::uniform_real_distribution<double> len(0, 60);
  std::uniform_int_distribution<int> kind(0, 5);
  const uint16_t layers[] = {m.LayerOpen("a"), m.LayerOpen("b"), m.LayerOpen("c")};
  for (int i = 0; i < 3000; ++i) {
    const uint16_t l = layers[i % 3];
    const double x = pos(rng), y = pos(rng);
    switch (kind(rng)) {
      case 0:
        m.DrawLine(x, y, x + len(rng) - 30, y + len(rng) - 30, l);
        break;
      case 1:
        m.DrawPoint(x, y, l);
        break;
      case 2:
        m.DrawCircle(x, y, len(rng) * (i % 50 == 0 ? 5 : 0.5), l);
        break;
      case 3:
        m.TextAdd(l, "t", x, y, 0);
        break;
      case 4:
        m.DrawPolyline({{x, y}, {x + len(rng), y}, {x, y - len(rng)}}, false, l);
        break;
      default:
        m.DrawArc(x, y, len(rng), len(rng) * 6, len(rng) * 6, l);
        break;
    }
  }
  ASSERT_EQ(m.ShapeCount(), 3000u);
  std::vector<std::pair<uint32_t, Rect>> all;
  for (uint16_t l : layers) {
    m.ForEachShape(
        l, [&](const ShapeData& s) { all.emplace_back(s.number, *m.ShapeBounds(s.number)); });
  }
  for (int q = 0; q < 300; ++q) {
    const double x = pos(rng), y = pos(rng);
    const double w = q % 10 == 0 ? len(rng) * 30 : len(rng);
    const double h = q % 7 == 0 ? 0 : len(rng);
    const Rect r{x, y, x + w, y + h};
    std::set<uint32_t> expected;
    for (const auto& [n, box] : all) {
      if (box.Intersects(r)) expected.insert(n);
    }
    ASSERT_EQ(Query(m, r), expected) << "query " << q;
  }
  // The whole world, far away, and a rectangle on a single layer.
  EXPECT_EQ(Query(m, {-1e12, -1e12, 1e12, 1e12}).size(), 3000u);
  EXPECT_TRUE(Query(m, {1e6, 1e6, 2e6, 2e6}).empty());
  size_t on_b = 0;
  m.QueryRect(layers[1], {-1e9, -1e9, 1e9, 1e9}, [&](uint32_t n) {
    EXPECT_EQ(m.ShapeLayer(n), layers[1]);
    ++on_b;
  });
  EXPECT_EQ(on_b, 1000u);
}

TEST(DrawingModelQueries, HugeCoordinatesStayFindable) {
  DrawingModel m;
  const uint16_t l = m.LayerOpen("L");
  const uint32_t far = m.DrawPoint(1e15, -1e15, l);
  const uint32_t near = m.DrawPoint(0, 0, l);
  EXPECT_EQ(Query(m, {1e15 - 1, -1e15 - 1, 1e15 + 1, -1e15 + 1}), std::set<uint32_t>{far});
  EXPECT_EQ(Query(m, {-1, -1, 1, 1}), std::set<uint32_t>{near});
  // Shapes spanning the whole range of index cells on both axes.
  const uint32_t circle = m.DrawCircle(1000, -5e14, 5e14, l);
  const uint32_t line = m.DrawLine(-1e300, -1e300, 1e300, 1e300, l);
  ASSERT_NE(circle, 0u);
  ASSERT_NE(line, 0u);
  EXPECT_EQ(Query(m, {-1, -1, 1, 1}), (std::set<uint32_t>{near, circle, line}));
}

// ---------------------------------------------------------------- picking

TEST(DrawingModelText, HeightAndJustifyGiveTheBoxAndArePicked) {
  DrawingModel m;
  const uint16_t l = m.LayerOpen("L");
  const int32_t f = m.FontOpen("Txt", 2);
  // Fixed on the screen: only the anchor is known in world units.
  const uint32_t fixed = m.TextAdd(l, "42", 100, 200, f);
  EXPECT_EQ(m.ShapeBounds(fixed), (Rect{100, 200, 100, 200}));
  // Ten units high, centred above the point: 2 characters of 6 units.
  const uint32_t world = m.TextAdd(l, "42", 100, 200, f, 10, 1);
  EXPECT_EQ(m.ShapeBounds(world), (Rect{94, 197.5, 106, 210}));
  const ShapeData data = *m.GetShape(world);
  EXPECT_EQ(data.text_height, 10);
  EXPECT_EQ(data.justify, 1);
  // Right and top: the text lies left of and below the anchor.
  const uint32_t right_top = m.TextAdd(l, "42", 100, 200, f, 10, 8);
  EXPECT_EQ(m.ShapeBounds(right_top), (Rect{88, 187.5, 100, 200}));
  // Out-of-range values fall back to the defaults.
  const ShapeData odd = *m.GetShape(m.TextAdd(l, "x", 0, 0, f, -3, 9));
  EXPECT_EQ(odd.text_height, 0);
  EXPECT_EQ(odd.justify, 0);
  // A click on the box picks the text.
  m.LayerSetAction(l, kActionAll);
  const std::optional<PickResult> hit = m.Pick(104, 207, 0.5);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->number, world);
  // DrawShape copies text with its placement.
  ShapeData copy = data;
  const ShapeData again = *m.GetShape(m.DrawShape(copy, l));
  EXPECT_EQ(again.text_height, 10);
  EXPECT_EQ(again.justify, 1);
  EXPECT_EQ(again.text, "42");
}

TEST(DrawingModelSnap, NearestVertexOnSnappableLayers) {
  DrawingModel m;
  const uint16_t l = m.LayerOpen("L");
  const uint16_t off = m.LayerOpen("no snap");
  m.LayerSetAction(off, kActionVisible | kActionSelectable);
  m.DrawLine(0, 0, 10, 0, l);
  m.DrawPolyline({{20, 20}, {30, 20}, {30, 30}}, false, l);
  m.DrawArc(100, 100, 10, 0, 90, l);
  m.DrawPoint(50, 0.5, off);
  EXPECT_EQ(m.Snap(0.3, 0.2, 1), (PointXY{0, 0}));
  EXPECT_EQ(m.Snap(5.2, -0.4, 1), (PointXY{5, 0}));  // the middle of the line
  EXPECT_EQ(m.Snap(29.5, 29.6, 1), (PointXY{30, 30}));
  EXPECT_EQ(m.Snap(100, 109.5, 1)->x, 100.0 + 10 * std::cos(std::numbers::pi / 2));
  EXPECT_EQ(m.Snap(99.5, 99.6, 1), (PointXY{100, 100}));
  EXPECT_FALSE(m.Snap(50, 0.5, 1));  // on a layer without the snap bit
  EXPECT_FALSE(m.Snap(15, 15, 1));
  m.LayerSetAction(l, kActionSnappable);  // not visible: nothing to snap to
  EXPECT_FALSE(m.Snap(0, 0, 1));
}

TEST(DrawingModelPick, DistanceToEachKindOfGeometry) {
  DrawingModel m;
  const uint16_t l = m.LayerOpen("L");
  const uint32_t line = m.DrawLine(0, 0, 100, 0, l);
  const uint32_t circle = m.DrawCircle(0, 200, 50, l);
  const uint32_t poly = m.DrawPolyline({{300, 0}, {400, 0}, {400, 100}}, true, l);
  const uint32_t arc = m.DrawArc(0, 500, 10, 0, 90, l);
  const uint32_t text = m.TextAdd(l, "T", 700, 700, 0);
  const uint32_t point = m.DrawPoint(800, 800, l);

  auto pick = [&](double x, double y, double tol) {
    const auto r = m.Pick(x, y, tol);
    return r ? r->number : 0u;
  };
  EXPECT_EQ(pick(50, 3, 5), line);
  EXPECT_EQ(pick(50, 6, 5), 0u);
  EXPECT_EQ(pick(103, 0, 5), line);  // beyond the end, near the end point
  EXPECT_EQ(pick(0, 253, 5), circle);
  EXPECT_EQ(pick(0, 200, 5), 0u);     // the centre is far from the outline
  EXPECT_EQ(pick(350, 52, 3), poly);  // on the closing segment
  EXPECT_EQ(pick(402, 50, 3), poly);
  EXPECT_EQ(pick(7.07, 507.07, 0.1), arc);
  EXPECT_EQ(pick(-7.07, 492.93, 1), 0u);  // opposite side, not on the arc
  EXPECT_EQ(pick(-1, 510, 1.5), arc);     // near the end at 90 degrees
  // Three quarters from east to south: the gap lies inside the bounding box.
  const uint32_t big_arc = m.DrawArc(0, 600, 10, 0, 270, l);
  EXPECT_EQ(pick(7.07, 592.93, 1), 0u);
  EXPECT_EQ(pick(-7.07, 592.93, 0.1), big_arc);
  EXPECT_EQ(pick(1, 590, 1.5), big_arc);  // near the end at 270 degrees
  EXPECT_EQ(pick(701, 701, 2), text);
  EXPECT_EQ(pick(800, 803, 4), point);
  const auto r = m.Pick(800, 803, 4);
  EXPECT_NEAR(r->distance, 3, 1e-12);
  EXPECT_EQ(r->layer, l);
}

TEST(DrawingModelPick, NearestWinsAndTiesGoToTheLaterShape) {
  DrawingModel m;
  const uint16_t l = m.LayerOpen("L");
  m.DrawPoint(0, 0, l);
  const uint32_t closer = m.DrawPoint(3, 0, l);
  EXPECT_EQ(m.Pick(2, 0, 5)->number, closer);
  const uint32_t twin = m.DrawPoint(3, 0, l);
  EXPECT_EQ(m.Pick(2, 0, 5)->number, twin);
  EXPECT_FALSE(m.Pick(100, 100, 5));
  EXPECT_FALSE(m.Pick(0, 0, -1));
}

TEST(DrawingModelPick, OnlyVisibleAndSelectableLayers) {
  DrawingModel m;
  const uint16_t back = m.LayerOpen("Back");
  const uint16_t front = m.LayerOpen("Front");
  const uint32_t b = m.DrawPoint(0, 0, back);
  const uint32_t f = m.DrawPoint(1, 0, front);
  EXPECT_EQ(m.Pick(0.9, 0, 5)->number, f);
  m.LayerSetAction(front, kActionVisible);  // draw only
  EXPECT_EQ(m.Pick(0.9, 0, 5)->number, b);
  m.LayerSetAction(front, kActionSelectable);  // hidden
  EXPECT_EQ(m.Pick(0.9, 0, 5)->number, b);
  m.LayerSetAction(back, kActionVisible | kActionSnappable);
  EXPECT_FALSE(m.Pick(0.9, 0, 5));
  m.LayerSetAction(front, kActionAll);
  EXPECT_EQ(m.Pick(0.9, 0, 5)->number, f);
}

TEST(DrawingModelPick, MatchesBruteForceOnRandomData) {
  DrawingModel m(5.0);
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> pos(-200, 200);
  std::uniform_real_distribution<double> len(0, 20);
  const uint16_t l = m.LayerOpen("L");
  struct Drawn {
    uint32_t number;
    int kind;
    double x, y, u, v;
  };
  std::vector<Drawn> drawn;
  for (int i = 0; i < 2000; ++i) {
    const double x = pos(rng), y = pos(rng), u = len(rng), v = len(rng);
    const int kind = i % 3;
    const uint32_t n = kind == 0   ? m.DrawLine(x, y, x + u, y - v, l)
                       : kind == 1 ? m.DrawCircle(x, y, u, l)
                                   : m.DrawPoint(x, y, l);
    drawn.push_back({n, kind, x, y, u, v});
  }
  // Independent distances: a segment sampled finely, a circle and a point.
  auto distance = [](const Drawn& d, double px, double py) {
    if (d.kind == 1) return std::abs(std::hypot(px - d.x, py - d.y) - d.u);
    if (d.kind == 2) return std::hypot(px - d.x, py - d.y);
    double best = std::numeric_limits<double>::infinity();
    for (int k = 0; k <= 20000; ++k) {
      const double t = k / 20000.0;
      best = std::min(best, std::hypot(px - (d.x + t * d.u), py - (d.y - t * d.v)));
    }
    return best;
  };
  // Distance to a line's bounding box: a lower bound that skips most samplings.
  auto box_distance = [](const Drawn& d, double px, double py) {
    const double dx = std::max({d.x - px, 0.0, px - (d.x + d.u)});
    const double dy = std::max({(d.y - d.v) - py, 0.0, py - d.y});
    return std::hypot(dx, dy);
  };
  for (int q = 0; q < 100; ++q) {
    const double x = pos(rng), y = pos(rng);
    const double tol = q % 4 == 0 ? 0.5 : 6.0;
    double best = std::numeric_limits<double>::infinity();
    for (const Drawn& d : drawn) {
      if (d.kind == 0 && box_distance(d, x, y) >= best) continue;
      best = std::min(best, distance(d, x, y));
    }
    const auto r = m.Pick(x, y, tol);
    if (best > tol + 1e-3) {
      EXPECT_FALSE(r) << "query " << q;
    } else if (best < tol - 1e-3) {
      ASSERT_TRUE(r) << "query " << q;
      EXPECT_NEAR(r->distance, best, 1e-3) << "query " << q;
    }
  }
}

}  // namespace
}  // namespace halvex::mapcontrol

// ---------------------------------------------------------------- arcs, colours, rotated text

namespace halvex::mapcontrol {
namespace {

void ExpectNearRect(const std::optional<Rect>& got, const Rect& want) {
  ASSERT_TRUE(got);
  EXPECT_NEAR(got->min_x, want.min_x, 1e-12);
  EXPECT_NEAR(got->min_y, want.min_y, 1e-12);
  EXPECT_NEAR(got->max_x, want.max_x, 1e-12);
  EXPECT_NEAR(got->max_y, want.max_y, 1e-12);
}

TEST(DrawingModelBulges, ArcsAreTheShapeNotTheirChords) {
  // Half circles from (0, 0) to (2, 0): counter-clockwise passes south.
  const std::optional<BulgeArc> ccw = ArcOfBulge({0, 0}, {2, 0}, 1);
  ASSERT_TRUE(ccw);
  EXPECT_NEAR(ccw->cx, 1, 1e-15);
  EXPECT_NEAR(ccw->cy, 0, 1e-15);
  EXPECT_NEAR(ccw->r, 1, 1e-15);
  EXPECT_NEAR(ccw->sweep_deg, 180, 1e-12);
  ExpectNearRect(BulgeBounds({0, 0}, {2, 0}, 1), Rect{0, -1, 2, 0});
  ExpectNearRect(BulgeBounds({0, 0}, {2, 0}, -1), Rect{0, 0, 2, 1});
  // A quarter circle about the origin: bulge tan(90 / 4 degrees).
  const std::optional<BulgeArc> quarter =
      ArcOfBulge({1, 0}, {0, 1}, std::tan(std::numbers::pi / 8));
  ASSERT_TRUE(quarter);
  EXPECT_NEAR(quarter->cx, 0, 1e-15);
  EXPECT_NEAR(quarter->cy, 0, 1e-15);
  EXPECT_NEAR(quarter->start_deg, 0, 1e-12);
  EXPECT_NEAR(quarter->sweep_deg, 90, 1e-12);
  EXPECT_FALSE(ArcOfBulge({0, 0}, {2, 0}, 0));
  EXPECT_FALSE(ArcOfBulge({3, 3}, {3, 3}, 1));

  DrawingModel m;
  const uint16_t l = m.LayerOpen("L");
  const uint32_t n = m.DrawPolyline({{0, 0}, {2, 0}, {2, 5}}, {1, 0, 0}, false, l);
  ASSERT_NE(n, 0u);
  ExpectNearRect(m.ShapeBounds(n), Rect{0, -1, 2, 5});
  // On the arc's lowest point; not at the chord's middle.
  EXPECT_EQ(m.Pick(1, -1.05, 0.1)->number, n);
  EXPECT_FALSE(m.Pick(1, 0, 0.5));
  // Found by a query of the arc's part of the drawing only.
  EXPECT_EQ(Query(m, Rect{0.9, -1.01, 1.1, -0.9}).count(n), 1u);
  // Two points closed by two half circles make a ring.
  const uint32_t ring = m.DrawPolyline({{10, 0}, {12, 0}}, {1, 1}, true, l);
  ExpectNearRect(m.ShapeBounds(ring), Rect{10, -1, 12, 1});
  EXPECT_EQ(m.Pick(11, 1.02, 0.05)->number, ring);

  // Bad bulges draw nothing: a count other than the points', or not finite.
  EXPECT_EQ(m.DrawPolyline({{0, 0}, {1, 0}}, {1}, false, l), 0u);
  EXPECT_EQ(m.DrawPolyline({{0, 0}, {1, 0}}, {std::nan(""), 0}, false, l), 0u);
  EXPECT_EQ(m.DrawPolyline({{0, 0}, {1, 0}}, {}, false, l, -1), 0u);
  // Bulges all 0 are kept as none.
  EXPECT_TRUE(m.GetShape(m.DrawPolyline({{0, 0}, {1, 0}}, {0, 0}, false, l))->bulges.empty());
}

TEST(DrawingModelColours, ShapeColourOverridesAndIsCopied) {
  DrawingModel m;
  const uint16_t l = m.LayerOpen("L");
  const uint32_t n = m.DrawLine(0, 0, 1, 1, l);
  EXPECT_EQ(m.ShapeColor(n), kLayerColor);
  EXPECT_TRUE(m.ShapeColor(n, 0x12345678));
  EXPECT_EQ(m.ShapeColor(n), 0x345678);
  ShapeData s = *m.GetShape(n);
  EXPECT_EQ(s.color, 0x345678);
  EXPECT_EQ(m.GetShape(m.DrawShape(s, l))->color, 0x345678);
  EXPECT_TRUE(m.ShapeColor(n, -5));
  EXPECT_EQ(m.ShapeColor(n), kLayerColor);
  EXPECT_FALSE(m.ShapeColor(999, 0));
  // A polyline's width in world units and bulges are copied too.
  s = *m.GetShape(m.DrawPolyline({{0, 0}, {4, 0}}, {0.25, 0}, false, l, 1.5));
  const ShapeData copy = *m.GetShape(m.DrawShape(s, l));
  EXPECT_EQ(copy.bulges, (std::vector<double>{0.25, 0}));
  EXPECT_EQ(copy.width, 1.5);

  m.LayerSetBrushStyle(l, BrushStyle::kSolid);
  EXPECT_EQ(m.LayerBrushStyle(l), BrushStyle::kSolid);
  m.LayerSetBrushStyle(l, static_cast<BrushStyle>(200));
  EXPECT_EQ(m.LayerBrushStyle(l), BrushStyle::kSolid);
  EXPECT_EQ(m.LayerBrushStyle(kNoLayer), BrushStyle::kNone);
}

TEST(DrawingModelText, RotatedMeasuredBoxesArePickedAnywhere) {
  DrawingModel m;
  // Every text 4 capital heights wide, from the baseline to the capitals.
  m.SetTextMeasure([](std::string_view, std::string_view, int) { return Rect{0, 0, 4, 1}; });
  const uint16_t l = m.LayerOpen("L");
  const int32_t f = m.FontOpen("Sans", 2);
  // Ten units high and turned to the north: it runs up from its anchor.
  const uint32_t up = m.TextAdd(l, "NORTH", 100, 200, f, 10, 0, 90);
  const Rect box = *m.ShapeBounds(up);
  EXPECT_NEAR(box.min_x, 90, 1e-9);
  EXPECT_NEAR(box.max_x, 100, 1e-9);
  EXPECT_NEAR(box.min_y, 200, 1e-9);
  EXPECT_NEAR(box.max_y, 240, 1e-9);
  EXPECT_EQ(m.GetShape(up)->rotation, 90);
  EXPECT_EQ(m.Pick(95, 235, 0.1)->number, up);
  EXPECT_FALSE(m.Pick(130, 205, 1));  // where it would lie unturned
  // Turned by 45 degrees, the corner of its box is not part of it.
  const uint32_t slant = m.TextAdd(l, "SLANT", 1000, 0, f, 10, 0, 45);
  EXPECT_EQ(m.Pick(1000 + 20, 20 + 3, 0.1)->number, slant);
  EXPECT_FALSE(m.Pick(1000 - 7, 35, 0.1));

  // Fixed on the screen at 2 * 6 = 12 pixels: 48 by 12 pixels from the anchor.
  const uint32_t screen = m.TextAdd(l, "SCREEN", 5000, 5000, f);
  EXPECT_EQ(m.ShapeBounds(screen), (Rect{5000, 5000, 5000, 5000}));
  EXPECT_NEAR(m.LayerScreenTextReach(l), std::hypot(48.0, 12.0), 1e-9);
  EXPECT_EQ(m.TextBox(screen), (Rect{0, 0, 48, 12}));
  // At two units a pixel the text reaches 96 units east of its anchor.
  EXPECT_EQ(m.Pick(5000 + 90, 5000 + 20, 0.5, 2)->number, screen);
  EXPECT_FALSE(m.Pick(5000 + 90, 5000 + 20, 0.5, 1));
  EXPECT_FALSE(m.Pick(5000 + 90, 5000 + 20, 0.5));
  EXPECT_EQ(m.Pick(5000, 5000, 0.5)->number, screen);

  // A new measure measures the texts already drawn again.
  m.SetTextMeasure([](std::string_view, std::string_view, int) { return Rect{0, 0, 8, 1}; });
  EXPECT_NEAR(m.ShapeBounds(up)->max_y, 280, 1e-9);
  EXPECT_NEAR(m.LayerScreenTextReach(l), std::hypot(96.0, 12.0), 1e-9);
  EXPECT_EQ(m.Pick(95, 275, 0.1)->number, up);
  // A measure that gives nonsense falls back to the estimate.
  m.SetTextMeasure([](std::string_view, std::string_view, int) {
    return Rect{0, 0, std::numeric_limits<double>::infinity(), 1};
  });
  EXPECT_TRUE(std::isfinite(m.ShapeBounds(up)->max_y));
  // Rotation must be finite.
  EXPECT_EQ(m.TextAdd(l, "x", 0, 0, f, 1, 0, std::numeric_limits<double>::infinity()), 0u);
}

}  // namespace
}  // namespace halvex::mapcontrol
