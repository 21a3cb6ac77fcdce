// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvex::platform {

// Settings kept in an INI file, read and written one value at a time in the
// manner of the classic Windows profile functions:
//
//  - Section and key names match without regard to ASCII letter case, and
//    blanks around them are ignored ("Port No   " is the key "Port No").
//  - Every call opens the file and closes it again; nothing is cached, so
//    changes made by another program are seen by the next read.
//  - A missing or unreadable file reads as empty: every read gives its
//    default.
//  - Values are text with the blanks around them removed. Integers are
//    written in decimal; Booleans are written as "1" / "0" and read as
//    integers (non-zero is true).
//  - A write loads the file, changes the one value, and replaces the file
//    atomically (see WriteFileAtomically), creating its folder if missing.
//    Other sections, keys and their comments are kept; new sections and keys
//    are appended after the existing ones. A write that cannot be done throws
//    std::runtime_error naming the file and the reason, and leaves the file
//    as it was, including when the existing file cannot be read.
//
// Names and values that the file could not hold (a key containing '=', a
// line break anywhere, an empty key or section, ...) are rejected with
// std::invalid_argument by reads and writes alike, before the file is touched.
class IniStore {
 public:
  explicit IniStore(std::filesystem::path file);

  const std::filesystem::path& Path() const { return file_; }

  // The value, or `defaultValue` when the section or key is missing.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue = {}) const;

  // The value as a 32-bit integer: optional blanks, an optional sign, one or
  // more decimal digits, optional blanks. Anything else ("12abc", "0x10",
  // "", "1.5") or a number outside the int range gives `defaultValue`.
  int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;

  // ReadInteger() != 0; a value that is not an integer ("true", "yes")
  // gives `defaultValue`.
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

  // The keys of a section with their values, in the order of the file (a
  // key given twice is listed once, where it first appears, with its last
  // value). Empty when the section or the file is missing or unreadable.
  std::vector<std::pair<std::string, std::string>> ReadSection(std::string_view section) const;

  void WriteString(std::string_view section, std::string_view key, std::string_view value);

  // One value of a batch write.
  struct Entry {
    std::string_view section;
    std::string_view key;
    std::string_view value;
  };

  // Writes several values with one load of the file and one atomic
  // replacement, in the order given: the file ends as the same WriteString
  // calls one after another would leave it, byte for byte. Every name and
  // value is checked first; one the file could not hold throws
  // std::invalid_argument and nothing is written.
  void WriteStrings(std::span<const Entry> entries);
  void WriteInteger(std::string_view section, std::string_view key, int value);
  void WriteBool(std::string_view section, std::string_view key, bool value);

 private:
  std::filesystem::path file_;
};

}  // namespace halvex::platform
