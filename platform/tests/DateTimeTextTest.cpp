// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DateTimeText.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

namespace halvex::platform {
namespace {

LocalDateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                 int millisecond = 0) {
  return LocalDateTime{year, month, day, hour, minute, second, millisecond};
}

TEST(ShortDateText, PadsDayMonthAndYear) {
  EXPECT_EQ(ShortDateText(At(2026, 12, 7)), "07.12.2026");
  EXPECT_EQ(ShortDateText(At(2026, 1, 31)), "31.01.2026");
  EXPECT_EQ(ShortDateText(At(987, 3, 4)), "04.03.0987");
  EXPECT_EQ(ShortDateText(At(2024, 2, 29)), "29.02.2024");
}

TEST(ShortDateText, RejectsDatesThatDoNotExist) {
  EXPECT_THROW(ShortDateText(At(2026, 2, 29)), std::invalid_argument);
  EXPECT_THROW(ShortDateText(At(2100, 2, 29)), std::invalid_argument);
  EXPECT_THROW(ShortDateText(At(2026, 4, 31)), std::invalid_argument);
  EXPECT_THROW(ShortDateText(At(2026, 13, 1)), std::invalid_argument);
  EXPECT_THROW(ShortDateText(At(2026, 1, 0)), std::invalid_argument);
  EXPECT_THROW(ShortDateText(At(10000, 1, 1)), std::invalid_argument);
}

TEST(LongTimeText, NineDigitsWithMilliseconds) {
  EXPECT_EQ(LongTimeText(At(2026, 1, 1, 14, 5, 9, 7)), "140509007");
  EXPECT_EQ(LongTimeText(At(2026, 1, 1, 0, 0, 0, 0)), "000000000");
  EXPECT_EQ(LongTimeText(At(2026, 1, 1, 23, 59, 59, 999)), "235959999");
  EXPECT_EQ(LongTimeText(At(2026, 1, 1, 9, 30, 0, 50)), "093000050");
  EXPECT_EQ(LongTimeText(At(2026, 1, 1, 23, 59, 60, 0)), "235960000");
}

TEST(LongTimeText, RejectsFieldsOutOfRange) {
  EXPECT_THROW(LongTimeText(At(2026, 1, 1, 24, 0, 0, 0)), std::invalid_argument);
  EXPECT_THROW(LongTimeText(At(2026, 1, 1, 0, 60, 0, 0)), std::invalid_argument);
  EXPECT_THROW(LongTimeText(At(2026, 1, 1, 0, 0, 61, 0)), std::invalid_argument);
  EXPECT_THROW(LongTimeText(At(2026, 1, 1, 0, 0, 0, 1000)), std::invalid_argument);
}

TEST(Clock, FixedClockFeedsTheTexts) {
  FixedClock clock(At(2026, 12, 7, 14, 5, 9, 7));
  EXPECT_EQ(ShortDateText(clock), "07.12.2026");
  EXPECT_EQ(LongTimeText(clock), "140509007");

  clock.Set(At(2027, 1, 1, 0, 0, 0, 1));
  EXPECT_EQ(ShortDateText(clock), "01.01.2027");
  EXPECT_EQ(LongTimeText(clock), "000000001");
}

TEST(Clock, SystemClockGivesAValidLocalTime) {
  const LocalDateTime now = SystemClock().Now();
  EXPECT_GE(now.year, 2024);
  EXPECT_NO_THROW(ShortDateText(now));
  EXPECT_NO_THROW(LongTimeText(now));
}

}  // namespace
}  // namespace halvex::platform
