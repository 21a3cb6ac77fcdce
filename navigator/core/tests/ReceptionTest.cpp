// SPDX-License-Identifier: GPL-3.0-or-later
// Reception: Realtime start and stop, Stop, the receivers' connection
// handlers, the sensor channel, and the settings window's load, show, lock
// and Set actions. Ports are scripted devices that open or fail.

#include <gtest/gtest.h>

#include <fstream>

#include "NavTestKit.hpp"
#include "navigator/core/NavMath.hpp"
#include "navigator/core/NavSettings.hpp"

namespace halvex::navigator {
namespace {

using testing::NavFixture;
using testing::PortPage;

class Reception : public NavFixture {
 protected:
  Reception() {
    view.settings.Gps = PortPage("COM3");
    view.settings.Sensor = PortPage("COM4");
    view.settings.SensorEnabled = true;
  }
  platform::IniStore Ini() { return platform::IniStore(IniPath()); }
};

TEST_F(Reception, ReceiversStartWithTheirInitialConfiguration) {
  for (const nmea::TRaxGPSReceiver* r : {&nav->RGPS1, &nav->RSENSOR}) {
    EXPECT_EQ(r->BaudRate(), nmea::TBaudRate::br009600);
    EXPECT_EQ(r->Priority(), nmea::TThreadPriority::tpTimeCritical);
    EXPECT_TRUE(r->NMEALog());
    EXPECT_TRUE(r->LogDateTime());
    EXPECT_EQ(r->Delay(), 10);
    EXPECT_EQ(r->IdleInterval(), 3);
    EXPECT_EQ(r->ConnectionTimeout(), 0);
  }
  EXPECT_FALSE(nav->RGPS1.EnableDTROnOpen());
  EXPECT_FALSE(nav->RGPS1.EnableRTSOnOpen());
  EXPECT_TRUE(nav->RSENSOR.EnableDTROnOpen());
  EXPECT_EQ(nav->RGPS1.LogFile(), (HxvRoot() / "halvex_GPS.log").string());
  EXPECT_EQ(nav->RSENSOR.LogFile(), (HxvRoot() / "halvex_SBES.log").string());
  // Ports mapped in the settings file's "SERIALCOMM" section are found.
  EXPECT_EQ(nav->RGPS1.PortMapIni(), IniPath());
  EXPECT_EQ(nav->RSENSOR.PortMapIni(), IniPath());
}

TEST_F(Reception, RealtimeStartsAndStopsBothReceivers) {
  ports.present = {{"COM3", true}, {"COM4", true}};
  nav->RealtimeClick();
  EXPECT_TRUE(nav->RGPS1.IsConnected());
  EXPECT_TRUE(nav->RSENSOR.IsConnected());
  EXPECT_TRUE(nav->RealtimeOn);
  EXPECT_TRUE(view.realtimePressed);
  EXPECT_FALSE(view.toolsVisible) << "drawing tools hidden while the GPS is connected";
  EXPECT_EQ(CountMessages("Connected to GPS on COM3"), 1);
  EXPECT_EQ(CountMessages("Connected to NMEA Sensor on COM4"), 1);
  EXPECT_EQ(nav->RGPS1.Delay(), 10);

  nav->RealtimeClick();
  EXPECT_FALSE(nav->RGPS1.IsConnected());
  EXPECT_FALSE(nav->RSENSOR.IsConnected());
  EXPECT_FALSE(nav->RealtimeOn);
  EXPECT_FALSE(view.realtimePressed);
  EXPECT_TRUE(view.toolsVisible);
  EXPECT_EQ(CountMessages("Disconnected from GPS on COM3"), 1);
  EXPECT_EQ(CountMessages("Disconnected from NMEA Sensor on COM4"), 1);
}

TEST_F(Reception, AfterStopTheNextPressStartsAgain) {
  ports.present = {{"COM3", true}, {"COM4", true}};
  nav->RealtimeClick();
  nav->DisconnectIconClick();
  EXPECT_FALSE(nav->RGPS1.IsConnected());
  EXPECT_FALSE(nav->RealtimeOn);
  nav->RealtimeClick();
  EXPECT_TRUE(nav->RGPS1.IsConnected());
  EXPECT_EQ(ports.opens["COM3"], 2);
}

TEST_F(Reception, AnUnpluggedGpsIsReportedAndTheNextPressTriesAgain) {
  ports.present = {{"COM4", true}};
  nav->RealtimeClick();
  EXPECT_FALSE(nav->RealtimeOn) << "the state follows the GPS";
  EXPECT_FALSE(view.realtimePressed);
  EXPECT_EQ(CountMessages("GPS: Cannot connect to port COM3. cannot open COM3: no such device"), 1);
  EXPECT_TRUE(nav->RSENSOR.IsConnected());

  ports.present["COM3"] = true;
  nav->RealtimeClick();
  EXPECT_TRUE(nav->RealtimeOn);
  EXPECT_TRUE(nav->RGPS1.IsConnected());
  EXPECT_EQ(ports.opens["COM4"], 1) << "the open sensor is kept";
}

TEST_F(Reception, ASetThatStopsKeepsItsReceiverClosed) {
  ports.present = {{"COM3", true}, {"COM4", true}};
  view.settings.Gps.Delay = "0";
  view.settings.Sensor.Parity = "Maybe";
  nav->RealtimeClick();
  EXPECT_EQ(ports.opens["COM3"], 0);
  EXPECT_EQ(ports.opens["COM4"], 0);
  EXPECT_EQ(CountMessages("GPS Set stopped: Delay \"0\""), 1);
  EXPECT_EQ(CountMessages("Sensor Set stopped: Parity \"Maybe\""), 1);
  EXPECT_EQ(nav->RGPS1.Port(), nmea::TCommPort::spNone) << "nothing of a bad page is applied";
  EXPECT_FALSE(nav->RealtimeOn);

  // A sensor that will not be opened is not complained about.
  board.Click();
  view.settings.SensorEnabled = false;
  nav->RealtimeClick();
  EXPECT_EQ(CountMessages("Sensor Set"), 0);
  nav->SensorSetClick();
  EXPECT_EQ(CountMessages("Sensor Set stopped: Parity"), 1) << "unless its button is pressed";
}

TEST_F(Reception, SetConfiguresTheReceiverAndItsLogInTheDayFolder) {
  view.settings.Gps.NMEALog = "True";
  view.settings.Gps.LogTime = "true";
  view.settings.Gps.BaudRate = "56000";
  nav->GPSSetClick();
  EXPECT_EQ(nav->RGPS1.Port(), nmea::TCommPort::spCOM3);
  EXPECT_EQ(nav->RGPS1.BaudRate(), nmea::TBaudRate::brCustom);
  EXPECT_EQ(nav->RGPS1.CustomBaudRate(), 56000);
  EXPECT_TRUE(nav->RGPS1.NMEALog());
  EXPECT_TRUE(nav->RGPS1.LogDateTime());
  EXPECT_EQ(nav->RGPS1.LogFile(), (Day() / "07.12.2026 HalvexNV_GPS.log").string());
  EXPECT_TRUE(std::filesystem::is_directory(Day())) << "made for the log";
  nav->SensorSetClick();
  EXPECT_EQ(nav->RSENSOR.LogFile(), (Day() / "07.12.2026 HalvexNV_SBES.log").string());
  EXPECT_EQ(nav->RSENSOR.Port(), nmea::TCommPort::spCOM4);
}

TEST_F(Reception, ConnectionEventsOfTheGps) {
  nav->RGPS1Idle();
  EXPECT_EQ(Messages().back(), "GPS Timeout!");
  EXPECT_EQ(view.groupBoxColor, kColorRed);
  nav->RGPS1Timeout();
  EXPECT_EQ(Messages().back(), "GPS timeout");
  EXPECT_EQ(view.memoGpsColor, kColorRed);
  nav->RGPS1LogError("cannot write '/x/y.log': Permission denied");
  EXPECT_EQ(Messages().back(), "GPS log not written: cannot write '/x/y.log': Permission denied");
  EXPECT_TRUE(board.Visible());
}

TEST_F(Reception, TheSensorLineShowsItsLastSentenceAndItsState) {
  ports.present = {{"COM3", true}, {"COM4", true}};
  nav->RealtimeClick();
  nav->RSENSORIdle();
  EXPECT_EQ(Messages().back(), "Sensor timeout! Check your connection to the Sensor.");
  EXPECT_EQ(view.memoSensorColor, kColorRed);
  nav->RSENSOR.FeedGPSReceiver(testing::Sentence("SDDBT,65.6,f,20.00,M,10.9,F"));
  EXPECT_EQ(view.memoSensor.substr(0, 13), "$SDDBT,65.6,f");
  EXPECT_EQ(view.memoSensorColor, kColorLime);
  EXPECT_EQ(Messages().back(), "Sensor timeout! Check your connection to the Sensor.")
      << "the idle message stays";
  nav->RSENSORTimeout();
  EXPECT_EQ(Messages().back(), "Sensor Timeout");

  // The sensor going away alone leaves the button pressed: the GPS is on.
  nav->RSENSOR.Close();
  EXPECT_EQ(Messages().back(), "Disconnected from NMEA Sensor on COM4");
  EXPECT_TRUE(view.realtimePressed);
  nav->RGPS1.Close();
  EXPECT_FALSE(view.realtimePressed);
  EXPECT_FALSE(nav->RealtimeOn) << "the next press starts reception";
}

TEST_F(Reception, SettingsWindowLoadsEveryControlAndTheLockText) {
  SettingsTexts stored;
  stored.Gps = PortPage("COM7");
  stored.Sensor = PortPage("COM8");
  stored.SensorEnabled = false;
  stored.Ellips = "e";
  stored.Datum = "d";
  stored.Projection = "p";
  stored.LockStateCheck = true;
  auto ini = Ini();
  SaveSettingsTexts(ini, stored);  // the lock as "1"

  view.settings = {};
  nav->FGPSFormCreate();
  EXPECT_EQ(view.settings.Gps, stored.Gps);
  EXPECT_EQ(view.settings.Sensor.Port, "COM8");
  EXPECT_FALSE(view.settings.SensorEnabled);
  EXPECT_EQ(view.settings.Projection, "p");
  EXPECT_TRUE(view.pagesEnabled) << "\"1\" is no lock text at creation";
  EXPECT_FALSE(view.settings.LockStateCheck);

  nav->FGPSFormShow();
  EXPECT_TRUE(view.settings.LockStateCheck);
  EXPECT_FALSE(view.pagesEnabled) << "locked at the first showing";

  // Hand-edited "true" locks at creation; Show keeps the box as it is.
  ini.WriteString(kLockSection, kLockKey, "true");
  view.settings.LockStateCheck = false;
  view.pagesEnabled = true;
  nav->FGPSFormCreate();
  EXPECT_FALSE(view.pagesEnabled);
  nav->FGPSFormShow();
  EXPECT_FALSE(view.settings.LockStateCheck);
  EXPECT_EQ(ini.ReadString(kLockSection, kLockKey), "true") << "nothing written";
}

TEST_F(Reception, LockingSavesTheSettingsEitherWay) {
  view.settings.Gps.Port = "COM9";
  view.settings.LockStateCheck = true;
  nav->LockStateCheckClick();
  EXPECT_FALSE(view.pagesEnabled);
  auto ini = Ini();
  EXPECT_EQ(ini.ReadString(kGpsSection, "Port No"), "COM9");
  EXPECT_TRUE(ini.ReadBool(kLockSection, kLockKey, false));
  view.settings.LockStateCheck = false;
  nav->LockStateCheckClick();
  EXPECT_TRUE(view.pagesEnabled);
  EXPECT_FALSE(ini.ReadBool(kLockSection, kLockKey, true));
  EXPECT_EQ(LoadSettingsTexts(ini).Projection, view.settings.Projection);
  nav->ConnectIconClick();
  EXPECT_EQ(view.settingsWindowShown, 1);
}

TEST_F(Reception, CreatingTheWindowMakesTheFoldersOrSaysWhichFailed) {
  nav->FormCreate();
  EXPECT_TRUE(std::filesystem::is_directory(Day()));
  EXPECT_EQ(CountMessages("Cannot"), 0);

  std::filesystem::remove_all(HxvRoot());
  std::ofstream(HxvRoot()) << "x";
  nav->FormCreate();
  EXPECT_EQ(CountMessages("Cannot create log folder " + HxvRoot().string() + ". "), 1);
}

TEST_F(Reception, ClosingClosesTheReceiversBeforeTheFinalSave) {
  ports.present = {{"COM3", true}, {"COM4", true}};
  OpenLayers();
  nav->RealtimeClick();
  const CloseOutcome out = nav->FormCloseQuery();
  EXPECT_TRUE(out.saved) << out.reason;
  EXPECT_FALSE(nav->RGPS1.IsConnected());
  EXPECT_FALSE(nav->RSENSOR.IsConnected());
  // The disconnect came before the save was even started.
  const auto& lines = Messages();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Disconnected from GPS on COM3"), 1);
}

}  // namespace
}  // namespace halvex::navigator
