// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The subcommands of geokit-cli: one table row each, with the options it
// takes and its help text, and the help and usage writers over the table.
// A new subcommand is a new Op, a row here and a case in the converter.

#include <iosfwd>
#include <span>
#include <string_view>

namespace halvex::tools::geokit {

inline constexpr std::string_view kProgram = "geokit-cli";

enum class Op {
  kEcef,
  kGeodetic,
  kHelmert,
  kDatum,
  kDatumEcef,
  kTm,
  kTmInverse,
  kToGrid,
  kFromGrid,
  kDistance,
  kScaleConvergence,
  kDms,
};

// Options of the subcommands, as bits of Subcommand::required/optional.
enum OptionBit : unsigned {
  kOptEllipsoid = 1U << 0,
  kOptParams = 1U << 1,
  kOptPair = 1U << 2,
  kOptTm = 1U << 3,
  kOptDirection = 1U << 4,
  kOptMode = 1U << 5,
  kOptForm = 1U << 6,
  kOptDecimals = 1U << 7,  // the four --decimals-* options and --threads, taken by every subcommand
  kOptFromDatum = 1U << 8,
  kOptToDatum = 1U << 9,
};
// Two datum files, in place of --pair and --ellipsoid.
inline constexpr unsigned kOptDatumFiles = kOptFromDatum | kOptToDatum;

struct Subcommand {
  std::string_view name;
  Op op;
  unsigned required;
  unsigned optional;
  // Bit i set: number i of an input line is a latitude (degrees), so a line
  // where it lies beyond ±90° has no answer.
  unsigned latitudeInputs;
  std::string_view synopsis;  // the options part of the usage line
  std::string_view summary;
  std::string_view help;  // the text below the usage line
};

std::span<const Subcommand> Subcommands();

// The subcommand called `name`; null when there is none.
const Subcommand* FindSubcommand(std::string_view name);

void WriteGeneralHelp(std::ostream& out);
void WriteUsageLine(std::ostream& out, const Subcommand& command);
void WriteSubcommandHelp(std::ostream& out, const Subcommand& command);

}  // namespace halvex::tools::geokit
