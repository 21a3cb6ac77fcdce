// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where the main window's texts live in the settings file: one entry per
// control, read when the window is shown and written when it closes. All
// values are the texts the controls display, stored unchanged.

#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace halvex::platform {
class IniStore;
}

namespace halvex::geotools {

struct SettingsEntry {
  std::string_view section;
  std::string_view key;
  std::string_view control;  // object name of the control (datum fields: "A.WGSa" ...)
};

// The text entries this program stores, in the order they are written.
std::span<const SettingsEntry> TextSettings();

inline constexpr std::string_view kPageSection = "PageControl";
inline constexpr std::string_view kPageKey = "ActivePageIndex";
inline constexpr std::string_view kTraySection = "CloseToTray";
inline constexpr std::string_view kTrayKey = "CloseToTray";

inline constexpr int kPageCount = 8;

// The stored page index, 0 when missing or outside 0 to 7.
int ReadActivePage(const platform::IniStore& ini);

// Every text entry read (missing keys as empty texts) and handed to `set`.
void LoadTextSettings(const platform::IniStore& ini,
                      const std::function<void(std::string_view control, const std::string&)>& set);

// Every text entry written from `get`, then the active page. Throws
// std::runtime_error when the file cannot be written.
void SaveTextSettings(platform::IniStore& ini,
                      const std::function<std::string(std::string_view control)>& get,
                      int activePage);

}  // namespace halvex::geotools
