// SPDX-License-Identifier: GPL-3.0-or-later
//
// Exact decimal conversions with a fast path.
//
// Formatting: a finite value x is scaled by an exact power of ten into the
// range of the wanted digits, y = x·10^s, with a single rounding (relative
// error at most 2^-64). When y is farther than kMargin from a rounding tie,
// the digits round(y) are certainly those of the exactly rounded decimal, so
// they are used; otherwise (about one value in five hundred) the C library
// formats the value. The C library is also used for non-finite values and
// powers of ten outside the exact table.
//
// Parsing: the decimal digits are collected as an integer m and an exponent
// e. When m and 10^|e| are both exact in the target type, m·10^e or m/10^-e
// is one correctly rounded operation and equals strtod/strtold (Clinger's
// fast path). Longer mantissas and larger exponents go to strtod_l/strtold_l
// in the "C" locale.

#include "geodesy/NumberText.hpp"

#include <locale.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

namespace halvex::geodesy {
namespace {

constexpr int kMaxExactPow10Extended = 27;  // 5^27 < 2^64
constexpr int kMaxExactPow10Double = 22;    // 5^22 < 2^53

constexpr std::array<long double, kMaxExactPow10Extended + 1> MakePow10Extended() {
  std::array<long double, kMaxExactPow10Extended + 1> table{};
  long double v = 1.0L;
  for (auto& entry : table) {
    entry = v;
    v *= 10.0L;
  }
  return table;
}

constexpr std::array<double, kMaxExactPow10Double + 1> MakePow10Double() {
  std::array<double, kMaxExactPow10Double + 1> table{};
  double v = 1.0;
  for (auto& entry : table) {
    entry = v;
    v *= 10.0;
  }
  return table;
}

constexpr auto kPow10L = MakePow10Extended();
constexpr auto kPow10D = MakePow10Double();

constexpr std::array<std::uint64_t, 20> MakePow10Integer() {
  std::array<std::uint64_t, 20> table{};
  std::uint64_t v = 1;
  for (auto& entry : table) {
    entry = v;
    v *= 10;
  }
  return table;
}
constexpr auto kPow10U = MakePow10Integer();

// Distance from a tie below which the fast path declines to round. The
// scaled value is never off by more than about 6e-5 of a unit.
constexpr long double kMargin = 1.0L / 1024.0L;

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

// printf in the "C" locale, whatever the process locale is.
void AppendPrintf(std::string& out, const char* format, int precision, long double value) {
  const locale_t previous = uselocale(CLocale());
  char buffer[128];
  int n = std::snprintf(buffer, sizeof buffer, format, precision, value);
  if (n >= 0 && static_cast<std::size_t>(n) < sizeof buffer) {
    out.append(buffer, static_cast<std::size_t>(n));
  } else if (n >= 0) {
    // Only huge values in fixed-point reach this (up to about 4950 digits).
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), format, precision, value);
    big.resize(static_cast<std::size_t>(n));
    out += big;
  }
  uselocale(previous);
}

long double ScaleByPow10(long double magnitude, int s) {
  return s >= 0 ? magnitude * kPow10L[static_cast<std::size_t>(s)]
                : magnitude / kPow10L[static_cast<std::size_t>(-s)];
}

// The binary exponent of a normal finite extended value, floor(log2 |x|),
// read from its exponent field (cheaper than ilogbl).
int BinaryExponent(long double x) {
  static_assert(sizeof(long double) >= 10, "x87 extended precision expected");
  std::uint16_t signAndExponent = 0;
  std::memcpy(&signAndExponent, reinterpret_cast<const char*>(&x) + 8, sizeof signAndExponent);
  return static_cast<int>(signAndExponent & 0x7fff) - 16383;
}

// Nearest integer of 0 <= y < 2^62, as a value and as an integer. Adding
// 2^63 leaves no bits below the units, so the sum is rounded to an integer
// and its 64-bit significand is 2^63 plus that integer. (Cheaper than roundl
// and a conversion, which switch the x87 rounding mode.) Ties go to even;
// the callers exclude ties.
struct Rounded {
  long double value;
  std::uint64_t integer;
};

