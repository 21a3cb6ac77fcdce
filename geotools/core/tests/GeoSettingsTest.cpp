// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/core/GeoSettings.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "platform/IniStore.hpp"

namespace halvex::geotools {
namespace {

namespace fs = std::filesystem;

TEST(GeoSettings, TextsRoundTripUnchangedAndTheKeysAreDistinct) {
  const fs::path file = fs::temp_directory_path() / "geotools_settings_test.INI";
  fs::remove(file);
  platform::IniStore ini(file);
  std::map<std::string, std::string, std::less<>> controls;
  std::set<std::string> keys;
  int n = 0;
  for (const SettingsEntry& e : TextSettings()) {
    controls[std::string(e.control)] = "value " + std::to_string(++n) + "  with  blanks";
    EXPECT_TRUE(keys.insert(std::string(e.section) + "/" + std::string(e.key)).second) << e.key;
  }
  controls["North"] = "46  25  30.255";
  SaveTextSettings(
      ini, [&](std::string_view c) { return controls.find(c)->second; }, 3);
  std::map<std::string, std::string, std::less<>> loaded;
  LoadTextSettings(ini,
                   [&](std::string_view c, const std::string& v) { loaded[std::string(c)] = v; });
  EXPECT_EQ(loaded, controls);
  EXPECT_EQ(ini.ReadString("TransformedValues", "ECEFLat0"), "46  25  30.255");
  EXPECT_EQ(ReadActivePage(ini), 3);
  fs::remove(file);
}

TEST(GeoSettings, MissingOrOutOfRangePagesGiveTheFirst) {
  const fs::path file = fs::temp_directory_path() / "geotools_page_test.INI";
  fs::remove(file);
  platform::IniStore ini(file);
  EXPECT_EQ(ReadActivePage(ini), 0);
  std::size_t empties = 0;
  LoadTextSettings(ini, [&](std::string_view, const std::string& v) { empties += v.empty(); });
  EXPECT_EQ(empties, TextSettings().size());
  for (const char* value : {"8", "-1", "99999999999", "two"}) {
    ini.WriteString("PageControl", "ActivePageIndex", value);
    EXPECT_EQ(ReadActivePage(ini), 0) << value;
  }
  ini.WriteString("PageControl", "ActivePageIndex", "7");
  EXPECT_EQ(ReadActivePage(ini), 7);
  fs::remove(file);
}

}  // namespace
}  // namespace halvex::geotools
