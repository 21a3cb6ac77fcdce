// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProgramPaths.hpp"

#include "platform/DateTimeText.hpp"

#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace halvex::platform {
namespace {

std::optional<std::string> HomeFromUserDatabase() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) != 0 ||
      result == nullptr || result->pw_dir == nullptr || result->pw_dir[0] == '\0') {
    return std::nullopt;
  }
  return std::string(result->pw_dir);
}

fs::path Home(const Environment& env) {
  const auto home = env.Get("HOME");
  if (!home) {
    throw std::runtime_error("cannot find the home folder: HOME is not set");
  }
  return fs::path(*home);
}

// True when the folder exists and the effective user may create files in it.
bool IsWritableFolder(const fs::path& folder) {
  std::error_code ec;
  return fs::is_directory(folder, ec) &&
         ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

fs::path EnsureFolder(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!ec && !fs::is_directory(folder, ec)) {
    ec = std::make_error_code(std::errc::not_a_directory);
  }
  if (ec) {
    throw std::runtime_error("cannot create folder '" + folder.string() + "': " + ec.message());
  }
  return folder;
}

}  // namespace

Environment Environment::System() {
  return Environment([](const std::string& name) -> std::optional<std::string> {
    const char* value = std::getenv(name.c_str());
    if (value != nullptr && value[0] != '\0') {
      return std::string(value);
    }
    if (name == "HOME") {
      return HomeFromUserDatabase();
    }
    return std::nullopt;
  });
}

Environment Environment::Fixed(std::map<std::string, std::string> variables) {
  return Environment(
      [vars = std::move(variables)](const std::string& name) -> std::optional<std::string> {
        const auto it = vars.find(name);
        return it == vars.end() ? std::nullopt : std::optional<std::string>(it->second);
      });
}

std::optional<std::string> Environment::Get(const std::string& name) const {
  auto value = lookup_ ? lookup_(name) : std::nullopt;
  if (value && value->empty()) {
    return std::nullopt;
  }
  return value;
}

fs::path CurrentExecutablePath() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) {
    throw std::runtime_error("cannot find this program's executable: " + ec.message());
  }
  return exe;
}

std::optional<fs::path> IniOverrideFromArgs(int argc, const char* const* argv) {
  constexpr std::string_view kOption = "--ini";
  std::optional<fs::path> result;
  for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") {
      break;
    }
    std::string_view value;
    if (arg == kOption) {
      if (i + 1 >= argc || argv[i + 1] == nullptr || argv[i + 1][0] == '\0') {
        throw std::invalid_argument("--ini needs a file name: --ini FILE");
      }
      value = argv[++i];
    } else if (arg.starts_with("--ini=")) {
      value = arg.substr(kOption.size() + 1);
      if (value.empty()) {
        throw std::invalid_argument("--ini needs a file name: --ini=FILE");
      }
    } else {
      continue;
    }
    result = fs::path(value);
  }
  return result;
}

bool IsSystemFolder(const fs::path& folder) {
  const fs::path normal = folder.lexically_normal();
  if (!normal.is_absolute()) {
    return false;
  }
  auto part = normal.begin();
  if (part == normal.end() || ++part == normal.end()) {
    return false;  // "/" itself
  }
  const std::string top = part->string();
  return top == "usr" || top == "bin" || top == "sbin" || top == "etc" || top == "opt" ||
         top == "lib" || top == "lib32" || top == "lib64" || top == "libx32";
}

fs::path IniFilePath(const fs::path& executable, std::string_view baseName,
                     const std::optional<fs::path>& override, const Environment& env) {
  if (baseName.empty() || baseName.find('/') != std::string_view::npos || baseName == "." ||
      baseName == "..") {
    throw std::invalid_argument("'" + std::string(baseName) + "' is not a program name");
  }
  if (override && !override->empty()) {
    return *override;
  }
  const std::string fileName = std::string(baseName) + ".INI";

  const fs::path exeFolder = executable.parent_path();
  if (!exeFolder.empty() && !IsSystemFolder(exeFolder) && IsWritableFolder(exeFolder)) {
    return exeFolder / fileName;
  }

  fs::path configHome;
  if (const auto xdg = env.Get("XDG_CONFIG_HOME"); xdg && fs::path(*xdg).is_absolute()) {
    configHome = *xdg;
  } else {
    configHome = Home(env) / ".config";
  }
  return configHome / "halvex" / fileName;
}

fs::path ProgramFolder(const Environment& env) {
  if (const auto root = env.Get("HXV_ROOT")) {
    return fs::absolute(*root);
  }
  return fs::absolute(Home(env) / "HXV");
}

fs::path DayFolder(const LocalDateTime& date, const Environment& env) {
  return ProgramFolder(env) / ShortDateText(date);
}

fs::path EnsureProgramFolder(const Environment& env) { return EnsureFolder(ProgramFolder(env)); }

fs::path EnsureDayFolder(const LocalDateTime& date, const Environment& env) {
  return EnsureFolder(DayFolder(date, env));
}

}  // namespace halvex::platform
