// SPDX-License-Identifier: GPL-3.0-or-later
// Entities in object coordinate systems, placed as ezdxf places them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "mapcontrol/DxfFile.hpp"

namespace halvex::mapcontrol {
namespace {

namespace fs = std::filesystem;

constexpr double kDeg = 3.14159265358979323846 / 180.0;
constexpr double kTolerance = 1e-9;

struct Expected {
  std::string kind;
  std::vector<double> values;
};

PointXY OnCircle(const ShapeData& s, double angle_deg) {
  return {s.x1 + s.r * std::cos(angle_deg * kDeg), s.y1 + s.r * std::sin(angle_deg * kDeg)};
}

bool Near(PointXY p, double x, double y) {
  return std::abs(p.x - x) < kTolerance * std::max(1.0, std::abs(x)) &&
         std::abs(p.y - y) < kTolerance * std::max(1.0, std::abs(y));
}

// Circles, arcs, texts, INSERTs, LWPOLYLINEs and 2-D POLYLINEs with
// extrusions up, down, scaled, near the poles and tilted: each lands where
// ezdxf's object coordinate system puts it (make_ocs_cases.py writes the
// file and ezdxf's world coordinates); mirrored arcs run the other way;
// polylines of tilted planes are projected, the rest of them counted.
TEST(DxfExtrusion, EntitiesLandWhereEzdxfPutsThem) {
  const std::string python = DXF_AUDIT_PYTHON;
  if (std::system((python + " -c 'import ezdxf' 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "ezdxf is not installed";
  }
  const fs::path dir = fs::temp_directory_path() / ("halvex_ocs_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string dxf = (dir / "ocs.dxf").string();
  const std::string expected_file = (dir / "ocs.txt").string();
  const std::string command =
      python + " " + DXF_TEST_SCRIPTS + "/make_ocs_cases.py '" + dxf + "' '" + expected_file + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  std::multimap<std::string, Expected> expected;
  std::ifstream in(expected_file);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string layer;
    Expected e;
    words >> layer >> e.kind;
    for (double v = 0; words >> v;) e.values.push_back(v);
    expected.emplace(layer, e);
  }
  ASSERT_GT(expected.size(), 40u);

  DrawingModel m;
  DxfLoadReport report;
  std::string error;
  ASSERT_TRUE(LoadDxf(dxf, m, report, error)) << error;
  fs::remove_all(dir);
  // Planes tilted a little (near the poles) and much.
  EXPECT_EQ(report.unsupported["CIRCLE (not parallel to the XY plane)"], 6u);
  EXPECT_EQ(report.unsupported["TEXT (not parallel to the XY plane)"], 6u);
  EXPECT_EQ(report.unsupported["ARC (not parallel to the XY plane)"], 3u);
  EXPECT_EQ(report.unsupported["INSERT (not parallel to the XY plane)"], 3u);

  size_t checked = 0;
  for (auto it = expected.begin(); it != expected.end();) {
    const std::string layer_name = it->first;
    const auto range = expected.equal_range(layer_name);
    it = range.second;
    SCOPED_TRACE(layer_name);
    const int32_t layer = m.LayerFindByName(layer_name);
    std::vector<ShapeData> shapes;
    if (layer >= 0) {
      m.ForEachShape(static_cast<uint16_t>(layer),
                     [&](const ShapeData& s) { shapes.push_back(s); });
    }
    const Expected& first = range.first->second;
    if (first.kind == "skip") {
      EXPECT_TRUE(shapes.empty());
      continue;
    }
    ASSERT_EQ(shapes.size(), static_cast<size_t>(std::distance(range.first, range.second)));
    size_t i = 0;
    for (auto e = range.first; e != range.second; ++e, ++i) {
      const ShapeData& s = shapes[i];
      const std::vector<double>& v = e->second.values;
      ++checked;
      if (e->second.kind == "circle" || e->second.kind == "text") {
        EXPECT_TRUE(Near({s.x1, s.y1}, v[0], v[1])) << s.x1 << " " << s.y1;
      } else if (e->second.kind == "arc") {
        ASSERT_EQ(s.kind, ShapeKind::kArc);
        const PointXY start = OnCircle(s, s.a1);
        const PointXY end = OnCircle(s, s.a2);
        const double span = std::fmod(std::fmod(s.a2 - s.a1, 360.0) + 360.0, 360.0);
        const PointXY mid = OnCircle(s, s.a1 + span / 2);
        EXPECT_TRUE((Near(start, v[0], v[1]) && Near(end, v[2], v[3])) ||
                    (Near(start, v[2], v[3]) && Near(end, v[0], v[1])));
        EXPECT_TRUE(Near(mid, v[4], v[5]))
            << mid.x << " " << mid.y << " want " << v[4] << " " << v[5];
      } else if (e->second.kind == "line") {
        ASSERT_EQ(s.kind, ShapeKind::kLine);
        EXPECT_TRUE(Near({s.x1, s.y1}, v[0], v[1]) && Near({s.x2, s.y2}, v[2], v[3]))
            << s.x1 << " " << s.y1 << " " << s.x2 << " " << s.y2;
      } else if (e->second.kind == "poly") {
        ASSERT_EQ(s.kind, ShapeKind::kPolyline);
        ASSERT_EQ(s.points.size() * 2, v.size());
        for (size_t k = 0; k < s.points.size(); ++k) {
          EXPECT_TRUE(Near(s.points[k], v[2 * k], v[2 * k + 1])) << k;
        }
      }
    }
  }
  EXPECT_GT(checked, 30u);
}

// A mirrored text runs the other way from its anchor: its horizontal
// justify flips, so it covers the same ground as in other programs.
TEST(DxfExtrusion, MirroredTextFlipsItsJustify) {
  const fs::path file =
      fs::temp_directory_path() / ("halvex_ocs_text_" + std::to_string(::getpid()) + ".dxf");
  std::ofstream(file) << "0\nSECTION\n2\nENTITIES\n"
                         "0\nTEXT\n8\nA\n10\n5\n20\n1\n30\n0\n40\n2\n1\nleft\n230\n-1\n"
                         "0\nTEXT\n8\nA\n10\n0\n20\n0\n30\n0\n40\n2\n1\nright\n72\n2\n11\n5\n21\n"
                         "1\n31\n0\n210\n0\n220\n0\n230\n-1\n"
                         "0\nLINE\n8\nA\n10\n1\n20\n2\n11\n3\n21\n4\n230\n-1\n"
                         "0\nENDSEC\n0\nEOF\n";
  DrawingModel m;
  DxfLoadReport report;
  std::string error;
  ASSERT_TRUE(LoadDxf(file.string(), m, report, error)) << error;
  fs::remove(file);
  std::vector<ShapeData> shapes;
  m.ForEachShape(0, [&](const ShapeData& s) { shapes.push_back(s); });
  ASSERT_EQ(shapes.size(), 3u);
  EXPECT_DOUBLE_EQ(shapes[0].x1, -5);
  EXPECT_DOUBLE_EQ(shapes[0].y1, 1);
  EXPECT_EQ(shapes[0].justify, 2);
  EXPECT_DOUBLE_EQ(shapes[1].x1, -5);
  EXPECT_EQ(shapes[1].justify, 0);
  // A LINE is in world coordinates whatever its extrusion.
  EXPECT_DOUBLE_EQ(shapes[2].x1, 1);
  EXPECT_DOUBLE_EQ(shapes[2].x2, 3);
}

// A polyline with an arc in an upright plane (normal along x): seen from
// above it is a straight line at the plane's elevation, not an arc.
TEST(DxfExtrusion, ArcsOfSlantedPolylinesAreFlattened) {
  const fs::path file =
      fs::temp_directory_path() / ("halvex_ocs_bulge_" + std::to_string(::getpid()) + ".dxf");
  std::ofstream(file) << "0\nSECTION\n2\nENTITIES\n"
                         "0\nLWPOLYLINE\n8\nA\n90\n2\n70\n0\n38\n7\n"
                         "10\n0\n20\n0\n42\n1\n10\n10\n20\n0\n210\n1\n220\n0\n230\n0\n"
                         "0\nENDSEC\n0\nEOF\n";
  DrawingModel m;
  DxfLoadReport report;
  std::string error;
  ASSERT_TRUE(LoadDxf(file.string(), m, report, error)) << error;
  fs::remove(file);
  std::vector<ShapeData> shapes;
  m.ForEachShape(0, [&](const ShapeData& s) { shapes.push_back(s); });
  ASSERT_EQ(shapes.size(), 1u);
  EXPECT_TRUE(shapes[0].bulges.empty());
  ASSERT_GT(shapes[0].points.size(), 80u);
  for (const PointXY& p : shapes[0].points) {
    EXPECT_NEAR(p.x, 7, 1e-12);
    EXPECT_GE(p.y, -1e-12);
    EXPECT_LE(p.y, 10 + 1e-12);
  }
  EXPECT_NEAR(shapes[0].points.back().y, 10, 1e-12);
}

}  // namespace
}  // namespace halvex::mapcontrol
