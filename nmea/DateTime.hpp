// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Date-time values as days since 30 December 1899 00:00 (the whole part the
// date, the fraction the time of day), 0 meaning "no valid date".

#include <cstdint>
#include <optional>
#include <string>

namespace halvex::nmea {

using TDateTime = double;

// The value of a date and time; empty when the parts do not form a valid
// date (years 1 to 9999) or time (hour < 24, minute < 60, second < 60,
// millisecond < 1000).
std::optional<TDateTime> EncodeDateTime(int year, int month, int day, int hour, int minute,
                                        int second, int millisecond);

struct DateTimeParts {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// The parts of a value, the time rounded to the nearest millisecond.
DateTimeParts DecodeDateTime(TDateTime value);

// "yyyy-mm-ddThh:mm:ss.zzz".
std::string DateTimeToIso(TDateTime value);

}  // namespace halvex::nmea
