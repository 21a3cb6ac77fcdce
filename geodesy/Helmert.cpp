// SPDX-License-Identifier: GPL-3.0-or-later
#include "geodesy/Helmert.hpp"

#include <cmath>

#include "geodesy/Angles.hpp"
#include "geodesy/Matrix.hpp"
#include "geodesy/NumberText.hpp"
#include "geodesy/internal/Values.hpp"

namespace halvex::geodesy {
namespace internal {

PreparedHelmert PrepareHelmert(const double params[7]) {
  PreparedHelmert h;
  // Arc-seconds to degrees, then to radians.
  const long double omega = ConvertAngle(params[1] * kInv3600, "R");
  const long double phi = ConvertAngle(params[2] * kInv3600, "R");
  const long double kappa = ConvertAngle(params[3] * kInv3600, "R");
  constexpr long double kPpm = 1e-6;  // the double value, widened
  h.scale = 1.0L + params[0] * kPpm;
  h.t[0] = params[4];
  h.t[1] = params[5];
  h.t[2] = params[6];

  const long double cw = std::cos(omega), sw = std::sin(omega);
  const long double cp = std::cos(phi), sp = std::sin(phi);
  const long double ck = std::cos(kappa), sk = std::sin(kappa);
  h.r[0][0] = cp * ck;
  h.r[0][1] = cw * sk + sw * sp * ck;
  h.r[0][2] = sw * sk - cw * sp * ck;
  h.r[1][0] = -cp * sk;
  h.r[1][1] = cw * ck - sw * sp * sk;
  h.r[1][2] = sw * ck + cw * sp * sk;
  h.r[2][0] = sp;
  h.r[2][1] = -sw * cp;
  h.r[2][2] = cw * cp;

  Matrix m(3, 3);
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t j = 0; j < 3; ++j) {
      m[i][j] = h.scale * h.r[i][j];
    }
  }
  try {
    MatInvert(m, 3);
    for (std::size_t i = 0; i < 3; ++i) {
      for (std::size_t j = 0; j < 3; ++j) {
        h.inverse[i][j] = m[i][j];
      }
    }
    h.invertible = true;
  } catch (const ArithmeticFault&) {
    h.invertible = false;
  }
  return h;
}

Triple HelmertForward(const PreparedHelmert& h, double x, double y, double z) {
  const long double in[3] = {x, y, z};
  long double out[3];
  for (int i = 0; i < 3; ++i) {
    long double sum = 0.0L;
    for (int j = 0; j < 3; ++j) {
      sum += h.r[i][j] * in[j];
    }
    out[i] = sum * h.scale + h.t[i];
  }
  return Triple{out[0], out[1], out[2]};
}

Triple HelmertBackward(const PreparedHelmert& h, double x, double y, double z) {
  const long double d[3] = {x - h.t[0], y - h.t[1], z - h.t[2]};
  long double out[3];
  for (int i = 0; i < 3; ++i) {
    long double sum = 0.0L;
    for (int j = 0; j < 3; ++j) {
      sum += h.inverse[i][j] * d[j];
    }
    out[i] = sum;
  }
  return Triple{out[0], out[1], out[2]};
}

}  // namespace internal

std::string HelmertTransform(std::string_view direction, std::string_view text) {
  double v[10];
  NumberScanner scanner(text);
  if (scanner.ReadDoubles(v, 10) < 10) {
    return "0";
  }
  const internal::PreparedHelmert h = internal::PrepareHelmert(v + 3);
  if (direction == "WGS") {
    return internal::FormatEcef(internal::HelmertForward(h, v[0], v[1], v[2]));
  }
  if (!h.invertible) {
    return "0";
  }
  return internal::FormatEcef(internal::HelmertBackward(h, v[0], v[1], v[2]));
}

}  // namespace halvex::geodesy
