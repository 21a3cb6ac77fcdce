// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigator/core/NavSettings.hpp"

#include <array>
#include <cctype>
#include <string_view>
#include <utility>

#include "navigator/core/NavMath.hpp"
#include "nmea/GpsModel.hpp"
#include "platform/DateTimeText.hpp"

namespace halvex::navigator {

namespace {

using nmea::TRaxGPSReceiver;

// The page's texts with the key each is stored under, in file order.
template <typename Page, typename Fn>
void ForEachKey(Page& page, Fn&& fn) {
  fn("Port No", page.Port);
  fn("Baud Rate", page.BaudRate);
  fn("Data Width", page.DataWidth);
  fn("Stop Bits", page.StopBits);
  fn("Parity", page.Parity);
  fn("Priority", page.Priority);
  fn("Delay", page.Delay);
  fn("NMEA LOG", page.NMEALog);
  fn("Log Time", page.LogTime);
  fn("Enable DTR", page.EnableDTR);
  fn("Enable RTS", page.EnableRTS);
}

std::string Trimmed(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  return std::string(text.substr(b, e - b));
}

// "True"/"False" in any case, or an integer (non-zero true).
std::optional<bool> ReadBoolText(std::string_view text) {
  const std::string t = Trimmed(text);
  if (nmea::SameTextIgnoringCase(t, "True")) return true;
  if (nmea::SameTextIgnoringCase(t, "False")) return false;
  constexpr int kNone = -7;
  const int a = IntegerFieldOr(t, kNone);
  const int b = IntegerFieldOr(t, kNone + 1);
  if (a != b) return std::nullopt;  // not an integer
  return a != 0;
}

std::optional<int> ReadInt(std::string_view text) {
  const int a = IntegerFieldOr(text, 0);
  const int b = IntegerFieldOr(text, 1);
  if (a != b) return std::nullopt;
  return a;
}

template <typename E, std::size_t N>
std::optional<E> ReadChoice(std::string_view text,
                            const std::array<std::pair<const char*, E>, N>& items) {
  const std::string t = Trimmed(text);
  for (const auto& [word, value] : items) {
    if (nmea::SameTextIgnoringCase(t, word)) return value;
  }
  return std::nullopt;
}

LineReading Bad(const char* field, std::string_view text, std::string problem) {
  LineReading r;
  r.field = field;
  r.text = std::string(text);
  r.problem = std::move(problem);
  return r;
}

std::string LogName(const platform::LocalDateTime& date, const char* name) {
  return platform::ShortDateText(date) + " " + name;
}

}  // namespace

SettingsTexts LoadSettingsTexts(const platform::IniStore& ini) {
  SettingsTexts t;
  ForEachKey(t.Gps, [&](const char* key, std::string& value) {
    value = ini.ReadString(kGpsSection, key, "");
  });
  ForEachKey(t.Sensor, [&](const char* key, std::string& value) {
    value = ini.ReadString(kSensorSection, key, "");
  });
  t.SensorEnabled = ini.ReadBool(kSensorSection, "Sensor Enabled", true);
  t.GyroEnabled = ini.ReadBool(kGyroSection, "Gyro Enabled", true);
  t.Ellips = ini.ReadString(kGlobalSection, "Ellipsoids Set", "");
  t.Datum = ini.ReadString(kGlobalSection, "Datum Parameters Set", "");
  t.Projection = ini.ReadString(kGlobalSection, "Transverse Mercator Set", "");
  return t;
}

void SaveSettingsTexts(platform::IniStore& ini, const SettingsTexts& texts) {
  ini.WriteBool(kLockSection, kLockKey, texts.LockStateCheck);
  ForEachKey(texts.Gps, [&](const char* key, const std::string& value) {
    ini.WriteString(kGpsSection, key, value);
  });
  ForEachKey(texts.Sensor, [&](const char* key, const std::string& value) {
    ini.WriteString(kSensorSection, key, value);
  });
  ini.WriteBool(kSensorSection, "Sensor Enabled", texts.SensorEnabled);
  ini.WriteBool(kGyroSection, "Gyro Enabled", texts.GyroEnabled);
  ini.WriteString(kGlobalSection, "Ellipsoids Set", texts.Ellips);
  ini.WriteString(kGlobalSection, "Datum Parameters Set", texts.Datum);
  ini.WriteString(kGlobalSection, "Transverse Mercator Set", texts.Projection);
}

NavControls LoadNavControls(const platform::IniStore& ini, bool& backgroundStored) {
  NavControls c;
  c.VesselWidth = std::to_string(ini.ReadInteger(kNavSection, "BoatWidth", 3));
  c.TrackWidth = std::to_string(ini.ReadInteger(kNavSection, "TrackWidth", 3));
  c.Interval = std::to_string(ini.ReadInteger(kNavSection, "TrackInterval", 3));
  c.VesselColor = ini.ReadInteger(kNavSection, "BoatColor", 0);
  c.ColorTracklines = ini.ReadInteger(kNavSection, "TrackColor", 0);
  c.GridColor = ini.ReadInteger(kNavSection, "GridColor", 0);
  c.fcadColor = ini.ReadInteger(kNavSection, "BackgroundColor", 0);
  backgroundStored = !ini.ReadString(kNavSection, "BackgroundColor", "").empty();
  c.dotorline = ini.ReadBool(kNavSection, "LineOrDot", true);
  return c;
}

void SaveNavControls(platform::IniStore& ini, const NavControls& c) {
  ini.WriteString(kNavSection, "BoatWidth", c.VesselWidth);
  ini.WriteString(kNavSection, "TrackWidth", c.TrackWidth);
  ini.WriteString(kNavSection, "TrackInterval", c.Interval);
  ini.WriteInteger(kNavSection, "BoatColor", c.VesselColor);
  ini.WriteInteger(kNavSection, "TrackColor", c.ColorTracklines);
  ini.WriteInteger(kNavSection, "GridColor", c.GridColor);
  ini.WriteInteger(kNavSection, "BackgroundColor", c.fcadColor);
  ini.WriteBool(kNavSection, "LineOrDot", c.dotorline);
}

LineReading ReadLineSettings(const GpsPageTexts& page) {
  using nmea::TDataWidth;
  using nmea::TParityBits;
  using nmea::TStopBits;
  using nmea::TThreadPriority;
  LineSettings s;

  const std::string port = Trimmed(page.Port);
  std::string upper = port;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  s.port = TRaxGPSReceiver::StringToCommPort(upper);
  if (s.port == nmea::TCommPort::spNone) {
    return Bad("Port No", page.Port, "no such port (COM1 to COM255)");
  }

  const std::optional<int> rate = ReadInt(page.BaudRate);
  if (!rate) return Bad("Baud Rate", page.BaudRate, "not a number");
  if (*rate <= 0) return Bad("Baud Rate", page.BaudRate, "not a positive rate");
  s.baudRate = TRaxGPSReceiver::IntToBaudRate(*rate);
  if (s.baudRate == nmea::TBaudRate::brCustom) s.customBaudRate = *rate;

  static constexpr std::array<std::pair<const char*, TDataWidth>, 4> kWidths{{
      {"5", TDataWidth::dw5Bits},
      {"6", TDataWidth::dw6Bits},
      {"7", TDataWidth::dw7Bits},
      {"8", TDataWidth::dw8Bits},
  }};
  static constexpr std::array<std::pair<const char*, TStopBits>, 3> kStops{{
      {"1", TStopBits::sb1Bit},
      {"1.5", TStopBits::sb1_5Bits},
      {"2", TStopBits::sb2Bits},
  }};
  const std::optional<TDataWidth> width = ReadChoice(page.DataWidth, kWidths);
  if (!width) return Bad("Data Width", page.DataWidth, "not 5, 6, 7 or 8");
  const std::optional<TStopBits> stop = ReadChoice(page.StopBits, kStops);
  if (!stop) return Bad("Stop Bits", page.StopBits, "not 1, 1.5 or 2");
  // The line allows 1.5 stop bits only with 5 data bits, and 2 only with more.
  if ((*width == TDataWidth::dw5Bits && *stop == TStopBits::sb2Bits) ||
      (*width != TDataWidth::dw5Bits && *stop == TStopBits::sb1_5Bits)) {
    return Bad("Data Width", page.DataWidth + " with " + page.StopBits + " stop bits",
               "the line cannot use this data width with these stop bits");
  }
  s.dataWidth = *width;
  s.stopBits = *stop;

  static constexpr std::array<std::pair<const char*, TParityBits>, 5> kParities{{
      {"Even", TParityBits::pbEven},
      {"Mark", TParityBits::pbMark},
      {"None", TParityBits::pbNone},
      {"Odd", TParityBits::pbOdd},
      {"Space", TParityBits::pbSpace},
  }};
  const std::optional<TParityBits> parity = ReadChoice(page.Parity, kParities);
  if (!parity) return Bad("Parity", page.Parity, "not one of Even, Mark, None, Odd, Space");
  s.parity = *parity;

  static constexpr std::array<std::pair<const char*, TThreadPriority>, 7> kPriorities{{
      {"Higher", TThreadPriority::tpHigher},
      {"Highest", TThreadPriority::tpHighest},
      {"Idle", TThreadPriority::tpIdle},
      {"Lower", TThreadPriority::tpLower},
      {"Lowest", TThreadPriority::tpLowest},
      {"Normal", TThreadPriority::tpNormal},
      {"TimeCritical", TThreadPriority::tpTimeCritical},
  }};
  const std::optional<TThreadPriority> priority = ReadChoice(page.Priority, kPriorities);
  if (!priority) {
    return Bad("Priority", page.Priority,
               "not one of Higher, Highest, Idle, Lower, Lowest, Normal, TimeCritical");
  }
  s.priority = *priority;

  const std::optional<int> delay = ReadInt(page.Delay);
  if (!delay) return Bad("Delay", page.Delay, "not a number");
  if (*delay < 1) return Bad("Delay", page.Delay, "less than 1 ms");
  s.delay = *delay;

  const std::optional<bool> log = ReadBoolText(page.NMEALog);
  if (!log) return Bad("NMEA LOG", page.NMEALog, "not True or False");
  const std::optional<bool> logTime = ReadBoolText(page.LogTime);
  if (!logTime) return Bad("Log Time", page.LogTime, "not True or False");
  const std::optional<bool> dtr = ReadBoolText(page.EnableDTR);
  if (!dtr) return Bad("Enable DTR", page.EnableDTR, "not True or False");
  const std::optional<bool> rts = ReadBoolText(page.EnableRTS);
  if (!rts) return Bad("Enable RTS", page.EnableRTS, "not True or False");
  s.nmeaLog = *log;
  s.logTime = *logTime;
  s.enableDTR = *dtr;
  s.enableRTS = *rts;

  LineReading ok;
  ok.settings = s;
  return ok;
}

std::string LineReadingMessage(const std::string& action, const LineReading& reading) {
  return action + " stopped: " + reading.field + " \"" + reading.text + "\" is not usable (" +
         reading.problem + ")";
}

void ApplyLineSettings(nmea::TRaxGPSReceiver& receiver, const LineSettings& s,
                       const std::string& logFile) {
  receiver.SetPort(s.port);
  if (s.baudRate == nmea::TBaudRate::brCustom) {
    receiver.SetCustomBaudRate(s.customBaudRate);
  }
  receiver.SetBaudRate(s.baudRate);
  receiver.SetStopBits(s.stopBits);
  receiver.SetDataWidth(s.dataWidth);
  receiver.SetParity(s.parity);
  receiver.SetPriority(s.priority);
  receiver.SetDelay(s.delay);
  receiver.SetNMEALog(s.nmeaLog);
  receiver.SetLogDateTime(s.logTime);
  receiver.SetEnableDTROnOpen(s.enableDTR);
  receiver.SetEnableRTSOnOpen(s.enableRTS);
  receiver.SetLogFile(logFile);
}

std::filesystem::path GpsLogFile(const std::filesystem::path& dayFolder,
                                 const platform::LocalDateTime& date) {
  return dayFolder / LogName(date, "HalvexNV_GPS.log");
}

std::filesystem::path SensorLogFile(const std::filesystem::path& dayFolder,
                                    const platform::LocalDateTime& date) {
  return dayFolder / LogName(date, "HalvexNV_SBES.log");
}

std::filesystem::path AutoSaveFile(const std::filesystem::path& dayFolder,
                                   const platform::LocalDateTime& date, int index) {
  return dayFolder / (platform::ShortDateText(date) + "_" + std::to_string(index) + ".hxv");
}

}  // namespace halvex::navigator
