// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapcontrol/DxfFile.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace halvex::mapcontrol {
namespace {

namespace fs = std::filesystem;

const std::string kData = DXF_TEST_DATA;

class TempDir {
 public:
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = fs::temp_directory_path() / ("halvex_dxf_" + std::to_string(::getpid()) + "_" +
                                         info->test_suite_name() + "_" + info->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  size_t Entries() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(path_), {}));
  }

 private:
  fs::path path_;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ezdxf's audit of the file: true when it reads the file and finds no error.
bool PassesAudit(const std::string& path) {
  const std::string command = std::string(DXF_AUDIT_PYTHON) +
                              " -c \"import ezdxf, sys; doc = ezdxf.readfile(sys.argv[1]); "
                              "a = doc.audit(); sys.exit(1 if a.has_errors else 0)\" '" +
                              path + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

std::vector<ShapeData> Shapes(const DrawingModel& model, uint16_t layer) {
  std::vector<ShapeData> shapes;
  model.ForEachShape(layer, [&](const ShapeData& s) { shapes.push_back(s); });
  return shapes;
}

void ExpectNear(double expected, double actual, const char* what) {
  EXPECT_LE(std::abs(expected - actual), 1e-9 * std::max(1.0, std::abs(expected)))
      << what << ": expected " << expected << ", got " << actual;
}

// Same kind and geometry (numbers, pen widths and fonts aside).
void ExpectSameShape(const ShapeData& e, const ShapeData& a) {
  ASSERT_EQ(e.kind, a.kind);
  ExpectNear(e.x1, a.x1, "x1");
  ExpectNear(e.y1, a.y1, "y1");
  switch (e.kind) {
    case ShapeKind::kLine:
      ExpectNear(e.x2, a.x2, "x2");
      ExpectNear(e.y2, a.y2, "y2");
      break;
    case ShapeKind::kCircle:
      ExpectNear(e.r, a.r, "r");
      break;
    case ShapeKind::kArc:
      ExpectNear(e.r, a.r, "r");
      ExpectNear(e.a1, a.a1, "a1");
      ExpectNear(e.a2, a.a2, "a2");
      break;
    case ShapeKind::kText:
      EXPECT_EQ(e.text, a.text);
      break;
    case ShapeKind::kPolyline:
      EXPECT_EQ(e.closed, a.closed);
      ASSERT_EQ(e.points.size(), a.points.size());
      for (size_t i = 0; i < e.points.size(); ++i) {
        ExpectNear(e.points[i].x, a.points[i].x, "point x");
        ExpectNear(e.points[i].y, a.points[i].y, "point y");
      }
      break;
    case ShapeKind::kPoint:
      break;
  }
}

// Every kind on three layers, with awkward numbers: survey grid coordinates,
// small fractions, negative values.
DrawingModel SampleDrawing() {
  DrawingModel m;
  const uint16_t coast = m.LayerOpen("Coast line");
  const uint16_t depth = m.LayerOpen("Depth");
  const uint16_t notes = m.LayerOpen("Notes_2");
  m.LayerSetPenColor(coast, 0x0000FF);
  m.LayerSetPenColor(depth, 0xFF0000);
  m.LayerSetPenColor(notes, 0x00FF00);
  m.DrawLine(512345.678901234, 6123456.78901234, 512400.000000001, 6123499.5, coast);
  m.DrawPoint(-0.000123456789012, 1e-7, depth);
  m.DrawCircle(512350.25, 6123460.125, 12.3456789012345, depth);
  m.DrawArc(100.5, -200.25, 3.14159265358979, 15.5, 275.125, coast);
  m.DrawArc(1, 2, 3, 350, 10, coast);  // through east
  m.TextAdd(notes, "Wreck (dangerous), 12.5 m", 512360.1, 6123470.9, m.FontOpen("Arial", 2.5));
  m.TextAdd(notes, "second text", -5, -6, m.FontOpen("Arial", 0.75), 0.75, 4);
  m.DrawPolyline({{0, 0}, {10.5, 0.25}, {10.5, 10.75}, {-3.125, 9}}, true, coast);
  m.DrawPolyline({{512345.1, 6123456.2}, {512346.3, 6123457.4}}, false, depth);
  m.DrawPolyline({{7, 8}}, false, notes);
  return m;
}

// ---------------------------------------------------------------- round trip

TEST(DxfRoundTrip, EveryKindOnSeveralLayers) {
  TempDir dir;
  const DrawingModel original = SampleDrawing();
  std::string error;
  const std::string file = dir.Path("chart.dxf");
  ASSERT_TRUE(SaveDxf(original, file, error)) << error;
  EXPECT_NE(ReadFile(file).find("AC1009"), std::string::npos);

  DrawingModel loaded;
  DxfLoadReport report;
  ASSERT_TRUE(LoadDxf(file, loaded, report, error)) << error;
  EXPECT_TRUE(report.unsupported.empty());
  EXPECT_EQ(report.version, "AC1009");
  EXPECT_EQ(report.shapes, original.ShapeCount());
  ASSERT_EQ(loaded.LayerCount(), original.LayerCount());  // no layer "0" added
  for (uint16_t l = 0; l < original.LayerCount(); ++l) {
    SCOPED_TRACE(original.LayerName(l));
    EXPECT_EQ(loaded.LayerName(l), original.LayerName(l));
    EXPECT_EQ(loaded.LayerPenColor(l), original.LayerPenColor(l));
    EXPECT_EQ(loaded.LayerAction(l), kDefaultAction);
    const auto expected = Shapes(original, l);
    const auto actual = Shapes(loaded, l);
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      SCOPED_TRACE(i);
      ExpectSameShape(expected[i], actual[i]);
    }
  }
  // Text height comes back as the font's scale and the text's world height
  // (text of a fixed screen size becomes world-scaled); placement is kept.
  const auto texts = Shapes(loaded, 2);
  ASSERT_EQ(texts.size(), 3u);
  ASSERT_TRUE(loaded.FontGet(texts[0].font));
  EXPECT_DOUBLE_EQ(loaded.FontGet(texts[0].font)->scale, 2.5);
  EXPECT_DOUBLE_EQ(texts[0].text_height, 2.5);
  EXPECT_EQ(texts[0].justify, 0);
  EXPECT_DOUBLE_EQ(loaded.FontGet(texts[1].font)->scale, 0.75);
  EXPECT_DOUBLE_EQ(texts[1].text_height, 0.75);
  EXPECT_EQ(texts[1].justify, 4);
  EXPECT_DOUBLE_EQ(texts[1].x1, -5);
  EXPECT_DOUBLE_EQ(texts[1].y1, -6);
  // Every placement survives the trip.
  DrawingModel all;
  const uint16_t l = all.LayerOpen("T");
  for (int j = 0; j <= kJustifyMax; ++j) all.TextAdd(l, "J", j, 0, all.FontOpen("S", 1), 1, j);
  const std::string jfile = dir.Path("justify.dxf");
  ASSERT_TRUE(SaveDxf(all, jfile, error)) << error;
  DrawingModel back;
  ASSERT_TRUE(LoadDxf(jfile, back, report, error)) << error;
  const auto justified = Shapes(back, 0);
  ASSERT_EQ(justified.size(), size_t{kJustifyMax + 1});
  for (int j = 0; j <= kJustifyMax; ++j) {
    EXPECT_EQ(justified[static_cast<size_t>(j)].justify, j);
    EXPECT_DOUBLE_EQ(justified[static_cast<size_t>(j)].x1, j);
  }
}

