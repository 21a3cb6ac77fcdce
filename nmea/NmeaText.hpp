// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Checksums and the small field functions of NMEA 0183 sentences. Positions
// are 1-based character positions, as in the sentence descriptions.

#include <cstdint>
#include <string>
#include <string_view>

namespace halvex::nmea {

// XOR of the character codes from the second character up to the first
// "*" or the end; the first character (normally "$") never counts.
int GetNMEACheckSum(std::string_view sentence);
// The checksum as two upper-case hexadecimal digits.
std::string GetNMEACheckSumStr(std::string_view sentence);
// True when the text after the first "*" (at position 2 or later), read as
// hexadecimal with any number of digits in either case ("" reads 0), equals
// the checksum of the text before it.
bool IsCheckSumOk(std::string_view sentence);
std::string AddCheckSumToNMEA(std::string_view sentence);  // + "*" + two digits
std::string AddCrLfToNMEA(std::string_view sentence);      // + "\r\n"

// copy(s, index, count) when index > 0, count > 0 and the text is long
// enough; otherwise `fallback`.
std::string SafeCopy(std::string_view s, int index, int count, std::string_view fallback);
// Digits, "+", "-" and "." kept; "0" at the first other character or for
// an empty result. The decimal separator is always ".".
std::string ReplaceDecimalSeparator(std::string_view s);
int CommasCount(std::string_view s);
bool CompareFloats(long double a, long double b);
long double FloatMod(long double x, long double y);  // x − y·⌊x/y⌋
// The first `length` characters, or `s` left-padded with `fill` to `length`.
std::string MaxLenStr(std::string_view s, int length, char fill);

// A real field through ReplaceDecimalSeparator: true and the value when the
// result has the form [+-]digits[.[digits]] or [+-].digits.
bool ReadReal(std::string_view field, long double& value);
// A decimal integer field: an optional sign and digits within 32 bits.
bool ReadInteger(std::string_view field, int& value);

// An NMEA angle ddmm.mmmm / dddmm.mmmm (any number of degree digits) into
// degree, minute and second; false for an empty or malformed field.
bool ExtractCoord(std::string_view s, int& degree, int& minute, long double& second);
// A time hhmmss[.d...]; the digits after "." are a fraction of a second,
// kept to the millisecond (".5" and ".500" are 500 ms, ".1234" 123 ms).
// Decimals that are not all digits make the field unreadable.
bool ExtractUTCTime(std::string_view s, std::uint16_t& hour, std::uint16_t& minute,
                    std::uint16_t& second, std::uint16_t& millisecond);
// A date ddmmyy (year 20yy) or ddmmyyyy.
bool ExtractUTCDate(std::string_view s, std::uint16_t& year, std::uint16_t& month,
                    std::uint16_t& day);

}  // namespace halvex::nmea
