// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/IniStore.hpp"

#include "platform/FileIo.hpp"

#include <algorithm>
#include <charconv>
#include <optional>
#include <stdexcept>
#include <utility>

#define SI_CONVERT_ICU
#include <SimpleIni.h>

namespace halvex::platform {
namespace {

// The same blanks the INI parser strips around names and values.
constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) {
    return {};
  }
  const auto last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool HasLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

[[noreturn]] void Reject(const char* what, std::string_view text, const char* reason) {
  throw std::invalid_argument(std::string("INI ") + what + " '" + std::string(text) + "' " +
                              reason);
}

// Section name as the file holds it, or an exception if it could not be
// written as a "[name]" line and read back unchanged.
std::string SectionName(std::string_view section) {
  const std::string_view name = Trim(section);
  if (name.empty()) {
    Reject("section", section, "is empty");
  }
  if (HasLineBreakOrNul(name) || name.find(']') != std::string_view::npos) {
    Reject("section", section, "contains ']' or a line break");
  }
  return std::string(name);
}

// Key name as the file holds it, or an exception if it could not be written
// as a "key = value" line and read back as the same key.
std::string KeyName(std::string_view key) {
  const std::string_view name = Trim(key);
  if (name.empty()) {
    Reject("key", key, "is empty");
  }
  if (HasLineBreakOrNul(name) || name.find('=') != std::string_view::npos) {
    Reject("key", key, "contains '=' or a line break");
  }
  if (name.front() == '[' || name.front() == ';' || name.front() == '#') {
    Reject("key", key, "starts with '[', ';' or '#'");
  }
  return std::string(name);
}

std::optional<int> ParseInteger(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') {
      return std::nullopt;
    }
  }
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end) {
    return std::nullopt;
  }
  return value;
}

// Loads the file into `ini`; a missing file loads as empty. Throws
// std::runtime_error naming the file when it exists but cannot be loaded.
void Load(CSimpleIniA& ini, const std::filesystem::path& file) {
  const std::optional<std::string> text = ReadWholeFile(file);
  if (text && ini.LoadData(*text) < 0) {
    throw std::runtime_error("cannot read '" + file.string() + "': not a valid INI file");
  }
}

std::optional<std::string> ReadValue(const std::filesystem::path& file, std::string_view section,
                                     std::string_view key) {
  const std::string sectionName = SectionName(section);
  const std::string keyName = KeyName(key);
  CSimpleIniA ini;
  try {
    Load(ini, file);
  } catch (const std::runtime_error&) {
    return std::nullopt;  // unreadable reads as empty, like a missing file
  }
  const char* value = ini.GetValue(sectionName.c_str(), keyName.c_str(), nullptr);
  if (value == nullptr) {
    return std::nullopt;
  }
  return std::string(value);
}

}  // namespace

IniStore::IniStore(std::filesystem::path file) : file_(std::move(file)) {}

std::string IniStore::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
  auto value = ReadValue(file_, section, key);
  return value ? std::move(*value) : std::string(defaultValue);
}

int IniStore::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
  const auto value = ReadValue(file_, section, key);
  if (!value) {
    return defaultValue;
  }
  return ParseInteger(*value).value_or(defaultValue);
}

bool IniStore::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
  const auto value = ReadValue(file_, section, key);
  if (!value) {
    return defaultValue;
  }
  const auto number = ParseInteger(*value);
  return number ? *number != 0 : defaultValue;
}

std::vector<std::pair<std::string, std::string>> IniStore::ReadSection(
    std::string_view section) const {
  const std::string sectionName = SectionName(section);
  CSimpleIniA ini;
  try {
    Load(ini, file_);
  } catch (const std::runtime_error&) {
    return {};  // unreadable reads as empty, like a missing file
  }
  const CSimpleIniA::TKeyVal* keys = ini.GetSection(sectionName.c_str());
  if (keys == nullptr) {
    return {};
  }
  std::vector<std::pair<int, std::pair<std::string, std::string>>> ordered;
  ordered.reserve(keys->size());
  for (const auto& [key, value] : *keys) {
    ordered.push_back({key.nOrder, {key.pItem, value != nullptr ? value : ""}});
  }
  std::sort(ordered.begin(), ordered.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::pair<std::string, std::string>> entries;
  entries.reserve(ordered.size());
  for (auto& entry : ordered) {
    entries.push_back(std::move(entry.second));
  }
  return entries;
}

void IniStore::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  const Entry entry{section, key, value};
  WriteStrings(std::span<const Entry>(&entry, 1));
}

void IniStore::WriteStrings(std::span<const Entry> entries) {
  struct Checked {
    std::string section, key, value;
  };
  std::vector<Checked> checked;
  checked.reserve(entries.size());
  for (const Entry& entry : entries) {
    Checked c{SectionName(entry.section), KeyName(entry.key), {}};
    if (HasLineBreakOrNul(entry.value)) {
      throw std::invalid_argument("INI value for key '" + c.key + "' contains a line break");
    }
    c.value = std::string(Trim(entry.value));
    checked.push_back(std::move(c));
  }
  if (checked.empty()) {
    return;
  }

  CSimpleIniA ini;
  Load(ini, file_);
  for (const Checked& c : checked) {
    if (ini.SetValue(c.section.c_str(), c.key.c_str(), c.value.c_str()) < 0) {
      throw std::runtime_error("cannot write '" + file_.string() + "': out of memory");
    }
  }
  std::string text;
  // Keep a UTF-8 signature if the file had one.
  if (ini.Save(text, ini.IsUnicode()) < 0) {
    throw std::runtime_error("cannot write '" + file_.string() + "': cannot format the INI data");
  }
  WriteFileAtomically(file_, text);
}

void IniStore::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

void IniStore::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

}  // namespace halvex::platform
