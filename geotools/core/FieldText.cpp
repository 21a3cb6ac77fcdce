// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/core/FieldText.hpp"

#include <algorithm>

#include "geodesy/Angles.hpp"
#include "geodesy/NumberText.hpp"

namespace halvex::geotools {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// How many numbers the text holds when it holds nothing else, or -1.
int CountExactNumbers(std::string_view text, int limit) {
  geodesy::NumberScanner scanner(text);
  int count = 0;
  double value = 0;
  while (count < limit && scanner.ReadDouble(value)) {
    ++count;
  }
  return Trimmed(scanner.Rest()).empty() ? count : -1;
}

}  // namespace

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

bool IsOneNumber(std::string_view text) { return geodesy::IsExactlyOneNumber(text); }

std::optional<std::string> AngleForCore(std::string_view text) {
  const int count = CountExactNumbers(text, 3);
  if (count < 1) {
    return std::nullopt;
  }
  if (count == 1) {
    return std::string(Trimmed(text));
  }
  return geodesy::FormatG15(geodesy::DmsToDegrees(text));
}

geodesy::OutputPrecision ChainPrecision(const geodesy::OutputPrecision& display) {
  geodesy::OutputPrecision chain = display;
  chain.degrees = std::max(display.degrees, 8);
  chain.distance = std::max(display.distance, 3);
  return chain;
}

}  // namespace halvex::geotools
