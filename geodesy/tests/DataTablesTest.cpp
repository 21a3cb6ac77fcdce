// SPDX-License-Identifier: GPL-3.0-or-later
// Table-driven cases of the geodesy operations, one file per operation in
// tests/data/*.gie. A table is a list of directives, one a line; "#" starts
// a comment that runs to the end of the line.
//
//   operation NAME        ecef, geodetic, helmert, datum, datum-ecef, tm,
//                         tm-inverse, distance, dms, from-dms; resets every
//                         parameter below to its default
//   ellipsoid TEXT        "a f" (ecef, geodetic, distance; WGS-84 by default),
//                         or the ellipsoid text as typed (tm, tm-inverse)
//   form leading|target   which numbers of a tm ellipsoid text count (tm);
//                         the angle form word (dms)
//   tm TEXT               projection parameters "λ0 φ0 k0 FE FN ..."
//   pair TEXT             datum pair text (datum, datum-ecef)
//   mode WORD             result form of the datum operations (default BLH)
//   direction WORD        Helmert direction (default WGS)
//   decimals K N ...      output decimals, K one of distance, degrees,
//                         minutes, seconds (defaults 3, 8, 6, 4)
//   tolerance N UNIT      for the numbers of later expectations
//   accept TEXT           the operation's input text
//   expect TEXT           the result, number by number within the tolerance;
//                         "*" matches any one field
//   exact                 the next expect is the result text to the character
//                         ("\t" stands for a tab)
//   expect failure        the operation's failure answer ("0", the empty text,
//                         no distance)
//   roundtrip N TOL UNIT  the operation and its inverse N times on the last
//                         input, which must come back within TOL
//
// Units: m, mm, um, nm for lengths; deg, arcsec for angles. A length
// tolerance on a field in degrees counts 1° as 111319.49 m (one degree of the
// WGS-84 equator, so never looser than the ground distance); an angle
// tolerance on a field in metres uses the same factor the other way.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "geodesy/Angles.hpp"
#include "geodesy/DatumTransform.hpp"
#include "geodesy/Geocentric.hpp"
#include "geodesy/Geodesic.hpp"
#include "geodesy/Helmert.hpp"
#include "geodesy/TransverseMercator.hpp"

namespace halvex::geodesy {
namespace {

namespace fs = std::filesystem;

constexpr double kMetresPerDegree = 111319.49079327357;

constexpr const char* kOperations[] = {"ecef", "geodetic",   "helmert",  "datum", "datum-ecef",
                                       "tm",   "tm-inverse", "distance", "dms",   "from-dms"};

enum class Unit { kMetre, kDegree };

// A tolerance in metres or in degrees, converted for a field of either unit.
struct Tolerance {
  double value = 0.0;
  Unit unit = Unit::kMetre;

