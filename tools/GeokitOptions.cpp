// SPDX-License-Identifier: GPL-3.0-or-later
//
// Options of geokit-cli. The option words are taken in as texts first; the
// texts a subcommand uses are then checked by the Read...Option functions,
// which read their numbers as the core reads them (extended conversions,
// longest prefix that forms a number) and refuse what cannot be meant:
// a wrong count of numbers, numbers beyond the range of a double, an
// ellipsoid without an axis or with an inverse flattening for a flattening,
// a projection with no scale.

#include "tools/GeokitOptions.hpp"

#include <cmath>
#include <limits>

#include "geodesy/NumberText.hpp"
#include "tools/DatumFileOptions.hpp"

namespace halvex::tools::geokit {
namespace {

using cli::ParseOutcome;
using cli::ParseResult;
using geodesy::FormatG15;

constexpr std::string_view kDirections[] = {"WGS", "Local"};
constexpr std::string_view kModes[] = {"BLH", "XYZ"};
constexpr std::string_view kForms[] = {"D", "DM", "DMS"};

// Enough to tell "too many" from the count an option needs, and to name it.
constexpr int kCountLimit = 64;

// Reads the leading numbers of `text` (at most `limit`) into `values` and
// returns how many there were, or -1 (with `error` set) when one of them is
// beyond the range of a double, where the tool's double-precision steps
// would turn it into infinity.
int ReadNumbers(std::string_view option, std::string_view text, long double* values, int limit,
                std::string& error) {
  geodesy::NumberScanner scanner(text);
  int count = 0;
  long double value = 0.0L;
  while (count < limit && scanner.ReadExtended(value)) {
    if (!(std::fabs(value) <= std::numeric_limits<double>::max())) {
      error = std::string(option) + ": " + FormatG15(value) + " is too large a number";
      return -1;
    }
    values[count++] = value;
  }
  return count;
}

std::string CountText(int count) {
  return count >= kCountLimit ? std::to_string(kCountLimit) + " or more" : std::to_string(count);
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) {
      return false;
    }
  }
  return true;
}

std::string OptionListText(unsigned bits) {
  static constexpr std::array<std::pair<OptionBit, std::string_view>, 7> kNames = {{
      {kOptEllipsoid, "--ellipsoid"},
      {kOptParams, "--params"},
      {kOptPair, "--pair"},
      {kOptTm, "--tm"},
      {kOptDirection, "--direction"},
      {kOptMode, "--mode"},
      {kOptForm, "--form"},
  }};
  std::string text;
  for (const auto& [bit, name] : kNames) {
    if ((bits & bit) != 0) {
      if (!text.empty()) {
        text += ", ";
      }
      text += name;
    }
  }
  return text;
}

// The option texts as given, before they are checked.
struct OptionTexts {
  std::string ellipsoid;
  std::string params;
  std::string pair;
  std::string tm;
  std::string direction = "WGS";
  std::string mode = "BLH";
  std::string form;
  std::string fromDatum;  // datum files in place of pair and ellipsoid
  std::string toDatum;
};

struct OptionName {
  std::string_view name;
  OptionBit bit;
  int* number;  // the --decimals-* options and --threads; null for the others
  std::string* text;
};

// Checks the texts of the options the subcommand takes and keeps what they
// say in `s`. Returns the error message, empty when all is well.
std::string ValidateOptionValues(const OptionTexts& t, Settings& s) {
  const unsigned used = s.command->required | s.command->optional;
  std::string error;
  if ((used & kOptEllipsoid) != 0) {
    error = ReadEllipsoidOption("--ellipsoid", t.ellipsoid, s.ellipsoid);
  }
  if (error.empty() && (used & kOptParams) != 0) {
    error = ReadHelmertOption("--params", t.params, s.params);
  }
  if (error.empty() && (used & kOptPair) != 0) {
    error = ReadDatumPairOption("--pair", t.pair, s.pair);
  }
  if (error.empty() && (used & kOptTm) != 0) {
    error = ReadProjectionOption("--tm", t.tm, s.projection);
  }
  if (error.empty() && (used & kOptDirection) != 0) {
    error = ReadWordOption("--direction", t.direction, kDirections, s.direction);
  }
  if (error.empty() && (used & kOptMode) != 0) {
    error = ReadWordOption("--mode", t.mode, kModes, s.mode);
  }
  if (error.empty() && (used & kOptForm) != 0) {
    error = ReadWordOption("--form", t.form, kForms, s.form);
  }
  return error;
}

}  // namespace

