// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Number texts of the geodesy core: how numbers are written and read back.
//
// Writing follows C's printf in the "C" locale exactly: general format with
// 15 significant digits is "%.15Lg", fixed-point with N decimals is "%.NLf"
// (negative zeros keep their sign, ties round half to even). Reading follows
// C's strtod/strtold on the longest prefix that forms a decimal number, after
// skipping leading white space, with the full stop as the only decimal
// separator whatever the process locale.
//
// One deliberate departure from C: "inf", "nan" and numbers that overflow to
// infinity are not numbers here. A coordinate text holding them is treated
// like any other text that runs out of numbers, so the operations answer with
// their failure result instead of printing "nan" as a coordinate.
//
// Both directions have a fast path that is exact (decimal scaling by exact
// powers of ten, decided only when the result is certain) and fall back to
// the C library otherwise, so the fast path never changes a result.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halvex::geodesy {

// "%.15Lg".
std::string FormatG15(long double value);
void AppendG15(std::string& out, long double value);

// "%.NLf" with N = decimals (0 to 30).
std::string FormatFixed(long double value, int decimals);
void AppendFixed(std::string& out, long double value, int decimals);

// The value that a reader gets back from FormatG15(value) or
// FormatFixed(value, decimals): parsing with the double-precision conversion
// (strtod) or the extended one (strtold). Empty when the text would not read
// back as a number (non-finite values). Equal, bit for bit, to formatting
// and parsing, but without building the text.
std::optional<double> RoundTripG15ToDouble(long double value);
std::optional<long double> RoundTripG15ToExtended(long double value);
std::optional<long double> RoundTripFixedToExtended(long double value, int decimals);

// AppendFixed, returning what the appended text reads back as
// (RoundTripFixedToExtended) without scanning it; empty for a text that
// does not read as a number.
std::optional<long double> AppendFixedAndRead(std::string& out, long double value, int decimals);

// Reads numbers one after another from the start of a text, like a chain of
// sscanf("%lf") or sscanf("%Lf") conversions: each read skips white space and
// takes the longest prefix that forms a number; a read that finds no number
// fails and leaves the position where it was.
class NumberScanner {
 public:
  explicit NumberScanner(std::string_view text) : text_(text) {}

  bool ReadDouble(double& value);
  bool ReadExtended(long double& value);

  // Skips white space and then one token of non-blank characters, like
  // sscanf("%s"). False when only white space is left.
  bool SkipToken();

  // Skips white space and then reads a word of at most `maxChars` non-blank
  // characters, like sscanf("%51s") with 51 as `maxChars`: a longer word is
  // cut there and its rest is where the next read starts. False when only
  // white space is left.
  bool ReadWord(std::size_t maxChars, std::string_view& word);

  // Reads up to `count` numbers into `values` and returns how many were read.
  int ReadDoubles(double* values, int count);
  int ReadExtendeds(long double* values, int count);

  std::string_view Rest() const { return text_.substr(pos_); }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// True when the text, without white space at either end, is exactly one
// number as the scanner reads it ("12.5", " -3e2 "); false for an empty text,
// "500 000", "12abc" or "nan". A field that passes this check cannot shift
// the numbers of a text built from several fields.
bool IsExactlyOneNumber(std::string_view text);

// How many numbers (at most `limit`) can be read from the start of a text.
int CountLeadingNumbers(std::string_view text, int limit);

}  // namespace halvex::geodesy
