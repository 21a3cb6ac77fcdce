// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProgramPaths.hpp"

#include "TempFolder.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace halvex::platform {
namespace {

using test::TempFolder;
using test::WriteText;

std::optional<fs::path> Override(std::vector<const char*> args) {
  args.insert(args.begin(), "geokit");
  return IniOverrideFromArgs(static_cast<int>(args.size()), args.data());
}

TEST(IniOverrideFromArgs, FindsBothFormsAndTheLastWins) {
  EXPECT_EQ(Override({}), std::nullopt);
  EXPECT_EQ(Override({"-v", "--initial", "x"}), std::nullopt);
  EXPECT_EQ(Override({"--ini", "a.INI", "-v"}), fs::path("a.INI"));
  EXPECT_EQ(Override({"--ini=/b/c.INI"}), fs::path("/b/c.INI"));
  EXPECT_EQ(Override({"--ini", "a.INI", "--ini=b.INI"}), fs::path("b.INI"));
  EXPECT_EQ(Override({"--", "--ini", "a.INI"}), std::nullopt);
}

TEST(IniOverrideFromArgs, MissingFileNameIsAnError) {
  EXPECT_THROW(Override({"--ini"}), std::invalid_argument);
  EXPECT_THROW(Override({"--ini="}), std::invalid_argument);
  EXPECT_THROW(Override({"--ini", ""}), std::invalid_argument);
}

class IniFilePathTest : public ::testing::Test {
 protected:
  TempFolder temp;
  fs::path exe = temp / "bin/geokit";
  Environment env = Environment::Fixed({{"HOME", "/home/surveyor"}, {"XDG_CONFIG_HOME", "/cfg"}});