std::string CheckEllipsoid(std::string_view option, long double a, long double f) {
  const std::string name(option);
  if (!(a > 0.0L)) {
    return name + ": A, the semi-major axis in metres, must be above 0, not " + FormatG15(a);
  }
  if (f > 1.0L) {
    return name + ": F is the flattening, not its inverse: did you mean 1/" + FormatG15(f) + " = " +
           FormatG15(1.0L / f) + "?";
  }
  if (!(f >= 0.0L && f < 1.0L)) {
    return name + ": F, the flattening, must be at least 0 and below 1, not " + FormatG15(f);
  }
  return {};
}

std::string ReadEllipsoidOption(std::string_view option, std::string_view text,
                                EllipsoidOption& out) {
  std::string error;
  long double v[kCountLimit];
  const int count = ReadNumbers(option, text, v, kCountLimit, error);
  if (count < 0) {
    return error;
  }
  if (count != 2 && count != 4) {
    return std::string(option) +
           " needs \"A F\" (semi-major axis in metres, flattening) or the pair \"A1 F1 A2 F2\", "
           "not " +
           CountText(count) + (count == 1 ? " number" : " numbers");
  }
  for (int i = 0; i < count; i += 2) {
    error = CheckEllipsoid(option, v[i], v[i + 1]);
    if (!error.empty()) {
      return error;
    }
  }
  out.text.assign(text);
  out.form = count == 4 ? geodesy::EllipsoidForm::kTarget : geodesy::EllipsoidForm::kLeading;
  out.a = v[0];
  out.f = v[1];
  return {};
}

std::string ReadDatumPairOption(std::string_view option, std::string_view text,
                                DatumPairOption& out) {
  std::string error;
  long double v[kCountLimit];
  const int count = ReadNumbers(option, text, v, kCountLimit, error);
  if (count < 0) {
    return error;
  }
  if (count != 18) {
    return std::string(option) +
           " needs exactly 18 numbers (A F DS RX RY RZ TX TY TZ of each datum), not " +
           CountText(count);
  }
  for (int datum = 0; datum < 2; ++datum) {
    const std::string which =
        std::string(option) + (datum == 0 ? ", first datum" : ", second datum");
    error = CheckEllipsoid(which, v[9 * datum], v[9 * datum + 1]);
    if (!error.empty()) {
      return error;
    }
  }
  out.text.assign(text);
  std::copy(v, v + 18, out.numbers.begin());
  return {};
}

std::string ReadProjectionOption(std::string_view option, std::string_view text,
                                 ProjectionOption& out) {
  std::string error;
  long double v[5];
  const int count = ReadNumbers(option, text, v, 5, error);
  if (count < 0) {
    return error;
  }
  const std::string name(option);
  if (count < 5) {
    return name + " needs five numbers \"CM LAT0 K0 FE FN\", not " + std::to_string(count);
  }
  if (!(std::fabs(v[1]) <= 90.0L)) {
    return name + ": LAT0, the latitude of origin, must be from -90 to 90 degrees, not " +
           FormatG15(v[1]);
  }
  if (!(v[2] > 0.0L)) {
    return name + ": K0, the scale factor on the central meridian, must be above 0, not " +
           FormatG15(v[2]);
  }
  out.text.assign(text);
  std::copy(v, v + 5, out.numbers.begin());
  return {};
}

std::string ReadHelmertOption(std::string_view option, std::string_view text, std::string& out) {
  std::string error;
  long double v[kCountLimit];
  const int count = ReadNumbers(option, text, v, kCountLimit, error);
  if (count < 0) {
    return error;
  }
  if (count != 7) {
    return std::string(option) + " needs exactly seven numbers \"DS RX RY RZ TX TY TZ\", not " +
           CountText(count);
  }
  out.assign(text);
  return {};
}

std::string ReadWordOption(std::string_view option, std::string_view value,
                           std::span<const std::string_view> words, std::string& out) {
  for (const std::string_view word : words) {
    if (EqualIgnoringCase(value, word)) {
      out.assign(word);
      return {};
    }
  }
  std::string list;
  for (std::size_t i = 0; i < words.size(); ++i) {
    list += i == 0 ? "" : (i + 1 == words.size() ? " or " : ", ");
    list += words[i];
  }
  return std::string(option) + " must be " + list + " (in any letter case), not '" +
         std::string(value) + "'";
}

