// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/NmeaDecodeJson.hpp"

#include <array>
#include <charconv>
#include <cstdint>
#include <limits>

namespace halvex::tools::nmea_decode {

// printf's "%.17Lg" of a finite value into `text`; returns the end.
//
// Reals are most of the output, and printf spends most of its time on them
// in multi-precision arithmetic. Values from 0.001 up to 1e17 whose long
// double has at most 64 significant bits (the x87 format) are converted
// here exactly: the value is m·2^-s with m < 2^64, so m·10^k fits in 128
// bits for the k ≤ 19 needed, and its quotient and remainder by 2^s give
// the 17 digits and the round-half-even decision printf makes. Other
// values go to std::to_chars, which writes what printf writes.
char* FormatReal(long double value, char* text) {
  if constexpr (std::numeric_limits<long double>::radix == 2 &&
                std::numeric_limits<long double>::digits <= 64) {
    __extension__ typedef unsigned __int128 u128;
    static constexpr auto kPow10 = [] {
      std::array<std::uint64_t, 20> powers{};
      std::uint64_t power = 1;
      for (std::uint64_t& p : powers) {
        p = power;
        power *= 10;  // wraps after the last entry, which is not used
      }
      return powers;
    }();
    const bool negative = std::signbit(value);
    const long double magnitude = negative ? -value : value;
    if (magnitude >= 1e-3L && magnitude < 1e17L) {
      int exponent2 = 0;
      const long double fraction = std::frexp(magnitude, &exponent2);  // in [0.5, 1)
      const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
      const int shift = 64 - exponent2;  // magnitude = mantissa / 2^shift, 7 <= shift <= 74
      // The decimal exponent, estimated from the binary one and corrected
      // until the quotient has 17 digits.
      int exponent10 = ((exponent2 - 1) * 78913) >> 18;
      std::uint64_t digits = 0;
      for (;;) {
        const int k = 16 - exponent10;
        if (k < 0 || k > 19) {
          digits = 0;
          break;
        }
        const u128 product = static_cast<u128>(mantissa) * kPow10[k];
        const auto quotient = static_cast<std::uint64_t>(product >> shift);
        if (quotient < kPow10[16]) {
          --exponent10;
          continue;
        }
        if (quotient >= kPow10[17]) {
          ++exponent10;
          continue;
        }
        const u128 rest = product & ((static_cast<u128>(1) << shift) - 1);
        const u128 half = static_cast<u128>(1) << (shift - 1);
        digits = quotient + ((rest > half || (rest == half && (quotient & 1) != 0)) ? 1 : 0);
        if (digits == kPow10[17]) {
          digits = kPow10[16];
          ++exponent10;
        }
        break;
      }
      if (digits != 0 && exponent10 >= -4 && exponent10 < 17) {
        char d[17];
        for (int i = 16; i >= 0; --i) {
          d[i] = static_cast<char>('0' + digits % 10);
          digits /= 10;
        }
        int last = 16;  // the last digit written: trailing zeros after the point go
        const int firstFraction = exponent10 >= 0 ? exponent10 + 1 : 0;
        while (last >= firstFraction && d[last] == '0') {
          --last;
        }
        char* out = text;
        if (negative) {
          *out++ = '-';
        }
        if (exponent10 >= 0) {
          for (int i = 0; i <= exponent10; ++i) {
            *out++ = d[i];
          }
          if (last > exponent10) {
            *out++ = '.';
            for (int i = exponent10 + 1; i <= last; ++i) {
              *out++ = d[i];
            }
          }
        } else {
          *out++ = '0';
          *out++ = '.';
          for (int i = -1; i > exponent10; --i) {
            *out++ = '0';
          }
          for (int i = 0; i <= last; ++i) {
            *out++ = d[i];
          }
        }
        return out;
      }
    }
  }
  return std::to_chars(text, text + kRealTextBytes, value, std::chars_format::general, 17).ptr;
}

// JSON lines collected in a buffer written out in blocks.

}  // namespace halvex::tools::nmea_decode
