// SPDX-License-Identifier: GPL-3.0-or-later
// Saving and loading the chart's project file: the round trip, files that are
// refused without touching the drawing, the atomic replacement, and files of
// the first version.

#include "mapcontrol/ProjectFile.hpp"
#include "mapcontrol/tests/TestFiles.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <random>

namespace halvex::mapcontrol {
namespace {

namespace fs = std::filesystem;

using test_files::AllShapes;
using test_files::ReadBytes;

void WriteBytes(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

void Sql(const fs::path& p, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(p.c_str(), &db), SQLITE_OK);
  char* message = nullptr;
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
  EXPECT_EQ(rc, SQLITE_OK) << (message != nullptr ? message : "");
  sqlite3_free(message);
  sqlite3_close(db);
}

// The data of block `id` of a project file, and its replacement.
std::string BlockData(const fs::path& p, int id) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(p.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT data FROM blocks WHERE id = ?", -1, &st, nullptr);
  sqlite3_bind_int(st, 1, id);
  std::string data;
  if (sqlite3_step(st) == SQLITE_ROW) {
    data.assign(static_cast<const char*>(sqlite3_column_blob(st, 0)),
                static_cast<size_t>(sqlite3_column_bytes(st, 0)));
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return data;
}

void SetBlockData(const fs::path& p, int id, const std::string& data) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(p.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "UPDATE blocks SET data = ? WHERE id = ?", -1, &st, nullptr);
  sqlite3_bind_blob(st, 1, data.data(), static_cast<int>(data.size()), SQLITE_TRANSIENT);
  sqlite3_bind_int(st, 2, id);
  EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
  sqlite3_finalize(st);
  sqlite3_close(db);
}

// Little-endian values in a block's data (this host is little-endian).
template <typename T>
void Put(std::string& data, size_t at, T value) {
  ASSERT_LE(at + sizeof value, data.size());
  std::memcpy(data.data() + at, &value, sizeof value);
}

// A file of the first version with one shape of each kind.
void WriteVersion1(const fs::path& p) {
  Sql(p,
      "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT);"
      "CREATE TABLE layers(number INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE,"
      " pen_color INTEGER, pen_width INTEGER, brush_color INTEGER, action INTEGER);"
      "CREATE TABLE fonts(handle INTEGER PRIMARY KEY, name TEXT NOT NULL, scale REAL NOT NULL);"
      "CREATE TABLE shapes(number INTEGER PRIMARY KEY, layer INTEGER NOT NULL,"
      " kind INTEGER NOT NULL, pen_width INTEGER NOT NULL, selected INTEGER NOT NULL,"
      " x1 REAL, y1 REAL, x2 REAL, y2 REAL, r REAL, a1 REAL, a2 REAL, text TEXT, font INTEGER,"
      " points BLOB, closed INTEGER);"
      "INSERT INTO meta VALUES('format', 'halvex-chart'), ('version', '1'),"
      " ('next_shape', '20');"
      "INSERT INTO layers VALUES(0, 'Grid', 8421504, 1, 16777215, 1),"
      " (1, 'Track', 255, 2, 16777215, 15), (2, 'Empty', 0, 1, 16777215, 15);"
      "INSERT INTO fonts VALUES(1, 'Sans', 1.0), (2, 'Mono', 0.75);"
      "INSERT INTO shapes VALUES"
      " (2, 0, 1, -1, 0, 0, 0, 1000, 0, 0, 0, 0, NULL, 0, NULL, 0),"
      " (3, 1, 2, 5, 0, 500123.25, 6200456.125, 0, 0, 0, 0, 0, NULL, 0, NULL, 0),"
      " (5, 0, 3, -1, 1, 10, 20, 0, 0, 3.5, 0, 0, NULL, 0, NULL, 0),"
      " (6, 1, 4, -1, 0, 7, 8, 0, 0, 0, 0, 0, 'Wreck', 2, NULL, 0),"
      " (8, 1, 5, -1, 0, 0, 0, 0, 0, 0, 0, 0, NULL, 0,"
      "  x'000000000000F03F00000000000000400000000000000840000000000000F0BF', 1),"
      " (9, 0, 6, 3, 0, 1, 2, 0, 0, 3, 350, 10, NULL, 0, NULL, 0);");
}

class ProjectFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("hxv-test-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A drawing with every kind of shape, styles, fonts and a cleared layer so
  // that numbers have gaps.
  static DrawingModel Sample() {
    DrawingModel m;
    const uint16_t grid = m.LayerOpen("Grid");
    const uint16_t track = m.LayerOpen("Track");
    const uint16_t labels = m.LayerOpen("Labels");
    m.LayerSetPenColor(track, 0x0000FF);
    m.LayerSetPenWidth(track, 2);
    m.LayerSetBrushColor(grid, 0x808080);
    m.LayerSetAction(grid, kActionVisible);
    const int32_t f1 = m.FontOpen("Sans", 1.0);
    const int32_t f2 = m.FontOpen("Mono", 0.75);
    m.DrawLine(0, 0, 1000, 0, grid);
    m.DrawPoint(5, 5, track);
    m.CadClearShapes(track);
    const uint32_t p = m.DrawPoint(500123.25, 6200456.125, track);
    m.ShapePenWidth(p, 5);
    const uint32_t c = m.DrawCircle(10, 20, 3.5, grid);
    m.ShapeSelect(c);
    m.TextAdd(labels, "Wreck \xc3\xa6 12", 7, 8, f2);
    m.TextAdd(labels, "", 0, 0, f1);
    m.TextAdd(labels, "Depth 12.5", 3, 4, f1, 2.5, 4);
    m.DrawPolyline({{0, 0}, {1.0 / 3.0, 2}, {-4e6, 1e-300}}, true, track);
    m.DrawPolyline({{9, 9}}, false, grid);
    m.DrawArc(1, 2, 3, 350, 10, labels);
    // What the second and third versions could not hold.
    m.LayerSetBrushStyle(grid, BrushStyle::kCross);
    m.LayerSetBrushStyle(labels, BrushStyle::kSolid);
    m.ShapeColor(m.DrawLine(1, 1, 2, 2, grid), 0x123456);
    m.ShapeColor(m.DrawCircle(0, 0, 1, labels), 0);
    m.TextAdd(labels, "Buoy", 10, 20, f1, 3, 0, 33.25);
    m.TextAdd(labels, "Screen", 10, 20, f2, 0, 4, -90);
    m.DrawPolyline({{0, 0}, {10, 0}, {10, 10}}, {0.5, -1.0 / 3.0, 0}, false, track, 2.5);
    // Two points and two half circles: a closed round shape.
    const uint32_t ring = m.DrawPolyline({{0, 0}, {2, 0}}, {1, 1}, true, grid);
    m.ShapeColor(ring, 0xFFFFFF);
    m.DrawPolyline({{5, 5}, {6, 6}}, {}, false, grid, 0.125);
    // Shapes drawn and cleared last: their numbers must not come back.
    const uint16_t scratch = m.LayerOpen("Scratch");
    for (int i = 0; i < 3; ++i) m.DrawPoint(i, i, scratch);
    m.CadClearShapes(scratch);
    return m;
  }

  fs::path dir_;
};

TEST_F(ProjectFileTest, RoundTripKeepsEverything) {
  const DrawingModel saved = Sample();
  const fs::path file = dir_ / "chart.hxv";
  std::string error;
  ASSERT_TRUE(ProjectFile::Save(saved, file, error)) << error;

  DrawingModel loaded;
  loaded.LayerOpen("Old");
  loaded.DrawPoint(1, 1, 0);
  ASSERT_TRUE(ProjectFile::Load(file, loaded, error)) << error;

  ASSERT_EQ(loaded.LayerCount(), saved.LayerCount());
  for (uint16_t l = 0; l < saved.LayerCount(); ++l) {
    EXPECT_EQ(loaded.LayerName(l), saved.LayerName(l));
    EXPECT_EQ(loaded.LayerPenColor(l), saved.LayerPenColor(l));
    EXPECT_EQ(loaded.LayerPenWidth(l), saved.LayerPenWidth(l));
    EXPECT_EQ(loaded.LayerBrushColor(l), saved.LayerBrushColor(l));
    EXPECT_EQ(loaded.LayerBrushStyle(l), saved.LayerBrushStyle(l));
    EXPECT_EQ(loaded.LayerAction(l), saved.LayerAction(l));
  }
  EXPECT_EQ(loaded.LayerFindByName("Old"), kNoLayer);
  ASSERT_EQ(loaded.FontCount(), saved.FontCount());
  for (int32_t h = 1; h <= static_cast<int32_t>(saved.FontCount()); ++h) {
    EXPECT_EQ(loaded.FontGet(h)->name, saved.FontGet(h)->name);
    EXPECT_EQ(loaded.FontGet(h)->scale, saved.FontGet(h)->scale);
  }
  EXPECT_EQ(AllShapes(loaded), AllShapes(saved));
  EXPECT_EQ(loaded.ShapeCount(), saved.ShapeCount());
  EXPECT_EQ(loaded.Extents(), saved.Extents());
  EXPECT_EQ(loaded.NextShapeNumber(), saved.NextShapeNumber());
  // The index was rebuilt: the loaded drawing answers queries too.
  EXPECT_TRUE(loaded.Pick(500123.25, 6200456.0, 1));
  DrawingModel copy = loaded;
  const uint16_t grid = copy.LayerFindByName("Grid");
  EXPECT_EQ(copy.DrawPoint(0, 0, grid), saved.NextShapeNumber());
}

// A file the second version wrote (the DXF test file r12_basic.dxf imported
// by that version's hxv-dxf), kept as it was written.
TEST_F(ProjectFileTest, ReadsVersion2) {
  const fs::path fixture = fs::path(CHART_TEST_DATA) / "chart_v2.hxv";
  DrawingModel m;
  std::string error;
  ASSERT_TRUE(ProjectFile::Load(fixture, m, error)) << error;
  ASSERT_EQ(m.LayerCount(), 2u);
  EXPECT_EQ(m.LayerName(0), "Coast");
  EXPECT_EQ(m.LayerPenColor(0), 0x0000FF);
  EXPECT_EQ(m.LayerBrushStyle(0), BrushStyle::kNone);
  EXPECT_EQ(m.LayerBrushStyle(1), BrushStyle::kNone);
  EXPECT_EQ(m.ShapeCount(), 8u);
  size_t texts = 0;
  for (const ShapeData& s : AllShapes(m)) {
    EXPECT_EQ(s.color, kLayerColor);
    EXPECT_EQ(s.rotation, 0);
    EXPECT_TRUE(s.bulges.empty());
    EXPECT_EQ(s.width, 0);
    if (s.kind == ShapeKind::kText) {
      ++texts;
      EXPECT_FALSE(s.text.empty());
      EXPECT_GT(s.text_height, 0);
    }
  }
  EXPECT_EQ(texts, 1u);
  // Saved again, it is a file of this version with the same drawing.
  const fs::path again = dir_ / "again.hxv";
  ASSERT_TRUE(ProjectFile::Save(m, again, error)) << error;
  DrawingModel reloaded;
  ASSERT_TRUE(ProjectFile::Load(again, reloaded, error)) << error;
  EXPECT_EQ(AllShapes(reloaded), AllShapes(m));
}

// A measure of texts given to the drawing stays with it through a load, so
// the boxes of the loaded texts are measured.
TEST_F(ProjectFileTest, LoadKeepsTheTextMeasure) {
  DrawingModel saved;
  const uint16_t l = saved.LayerOpen("L");
  const uint32_t n = saved.TextAdd(l, "AB", 0, 0, saved.FontOpen("Sans", 1), 10);
  const fs::path file = dir_ / "text.hxv";
  std::string error;
  ASSERT_TRUE(ProjectFile::Save(saved, file, error)) << error;
  DrawingModel loaded;
  loaded.SetTextMeasure([](std::string_view, std::string_view, int) { return Rect{0, 0, 7, 1}; });
  ASSERT_TRUE(ProjectFile::Load(file, loaded, error)) << error;
  EXPECT_EQ(loaded.ShapeBounds(n), (Rect{0, 0, 70, 10}));
}

TEST_F(ProjectFileTest, ShapeNumbersNeverWrapRound) {
  const fs::path file = dir_ / "last.hxv";
  std::string error;
  ASSERT_TRUE(ProjectFile::Save(Sample(), file, error)) << error;
  Sql(file, "UPDATE meta SET value = '4294967294' WHERE key = 'next_shape'");
  DrawingModel m;
  ASSERT_TRUE(ProjectFile::Load(file, m, error)) << error;
  const uint16_t grid = m.LayerFindByName("Grid");
  EXPECT_EQ(m.DrawPoint(0, 0, grid), 4294967294u);
  EXPECT_EQ(m.DrawPoint(0, 0, grid), 0u);
  EXPECT_EQ(m.DrawPolyline({{0, 0}}, false, grid), 0u);
  EXPECT_EQ(m.TextAdd(grid, "x", 0, 0, 0), 0u);
  EXPECT_TRUE(m.ShapeExists(4294967294u));
}

TEST_F(ProjectFileTest, EmptyDrawingRoundTrips) {
  const fs::path file = dir_ / "empty.hxv";
  std::string error;
  ASSERT_TRUE(ProjectFile::Save(DrawingModel(), file, error)) << error;
  DrawingModel m = Sample();
  ASSERT_TRUE(ProjectFile::Load(file, m, error)) << error;
  EXPECT_EQ(m.LayerCount(), 0u);
  EXPECT_EQ(m.ShapeCount(), 0u);
  EXPECT_EQ(m.FontCount(), 0u);
}

TEST_F(ProjectFileTest, LargeDrawingSpansManyBlocks) {
  // Two layers drawn in turns (their numbers interleave), more shapes than a
  // block holds, and a polyline larger than a block's usual size.
  DrawingModel saved = Sample();
  const uint16_t points = saved.LayerOpen("Fixes");
  const uint16_t lines = saved.LayerOpen("Track lines");
  for (int i = 0; i < 3000; ++i) {
    saved.DrawPoint(i * 2.0, std::sin(i * 0.1), points);
    saved.DrawLine(i * 2.0, std::sin(i * 0.1), i * 2.0 + 2, std::sin(i * 0.1 + 0.1), lines);
  }
  std::vector<PointXY> long_line;
  for (int i = 0; i < 10000; ++i) long_line.push_back({i * 0.5, std::cos(i * 0.01)});
  saved.DrawPolyline(long_line, false, lines);
  saved.DrawPoint(-1, -1, points);
  const fs::path file = dir_ / "large.hxv";
  std::string error;
  ASSERT_TRUE(ProjectFile::Save(saved, file, error)) << error;

  DrawingModel loaded;
  ASSERT_TRUE(ProjectFile::Load(file, loaded, error)) << error;
  EXPECT_EQ(AllShapes(loaded), AllShapes(saved));
  EXPECT_EQ(loaded.Extents(), saved.Extents());
  EXPECT_EQ(loaded.NextShapeNumber(), saved.NextShapeNumber());
  // The rebuilt index finds what the saved drawing's finds.
  for (const double x : {4.0, 5.0, 3001.0, 4000.0}) {
    const auto want = saved.Pick(x, std::sin(x * 0.05), 0.5);
    const auto got = loaded.Pick(x, std::sin(x * 0.05), 0.5);
    ASSERT_TRUE(want && got);
    EXPECT_EQ(got->number, want->number);
  }

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT COUNT(*), MAX(count) FROM blocks", -1, &st, nullptr);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_GE(sqlite3_column_int(st, 0), 8);
  EXPECT_EQ(sqlite3_column_int(st, 1), static_cast<int>(ProjectFile::kBlockShapes));
  sqlite3_finalize(st);
  sqlite3_close(db);
}

TEST_F(ProjectFileTest, ReadsVersion1) {
  const fs::path file = dir_ / "old.hxv";
  WriteVersion1(file);
  DrawingModel m;
  std::string error;
  ASSERT_TRUE(ProjectFile::Load(file, m, error)) << error;
  ASSERT_EQ(m.LayerCount(), 3u);
  EXPECT_EQ(m.LayerName(1), "Track");
  EXPECT_EQ(m.LayerPenColor(0), 0x808080);
  EXPECT_EQ(m.LayerPenWidth(1), 2);
  EXPECT_EQ(m.LayerAction(0), kActionVisible);
  EXPECT_EQ(m.FontGet(2)->name, "Mono");
  EXPECT_EQ(m.ShapeCount(), 6u);
  EXPECT_EQ(m.NextShapeNumber(), 20u);
  EXPECT_EQ(m.GetShape(2)->x2, 1000);
  EXPECT_EQ(m.GetShape(3)->y1, 6200456.125);
  EXPECT_EQ(m.ShapePenWidth(3), 5);
  EXPECT_TRUE(m.ShapeSelected(5));
  EXPECT_EQ(m.GetShape(5)->r, 3.5);
  EXPECT_EQ(m.GetShape(6)->text, "Wreck");
  EXPECT_EQ(m.GetShape(6)->font, 2);
  const std::vector<PointXY> expected{{1, 2}, {3, -1}};
  EXPECT_EQ(m.GetShape(8)->points, expected);
  EXPECT_TRUE(m.GetShape(8)->closed);
  EXPECT_EQ(m.GetShape(9)->a1, 350);
  EXPECT_EQ(m.ShapePenWidth(9), 3);
  EXPECT_EQ(m.ShapeLayer(9), 0);

  // Saved again, it becomes a file of the current version with the same drawing.
  ASSERT_TRUE(ProjectFile::Save(m, file, error)) << error;
  DrawingModel again;
  ASSERT_TRUE(ProjectFile::Load(file, again, error)) << error;
  EXPECT_EQ(AllShapes(again), AllShapes(m));
}

TEST_F(ProjectFileTest, SaveReplacesAndLeavesNoTemporary) {
  const fs::path file = dir_ / "chart.hxv";
  std::string error;
  ASSERT_TRUE(ProjectFile::Save(Sample(), file, error)) << error;
  DrawingModel small;
  small.DrawPoint(1, 2, small.LayerOpen("Only"));
  ASSERT_TRUE(ProjectFile::Save(small, file, error)) << error;
  std::vector<fs::path> names;
  for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
  EXPECT_EQ(names, std::vector<fs::path>{"chart.hxv"});
  DrawingModel back;
  ASSERT_TRUE(ProjectFile::Load(file, back, error)) << error;
  EXPECT_EQ(back.LayerCount(), 1u);
  EXPECT_EQ(back.ShapeCount(), 1u);
}

TEST_F(ProjectFileTest, FailedSaveKeepsTheOldFile) {
  std::string error;
  // The folder is missing.
  EXPECT_FALSE(ProjectFile::Save(Sample(), dir_ / "missing" / "chart.hxv", error));
  EXPECT_NE(error.find("missing"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(dir_ / "missing"));

  // A folder is in the way of the target: it stays, and no temporary is left.
  const fs::path in_the_way = dir_ / "chart.hxv";
  fs::create_directory(in_the_way);
  WriteBytes(in_the_way / "keep", "x");
  error.clear();
  EXPECT_FALSE(ProjectFile::Save(Sample(), in_the_way, error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(fs::is_directory(in_the_way));
  EXPECT_EQ(ReadBytes(in_the_way / "keep"), "x");
  size_t entries = 0;
  for (const auto& e : fs::directory_iterator(dir_)) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1u);
}

TEST_F(ProjectFileTest, FailedSaveInReadOnlyFolderKeepsTheOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  const fs::path file = dir_ / "chart.hxv";
  std::string error;
  ASSERT_TRUE(ProjectFile::Save(Sample(), file, error)) << error;
  const std::string before = ReadBytes(file);
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(ProjectFile::Save(DrawingModel(), file, error));
  fs::permissions(dir_, fs::perms::owner_all);
  EXPECT_EQ(ReadBytes(file), before);
}

// Each refused file must leave the drawing exactly as it was.
class RefusedFileTest : public ProjectFileTest {
 protected:
  void ExpectRefused(const fs::path& file, const std::string& reason_part) {
    DrawingModel m = Sample();
    const auto before = AllShapes(m);
    std::string error;
    EXPECT_FALSE(ProjectFile::Load(file, m, error));
    EXPECT_NE(error.find(reason_part), std::string::npos) << error;
    EXPECT_EQ(AllShapes(m), before);
    EXPECT_EQ(m.LayerCount(), 4u);
    EXPECT_EQ(m.FontCount(), 2u);
    EXPECT_EQ(m.LayerPenColor(m.LayerFindByName("Track")), 0x0000FF);
  }
  fs::path SavedSample(const char* name) {
    const fs::path file = dir_ / name;
    std::string error;
    EXPECT_TRUE(ProjectFile::Save(Sample(), file, error)) << error;
    return file;
  }
};

TEST_F(RefusedFileTest, MissingEmptyAndRandomFiles) {
  ExpectRefused(dir_ / "none.hxv", "no such file");
  ExpectRefused(dir_, "not a regular file");
  WriteBytes(dir_ / "empty.hxv", "");
  ExpectRefused(dir_ / "empty.hxv", "not a chart project file (the file is empty)");
  std::mt19937 rng(42);
  std::string noise(8192, '\0');
  for (char& c : noise) c = static_cast<char>(rng());
  WriteBytes(dir_ / "noise.hxv", noise);
  ExpectRefused(dir_ / "noise.hxv", "': not a chart project file");
  // A picture named as a project.
  WriteBytes(dir_ / "chart.hxv", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
  ExpectRefused(dir_ / "chart.hxv", "': not a chart project file");
}

TEST_F(RefusedFileTest, TruncatedCopies) {
  // Enough shapes for several pages, then cut the file at several places.
  DrawingModel big = Sample();
  const uint16_t l = big.LayerOpen("Many");
  for (int i = 0; i < 5000; ++i) big.DrawPoint(i, i, l);
  const fs::path file = dir_ / "big.hxv";
  std::string error;
  ASSERT_TRUE(ProjectFile::Save(big, file, error)) << error;
  const std::string bytes = ReadBytes(file);
  ASSERT_GT(bytes.size(), 16384u);
  for (const size_t size : {bytes.size() / 2, bytes.size() - 4096, size_t{4096}, size_t{100}}) {
    SCOPED_TRACE(size);
    WriteBytes(dir_ / "cut.hxv", bytes.substr(0, size));
    ExpectRefused(dir_ / "cut.hxv", "': damaged chart project file: ");
    // One line, short: not SQLite's whole integrity report.
    DrawingModel m;
    std::string error;
    ASSERT_FALSE(ProjectFile::Load(dir_ / "cut.hxv", m, error));
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_LT(error.size(), 260u) << error;
  }
}

TEST_F(RefusedFileTest, ForeignAndNewerFiles) {
  const fs::path foreign = dir_ / "foreign.hxv";
  Sql(foreign, "CREATE TABLE survey(id INTEGER, depth REAL); INSERT INTO survey VALUES(1, 2.5);");
  ExpectRefused(foreign, "not a chart project file");

  const fs::path other = dir_ / "other.hxv";
  Sql(other,
      "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT);"
      "INSERT INTO meta VALUES('format', 'something-else'), ('version', '1');");
  ExpectRefused(other, "not a chart project file");

  const fs::path newer = SavedSample("newer.hxv");
  Sql(newer, "UPDATE meta SET value = '4' WHERE key = 'version'");
  ExpectRefused(newer, "newer");

  const fs::path bad = SavedSample("bad.hxv");
  Sql(bad, "UPDATE meta SET value = 'one' WHERE key = 'version'");
  ExpectRefused(bad, "bad version");
}

TEST_F(RefusedFileTest, InconsistentVersion1Contents) {
  auto version1 = [&](const char* name) {
    const fs::path file = dir_ / name;
    WriteVersion1(file);
    return file;
  };
  const fs::path orphan = version1("orphan.hxv");
  Sql(orphan, "UPDATE shapes SET layer = 9 WHERE number = (SELECT MAX(number) FROM shapes)");
  ExpectRefused(orphan, "missing layer");

  const fs::path kind = version1("kind.hxv");
  Sql(kind, "UPDATE shapes SET kind = 77 WHERE number = (SELECT MIN(number) FROM shapes)");
  ExpectRefused(kind, "unknown kind");

  const fs::path gap = version1("gap.hxv");
  Sql(gap, "DELETE FROM layers WHERE number = 1");
  ExpectRefused(gap, "gaps");

  const fs::path points = version1("points.hxv");
  Sql(points, "UPDATE shapes SET points = x'0102' WHERE kind = 5");
  ExpectRefused(points, "bad points");

  const fs::path radius = version1("radius.hxv");
  Sql(radius, "UPDATE shapes SET r = -1 WHERE kind = 3");
  ExpectRefused(radius, "bad values");

  const fs::path layer_gone = SavedSample("layer-gone.hxv");
  Sql(layer_gone, "UPDATE blocks SET layer = 9 WHERE id = 1");
  ExpectRefused(layer_gone, "missing layer");
}

// Blocks whose data or count is wrong. The drawing: layer 0 holds points 1
// and 3, layer 1 points 2 and 4, then an arc (5), a text (6) and a polyline
// of two points (7); one block each.
TEST_F(RefusedFileTest, DamagedBlocks) {
  DrawingModel m;
  const uint16_t a = m.LayerOpen("A");
  const uint16_t b = m.LayerOpen("B");
  for (int i = 0; i < 4; ++i) m.DrawPoint(i, i, i % 2 == 0 ? a : b);
  m.DrawArc(0, 0, 2, 0, 90, b);
  m.TextAdd(b, "T", 0, 0, 0, 1.5, 2);
  m.DrawPolyline({{0, 0}, {1, 1}}, {0.5, 0}, false, b, 2);
  m.ShapeColor(m.DrawPoint(9, 9, b), 0x00FF00);
  const fs::path good = dir_ / "good.hxv";
  std::string error;
  ASSERT_TRUE(ProjectFile::Save(m, good, error)) << error;
  const std::string b_data = BlockData(good, 2);
  // Offsets in block 2: points at 0 and 24, the arc at 48, the text at 96
  // (its rotation at 96 + 37), the polyline at 96 + 49 + 1 = 146 (its
  // bulges at 146 + 44, its width at 146 + 60), the coloured point at 214
  // (its colour at 222).
  ASSERT_EQ(b_data.size(), 214u + 8 + 4 + 16);
  const double nan = std::numeric_limits<double>::quiet_NaN();

  struct Case {
    const char* name;
    std::function<void(std::string&)> change;
    const char* reason;
  };
  const Case cases[] = {
      {"one byte more", [](std::string& d) { d += 'x'; }, "cut short"},
      {"one byte less", [](std::string& d) { d.pop_back(); }, "cut short"},
      {"no data", [](std::string& d) { d.clear(); }, "holds 0 shapes"},
      {"bad kind", [](std::string& d) { d[4] = 77; }, "unknown kind"},
      {"bad flags", [](std::string& d) { d[5] = 2; }, "bad values"},
      {"curved point", [](std::string& d) { d[5] = 8; }, "bad values"},
      {"unknown flag", [](std::string& d) { d[146 + 5] = 32 | 8 | 16; }, "bad values"},
      {"bad pen", [](std::string& d) { Put<int16_t>(d, 6, -2); }, "bad values"},
      {"NaN coordinate", [&](std::string& d) { Put(d, 32, nan); }, "bad values"},
      {"infinite angle",
       [](std::string& d) { Put(d, 48 + 32, std::numeric_limits<double>::infinity()); },
       "bad values"},
      {"negative radius", [](std::string& d) { Put(d, 48 + 24, -1.0); }, "bad values"},
      {"negative text height", [](std::string& d) { Put(d, 96 + 24, -1.0); }, "bad values"},
      {"bad justify", [](std::string& d) { d[96 + 36] = 9; }, "bad values"},
      {"NaN rotation", [&](std::string& d) { Put(d, 96 + 37, nan); }, "bad values"},
      {"text past the end", [](std::string& d) { Put<uint32_t>(d, 96 + 45, 1000); }, "cut short"},
      {"no points", [](std::string& d) { Put<uint32_t>(d, 146 + 8, 0); }, "bad points"},
      {"huge point count", [](std::string& d) { Put<uint32_t>(d, 146 + 8, 0xFFFFFFFF); },
       "cut short"},
      {"NaN bulge", [&](std::string& d) { Put(d, 146 + 44, nan); }, "bad values"},
      {"negative width", [](std::string& d) { Put(d, 146 + 60, -2.0); }, "bad values"},
      {"colour out of range", [](std::string& d) { Put<int32_t>(d, 222, 0x1000000); },
       "bad colour"},
      {"negative colour", [](std::string& d) { Put<int32_t>(d, 222, -1); }, "bad colour"},
      {"number 0", [](std::string& d) { Put<uint32_t>(d, 0, 0); }, "bad shape number"},
      {"numbers out of order", [](std::string& d) { Put<uint32_t>(d, 24, 2); }, "out of order"},
      // Number 3 is layer A's second point; the bitmap and the sorting check.
      {"number on two layers", [](std::string& d) { Put<uint32_t>(d, 0, 3); }, "used twice"},
      {"number on two layers, far apart",
       [](std::string& d) {
         Put<uint32_t>(d, 0, 3);
         for (const size_t at : {24, 48, 96, 146, 214}) Put<uint32_t>(d, at, 4000000000u + at);
       },
       "used twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = dir_ / "bad.hxv";
    fs::copy_file(good, file, fs::copy_options::overwrite_existing);
    std::string data = b_data;
    c.change(data);
    SetBlockData(file, 2, data);
    ExpectRefused(file, c.reason);
  }

  const fs::path count = dir_ / "count.hxv";
  fs::copy_file(good, count);
  Sql(count, "UPDATE blocks SET count = count + 1 WHERE id = 2");
  ExpectRefused(count, "not 7");

  const fs::path text = dir_ / "text.hxv";
  fs::copy_file(good, text);
  Sql(text, "UPDATE blocks SET data = 'points' WHERE id = 2");
  ExpectRefused(text, "holds no data");

  // Unchanged, the file reads.
  DrawingModel back;
  ASSERT_TRUE(ProjectFile::Load(good, back, error)) << error;
  EXPECT_EQ(AllShapes(back), AllShapes(m));
}

}  // namespace
}  // namespace halvex::mapcontrol
