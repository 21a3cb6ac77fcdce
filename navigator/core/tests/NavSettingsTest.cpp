// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file, the checking of the serial pages and how they reach a
// receiver, and the names of the logs and projects.

#include "navigator/core/NavSettings.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace halvex::navigator {
namespace {

GpsPageTexts GoodPage() {
  return {"COM3", "4800", "8", "1", "None", "Normal", "10", "True", "False", "True", "False"};
}

class SettingsFile : public ::testing::Test {
 protected:
  SettingsFile()
      : path_(std::filesystem::temp_directory_path() /
              ("navsettings-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".INI")),
        ini_(path_) {
    std::filesystem::remove(path_);
  }
  ~SettingsFile() override { std::filesystem::remove(path_); }
  std::filesystem::path path_;
  platform::IniStore ini_;
};

TEST_F(SettingsFile, AMissingFileGivesEmptyTextsAndCheckedBoxes) {
  const SettingsTexts t = LoadSettingsTexts(ini_);
  EXPECT_EQ(t.Gps, GpsPageTexts{});
  EXPECT_EQ(t.Sensor, GpsPageTexts{});
  EXPECT_TRUE(t.SensorEnabled);
  EXPECT_TRUE(t.GyroEnabled);
  EXPECT_EQ(t.Ellips, "");
  bool background = true;
  const NavControls c = LoadNavControls(ini_, background);
  EXPECT_EQ(c, NavControls{});
  EXPECT_FALSE(background);
}

TEST_F(SettingsFile, TextsRoundTripAndKeysMatchWhateverTheirPadding) {
  SettingsTexts t;
  t.Gps = GoodPage();
  t.Sensor = GoodPage();
  t.Sensor.Port = "COM4";
  t.SensorEnabled = false;
  t.GyroEnabled = true;
  t.Ellips = "6378137.0  0.0033528106647474  6378137.0  0.0033528106647474";
  t.Datum = "1 2 3";
  t.Projection = "30.0   0.0  1.0  500000.0  0.0  ITRF-GK";
  t.LockStateCheck = true;
  SaveSettingsTexts(ini_, t);
  SettingsTexts back = LoadSettingsTexts(ini_);
  back.LockStateCheck = ini_.ReadBool(kLockSection, kLockKey, false);
  EXPECT_EQ(back, t);
  EXPECT_EQ(ini_.ReadString(kLockSection, kLockKey), "1");

  // A file written by an older program pads its keys with blanks.
  std::ofstream(path_) << "[GPS1 COMUNICATION SETTINGS]\nPort No        =COM9\n"
                          "[NAVIGATION_SETTINGS]\nBackgroundColor=0\nTrackWidth=x\n";
  EXPECT_EQ(LoadSettingsTexts(ini_).Gps.Port, "COM9");
  bool background = false;
  const NavControls c = LoadNavControls(ini_, background);
  EXPECT_TRUE(background) << "a stored 0 is black, not missing";
  EXPECT_EQ(c.fcadColor, 0);
  EXPECT_EQ(c.TrackWidth, "3") << "not an integer: the default";
}

TEST(LinePage, AGoodPageReadsIntoSettings) {
  const LineReading r = ReadLineSettings(GoodPage());
  ASSERT_TRUE(r.settings) << r.problem;
  EXPECT_EQ(r.settings->port, nmea::TCommPort::spCOM3);
  EXPECT_EQ(r.settings->baudRate, nmea::TBaudRate::br004800);
  EXPECT_EQ(r.settings->delay, 10);
  EXPECT_TRUE(r.settings->nmeaLog);
  EXPECT_FALSE(r.settings->logTime);
  EXPECT_TRUE(r.settings->enableDTR);

  // Letter case of ports and choice words does not matter; Booleans may be
  // integers.
  GpsPageTexts p = GoodPage();
  p.Port = "com255";
  p.Parity = "space";
  p.Priority = "timecritical";
  p.NMEALog = "0";
  p.LogTime = "TRUE";
  const LineReading lower = ReadLineSettings(p);
  ASSERT_TRUE(lower.settings) << lower.problem;
  EXPECT_EQ(lower.settings->port, nmea::TCommPort::spCOM255);
  EXPECT_EQ(lower.settings->parity, nmea::TParityBits::pbSpace);
  EXPECT_EQ(lower.settings->priority, nmea::TThreadPriority::tpTimeCritical);
  EXPECT_FALSE(lower.settings->nmeaLog);
  EXPECT_TRUE(lower.settings->logTime);

  // A rate the receiver has no constant for is its custom rate.
  p.BaudRate = "56000";
  const LineReading custom = ReadLineSettings(p);
  ASSERT_TRUE(custom.settings);
  EXPECT_EQ(custom.settings->baudRate, nmea::TBaudRate::brCustom);
  EXPECT_EQ(custom.settings->customBaudRate, 56000);
}

TEST(LinePage, ValuesThatCannotWorkNameTheirField) {
  struct Case {
    void (*edit)(GpsPageTexts&);
    const char* field;
  };
  const Case cases[] = {
      {[](GpsPageTexts& p) { p.Port = "COM256"; }, "Port No"},
      {[](GpsPageTexts& p) { p.Port = ""; }, "Port No"},
      {[](GpsPageTexts& p) { p.Port = "/dev/ttyS0"; }, "Port No"},
      {[](GpsPageTexts& p) { p.Port = "COM03"; }, "Port No"},
      {[](GpsPageTexts& p) { p.BaudRate = ""; }, "Baud Rate"},
      {[](GpsPageTexts& p) { p.BaudRate = "0"; }, "Baud Rate"},
      {[](GpsPageTexts& p) { p.BaudRate = "-9600"; }, "Baud Rate"},
      {[](GpsPageTexts& p) { p.BaudRate = "96k"; }, "Baud Rate"},
      {[](GpsPageTexts& p) { p.DataWidth = "9"; }, "Data Width"},
      {[](GpsPageTexts& p) { p.StopBits = "3"; }, "Stop Bits"},
      {[](GpsPageTexts& p) { p.StopBits = "1.5"; }, "Data Width"},
      {[](GpsPageTexts& p) {
         p.DataWidth = "5";
         p.StopBits = "2";
       },
       "Data Width"},
      {[](GpsPageTexts& p) { p.Parity = "Nine"; }, "Parity"},
      {[](GpsPageTexts& p) { p.Priority = "Urgent"; }, "Priority"},
      {[](GpsPageTexts& p) { p.Delay = "0"; }, "Delay"},
      {[](GpsPageTexts& p) { p.Delay = "fast"; }, "Delay"},
      {[](GpsPageTexts& p) { p.NMEALog = "Yes"; }, "NMEA LOG"},
      {[](GpsPageTexts& p) { p.EnableRTS = ""; }, "Enable RTS"},
  };
  for (const Case& c : cases) {
    GpsPageTexts p = GoodPage();
    c.edit(p);
    const LineReading r = ReadLineSettings(p);
    EXPECT_FALSE(r.settings) << c.field;
    EXPECT_EQ(r.field, c.field);
  }
  GpsPageTexts p = GoodPage();
  p.BaudRate = "abc";
  EXPECT_EQ(LineReadingMessage("GPS Set", ReadLineSettings(p)),
            "GPS Set stopped: Baud Rate \"abc\" is not usable (not a number)");
}

TEST(LinePage, SettingsReachTheReceiverWhateverItsLineWas) {
  nmea::TRaxGPSReceiver receiver;
  GpsPageTexts p = GoodPage();
  p.DataWidth = "5";
  p.StopBits = "1.5";
  p.BaudRate = "31250";
  ApplyLineSettings(receiver, *ReadLineSettings(p).settings, "/tmp/a.log");
  EXPECT_EQ(receiver.DataWidth(), nmea::TDataWidth::dw5Bits);
  EXPECT_EQ(receiver.StopBits(), nmea::TStopBits::sb1_5Bits);
  EXPECT_EQ(receiver.BaudRate(), nmea::TBaudRate::brCustom);
  EXPECT_EQ(receiver.CustomBaudRate(), 31250);
  EXPECT_EQ(receiver.LogFile(), "/tmp/a.log");

  // From 5 bits with 1.5 stop bits to 8 with 1: the receiver checks the
  // width against the stop bits it holds, so the order matters.
  p = GoodPage();
  EXPECT_NO_THROW(ApplyLineSettings(receiver, *ReadLineSettings(p).settings, "b.log"));
  EXPECT_EQ(receiver.DataWidth(), nmea::TDataWidth::dw8Bits);
  EXPECT_EQ(receiver.StopBits(), nmea::TStopBits::sb1Bit);
  EXPECT_EQ(receiver.BaudRate(), nmea::TBaudRate::br004800);
  EXPECT_EQ(receiver.Port(), nmea::TCommPort::spCOM3);
  EXPECT_EQ(receiver.Delay(), 10);
  EXPECT_TRUE(receiver.NMEALog());
  EXPECT_FALSE(receiver.EnableRTSOnOpen());
}

TEST(FileNames, LogsAndProjectsInTheDayFolder) {
  const platform::LocalDateTime day{2026, 12, 7, 23, 59, 0, 0};
  EXPECT_EQ(GpsLogFile("/h/07.12.2026", day), "/h/07.12.2026/07.12.2026 HalvexNV_GPS.log");
  EXPECT_EQ(SensorLogFile("/h/07.12.2026", day), "/h/07.12.2026/07.12.2026 HalvexNV_SBES.log");
  EXPECT_EQ(AutoSaveFile("/h/07.12.2026", day, 9), "/h/07.12.2026/07.12.2026_9.hxv");
}

}  // namespace
}  // namespace halvex::navigator
