// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DateTimeText.hpp"

#include <chrono>
#include <stdexcept>

namespace halvex::platform {
namespace {

// Appends value (known to be non-negative) with at least `width` digits.
void AppendPadded(std::string& out, int value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width) {
    out.append(static_cast<std::size_t>(width) - digits.size(), '0');
  }
  out += digits;
}

void CheckRange(int value, int low, int high, const char* what) {
  if (value < low || value > high) {
    throw std::invalid_argument(std::string(what) + " " + std::to_string(value) +
                                " is out of range " + std::to_string(low) + ".." +
                                std::to_string(high));
  }
}

}  // namespace

std::string ShortDateText(const LocalDateTime& time) {
  CheckRange(time.year, 0, 9999, "year");
  CheckRange(time.month, 1, 12, "month");
  CheckRange(time.day, 1, 31, "day");
  const std::chrono::year_month_day date{std::chrono::year{time.year},
                                         std::chrono::month{static_cast<unsigned>(time.month)},
                                         std::chrono::day{static_cast<unsigned>(time.day)}};
  if (!date.ok()) {
    throw std::invalid_argument("day " + std::to_string(time.day) + " does not exist in " +
                                std::to_string(time.month) + "/" + std::to_string(time.year));
  }
  std::string text;
  text.reserve(10);
  AppendPadded(text, time.day, 2);
  text += '.';
  AppendPadded(text, time.month, 2);
  text += '.';
  AppendPadded(text, time.year, 4);
  return text;
}

std::string ShortDateText(const Clock& clock) { return ShortDateText(clock.Now()); }

std::string LongTimeText(const LocalDateTime& time) {
  CheckRange(time.hour, 0, 23, "hour");
  CheckRange(time.minute, 0, 59, "minute");
  CheckRange(time.second, 0, 60, "second");
  CheckRange(time.millisecond, 0, 999, "millisecond");
  std::string text;
  text.reserve(9);
  AppendPadded(text, time.hour, 2);
  AppendPadded(text, time.minute, 2);
  AppendPadded(text, time.second, 2);
  AppendPadded(text, time.millisecond, 3);
  return text;
}

std::string LongTimeText(const Clock& clock) { return LongTimeText(clock.Now()); }

}  // namespace halvex::platform