Rounded RoundToInteger(long double y) {
  constexpr long double kTwo63 = 9223372036854775808.0L;
  const long double shifted = y + kTwo63;
  std::uint64_t significand = 0;
  std::memcpy(&significand, &shifted, sizeof significand);
  return {shifted - kTwo63, significand - (std::uint64_t{1} << 63)};
}

// A decimal ±digits·10^exponent.
struct Decimal {
  bool negative = false;
  std::uint64_t digits = 0;
  int exponent = 0;
};

// The 15 significant digits of "%.15Le": digits in [1e14, 1e15) and the
// decimal exponent of the first digit; zero gives digits 0. Empty when the
// fast path cannot decide.
bool ToDecimalG15(long double value, Decimal& out, int& firstDigitExponent) {
  if (!std::isfinite(value)) {
    return false;
  }
  out.negative = std::signbit(value);
  if (value == 0.0L) {
    out.digits = 0;
    out.exponent = 0;
    firstDigitExponent = 0;
    return true;
  }
  const long double magnitude = std::fabs(value);
  if (magnitude < std::numeric_limits<long double>::min()) {
    return false;  // subnormal
  }
  // floor(log10(2^e)) is the first digit's exponent or one less.
  int k = (BinaryExponent(magnitude) * 78913) >> 18;
  auto scaled = [&](int kk, long double& y) {
    const int s = 14 - kk;
    if (s < -kMaxExactPow10Extended || s > kMaxExactPow10Extended) {
      return false;
    }
    y = ScaleByPow10(magnitude, s);
    return true;
  };
  long double y = 0.0L;
  if (!scaled(k, y)) {
    return false;
  }
  if (y >= 1e15L) {
    ++k;
    if (!scaled(k, y)) {
      return false;
    }
  } else if (y < 1e14L) {
    --k;
    if (!scaled(k, y)) {
      return false;
    }
  }
  if (y < 1e14L || y >= 1e15L) {
    return false;
  }
  const Rounded r = RoundToInteger(y);
  if (std::fabs(y - r.value) > 0.5L - kMargin) {
    return false;
  }
  if (r.integer >= 1000000000000000ULL) {
    // 999999999999999.7 rounds up to a new leading digit.
    out.digits = 100000000000000ULL;
    firstDigitExponent = k + 1;
  } else {
    out.digits = r.integer;
    firstDigitExponent = k;
  }
  out.exponent = firstDigitExponent - 14;
  return true;
}

// Digits of value·10^decimals rounded to an integer, for "%.NLf".
bool ToDecimalFixed(long double value, int decimals, Decimal& out) {
  if (!std::isfinite(value) || decimals < 0 || decimals > kMaxExactPow10Extended) {
    return false;
  }
  out.negative = std::signbit(value);
  out.exponent = -decimals;
  const long double y = std::fabs(value) * kPow10L[static_cast<std::size_t>(decimals)];
  if (y >= 4503599627370496.0L) {  // 2^52: beyond it the scaled error could reach the margin
    return false;
  }
  const Rounded r = RoundToInteger(y);
  if (std::fabs(y - r.value) > 0.5L - kMargin) {
    return false;
  }
  out.digits = r.integer;
  return true;
}

