// SPDX-License-Identifier: GPL-3.0-or-later
//
// Vincenty's inverse formula (Survey Review 23 (176), 1975, eqs. 13-18 and
// 3-6), transcribed as printed. Departures: the loop runs until λ repeats
// exactly rather than to a tolerance; cos²α is taken as cos(asin(sin α))²;
// the loop also ends when λ flips between two values less than 1e-15 rad
// apart (it settles in such a flip on about one line in a thousand, in the
// last bits, and would never repeat exactly); and it is capped at 200
// rounds, which only nearly antipodal points reach, where there is no
// answer.

#include "geodesy/Geodesic.hpp"

#include <cmath>

#include "geodesy/Angles.hpp"

namespace halvex::geodesy {

ReducedLatitude ReduceLatitude(long double f, long double latitudeDeg) {
  const long double u = std::atan((1.0L - f) * std::tan(ConvertAngle(latitudeDeg, "R")));
  return {std::sin(u), std::cos(u)};
}

std::optional<long double> GeodesicDistance(long double a, long double f, long double latitude1Deg,
                                            long double longitude1Deg, long double latitude2Deg,
                                            long double longitude2Deg) {
  return GeodesicDistance(a, f, ReduceLatitude(f, latitude1Deg), longitude1Deg,
                          ReduceLatitude(f, latitude2Deg), longitude2Deg);
}

std::optional<long double> GeodesicDistance(long double a, long double f,
                                            const ReducedLatitude& point1,
                                            long double longitude1Deg,
                                            const ReducedLatitude& point2,
                                            long double longitude2Deg) {
  constexpr int kMaxRounds = 200;
  const long double lambda1 = ConvertAngle(longitude1Deg, "R");
  const long double lambda2 = ConvertAngle(longitude2Deg, "R");
  const long double l = lambda2 - lambda1;
  const long double b = (1.0L - f) * a;
  const long double sinU1 = point1.sinU, cosU1 = point1.cosU;
  const long double sinU2 = point2.sinU, cosU2 = point2.cosU;

  long double lambda = l;
  long double previous = l + 0.00001L;
  long double beforePrevious = previous;
  // λ that flips between two neighbours has converged; nearly antipodal
  // points flip between values far apart and have not.
  constexpr long double kFlipTolerance = 1e-15L;
  long double sinSigma = 0.0L, cosSigma = 0.0L, sigma = 0.0L;
  long double cos2Alpha = 0.0L, cos2SigmaM = 0.0L;
  // sin α settles rounds before λ does (on short lines it hardly depends on
  // λ); cos(asin(sin α)) is then the value of the round before.
  long double lastSinAlpha = 0.0L, lastCosAlpha = 1.0L;
  bool haveLast = false;
  int rounds = 0;
  while (lambda != previous &&
         !(lambda == beforePrevious && std::fabs(lambda - previous) < kFlipTolerance)) {
    if (++rounds > kMaxRounds || !std::isfinite(lambda)) {
      return std::nullopt;
    }
    beforePrevious = previous;
    previous = lambda;
    const long double sinLambda = std::sin(lambda);
    const long double cosLambda = std::cos(lambda);
    const long double p = cosU2 * sinLambda;
    const long double q = cosU1 * sinU2 - sinU1 * cosU2 * cosLambda;
    sinSigma = std::sqrt(p * p + q * q);
    cosSigma = sinU1 * sinU2 + cosU1 * cosU2 * cosLambda;
    sigma = std::atan2(sinSigma, cosSigma);
    const long double sinAlpha = sigma == 0.0L ? 0.0L : cosU1 * cosU2 * sinLambda / sinSigma;
    if (!haveLast || sinAlpha != lastSinAlpha) {
      lastCosAlpha = std::cos(std::asin(sinAlpha));
      lastSinAlpha = sinAlpha;
      haveLast = true;
    }
    const long double cosAlpha = lastCosAlpha;
    cos2Alpha = cosAlpha * cosAlpha;
    cos2SigmaM = cos2Alpha == 0.0L ? 0.0L : cosSigma - 2.0L * sinU1 * sinU2 / cos2Alpha;
    const long double c = f / 16.0L * cos2Alpha * (4.0L + f * (4.0L - 3.0L * cos2Alpha));
    lambda = l + (1.0L - c) * f * sinAlpha *
                     (sigma +
                      c * sinSigma *
                          (cos2SigmaM + c * cosSigma * (2.0L * (cos2SigmaM * cos2SigmaM) - 1.0L)));
  }
  const long double u2sq = cos2Alpha * (a * a - b * b) / (b * b);
  const long double bigA =
      1.0L + u2sq / 16384.0L * (4096.0L + u2sq * (-768.0L + u2sq * (320.0L - 175.0L * u2sq)));
  const long double bigB =
      u2sq / 1024.0L * (256.0L + u2sq * (-128.0L + u2sq * (74.0L - 47.0L * u2sq)));
  const long double cosSigmaNow = std::cos(sigma);
  const long double sinSigmaNow = std::sin(sigma);
  const long double sin2Sigma = sinSigmaNow * sinSigmaNow;
  const long double deltaSigma =
      bigB * sinSigma *
      (cos2SigmaM + bigB / 4.0L *
                        (cosSigmaNow * (2.0L * (cos2SigmaM * cos2SigmaM) - 1.0L) -
                         bigB / 6.0L * cos2SigmaM * (4.0L * sin2Sigma - 3.0L) *
                             (4.0L * (cos2SigmaM * cos2SigmaM) - 3.0L)));
  const long double distance = b * bigA * (sigma - deltaSigma);
  if (!std::isfinite(distance)) {
    return std::nullopt;
  }
  return distance;
}

}  // namespace halvex::geodesy