  double For(Unit field) const {
    if (field == unit) {
      return value;
    }
    return field == Unit::kMetre ? value * kMetresPerDegree : value / kMetresPerDegree;
  }
};

std::optional<Tolerance> ParseTolerance(const std::string& number, const std::string& unit) {
  static const std::map<std::string, Tolerance> kUnits = {
      {"m", {1.0, Unit::kMetre}},    {"mm", {1e-3, Unit::kMetre}},
      {"um", {1e-6, Unit::kMetre}},  {"nm", {1e-9, Unit::kMetre}},
      {"deg", {1.0, Unit::kDegree}}, {"arcsec", {1.0 / 3600.0, Unit::kDegree}}};
  const auto found = kUnits.find(unit);
  char* end = nullptr;
  const double n = std::strtod(number.c_str(), &end);
  if (found == kUnits.end() || number.empty() || *end != '\0') {
    return std::nullopt;
  }
  return Tolerance{n * found->second.value, found->second.unit};
}

std::vector<std::string> Fields(std::string_view text) {
  std::istringstream in{std::string(text)};
  std::vector<std::string> fields;
  for (std::string field; in >> field;) {
    fields.push_back(field);
  }
  return fields;
}

std::optional<long double> Number(const std::string& field) {
  char* end = nullptr;
  const long double v = std::strtold(field.c_str(), &end);
  if (field.empty() || *end != '\0') {
    return std::nullopt;
  }
  return v;
}

std::vector<long double> Numbers(std::string_view text) {
  std::vector<long double> values;
  for (const std::string& field : Fields(text)) {
    const auto v = Number(field);
    if (!v) {
      break;
    }
    values.push_back(*v);
  }
  return values;
}

std::string G15(long double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15Lg", v);
  return buffer;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 't') {
      out.push_back('\t');
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// The parameters in force for the cases of an operation.
struct Setup {
  std::string operation;
  std::string ellipsoid = "6378137 0.0033528106647474";
  std::string form;
  std::string tm;
  std::string pair;
  std::string mode = "BLH";
  std::string direction = "WGS";
  OutputPrecision precision;
};

struct Outcome {
  bool failed = false;
  std::string text;
};

// The numbers of an input text, padded so that short texts can be run too.
std::vector<long double> Padded(std::string_view text, std::size_t count) {
  std::vector<long double> v = Numbers(text);
  v.resize(std::max(v.size(), count), 0.0L);
  return v;
}

std::optional<Outcome> Run(const Setup& s, std::string_view input) {
  const auto e = Padded(s.ellipsoid, 2);
  const EllipsoidForm form = s.form == "target" ? EllipsoidForm::kTarget : EllipsoidForm::kLeading;
  const std::string& op = s.operation;
  if (op == "ecef") {
    const auto v = Padded(input, 3);
    return Outcome{false, GeodeticToEcef(v[0], v[1], v[2], e[0], e[1])};
  }
  if (op == "geodetic") {
    const auto v = Padded(input, 3);
    const std::string text = EcefToGeodetic(v[0], v[1], v[2], e[0], e[1], s.precision);
    return Outcome{text.empty(), text};
  }
  if (op == "helmert") {
    const std::string text = HelmertTransform(s.direction, input);
    return Outcome{text == "0", text};
  }
  if (op == "datum" || op == "datum-ecef") {
    const std::string text = op == "datum"
                                 ? DatumTransformGeodetic(s.mode, input, s.pair, s.precision)
                                 : DatumTransformEcef(s.mode, input, s.pair, s.precision);
    return Outcome{text == "0" || text.empty(), text};
  }
  if (op == "tm" || op == "tm-inverse") {
    const std::string text = op == "tm" ? TmForward(input, s.tm, s.ellipsoid, form)
                                        : TmInverse(input, s.tm, s.ellipsoid, form);
    return Outcome{text == "0", text};
  }
  if (op == "distance") {
    const auto v = Padded(input, 4);
    const auto d = GeodesicDistance(e[0], e[1], v[0], v[1], v[2], v[3]);
    return d ? Outcome{false, G15(*d)} : Outcome{true, ""};
  }
  if (op == "dms") {
    const std::string text = DegreesToDms(Padded(input, 1)[0], s.form, s.precision);
    return Outcome{text.empty(), text};
  }
  if (op == "from-dms") {
    return Outcome{false, G15(DmsToDegrees(input))};
  }
  return std::nullopt;
}

// The units of the fields of an operation's input and of its result.
std::vector<Unit> InputUnits(const Setup& s) {
  const std::string& op = s.operation;
  if (op == "ecef" || op == "datum") {
    return {Unit::kDegree, Unit::kDegree, Unit::kMetre};
  }
  if (op == "tm") {
    return {Unit::kDegree, Unit::kDegree};
  }
  if (op == "tm-inverse") {
    return {Unit::kMetre, Unit::kMetre};
  }
  if (op == "dms" || op == "from-dms") {
    return {Unit::kDegree};
  }
  return {Unit::kMetre, Unit::kMetre, Unit::kMetre};  // geodetic, helmert, datum-ecef
}

std::vector<Unit> OutputUnits(const Setup& s) {
  const std::string& op = s.operation;
  if (op == "ecef" || op == "helmert" || op == "tm") {
    return {Unit::kMetre, Unit::kMetre, Unit::kMetre};
  }
  if (op == "datum" || op == "datum-ecef") {
    if (s.mode == "XYZ") {
      return {Unit::kMetre, Unit::kMetre, Unit::kMetre};
    }
    return {Unit::kDegree, Unit::kDegree, Unit::kMetre};
  }
  if (op == "geodetic") {
    return {Unit::kDegree, Unit::kDegree, Unit::kMetre};
  }
  if (op == "tm-inverse" || op == "from-dms") {
    return {Unit::kDegree, Unit::kDegree};
  }
  return {Unit::kMetre};  // distance
}

// The operation that undoes `s`; none for those without an inverse.
std::optional<Setup> InverseOf(const Setup& s) {
  Setup inverse = s;
  const std::string& op = s.operation;
  if (op == "ecef" || op == "geodetic") {
    inverse.operation = op == "ecef" ? "geodetic" : "ecef";
  } else if (op == "tm" || op == "tm-inverse") {
    inverse.operation = op == "tm" ? "tm-inverse" : "tm";
  } else if (op == "helmert") {
    inverse.direction = s.direction == "WGS" ? "Local" : "WGS";
  } else if ((op == "datum" && s.mode != "XYZ") || (op == "datum-ecef" && s.mode == "XYZ")) {
    // Results of the form of the input: the same chain on the swapped pair.
    const auto fields = Fields(s.pair);
    if (fields.size() != 18) {
      return std::nullopt;
    }
    std::string swapped;
    for (int i = 0; i < 18; ++i) {
      swapped += fields[static_cast<std::size_t>((i + 9) % 18)] + " ";
    }
    inverse.pair = swapped;
  } else {
    return std::nullopt;
  }
  return inverse;
}

// The input text of the inverse operation for a result.
std::string InverseInput(const Setup& s, const std::string& result, const std::string& input) {
  if (s.operation != "helmert") {
    return result;
  }
  // The seven parameters follow the coordinates again.
  const auto fields = Fields(input);
  std::string text = result;
  for (std::size_t i = 3; i < fields.size(); ++i) {
    text += " " + fields[i];
  }
  return text;
}

// Why a numeric expectation does not hold, or nothing when it does.
std::optional<std::string> Mismatch(const std::string& result, const std::string& expected,
                                    const std::vector<Unit>& units, const Tolerance& tolerance) {
  const auto got = Fields(result);
  const auto want = Fields(expected);
  if (got.size() != want.size()) {
    return "got " + std::to_string(got.size()) + " fields, expected " + std::to_string(want.size());
  }
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (want[i] == "*") {
      continue;
    }
    const auto w = Number(want[i]);
    const auto g = Number(got[i]);
    if (!w || !g) {
      if (want[i] != got[i]) {
        return "field " + std::to_string(i + 1) + " is '" + got[i] + "'";
      }
      continue;
    }
    const double allowed = tolerance.For(units[std::min(i, units.size() - 1)]);
    const auto difference = static_cast<double>(std::fabs(*g - *w));
    if (!(difference <= allowed)) {
      char buffer[160];
      std::snprintf(buffer, sizeof buffer, "field %zu differs by %.3g (allowed %.3g)", i + 1,
                    difference, allowed);
      return std::string(buffer);
    }
  }
  return std::nullopt;
}

// Runs one table and gives the number of cases; failures point at the file
// and line of the directive.
int RunTable(const fs::path& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in) << path;
  const std::string file = path.string();
  int cases = 0;
  Setup setup;
  Tolerance tolerance;
  std::string input;
  bool haveInput = false;
  bool exact = false;
  int lineNumber = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNumber;
    const std::size_t hash = line.find('#');
    if (hash != std::string::npos) {
      line.erase(hash);
    }
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) {
      continue;
    }
    const std::size_t end = line.find_last_not_of(" \t\r");
    line = line.substr(start, end - start + 1);
    const std::size_t space = line.find_first_of(" \t");
    const std::string directive = line.substr(0, space);
    std::string rest;
    if (space != std::string::npos) {
      rest = line.substr(line.find_first_not_of(" \t", space));
    }
    const auto words = Fields(rest);