TEST(DxfRoundTrip, ExportedFilesPassAudit) {
  TempDir dir;
  std::string error;
  const std::string sample = dir.Path("sample.dxf");
  ASSERT_TRUE(SaveDxf(SampleDrawing(), sample, error)) << error;
  EXPECT_TRUE(PassesAudit(sample));

  const std::string empty = dir.Path("empty.dxf");
  ASSERT_TRUE(SaveDxf(DrawingModel(), empty, error)) << error;
  EXPECT_TRUE(PassesAudit(empty));

  DrawingModel with_zero;
  const uint16_t zero = with_zero.LayerOpen("0");
  with_zero.DrawCircle(0, 0, 1, zero);
  with_zero.DrawArc(0, 0, 1, 45, 45, with_zero.LayerOpen("hidden"));
  with_zero.LayerSetAction(1, kActionSelectable);
  const std::string zero_file = dir.Path("zero.dxf");
  ASSERT_TRUE(SaveDxf(with_zero, zero_file, error)) << error;
  EXPECT_TRUE(PassesAudit(zero_file));

  // The audit does find errors: a file cut short fails it.
  const std::string broken = dir.Path("broken.dxf");
  std::ofstream(broken) << ReadFile(sample).substr(0, 300);
  EXPECT_FALSE(PassesAudit(broken));
}

TEST(DxfRoundTrip, LayerZeroVisibilityAndFullCircleArc) {
  TempDir dir;
  DrawingModel m;
  const uint16_t zero = m.LayerOpen("0");
  const uint16_t hidden = m.LayerOpen("hidden");
  m.LayerSetPenColor(hidden, 0xC0C0C0);
  m.LayerSetAction(hidden, kActionSelectable);
  m.DrawCircle(0, 0, 1, zero);
  m.DrawArc(5, 5, 2, 45, 45, hidden);
  std::string error;
  const std::string file = dir.Path("z.dxf");
  ASSERT_TRUE(SaveDxf(m, file, error)) << error;
  DrawingModel loaded;
  DxfLoadReport report;
  ASSERT_TRUE(LoadDxf(file, loaded, report, error)) << error;
  ASSERT_EQ(loaded.LayerCount(), 2u);
  EXPECT_EQ(loaded.LayerName(0), "0");
  EXPECT_EQ(loaded.LayerName(1), "hidden");
  EXPECT_EQ(loaded.LayerPenColor(1), 0xC0C0C0);
  EXPECT_EQ(loaded.LayerAction(1) & kActionVisible, 0u);
  EXPECT_EQ(loaded.LayerAction(0), kDefaultAction);
  const auto arcs = Shapes(loaded, 1);
  ASSERT_EQ(arcs.size(), 1u);
  EXPECT_DOUBLE_EQ(arcs[0].a1, 45);
  EXPECT_DOUBLE_EQ(arcs[0].a2, 405);  // the full circle as DXF needs it
}

