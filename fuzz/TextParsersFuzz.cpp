// SPDX-License-Identifier: GPL-3.0-or-later
//
// Fuzz entry point over the text parsers of the geodesy core.
//
// An input is up to six texts separated by '|':
//   coordinate | datum pair | projection | ellipsoid | angle | control
// A text that is missing (fewer separators) takes a valid default, so short
// inputs still reach the computations behind the parsers; an empty text
// stays empty. The control text picks the output decimals.
//
// Besides running every text operation, the entry point checks what the
// number texts promise and aborts when a promise is broken:
//   - a number read is finite, and it is what strtod/strtold make of the
//     text the read consumed;
//   - FormatG15 and FormatFixed write what printf writes;
//   - the RoundTrip functions give what parsing the formatted text gives.

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "geodesy/Angles.hpp"
#include "geodesy/DatumTransform.hpp"
#include "geodesy/Geocentric.hpp"
#include "geodesy/Geodesic.hpp"
#include "geodesy/Helmert.hpp"
#include "geodesy/NumberText.hpp"
#include "geodesy/OutputPrecision.hpp"
#include "geodesy/TransverseMercator.hpp"

namespace {

namespace g = halvex::geodesy;

constexpr std::string_view kDefaultPair =
    "6378137 0.00335281066474748 0 0 0 0 0 0 0 "
    "6378388 0.00336700336700337 -1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7";
constexpr std::string_view kDefaultTm = "30 0 0.9996 500000 0";
constexpr std::string_view kDefaultEllipsoid = "6378388 0.00336700336700337";

struct Texts {
  std::string coordinate;
  std::string pair{kDefaultPair};
  std::string tm{kDefaultTm};
  std::string ellipsoid{kDefaultEllipsoid};
  std::string angle;
  std::string control;
};

Texts Split(std::string_view input) {
  Texts texts;
  std::array<std::string*, 6> fields = {&texts.coordinate, &texts.pair,  &texts.tm,
                                        &texts.ellipsoid,  &texts.angle, &texts.control};
  std::size_t index = 0;
  while (index < fields.size()) {
    const std::size_t bar = input.find('|');
    fields[index]->assign(input.substr(0, bar));
    ++index;
    if (bar == std::string_view::npos) {
      break;
    }
    input.remove_prefix(bar + 1);
  }
  if (index < 5) {
    texts.angle = texts.coordinate;
  }
  return texts;
}

// Decimals from one control byte: '0' to '9' stand for themselves, other
// bytes are taken modulo `limit + 1`.
int Decimals(const std::string& control, std::size_t index, int fallback, int limit) {
  if (index >= control.size()) {
    return fallback;
  }
  const auto c = static_cast<unsigned char>(control[index]);
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  return static_cast<int>(c % static_cast<unsigned>(limit + 1));
}

[[noreturn]] void Broken(const char* what, const std::string& detail) {
  std::fprintf(stderr, "broken promise: %s: %s\n", what, detail.c_str());
  std::abort();
}

bool Same(long double a, long double b) { return a == b && std::signbit(a) == std::signbit(b); }

std::string Printf(const char* format, int precision, long double value) {
  char small[128];
  const int n = std::snprintf(small, sizeof small, format, precision, value);
  if (n < 0) {
    return {};
  }
  if (static_cast<std::size_t>(n) < sizeof small) {
    return std::string(small, static_cast<std::size_t>(n));
  }
  std::string big(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), format, precision, value);
  big.resize(static_cast<std::size_t>(n));
  return big;
}

std::optional<long double> ReadBackExtended(const std::string& text) {
  long double value = 0.0L;
  g::NumberScanner scanner(text);
  return scanner.ReadExtended(value) ? std::optional<long double>(value) : std::nullopt;
}

std::optional<double> ReadBackDouble(const std::string& text) {
  double value = 0.0;
  g::NumberScanner scanner(text);
  return scanner.ReadDouble(value) ? std::optional<double>(value) : std::nullopt;
}

