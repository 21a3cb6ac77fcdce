// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/lsq/GeodeticText.hpp"

#include <cmath>

#include "geodesy/Angles.hpp"
#include "geodesy/Matrix.hpp"
#include "geodesy/NumberText.hpp"
#include "geodesy/internal/Values.hpp"
#include "geotools/lsq/CertainText.hpp"

namespace halvex::geotools {

using geodesy::ArithmeticFault;

std::optional<QuickGeodetic> QuickEcefToGeodetic(long double x, long double y, long double z,
                                                 long double a, long double f) {
  if (!(a >= 6.3e6L && a <= 6.4e6L && f >= 1.0L / 350 && f <= 1.0L / 250 && std::isfinite(x) &&
        std::isfinite(y) && std::isfinite(z))) {
    return std::nullopt;
  }
  const long double e2 = f * (2.0L - f);
  const long double p = std::sqrt(x * x + y * y);
  // Near the polar axis the iteration takes its height by another formula.
  if (!(p > 0.0L) || p < std::fabs(z) * geodesy::internal::kNearAxisTangent) {
    return std::nullopt;
  }
  // Bowring: from the tangent of the parametric latitude u to that of the
  // geodetic latitude, tan φ = (z + e'²·b·sin³u) / (p − e²·a·cos³u), and
  // tan u = (1 − f)·tan φ for the next step.
  const long double b = a * (1.0L - f);
  const long double ep2 = e2 / (1.0L - e2);
  long double tanU = (z * a) / (p * b);
  long double tanPhi = 0.0L;
  for (int step = 0; step < 2; ++step) {
    const long double cosU = 1.0L / std::sqrt(1.0L + tanU * tanU);
    const long double sinU = tanU * cosU;
    tanPhi = (z + ep2 * b * (sinU * sinU * sinU)) / (p - e2 * a * (cosU * cosU * cosU));
    tanU = (1.0L - f) * tanPhi;
  }
  const long double cosPhi = 1.0L / std::sqrt(1.0L + tanPhi * tanPhi);
  const long double sinPhi = tanPhi * cosPhi;
  // h = p·cos φ + z·sin φ − a²/N, which a latitude error barely reaches.
  const long double h = p * cosPhi + z * sinPhi - a * std::sqrt(1.0L - e2 * (sinPhi * sinPhi));
  QuickGeodetic out;
  out.latitudeDeg = geodesy::RadToDeg(std::atan(tanPhi));
  out.heightM = h;
  if (!(std::fabs(out.latitudeDeg) <= 89.5L && h >= -1e4L && h <= 1e5L)) {
    return std::nullopt;
  }
  out.latitudeTolerance = kQuickLatitudeTolerance;
  // The iteration's height p/cos φ − N moves by about (N + h)·tan φ per
  // radian of its latitude's error; N + h < 2a here.
  out.heightTolerance = 1e-12L * 2.0L * a * (1.0L + std::fabs(tanPhi)) + 1e-9L;
  return out;
}

PrintedGeodetic AppendGeodeticText(std::string& out, long double x, long double y, long double z,
                                   long double a, long double f,
                                   const geodesy::OutputPrecision& precision) {
  const std::size_t start = out.size();
  PrintedGeodetic printed;
  if (const auto quick = QuickEcefToGeodetic(x, y, z, a, f)) {
    const auto lat =
        AppendCertainFixed(out, quick->latitudeDeg - quick->latitudeTolerance,
                           quick->latitudeDeg + quick->latitudeTolerance, precision.degrees);
    if (lat) {
      out += '\t';
      // The longitude is the iteration's own: atan2(y, x) in degrees.
      const auto lon =
          geodesy::AppendFixedAndRead(out, geodesy::RadToDeg(std::atan2(y, x)), precision.degrees);
      out += '\t';
      const auto h =
          AppendCertainFixed(out, quick->heightM - quick->heightTolerance,
                             quick->heightM + quick->heightTolerance, precision.distance);
      if (lon && h) {
        printed.lat = *lat;
        printed.lon = *lon;
        printed.h = *h;
        return printed;
      }
    }
    out.resize(start);
  }
  const auto values = geodesy::internal::EcefToGeodeticValues(x, y, z, a, f);
  if (!values) {
    throw ArithmeticFault("arithmetic fault: no geodetic coordinates for a point");
  }
  const auto lat = geodesy::AppendFixedAndRead(out, values->x, precision.degrees);
  out += '\t';
  const auto lon = geodesy::AppendFixedAndRead(out, values->y, precision.degrees);
  out += '\t';
  const auto h = geodesy::AppendFixedAndRead(out, values->z, precision.distance);
  if (!lat || !lon || !h) {
    throw ArithmeticFault("arithmetic fault: no geodetic coordinates for a point");
  }
  printed.lat = *lat;
  printed.lon = *lon;
  printed.h = *h;
  return printed;
}

}  // namespace halvex::geotools
