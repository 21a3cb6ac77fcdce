// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The values of the windows' controls that the navigation logic reads and
// the settings it loads into them, as plain structs: a window reads its
// controls into one of these and hands it over, or shows the one it gets.

#include <string>

namespace halvex::navigator {

// The main window's drawing controls. Widths and the interval are the edits'
// texts as typed; a text that is not an integer counts as 3 where it is used.
// Colours are 24-bit blue-green-red values (low byte red).
struct NavControls {
  std::string VesselWidth = "3";  // vessel pen width
  std::string TrackWidth = "3";   // pen width of both track layers
  std::string Interval = "3";     // positions between track points
  int VesselColor = 0;            // vessel pen
  int ColorTracklines = 0;        // pen of "track_fix"
  int GridColor = 0;              // pen of "track_nofix"
  int fcadColor = 0;              // chart background
  bool dotorline = true;          // "Track As Line"

  friend bool operator==(const NavControls&, const NavControls&) = default;
};

// One serial page of the settings window ("NMEA CONNECTION - GPS" or
// "NMEA CONNECTION - SENSOR"): the texts of its choice lists, as shown or
// typed.
struct GpsPageTexts {
  std::string Port;       // "COM1" ... "COM255"
  std::string BaudRate;   // bits per second
  std::string DataWidth;  // 5, 6, 7, 8
  std::string StopBits;   // 1, 1.5, 2
  std::string Parity;     // "Even", "Mark", "None", "Odd", "Space"
  std::string Priority;  // "Higher", "Highest", "Idle", "Lower", "Lowest", "Normal", "TimeCritical"
  std::string Delay;     // poll period, ms
  std::string NMEALog;   // "True" / "False"
  std::string LogTime;   // "True" / "False"
  std::string EnableDTR;  // "True" / "False"
  std::string EnableRTS;  // "True" / "False"

  friend bool operator==(const GpsPageTexts&, const GpsPageTexts&) = default;
};

// Everything the settings window holds.
struct SettingsTexts {
  GpsPageTexts Gps;     // `Port`, `BaudRate`, ...
  GpsPageTexts Sensor;  // `SPort`, `SBaudRate`, ...
  bool SensorEnabled = true;
  bool GyroEnabled = true;
  std::string Ellips;           // "a1 f1 a2 f2": source and target ellipsoid
  std::string Datum;            // 18 numbers: two datums of a, f and seven Helmert parameters
  std::string Projection;       // "λ0 φ0 k0 FE FN [label]"
  bool LockStateCheck = false;  // "Save and lock settings"

  friend bool operator==(const SettingsTexts&, const SettingsTexts&) = default;
};

}  // namespace halvex::navigator
