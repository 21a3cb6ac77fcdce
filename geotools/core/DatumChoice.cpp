// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/core/DatumChoice.hpp"

#include <array>
#include <cstdlib>

#include "geodesy/NumberText.hpp"
#include "geotools/core/Conversions.hpp"
#include "geotools/core/FieldText.hpp"

namespace halvex::geotools {

namespace {

long double ReadNumber(std::string_view text) {
  geodesy::NumberScanner scanner(text);
  long double value = 0;
  scanner.ReadExtended(value);
  return value;
}

// "a f": a as typed (trimmed), f = 1 / (1/f) with 15 significant digits.
std::string EllipsoidOf(const DatumDefinition& d) {
  return std::string(Trimmed(d.a)) + " " + geodesy::FormatG15(1.0L / ReadNumber(d.inverseFlattening));
}

std::string NineNumbers(const DatumDefinition& d) {
  std::string out = EllipsoidOf(d);
  for (const std::string* field : {&d.ds, &d.rx, &d.ry, &d.rz, &d.dx, &d.dy, &d.dz}) {
    out += ' ';
    out += Trimmed(*field);
  }
  return out;
}

}  // namespace

std::string ToggledSelector(std::string_view selector, const DatumDefinition& a,
                            const DatumDefinition& b) {
  return selector != a.name ? a.name : b.name;
}

SelectorColour SelectorColourFor(std::string_view selector, const DatumDefinition& a,
                                 const DatumDefinition& b) {
  if (!selector.empty() && selector == a.name) return SelectorColour::kAqua;
  if (!selector.empty() && selector == b.name) return SelectorColour::kLime;
  return SelectorColour::kRed;
}

std::optional<std::string> CheckDatumNumbers(const DatumDefinition& d, std::string_view label) {
  const std::array<std::pair<const std::string*, const char*>, 9> fields = {{
      {&d.a, "semi-major axis"},
      {&d.inverseFlattening, "inverse flattening"},
      {&d.ds, "scale difference"},
      {&d.rx, "rotation about X"},
      {&d.ry, "rotation about Y"},
      {&d.rz, "rotation about Z"},
      {&d.dx, "shift in X"},
      {&d.dy, "shift in Y"},
      {&d.dz, "shift in Z"},
  }};
  for (const auto& [text, what] : fields) {
    if (!IsOneNumber(*text)) {
      return "The " + std::string(what) + " of " + std::string(label) + " (\"" + *text +
             "\") is not a number.";
    }
  }
  if (ReadNumber(d.inverseFlattening) == 0) {
    return "The inverse flattening of " + std::string(label) + " is 0.";
  }
  return std::nullopt;
}

PairTexts PairFromSelectors(std::string_view first, std::string_view second,
                            const DatumDefinition& a, const DatumDefinition& b) {
  PairTexts out;
  if (a.name == b.name) {
    out.problem = std::string(kEqualNamesMessage);
    return out;
  }
  const auto pick = [&](std::string_view selector) -> const DatumDefinition* {
    if (selector.empty()) return nullptr;
    if (selector == a.name) return &a;
    if (selector == b.name) return &b;
    return nullptr;
  };
  const DatumDefinition* one = pick(first);
  const DatumDefinition* two = pick(second);
  if (one == nullptr || two == nullptr) {
    out.problem = std::string(kNoDatumMessage);
    return out;
  }
  for (const DatumDefinition* d : {one, two}) {
    if (auto problem = CheckDatumNumbers(*d, d == &a ? "datum A" : "datum B")) {
      out.problem = std::move(*problem);
      return out;
    }
  }
  out.pair = NineNumbers(*one) + " " + NineNumbers(*two);
  out.ellipsoid = EllipsoidOf(*one) + " " + EllipsoidOf(*two);
  return out;
}

}  // namespace halvex::geotools

namespace halvex::geotools {

namespace {
std::array<std::string*, 10> FileOrder(DatumDefinition& d) {
  return {&d.name, &d.ds, &d.rx, &d.ry, &d.rz, &d.dx, &d.dy, &d.dz, &d.a, &d.inverseFlattening};
}
}  // namespace

std::string DatumFileText(const DatumDefinition& datum) {
  DatumDefinition copy = datum;
  std::string out;
  for (const std::string* field : FileOrder(copy)) {
    out += *field;
    out += "\r\n";
  }
  return out;
}

DatumFileRead ReadDatumFileText(std::string_view text, const DatumDefinition& current) {
  DatumFileRead read{current, 0};
  const auto fields = FileOrder(read.datum);
  std::size_t pos = 0;
  while (pos < text.size() && read.lines < 10) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    *fields[static_cast<std::size_t>(read.lines)] = std::string(line);
    ++read.lines;
    pos = end + 1;
  }
  return read;
}

}  // namespace halvex::geotools
