// SPDX-License-Identifier: GPL-3.0-or-later
//
// The chains run on numbers; the text each step would write and the next
// would read is reproduced with the RoundTrip functions (the same digits and
// the same conversion), and the parameters of a pair, which stay the same
// from point to point, are prepared once per thread and text.

#include "geodesy/DatumTransform.hpp"

#include <type_traits>

#include "geodesy/Geocentric.hpp"
#include "geodesy/NumberText.hpp"
#include "geodesy/internal/Values.hpp"

namespace halvex::geodesy {
namespace internal {
namespace {

// Parameters 3 to 9 of a datum as the Helmert step reads them back.
template <typename T>
bool HelmertParamsOfText(const T* values, double out[7]) {
  for (int i = 0; i < 7; ++i) {
    const auto v = RoundTripG15ToDouble(values[i]);
    if (!v) {
      return false;
    }
    out[i] = *v;
  }
  return true;
}

template <typename T>
PreparedPair Prepare(std::string_view pairText) {
  PreparedPair pair;
  T v[18];
  NumberScanner scanner(pairText);
  int count = 0;
  if constexpr (std::is_same_v<T, double>) {
    count = scanner.ReadDoubles(v, 18);
  } else {
    count = scanner.ReadExtendeds(v, 18);
  }
  if (count < 18) {
    return pair;
  }
  pair.valid = true;
  for (int i = 0; i < 18; ++i) {
    pair.numbers[i] = v[i];
  }
  pair.a1 = v[0];
  pair.f1 = v[1];
  pair.a2 = v[9];
  pair.f2 = v[10];
  double params[7];
  pair.helmert1Valid = HelmertParamsOfText(v + 2, params);
  if (pair.helmert1Valid) {
    pair.helmert1 = PrepareHelmert(params);
  }
  pair.helmert2Valid = HelmertParamsOfText(v + 11, params);
  if (pair.helmert2Valid) {
    pair.helmert2 = PrepareHelmert(params);
  }
  return pair;
}

template <typename T>
const PreparedPair& Cached(std::string_view pairText) {
  thread_local std::string key;
  thread_local PreparedPair prepared;
  thread_local bool filled = false;
  if (!filled || key != pairText) {
    prepared = Prepare<T>(pairText);
    key.assign(pairText);
    filled = true;
  }
  return prepared;
}

// The ECEF text of one step as the next step reads it (double conversions).
bool ReadBack(const Triple& t, double out[3]) {
  const auto x = RoundTripG15ToDouble(t.x);
  const auto y = RoundTripG15ToDouble(t.y);
  const auto z = RoundTripG15ToDouble(t.z);
  if (!x || !y || !z) {
    return false;
  }
  out[0] = *x;
  out[1] = *y;
  out[2] = *z;
  return true;
}

// Forward with `first`, then backward with `second`, each reading its input
// text back. Empty where a step gives "0".
std::optional<Triple> ThroughWgs(const double xyz[3], bool firstValid, const PreparedHelmert& first,
                                 bool secondValid, const PreparedHelmert& second) {
  if (!firstValid) {
    return std::nullopt;
  }
  double wgs[3];
  if (!ReadBack(HelmertForward(first, xyz[0], xyz[1], xyz[2]), wgs)) {
    return std::nullopt;
  }
  if (!secondValid || !second.invertible) {
    return std::nullopt;
  }
  return HelmertBackward(second, wgs[0], wgs[1], wgs[2]);
}

std::string Finish(std::string_view mode, const std::optional<Triple>& ecef, long double a,
                   long double f, const OutputPrecision& precision) {
  if (!ecef) {
    return "0";
  }
  if (mode == "XYZ") {
    return FormatEcef(*ecef);
  }
  const auto read = ReadBackExtended(*ecef);
  if (!read) {
    return "0";
  }
  return EcefToGeodetic(read->x, read->y, read->z, a, f, precision);
}

}  // namespace

const PreparedPair& PairForGeodetic(std::string_view pairText) { return Cached<double>(pairText); }

const PreparedPair& PairForEcef(std::string_view pairText) { return Cached<long double>(pairText); }

std::optional<Triple> ReadBackExtended(const Triple& t) {
  const auto x = RoundTripG15ToExtended(t.x);
  const auto y = RoundTripG15ToExtended(t.y);
  const auto z = RoundTripG15ToExtended(t.z);
  if (!x || !y || !z) {
    return std::nullopt;
  }
  return Triple{*x, *y, *z};
}

std::optional<Triple> DatumChainEcef(double latitudeDeg, double longitudeDeg, double heightM,
                                     const PreparedPair& pair) {
  if (!pair.valid) {
    return std::nullopt;
  }
  double xyz[3];
  if (!ReadBack(GeodeticToEcefValues(latitudeDeg, longitudeDeg, heightM, pair.a1, pair.f1), xyz)) {
    return std::nullopt;
  }
  return ThroughWgs(xyz, pair.helmert1Valid, pair.helmert1, pair.helmert2Valid, pair.helmert2);
}

}  // namespace internal

std::string DatumTransformGeodetic(std::string_view mode, std::string_view geodeticText,
                                   std::string_view pairText, const OutputPrecision& precision) {
  double v[3];
  NumberScanner scanner(geodeticText);
  if (scanner.ReadDoubles(v, 3) < 3) {
    return "0";
  }
  const internal::PreparedPair& pair = internal::PairForGeodetic(pairText);
  if (!pair.valid) {
    return "0";
  }
  return internal::Finish(mode, internal::DatumChainEcef(v[0], v[1], v[2], pair), pair.a2, pair.f2,
                          precision);
}

std::string DatumTransformEcef(std::string_view mode, std::string_view ecefText,
                               std::string_view pairText, const OutputPrecision& precision) {
  const internal::PreparedPair& pair = internal::PairForEcef(pairText);
  if (!pair.valid) {
    return "0";
  }
  // Only the three coordinates enter the chain: a point number or a code
  // after them (common in point files) is not read as a Helmert parameter.
  // The coordinates are read as the first Helmert step would read them.
  double xyz[3];
  NumberScanner scanner(ecefText);
  if (scanner.ReadDoubles(xyz, 3) < 3) {
    return "0";
  }
  const std::optional<internal::Triple> result = internal::ThroughWgs(
      xyz, pair.helmert2Valid, pair.helmert2, pair.helmert1Valid, pair.helmert1);
  return internal::Finish(mode, result, pair.a1, pair.f1, precision);
}

}  // namespace halvex::geodesy
