// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/lsq/SecondLengths.hpp"

#include <cmath>

#include "geodesy/Angles.hpp"
#include "geodesy/Geodesic.hpp"
#include "geotools/lsq/CertainText.hpp"

namespace halvex::geotools {

std::optional<SecondLengths> VincentySecondLengths(long double a, long double f,
                                                   long double latitudeDeg,
                                                   long double longitudeDeg) {
  // Both lines start at the position, so its reduced latitude is computed
  // once.
  const geodesy::ReducedLatitude here = geodesy::ReduceLatitude(f, latitudeDeg);
  const geodesy::ReducedLatitude north =
      geodesy::ReduceLatitude(f, latitudeDeg + geodesy::kInv3600);
  const auto mN = geodesy::GeodesicDistance(a, f, here, longitudeDeg, north, longitudeDeg);
  const auto mE =
      geodesy::GeodesicDistance(a, f, here, longitudeDeg, here, longitudeDeg + geodesy::kInv3600);
  if (!mN || !mE) {
    return std::nullopt;
  }
  return SecondLengths{*mN, *mE};
}

std::optional<SecondLengths> QuickSecondLengths(long double a, long double f,
                                                long double latitudeDeg, long double longitudeDeg) {
  if (!(a >= 6.3e6L && a <= 6.4e6L && f >= 1.0L / 350 && f <= 1.0L / 250 &&
        std::fabs(latitudeDeg) <= 89.5L && std::isfinite(longitudeDeg))) {
    return std::nullopt;
  }
  const long double e2 = f * (2.0L - f);
  // The same steps in radians as Vincenty's lines take: the degrees are
  // added first, so the step carries the rounding of the sum.
  const long double phi = geodesy::DegToRad(latitudeDeg);
  const long double dPhi = geodesy::DegToRad(latitudeDeg + geodesy::kInv3600) - phi;
  const long double dLambda =
      geodesy::DegToRad(longitudeDeg + geodesy::kInv3600) - geodesy::DegToRad(longitudeDeg);

  // One sine and cosine: the half steps are under 3e-6 rad, where
  // sin t = t − t³/6 and cos t = 1 − t²/2 are exact to far below the bound.
  const long double sinPhi = std::sin(phi);
  const long double cosPhi = std::cos(phi);
  const auto smallSin = [](long double t) { return t - t * t * t / 6.0L; };
  const long double halfPhi = dPhi / 2;
  const long double sinMid =
      sinPhi * (1.0L - halfPhi * halfPhi / 2.0L) + cosPhi * smallSin(halfPhi);
  const long double wMid = 1.0L - e2 * (sinMid * sinMid);
  const long double meridianRadius = a * (1.0L - e2) / (wMid * std::sqrt(wMid));

  const long double primeRadius = a / std::sqrt(1.0L - e2 * (sinPhi * sinPhi));
  const long double chord = 2.0L * primeRadius * cosPhi * smallSin(dLambda / 2);
  const long double east = chord * (1.0L + chord * chord / (24.0L * primeRadius * primeRadius));
  return SecondLengths{meridianRadius * dPhi, east};
}

bool AppendCertainProduct(std::string& out, long double d, long double quick, int decimals) {
  const long double v = d * quick;
  // The exact product lies within kQuickTolerance of v before its own
  // rounding; twice the bound covers that rounding too.
  const long double low = v * (1.0L - 2.0L * kQuickTolerance);
  const long double high = v * (1.0L + 2.0L * kQuickTolerance);
  return AppendCertainFixed(out, std::fmin(low, high), std::fmax(low, high), decimals).has_value();
}

}  // namespace halvex::geotools
