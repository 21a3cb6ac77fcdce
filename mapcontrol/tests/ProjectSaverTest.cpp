// SPDX-License-Identifier: GPL-3.0-or-later
// Saving on the worker thread: what lands in the file, the order and merging
// of requests, and failures reported through the callback.

#include "mapcontrol/ProjectSaver.hpp"
#include "mapcontrol/tests/TestFiles.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <condition_variable>
#include <csignal>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

namespace halvex::mapcontrol {
namespace {

namespace fs = std::filesystem;

using test_files::AllShapes;
using test_files::ReadBytes;

// A track of `fixes` points and lines, a styled layer and a text.
DrawingModel Track(int fixes, double y = 0) {
  DrawingModel m;
  const uint16_t points = m.LayerOpen("points");
  const uint16_t lines = m.LayerOpen("lines");
  m.LayerSetPenColor(lines, 0x00FF00);
  for (int i = 0; i < fixes; ++i) {
    m.DrawPoint(i, y, points);
    if (i > 0) m.DrawLine(i - 1, y, i, y, lines);
  }
  m.TextAdd(points, "end", fixes, y, m.FontOpen("Sans", 1));
  return m;
}

struct Report {
  bool ok;
  std::string path;
  std::string error;
};

class ProjectSaverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("hxv-saver-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  AsyncProjectSaver::Done Recorder() {
    return [this](bool ok, std::string path, std::string error) {
      std::lock_guard lock(mutex_);
      reports_.push_back({ok, std::move(path), std::move(error)});
    };
  }
  std::vector<Report> Reports() {
    std::lock_guard lock(mutex_);
    return reports_;
  }
  // The file's drawing equals `expected` in layers, shapes and numbering.
  static void ExpectHolds(const fs::path& file, const DrawingModel& expected) {
    DrawingModel m;
    std::string error;
    ASSERT_TRUE(ProjectFile::Load(file, m, error)) << error;
    ASSERT_EQ(m.LayerCount(), expected.LayerCount());
    for (uint16_t l = 0; l < m.LayerCount(); ++l) {
      EXPECT_EQ(m.LayerName(l), expected.LayerName(l));
      EXPECT_EQ(m.LayerPenColor(l), expected.LayerPenColor(l));
    }
    EXPECT_EQ(m.FontCount(), expected.FontCount());
    EXPECT_EQ(AllShapes(m), AllShapes(expected));
    EXPECT_EQ(m.NextShapeNumber(), expected.NextShapeNumber());
  }

