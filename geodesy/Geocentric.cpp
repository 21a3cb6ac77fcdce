// SPDX-License-Identifier: GPL-3.0-or-later
//
// Geodetic <-> ECEF. The formulas are the textbook ones (Heiskanen and
// Moritz 1967, eqs. 5-3 and 5-27); the evaluation order of every product is
// kept as written so that results are reproducible to the last bit.

#include "geodesy/Geocentric.hpp"

#include <cmath>

#include "geodesy/Angles.hpp"
#include "geodesy/NumberText.hpp"
#include "geodesy/internal/Values.hpp"

namespace halvex::geodesy {
namespace internal {

Triple GeodeticToEcefValues(long double latitudeDeg, long double longitudeDeg, long double heightM,
                            long double a, long double f) {
  const long double phi = ConvertAngle(latitudeDeg, "R");
  const long double lambda = ConvertAngle(longitudeDeg, "R");
  const long double e2 = f * (2.0L - f);
  const long double sinPhi = std::sin(phi);
  const long double cosPhi = std::cos(phi);
  const long double n = a / std::sqrt(1.0L - e2 * (sinPhi * sinPhi));
  return Triple{(n + heightM) * cosPhi * std::cos(lambda),
                (n + heightM) * cosPhi * std::sin(lambda), (heightM + (1.0L - e2) * n) * sinPhi};
}

std::optional<Triple> EcefToGeodeticValues(long double xM, long double yM, long double zM,
                                           long double a, long double f) {
  if (!std::isfinite(xM) || !std::isfinite(yM) || !std::isfinite(zM) || !std::isfinite(a) ||
      !std::isfinite(f)) {
    return std::nullopt;
  }
  const long double e2 = f * (2.0L - f);
  const long double p = std::sqrt(xM * xM + yM * yM);
  if (p == 0.0L) {
    return std::nullopt;  // on the polar axis the latitude is exactly ±90°
  }
  // The double values of 1e-9 and 1e-12, widened. A latitude that comes
  // out as exactly the widened double π/2 is not taken for a point on the
  // axis: that is where the pole itself lands, since cos of the double π/2
  // leaves X = 3.9e-10 m at the North Pole, and the height formula below
  // holds there (only p = 0 has no longitude).
  constexpr long double kStart = 1e-9;
  constexpr long double kTolerance = 1e-12;
  constexpr int kMaxRounds = 1000;
  // Within 0.01° of the polar axis (tan 0.01° = 1.7453e-4, about 1.1 km)
  // the height p/cos φ − N is the difference of two huge numbers and takes
  // the latitude's last error times (N+h)·tan φ: millimetres 100 m from the
  // axis, decimetres 10 cm from it, kilometres 1e-9 m from it. There the
  // height is computed as p·cos φ + z·sin φ − a²/N, which the latitude's
  // error does not reach.
  const bool nearAxis = p < std::fabs(zM) * kNearAxisTangent;

  long double phi = 0.0L;
  long double previous = kStart;
  long double h = 0.0L;
  const long double lambda = std::atan2(yM, xM);
  // N at the latitude of the previous round: the first round starts at 0°.
  const long double sinStart = std::sin(phi);
  long double n = a / std::sqrt(1.0L - e2 * (sinStart * sinStart));
  int rounds = 0;
  while (std::fabs(phi - previous) > kTolerance) {
    if (++rounds > kMaxRounds) {
      return std::nullopt;
    }
    previous = phi;
    phi = std::atan((zM / p) / (1.0L - e2 * n / (n + h)));
    const long double sinPhi = std::sin(phi);
    n = a / std::sqrt(1.0L - e2 * (sinPhi * sinPhi));
    h = nearAxis ? p * std::cos(phi) + zM * sinPhi - a * a / n : p / std::cos(phi) - n;
  }
  if (!std::isfinite(phi) || !std::isfinite(h)) {
    return std::nullopt;
  }
  return Triple{ConvertAngle(phi, "D"), ConvertAngle(lambda, "D"), h};
}

std::string FormatGeodetic(const Triple& geodetic, const OutputPrecision& precision) {
  std::string text;
  text.reserve(48);
  AppendFixed(text, geodetic.x, precision.degrees);
  text.push_back('\t');
  AppendFixed(text, geodetic.y, precision.degrees);
  text.push_back('\t');
  AppendFixed(text, geodetic.z, precision.distance);
  return text;
}

std::string FormatEcef(const Triple& ecef) {
  std::string text;
  text.reserve(64);
  AppendG15(text, ecef.x);
  text.push_back('\t');
  AppendG15(text, ecef.y);
  text.push_back('\t');
  AppendG15(text, ecef.z);
  return text;
}

}  // namespace internal

std::string GeodeticToEcef(long double latitudeDeg, long double longitudeDeg, long double heightM,
                           long double a, long double f) {
  return internal::FormatEcef(
      internal::GeodeticToEcefValues(latitudeDeg, longitudeDeg, heightM, a, f));
}

std::string EcefToGeodetic(long double xM, long double yM, long double zM, long double a,
                           long double f, const OutputPrecision& precision) {
  const auto geodetic = internal::EcefToGeodeticValues(xM, yM, zM, a, f);
  return geodetic ? internal::FormatGeodetic(*geodetic, precision) : std::string();
}

}  // namespace halvex::geodesy
