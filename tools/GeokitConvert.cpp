// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/GeokitConvert.hpp"

#include <cmath>

#include "geodesy/Angles.hpp"
#include "geodesy/DatumTransform.hpp"
#include "geodesy/Geocentric.hpp"
#include "geodesy/Geodesic.hpp"
#include "geodesy/Helmert.hpp"
#include "geodesy/NumberText.hpp"
#include "geodesy/TransverseMercator.hpp"

namespace halvex::tools::geokit {
namespace {

using geodesy::NumberScanner;

// The result of a core operation whose failure texts are "0" and "".
LineResult FromCore(std::string text) {
  const bool ok = !text.empty() && text != "0";
  return {std::move(text), ok ? LineFailure::kNone : LineFailure::kNoResult};
}

// How many numbers a result of the subcommand holds.
int ResultNumbers(const Settings& s) {
  switch (s.command->op) {
    case Op::kTm:
    case Op::kTmInverse:
    case Op::kToGrid:
    case Op::kFromGrid:
    case Op::kScaleConvergence:
      return 2;
    case Op::kDistance:
      return 1;
    case Op::kDms:
      return s.form == "D" ? 1 : s.form == "DM" ? 2 : 3;
    case Op::kEcef:
    case Op::kGeodetic:
    case Op::kHelmert:
    case Op::kDatum:
    case Op::kDatumEcef:
      break;
  }
  return 3;
}

// Whether the first number of a result is a latitude.
bool ResultHasLatitude(const Settings& s) {
  switch (s.command->op) {
    case Op::kGeodetic:
    case Op::kTmInverse:
    case Op::kFromGrid:
      return true;
    case Op::kDatum:
    case Op::kDatumEcef:
      return s.mode != "XYZ";
    default:
      return false;
  }
}

}  // namespace

std::string_view FailureText(Op op) { return op == Op::kGeodetic ? std::string_view() : "0"; }

Converter::Converter(const Settings& s)
    : s_(s), resultNumbers_(ResultNumbers(s)), resultHasLatitude_(ResultHasLatitude(s)) {
  for (std::size_t i = 0; i < tm_.size(); ++i) {
    tm_[i] = static_cast<double>(s_.projection.numbers[i]);
  }
  for (unsigned bits = s_.command->latitudeInputs; bits != 0; bits >>= 1U) {
    ++latitudeReads_;
  }
}

LineResult Converter::Convert(std::string_view line) {
  if (!LatitudesInRange(line)) {
    return {std::string(FailureText(s_.command->op)), LineFailure::kLatitudeRange};
  }
  LineResult result = Compute(line);
  if (result.ok() && !ResultInRange(result.text)) {
    return {std::string(FailureText(s_.command->op)), LineFailure::kResultOutOfRange};
  }
  return result;
}

bool Converter::LatitudesInRange(std::string_view line) const {
  const unsigned latitudes = s_.command->latitudeInputs;
  long double v[sizeof latitudes * 8];
  const int count = NumberScanner(line).ReadExtendeds(v, latitudeReads_);
  for (int i = 0; i < count; ++i) {
    if (((latitudes >> i) & 1U) != 0 && !(std::fabs(v[i]) <= 90.0L)) {
      return false;
    }
  }
  return true;
}

// Every number of the result must read back as a finite double (a height
// of 400 digits does not), and a latitude must lie within ±90°.
bool Converter::ResultInRange(std::string_view text) const {
  double v[3];
  if (NumberScanner(text).ReadDoubles(v, resultNumbers_) < resultNumbers_) {
    return false;
  }
  return !resultHasLatitude_ || std::fabs(v[0]) <= 90.0;
}

LineResult Converter::Compute(std::string_view line) {
  using geodesy::CountLeadingNumbers;
  using geodesy::DatumTransformEcef;
  using geodesy::DatumTransformGeodetic;
  using geodesy::DegreesToDms;
  using geodesy::DmsToDegrees;
  using geodesy::EcefToGeodetic;
  using geodesy::FormatFixed;
  using geodesy::FormatG15;
  using geodesy::GeodesicDistance;
  using geodesy::GeodeticToEcef;
  using geodesy::GeodeticToGrid;
  using geodesy::GridToGeodetic;
  using geodesy::HelmertTransform;
  using geodesy::TmForward;
  using geodesy::TmInverse;
  const geodesy::OutputPrecision& precision = s_.precision;
  const EllipsoidOption& ellipsoid = s_.ellipsoid;
  const std::string& pair = s_.pair.text;
  const std::string& tm = s_.projection.text;
  switch (s_.command->op) {
    case Op::kEcef: {
      long double v[3];
      if (NumberScanner(line).ReadExtendeds(v, 3) < 3) {
        return {"0", LineFailure::kNoResult};
      }
      return FromCore(GeodeticToEcef(v[0], v[1], v[2], ellipsoid.a, ellipsoid.f));
    }
    case Op::kGeodetic: {
      long double v[3];
      if (NumberScanner(line).ReadExtendeds(v, 3) < 3) {
        return {{}, LineFailure::kNoResult};
      }
      return FromCore(EcefToGeodetic(v[0], v[1], v[2], ellipsoid.a, ellipsoid.f, precision));
    }
    case Op::kHelmert: {
      // The core reads the coordinates and the parameters from one text:
      // only the text of the three coordinates goes before the parameters,
      // so a point number after them cannot shift the parameters.
      NumberScanner scanner(line);
      double xyz[3];
      const std::string_view coordinates = scanner.ReadDoubles(xyz, 3) == 3
                                               ? line.substr(0, line.size() - scanner.Rest().size())
                                               : line;
      scratch_.assign(coordinates);
      scratch_ += ' ';
      scratch_ += s_.params;
      return FromCore(HelmertTransform(s_.direction, scratch_));
    }
    case Op::kDatum:
      return FromCore(DatumTransformGeodetic(s_.mode, line, pair, precision));
    case Op::kDatumEcef:
      return FromCore(DatumTransformEcef(s_.mode, line, pair, precision));
    case Op::kTm:
      return FromCore(TmForward(line, tm, ellipsoid.text, ellipsoid.form));
    case Op::kTmInverse:
      return FromCore(TmInverse(line, tm, ellipsoid.text, ellipsoid.form));
    case Op::kToGrid:
      return FromCore(GeodeticToGrid(line, pair, tm, ellipsoid.text, precision, ellipsoid.form));
    case Op::kFromGrid:
      return FromCore(GridToGeodetic(line, pair, tm, ellipsoid.text, precision, ellipsoid.form));
    case Op::kDistance: {
      long double v[4];
      if (NumberScanner(line).ReadExtendeds(v, 4) < 4) {
        return {"0", LineFailure::kNoResult};
      }
      const auto distance = GeodesicDistance(ellipsoid.a, ellipsoid.f, v[0], v[1], v[2], v[3]);
      if (!distance) {
        return {"0", LineFailure::kNoResult};
      }
      return {FormatG15(*distance), LineFailure::kNone};
    }
    case Op::kScaleConvergence:
      return ScaleConvergence(line);
    case Op::kDms: {
      const long double degrees = DmsToDegrees(line);
      const LineFailure failure =
          CountLeadingNumbers(line, 1) > 0 ? LineFailure::kNone : LineFailure::kNoResult;
      if (s_.form == "D") {
        return {FormatFixed(degrees, precision.degrees), failure};
      }
      return {DegreesToDms(degrees, s_.form, precision), failure};
    }
  }
  return {"0", LineFailure::kNoResult};
}

LineResult Converter::ScaleConvergence(std::string_view line) const {
  using geodesy::ScaleAndConvergence;
  long double v[2];
  if (NumberScanner(line).ReadExtendeds(v, 2) < 2) {
    return {"0", LineFailure::kNoResult};
  }
  const auto a = static_cast<double>(s_.ellipsoid.a);
  const auto f = static_cast<double>(s_.ellipsoid.f);
  const auto latitude = static_cast<double>(v[0]);
  const auto longitude = static_cast<double>(v[1]);
  const double k = ScaleAndConvergence("PtScFac", a, f, latitude, longitude, tm_[0], tm_[1], tm_[2],
                                       tm_[3], tm_[4]);
  const double gamma = ScaleAndConvergence("GrdConv", a, f, latitude, longitude, tm_[0], tm_[1],
                                           tm_[2], tm_[3], tm_[4]);
  std::string text = geodesy::FormatG15(k);
  text += ' ';
  geodesy::AppendG15(text, gamma);
  // A result that is not finite is caught by the range check of Convert.
  return {std::move(text), LineFailure::kNone};
}

}  // namespace halvex::tools::geokit
