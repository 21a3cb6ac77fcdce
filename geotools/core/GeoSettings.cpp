// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/core/GeoSettings.hpp"

#include <array>

#include "platform/IniStore.hpp"

namespace halvex::geotools {

namespace {

constexpr std::array<SettingsEntry, 63> kEntries = {{
    {"BlueDatum", "DatumName", "TargetDatumName"},
    {"BlueDatum", "SemiMajorAxis", "WGSa"},
    {"BlueDatum", "InverseFlatening", "WGSf_1"},
    {"BlueDatum", "ScaleDifference", "WGSm"},
    {"BlueDatum", "XRotation", "WGSrx"},
    {"BlueDatum", "YRotation", "WGSry"},
    {"BlueDatum", "ZRotation", "WGSrz"},
    {"BlueDatum", "XShift", "WGSdx"},
    {"BlueDatum", "YShift", "WGSdy"},
    {"BlueDatum", "ZShift", "WGSdz"},
    {"GreenDatum", "DatumName", "SourceDatumName"},
    {"GreenDatum", "SemiMajorAxis", "LOCa"},
    {"GreenDatum", "InverseFlatening", "LOCf_1"},
    {"GreenDatum", "ScaleDifference", "LOCm"},
    {"GreenDatum", "XRotation", "LOCrx"},
    {"GreenDatum", "YRotation", "LOCry"},
    {"GreenDatum", "ZRotation", "LOCrz"},
    {"GreenDatum", "XShift", "LOCdx"},
    {"GreenDatum", "YShift", "LOCdy"},
    {"GreenDatum", "ZShift", "LOCdz"},
    {"DatumNames", "ECEF_Left", "Datum1"},
    {"DatumNames", "ECEF_Right", "Datum2"},
    {"DatumNames", "DatumTr_Left", "Datum3"},
    {"DatumNames", "DatumTr_Right", "Datum4"},
    {"DatumNames", "UTMPr_Left", "Datum5"},
    {"DatumNames", "UTMPr_Right", "Datum6"},
    {"DatumNames", "XYZTr_Left", "Datum7"},
    {"DatumNames", "XYZTr_Right", "Datum8"},
    {"TransformedValues", "ECEFLat0", "North"},
    {"TransformedValues", "ECEFLon0", "East"},
    {"TransformedValues", "ECEFHei0", "Height"},
    {"TransformedValues", "ECEFX0", "ecefX"},
    {"TransformedValues", "ECEFY0", "ecefY"},
    {"TransformedValues", "ECEFZ0", "ecefZ"},
    {"TransformedValues", "DatumTLat1", "North1"},
    {"TransformedValues", "DatumTLon1", "East1"},
    {"TransformedValues", "DatumTHei1", "Height1"},
    {"TransformedValues", "DatumTLat2", "North2"},
    {"TransformedValues", "DatumTLon2", "East2"},
    {"TransformedValues", "DatumTHei2", "Height2"},
    {"TransformedValues", "UTMTLat0", "North3"},
    {"TransformedValues", "UTMTLon0", "East3"},
    {"TransformedValues", "UTMTHei0", "Height3"},
    {"TransformedValues", "UTMTEasting", "Easting"},
    {"TransformedValues", "UTMTNorthing", "Northing"},
    {"TransformedValues", "XYZTX1", "ecefx2"},
    {"TransformedValues", "XYZTY1", "ecefy2"},
    {"TransformedValues", "XYZTZ1", "ecefz2"},
    {"TransformedValues", "XYZTX2", "ecefx3"},
    {"TransformedValues", "XYZTY2", "ecefy3"},
    {"TransformedValues", "XYZTZ2", "ecefz3"},
    // The least-squares pages' values, kept so that a later version of those
    // pages finds them where they were.
    {"Affine", "FileName", "AffFileName"},
    {"Affine", "A0", "A0"},
    {"Affine", "A1", "A1"},
    {"Affine", "A2", "A2"},
    {"Affine", "B0", "B0"},
    {"Affine", "B1", "B1"},
    {"Affine", "B2", "B2"},
    {"Similarity", "FileName", "SimilFileName"},
    {"Similarity", "Xso", "aa0"},
    {"Similarity", "Yso", "aa1"},
    {"Similarity", "Scale", "bb0"},
    {"Similarity", "Rotation", "bb1"},
}};

}  // namespace

std::span<const SettingsEntry> TextSettings() { return kEntries; }

int ReadActivePage(const platform::IniStore& ini) {
  const int page = ini.ReadInteger(kPageSection, kPageKey, 0);
  return page >= 0 && page < kPageCount ? page : 0;
}

void LoadTextSettings(
    const platform::IniStore& ini,
    const std::function<void(std::string_view control, const std::string&)>& set) {
  for (const SettingsEntry& entry : TextSettings()) {
    set(entry.control, ini.ReadString(entry.section, entry.key, ""));
  }
}

void SaveTextSettings(platform::IniStore& ini,
                      const std::function<std::string(std::string_view control)>& get,
                      int activePage) {
  for (const SettingsEntry& entry : TextSettings()) {
    ini.WriteString(entry.section, entry.key, get(entry.control));
  }
  ini.WriteInteger(kPageSection, kPageKey, activePage);
}

}  // namespace halvex::geotools
