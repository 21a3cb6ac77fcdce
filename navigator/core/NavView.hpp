// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Everything the navigation logic shows, and the controls it reads when a
// receiver event arrives. The main window implements it (forwarding the
// settings window's part to that window); tests record the calls.
//
// Calls that fill controls must not fire the controls' own change handlers.
// Colours are 24-bit blue-green-red values (low byte red).

#include <string>

#include "navigator/core/NavControls.hpp"

namespace halvex::navigator {

class NavView {
 public:
  virtual ~NavView() = default;

  // --- Main window: the position and GPS group ---
  virtual void SetLat(const std::string& text) = 0;
  virtual void SetLon(const std::string& text) = 0;
  virtual void SetFixed(const std::string& text) = 0;
  virtual void SetSpeed(const std::string& text) = 0;
  virtual void SetAntenna(const std::string& text) = 0;
  virtual void SetSatelliteLabel(const std::string& text) = 0;
  // Replaces line 0 or 1 of `MemoGPS`.
  virtual void SetMemoGPSLine(int line, const std::string& text) = 0;
  virtual void SetMemoGPSColor(int bgrColor) = 0;
  virtual void SetGPSGroupBoxColor(int bgrColor) = 0;
  virtual void SetMemoSensor(const std::string& text) = 0;
  virtual void SetMemoSensorColor(int bgrColor) = 0;

  // --- Main window: buttons, title, mouse labels ---
  virtual void SetRealtimePressed(bool pressed) = 0;
  // The eleven drawing-tool buttons.
  virtual void SetDrawingToolsVisible(bool visible) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void SetDistLabel(const std::string& text) = 0;
  virtual void SetCoordinates(const std::string& text) = 0;
  virtual void SetEasting(const std::string& text) = 0;
  virtual void SetNorthing(const std::string& text) = 0;

  // --- Main window: the drawing controls ---
  virtual NavControls Controls() const = 0;
  // Fills the controls from the settings file. With `backgroundStored`
  // false the file has no background colour: leave `fcadColor` as it is.
  virtual void ShowControls(const NavControls& controls, bool backgroundStored) = 0;

  // --- The settings window ---
  virtual SettingsTexts Settings() const = 0;
  // Fills every control of the settings window except the lock box.
  virtual void ShowSettings(const SettingsTexts& texts) = 0;
  virtual void SetLockChecked(bool checked) = 0;
  // Enables or disables the three pages of the settings window.
  virtual void SetSettingsPagesEnabled(bool enabled) = 0;
  virtual void ShowSettingsWindow() = 0;

  // Closes the main window as the user would (the close query runs).
  virtual void CloseMainWindow() = 0;
};

}  // namespace halvex::navigator
