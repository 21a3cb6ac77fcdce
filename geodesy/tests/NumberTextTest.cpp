// SPDX-License-Identifier: GPL-3.0-or-later
// The number texts must equal C's printf and strtod/strtold to the last
// character and bit. The reference here is the C library itself.

#include "geodesy/NumberText.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace halvex::geodesy {
namespace {

std::string CPrintf(const char* format, int precision, long double value) {
  const int n = std::snprintf(nullptr, 0, format, precision, value);
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, precision, value);
  text.resize(static_cast<std::size_t>(n));
  return text;
}

bool SameBits(long double a, long double b) { return std::memcmp(&a, &b, 10) == 0; }

// Values that exercise every path: ordinary coordinates, all magnitudes,
// ties and near-ties of 15 digits and of fixed decimals, powers of ten.
std::vector<long double> Samples() {
  std::vector<long double> values = {0.0L,
                                     -0.0L,
                                     1.0L,
                                     -1.0L,
                                     0.5L,
                                     6378137.0L,
                                     0.0033528106647474L,
                                     1e15L,
                                     1e14L,
                                     999999999999999.5L,
                                     99999999999999.95L,
                                     123456789012345.5L,
                                     0.000123456789012345678L,
                                     1e-5L,
                                     9.99999999999999949e-5L,
                                     4.0e-10L,
                                     1e300L,
                                     1e-300L,
                                     1e4000L,
                                     1e-4000L,
                                     0.125L,
                                     2.5L,
                                     -2.5L,
                                     1.0000000000000005L,
                                     0.00049999999L};
  std::mt19937_64 rng(20261208);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 200000; ++i) {
    const int exponent = static_cast<int>(rng() % 40) - 20;
    long double v = (unit(rng) + 1.0) * std::pow(10.0L, exponent);
    if (rng() & 1) {
      v = -v;
    }
    values.push_back(v);
  }
  // Exact ties at the 15th digit and at fixed decimals: d.5 scaled by powers
  // of two keeps them exact; neighbours one ulp away are near-ties.
  for (int i = 0; i < 20000; ++i) {
    const long double whole = static_cast<long double>(rng() % 1000000000000000ULL);
    for (long double v : {whole + 0.5L, (whole + 0.5L) / 1024.0L, (whole + 0.5L) * 1024.0L}) {
      values.push_back(v);
      values.push_back(std::nextafter(v, 0.0L));
      values.push_back(std::nextafter(v, 1e4930L));
    }
  }
  for (int i = 0; i < 20000; ++i) {
    // Geodetic latitudes and heights rounded to fixed decimals.
    values.push_back(static_cast<long double>(unit(rng) * 180.0 - 90.0));
    values.push_back(static_cast<long double>(std::round(unit(rng) * 1e9)) / 1e8L);
  }
  return values;
}

TEST(NumberText, GeneralFormatEqualsPrintf) {
  for (long double v : Samples()) {
    ASSERT_EQ(FormatG15(v), CPrintf("%.*Lg", 15, v)) << static_cast<double>(v);
  }
  for (long double v :
       {std::numeric_limits<long double>::infinity(), -std::numeric_limits<long double>::infinity(),
        std::numeric_limits<long double>::denorm_min()}) {
    EXPECT_EQ(FormatG15(v), CPrintf("%.*Lg", 15, v));
  }
}

TEST(NumberText, FixedFormatEqualsPrintf) {
  const auto samples = Samples();
  for (int decimals : {0, 2, 3, 6, 8, 9, 10, 20}) {
    for (std::size_t i = 0; i < samples.size(); i += 3) {
      const long double v = samples[i];
      if (std::fabs(v) > 1e30L) {
        continue;  // thousands of digits: covered by one case below
      }
      ASSERT_EQ(FormatFixed(v, decimals), CPrintf("%.*Lf", decimals, v))
          << static_cast<double>(v) << " decimals " << decimals;
    }
  }
  EXPECT_EQ(FormatFixed(1e300L, 2), CPrintf("%.*Lf", 2, 1e300L));
  EXPECT_EQ(FormatFixed(-0.0001L, 3), "-0.000");
  EXPECT_EQ(FormatFixed(-0.0L, 3), "-0.000");
  EXPECT_EQ(FormatFixed(2.5L, 0), "2");
  EXPECT_EQ(FormatFixed(0.125L, 2), "0.12");

  std::string out;
  EXPECT_FALSE(AppendFixedAndRead(out, std::numeric_limits<long double>::infinity(), 3));
  EXPECT_EQ(out, CPrintf("%.*Lf", 3, std::numeric_limits<long double>::infinity()));
  out.clear();
  const auto negativeZero = AppendFixedAndRead(out, -0.0001L, 3);
  EXPECT_EQ(out, "-0.000");
  ASSERT_TRUE(negativeZero.has_value());
  EXPECT_TRUE(std::signbit(*negativeZero));
}