ParseResult ParseArguments(std::span<const std::string> args, Settings& s) {
  if (args.empty()) {
    return {ParseOutcome::kUsageError, "no subcommand given"};
  }
  const std::string_view first = args[0];
  if (first == "--help" || first == "-h" || first == "help") {
    if (args.size() > 1 && first == "help") {
      s.command = FindSubcommand(args[1]);
      if (s.command == nullptr) {
        return {ParseOutcome::kUsageError, "unknown subcommand '" + args[1] + "'"};
      }
    }
    return {ParseOutcome::kHelp, {}};
  }
  if (first == "--version") {
    return {ParseOutcome::kVersion, {}};
  }
  s.command = FindSubcommand(first);
  if (s.command == nullptr) {
    if (!first.empty() && first[0] == '-') {
      return {ParseOutcome::kUsageError, "expected a subcommand before '" + args[0] + "'"};
    }
    return {ParseOutcome::kUsageError, "unknown subcommand '" + args[0] + "'"};
  }

  OptionTexts texts;
  std::array<int*, 4> decimals = {&s.precision.degrees, &s.precision.distance, &s.precision.minutes,
                                  &s.precision.seconds};
  const std::array<OptionName, 14> options = {{
      {"ellipsoid", kOptEllipsoid, nullptr, &texts.ellipsoid},
      {"params", kOptParams, nullptr, &texts.params},
      {"pair", kOptPair, nullptr, &texts.pair},
      {"tm", kOptTm, nullptr, &texts.tm},
      {"direction", kOptDirection, nullptr, &texts.direction},
      {"mode", kOptMode, nullptr, &texts.mode},
      {"form", kOptForm, nullptr, &texts.form},
      {"decimals-degrees", kOptDecimals, decimals[0], nullptr},
      {"decimals-distance", kOptDecimals, decimals[1], nullptr},
      {"decimals-minutes", kOptDecimals, decimals[2], nullptr},
      {"decimals-seconds", kOptDecimals, decimals[3], nullptr},
      {"threads", kOptDecimals, &s.threads, nullptr},
      {"from-datum", kOptFromDatum, nullptr, &texts.fromDatum},
      {"to-datum", kOptToDatum, nullptr, &texts.toDatum},
  }};
  const unsigned accepted = s.command->required | s.command->optional | kOptDecimals;
  unsigned given = 0;
  using Kind = cli::OptionReader::Kind;
  cli::OptionReader reader(args.subspan(1), s.files);
  for (Kind kind = reader.Next(); kind != Kind::kEnd; kind = reader.Next()) {
    if (kind == Kind::kHelp) {
      return {ParseOutcome::kHelp, {}};
    }
    const std::string& arg = reader.Word();
    if (arg.size() < 3 || arg[1] != '-') {
      return {ParseOutcome::kUsageError, "unknown option '" + arg + "'"};
    }
    const std::string_view name = std::string_view(reader.Name()).substr(2);
    const OptionName* option = nullptr;
    for (const OptionName& candidate : options) {
      if (candidate.name == name) {
        option = &candidate;
      }
    }
    if (option == nullptr) {
      return {ParseOutcome::kUsageError, "unknown option '--" + std::string(name) + "'"};
    }
    if ((accepted & option->bit) == 0) {
      return {ParseOutcome::kUsageError, "option '--" + std::string(name) + "' does not apply to " +
                                             std::string(s.command->name)};
    }
    std::string value;
    if (!reader.TakeValue(value)) {
      return {ParseOutcome::kUsageError, "option '--" + std::string(name) + "' needs a value"};
    }
    if (option->number == &s.threads) {
      if (!cli::ParseNumber(value, 1, kMaxThreads, s.threads)) {
        return {ParseOutcome::kUsageError, "--threads must be a whole number from 1 to " +
                                               std::to_string(kMaxThreads) + ", not '" + value +
                                               "'"};
      }
    } else if (option->number != nullptr) {
      if (!cli::ParseNumber(value, geodesy::OutputPrecision::kMinDecimals,
                            geodesy::OutputPrecision::kMaxDecimals, *option->number)) {
        return {
            ParseOutcome::kUsageError,
            "--" + std::string(name) + " must be a whole number from 0 to 10, not '" + value + "'"};
      }
    } else {
      *option->text = std::move(value);
    }
    given |= option->bit;
  }
  if ((given & kOptDatumFiles) != 0) {
    if ((given & kOptDatumFiles) != kOptDatumFiles || (given & (kOptPair | kOptEllipsoid)) != 0) {
      return {ParseOutcome::kUsageError,
              "--from-datum and --to-datum go together, in place of --pair and --ellipsoid"};
    }
    DatumFileTexts files;
    std::string error =
        DatumFileOptionTexts(s.command->name, texts.fromDatum, texts.toDatum, files);
    if (!error.empty()) {
      return {ParseOutcome::kUsageError, std::move(error)};
    }
    texts.pair = std::move(files.pair);
    texts.ellipsoid = std::move(files.ellipsoid);
    given |= kOptPair | kOptEllipsoid;
  }
  const unsigned missing = s.command->required & ~given;
  if (missing != 0) {
    return {ParseOutcome::kUsageError,
            std::string(s.command->name) + " needs " + OptionListText(missing)};
  }
  std::string error = ValidateOptionValues(texts, s);
  if (!error.empty()) {
    return {ParseOutcome::kUsageError, std::move(error)};
  }
  return {ParseOutcome::kRun, {}};
}

}  // namespace halvex::tools::geokit