// ---------------------------------------------------------------- colours

TEST(DxfRoundTrip, TextWithLineBreaksControlCharactersAndSigns) {
  TempDir dir;
  DrawingModel m;
  const uint16_t l = m.LayerOpen("Notes");
  const int32_t f = m.FontOpen("Txt", 2);
  m.TextAdd(l, "12.50 m 45.00\u00B0\nsecond line", 0, 0, f, 2, 0);
  m.TextAdd(l, "\u00B1 0.05 m, \u2300 0.3 m, 100%", 0, 10, f, 2, 0);
  m.TextAdd(l, "tab\there\rcr", 0, 20, f, 2, 0);
  std::string error;
  const std::string file = dir.Path("text.dxf");
  ASSERT_TRUE(SaveDxf(m, file, error)) << error;
  const std::string written = ReadFile(file);
  EXPECT_NE(written.find("12.50 m 45.00%%d\\Psecond line"), std::string::npos);
  EXPECT_TRUE(PassesAudit(file));
  DrawingModel back;
  DxfLoadReport report;
  ASSERT_TRUE(LoadDxf(file, back, report, error)) << error;
  const auto texts = Shapes(back, 0);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0].text, "12.50 m 45.00\u00B0\nsecond line");
  EXPECT_EQ(texts[1].text, "\u00B1 0.05 m, \u2300 0.3 m, 100%");
  EXPECT_EQ(texts[2].text, "tab here cr");  // control characters as blanks
  EXPECT_EQ(FromDxfText("%%D %%%%%C %%x", true), "\u00B0 %\u2300 %%x");

  // Layer names that DXF could not carry as they are.
  DrawingModel odd;
  odd.DrawPoint(0, 0, odd.LayerOpen(""));
  odd.DrawPoint(1, 1, odd.LayerOpen("two\nlines"));
  const std::string odd_file = dir.Path("odd.dxf");
  ASSERT_TRUE(SaveDxf(odd, odd_file, error)) << error;
  EXPECT_TRUE(PassesAudit(odd_file));
  DrawingModel odd_back;
  ASSERT_TRUE(LoadDxf(odd_file, odd_back, report, error)) << error;
  EXPECT_EQ(odd_back.LayerFindByName("_"), 0);
  EXPECT_EQ(odd_back.LayerFindByName("two_lines"), 1);
  EXPECT_EQ(FromDxfText("a\\Pb", false), "a\\Pb");
}

