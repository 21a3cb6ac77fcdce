// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/core/BackgroundJob.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace halvex::geotools {
namespace {

TEST(BackgroundJobTest, RunsOffTheCallersThreadAndReportsProgressAndResults) {
  std::promise<void> release;
  std::shared_future<void> gate = release.get_future().share();
  std::thread::id worker;
  long sum = 0;
  BackgroundJob job([&](const BackgroundJob::ProgressSink& progress) {
    worker = std::this_thread::get_id();
    progress(1);
    gate.wait();
    for (long i = 1; i <= 100; ++i) sum += i;
    progress(100);
  });
  // The caller is not blocked while the work waits for the gate.
  while (job.Progress() < 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(job.Done());
  release.set_value();
  job.Finish();
  EXPECT_TRUE(job.Done());
  EXPECT_EQ(job.Progress(), 100U);
  EXPECT_EQ(sum, 5050);
  EXPECT_NE(worker, std::this_thread::get_id());
}

TEST(BackgroundJobTest, FinishRethrowsWhatTheWorkThrewAndDestructionWaits) {
  BackgroundJob failing([](const BackgroundJob::ProgressSink&) {
    throw std::runtime_error("bad cell");
  });
  EXPECT_THROW(failing.Finish(), std::runtime_error);
  EXPECT_TRUE(failing.Done());

  bool ended = false;
  {
    BackgroundJob slow([&](const BackgroundJob::ProgressSink&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      ended = true;
    });
  }
  EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace halvex::geotools
