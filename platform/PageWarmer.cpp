// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PageWarmer.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace halvex::platform {
namespace {

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14
#endif

constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
constexpr std::size_t kMinimumBytes = std::size_t{8} << 20;
// Faulted in per call, so that Stop() takes effect soon.
constexpr std::uintptr_t kStep = std::uintptr_t{4} << 20;

}  // namespace

void AdviseHugePages(void* data, std::size_t bytes) {
  if (data == nullptr || bytes < kHugePage * 2) {
    return;
  }
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t hugeFirst = (start + kHugePage - 1) / kHugePage * kHugePage;
  const std::uintptr_t hugeLast = (start + bytes) / kHugePage * kHugePage;
  if (hugeLast > hugeFirst) {
    ::madvise(reinterpret_cast<void*>(hugeFirst), hugeLast - hugeFirst, MADV_HUGEPAGE);
  }
}

PageWarmer::PageWarmer(void* data, std::size_t bytes) {
  if (data == nullptr || bytes < kMinimumBytes) {
    return;
  }
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  // Whole pages inside the buffer only: the pages at its ends may hold
  // other allocations.
  const std::uintptr_t first = (start + page - 1) / page * page;
  const std::uintptr_t last = (start + bytes) / page * page;
  if (last <= first) {
    return;
  }
  AdviseHugePages(data, bytes);
  helper_ = std::thread([this, first, last] {
    for (std::uintptr_t at = first; at < last && !stop_.load(std::memory_order_relaxed);
         at += kStep) {
      const std::uintptr_t length = std::min(kStep, last - at);
      if (::madvise(reinterpret_cast<void*>(at), length, MADV_POPULATE_WRITE) != 0) {
        return;  // an older kernel, or memory gone: the writer faults on its own
      }
    }
  });
}

PageWarmer::~PageWarmer() { Stop(); }

void PageWarmer::Stop() {
  stop_.store(true, std::memory_order_relaxed);
  if (helper_.joinable()) {
    helper_.join();
  }
}

}  // namespace halvex::platform
