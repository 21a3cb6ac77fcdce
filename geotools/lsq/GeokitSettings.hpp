// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the geodesy tools' main window keeps between runs, and where in its
// settings file each value lives. Values are the texts the controls show;
// nothing is parsed or checked on the way in or out.
//
//   [Affine]            FileName, A0 A1 A2 B0 B1 B2
//   [Similarity]        FileName, Xso (X origin), Yso (Y origin),
//                       Scale (holds the rotation in degrees),
//                       Rotation (holds the scale factor)
//   [BlueDatum]         DatumName SemiMajorAxis InverseFlatening
//   [GreenDatum]          ScaleDifference XRotation YRotation ZRotation
//                         XShift YShift ZShift
//   [DatumNames]        ECEF_Left ... XYZTr_Right (Datum1 ... Datum8)
//   [TransformedValues] the single-point values of the conversion pages
//   [PageControl]       ActivePageIndex (integer, default 0)
//   [CloseToTray]       CloseToTray (1 checked, 0 not; written only when the
//                       menu item is toggled)
//
// The similarity keys "Scale" and "Rotation" hold the rotation and the
// scale factor, in that crossed pairing: files written by the program
// depend on it, and reading uses the same pairing, so values round-trip.

#include <array>
#include <string>
#include <string_view>

#include "platform/IniStore.hpp"

namespace halvex::geotools {

// The ten fields of a datum of the datum definition window.
struct DatumFields {
  std::string name;
  std::string semiMajorAxis;
  std::string inverseFlattening;
  std::string scaleDifference;
  std::string xRotation, yRotation, zRotation;
  std::string xShift, yShift, zShift;

  friend bool operator==(const DatumFields&, const DatumFields&) = default;
};

// Keys of a datum section, in the order of DatumFields.
inline constexpr std::array<std::string_view, 10> kDatumKeys = {
    "DatumName", "SemiMajorAxis", "InverseFlatening", "ScaleDifference", "XRotation",
    "YRotation", "ZRotation",     "XShift",           "YShift",          "ZShift"};

// Keys of "DatumNames", for the datum name fields Datum1 ... Datum8.
inline constexpr std::array<std::string_view, 8> kDatumNameKeys = {
    "ECEF_Left",  "ECEF_Right",  "DatumTr_Left", "DatumTr_Right",
    "UTMPr_Left", "UTMPr_Right", "XYZTr_Left",   "XYZTr_Right"};

// Keys of "TransformedValues" with the controls they hold:
//   ECEFLat0 ECEFLon0 ECEFHei0        North, East, Height (page 0, left)
//   ECEFX0 ECEFY0 ECEFZ0              X, Y, Z of page 0, right
//   DatumTLat1 DatumTLon1 DatumTHei1  North1, East1, Height1
//   DatumTLat2 DatumTLon2 DatumTHei2  North2, East2, Height2
//   UTMTLat0 UTMTLon0 UTMTHei0        North3, East3, Height3
//   UTMTEasting UTMTNorthing          Easting, Northing
//   XYZTX1 XYZTY1 XYZTZ1              ecefx2, ecefy2, ecefz2
//   XYZTX2 XYZTY2 XYZTZ2              ecefx3, ecefy3, ecefz3
inline constexpr std::array<std::string_view, 23> kTransformedValueKeys = {
    "ECEFLat0",   "ECEFLon0",   "ECEFHei0",   "ECEFX0",      "ECEFY0",       "ECEFZ0",
    "DatumTLat1", "DatumTLon1", "DatumTHei1", "DatumTLat2",  "DatumTLon2",   "DatumTHei2",
    "UTMTLat0",   "UTMTLon0",   "UTMTHei0",   "UTMTEasting", "UTMTNorthing", "XYZTX1",
    "XYZTY1",     "XYZTZ1",     "XYZTX2",     "XYZTY2",      "XYZTZ2"};

// The main window's pages; a stored page index outside 0 to 7 opens the
// first page.
inline constexpr int kPageCount = 8;

struct GeokitSettings {
  std::string affineFileName;
  std::array<std::string, 6> affine;  // A0 A1 A2 B0 B1 B2
  std::string similarityFileName;
  std::string xOrigin;   // aa0
  std::string yOrigin;   // aa1
  std::string rotation;  // bb0, degrees
  std::string scale;     // bb1
  DatumFields blueDatum;
  DatumFields greenDatum;
  std::array<std::string, 8> datumNames;          // Datum1 ... Datum8
  std::array<std::string, 23> transformedValues;  // in the order of kTransformedValueKeys
  int activePageIndex = 0;
  bool closeToTray = false;

  friend bool operator==(const GeokitSettings&, const GeokitSettings&) = default;
};

// Everything, in the order of the sections above. A missing key reads as
// the empty text (page index 0, close to tray off).
GeokitSettings ReadGeokitSettings(const platform::IniStore& ini);

// Every text key in the order of the sections above, then
// "ActivePageIndex"; "CloseToTray" is not written here. All keys go to the
// file in one atomic replacement, which leaves it as writing them one by
// one would. Throws std::runtime_error when the file cannot be written, and
// std::invalid_argument for a value the file cannot hold (a line break);
// either way the file stays as it was.
void WriteGeokitSettings(platform::IniStore& ini, const GeokitSettings& settings);

// The close-to-tray choice, written whenever the menu item is toggled.
void WriteCloseToTray(platform::IniStore& ini, bool checked);

}  // namespace halvex::geotools