void AppendUnsigned(std::string& out, std::uint64_t v, int width) {
  // Digits from the right into the end of a buffer, then appended at once.
  char buffer[24];
  char* at = buffer + sizeof buffer;
  do {
    *--at = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  const char* const widest = buffer + sizeof buffer - std::min(width, 20);
  while (at > widest) {
    *--at = '0';
  }
  out.append(at, static_cast<std::size_t>(buffer + sizeof buffer - at));
}

void AppendG15Decimal(std::string& out, const Decimal& d, int x) {
  if (d.negative) {
    out.push_back('-');
  }
  if (d.digits == 0) {
    out.push_back('0');
    return;
  }
  // Strip trailing zeros of the 15 digits.
  std::uint64_t digits = d.digits;
  int count = 15;
  while (digits % 10 == 0) {
    digits /= 10;
    --count;
  }
  char text[16];
  for (int i = count - 1; i >= 0; --i) {
    text[i] = static_cast<char>('0' + digits % 10);
    digits /= 10;
  }
  if (x < -4 || x >= 15) {
    out.push_back(text[0]);
    if (count > 1) {
      out.push_back('.');
      out.append(text + 1, static_cast<std::size_t>(count - 1));
    }
    out.push_back('e');
    out.push_back(x < 0 ? '-' : '+');
    AppendUnsigned(out, static_cast<std::uint64_t>(x < 0 ? -x : x), 2);
  } else if (x >= 0) {
    if (count <= x + 1) {
      out.append(text, static_cast<std::size_t>(count));
      out.append(static_cast<std::size_t>(x + 1 - count), '0');
    } else {
      out.append(text, static_cast<std::size_t>(x + 1));
      out.push_back('.');
      out.append(text + x + 1, static_cast<std::size_t>(count - x - 1));
    }
  } else {
    out.append("0.");
    out.append(static_cast<std::size_t>(-x - 1), '0');
    out.append(text, static_cast<std::size_t>(count));
  }
}

void AppendFixedDecimal(std::string& out, const Decimal& d, int decimals) {
  if (d.negative) {
    out.push_back('-');
  }
  const std::uint64_t scale = kPow10U[static_cast<std::size_t>(decimals)];
  AppendUnsigned(out, d.digits / scale, 1);
  if (decimals > 0) {
    out.push_back('.');
    AppendUnsigned(out, d.digits % scale, decimals);
  }
}

// Clinger's fast path; false when the result is not certainly exact.
bool DecimalToDouble(const Decimal& d, double& value) {
  if (d.digits >= (1ULL << 53) || d.exponent < -kMaxExactPow10Double ||
      d.exponent > kMaxExactPow10Double) {
    return false;
  }
  const auto m = static_cast<double>(d.digits);
  value = d.exponent >= 0 ? m * kPow10D[static_cast<std::size_t>(d.exponent)]
                          : m / kPow10D[static_cast<std::size_t>(-d.exponent)];
  if (d.negative) {
    value = -value;
  }
  return true;
}

bool DecimalToExtended(const Decimal& d, long double& value) {
  if (d.exponent < -kMaxExactPow10Extended || d.exponent > kMaxExactPow10Extended) {
    return false;
  }
  const auto m = static_cast<long double>(d.digits);
  value = ScaleByPow10(m, d.exponent);
  if (d.negative) {
    value = -value;
  }
  return true;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Scans one decimal number at `pos` (after white space). On success sets
// `end` past it and fills `d`; `exact` is false when the digits do not fit
// the fast path (more than 19 significant digits, or an extreme exponent).
enum class Scan { kNone, kDecimal, kHex };

Scan ScanNumber(std::string_view text, std::size_t start, std::size_t& end, Decimal& d,
                bool& exact) {
  std::size_t p = start;
  const std::size_t n = text.size();
  d = Decimal{};
  exact = true;
  if (p < n && (text[p] == '+' || text[p] == '-')) {
    d.negative = text[p] == '-';
    ++p;
  }
  if (p + 1 < n && text[p] == '0' && (text[p + 1] == 'x' || text[p + 1] == 'X')) {
    return Scan::kHex;
  }
  bool anyDigit = false;
  int significant = 0;
  long exponent = 0;
  for (; p < n && IsDigit(text[p]); ++p) {
    anyDigit = true;
    const auto digit = static_cast<std::uint64_t>(text[p] - '0');
    if (significant == 0 && digit == 0) {
      continue;
    }
    if (significant < 19) {
      d.digits = d.digits * 10 + digit;
      ++significant;
    } else {
      exact = false;
      ++exponent;
    }
  }
  if (p < n && text[p] == '.') {
    ++p;
    for (; p < n && IsDigit(text[p]); ++p) {
      anyDigit = true;
      const auto digit = static_cast<std::uint64_t>(text[p] - '0');
      if (significant == 0 && digit == 0) {
        --exponent;
        continue;
      }
      if (significant < 19) {
        d.digits = d.digits * 10 + digit;
        ++significant;
        --exponent;
      } else {
        exact = false;
      }
    }
  }
  if (!anyDigit) {
    return Scan::kNone;
  }
  if (p < n && (text[p] == 'e' || text[p] == 'E')) {
    std::size_t q = p + 1;
    bool negativeExponent = false;
    if (q < n && (text[q] == '+' || text[q] == '-')) {
      negativeExponent = text[q] == '-';
      ++q;
    }
    if (q < n && IsDigit(text[q])) {
      long value = 0;
      for (; q < n && IsDigit(text[q]); ++q) {
        if (value < 1000000) {
          value = value * 10 + (text[q] - '0');
        }
      }
      exponent += negativeExponent ? -value : value;
      p = q;
    }
  }
  if (exponent < -100000 || exponent > 100000) {
    exact = false;
    exponent = 0;
  }
  d.exponent = static_cast<int>(exponent);
  if (d.digits == 0) {
    d.exponent = 0;  // zero of any exponent is zero
    exact = true;
  }
  end = p;
  return Scan::kDecimal;
}

template <typename T, typename Convert>
bool LibraryParse(std::string_view text, std::size_t start, std::size_t& end, T& value,
                  Convert convert) {
  // strtod needs a terminated string; numbers are short, but a text may be
  // long, so copy only the part from the number on.
  std::string copy(text.substr(start));
  char* stop = nullptr;
  value = convert(copy.c_str(), &stop, CLocale());
  if (stop == copy.c_str()) {
    return false;
  }
  end = start + static_cast<std::size_t>(stop - copy.c_str());
  return true;
}

template <typename T>
bool ReadNumber(std::string_view text, std::size_t& pos, T& value) {
  std::size_t start = pos;
  while (start < text.size() && IsBlank(text[start])) {
    ++start;
  }
  Decimal d;
  bool exact = true;
  std::size_t end = start;
  const Scan scan = ScanNumber(text, start, end, d, exact);
  if (scan == Scan::kNone) {
    return false;
  }
  T result{};
  bool done = false;
  if (scan == Scan::kDecimal && exact) {
    if constexpr (std::is_same_v<T, double>) {
      done = DecimalToDouble(d, result);
    } else {
      done = DecimalToExtended(d, result);
    }
  }
  if (!done) {
    bool ok = false;
    if constexpr (std::is_same_v<T, double>) {
      ok = LibraryParse(text, start, end, result, strtod_l);
    } else {
      ok = LibraryParse(text, start, end, result, strtold_l);
    }
    if (!ok) {
      return false;
    }
  }
  if (!std::isfinite(result)) {
    return false;
  }
  value = result;
  pos = end;
  return true;
}

template <typename T>
std::optional<T> ParseWhole(const std::string& text) {
  NumberScanner scanner(text);
  T value{};
  bool ok = false;
  if constexpr (std::is_same_v<T, double>) {
    ok = scanner.ReadDouble(value);
  } else {
    ok = scanner.ReadExtended(value);
  }
  if (!ok) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

void AppendG15(std::string& out, long double value) {
  Decimal d;
  int x = 0;
  if (ToDecimalG15(value, d, x)) {
    AppendG15Decimal(out, d, x);
  } else {
    AppendPrintf(out, "%.*Lg", 15, value);
  }
}

std::string FormatG15(long double value) {
  std::string out;
  AppendG15(out, value);
  return out;
}

void AppendFixed(std::string& out, long double value, int decimals) {
  if (decimals < 0) {
    decimals = 0;
  }
  if (decimals > 30) {
    decimals = 30;
  }
  Decimal d;
  if (decimals <= 19 && ToDecimalFixed(value, decimals, d)) {
    AppendFixedDecimal(out, d, decimals);
  } else {
    AppendPrintf(out, "%.*Lf", decimals, value);
  }
}

std::string FormatFixed(long double value, int decimals) {
  std::string out;
  AppendFixed(out, value, decimals);
  return out;
}

std::optional<double> RoundTripG15ToDouble(long double value) {
  Decimal d;
  int x = 0;
  double result = 0.0;
  if (ToDecimalG15(value, d, x) && DecimalToDouble(d, result)) {
    return result;
  }
  return ParseWhole<double>(FormatG15(value));
}

std::optional<long double> RoundTripG15ToExtended(long double value) {
  Decimal d;
  int x = 0;
  long double result = 0.0L;
  if (ToDecimalG15(value, d, x) && DecimalToExtended(d, result)) {
    return result;
  }
  return ParseWhole<long double>(FormatG15(value));
}

std::optional<long double> RoundTripFixedToExtended(long double value, int decimals) {
  Decimal d;
  long double result = 0.0L;
  if (decimals >= 0 && decimals <= 19 && ToDecimalFixed(value, decimals, d) &&
      DecimalToExtended(d, result)) {
    return result;
  }
  return ParseWhole<long double>(FormatFixed(value, decimals));
}

std::optional<long double> AppendFixedAndRead(std::string& out, long double value, int decimals) {
  Decimal d;
  long double result = 0.0L;
  if (decimals >= 0 && decimals <= 19 && ToDecimalFixed(value, decimals, d) &&
      DecimalToExtended(d, result)) {
    // The digits printed are the digits a reader collects, so the value
    // they make is the value read.
    AppendFixedDecimal(out, d, decimals);
    return result;
  }
  const std::size_t start = out.size();
  AppendFixed(out, value, decimals);
  return ParseWhole<long double>(out.substr(start));
}

bool NumberScanner::ReadDouble(double& value) { return ReadNumber(text_, pos_, value); }

bool NumberScanner::ReadExtended(long double& value) { return ReadNumber(text_, pos_, value); }

bool NumberScanner::SkipToken() {
  std::size_t p = pos_;
  while (p < text_.size() && IsBlank(text_[p])) {
    ++p;
  }
  if (p == text_.size()) {
    return false;
  }
  while (p < text_.size() && !IsBlank(text_[p])) {
    ++p;
  }
  pos_ = p;
  return true;
}

bool NumberScanner::ReadWord(std::size_t maxChars, std::string_view& word) {
  std::size_t p = pos_;
  while (p < text_.size() && IsBlank(text_[p])) {
    ++p;
  }
  if (p == text_.size() || maxChars == 0) {
    return false;
  }
  const std::size_t start = p;
  while (p < text_.size() && !IsBlank(text_[p]) && p - start < maxChars) {
    ++p;
  }
  word = text_.substr(start, p - start);
  pos_ = p;
  return true;
}

int NumberScanner::ReadDoubles(double* values, int count) {
  int read = 0;
  while (read < count && ReadDouble(values[read])) {
    ++read;
  }
  return read;
}

int NumberScanner::ReadExtendeds(long double* values, int count) {
  int read = 0;
  while (read < count && ReadExtended(values[read])) {
    ++read;
  }
  return read;
}

bool IsExactlyOneNumber(std::string_view text) {
  NumberScanner scanner(text);
  long double ignored = 0.0L;
  if (!scanner.ReadExtended(ignored)) {
    return false;
  }
  for (const char c : scanner.Rest()) {
    if (!IsBlank(c)) {
      return false;
    }
  }
  return true;
}

int CountLeadingNumbers(std::string_view text, int limit) {
  NumberScanner scanner(text);
  int count = 0;
  long double ignored = 0.0L;
  while (count < limit && scanner.ReadExtended(ignored)) {
    ++count;
  }
  return count;
}

}  // namespace halvex::geodesy
