// SPDX-License-Identifier: GPL-3.0-or-later
#include "nmea/NmeaText.hpp"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace halvex::nmea {
namespace {

TEST(NmeaChecksum, XorAndHexadecimalText) {
  EXPECT_EQ(GetNMEACheckSum("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"),
            0x47);
  EXPECT_EQ(GetNMEACheckSum("$GPRMC*6A"), GetNMEACheckSum("$GPRMC"));  // stops at "*"
  EXPECT_EQ(GetNMEACheckSum("xA"), 'A');  // the first character never counts
  EXPECT_EQ(GetNMEACheckSumStr("$\n"), "0A");
  EXPECT_EQ(AddCheckSumToNMEA("$\n"), "$\n*0A");
  EXPECT_EQ(AddCrLfToNMEA("$GPX"), "$GPX\r\n");

  EXPECT_TRUE(IsCheckSumOk("$\n*0A"));
  EXPECT_TRUE(IsCheckSumOk("$\n*0a"));
  EXPECT_TRUE(IsCheckSumOk("$\n*a"));
  EXPECT_TRUE(IsCheckSumOk("$\n*00000A"));
  EXPECT_FALSE(IsCheckSumOk("$\n*0A "));
  EXPECT_FALSE(IsCheckSumOk("$\n*10A"));  // no wrap to the low byte
  EXPECT_FALSE(IsCheckSumOk("$\n*+A"));
  EXPECT_FALSE(IsCheckSumOk("$\n"));  // no "*"
  EXPECT_FALSE(IsCheckSumOk("*00"));  // "*" first
  EXPECT_TRUE(IsCheckSumOk("$*"));    // empty checksum text reads 0
  EXPECT_TRUE(IsCheckSumOk("$A*41"));
}

TEST(NmeaFields, CopyReplaceCountPad) {
  EXPECT_EQ(SafeCopy("abcdef", 2, 3, "x"), "bcd");
  EXPECT_EQ(SafeCopy("abcdef", 4, 3, "x"), "def");
  EXPECT_EQ(SafeCopy("abcdef", 5, 3, "x"), "x");
  EXPECT_EQ(SafeCopy("abc", 0, 1, "x"), "x");
  EXPECT_EQ(SafeCopy("", 1, 1, "d"), "d");
  EXPECT_EQ(ReplaceDecimalSeparator("-12.5"), "-12.5");
  EXPECT_EQ(ReplaceDecimalSeparator("12.5m"), "0");
  EXPECT_EQ(ReplaceDecimalSeparator(""), "0");
  EXPECT_EQ(CommasCount(",a,,b"), 3);
  EXPECT_EQ(MaxLenStr("7", 3, '0'), "007");
  EXPECT_EQ(MaxLenStr("10000", 4, '0'), "1000");
  EXPECT_EQ(FloatMod(-1.0L, 360.0L), 359.0L);
  EXPECT_EQ(FloatMod(725.0L, 360.0L), 5.0L);
}

TEST(NmeaFields, RealsAndIntegers) {
  long double v = 7.0L;
  EXPECT_TRUE(ReadReal("545.4", v));
  EXPECT_EQ(v, 545.4L);
  EXPECT_TRUE(ReadReal("-.5", v));
  EXPECT_EQ(v, -0.5L);
  EXPECT_TRUE(ReadReal("3.", v));
  EXPECT_EQ(v, 3.0L);
  EXPECT_TRUE(ReadReal("12.5m", v));  // any other character makes the field "0"
  EXPECT_EQ(v, 0.0L);
  v = 7.0L;
  for (const char* bad : {"-", "+", ".", "1.2.3", "1-2", "--1"}) {
    EXPECT_FALSE(ReadReal(bad, v)) << bad;
  }
  EXPECT_EQ(v, 7.0L);
  EXPECT_TRUE(ReadReal("0.123456789012345678901234", v));  // beyond 19 digits
  EXPECT_EQ(v, 0.123456789012345678901234L);

  int n = 5;
  EXPECT_TRUE(ReadInteger("-2147483648", n));
  EXPECT_EQ(n, -2147483647 - 1);
  EXPECT_TRUE(ReadInteger("+08", n));
  EXPECT_EQ(n, 8);
  for (const char* bad : {"", "-", "2147483648", " 1", "1 ", "0x1", "1.0"}) {
    EXPECT_FALSE(ReadInteger(bad, n)) << bad;
  }
}

TEST(NmeaFields, Coordinates) {
  int d = -1, m = -1;
  long double s = -1.0L;
  ASSERT_TRUE(ExtractCoord("4807.038", d, m, s));
  EXPECT_EQ(d, 48);
  EXPECT_EQ(m, 7);
  EXPECT_NEAR(static_cast<double>(s), 2.28, 1e-12);
  ASSERT_TRUE(ExtractCoord("01131.", d, m, s));
  EXPECT_EQ(d, 11);
  EXPECT_EQ(m, 31);
  EXPECT_EQ(s, 0.0L);
  ASSERT_TRUE(ExtractCoord("07", d, m, s));
  EXPECT_EQ(d, 0);
  EXPECT_EQ(m, 7);
  EXPECT_EQ(s, 0.0L);
  // Eight fraction digits, as RTK receivers write them: 0.99999999 minutes
  // is 59.9999994 seconds (a 32-bit product would overflow).
  ASSERT_TRUE(ExtractCoord("4807.99999999", d, m, s));
  EXPECT_NEAR(static_cast<double>(s), 59.9999994, 1e-9);
  ASSERT_TRUE(ExtractCoord("4807.35791395", d, m, s));
  EXPECT_NEAR(static_cast<double>(s), 21.474837, 1e-6);
  // Where 32 bits suffice, the result is the one of the single-precision
  // power of ten.
  ASSERT_TRUE(ExtractCoord("4807.12345", d, m, s));
  EXPECT_EQ(s, 12345LL * 60 / static_cast<long double>(100000.0f));
  d = 1;
  for (const char* bad : {"", ".5", "48a7.0", "4807.0x", "4807.1.2"}) {
    EXPECT_FALSE(ExtractCoord(bad, d, m, s)) << bad;
  }
  EXPECT_EQ(d, 1) << "a failed field writes nothing";
}

TEST(NmeaFields, TimesAndDates) {
  std::uint16_t h = 0, m = 0, s = 0, ms = 0;
  ASSERT_TRUE(ExtractUTCTime("123519.50", h, m, s, ms));
  EXPECT_EQ(h, 12);
  EXPECT_EQ(m, 35);
  EXPECT_EQ(s, 19);
  EXPECT_EQ(ms, 500);
  // The decimals are a fraction of a second, cut after the milliseconds.
  for (const auto& [text, expected] : std::vector<std::pair<const char*, int>>{
           {"123519.5", 500}, {"123519.500", 500}, {"123519.05", 50},
           {"123519.1234", 123}, {"123519.0009", 0}, {"123519.999999", 999},
           {"123519.", 0}, {"123519", 0}}) {
    ms = 7;
    ASSERT_TRUE(ExtractUTCTime(text, h, m, s, ms)) << text;
    EXPECT_EQ(ms, expected) << text;
  }
  ASSERT_TRUE(ExtractUTCTime("3519", h, m, s, ms));
  EXPECT_EQ(h, 0);
  EXPECT_EQ(m, 35);
  ASSERT_TRUE(ExtractUTCTime("9", h, m, s, ms));
  EXPECT_EQ(s, 9);
  EXPECT_EQ(m, 0);
  h = 1, m = 2, s = 3, ms = 4;
  for (const char* bad : {"", ".50", "12a519", "123519.5x", "123519.+5", "123519.-5",
                          "123519. 5", "123519.5 ", "123519.1.2"}) {
    EXPECT_FALSE(ExtractUTCTime(bad, h, m, s, ms)) << bad;
  }
  EXPECT_EQ(h * 1000 + m * 100 + s * 10 + ms, 1234) << "a failed field leaves the time";

  std::uint16_t y = 0, mo = 0, d = 0;
  ASSERT_TRUE(ExtractUTCDate("230394", y, mo, d));
  EXPECT_EQ(y, 2094);  // two-digit years are always 20yy
  EXPECT_EQ(mo, 3);
  EXPECT_EQ(d, 23);
  ASSERT_TRUE(ExtractUTCDate("04072002", y, mo, d));
  EXPECT_EQ(y, 2002);
  EXPECT_EQ(d, 4);
  ASSERT_TRUE(ExtractUTCDate("40794", y, mo, d));
  EXPECT_EQ(d, 4);
  EXPECT_FALSE(ExtractUTCDate("2303", y, mo, d));
  EXPECT_FALSE(ExtractUTCDate("23o394", y, mo, d));
  EXPECT_EQ(d, 4) << "a failed date writes nothing";
}

}  // namespace
}  // namespace halvex::nmea
