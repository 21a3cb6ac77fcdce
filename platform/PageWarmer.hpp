// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Readies fresh memory for a long sequential write from another thread.
//
// The first write to every page of a new allocation stops the writer for a
// page fault in which the kernel clears the page; for a buffer of hundreds
// of megabytes that costs more processor time than filling it. A PageWarmer
// asks for huge pages over the buffer (fewer faults) and has a helper thread
// fault the pages in ahead of the writer, so on a machine with a second
// processor the clearing runs beside the work that fills the buffer.
//
// Only the kernel touches the memory (madvise), never this program's code:
// contents stay as they are and the owner may write the buffer at any time.
// Everything is advice; where the kernel declines, nothing changes but the
// speed.

#include <atomic>
#include <cstddef>
#include <thread>

namespace halvex::platform {

// Asks for huge pages over the whole 2 MB pages inside [data, data + bytes)
// of a fresh allocation, before it is first written. On a virtual machine a
// first write costs a fault per page, so a buffer of tens of megabytes
// faults in many times faster in 2 MB pages than in 4 kB ones. Contents and
// ownership are untouched; small buffers are left alone.
void AdviseHugePages(void* data, std::size_t bytes);

class PageWarmer {
 public:
  // Starts warming [data, data + bytes). Buffers under a few megabytes are
  // not worth a thread and are left alone.
  PageWarmer(void* data, std::size_t bytes);
  // Stops and waits for the helper thread.
  ~PageWarmer();

  PageWarmer(const PageWarmer&) = delete;
  PageWarmer& operator=(const PageWarmer&) = delete;

  // Stops warming (the rest of the buffer faults in as it is written). Call
  // before the buffer may be freed or moved.
  void Stop();

 private:
  std::atomic<bool> stop_{false};
  std::thread helper_;
};

}  // namespace halvex::platform
