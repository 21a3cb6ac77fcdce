// SPDX-License-Identifier: GPL-3.0-or-later
// Saving and loading the chart's project file: the round trip, files that are
// refused without touching the drawing, and the atomic replacement.

#include "mapcontrol/ProjectFile.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>

namespace halvex::mapcontrol {
namespace {

namespace fs = std::filesystem;

std::vector<ShapeData> AllShapes(const DrawingModel& m) {
  std::vector<ShapeData> all;
  for (size_t l = 0; l < m.LayerCount(); ++l) {
    m.ForEachShape(static_cast<uint16_t>(l), [&](const ShapeData& s) { all.push_back(s); });
  }
  return all;
}

void WriteBytes(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

std::string ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
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
    m.DrawPolyline({{0, 0}, {1.0 / 3.0, 2}, {-4e6, 1e-300}}, true, track);
    m.DrawPolyline({{9, 9}}, false, grid);
    m.DrawArc(1, 2, 3, 350, 10, labels);
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
  ExpectRefused(dir_ / "empty.hxv", "not a chart file");
  std::mt19937 rng(42);
  std::string noise(8192, '\0');
  for (char& c : noise) c = static_cast<char>(rng());
  WriteBytes(dir_ / "noise.hxv", noise);
  ExpectRefused(dir_ / "noise.hxv", "cannot load");
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
    ExpectRefused(dir_ / "cut.hxv", "cannot load");
  }
}

TEST_F(RefusedFileTest, ForeignAndNewerFiles) {
  const fs::path foreign = dir_ / "foreign.hxv";
  Sql(foreign, "CREATE TABLE survey(id INTEGER, depth REAL); INSERT INTO survey VALUES(1, 2.5);");
  ExpectRefused(foreign, "not a chart file");

  const fs::path other = dir_ / "other.hxv";
  Sql(other,
      "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT);"
      "INSERT INTO meta VALUES('format', 'something-else'), ('version', '1');");
  ExpectRefused(other, "not a chart file");

  const fs::path newer = SavedSample("newer.hxv");
  Sql(newer, "UPDATE meta SET value = '2' WHERE key = 'version'");
  ExpectRefused(newer, "newer");

  const fs::path bad = SavedSample("bad.hxv");
  Sql(bad, "UPDATE meta SET value = 'one' WHERE key = 'version'");
  ExpectRefused(bad, "bad version");
}

TEST_F(RefusedFileTest, InconsistentContents) {
  const fs::path orphan = SavedSample("orphan.hxv");
  Sql(orphan, "UPDATE shapes SET layer = 9 WHERE number = (SELECT MAX(number) FROM shapes)");
  ExpectRefused(orphan, "missing layer");

  const fs::path kind = SavedSample("kind.hxv");
  Sql(kind, "UPDATE shapes SET kind = 77 WHERE number = (SELECT MIN(number) FROM shapes)");
  ExpectRefused(kind, "unknown kind");

  const fs::path gap = SavedSample("gap.hxv");
  Sql(gap, "DELETE FROM layers WHERE number = 1");
  ExpectRefused(gap, "gaps");

  const fs::path points = SavedSample("points.hxv");
  Sql(points, "UPDATE shapes SET points = x'0102' WHERE kind = 5");
  ExpectRefused(points, "bad points");

  const fs::path radius = SavedSample("radius.hxv");
  Sql(radius, "UPDATE shapes SET r = -1 WHERE kind = 3");
  ExpectRefused(radius, "bad values");
}

}  // namespace
}  // namespace halvex::mapcontrol
