// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Clock.hpp"

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace halvex::platform {

// Read access to environment variables. Path rules take one of these so that
// tests can give them a made-up environment instead of changing the real one.
class Environment {
 public:
  using Lookup = std::function<std::optional<std::string>(const std::string& name)>;

  explicit Environment(Lookup lookup) : lookup_(std::move(lookup)) {}

  // The process environment. HOME, when unset or empty, is taken from the
  // user database.
  static Environment System();
  // Exactly the given variables and nothing else.
  static Environment Fixed(std::map<std::string, std::string> variables);

  // The variable's value; nullopt when it is unset or empty.
  std::optional<std::string> Get(const std::string& name) const;

 private:
  Lookup lookup_;
};

// This program's executable, from /proc/self/exe.
// Throws std::runtime_error if it cannot be determined.
std::filesystem::path CurrentExecutablePath();

// The value of "--ini FILE" or "--ini=FILE" on the command line, the last one
// if given more than once; nullopt when absent. Scanning stops at "--".
// Throws std::invalid_argument when "--ini" has no file name after it.
std::optional<std::filesystem::path> IniOverrideFromArgs(int argc, const char* const* argv);

// Where a program keeps its INI file, first match wins:
//  1. `override` (from --ini) as given;
//  2. "<folder of executable>/<baseName>.INI" when that folder exists, is
//     not a system folder (see IsSystemFolder) and this process may create
//     files in it;
//  3. "$XDG_CONFIG_HOME/halvex/<baseName>.INI", with "$HOME/.config" when
//     XDG_CONFIG_HOME is unset, empty or not an absolute path.
// Throws std::invalid_argument for an empty or path-like base name and
// std::runtime_error when rule 3 applies and HOME is not set.
// True for the folders of installed software: /usr and everything under it,
// /bin, /sbin, /lib, /lib32, /lib64, /libx32, /etc and /opt. A program installed there keeps no
// files beside itself, even when it runs as root and could.
bool IsSystemFolder(const std::filesystem::path& folder);

std::filesystem::path IniFilePath(const std::filesystem::path& executable,
                                  std::string_view baseName,
                                  const std::optional<std::filesystem::path>& override,
                                  const Environment& env = Environment::System());

// The folder for the program's data: $HXV_ROOT when set and not empty, else
// "$HOME/HXV". Made absolute against the current folder. Not created.
std::filesystem::path ProgramFolder(const Environment& env = Environment::System());

// "<program folder>/<dd.MM.yyyy>" for the given date. Not created.
std::filesystem::path DayFolder(const LocalDateTime& date,
                                const Environment& env = Environment::System());

// As above, creating the folder (and its parents) when missing. Throw
// std::runtime_error naming the folder and the reason if that fails or a
// file of that name is in the way.
std::filesystem::path EnsureProgramFolder(const Environment& env = Environment::System());
std::filesystem::path EnsureDayFolder(const LocalDateTime& date,
                                      const Environment& env = Environment::System());

}  // namespace halvex::platform