  void SetUp() override { fs::create_directory(temp / "bin"); }
};

TEST_F(IniFilePathTest, OverrideBeatsEverything) {
  EXPECT_EQ(IniFilePath(exe, "geokit", fs::path("/x/own.ini"), env), fs::path("/x/own.ini"));
}

TEST_F(IniFilePathTest, WritableExecutableFolderComesNext) {
  EXPECT_EQ(IniFilePath(exe, "geokit", std::nullopt, env), temp / "bin/geokit.INI");
}

TEST_F(IniFilePathTest, MissingExecutableFolderFallsBackToXdg) {
  const fs::path gone = temp / "gone/geokit";
  EXPECT_EQ(IniFilePath(gone, "geokit", std::nullopt, env), fs::path("/cfg/halvex/geokit.INI"));

  const Environment noXdg = Environment::Fixed({{"HOME", "/home/surveyor"}});
  EXPECT_EQ(IniFilePath(gone, "geokit", std::nullopt, noXdg),
            fs::path("/home/surveyor/.config/halvex/geokit.INI"));

  const Environment relativeXdg =
      Environment::Fixed({{"HOME", "/home/surveyor"}, {"XDG_CONFIG_HOME", "cfg"}});
  EXPECT_EQ(IniFilePath(gone, "geokit", std::nullopt, relativeXdg),
            fs::path("/home/surveyor/.config/halvex/geokit.INI"));

  EXPECT_THROW(IniFilePath(gone, "geokit", std::nullopt, Environment::Fixed({})),
               std::runtime_error);
}

TEST_F(IniFilePathTest, ReadOnlyExecutableFolderFallsBackToXdg) {
  if (::geteuid() == 0) {
    GTEST_SKIP() << "root may write into any folder";
  }
  fs::permissions(temp / "bin", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(IniFilePath(exe, "geokit", std::nullopt, env), fs::path("/cfg/halvex/geokit.INI"));
}

// An installed program run as root could write beside itself; it must not,
// or a package's files would get company that its removal leaves behind.
TEST_F(IniFilePathTest, InstalledProgramKeepsItsSettingsInTheConfigFolder) {
  EXPECT_EQ(IniFilePath("/usr/bin/geokit", "geokit", std::nullopt, env),
            fs::path("/cfg/halvex/geokit.INI"));
  EXPECT_EQ(IniFilePath("/usr/local/bin/../bin/marnav", "marnav", std::nullopt, env),
            fs::path("/cfg/halvex/marnav.INI"));
  EXPECT_EQ(IniFilePath("/usr/bin/geokit", "geokit", fs::path("/x/own.ini"), env),
            fs::path("/x/own.ini"));
}

TEST(IsSystemFolder, InstalledSoftwareFoldersOnly) {
  for (const char* folder : {"/usr", "/usr/bin", "/usr/local/bin", "/bin", "/sbin", "/opt/halvex",
                             "/lib64", "/etc", "//usr/./bin/"}) {
    EXPECT_TRUE(IsSystemFolder(folder)) << folder;
  }
  for (const char* folder : {"/", "/home/surveyor/bin", "/tmp/usr/bin", "/usrx/bin", "/library",
                             "usr/bin", "", "/srv/../home/s"}) {
    EXPECT_FALSE(IsSystemFolder(folder)) << folder;
  }
}

TEST_F(IniFilePathTest, RejectsBadProgramNames) {
  EXPECT_THROW(IniFilePath(exe, "", std::nullopt, env), std::invalid_argument);
  EXPECT_THROW(IniFilePath(exe, "a/b", std::nullopt, env), std::invalid_argument);
  EXPECT_THROW(IniFilePath(exe, "..", std::nullopt, env), std::invalid_argument);
}

TEST(ProgramFolder, RootVariableBeatsHome) {
  EXPECT_EQ(ProgramFolder(Environment::Fixed({{"HOME", "/home/s"}, {"HXV_ROOT", "/data/hxv"}})),
            fs::path("/data/hxv"));
  EXPECT_EQ(ProgramFolder(Environment::Fixed({{"HOME", "/home/s"}, {"HXV_ROOT", ""}})),
            fs::path("/home/s/HXV"));
  EXPECT_EQ(ProgramFolder(Environment::Fixed({{"HOME", "/home/s"}})), fs::path("/home/s/HXV"));
  EXPECT_THROW(ProgramFolder(Environment::Fixed({})), std::runtime_error);
}

TEST(DayFolder, CreatedOnDemandUnderTheProgramFolder) {
  TempFolder temp;
  const Environment env = Environment::Fixed({{"HXV_ROOT", (temp / "hxv").string()}});
  const LocalDateTime date{2026, 12, 7, 23, 59, 59, 999};

  EXPECT_EQ(DayFolder(date, env), temp / "hxv/07.12.2026");
  EXPECT_FALSE(fs::exists(temp / "hxv"));

  EXPECT_EQ(EnsureDayFolder(date, env), temp / "hxv/07.12.2026");
  EXPECT_TRUE(fs::is_directory(temp / "hxv/07.12.2026"));
  EXPECT_EQ(EnsureDayFolder(date, env), temp / "hxv/07.12.2026");
  EXPECT_EQ(EnsureProgramFolder(env), temp / "hxv");
}

TEST(DayFolder, FileInTheWayIsAnErrorNamingTheFolder) {
  TempFolder temp;
  WriteText(temp / "hxv", "a file");
  const Environment env = Environment::Fixed({{"HXV_ROOT", (temp / "hxv").string()}});
  try {
    EnsureProgramFolder(env);
    FAIL() << "expected an exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find((temp / "hxv").string()), std::string::npos) << e.what();
  }
  EXPECT_THROW(EnsureDayFolder(LocalDateTime{2026, 1, 2}, env), std::runtime_error);
}

TEST(CurrentExecutablePath, NamesThisTestProgram) {
  const fs::path exe = CurrentExecutablePath();
  EXPECT_TRUE(exe.is_absolute());
  EXPECT_EQ(exe.filename(), "platform_tests");
}

}  // namespace
}  // namespace halvex::platform
