// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One piece of long work (an estimation, an application to a large list, a
// merge) run on a thread of its own, so that a window's event loop goes on
// while it runs. The window polls Done() from a timer, reads Progress() for
// its progress bar, and calls Finish() on its own thread once the work has
// ended: the work's results are then complete and visible to that thread.
//
// The work must not touch anything the window changes while it runs; the
// window keeps the controls that could change its inputs disabled.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <future>
#include <utility>

namespace halvex::geotools {

class BackgroundJob {
 public:
  // The work reports its progress (a count that only grows) through this.
  using ProgressSink = std::function<void(std::size_t done)>;
  using Work = std::function<void(const ProgressSink& progress)>;

  // Starts the work at once.
  explicit BackgroundJob(Work work)
      : future_(std::async(std::launch::async, [this, work = std::move(work)] {
          work([this](std::size_t done) { progress_.store(done, std::memory_order_relaxed); });
        })) {}

  // Waits for work still running.
  ~BackgroundJob() {
    if (future_.valid()) future_.wait();
  }

  BackgroundJob(const BackgroundJob&) = delete;
  BackgroundJob& operator=(const BackgroundJob&) = delete;

  bool Done() const {
    return !future_.valid() ||
           future_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }

  std::size_t Progress() const { return progress_.load(std::memory_order_relaxed); }

  // Waits for the end of the work and rethrows what it threw. Once only.
  void Finish() {
    if (future_.valid()) future_.get();
  }

 private:
  std::atomic<std::size_t> progress_{0};
  std::future<void> future_;
};

}  // namespace halvex::geotools
