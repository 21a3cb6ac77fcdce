// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapcontrol/ProjectSaver.hpp"

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace halvex::mapcontrol {

AsyncProjectSaver::AsyncProjectSaver(Done done) : done_(std::move(done)) {}

AsyncProjectSaver::~AsyncProjectSaver() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
}

bool AsyncProjectSaver::Start(const DrawingModel& model, const fs::path& path) {
  // Declared before the locks below, so that a snapshot dropped here is freed
  // after they are released.
  Request request;
  {
    std::lock_guard lock(mutex_);
    std::swap(request.snapshot, spare_);
  }
  try {
    request.path = path;
    ProjectFile::TakeSnapshot(model, request.snapshot);
  } catch (const std::bad_alloc&) {
    return false;
  }

  std::lock_guard lock(mutex_);
  try {
    if (!worker_.joinable()) worker_ = std::thread(&AsyncProjectSaver::Run, this);
    const auto same = std::find_if(waiting_.begin(), waiting_.end(),
                                   [&](const Request& r) { return r.path == path; });
    if (same != waiting_.end()) {
      std::swap(same->snapshot, request.snapshot);
    } else {
      waiting_.push_back(std::move(request));
    }
  } catch (const std::system_error&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  wake_.notify_one();
  return true;
}

bool AsyncProjectSaver::Busy() const {
  std::lock_guard lock(mutex_);
  return running_ || !waiting_.empty();
}

void AsyncProjectSaver::Wait() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return !running_ && waiting_.empty(); });
}

void AsyncProjectSaver::Run() {
  for (;;) {
    Request request;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
      if (waiting_.empty()) return;
      request = std::move(waiting_.front());
      waiting_.pop_front();
      running_ = true;
    }
    std::string error;
    const bool ok = ProjectFile::Save(request.snapshot, request.path, error);
    if (done_) done_(ok, request.path.string(), std::move(error));
    {
      std::lock_guard lock(mutex_);
      // The written snapshot's memory serves the next one; the previous
      // spare is freed with `request`, outside the lock.
      std::swap(spare_, request.snapshot);
      running_ = false;
    }
    idle_.notify_all();
  }
}

}  // namespace halvex::mapcontrol
