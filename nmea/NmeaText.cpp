// SPDX-License-Identifier: GPL-3.0-or-later
#include "nmea/NmeaText.hpp"

#include <locale.h>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace halvex::nmea {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

constexpr std::array<long double, 28> MakePow10() {
  std::array<long double, 28> table{};
  long double v = 1.0L;
  for (auto& entry : table) {
    entry = v;
    v *= 10.0L;
  }
  return table;
}
constexpr auto kPow10 = MakePow10();  // exact up to 10^27

// 10^0 ... 10^38 as the nearest single-precision values.
const std::array<long double, 39> kPow10Float = [] {
  std::array<long double, 39> table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    table[i] = static_cast<float>(std::pow(10.0L, static_cast<long double>(i)));
  }
  return table;
}();

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

// Parses [+-]digits[.[digits]] or [+-].digits, nothing else.
bool ParseDecimal(std::string_view text, long double& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::uint64_t mantissa = 0;
  int digits = 0;  // significant digits collected
  int fractionDigits = 0;
  bool any = false;
  bool exact = true;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.') {
      if (point) {
        return false;
      }
      point = true;
      continue;
    }
    if (!IsDigit(c)) {
      return false;
    }
    any = true;
    if (mantissa == 0 && c == '0') {
      if (point) {
        ++fractionDigits;
      }
      continue;
    }
    if (digits < 19) {
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
      ++digits;
      if (point) {
        ++fractionDigits;
      }
    } else {
      exact = false;
    }
  }
  if (!any) {
    return false;
  }
  if (exact && fractionDigits < static_cast<int>(kPow10.size())) {
    // One correctly rounded division: the value strtold gives.
    value = static_cast<long double>(mantissa) / kPow10[static_cast<std::size_t>(fractionDigits)];
  } else {
    const std::string copy(text);
    value = strtold_l(copy.c_str(), nullptr, CLocale());
  }
  if (negative) {
    value = -value;
  }
  return true;
}

}  // namespace

int GetNMEACheckSum(std::string_view sentence) {
  int sum = 0;
  for (std::size_t i = 1; i < sentence.size() && sentence[i] != '*'; ++i) {
    sum ^= static_cast<unsigned char>(sentence[i]);
  }
  return sum;
}

std::string GetNMEACheckSumStr(std::string_view sentence) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const int sum = GetNMEACheckSum(sentence);
  return {kHex[(sum >> 4) & 0xF], kHex[sum & 0xF]};
}

bool IsCheckSumOk(std::string_view sentence) {
  const std::size_t star = sentence.find('*');
  if (star == std::string_view::npos || star == 0) {
    return false;
  }
  int value = 0;
  for (std::size_t i = star + 1; i < sentence.size(); ++i) {
    const int digit = HexValue(sentence[i]);
    if (digit < 0) {
      return false;
    }
    value = value * 16 + digit;
    if (value > 0xFF) {
      return false;  // more than any checksum can be
    }
  }
  return GetNMEACheckSum(sentence.substr(0, star)) == value;
}

std::string AddCheckSumToNMEA(std::string_view sentence) {
  std::string text(sentence);
  text += '*';
  text += GetNMEACheckSumStr(sentence);
  return text;
}

std::string AddCrLfToNMEA(std::string_view sentence) {
  std::string text(sentence);
  text += "\r\n";
  return text;
}

std::string SafeCopy(std::string_view s, int index, int count, std::string_view fallback) {
  if (index > 0 && count > 0 &&
      static_cast<long long>(s.size()) >= static_cast<long long>(index) + count - 1) {
    return std::string(
        s.substr(static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count)));
  }
  return std::string(fallback);
}

std::string ReplaceDecimalSeparator(std::string_view s) {
  for (const char c : s) {
    if (!IsDigit(c) && c != '+' && c != '-' && c != '.') {
      return "0";
    }
  }
  return s.empty() ? std::string("0") : std::string(s);
}

int CommasCount(std::string_view s) {
  int count = 0;
  for (const char c : s) {
    count += c == ',' ? 1 : 0;
  }
  return count;
}

bool CompareFloats(long double a, long double b) { return a == b; }

long double FloatMod(long double x, long double y) { return x - y * std::floor(x / y); }

std::string MaxLenStr(std::string_view s, int length, char fill) {
  if (length <= 0) {
    return {};
  }
  const auto n = static_cast<std::size_t>(length);
  if (s.size() >= n) {
    return std::string(s.substr(0, n));
  }
  std::string text(n - s.size(), fill);
  text += s;
  return text;
}

bool ReadReal(std::string_view field, long double& value) {
  for (const char c : field) {
    if (!IsDigit(c) && c != '+' && c != '-' && c != '.') {
      value = 0.0L;  // the separator replacement turns the field into "0"
      return true;
    }
  }
  if (field.empty()) {
    value = 0.0L;
    return true;
  }
  return ParseDecimal(field, value);
}

