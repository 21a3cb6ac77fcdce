// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "mapcontrol/DrawingModel.hpp"
#include "mapcontrol/ProjectFile.hpp"

namespace halvex::mapcontrol {

// Saves the drawing to project files on a worker thread, so that the thread
// that owns the drawing (the GUI's) is blocked only while a snapshot is
// copied out of it.
//
// Writes run one at a time in the order they were asked for. A request made
// while others run or wait is queued; it replaces a request still waiting
// for the same path (the same path text), which is then neither written nor
// reported. So the state last asked for always lands in each file, and no
// file is written with an older state after a newer one.
//
// The saver keeps the memory of its last written snapshot to copy the next
// one into, which makes taking a snapshot several times faster (about the
// size of the drawing's shapes, without their index).
class AsyncProjectSaver {
 public:
  // Called on the worker thread when a write has ended: whether it succeeded,
  // the file and, on failure, the reason (ProjectFile::Save's). It must not
  // throw, nor call Wait() or destroy the saver; to act on the GUI thread it
  // posts there.
  using Done = std::function<void(bool ok, std::string path, std::string error)>;

  explicit AsyncProjectSaver(Done done = nullptr);
  // Writes every request still waiting and waits for them, so that nothing
  // asked for is lost when the program ends.
  ~AsyncProjectSaver();
  AsyncProjectSaver(const AsyncProjectSaver&) = delete;
  AsyncProjectSaver& operator=(const AsyncProjectSaver&) = delete;

  // Copies `model` (on the calling thread, which must be the one that changes
  // the model) and queues the copy for writing to `path`. Returns false, with
  // nothing queued and no report to come, when the copy or the worker thread
  // cannot be made (out of memory or threads).
  bool Start(const DrawingModel& model, const std::filesystem::path& path);

  // Whether a write is running or waiting; a write counts until its report
  // has returned.
  bool Busy() const;

  // Blocks until every request made so far has been written and reported.
  void Wait();

 private:
  struct Request {
    std::filesystem::path path;
    ProjectFile::Snapshot snapshot;
  };

  void Run();

  const Done done_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;  // the worker: a request, or the end
  std::condition_variable idle_;  // Wait(): nothing running nor waiting
  std::deque<Request> waiting_;
  ProjectFile::Snapshot spare_;  // memory for the next snapshot
  bool running_ = false;
  bool stopping_ = false;
  std::thread worker_;  // started by the first request
};

}  // namespace halvex::mapcontrol
