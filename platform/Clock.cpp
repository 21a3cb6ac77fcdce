// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Clock.hpp"

#include <chrono>
#include <ctime>
#include <stdexcept>

namespace halvex::platform {

LocalDateTime SystemClock::Now() const {
  using namespace std::chrono;
  const auto now = system_clock::now();
  // floor (not a cast) keeps the milliseconds in 0..999 before 1970 too.
  const auto whole = floor<seconds>(now);
  const auto millis = duration_cast<milliseconds>(now - whole).count();

  const std::time_t t = system_clock::to_time_t(whole);
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) {
    throw std::runtime_error("cannot convert the system time to local time");
  }
  return LocalDateTime{
      tm.tm_year + 1900, tm.tm_mon + 1,           tm.tm_mday, tm.tm_hour, tm.tm_min,
      tm.tm_sec,         static_cast<int>(millis)};
}

}  // namespace halvex::platform
