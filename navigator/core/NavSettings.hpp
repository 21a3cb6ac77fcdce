// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The navigation program's settings file and how its texts become receiver
// settings: the serial pages, the geodetic texts, the lock, the main
// window's drawing settings, and the names of the raw logs.

#include <filesystem>
#include <optional>
#include <string>

#include "navigator/core/NavControls.hpp"
#include "nmea/GpsReceiver.hpp"
#include "platform/Clock.hpp"
#include "platform/IniStore.hpp"

namespace halvex::navigator {

// Sections and keys of the settings file.
inline constexpr const char* kGpsSection = "GPS1 COMUNICATION SETTINGS";
inline constexpr const char* kSensorSection = "SENSOR COMUNICATION SETTINGS";
inline constexpr const char* kGyroSection = "GYRO";
inline constexpr const char* kGlobalSection = "GLOBAL SETTINGS";
inline constexpr const char* kLockSection = "LOCK SETTINGS";
inline constexpr const char* kLockKey = "Settings Locked (true/false)";
inline constexpr const char* kNavSection = "NAVIGATION_SETTINGS";
inline constexpr const char* kFileSection = "FILE";
inline constexpr const char* kLastFileKey = "Last File Saved";
inline constexpr const char* kEventsSection = "EVENTS";
inline constexpr const char* kEventNumberKey = "Event Number";

// Every text of the settings window from the file (a missing key reads as
// empty, the two check boxes as checked). The lock box is left false.
SettingsTexts LoadSettingsTexts(const platform::IniStore& ini);

// Writes the lock state, then the GPS page, the sensor page, "Sensor
// Enabled", "Gyro Enabled" and the three geodetic texts. Throws what the
// store throws.
void SaveSettingsTexts(platform::IniStore& ini, const SettingsTexts& texts);

// The main window's drawing settings (widths and interval default 3,
// colours 0, "LineOrDot" true). `backgroundStored` tells whether the file
// holds "BackgroundColor" at all.
NavControls LoadNavControls(const platform::IniStore& ini, bool& backgroundStored);
void SaveNavControls(platform::IniStore& ini, const NavControls& controls);

// One serial page read into receiver settings.
struct LineSettings {
  nmea::TCommPort port = nmea::TCommPort::spNone;
  nmea::TBaudRate baudRate = nmea::TBaudRate::br009600;
  int customBaudRate = 0;  // bits per second, when baudRate is brCustom
  nmea::TDataWidth dataWidth = nmea::TDataWidth::dw8Bits;
  nmea::TStopBits stopBits = nmea::TStopBits::sb1Bit;
  nmea::TParityBits parity = nmea::TParityBits::pbNone;
  nmea::TThreadPriority priority = nmea::TThreadPriority::tpNormal;
  int delay = 5;  // ms
  bool nmeaLog = false;
  bool logTime = false;
  bool enableDTR = true;
  bool enableRTS = true;
};

// The outcome of reading a page: the settings, or the first field that
// cannot work (named as the settings file names it) with the text found.
struct LineReading {
  std::optional<LineSettings> settings;
  std::string field;  // "Port No", "Baud Rate", ...
  std::string text;
  std::string problem;
};

// Reads and checks a whole page before anything is applied: a port name
// "COM1" ... "COM255" (any letter case), a positive baud rate (a rate the
// receiver has no constant for becomes its custom rate), a data width of
// 5 to 8 and stop bits of 1, 1.5 or 2 that the line allows together, the
// parity and priority words of the lists (any letter case), a delay of at
// least 1 ms, and Booleans "True"/"False" in any case or an integer.
LineReading ReadLineSettings(const GpsPageTexts& page);

// The message for a page that cannot be applied, e.g.
// "GPS Set stopped: Baud Rate \"abc\" is not usable (not a number)".
std::string LineReadingMessage(const std::string& action, const LineReading& reading);

// Applies checked settings to a receiver, stop bits before the data width so
// that the receiver's own check of the pair sees the new stop bits.
void ApplyLineSettings(nmea::TRaxGPSReceiver& receiver, const LineSettings& settings,
                       const std::string& logFile);

// "<day folder>/<dd.MM.yyyy> HalvexNV_GPS.log" and "... HalvexNV_SBES.log".
std::filesystem::path GpsLogFile(const std::filesystem::path& dayFolder,
                                 const platform::LocalDateTime& date);
std::filesystem::path SensorLogFile(const std::filesystem::path& dayFolder,
                                    const platform::LocalDateTime& date);
// "<day folder>/<dd.MM.yyyy>_<index>.hxv".
std::filesystem::path AutoSaveFile(const std::filesystem::path& dayFolder,
                                   const platform::LocalDateTime& date, int index);

}  // namespace halvex::navigator
