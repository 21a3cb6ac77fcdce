// SPDX-License-Identifier: GPL-3.0-or-later
// What DXF files say of each shape beyond its geometry: colours of its own
// (62, 420), text rotation (50) and aligned text, polyline arcs (42) and
// widths (40, 41, 43); read, written, and read back.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "mapcontrol/DxfFile.hpp"
#include "mapcontrol/tests/TestFiles.hpp"

namespace halvex::mapcontrol {
namespace {

namespace fs = std::filesystem;
using test_files::AllShapes;

class DxfShapesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("hxv-dxf-shapes-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  DrawingModel Load(const fs::path& path) {
    DrawingModel m;
    DxfLoadReport report;
    std::string error;
    EXPECT_TRUE(LoadDxf(path.string(), m, report, error)) << error;
    return m;
  }
  fs::path Write(const std::string& name, const std::string& text) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }

  fs::path dir_;
};

// An ENTITIES section of `body` in a minimal R2000 file.
std::string Dxf(const std::string& body) {
  return "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1015\n0\nENDSEC\n"
         "0\nSECTION\n2\nENTITIES\n" +
         body + "0\nENDSEC\n0\nEOF\n";
}

TEST_F(DxfShapesTest, ReadsColoursRotationsAndWidths) {
  const std::string body =
      // Colour index 1 (red), true colour 0x123456 (RGB), by layer.
      "0\nLINE\n8\nA\n62\n1\n10\n0\n20\n0\n11\n1\n21\n1\n"
      "0\nLINE\n8\nA\n62\n5\n420\n1193046\n10\n0\n20\n0\n11\n1\n21\n1\n"
      "0\nLINE\n8\nA\n62\n256\n10\n0\n20\n0\n11\n1\n21\n1\n"
      // Turned by 30 degrees; aligned between (0, 0) and (0, 10).
      "0\nTEXT\n8\nA\n10\n5\n20\n5\n40\n2\n1\nTurned\n50\n30\n"
      "0\nTEXT\n8\nA\n10\n0\n20\n0\n11\n0\n21\n10\n40\n2\n1\nAlong\n72\n3\n"
      // Constant width 0.5; widths that differ from segment to segment.
      "0\nLWPOLYLINE\n8\nA\n90\n3\n70\n0\n43\n0.5\n10\n0\n20\n0\n10\n5\n20\n0\n10\n5\n20\n5\n"
      "0\nLWPOLYLINE\n8\nA\n90\n2\n70\n0\n10\n0\n20\n0\n40\n1\n41\n2\n10\n5\n20\n0\n"
      // An R12 polyline whose default widths all vertices keep, and one
      // whose vertex gives its own equal widths.
      "0\nPOLYLINE\n8\nA\n66\n1\n70\n1\n40\n3\n41\n3\n"
      "0\nVERTEX\n8\nA\n10\n0\n20\n0\n42\n0.25\n0\nVERTEX\n8\nA\n10\n9\n20\n0\n"
      "0\nVERTEX\n8\nA\n10\n9\n20\n9\n0\nSEQEND\n"
      "0\nPOLYLINE\n8\nA\n66\n1\n70\n0\n"
      "0\nVERTEX\n8\nA\n10\n0\n20\n0\n40\n1.5\n41\n1.5\n0\nVERTEX\n8\nA\n10\n9\n20\n0\n0\nSEQEND\n";
  const DrawingModel m = Load(Write("styles.dxf", Dxf(body)));
  const std::vector<ShapeData> s = AllShapes(m);
  ASSERT_EQ(s.size(), 9u);
  EXPECT_EQ(s[0].color, 0x0000FF);
  EXPECT_EQ(s[1].color, 0x563412);  // 0xBBGGRR of RGB 0x123456
  EXPECT_EQ(s[2].color, kLayerColor);
  EXPECT_NEAR(s[3].rotation, 30, 1e-12);
  EXPECT_NEAR(s[4].rotation, 90, 1e-12);
  EXPECT_EQ(s[5].width, 0.5);
  EXPECT_EQ(s[6].width, 0);
  EXPECT_EQ(s[7].width, 3);
  EXPECT_TRUE(s[7].closed);
  EXPECT_EQ(s[7].bulges, (std::vector<double>{0.25, 0, 0}));
  // Open, its one segment is the first vertex's: the last one's widths
  // (the default, none) do not count.
  EXPECT_EQ(s[8].width, 1.5);
}

