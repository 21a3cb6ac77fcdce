// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command line of geokit-cli: the options of a subcommand read into
// Settings, and the geodetic texts among them checked once, at start, so
// that a run never converts a file with an ellipsoid, datum pair or
// projection that cannot be meant. Every text option goes through one of the
// Read...Option functions below; whatever else supplies such a text later
// (a datum file, say) goes through the same ones.
//
// The texts themselves are kept as typed: the core reads them again, and
// the results depend on their exact digits.

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "geodesy/OutputPrecision.hpp"
#include "geodesy/TransverseMercator.hpp"
#include "tools/CliSupport.hpp"
#include "tools/GeokitCommands.hpp"

namespace halvex::tools::geokit {

// --ellipsoid: "A F", or the navigation program's "A1 F1 A2 F2" (source,
// then target).
struct EllipsoidOption {
  std::string text;
  // Which two numbers the projection subcommands use: the first pair of
  // "A F", the second of "A1 F1 A2 F2".
  geodesy::EllipsoidForm form = geodesy::EllipsoidForm::kLeading;
  // The first pair, which the other subcommands use (extended reads).
  long double a = 0.0L;  // metres
  long double f = 0.0L;
};

// --pair: A F DS RX RY RZ TX TY TZ of the first datum, then of the second.
struct DatumPairOption {
  std::string text;
  std::array<long double, 18> numbers{};
};

// --tm: CM LAT0 K0 FE FN (degrees, degrees, -, metres, metres), possibly
// followed by a name.
struct ProjectionOption {
  std::string text;
  std::array<long double, 5> numbers{};
};

// Everything the command line sets.
struct Settings {
  const Subcommand* command = nullptr;
  EllipsoidOption ellipsoid;
  DatumPairOption pair;
  ProjectionOption projection;
  std::string params;             // the seven Helmert parameters, as typed
  std::string direction = "WGS";  // "WGS" or "Local"
  std::string mode = "BLH";       // "BLH" or "XYZ"
  std::string form;               // "D", "DM" or "DMS"
  geodesy::OutputPrecision precision;
  int threads = 0;  // 0: one per processor, at most 8
  std::vector<std::string> files;
};

inline constexpr int kMaxThreads = 64;

// Reads the command line (without the program name) into `s`. A usage
// error names what was wrong and what was expected.
cli::ParseResult ParseArguments(std::span<const std::string> args, Settings& s);

// The checks of the option texts. Each returns the error message (naming
// `option`, e.g. "--ellipsoid"), or the empty text when the text is good and
// `out` is filled.

// An ellipsoid of semi-major axis a (metres, above 0) and flattening f
// (from 0, below 1). A flattening above 1 is taken for an inverse
// flattening, and the message offers its inverse.
std::string CheckEllipsoid(std::string_view option, long double a, long double f);

// "A F" or "A1 F1 A2 F2", every ellipsoid of it checked.
std::string ReadEllipsoidOption(std::string_view option, std::string_view text,
                                EllipsoidOption& out);

// Exactly 18 numbers; both ellipsoids checked.
std::string ReadDatumPairOption(std::string_view option, std::string_view text,
                                DatumPairOption& out);

// Five numbers (further tokens ignored): |LAT0| at most 90, K0 above 0.
std::string ReadProjectionOption(std::string_view option, std::string_view text,
                                 ProjectionOption& out);

// Exactly seven numbers.
std::string ReadHelmertOption(std::string_view option, std::string_view text, std::string& out);

// One of `words` in any letter case; `out` gets its spelling in `words`.
std::string ReadWordOption(std::string_view option, std::string_view value,
                           std::span<const std::string_view> words, std::string& out);

}  // namespace halvex::tools::geokit
