// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Clock.hpp"

#include <string>

namespace halvex::platform {

// The date as "dd.MM.yyyy" (e.g. "07.12.2026"), whatever the user's locale.
// Used for day folder names, so it must never change.
// Throws std::invalid_argument for a date that does not exist or a year
// outside 0..9999.
std::string ShortDateText(const LocalDateTime& time);
std::string ShortDateText(const Clock& clock);

// The time of day as "hhnnsszzz": 24-hour hours, minutes, seconds and
// milliseconds, 9 digits with no separators (14:05:09.007 -> "140509007").
// Throws std::invalid_argument for a field out of range (a leap second 60 is
// accepted).
std::string LongTimeText(const LocalDateTime& time);
std::string LongTimeText(const Clock& clock);

}  // namespace halvex::platform
