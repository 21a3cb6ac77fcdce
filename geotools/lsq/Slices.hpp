// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Work over many control points shared among threads in consecutive slices,
// so that results joined slice by slice come out in the points' order.

#include <algorithm>
#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace halvex::geotools {

// The slices for `work` points: a count asked for is kept (up to one point
// a slice); the default (0) is one per processor, at most 8, each of at
// least 4096 points, below which a thread costs more than it saves.
inline unsigned SliceCount(unsigned requested, std::size_t work) {
  if (requested != 0) {
    return static_cast<unsigned>(std::clamp<std::size_t>(work, 1, requested));
  }
  const unsigned processors = std::clamp(std::thread::hardware_concurrency(), 1U, 8U);
  const std::size_t byWork = std::max<std::size_t>(1, work / 4096);
  return static_cast<unsigned>(std::min<std::size_t>(processors, byWork));
}

// Runs body(slice, first, last) over [0, count) in `slices` consecutive
// slices, each on its own thread (in the calling thread when no thread can
// be started). After all slices ended, the exception of the first slice
// that threw, if any, is rethrown: the same one a single pass in order
// would have met first.
template <class Body>
void ForEachSlice(std::size_t count, unsigned slices, Body body) {
  if (slices <= 1) {
    body(0U, std::size_t{0}, count);
    return;
  }
  std::vector<std::exception_ptr> errors(slices);
  auto run = [&](unsigned t) {
    try {
      body(t, count * t / slices, count * (t + 1) / slices);
    } catch (...) {
      errors[t] = std::current_exception();
    }
  };
  std::vector<std::thread> pool;
  pool.reserve(slices);
  for (unsigned t = 1; t < slices; ++t) {
    try {
      pool.emplace_back(run, t);
    } catch (const std::system_error&) {
      run(t);
    }
  }
  run(0);
  for (std::thread& thread : pool) {
    thread.join();
  }
  for (const std::exception_ptr& error : errors) {
    if (error) {
      std::rethrow_exception(error);
    }
  }
}

}  // namespace halvex::geotools
