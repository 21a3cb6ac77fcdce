// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Enumerations, the sentence-kind set and the exception of the NMEA
// receiver library.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace halvex::nmea {

enum class TCardinalPoint { cpNorth, cpSouth, cpEast, cpWest };
enum class TDirection { dirForward, dirLeft, dirRight };

// Sentence kinds, in the order of their bits in TNMEACommands.
enum class TNMEACommand {
  GPAAM,
  GPBWC,
  GPGGA,
  GPGLL,
  GPMSS,
  GPRMB,
  GPRMC,
  GPGSA,
  GPGSV,
  GPVTG,
  GPZDA,
  GPWPL,
  GPRTE,
  GPXTE,
  AllNMEA,
};
inline constexpr int kNMEACommandCount = 15;

// A set of sentence kinds, stored as a 16-bit mask with bit n for the n-th
// kind (AllNMEA is bit 14).
class TNMEACommands {
 public:
  static constexpr std::uint16_t kAll = 0x7FFF;

  constexpr TNMEACommands() = default;
  constexpr explicit TNMEACommands(std::uint16_t mask) : mask_(mask) {}
  static constexpr TNMEACommands All() { return TNMEACommands(kAll); }

  constexpr bool Contains(TNMEACommand kind) const { return (mask_ & Bit(kind)) != 0; }
  constexpr void Include(TNMEACommand kind) {
    mask_ = static_cast<std::uint16_t>(mask_ | Bit(kind));
  }
  constexpr void Exclude(TNMEACommand kind) {
    mask_ = static_cast<std::uint16_t>(mask_ & ~Bit(kind));
  }
  constexpr std::uint16_t Mask() const { return mask_; }

  friend constexpr bool operator==(TNMEACommands, TNMEACommands) = default;

 private:
  static constexpr std::uint16_t Bit(TNMEACommand kind) {
    return static_cast<std::uint16_t>(1U << static_cast<unsigned>(kind));
  }
  std::uint16_t mask_ = 0;
};

// The name of a kind ("GPGGA", ..., "AllNMEA"), and the kind of a name.
const char* CommandName(TNMEACommand kind);
bool CommandFromName(const std::string& name, TNMEACommand& kind);

const char* CardinalPointName(TCardinalPoint point);  // "cpNorth", ...
const char* DirectionName(TDirection direction);      // "dirForward", ...

// Raised by the validating setters of the data model, with a fixed English
// message; the field keeps its value.
class EGPSError : public std::runtime_error {
 public:
  explicit EGPSError(const char* message) : std::runtime_error(message) {}
};

}  // namespace halvex::nmea