// The writing side of a value that was read: printf and the round trips.
void CheckFormatting(long double value, int decimals) {
  const std::string g15 = g::FormatG15(value);
  if (g15 != Printf("%.*Lg", 15, value)) {
    Broken("FormatG15 differs from %.15Lg", g15);
  }
  const std::string fixed = g::FormatFixed(value, decimals);
  if (fixed != Printf("%.*Lf", decimals, value)) {
    Broken("FormatFixed differs from %.*Lf", fixed);
  }
  const auto g15Extended = g::RoundTripG15ToExtended(value);
  const auto g15Expected = ReadBackExtended(g15);
  if (g15Extended.has_value() != g15Expected.has_value() ||
      (g15Extended && !Same(*g15Extended, *g15Expected))) {
    Broken("RoundTripG15ToExtended", g15);
  }
  const auto g15Double = g::RoundTripG15ToDouble(value);
  const auto g15DoubleExpected = ReadBackDouble(g15);
  if (g15Double.has_value() != g15DoubleExpected.has_value() ||
      (g15Double && !Same(*g15Double, *g15DoubleExpected))) {
    Broken("RoundTripG15ToDouble", g15);
  }
  const auto fixedExtended = g::RoundTripFixedToExtended(value, decimals);
  const auto fixedExpected = ReadBackExtended(fixed);
  if (fixedExtended.has_value() != fixedExpected.has_value() ||
      (fixedExtended && !Same(*fixedExtended, *fixedExpected))) {
    Broken("RoundTripFixedToExtended", fixed.substr(0, 80));
  }
}

// Reads a text number by number, skipping a token wherever no number
// starts, and checks each number against the C library. Returns the numbers
// read (at most `keep`).
template <typename T>
std::vector<long double> ScanText(std::string_view text, std::size_t keep, int decimals) {
  std::vector<long double> numbers;
  g::NumberScanner scanner(text);
  for (;;) {
    const std::string_view before = scanner.Rest();
    T value{};
    bool read = false;
    if constexpr (std::is_same_v<T, double>) {
      read = scanner.ReadDouble(value);
    } else {
      read = scanner.ReadExtended(value);
    }
    const std::string_view after = scanner.Rest();
    if (!read) {
      if (after.size() != before.size()) {
        Broken("a failed read moved", std::string(before.substr(0, 80)));
      }
      if (!scanner.SkipToken()) {
        break;
      }
      if (scanner.Rest().size() >= before.size()) {
        Broken("SkipToken did not move", std::string(before.substr(0, 80)));
      }
      continue;
    }
    if (!std::isfinite(value)) {
      Broken("a number read is not finite", std::string(before.substr(0, 80)));
    }
    if (after.size() >= before.size()) {
      Broken("a read consumed nothing", std::string(before.substr(0, 80)));
    }
    // The C library on exactly the consumed text must agree and use all of it.
    const std::string consumed(before.substr(0, before.size() - after.size()));
    if (consumed.find('\0') == std::string::npos) {
      char* end = nullptr;
      T expected{};
      if constexpr (std::is_same_v<T, double>) {
        expected = std::strtod(consumed.c_str(), &end);
      } else {
        expected = std::strtold(consumed.c_str(), &end);
      }
      if (end != consumed.c_str() + consumed.size() || !Same(expected, value)) {
        Broken("a read differs from the C library", consumed.substr(0, 80));
      }
    }
    if (numbers.size() < keep) {
      numbers.push_back(value);
      CheckFormatting(value, decimals);
    }
  }
  return numbers;
}