// Lines of any length: a long TEXT value and a long layer name come back
// whole, from our own files and from a file with CR LF line ends; what we
// write, our reader and ezdxf read back.
TEST(DxfRoundTrip, LinesOfAnyLength) {
  TempDir dir;
  for (const size_t length : {size_t{1022}, size_t{1023}, size_t{1024}, size_t{5000}}) {
    SCOPED_TRACE(length);
    std::string text;
    for (size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
    const std::string layer_name = "L" + text.substr(0, 700);
    DrawingModel m;
    const uint16_t l = m.LayerOpen(layer_name);
    m.TextAdd(l, text, 1, 2, m.FontOpen("Txt", 2), 2, 0);
    m.DrawPoint(3, 4, l);
    std::string error;
    const std::string file = dir.Path("long.dxf");
    ASSERT_TRUE(SaveDxf(m, file, error)) << error;
    EXPECT_TRUE(PassesAudit(file));
    DrawingModel back;
    DxfLoadReport report;
    ASSERT_TRUE(LoadDxf(file, back, report, error)) << error;
    EXPECT_TRUE(report.unsupported.empty());
    ASSERT_EQ(back.LayerFindByName(layer_name), 0);
    const auto shapes = Shapes(back, 0);
    ASSERT_EQ(shapes.size(), 2u);
    EXPECT_EQ(shapes[0].text, text);
    EXPECT_EQ(shapes[1].x1, 3);

    // The same with CR LF line ends.
    std::string crlf;
    for (const char c : ReadFile(file)) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    std::ofstream(dir.Path("crlf.dxf"), std::ios::binary) << crlf;
    DrawingModel back2;
    ASSERT_TRUE(LoadDxf(dir.Path("crlf.dxf"), back2, report, error)) << error;
    EXPECT_EQ(Shapes(back2, 0)[0].text, text);
  }
}

TEST(DxfColours, NearestBasicIndex) {
  EXPECT_EQ(NearestAci(0x0000FF), 1);  // red (0xBBGGRR)
  EXPECT_EQ(NearestAci(0x00FFFF), 2);
  EXPECT_EQ(NearestAci(0x00FF00), 3);
  EXPECT_EQ(NearestAci(0xFFFF00), 4);
  EXPECT_EQ(NearestAci(0xFF0000), 5);  // blue
  EXPECT_EQ(NearestAci(0xFF00FF), 6);
  EXPECT_EQ(NearestAci(0x000000), 7);
  EXPECT_EQ(NearestAci(0xFFFFFF), 7);
  EXPECT_EQ(NearestAci(0xF0F0F0), 7);
  EXPECT_EQ(NearestAci(0x808080), 8);
  EXPECT_EQ(NearestAci(0xC0C0C0), 9);
  EXPECT_EQ(NearestAci(0x1010E0), 1);  // dark-ish red
  EXPECT_EQ(NearestAci(0xE01010), 5);  // dark-ish blue
  EXPECT_EQ(NearestAci(0x202020), 7);
  for (int aci = 1; aci <= 9; ++aci) {
    EXPECT_EQ(NearestAci(AciToBgr(aci)), aci) << aci;
    EXPECT_EQ(AciToBgr(-aci), AciToBgr(aci)) << aci;
  }
  EXPECT_EQ(AciToBgr(7), 0x000000);
  EXPECT_EQ(AciToBgr(0), kDefaultPenColor);
  EXPECT_EQ(AciToBgr(42), kDefaultPenColor);
  EXPECT_EQ(AciToBgr(256), kDefaultPenColor);
}

// ---------------------------------------------------------------- saving

TEST(DxfSave, ReplacesAtomicallyAndFailsCleanly) {
  TempDir dir;
  std::string error;
  const std::string file = dir.Path("out.dxf");
  std::ofstream(file) << "old content";
  ASSERT_TRUE(SaveDxf(SampleDrawing(), file, error)) << error;
  EXPECT_NE(ReadFile(file).find("ENTITIES"), std::string::npos);
  EXPECT_EQ(dir.Entries(), 1u);  // no temporary left beside it

  const std::string missing = dir.Path("no/such/folder/out.dxf");
  EXPECT_FALSE(SaveDxf(SampleDrawing(), missing, error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(fs::exists(missing));

  // A folder in the way of the target: the old folder stays, no temporary.
  const std::string folder = dir.Path("taken.dxf");
  fs::create_directories(folder + "/inside");
  error.clear();
  EXPECT_FALSE(SaveDxf(SampleDrawing(), folder, error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(fs::is_directory(folder + "/inside"));
  EXPECT_EQ(dir.Entries(), 2u);
}

// ---------------------------------------------------------------- loading files

TEST(DxfLoad, Release12WithBlocks) {
  DrawingModel m;
  DxfLoadReport report;
  std::string error;
  ASSERT_TRUE(LoadDxf(kData + "/r12_basic.dxf", m, report, error)) << error;
  EXPECT_EQ(report.version, "AC1009");
  EXPECT_TRUE(report.unsupported.empty());
  // Layer "0" holds nothing of its own: the block's line goes to the
  // INSERT's layer.
  ASSERT_EQ(m.LayerCount(), 2u);
  EXPECT_EQ(m.LayerName(0), "Coast");
  EXPECT_EQ(m.LayerName(1), "Depth");
  EXPECT_EQ(m.LayerPenColor(0), 0x0000FF);
  EXPECT_EQ(m.LayerPenColor(1), 0xFF0000);
  EXPECT_EQ(m.LayerAction(0), kDefaultAction);
  EXPECT_EQ(m.LayerAction(1) & kActionVisible, 0u);  // colour -5: off

  const auto coast = Shapes(m, 0);
  ASSERT_EQ(coast.size(), 4u);
  ShapeData e;
  e.kind = ShapeKind::kLine;
  e.x1 = 1.5, e.y1 = 2.5, e.x2 = 10.25, e.y2 = -4;
  ExpectSameShape(e, coast[0]);
  e = {};
  e.kind = ShapeKind::kArc;
  e.r = 10, e.a1 = 30, e.a2 = 120;
  ExpectSameShape(e, coast[1]);
  e = {};
  e.kind = ShapeKind::kPolyline;
  e.points = {{0, 0}, {10, 0}, {10, 10}};
  e.closed = true;
  ExpectSameShape(e, coast[2]);
  // The block's circle (base point (1, 1)) at (100, 200), scale 2.
  e = {};
  e.kind = ShapeKind::kCircle;
  e.x1 = 100, e.y1 = 200, e.r = 1;
  ExpectSameShape(e, coast[3]);

  const auto depth = Shapes(m, 1);
  ASSERT_EQ(depth.size(), 4u);
  e = {};
  e.kind = ShapeKind::kPoint;
  e.x1 = 3, e.y1 = 4;
  ExpectSameShape(e, depth[0]);
  e = {};
  e.kind = ShapeKind::kCircle;
  e.x1 = 5, e.y1 = 6, e.r = 2.5;
  ExpectSameShape(e, depth[1]);
  e = {};
  e.kind = ShapeKind::kText;
  e.x1 = 7, e.y1 = 8, e.text = "12.5 m";
  ExpectSameShape(e, depth[2]);
  ASSERT_TRUE(m.FontGet(depth[2].font));
  EXPECT_EQ(m.FontGet(depth[2].font)->name, "STANDARD");
  EXPECT_DOUBLE_EQ(m.FontGet(depth[2].font)->scale, 2);
  // The block's line (1, 1)-(2, 1), scaled 2 and turned 90 degrees.
  e = {};
  e.kind = ShapeKind::kLine;
  e.x1 = 100, e.y1 = 200, e.x2 = 100, e.y2 = 202;
  ExpectSameShape(e, depth[3]);
  EXPECT_EQ(report.shapes, 8u);
}

TEST(DxfLoad, LightweightPolylineBulgeAndMText) {
  DrawingModel m;
  DxfLoadReport report;
  std::string error;
  ASSERT_TRUE(LoadDxf(kData + "/r2000_lwpolyline_mtext.dxf", m, report, error)) << error;
  EXPECT_EQ(report.version, "AC1015");
  EXPECT_TRUE(report.unsupported.empty());
  ASSERT_EQ(m.LayerCount(), 2u);  // no LAYER table: in the order met
  EXPECT_EQ(m.LayerName(0), "Route");
  EXPECT_EQ(m.LayerName(1), "Notes");

  const auto route = Shapes(m, 0);
  ASSERT_EQ(route.size(), 2u);
  // Bulge 1 from (0, 0) to (10, 0): the half circle below the chord, kept
  // as an arc, then straight on to (10, 5).
  const ShapeData& curved = route[0];
  ASSERT_EQ(curved.kind, ShapeKind::kPolyline);
  EXPECT_FALSE(curved.closed);
  ASSERT_EQ(curved.points.size(), 3u);
  ExpectNear(0, curved.points[0].x, "start x");
  ExpectNear(10, curved.points[1].x, "end of arc x");
  ExpectNear(5, curved.points[2].y, "last y");
  EXPECT_EQ(curved.bulges, (std::vector<double>{1, 0, 0}));
  EXPECT_NEAR(m.ShapeBounds(curved.number)->min_y, -5, 1e-9);
  ShapeData square;
  square.kind = ShapeKind::kPolyline;
  square.closed = true;
  square.points = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  ExpectSameShape(square, route[1]);

  const auto notes = Shapes(m, 1);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].text, "Wreck\ndepth 12 m");
  EXPECT_DOUBLE_EQ(notes[0].x1, 4);
  EXPECT_DOUBLE_EQ(notes[0].y1, 5);
  // Attachment point 1 (top left): the anchor at the text's top left.
  EXPECT_EQ(notes[0].justify, 6);
  EXPECT_DOUBLE_EQ(notes[0].text_height, 1.5);
  ASSERT_TRUE(m.FontGet(notes[0].font));
  EXPECT_EQ(m.FontGet(notes[0].font)->name, "Standard");
  EXPECT_DOUBLE_EQ(m.FontGet(notes[0].font)->scale, 1.5);
}

// Files of every release from 12 to 2018, written by ezdxf (the script
// make_dxf_versions.py beside this test), read alike.
TEST(DxfLoad, EveryReleaseFrom12To2018) {
  TempDir dir;
  const std::string command = std::string(DXF_AUDIT_PYTHON) + " " + DXF_TEST_SCRIPTS +
                              "/make_dxf_versions.py '" + dir.Path("") + "' >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::vector<std::pair<std::string, std::string>> releases = {
      {"R12", "AC1009"},   {"R2000", "AC1015"}, {"R2004", "AC1018"}, {"R2007", "AC1021"},
      {"R2010", "AC1024"}, {"R2013", "AC1027"}, {"R2018", "AC1032"}};
  for (const auto& [name, version] : releases) {
    SCOPED_TRACE(name);
    DrawingModel m;
    DxfLoadReport report;
    std::string error;
    ASSERT_TRUE(LoadDxf(dir.Path(name + ".dxf"), m, report, error)) << error;
    EXPECT_EQ(report.version, version);
    EXPECT_TRUE(report.unsupported.empty());
    const uint16_t survey = m.LayerFindByName("Survey");
    ASSERT_NE(survey, kNoLayer);
    EXPECT_EQ(m.LayerPenColor(survey), AciToBgr(3));
    const bool r12 = name == "R12";
    EXPECT_EQ(m.LayerShapeCount(survey), r12 ? 7u : 9u);
    std::map<ShapeKind, std::vector<ShapeData>> by_kind;
    m.ForEachShape(survey, [&](const ShapeData& s) { by_kind[s.kind].push_back(s); });
    ASSERT_EQ(by_kind[ShapeKind::kLine].size(), 2u);
    EXPECT_DOUBLE_EQ(by_kind[ShapeKind::kLine][0].x1, 512000.5);
    EXPECT_DOUBLE_EQ(by_kind[ShapeKind::kLine][0].y2, 6012005.25);
    // The block's line, moved to the insertion point.
    EXPECT_DOUBLE_EQ(by_kind[ShapeKind::kLine][1].x1, 100);
    EXPECT_DOUBLE_EQ(by_kind[ShapeKind::kLine][1].x2, 101);
    EXPECT_DOUBLE_EQ(by_kind[ShapeKind::kLine][1].y2, 200);
    ASSERT_EQ(by_kind[ShapeKind::kArc].size(), 1u);
    EXPECT_DOUBLE_EQ(by_kind[ShapeKind::kArc][0].a2, 80);
    EXPECT_DOUBLE_EQ(by_kind[ShapeKind::kCircle].at(0).r, 5);
    EXPECT_DOUBLE_EQ(by_kind[ShapeKind::kPoint].at(0).y1, 2);
    const ShapeData& text = by_kind[ShapeKind::kText].at(0);
    EXPECT_EQ(text.text, "Buoy 7");
    EXPECT_EQ(text.justify, 4);  // middle centre
    EXPECT_DOUBLE_EQ(text.x1, 20);
    EXPECT_DOUBLE_EQ(text.text_height, 2.5);
    const ShapeData& polygon = by_kind[ShapeKind::kPolyline].at(0);
    EXPECT_TRUE(polygon.closed);
    EXPECT_EQ(polygon.points.size(), 3u);
    if (!r12) {
      // The bulge of 1 is kept: a half circle.
      EXPECT_EQ(by_kind[ShapeKind::kPolyline].at(1).bulges.front(), 1);
      EXPECT_EQ(by_kind[ShapeKind::kText].at(1).text, "Wreck\ndepth 12 m");
    }
  }
}

TEST(DxfLoad, UnsupportedEntitiesAreCounted) {
  DrawingModel m;
  DxfLoadReport report;
  std::string error;
  ASSERT_TRUE(LoadDxf(kData + "/unsupported.dxf", m, report, error)) << error;
  EXPECT_EQ(report.unsupported.size(), 2u);
  EXPECT_EQ(report.unsupported["SPLINE"], 2u);
  EXPECT_EQ(report.unsupported["HATCH"], 1u);
  ASSERT_EQ(m.LayerCount(), 1u);
  EXPECT_EQ(m.LayerShapeCount(0), 1u);
  EXPECT_EQ(report.shapes, 1u);
}

TEST(DxfLoad, RefusedFilesLeaveTheDrawingUnchanged) {
  TempDir dir;
  const std::string garbage = dir.Path("garbage.dxf");
  std::ofstream(garbage) << "this is not a drawing\nat all\n";
  const std::string empty = dir.Path("empty.dxf");
  std::ofstream{empty};
  const std::vector<std::pair<std::string, std::string>> cases = {
      {kData + "/binary.dxf", "binary"},
      {kData + "/truncated.dxf", "truncated"},
      {dir.Path("missing.dxf"), "cannot open"},
      {garbage, "DXF"},
      {empty, "DXF"},
      {dir.Path(""), ""},
  };
  for (const auto& [path, reason] : cases) {
    SCOPED_TRACE(path);
    DrawingModel m = SampleDrawing();
    DxfLoadReport report;
    report.unsupported["marker"] = 7;
    std::string error;
    EXPECT_FALSE(LoadDxf(path, m, report, error));
    EXPECT_NE(error.find(reason), std::string::npos) << error;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(m.LayerCount(), 3u);
    EXPECT_EQ(m.ShapeCount(), SampleDrawing().ShapeCount());
    EXPECT_EQ(report.unsupported.size(), 1u);
    EXPECT_EQ(report.shapes, 0u);
  }
}

// ---------------------------------------------------------------- hostile files

// An ASCII DXF of `blocks` (BLOCK ... ENDBLK groups) and `entities`, written
// to `path`.
void WriteDxf(const std::string& path, const std::string& blocks, const std::string& entities) {
  std::ofstream(path) << "0\nSECTION\n2\nBLOCKS\n"
                      << blocks << "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n"
                      << entities << "0\nENDSEC\n0\nEOF\n";
}

std::string Block(const std::string& name, const std::string& content) {
  return "0\nBLOCK\n8\n0\n2\n" + name + "\n70\n0\n10\n0\n20\n0\n" + content + "0\nENDBLK\n";
}

std::string Insert(const std::string& name, const std::string& layer, double x = 0, int cols = 1,
                   int rows = 1, double spacing = 0) {
  return "0\nINSERT\n8\n" + layer + "\n2\n" + name + "\n10\n" + std::to_string(x) +
         "\n20\n0\n70\n" + std::to_string(cols) + "\n71\n" + std::to_string(rows) + "\n44\n" +
         std::to_string(spacing) + "\n45\n" + std::to_string(spacing) + "\n";
}

const std::string kPoint = "0\nPOINT\n8\n0\n10\n1\n20\n2\n";
const std::string kLine = "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n0\n";

constexpr const char* kOverLimit = "INSERT (over the block expansion limit)";

TEST(DxfBlocks, BlocksThatInsertThemselvesAreNotExpandedAgain) {
  TempDir dir;
  const std::string file = dir.Path("self.dxf");
  // SELF inserts itself; PING and PONG insert each other; OUTER nests INNER
  // twice, which is no cycle.
  WriteDxf(
      file,
      Block("SELF", kLine + Insert("SELF", "0", 5)) + Block("PING", kPoint + Insert("PONG", "0")) +
          Block("PONG", kLine + Insert("PING", "0")) + Block("INNER", kPoint) +
          Block("OUTER", Insert("INNER", "0") + Insert("INNER", "0", 10)),
      Insert("SELF", "a") + Insert("PING", "b") + Insert("PONG", "c") + Insert("OUTER", "d", 0, 3));
  DrawingModel m;
  DxfLoadReport report;
  std::string error;
  ASSERT_TRUE(LoadDxf(file, m, report, error)) << error;
  // SELF's line, PING's point, PONG's line, and OUTER's 3 x 2 points.
  EXPECT_EQ(report.shapes, 9u);
  EXPECT_EQ(m.ShapeCount(), 9u);
  EXPECT_EQ(report.unsupported.size(), 1u);
  EXPECT_EQ(report.unsupported["INSERT (block inserts itself)"], 3u);
  ASSERT_EQ(m.LayerCount(), 4u);
  EXPECT_EQ(m.LayerShapeCount(m.LayerFindByName("a")), 1u);
  EXPECT_EQ(m.LayerShapeCount(m.LayerFindByName("d")), 6u);
}

TEST(DxfBlocks, HugeArraysStopAtTheExpansionLimit) {
  TempDir dir;
  const std::string file = dir.Path("huge.dxf");
  // 10^10 points; then one INSERT whose single instance would hold another
  // 10^10 (not drawn whole, so not at all), and a line of the ENTITIES
  // section, which the limit does not touch.
  WriteDxf(file, Block("P", kPoint) + Block("NEST", Insert("P", "0", 0, 100000, 100000, 1)),
           Insert("P", "grid", 0, 100000, 100000, 1) + Insert("NEST", "nest") + kLine);
  DrawingModel m = SampleDrawing();
  DxfLoadReport report;
  std::string error;
  ASSERT_TRUE(LoadDxf(file, m, report, error)) << error;
  EXPECT_EQ(report.shapes, kDxfBlockExpansionLimit + 1);
  EXPECT_EQ(m.ShapeCount(), report.shapes);
  EXPECT_EQ(m.LayerShapeCount(m.LayerFindByName("grid")), kDxfBlockExpansionLimit);
  EXPECT_EQ(m.LayerShapeCount(m.LayerFindByName("0")), 1u);
  EXPECT_EQ(m.LayerShapeCount(m.LayerFindByName("nest")), 0u);
  EXPECT_EQ(report.unsupported.size(), 1u);
  EXPECT_EQ(report.unsupported[kOverLimit], 10'000'000'000u - kDxfBlockExpansionLimit + 1);
}

TEST(DxfBlocks, InstancesAreDrawnWholeWhileTheyFit) {
  TempDir dir;
  const std::string file = dir.Path("limit.dxf");
  // Under a limit of 10: three of the four 3-shape instances, then the
  // 1-shape instance that still fits.
  WriteDxf(file, Block("THREE", kLine + kPoint + kLine) + Block("ONE", kPoint),
           Insert("THREE", "three", 0, 2, 2, 5) + Insert("ONE", "one", 0, 1, 2, 5));
  DrawingModel m;
  DxfLoadReport report;
  std::string error;
  ASSERT_TRUE(LoadDxf(file, m, report, error, DxfLoadOptions{.block_expansion_limit = 10}))
      << error;
  EXPECT_EQ(m.LayerShapeCount(m.LayerFindByName("three")), 9u);
  EXPECT_EQ(m.LayerShapeCount(m.LayerFindByName("one")), 1u);
  EXPECT_EQ(report.unsupported[kOverLimit], 2u);
}

TEST(DxfBlocks, LargeArraysWithinTheLimitExpandFully) {
  TempDir dir;
  const std::string file = dir.Path("array.dxf");
  // 300 x 400 instances of a line, a point and a nested 2 x 1 array of a
  // 10-vertex polyline: 480000 shapes.
  std::string polyline = "0\nLWPOLYLINE\n8\n0\n90\n10\n70\n0\n";
  for (int i = 0; i < 10; ++i) {
    polyline += "10\n" + std::to_string(i) + "\n20\n" + std::to_string(i % 2) + "\n";
  }
  WriteDxf(
      file,
      Block("POLY", polyline) + Block("CELL", kLine + kPoint + Insert("POLY", "0", 0, 2, 1, 0.5)),
      Insert("CELL", "survey", 100, 300, 400, 20));
  DrawingModel m;
  DxfLoadReport report;
  std::string error;
  ASSERT_TRUE(LoadDxf(file, m, report, error)) << error;
  EXPECT_TRUE(report.unsupported.empty());
  ASSERT_EQ(report.shapes, 300u * 400u * 4u);
  ASSERT_EQ(m.LayerCount(), 1u);
  const auto shapes = Shapes(m, 0);
  ASSERT_EQ(shapes.size(), report.shapes);
  // The last instance: column 299, row 399.
  const ShapeData& point = shapes[shapes.size() - 3];
  ASSERT_EQ(point.kind, ShapeKind::kPoint);
  ExpectNear(100 + 299 * 20 + 1, point.x1, "x");
  ExpectNear(399 * 20 + 2, point.y1, "y");
  const ShapeData& polyline_shape = shapes.back();
  ASSERT_EQ(polyline_shape.kind, ShapeKind::kPolyline);
  ASSERT_EQ(polyline_shape.points.size(), 10u);
  ExpectNear(100 + 299 * 20 + 0.5 + 9, polyline_shape.points.back().x, "polyline x");
}

TEST(DxfLoad, HostileListLengthsAreRefused) {
  TempDir dir;
  struct Case {
    std::string entity;  // the entity up to its count group
    std::string reason;
  };
  const std::string lwpolyline = "0\nLWPOLYLINE\n8\n0\n90\n";
  const std::vector<Case> cases = {
      // 4 x this overflows int: dxflib would allocate 4 doubles and write
      // far beyond them.
      {lwpolyline + "1073741825\n",
       "LWPOLYLINE on line 24 gives 1073741825 vertices (group 90 on line 27)"},
      {lwpolyline + "-7\n", "negative number of vertices"},
      {lwpolyline + "4000\n", "more than the rest of the file can hold"},
      {lwpolyline + "99999999999999999999\n", "LWPOLYLINE on line 24"},
      // dxflib starts an entity at a group 9 too.
      {"9\nLWPOLYLINE\n90\n1073741825\n", "LWPOLYLINE on line 24 gives 1073741825"},
      {"0\nSPLINE\n8\n0\n73\n1431655766\n", "SPLINE on line 24 gives 1431655766 control points"},
      {"0\nSPLINE\n8\n0\n72\n-1\n", "negative number of knots"},
      {"0\nLEADER\n8\n0\n76\n800000000\n", "800000000 vertices"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entity);
    const std::string file = dir.Path("hostile.dxf");
    WriteDxf(file, "", kLine + c.entity + "10\n1\n20\n2\n" + kPoint);
    DrawingModel m = SampleDrawing();
    DxfLoadReport report;
    report.unsupported["marker"] = 7;
    std::string error;
    EXPECT_FALSE(LoadDxf(file, m, report, error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_EQ(m.LayerCount(), 3u);
    EXPECT_EQ(m.ShapeCount(), SampleDrawing().ShapeCount());
    EXPECT_EQ(report.unsupported.size(), 1u);
    EXPECT_EQ(report.shapes, 0u);
  }
  // The same counts in groups of other meaning are read as usual.
  const std::string file = dir.Path("fine.dxf");
  WriteDxf(file, "",
           "0\nMTEXT\n8\n0\n10\n1\n20\n1\n40\n1\n90\n-7\n1\ntext\n" + lwpolyline +
               "2\n10\n0\n20\n0\n10\n1\n20\n1\n");
  DrawingModel m;
  DxfLoadReport report;
  std::string error;
  ASSERT_TRUE(LoadDxf(file, m, report, error)) << error;
  EXPECT_EQ(report.shapes, 2u);
}

TEST(DxfLoad, ReplacesTheDrawingOnSuccess) {
  DrawingModel m = SampleDrawing();
  DxfLoadReport report;
  report.unsupported["stale"] = 1;
  std::string error;
  ASSERT_TRUE(LoadDxf(kData + "/unsupported.dxf", m, report, error)) << error;
  EXPECT_EQ(m.LayerCount(), 1u);
  EXPECT_EQ(m.LayerName(0), "Survey");
  EXPECT_EQ(m.ShapeCount(), 1u);
  EXPECT_EQ(report.unsupported.count("stale"), 0u);
}

}  // namespace
}  // namespace halvex::mapcontrol