TEST(NumberText, RoundTripsEqualFormatThenParse) {
  for (long double v : Samples()) {
    const std::string g = CPrintf("%.*Lg", 15, v);
    const double asDouble = std::strtod(g.c_str(), nullptr);
    const long double asExtended = std::strtold(g.c_str(), nullptr);
    const auto rd = RoundTripG15ToDouble(v);
    const auto rl = RoundTripG15ToExtended(v);
    if (!std::isfinite(asDouble)) {
      EXPECT_FALSE(rd.has_value()) << g;
    } else {
      ASSERT_TRUE(rd.has_value()) << g;
      ASSERT_EQ(std::memcmp(&*rd, &asDouble, sizeof asDouble), 0) << g;
    }
    ASSERT_TRUE(rl.has_value()) << g;
    ASSERT_TRUE(SameBits(*rl, asExtended)) << g;

    if (std::fabs(v) < 1e20L) {
      const std::string f = CPrintf("%.*Lf", 8, v);
      const auto rf = RoundTripFixedToExtended(v, 8);
      ASSERT_TRUE(rf.has_value());
      ASSERT_TRUE(SameBits(*rf, std::strtold(f.c_str(), nullptr))) << f;
      // Appending and reading at once: the text of AppendFixed and the
      // value it reads as, on the fast path and past it (22 decimals).
      for (int decimals : {0, 3, 8, 19, 22}) {
        const std::string text = CPrintf("%.*Lf", decimals, v);
        std::string out = "x";
        const auto read = AppendFixedAndRead(out, v, decimals);
        ASSERT_EQ(out, "x" + text);
        ASSERT_TRUE(read.has_value()) << text;
        ASSERT_TRUE(SameBits(*read, std::strtold(text.c_str(), nullptr))) << text;
      }
    }
  }
}

TEST(NumberText, ScannerEqualsStrtod) {
  const char* texts[] = {"0",
                         "-0",
                         "+1.5",
                         ".5",
                         "5.",
                         "1e5",
                         "1E-5",
                         "1e+",
                         "1.5e",
                         "1.5ex",
                         "  \t\n42",
                         "00000000000000000000123.25",
                         "0.000000000000000000000000000001234567",
                         "12345678901234567890123",
                         "1.7976931348623157e308",
                         "4.9e-324",
                         "1e-400",
                         "0x1p3",
                         "0x",
                         "6378137.0",
                         "0.0033528106647474",
                         "298.257223563",
                         "-41.504166666666667",
                         "123456789012345678.5"};
  for (const char* text : texts) {
    char* end = nullptr;
    const double expected = std::strtod(text, &end);
    NumberScanner scanner(text);
    double value = -1.0;
    ASSERT_TRUE(scanner.ReadDouble(value)) << text;
    EXPECT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << text;
    EXPECT_EQ(scanner.Rest(), std::string_view(end)) << text;

    const long double expectedL = std::strtold(text, &end);
    NumberScanner scannerL(text);
    long double valueL = -1.0L;
    ASSERT_TRUE(scannerL.ReadExtended(valueL)) << text;
    EXPECT_TRUE(SameBits(valueL, expectedL)) << text;
    EXPECT_EQ(scannerL.Rest(), std::string_view(end)) << text;
  }
}

TEST(NumberText, ScannerRejectsWhatIsNotAFiniteNumber) {
  for (const char* text : {"", "   ", "-", "+", ".", "-.", "abc", "inf", "-infinity", "nan",
                           "1e999", "-1e99999", ",5", "e5"}) {
    NumberScanner scanner(text);
    double value = 7.0;
    EXPECT_FALSE(scanner.ReadDouble(value)) << text;
    EXPECT_EQ(value, 7.0);
    EXPECT_EQ(scanner.Rest(), std::string_view(text)) << "a failed read moves nothing";
  }
}

TEST(NumberText, ScannerReadsSequencesLikeSscanf) {
  double v[4] = {};
  NumberScanner scanner("1 2\t-3x 4");
  EXPECT_EQ(scanner.ReadDoubles(v, 4), 3);
  EXPECT_EQ(v[2], -3.0);
  EXPECT_EQ(CountLeadingNumbers("41 30 15.5 extra", 3), 3);
  EXPECT_EQ(CountLeadingNumbers("41 30 15.5 7", 3), 3);
  EXPECT_EQ(CountLeadingNumbers("1-2", 3), 2);
  EXPECT_EQ(CountLeadingNumbers("N41", 3), 0);

  NumberScanner tokens("WGS84  ellipsoid 6378137 0.0033");
  EXPECT_TRUE(tokens.SkipToken());
  EXPECT_TRUE(tokens.SkipToken());
  double a = 0.0;
  EXPECT_TRUE(tokens.ReadDouble(a));
  EXPECT_EQ(a, 6378137.0);
}

TEST(NumberText, IgnoresTheProcessLocale) {
  // A desktop program runs with the user's locale; a comma-decimal locale
  // must change neither what is written nor what is read.
  const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
  if (german == nullptr) {
    german = std::setlocale(LC_ALL, "C.UTF-8");
  }
  EXPECT_EQ(FormatG15(1.5L), "1.5");
  EXPECT_EQ(FormatG15(0.1L), "0.1");
  EXPECT_EQ(FormatFixed(2.25L, 3), "2.250");
  EXPECT_EQ(FormatG15(1e-30L), "1e-30");
  NumberScanner scanner("1.5 2,5");
  double v[2] = {};
  EXPECT_EQ(scanner.ReadDoubles(v, 2), 2);
  EXPECT_EQ(v[0], 1.5);
  EXPECT_EQ(v[1], 2.0);
  std::setlocale(LC_ALL, "C");
}

TEST(NumberText, ExactlyOneNumber) {
  for (const char* text : {"12.5", " -3e2 ", "\t0\r\n", "+.5", "1.", "0x1p3"}) {
    EXPECT_TRUE(IsExactlyOneNumber(text)) << text;
  }
  for (const char* text :
       {"", "  ", "500 000", "12abc", "nan", "inf", "1e99999", "--1", ".", "1,5", "1 x"}) {
    EXPECT_FALSE(IsExactlyOneNumber(text)) << text;
  }
}

}  // namespace
}  // namespace halvex::geodesy
