// SPDX-License-Identifier: GPL-3.0-or-later
#include "nmea/DateTime.hpp"

#include <cmath>
#include <cstdio>

namespace halvex::nmea {
namespace {

constexpr bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr int DaysInMonth(int year, int month) {
  constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 0001-01-01 to the date (proleptic Gregorian calendar).
constexpr long DaysFromCivil(int year, int month, int day) {
  long days = 0;
  const long y = year - 1;
  days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) {
    days += DaysInMonth(year, m);
  }
  return days + day - 1;
}

constexpr long kEpoch = DaysFromCivil(1899, 12, 30);
// The values of 0001-01-01 and 10000-01-01: the range of valid dates.
constexpr double kFirstDay = static_cast<double>(DaysFromCivil(1, 1, 1) - kEpoch);
constexpr double kEndDay = static_cast<double>(DaysFromCivil(10000, 1, 1) - kEpoch);
constexpr double kMillisecondsPerDay = 86400000.0;

}  // namespace

std::optional<TDateTime> EncodeDateTime(int year, int month, int day, int hour, int minute,
                                        int second, int millisecond) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59 || millisecond < 0 || millisecond > 999) {
    return std::nullopt;
  }
  const double date = static_cast<double>(DaysFromCivil(year, month, day) - kEpoch);
  const double time =
      (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / kMillisecondsPerDay;
  // Days before the epoch count backwards with a positive time fraction.
  return date >= 0 ? date + time : date - time;
}

DateTimeParts DecodeDateTime(TDateTime value) {
  DateTimeParts parts;
  if (!std::isfinite(value) || value <= kFirstDay - 1.0 || value >= kEndDay) {
    return parts;  // no date of years 1 to 9999: all parts 0
  }
  double whole = std::trunc(value);
  double fraction = std::fabs(value - whole);
  auto milliseconds = static_cast<long>(std::llround(fraction * kMillisecondsPerDay));
  if (milliseconds >= 86400000L) {
    milliseconds -= 86400000L;
    whole += value >= 0 ? 1.0 : -1.0;
  }
  long days = static_cast<long>(whole) + kEpoch;
  int year = static_cast<int>(days / 366) + 1;
  while (DaysFromCivil(year + 1, 1, 1) <= days) {
    ++year;
  }
  while (year > 1 && DaysFromCivil(year, 1, 1) > days) {
    --year;
  }
  int month = 1;
  long rest = days - DaysFromCivil(year, 1, 1);
  while (month < 12 && rest >= DaysInMonth(year, month)) {
    rest -= DaysInMonth(year, month);
    ++month;
  }
  parts.year = year;
  parts.month = month;
  parts.day = static_cast<int>(rest) + 1;
  parts.millisecond = static_cast<int>(milliseconds % 1000);
  long seconds = milliseconds / 1000;
  parts.second = static_cast<int>(seconds % 60);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.hour = static_cast<int>(seconds / 3600);
  return parts;
}

std::string DateTimeToIso(TDateTime value) {
  const DateTimeParts p = DecodeDateTime(value);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", p.year, p.month, p.day,
                p.hour, p.minute, p.second, p.millisecond);
  return text;
}

}  // namespace halvex::nmea