  fs::path dir_;
  std::mutex mutex_;
  std::vector<Report> reports_;
};

TEST_F(ProjectSaverTest, WritesTheStateAtStart) {
  const fs::path file = dir_ / "day.hxv";
  AsyncProjectSaver saver(Recorder());
  EXPECT_FALSE(saver.Busy());
  DrawingModel m = Track(5000);
  const DrawingModel at_start = m;
  ASSERT_TRUE(saver.Start(m, file));
  // Changes right after Start, while the write runs, do not reach the file.
  m.DrawPoint(-1, -1, 0);
  m.LayerSetPenColor(1, 0x123456);
  m.CadClearShapes(0);
  m.LayerOpen("later");
  saver.Wait();
  EXPECT_FALSE(saver.Busy());
  ExpectHolds(file, at_start);
  const std::vector<Report> reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_TRUE(reports[0].ok) << reports[0].error;
  EXPECT_EQ(reports[0].path, file.string());

  // A second save in a row replaces the file with the newer state, in the
  // memory the first one left.
  ASSERT_TRUE(saver.Start(m, file));
  saver.Wait();
  ExpectHolds(file, m);
  EXPECT_EQ(Reports().size(), 2u);
}

TEST_F(ProjectSaverTest, WaitingRequestIsReplacedByNewerForTheSameFile) {
  const fs::path a = dir_ / "a.hxv";
  const fs::path b = dir_ / "b.hxv";
  std::mutex gate_mutex;
  std::condition_variable gate;
  bool open = false;
  // The first report holds the worker until the test has queued the rest.
  AsyncProjectSaver saver([&](bool ok, std::string path, std::string error) {
    std::unique_lock lock(gate_mutex);
    Recorder()(ok, std::move(path), std::move(error));
    gate.notify_all();
    gate.wait(lock, [&] { return open; });
  });
  const DrawingModel first = Track(10, 1);
  const DrawingModel second = Track(20, 2);
  const DrawingModel third = Track(30, 3);
  const DrawingModel fourth = Track(40, 4);
  ASSERT_TRUE(saver.Start(first, a));
  {
    std::unique_lock lock(gate_mutex);
    gate.wait(lock, [&] { return !Reports().empty(); });
  }
  ASSERT_TRUE(saver.Start(second, a));
  ASSERT_TRUE(saver.Start(third, b));
  ASSERT_TRUE(saver.Start(fourth, a));
  EXPECT_TRUE(saver.Busy());
  {
    std::lock_guard lock(gate_mutex);
    open = true;
  }
  gate.notify_all();
  saver.Wait();

  // `second` was replaced while it waited; the others were written in order.
  const std::vector<Report> reports = Reports();
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0].path, a.string());
  EXPECT_EQ(reports[1].path, a.string());
  EXPECT_EQ(reports[2].path, b.string());
  for (const Report& r : reports) EXPECT_TRUE(r.ok) << r.error;
  ExpectHolds(a, fourth);
  ExpectHolds(b, third);
}

TEST_F(ProjectSaverTest, DestructorWritesWhatWasAskedFor) {
  const fs::path file = dir_ / "exit.hxv";
  const DrawingModel m = Track(20000);
  {
    AsyncProjectSaver saver(Recorder());
    ASSERT_TRUE(saver.Start(m, file));
    ASSERT_TRUE(saver.Start(Track(3), dir_ / "other.hxv"));
  }
  EXPECT_EQ(Reports().size(), 2u);
  ExpectHolds(file, m);
}

TEST_F(ProjectSaverTest, FailureIsReportedAndKeepsTheOldFile) {
  AsyncProjectSaver saver(Recorder());
  // A folder in the way of the file.
  const fs::path folder = dir_ / "chart.hxv";
  fs::create_directories(folder / "inside");
  ASSERT_TRUE(saver.Start(Track(10), folder));
  saver.Wait();
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_FALSE(Reports()[0].ok);
  EXPECT_EQ(Reports()[0].path, folder.string());
  EXPECT_NE(Reports()[0].error.find("it is a folder"), std::string::npos) << Reports()[0].error;
  EXPECT_TRUE(fs::is_directory(folder / "inside"));

  // The disk fills up while writing: files may not grow past 64 KiB. The
  // limit holds for root too.
  const fs::path file = dir_ / "full.hxv";
  const DrawingModel old = Track(10);
  ASSERT_TRUE(saver.Start(old, file));
  saver.Wait();
  const std::string before = ReadBytes(file);
  ASSERT_LT(before.size(), 65536u);
  rlimit saved_limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved_limit), 0);
  const auto saved_signal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved_limit;
  small.rlim_cur = 65536;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool started = saver.Start(Track(20000), file);
  saver.Wait();
  ::setrlimit(RLIMIT_FSIZE, &saved_limit);
  std::signal(SIGXFSZ, saved_signal);
  ASSERT_TRUE(started);
  const std::vector<Report> reports = Reports();
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_FALSE(reports[2].ok);
  EXPECT_NE(reports[2].error.find("cannot save"), std::string::npos) << reports[2].error;
  EXPECT_EQ(ReadBytes(file), before);
  size_t entries = 0;
  for (const auto& e : fs::directory_iterator(dir_)) entries += e.path() != folder ? 1 : 0;
  EXPECT_EQ(entries, 1u);
}

}  // namespace
}  // namespace halvex::mapcontrol