bool ReadInteger(std::string_view field, int& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
    negative = field[i] == '-';
    ++i;
  }
  if (i == field.size()) {
    return false;
  }
  long long result = 0;
  for (; i < field.size(); ++i) {
    if (!IsDigit(field[i])) {
      return false;
    }
    result = result * 10 + (field[i] - '0');
    if (result > 2147483648LL) {
      return false;
    }
  }
  if (negative) {
    result = -result;
  }
  if (result > 2147483647LL) {
    return false;
  }
  value = static_cast<int>(result);
  return true;
}

bool ExtractCoord(std::string_view s, int& degree, int& minute, long double& second) {
  if (s.empty()) {
    return false;
  }
  std::string_view whole = s;
  std::string fraction;
  const std::size_t point = s.find('.');
  if (point != std::string_view::npos && point >= 1) {  // "." at position 2 or later
    fraction =
        SafeCopy(s, static_cast<int>(point) + 2, static_cast<int>(s.size() - point - 1), "0");
    whole = s.substr(0, point);
  }
  long double seconds = 0.0L;
  if (!fraction.empty()) {
    int value = 0;
    if (!ReadInteger(fraction, value)) {
      return false;
    }
    // 64-bit product: eight fraction digits, as RTK receivers write them,
    // overflow 32 bits; the power of ten is the single-precision value.
    const long long product = static_cast<long long>(value) * 60;
    const float power = fraction.size() > 38 ? std::numeric_limits<float>::infinity()
                                             : static_cast<float>(kPow10Float[fraction.size()]);
    seconds = static_cast<long double>(product) / static_cast<long double>(power);
  }
  int d = 0;
  int m = 0;
  if (whole.size() < 3) {
    if (!ReadInteger(whole, m)) {
      return false;
    }
  } else {
    if (!ReadInteger(whole.substr(whole.size() - 2), m) ||
        !ReadInteger(whole.substr(0, whole.size() - 2), d)) {
      return false;
    }
  }
  degree = d;
  minute = m;
  second = seconds;
  return true;
}

bool ExtractUTCTime(std::string_view s, std::uint16_t& hour, std::uint16_t& minute,
                    std::uint16_t& second, std::uint16_t& millisecond) {
  if (s.empty()) {
    return false;
  }
  std::string_view whole = s;
  int ms = 0;
  const std::size_t point = s.find('.');
  if (point != std::string_view::npos) {
    whole = s.substr(0, point);
    // The decimals are a fraction of a second: its first three digits,
    // padded with zeros, are the milliseconds (".5" is 500, ".1234" 123).
    const std::string_view decimals = s.substr(point + 1);
    for (std::size_t i = 0; i < decimals.size(); ++i) {
      if (decimals[i] < '0' || decimals[i] > '9') {
        return false;
      }
      if (i < 3) {
        ms = ms * 10 + (decimals[i] - '0');
      }
    }
    for (std::size_t i = decimals.size(); i < 3; ++i) {
      ms *= 10;
    }
  }
  int h = 0;
  int m = 0;
  int sec = 0;
  const std::size_t n = whole.size();
  if (n == 0) {
    return false;
  }
  if (n >= 5) {
    if (!ReadInteger(whole.substr(n - 2), sec) || !ReadInteger(whole.substr(n - 4, 2), m) ||
        !ReadInteger(whole.substr(0, n - 4), h)) {
      return false;
    }
  } else if (n >= 3) {
    if (!ReadInteger(whole.substr(n - 2), sec) || !ReadInteger(whole.substr(0, n - 2), m)) {
      return false;
    }
  } else if (!ReadInteger(whole, sec)) {
    return false;
  }
  hour = static_cast<std::uint16_t>(h);
  minute = static_cast<std::uint16_t>(m);
  second = static_cast<std::uint16_t>(sec);
  millisecond = static_cast<std::uint16_t>(ms);
  return true;
}

bool ExtractUTCDate(std::string_view s, std::uint16_t& year, std::uint16_t& month,
                    std::uint16_t& day) {
  const std::size_t n = s.size();
  if (n < 5) {
    return false;
  }
  int y = 0;
  int m = 0;
  int d = 0;
  const std::size_t yearDigits = n <= 6 ? 2 : 4;
  std::string yearText(s.substr(n - yearDigits));
  if (yearDigits == 2) {
    yearText.insert(0, "20");
  }
  if (!ReadInteger(yearText, y) || !ReadInteger(s.substr(n - yearDigits - 2, 2), m) ||
      !ReadInteger(s.substr(0, n - yearDigits - 2), d)) {
    return false;
  }
  year = static_cast<std::uint16_t>(y);
  month = static_cast<std::uint16_t>(m);
  day = static_cast<std::uint16_t>(d);
  return true;
}

}  // namespace halvex::nmea