TEST_F(DxfShapesTest, ExportThenImportKeepsEveryField) {
  DrawingModel m;
  const uint16_t l = m.LayerOpen("Marks");
  m.LayerSetPenColor(l, 0x00FF00);
  const int32_t f = m.FontOpen("STANDARD", 2);
  m.ShapeColor(m.DrawLine(0, 0, 10, 10, l), 0x0000FF);  // an index's own colour
  m.ShapeColor(m.DrawCircle(5, 5, 2, l), 0x336699);     // only a true colour
  m.ShapeColor(m.DrawPoint(1, 2, l), 0x000000);
  m.TextAdd(l, "Turned", 3, 4, f, 2.5, 0, 123.456789);
  m.TextAdd(l, "Level", 3, 4, f, 2.5, 0, 0);
  m.DrawPolyline({{0, 0}, {10, 0}, {10, 10}}, {0.414213562373095, -2.5, 0.1}, true, l, 1.25);
  m.DrawPolyline({{0, 0}, {1, 1}}, false, l);
  const fs::path dxf = dir_ / "out.dxf";
  std::string error;
  ASSERT_TRUE(SaveDxf(m, dxf.string(), error)) << error;
  const DrawingModel back = Load(dxf);
  const std::vector<ShapeData> want = AllShapes(m);
  const std::vector<ShapeData> got = AllShapes(back);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(got[i].kind, want[i].kind);
    EXPECT_EQ(got[i].color, want[i].color);
    EXPECT_NEAR(got[i].rotation, want[i].rotation, 1e-9);
    ASSERT_EQ(got[i].bulges.size(), want[i].bulges.size());
    for (size_t k = 0; k < want[i].bulges.size(); ++k) {
      EXPECT_NEAR(got[i].bulges[k], want[i].bulges[k], 1e-12);
    }
    EXPECT_EQ(got[i].width, want[i].width);
    EXPECT_EQ(got[i].closed, want[i].closed);
  }
  // ezdxf reads the same: the true colour (0xRRGGBB), the rotation, the
  // width and the bulges.
  const fs::path seen = dir_ / "ezdxf.txt";
  const std::string command =
      std::string(DXF_AUDIT_PYTHON) +
      " -c \"import ezdxf, sys\n"
      "d = ezdxf.readfile(sys.argv[1])\n"
      "for e in d.modelspace():\n"
      "  t = e.dxftype()\n"
      "  if t == 'CIRCLE': print(e.dxf.true_color)\n"
      "  if t == 'TEXT': print(round(e.dxf.rotation, 9))\n"
      "  if t == 'POLYLINE' and e.dxf.default_start_width:\n"
      "    print(e.dxf.default_start_width, [v.dxf.bulge for v in e.vertices])\" '" +
      dxf.string() + "' > '" + seen.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream seen_in(seen);
  const std::string lines((std::istreambuf_iterator<char>(seen_in)), {});
  EXPECT_EQ(lines, "10053171\n123.456789\n0.0\n1.25 [0.414213562373095, -2.5, 0.1]\n");

  // A closed shape is written as its outline, never as a fill.
  std::ifstream in(dxf);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text.find("HATCH"), std::string::npos);
  EXPECT_EQ(text.find("SOLID"), std::string::npos);
}

// Many polylines of arcs, as charts of piers and coastlines are drawn: the
// arcs come back from an import and an export as they were, and the file
// does not grow by more than twice.
TEST_F(DxfShapesTest, ArcsSurviveTheRoundTripAtTheirSize) {
  std::mt19937_64 random(12);
  std::uniform_real_distribution<double> coordinate(400000, 600000);
  std::uniform_real_distribution<double> bulge(-3, 3);
  std::string body;
  std::vector<std::vector<double>> bulges;
  char number[64];
  auto put = [&](int code, double v) {
    std::snprintf(number, sizeof number, "%.17g", v);
    body += std::to_string(code) + "\n" + number + "\n";
  };
  for (int p = 0; p < 2000; ++p) {
    body += "0\nLWPOLYLINE\n8\nPiers\n90\n12\n70\n" + std::to_string(p % 2) + "\n";
    std::vector<double> these;
    for (int v = 0; v < 12; ++v) {
      put(10, coordinate(random));
      put(20, coordinate(random));
      these.push_back(v % 3 == 2 ? 0.0 : bulge(random));
      if (these.back() != 0) put(42, these.back());
    }
    bulges.push_back(these);
  }
  const fs::path input = Write("piers.dxf", Dxf(body));
  const DrawingModel m = Load(input);
  const fs::path output = dir_ / "again.dxf";
  std::string error;
  ASSERT_TRUE(SaveDxf(m, output.string(), error)) << error;
  const auto in_size = fs::file_size(input);
  const auto out_size = fs::file_size(output);
  EXPECT_LE(out_size, 2 * in_size) << in_size << " bytes in, " << out_size << " out";
  RecordProperty("bytes_in", std::to_string(in_size));
  RecordProperty("bytes_out", std::to_string(out_size));

  const std::vector<ShapeData> shapes = AllShapes(Load(output));
  ASSERT_EQ(shapes.size(), bulges.size());
  double worst = 0;
  for (size_t i = 0; i < shapes.size(); ++i) {
    ASSERT_EQ(shapes[i].bulges.size(), bulges[i].size()) << i;
    for (size_t k = 0; k < bulges[i].size(); ++k) {
      worst = std::max(worst, std::abs(shapes[i].bulges[k] - bulges[i][k]));
    }
  }
  EXPECT_LE(worst, 1e-9);
}

}  // namespace
}  // namespace halvex::mapcontrol