long double At(const std::vector<long double>& v, std::size_t i) {
  return i < v.size() ? v[i] : 0.0L;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Texts t = Split(std::string_view(reinterpret_cast<const char*>(data), size));
  g::OutputPrecision precision;
  precision.degrees = Decimals(t.control, 0, precision.degrees, g::OutputPrecision::kMaxDecimals);
  precision.distance = Decimals(t.control, 1, precision.distance, g::OutputPrecision::kMaxDecimals);
  precision.minutes = Decimals(t.control, 2, precision.minutes, g::OutputPrecision::kMaxDecimals);
  precision.seconds = Decimals(t.control, 3, precision.seconds, g::OutputPrecision::kMaxDecimals);
  const int fixedDecimals = Decimals(t.control, 4, 3, 30);

  // Number scanning of every text, with both conversions.
  const auto coordinate = ScanText<long double>(t.coordinate, 4, fixedDecimals);
  ScanText<double>(t.coordinate, 2, fixedDecimals);
  const auto ellipsoid = ScanText<long double>(t.ellipsoid, 2, fixedDecimals);
  const auto tm = ScanText<long double>(t.tm, 5, fixedDecimals);
  ScanText<double>(t.pair, 1, fixedDecimals);
  ScanText<long double>(t.angle, 1, fixedDecimals);
  for (const std::string* text : {&t.coordinate, &t.pair, &t.tm, &t.ellipsoid, &t.angle}) {
    const int count = g::CountLeadingNumbers(*text, 18);
    if (count < 0 || count > 18) {
      Broken("CountLeadingNumbers out of range", *text);
    }
  }

  // Helmert, both directions: the coordinate text alone, and followed by the
  // pair's numbers.
  const std::string helmertText = t.coordinate + " " + t.pair;
  for (const char* direction : {"WGS", "Local"}) {
    g::HelmertTransform(direction, t.coordinate);
    g::HelmertTransform(direction, helmertText);
  }

  // Datum chains, both modes.
  for (const char* mode : {"BLH", "XYZ"}) {
    g::DatumTransformGeodetic(mode, t.coordinate, t.pair, precision);
    g::DatumTransformEcef(mode, t.coordinate, t.pair, precision);
  }

  // Projections and their chains, both ellipsoid forms.
  for (const auto form : {g::EllipsoidForm::kLeading, g::EllipsoidForm::kTarget}) {
    g::TmForward(t.coordinate, t.tm, t.ellipsoid, form);
    g::TmInverse(t.coordinate, t.tm, t.ellipsoid, form);
    g::GeodeticToGrid(t.coordinate, t.pair, t.tm, t.ellipsoid, precision, form);
    g::GridToGeodetic(t.coordinate, t.pair, t.tm, t.ellipsoid, precision, form);
  }

  // The number operations on the numbers read.
  const long double a = At(ellipsoid, 0);
  const long double f = At(ellipsoid, 1);
  g::GeodeticToEcef(At(coordinate, 0), At(coordinate, 1), At(coordinate, 2), a, f);
  g::EcefToGeodetic(At(coordinate, 0), At(coordinate, 1), At(coordinate, 2), a, f, precision);
  g::GeodesicDistance(a, f, At(coordinate, 0), At(coordinate, 1), At(coordinate, 2),
                      At(coordinate, 3));
  for (const char* what : {"PtScFac", "GrdConv"}) {
    g::ScaleAndConvergence(what, static_cast<double>(a), static_cast<double>(f),
                           static_cast<double>(At(coordinate, 0)),
                           static_cast<double>(At(coordinate, 1)), static_cast<double>(At(tm, 0)),
                           static_cast<double>(At(tm, 1)), static_cast<double>(At(tm, 2)),
                           static_cast<double>(At(tm, 3)), static_cast<double>(At(tm, 4)));
  }

  // Angle texts.
  const long double degrees = g::DmsToDegrees(t.angle);
  g::DegreesToDms(degrees, "DM", precision);
  g::DegreesToDms(degrees, "DMS", precision);
  g::FormatFixed(degrees, precision.degrees);
  std::string latitude = t.angle;
  std::string longitude = t.coordinate;
  for (int round = 0; round < 3; ++round) {
    g::CycleAngleFormat(latitude, longitude, precision);
  }
  return 0;
}