    if (directive == "operation") {
      setup = Setup{};
      setup.operation = rest;
      tolerance = Tolerance{};
      haveInput = false;
      if (std::find(std::begin(kOperations), std::end(kOperations), rest) ==
          std::end(kOperations)) {
        ADD_FAILURE_AT(file.c_str(), lineNumber) << "unknown operation '" << rest << "'";
      }
    } else if (directive == "ellipsoid") {
      setup.ellipsoid = rest;
    } else if (directive == "form") {
      setup.form = rest;
    } else if (directive == "tm") {
      setup.tm = rest;
    } else if (directive == "pair") {
      setup.pair = rest;
    } else if (directive == "mode") {
      setup.mode = rest;
    } else if (directive == "direction") {
      setup.direction = rest;
    } else if (directive == "decimals") {
      for (std::size_t i = 0; i + 1 < words.size(); i += 2) {
        const int n = std::atoi(words[i + 1].c_str());
        if (words[i] == "distance") {
          setup.precision.distance = n;
        } else if (words[i] == "degrees") {
          setup.precision.degrees = n;
        } else if (words[i] == "minutes") {
          setup.precision.minutes = n;
        } else if (words[i] == "seconds") {
          setup.precision.seconds = n;
        } else {
          ADD_FAILURE_AT(file.c_str(), lineNumber) << "unknown decimals '" << words[i] << "'";
        }
      }
    } else if (directive == "tolerance") {
      const auto t = words.size() == 2 ? ParseTolerance(words[0], words[1]) : std::nullopt;
      if (!t) {
        ADD_FAILURE_AT(file.c_str(), lineNumber) << "bad tolerance '" << rest << "'";
      } else {
        tolerance = *t;
      }
    } else if (directive == "accept") {
      input = rest;
      haveInput = true;
    } else if (directive == "exact") {
      exact = true;
    } else if (directive == "expect" || directive == "roundtrip") {
      if (!haveInput) {
        ADD_FAILURE_AT(file.c_str(), lineNumber) << directive << " without accept";
        continue;
      }
      ++cases;
      const Outcome outcome = Run(setup, input).value_or(Outcome{true, "(no operation)"});
      const std::string what = setup.operation + " of '" + input + "'";
      if (directive == "roundtrip") {
        const auto inverse = InverseOf(setup);
        const auto n = words.size() == 3 ? std::atoi(words[0].c_str()) : 0;
        const auto t = words.size() == 3 ? ParseTolerance(words[1], words[2]) : std::nullopt;
        if (!inverse || n < 1 || !t) {
          ADD_FAILURE_AT(file.c_str(), lineNumber) << "cannot round-trip " << what;
          continue;
        }
        std::string text = input;
        for (int i = 0; i < n; ++i) {
          const auto there = Run(setup, text);
          const auto back = Run(*inverse, InverseInput(setup, there->text, text));
          if (there->failed || back->failed) {
            ADD_FAILURE_AT(file.c_str(), lineNumber) << what << ": failed in round " << i + 1;
            break;
          }
          text = InverseInput(setup, back->text, input);
        }
        // The coordinates only (a Helmert text goes on with its parameters).
        const auto units = InputUnits(setup);
        auto start = Fields(input), end = Fields(text);
        start.resize(units.size());
        end.resize(units.size());
        const auto join = [](const std::vector<std::string>& fields) {
          std::string joined;
          for (const std::string& field : fields) {
            joined += field + " ";
          }
          return joined;
        };
        if (const auto why = Mismatch(join(end), join(start), units, *t)) {
          ADD_FAILURE_AT(file.c_str(), lineNumber)
              << what << " after " << n << " round trips: " << *why << "; ends at '" << join(end)
              << "'";
        }
      } else if (rest == "failure" && !exact) {
        if (!outcome.failed) {
          ADD_FAILURE_AT(file.c_str(), lineNumber)
              << what << ": expected failure, got '" << outcome.text << "'";
        }
      } else if (exact) {
        const std::string expected = Unescape(rest);
        if (outcome.text != expected) {
          ADD_FAILURE_AT(file.c_str(), lineNumber)
              << what << ": got '" << outcome.text << "', expected '" << expected << "'";
        }
      } else if (outcome.failed) {
        ADD_FAILURE_AT(file.c_str(), lineNumber) << what << ": failed ('" << outcome.text << "')";
      } else if (const auto why = Mismatch(outcome.text, rest, OutputUnits(setup), tolerance)) {
        ADD_FAILURE_AT(file.c_str(), lineNumber)
            << what << ": " << *why << "; got '" << outcome.text << "'";
      }
      exact = false;
    } else {
      ADD_FAILURE_AT(file.c_str(), lineNumber) << "unknown directive '" << directive << "'";
    }
  }
  return cases;
}

std::vector<fs::path> Tables() {
  std::vector<fs::path> paths;
  for (const auto& entry : fs::directory_iterator(HALVEX_GEODESY_TESTDATA)) {
    if (entry.path().extension() == ".gie") {
      paths.push_back(entry.path());
    }
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

class DataTable : public ::testing::TestWithParam<fs::path> {};

TEST_P(DataTable, Holds) { EXPECT_GT(RunTable(GetParam()), 0) << "no cases in " << GetParam(); }

INSTANTIATE_TEST_SUITE_P(DataTables, DataTable, ::testing::ValuesIn(Tables()),
                         [](const ::testing::TestParamInfo<fs::path>& info) {
                           std::string name = info.param.stem().string();
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

TEST(DataTablesFolder, HoldsEveryOperation) {
  std::vector<std::string> names;
  for (const fs::path& path : Tables()) {
    names.push_back(path.stem().string());
  }
  for (const char* op : kOperations) {
    if (std::string_view(op) == "from-dms") {
      continue;  // in dms.gie
    }
    EXPECT_NE(std::find(names.begin(), names.end(), op), names.end()) << op << ".gie missing";
  }
}

}  // namespace
}  // namespace halvex::geodesy
